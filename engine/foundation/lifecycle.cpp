// Engine start-up and shut-down, each in its fixed order and each under the
// library lock. A failure in the window, input or graphics start-up ends the
// engine again, so the caller only sees -1.
#include "engine/lifecycle.h"

#include "engine/log.h"
#include "engine/memory.h"
#include "engine/window.h"
#include "foundation/apilock.h"
#include "foundation/log_internal.h"
#include "foundation/subsystems.h"
#include "foundation/window_internal.h"
#include "platform/sysinfo.h"
#include "platform/window.h"

namespace {

constexpr const char* kEngineVersion = "1.00";

struct LifecycleState {
    bool initialized = false;
    int logicalProcessors = 1;
    EngineStepObserver observer = nullptr;
};

LifecycleState& State() {
    static LifecycleState state;
    return state;
}

void Step(const char* name) {
    if (State().observer) State().observer(name);
}

void WriteSystemInformation() {
    platform::SystemInfo info = platform::QuerySystemInfo();
    State().logicalProcessors = info.logicalProcessors;
    WriteLogFormat("Engine version %s", kEngineVersion);
    WriteLogFormat("OS: %s", info.osName.c_str());
    WriteLogFormat("CPU: %s", info.cpuName.c_str());
    WriteLogFormat("Logical processors: %d", info.logicalProcessors);
    WriteLogFormat("Physical memory: %llu MB", (unsigned long long)(info.totalMemoryBytes >> 20));
}

void ShutdownLocked() {
    Step("music");
    CallEngineSubsystems(&EngineSubsystem::stopMusic);
    Step("models");
    CallEngineSubsystems(&EngineSubsystem::endModels);
    Step("graphics");
    CallEngineSubsystems(&EngineSubsystem::endGraphics);
    Step("input");
    subsystems::TerminateInput();
    Step("sound");
    CallEngineSubsystems(&EngineSubsystem::endSound);
    Step("window teardown");
    TeardownMainWindow();
    Step("software images");
    CallEngineSubsystems(&EngineSubsystem::releaseSoftwareImages);
    Step("window destruction");
    DestroyMainWindow();
    ResetWindowState();
    Step("start directory");
    subsystems::RestoreStartDirectory();
    Step("archives");
    subsystems::CloseArchives();
    Step("memory dump");
    if (GetLogOutput()) DumpMemoryBlocks();
    WriteLogText("Engine ended\n");
    EndLog();
    State().initialized = false;
}

// Failure after the window exists: end what was started and report -1.
int Abort(const char* what) {
    WriteLogFormat("%s failed: ending the engine", what);
    DecreaseLogIndent();
    ShutdownLocked();
    return -1;
}

int StartUpLocked() {
    LifecycleState& s = State();
    if (s.initialized) return 0;
    // Nothing to load by name on this host: every service is linked in.
    Step("libraries");
    Step("display mode");
    FallBackToWindowIfModeUnavailable();
    Step("movie colour tables");
    CallEngineSubsystems(&EngineSubsystem::buildMovieColourTables);
    Step("archive table");
    subsystems::ResetArchives();
    Step("file functions");
    subsystems::InstallFileFunctions();
    Step("log");
    StartLog();
    WriteLogText("Engine start-up\n");
    IncreaseLogIndent();
    Step("desktop depth");
    if (GetWindowModeFlag() && DesktopBitsPerPixel() == 24) {
        WriteLogText("A 24-bit desktop is not supported\n");
        DecreaseLogIndent();
        EndLog();
        return -1;
    }
    Step("performance counter");
    WriteLogText("Monotonic microsecond clock in use\n");
    Step("system information");
    WriteSystemInformation();
    Step("stream tables");
    subsystems::FillStreamTables();
    Step("window");
    if (CreateMainWindow() != 0) return Abort("Window creation");
    Step("input");
    if (subsystems::InitializeInput() != 0) return Abort("Input start-up");
    Step("sound");
    CallEngineSubsystems(&EngineSubsystem::startSound);
    Step("graphics");
    if (StartEngineGraphics() != 0) return Abort("Graphics start-up");
    Step("on-screen log");
    CallEngineSubsystems(&EngineSubsystem::startOnScreenLog);
    Step("draw screens");
    CallEngineSubsystems(&EngineSubsystem::selectDrawScreens);
    Step("models");
    CallEngineSubsystems(&EngineSubsystem::startModels);
    DecreaseLogIndent();
    WriteLogText("Engine start-up complete\n");
    s.initialized = true;
    return 0;
}

}  // namespace

int StartEngine() {
    ApiLock* lock = EngineApiLock();
    AcquireApiLock(lock);
    int result = StartUpLocked();
    ReleaseApiLock(lock);
    return result;
}

int ShutdownEngine() {
    ApiLock* lock = EngineApiLock();
    AcquireApiLock(lock);
    if (!State().initialized) {
        ReleaseApiLock(lock);
        return -1;
    }
    ShutdownLocked();
    Step("library lock");
    ReleaseApiLock(lock);
    DestroyEngineApiLock();
    return 0;
}

int IsEngineInitialized() { return State().initialized ? 1 : 0; }

int LogicalProcessorCount() { return State().logicalProcessors; }

void SetEngineStepObserver(EngineStepObserver observer) { State().observer = observer; }

int SetWindowBackend(const char* name) {
    if (State().initialized) return -1;
    return platform::SelectWindowBackend(name) ? 0 : -1;
}
