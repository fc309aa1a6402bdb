// Graphics start-up and shut-down as the engine's life cycle calls them:
// the device is made on the chosen back end (GL when the window has a GL
// context); without one the engine goes on on the software path, which
// draws pictures, text and billboards but no 3-D models (they need the
// device), and says so in the log.
#include "engine/camera.h"
#include "engine/font.h"
#include "engine/log.h"
#include "engine/screen.h"
#include "foundation/engine_thread.h"
#include "foundation/subsystems.h"
#include "graphics/camera/camera_internal.h"
#include "graphics/device/devicestate.h"
#include "graphics/draw2d/batch2d.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/graph_internal.h"
#include "graphics/graphics_internal.h"
#include "graphics/softimage/drawstate.h"
#include "graphics/software/softwarepath.h"
#include "platform/lasting_state.h"
#include "platform/window.h"

#include <cstring>
#include <initializer_list>
#include <string>

using namespace morpotta;

namespace {

struct GraphicsStartModule {
    std::string deviceChoice = "auto";
};

GraphicsStartModule& GraphicsStartState() {
    return platform::LastingState<GraphicsStartModule>();
}

bool WindowHasGl() {
    const platform::WindowBackend& w = platform::Window();
    return w.glGetProcAddress && w.glGetProcAddress("glGetString") != nullptr;
}

// The state every frame starts from: the full target as viewport, clear
// colour black, Z buffer cleared.
void SetInitialDeviceState() {
    DeviceViewport viewport = {0, 0, kDeviceTargetWidth, kDeviceTargetHeight, 0.0f, 1.0f};
    SendDeviceViewport(&viewport);
    ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, 0xFF000000u, 1.0f);
}

// Without a device everything is drawn on the primary software screen; 0,
// or -1 when it cannot be made (start-up then fails, saying so).
int StartSoftwarePath() {
    if (CreateSoftwareScreen() != 0) return -1;
    InstallSoftwareDraw2DPath();
    return 0;
}

}  // namespace

int SetGraphicsDeviceChoice(const char* name) {
    const PublicCall call("SetGraphicsDeviceChoice");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!name) return RefuseNull("device name");
    for (const char* known : {"auto", "gl", "recording", "none"})
        if (std::strcmp(name, known) == 0) {
            GraphicsStartState().deviceChoice = name;
            return 0;
        }
    return Refuse("unknown graphics device choice \"%s\"; \"auto\", \"gl\", \"recording\" or \"none\"", name);
}

namespace morpotta {

bool CheckGraphicsRunning() {
    if (HardwareRenderingActive() || GetSoftwareScreen()) return true;
    RefuseEngineNotRunning();
    return false;
}

namespace {

// The software path draws into a window made without GL; the other
// choices need GL, or take the software path where the window has none.
bool WantsGlWindow() { return GraphicsStartState().deviceChoice != "none"; }

int StartGraphics() {
    ResetDeviceStateCache();
    BuildBlendTables();
    ResetSoftwareDrawState();
    ResetDraw2DSettings();
    ResetCameraAndLights();
    std::string choice = GraphicsStartState().deviceChoice;
    if (choice == "auto") choice = WindowHasGl() ? "gl" : "none";
    if (choice == "none") {
        WriteLogText("No graphics device: drawing takes the software path, which draws no 3-D models");
        return StartSoftwarePath();
    }
    if (CreateGraphicsDevice(choice.c_str()) != 0) {
        // A device that cannot be made leaves the software path, as a missing one does.
        WriteLogText("Graphics device creation failed: drawing takes the software path, which draws no 3-D models");
        return StartSoftwarePath();
    }
    WriteLogFormat("Graphics device: %s", GetDeviceBackendName());
    SetInitialDeviceState();
    return 0;
}

void SelectDrawScreens() {
    SelectDrawTargetScreen(kDrawScreenBack);
    if (HardwareRenderingActive()) ReapplyCameraAndLights();
}

void EndGraphics() {
    FlushPendingDraws();
    DeleteAllFonts();
    ReleaseBlendScratch();
    Forget2DBatchState();
    DeleteAllGraphs();
    ReleaseSoftwareScreen();
    SetSoftwareDraw2DPath(nullptr);
    ReleaseGraphicsDevice();
    ResetDeviceStateCache();
}

const EngineSubsystem kGraphics = {
    .name = "graphics",
    .wantsGlWindow = WantsGlWindow,
    .startGraphics = StartGraphics,
    .selectDrawScreens = SelectDrawScreens,
    .endGraphics = EndGraphics,
};

}  // namespace

void RegisterGraphicsSubsystem() { RegisterEngineSubsystem(&kGraphics); }

}  // namespace morpotta
