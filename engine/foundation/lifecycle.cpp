// Engine start-up and shut-down, each in its fixed order and each under the
// library lock and the resource lock (no other thread's call runs in the
// middle of either). A failure in the window, input or graphics start-up
// ends the engine again, so the caller only sees -1. The thread that
// starts the engine is the engine's thread until it ends it.
//
// A program that ends without ShutdownEngine has the engine ended as its
// process ends (exit, quick_exit, a return from main), on whichever thread
// ends it, once: the end belongs to the process that started the engine,
// never to a child of fork.
#include "engine/lifecycle.h"

#include "engine/files.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/version.h"
#include "engine/window.h"
#include "foundation/apilock.h"
#include "foundation/durable.h"
#include "foundation/engine_thread.h"
#include "foundation/log_internal.h"
#include "foundation/subsystems.h"
#include "foundation/window_internal.h"
#include "platform/codepage.h"
#include "platform/lasting_state.h"
#include "platform/sysinfo.h"
#include "platform/thread.h"
#include "platform/window.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

using namespace morpotta;

namespace morpotta {

namespace {

struct LifecycleState {
    // Asked on any thread at any time.
    std::atomic<bool> initialized{false};
    std::atomic<int> logicalProcessors{1};
    EngineStepObserver observer = nullptr;
    // From the engine thread's binding to the end of start-up, and from the
    // start of the log on; read by an end at exit on any thread.
    std::atomic<bool> starting{false}, logStarted{false};
    // The shut-down's step to run next: one that an exit from the
    // observer interrupted is taken up again there.
    size_t nextEndStep = 0;
    // The process whose end ends the engine; set before start-up calls the
    // observer, so that an exit from it ends what start-up began.
    std::atomic<long> endArmedBy{0};
    std::atomic<bool> endedAtExit{false};
};

LifecycleState& Lifecycle() {
    return platform::LastingState<LifecycleState>();
}

// True while the calling thread runs the observer: an exit it makes there
// ends the engine without calling it again.
thread_local bool inObserver = false;

void Step(const char* name) {
    if (!Lifecycle().observer) return;
    const UserCodeScope user;
    inObserver = true;
    Lifecycle().observer(name);
    inObserver = false;
}

void WriteSystemInformation() {
    platform::SystemInfo info = platform::QuerySystemInfo();
    Lifecycle().logicalProcessors = info.logicalProcessors;
    WriteLogFormat("Engine version %s", MORPOTTA_ENGINE_VERSION_STRING);
    WriteLogFormat("OS: %s", info.osName.c_str());
    WriteLogFormat("CPU: %s", info.cpuName.c_str());
    WriteLogFormat("Logical processors: %d", info.logicalProcessors);
    WriteLogFormat("Physical memory: %llu MB", (unsigned long long)(info.totalMemoryBytes >> 20));
}

struct EndStep {
    const char* name;
    void (*run)();
};

constexpr EndStep kEndSteps[] = {
    {"music", [] { CallEngineSubsystems(&EngineSubsystem::stopMusic); }},
    {"models", [] { CallEngineSubsystems(&EngineSubsystem::endModels); }},
    {"graphics", [] { CallEngineSubsystems(&EngineSubsystem::endGraphics); }},
    // After the graphs, which close the movies they show; before sound, as
    // a movie's sound is a sound handle.
    {"movies", [] { CallEngineSubsystems(&EngineSubsystem::endMovies); }},
    {"input", subsystems::TerminateInput},
    {"sound", [] { CallEngineSubsystems(&EngineSubsystem::endSound); }},
    {"window teardown", TeardownMainWindow},
    {"software images", [] { CallEngineSubsystems(&EngineSubsystem::releaseSoftwareImages); }},
    {"window destruction",
     [] {
         DestroyMainWindow();
         ResetWindowState();
     }},
    {"start directory", subsystems::RestoreStartDirectory},
    {"archives", subsystems::CloseArchives},
    {"memory dump",
     [] {
         if (GetLogOutput()) DumpMemoryBlocks();
     }},
};

void ShutdownLocked() {
    LifecycleState& s = Lifecycle();
    if (s.nextEndStep == 0) RunEngineThreadQueue();
    for (; s.nextEndStep < std::size(kEndSteps); ++s.nextEndStep) {
        Step(kEndSteps[s.nextEndStep].name);
        kEndSteps[s.nextEndStep].run();
    }
    s.nextEndStep = 0;
    WriteLogText("Engine ended");
    EndLog();
    s.initialized = false;
    s.starting = false;
    s.logStarted = false;
    ReleaseEngineThread();
    // What the libraries below keep for the engine's life and its thread.
    platform::CloseCodePageConverters();
    platform::ReleaseCurrentThreadStorage();
}

// A start-up failure is what a user must see: on stderr as well as in the
// log.
void ReportStartUpFailure(const char* reason) {
    Refuse("start-up failed: %s", reason);
    std::fprintf(stderr, "Start-up failed: %s\n", reason);
}

// Failure once the window step has begun: end what was started, report -1.
int Abort(const char* reason) {
    ReportStartUpFailure(reason);
    DecreaseLogIndent();
    ShutdownLocked();
    return -1;
}

int StartUpLocked() {
    LifecycleState& s = Lifecycle();
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
    // Before the log starts: a second copy must not empty the first one's
    // log file, so it says why it ends on stderr alone.
    Step("double-start check");
    std::string lockWhy;
    int lock = LockAgainstSecondCopy(&lockWhy);
    if (lock < 0) {
        std::fprintf(stderr, "Start-up failed: another copy of this program is running in this folder\n");
        return -1;
    }
    // The stores and their settling count on the lock: without it a second
    // copy could be storing in this folder unseen.
    if (lock > 0) {
        std::fprintf(stderr,
                     "Start-up failed: the double-start check cannot take %s in this folder (%s); remove it while "
                     "no copy of this program runs here, and it is made afresh at the next start\n",
                     kDoubleStartLockName, lockWhy.c_str());
        return -1;
    }
    Step("log");
    StartLog();
    s.logStarted = true;
    WriteLogText("Engine start-up");
    IncreaseLogIndent();
    Step("desktop depth");
    if (GetWindowModeFlag() && DesktopBitsPerPixel() == 24) {
        ReportStartUpFailure("a 24-bit desktop is not supported");
        DecreaseLogIndent();
        EndLog();
        s.logStarted = false;
        ReleaseDoubleStartLock();
        return -1;
    }
    Step("performance counter");
    WriteLogText("Monotonic microsecond clock in use");
    Step("system information");
    WriteSystemInformation();
    Step("stream tables");
    subsystems::FillStreamTables();
    Step("window");
    if (CreateMainWindow() != 0) return Abort("no window could be opened (is a display available?)");
    Step("input");
    if (subsystems::InitializeInput() != 0) return Abort("input could not be started");
    Step("sound");
    CallEngineSubsystems(&EngineSubsystem::startSound);
    Step("graphics");
    if (StartEngineGraphics() != 0) return Abort("graphics could not be started");
    Step("on-screen log");
    CallEngineSubsystems(&EngineSubsystem::startOnScreenLog);
    Step("draw screens");
    CallEngineSubsystems(&EngineSubsystem::selectDrawScreens);
    Step("models");
    CallEngineSubsystems(&EngineSubsystem::startModels);
    DecreaseLogIndent();
    WriteLogText("Engine start-up complete");
    s.initialized = true;
    return 0;
}

bool ArrangeEndAtExit() { return std::atexit(EndEngineForExit) == 0 && at_quick_exit(EndEngineForExit) == 0; }

void ReportEndNotArranged(bool arranged) {
    if (!arranged) WriteLogText("The engine cannot arrange its end at the process's end: end it with ShutdownEngine");
}

// The end at the process's end is arranged as the first start-up begins,
// so that an exit from the observer during start-up ends what it began, and
// again once it has succeeded, so that the end comes before the exit
// handlers of what start-up loaded (the GL driver's) and before the
// destructors of every static made earlier. It runs once.
void ArrangeEndAtExitAtStartUp(bool startedUp) {
    static const bool early = ArrangeEndAtExit();
    bool arranged = early;
    if (startedUp) {
        static const bool late = ArrangeEndAtExit();
        arranged = late;
    }
    ReportEndNotArranged(arranged);
}

// An exit made while start-up runs on this thread (from the observer):
// what start-up began ends, and a log it began is finished.
void EndStartUpForExit() {
    LifecycleState& s = Lifecycle();
    if (s.logStarted) {
        DecreaseLogIndent();
        ShutdownLocked();
        return;
    }
    ReleaseDoubleStartLock();
    s.starting = false;
    ReleaseEngineThread();
}

}  // namespace

int StartEngine() {
    ApiLock* lock = EngineApiLock();
    AcquireApiLock(lock);
    int result = 0;
    if (Lifecycle().initialized) {
        result = AllowOnlyOnEngineThread() ? 0 : -1;
    } else {
        ResourceLockGuard resources(ResourceLock());
        Lifecycle().endArmedBy = platform::CurrentProcessId();
        ArrangeEndAtExitAtStartUp(false);
        BindEngineThread();
        Lifecycle().starting = true;
        result = StartUpLocked();
        Lifecycle().starting = false;
        if (result != 0) ReleaseEngineThread();
    }
    ReleaseApiLock(lock);
    if (result == 0) ArrangeEndAtExitAtStartUp(true);
    return result;
}

}  // namespace morpotta

