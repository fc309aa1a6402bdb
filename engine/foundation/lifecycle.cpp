// Engine start-up and shut-down, each in its fixed order and each under the
// library lock and the resource lock (no other thread's call runs in the
// middle of either). A failure in the window, input or graphics start-up
// ends the engine again, so the caller only sees -1. The thread that
// starts the engine is the engine's thread until it ends it.
//
// A program that ends without ShutdownEngine has the engine ended as its
// process ends (exit, quick_exit, a return from main), on whichever thread
// ends it, once: the end belongs to the process that started the engine,
// never to a child of fork. No wait of that end is without limit: what it
// cannot take over in kEndWaitLimitSeconds it leaves to the process's end.
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
#include "platform/warning.h"
#include "platform/window.h"

#include <atomic>
#include <cstdarg>
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
    // From just before the engine thread's binding to the end of start-up;
    // read by an end at exit on any thread, as is the step start-up or
    // shut-down is at.
    std::atomic<bool> starting{false};
    std::atomic<const char*> step{nullptr};
    // The process whose end ends the engine; set before start-up calls the
    // observer, so that an exit from it ends what start-up began.
    std::atomic<long> endArmedBy{0};
    std::atomic<bool> endedAtExit{false};
};

LifecycleState& Lifecycle() {
    return platform::LastingState<LifecycleState>();
}

// The longest an end at the process's end waits: for the engine's thread
// to leave the call it is in (a draw in the driver), and for other threads'
// loads.
constexpr int kEndWaitLimitSeconds = 5;

void Step(const char* name) {
    LifecycleState& s = Lifecycle();
    s.step.store(name, std::memory_order_relaxed);
    if (!s.observer) return;
    const UserCodeScope user;
    s.observer(name);
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
    RunEngineThreadQueue();
    for (const EndStep& step : kEndSteps) {
        Step(step.name);
        step.run();
    }
    WriteLogText("Engine ended");
    EndLog();
    s.initialized = false;
    s.starting = false;
    ReleaseEngineThread();
    // What the libraries below keep for the engine's life and its thread.
    platform::CloseCodePageConverters();
    platform::ReleaseCurrentThreadStorage();
}

// A start-up failure is what a user must see: on stderr as well as in the
// log.
void ReportStartUpFailure(const char* reason) {
    Refuse("start-up failed: %s", reason);
    platform::SayToUser("cannot start: %s", reason);
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
        platform::SayToUser("cannot start: another copy of this program is running in this folder");
        return -1;
    }
    // The stores and their settling count on the lock: without it a second
    // copy could be storing in this folder unseen.
    if (lock > 0) {
        platform::SayToUser("cannot start: the double-start check cannot take %s in this folder (%s); remove it "
                            "while no copy of this program runs here, and it is made afresh at the next start",
                            kDoubleStartLockName, lockWhy.c_str());
        return -1;
    }
    Step("log");
    StartLog();
    WriteLogText("Engine start-up");
    IncreaseLogIndent();
    Step("desktop depth");
    if (GetWindowModeFlag() && DesktopBitsPerPixel() == 24) {
        ReportStartUpFailure("a 24-bit desktop is not supported");
        DecreaseLogIndent();
        EndLog();
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

bool ArrangeEndAtExit() { return platform::CallAtProcessEnd(EndEngineForExit); }

void ReportEndNotArranged(bool arranged) {
    if (!arranged) WriteLogText("The engine cannot arrange its end at the process's end: end it with ShutdownEngine");
}

// The end at the process's end is arranged as the first start-up begins,
// so that an exit during start-up (from the observer, from another thread)
// ends what it began, and once more at each stage of the GL driver's
// coming in (ArrangeEndAtExitAfterTheDriver). It runs once.
void ArrangeEndAtExitAtStartUp() {
    static const bool arranged = ArrangeEndAtExit();
    ReportEndNotArranged(arranged);
}

// The end that leaves the engine to the process's end, which ends at once
// after it: the log says why and what is left, and ends; the engine runs no
// more. It may run where a signal stopped the engine's thread (in an
// allocation), and allocates nothing.
__attribute__((format(printf, 1, 2))) void FinishLogForExit(const char* format, ...) {
    LifecycleState& s = Lifecycle();
    // Whether a log runs is the log's to say, under its own lock, which it
    // keeps: a start-up on another thread that has not begun its log yet
    // begins none.
    char why[kLogLineMax];
    va_list args;
    va_start(args, format);
    std::vsnprintf(why, sizeof why, format, args);
    va_end(args);
    EndLogAtOnce({why,
                  "The engine ends with the process: its window, devices and memory are left to the process's end",
                  "Engine ended"});
    s.initialized = false;
    s.starting = false;
}

const char* NameOfCall(const char* call) {
    return call == call_frame::kUserCode ? "the program's own code run from an engine call" : call;
}

// The end at exit once it has begun: true when it ended the engine as
// ShutdownEngine does, or found none to end; false when it left the engine
// to the process's end.
bool EndForExit(EndDeadline deadline) {
    LifecycleState& s = Lifecycle();
    // Start-up loads the window system's and the GL driver's libraries,
    // whose exit handlers, registered after the end was first arranged,
    // have run by now: the end waits for none of it.
    if (s.starting.load() && !OnEngineThread()) {
        FinishLogForExit("The program ends as the engine starts up on another thread, at its step \"%s\"",
                         s.step.load(std::memory_order_relaxed));
        return false;
    }
    const EndTakeOverResult takeOver = TakeOverEngineThreadForEnd(deadline);
    switch (takeOver.outcome) {
    case EndTakeOver::kTaken:
        if (!s.initialized) return true;
        if (!EndLoaderCalls(deadline)) {
            FinishLogForExit("A load on another thread has not returned in %d s of the end at exit",
                             kEndWaitLimitSeconds);
            return false;
        }
        EndEngine();
        return true;
    case EndTakeOver::kInsideItsCall:
        // Made from inside the call (a signal handler, the observer, a fatal
        // error), the end enters neither the window system nor the driver,
        // whose locks the call may hold, nor the exit handlers that would.
        FinishLogForExit("The program ends on the engine's thread inside %s", NameOfCall(takeOver.call));
        LetGoOfEngineThreadInsideItsCall();
        return false;
    case EndTakeOver::kNotTaken:
        FinishLogForExit("The engine's thread is still inside %s after %d s of the end at exit",
                         NameOfCall(takeOver.call), kEndWaitLimitSeconds);
        return false;
    }
    return false;
}

}  // namespace

