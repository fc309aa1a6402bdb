// The primary software screen: what the software path draws on, shown in
// the window through the platform layer's picture presentation.
#include <cstring>

#include "engine/log.h"
#include "graphics/device/device.h"
#include "graphics/softimage/drawstate.h"
#include "graphics/software/softwarepath.h"
#include "platform/window.h"
#include "softblit/softblit.h"

namespace {
MEMIMG screen{};
bool screenMade = false;
}  // namespace

int CreateSoftwareScreen() {
    if (screenMade) return 0;
    if (CreateMemImg(&screen, kDeviceTargetWidth, kDeviceTargetHeight, MEMIMG_KIND_32BIT, 0, 0, 0) != 0)
        return WriteLogText("The software screen could not be made");
    screenMade = true;
    BuildBlendTables();
    SetSoftwareDrawTarget(&screen);
    ResetSoftwareDrawState();
    return 0;
}

int ReleaseSoftwareScreen() {
    if (!screenMade) return -1;
    if (DrawTargetMemImg == &screen) SetSoftwareDrawTarget(nullptr);
    ReleaseMemImg(&screen);
    std::memset(&screen, 0, sizeof screen);
    screenMade = false;
    return 0;
}

MEMIMG* GetSoftwareScreen() { return screenMade ? &screen : nullptr; }

int PresentSoftwareScreen() {
    if (!screenMade) return WriteLogText("No software screen to present");
    const platform::WindowBackend& window = platform::Window();
    if (!window.presentPixels) return WriteLogText("The window cannot show software pictures");
    if (window.presentPixels(reinterpret_cast<const uint32_t*>(screen.pixels), screen.width, screen.height,
                             screen.base->pitch) != 0)
        return WriteLogText("The software screen could not be shown");
    return 0;
}