int ShutdownEngine() {
    const PublicCall call("ShutdownEngine");
    if (!AllowOnlyOnEngineThread()) return -1;
    return EndEngine();
}

namespace morpotta {

int EndEngine() {
    ApiLock* lock = EngineApiLock();
    AcquireApiLock(lock);
    if (!Lifecycle().initialized) {
        ReleaseApiLock(lock);
        return RefuseEngineNotRunning();
    }
    // Other threads' loads run outside every lock: the engine ends once
    // those running have returned.
    EndLoaderCalls();
    {
        ResourceLockGuard resources(ResourceLock());
        ShutdownLocked();
    }
    // The folders the durable stores took are another program's to take now.
    ReleaseDurableFolders();
    Step("library lock");
    ReleaseApiLock(lock);
    DestroyEngineApiLock();
    return 0;
}

void ArrangeEndAtExitAgain() { ReportEndNotArranged(ArrangeEndAtExit()); }

void EndEngineForExit() {
    LifecycleState& s = Lifecycle();
    if (s.endArmedBy.load() != platform::CurrentProcessId() || s.endedAtExit.exchange(true)) return;
    // A call of this thread's that ends in the exit is one the end must not
    // wait for.
    LeaveLoaderCallForExit();
    TakeOverEngineThreadForEnd();
    if (inObserver) s.observer = nullptr;
    if (s.starting) {
        EndStartUpForExit();
    } else if (s.initialized) {
        EndEngine();
    }
}

}  // namespace morpotta

int IsEngineInitialized() { return Lifecycle().initialized.load() ? 1 : 0; }

int LogicalProcessorCount() { return Lifecycle().logicalProcessors.load(); }

void SetEngineStepObserver(EngineStepObserver observer) {
    const PublicCall call("SetEngineStepObserver");
    if (!AllowOnlyOnEngineThread()) return;
    Lifecycle().observer = observer;
}

int SetWindowBackend(const char* name) {
    const PublicCall call("SetWindowBackend");
    return ChooseBackend(platform::SelectWindowBackend, name, Lifecycle().initialized);
}