int StartEngine() {
    ApiLock* lock = EngineApiLock();
    AcquireApiLock(lock);
    int result = 0;
    bool endBegunElsewhere = false;
    if (Lifecycle().initialized) {
        result = AllowOnlyOnEngineThread() ? 0 : -1;
    } else {
        ResourceLockGuard resources(ResourceLock());
        if (EngineEnding()) {
            result = Refuse("the program is ending");
        } else {
            Lifecycle().endArmedBy = platform::CurrentProcessId();
            ArrangeEndAtExitAtStartUp();
            Lifecycle().starting = true;
            BindEngineThread();
            // Read after the binding, as the end reads it after its mark: an
            // end begun on another thread meanwhile finds this start-up, or
            // this start-up finds that end and starts nothing.
            endBegunElsewhere = call_frame::ending.load();
            if (!endBegunElsewhere) result = StartUpLocked();
            Lifecycle().starting = false;
            if (result != 0 || endBegunElsewhere) ReleaseEngineThread();
        }
    }
    ReleaseApiLock(lock);
    if (endBegunElsewhere) call_frame::HoldForEnd();
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

void ArrangeEndAtExitAfterTheDriver(DriverStage stage) {
    static std::atomic<bool> arranged[size_t(DriverStage::kCount)];
    std::atomic<bool>& done = arranged[size_t(stage)];
    if (done.load(std::memory_order_relaxed) || done.exchange(true)) return;
    ReportEndNotArranged(ArrangeEndAtExit());
}

void EndEngineForExit(int status) {
    LifecycleState& s = Lifecycle();
    if (s.endArmedBy.load() != platform::CurrentProcessId() || s.endedAtExit.exchange(true)) return;
    const EndDeadline deadline = DeadlineIn(kEndWaitLimitSeconds);
    BeginEndAtExit();
    // A call of this thread's that ends in the exit is one the end must not
    // wait for.
    LeaveLoaderCallForExit();
    if (EndForExit(deadline)) return;
    // The engine's thread may still run in the driver, whose exit handlers
    // come next, or this thread was stopped inside an engine call: the
    // process ends here, with its status. (quick_exit, which does not tell
    // it, runs no such handler and ends at once itself.)
    if (status != platform::kStatusNotTold) platform::EndProcessNow(status);
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
