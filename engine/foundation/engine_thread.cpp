// The engine's thread, the resource lock, the admission of other threads'
// picture calls and the queue of work other threads leave to the engine's
// thread.
#include "foundation/engine_thread.h"

#include "engine/log.h"
#include "platform/lasting_state.h"
#include "platform/thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <utility>
#include <vector>

namespace morpotta {

namespace {

using Work = std::pair<void (*)(void*), void*>;

struct EngineThreadModule {
    std::atomic<bool> bound{false};
    std::recursive_mutex resourceLock;
    std::mutex queueLock;
    std::vector<Work> queue;  // under queueLock
    std::mutex loaderLock;
    std::condition_variable loaderCallsDone;
    int loaderCalls = 0;           // LoaderCalls running (outermost), under loaderLock
    bool loaderCallsEnded = false; // from the beginning of shut-down to its end, under loaderLock
    // The engine's thread's frames, for an end made on another thread;
    // null when no thread is bound or it has ended.
    std::atomic<const call_frame::ThreadFrames*> engineFrames{nullptr};
};

EngineThreadModule& EngineThread() {
    return platform::LastingState<EngineThreadModule>();
}

int64_t SteadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// LoaderCalls the calling thread is inside, and how many of them give the
// engine's own work a pass (none inside the user's code).
thread_local int loaderCallDepth = 0;
thread_local int passDepth = 0;

// The calling thread's frames, as another thread finds them.
thread_local const call_frame::ThreadFrames myFrames{&call_frame::thisSlot, &call_frame::thisState};

// The engine's thread ending without ending the engine leaves no frames
// behind for an end at exit to read, nor, when it is a thread of the
// program's that ends for good, what the libraries below kept for it (the
// end, on another thread, cannot free that). The process's first thread
// ends only as the process exits, maybe from a signal handler, where
// nothing may be freed: the end frees its storage itself.
struct FramesRetraction {
    ~FramesRetraction() {
        const call_frame::ThreadFrames* mine = &myFrames;
        if (EngineThread().engineFrames.compare_exchange_strong(mine, nullptr) &&
            long(platform::CurrentThreadId()) != platform::CurrentProcessId())
            platform::ReleaseCurrentThreadStorage();
    }
};
thread_local FramesRetraction framesRetraction;

void PublishEngineFrames(const call_frame::ThreadFrames* frames) {
    if (frames) (void)&framesRetraction;  // made on this thread, so that its end retracts them
    EngineThread().engineFrames.store(frames);
}

}  // namespace

void call_frame::HoldForEnd() {
    thisSlot.store(nullptr, std::memory_order_release);
    platform::WaitUntilProcessEnds();
}

bool engine_thread::AdmitOffQuickRoad(const char* outer) {
    call_frame::HoldIfEndBegun(call_frame::State(), outer);
    return AllowOnlyOnEngineThread();
}

bool engine_thread::OnEngineThreadOffQuickRoad(const char* outer) {
    call_frame::HoldIfEndBegun(call_frame::State(), outer);
    return OnEngineThread();
}

EndDeadline DeadlineIn(int seconds) { return SteadyNanoseconds() + int64_t(seconds) * 1000000000; }

void BeginEndAtExit() { call_frame::ending.store(true); }

EndTakeOverResult TakeOverEngineThreadForEnd(EndDeadline deadline) {
    // Bound before the frames: a thread binding meanwhile publishes its
    // frames before it is bound.
    const bool bound = EngineThread().bound.load();
    const call_frame::ThreadFrames* engine = EngineThread().engineFrames.load();
    // The engine's own thread (whose frames an exit there has retracted
    // already, with its other thread_local objects).
    if (OnEngineThread()) {
        const char* call = call_frame::thisSlot.load(std::memory_order_relaxed);
        if (call != nullptr) return {EndTakeOver::kInsideItsCall, call};
    } else if (engine) {
        engine->state->fetch_or(call_frame::kEndBegun, call_frame::kMarkOrder);
        platform::ProcessWideBarrier();
        for (;;) {
            const char* call = engine->slot->load(std::memory_order_acquire);
            if (call == nullptr) break;
            if (SteadyNanoseconds() >= deadline) return {EndTakeOver::kNotTaken, call};
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    // The calling thread's own call, cut short by the exit, never returns:
    // what the end says is said in no call's name.
    call_frame::thisSlot.store(nullptr, std::memory_order_relaxed);
    if (engine || bound) call_frame::thisState.store(call_frame::kEngineThread);
    return {EndTakeOver::kTaken, nullptr};
}

void LetGoOfEngineThreadInsideItsCall() {
    call_frame::thisSlot.store(nullptr, std::memory_order_relaxed);
    ReleaseEngineThread();
}

// Counted on every thread but the engine's, also while no engine runs: a
// call begun as another thread starts the engine is one its shut-down
// waits for.
LoaderCall::LoaderCall(const char* function) : call_(function) {
    if (OnEngineThread()) return;
    if (loaderCallDepth == 0) {
        std::lock_guard<std::mutex> guard(EngineThread().loaderLock);
        admitted_ = !EngineThread().loaderCallsEnded;
        if (admitted_) ++EngineThread().loaderCalls;
    }
    if (!admitted_) {
        Refuse("the engine is ending");
        return;
    }
    ++loaderCallDepth;
    ++passDepth;
    entered_ = true;
}

LoaderCall::~LoaderCall() {
    if (!entered_) return;
    --passDepth;
    if (--loaderCallDepth > 0) return;
    std::lock_guard<std::mutex> guard(EngineThread().loaderLock);
    if (--EngineThread().loaderCalls == 0) EngineThread().loaderCallsDone.notify_all();
}

bool EndLoaderCalls(EndDeadline deadline) {
    std::unique_lock<std::mutex> guard(EngineThread().loaderLock);
    EngineThread().loaderCallsEnded = true;
    const auto allReturned = [] { return EngineThread().loaderCalls == 0; };
    if (deadline == kNoDeadline) {
        EngineThread().loaderCallsDone.wait(guard, allReturned);
        return true;
    }
    return EngineThread().loaderCallsDone.wait_until(
        guard, std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadline)), allReturned);
}

void LeaveLoaderCallForExit() {
    if (loaderCallDepth == 0) return;
    loaderCallDepth = 0;
    std::lock_guard<std::mutex> guard(EngineThread().loaderLock);
    if (--EngineThread().loaderCalls == 0) EngineThread().loaderCallsDone.notify_all();
}

UserCodeScope::UserCodeScope() : savedDepth_(passDepth) { passDepth = 0; }
UserCodeScope::~UserCodeScope() { passDepth = savedDepth_; }

void BindEngineThread() {
    call_frame::thisState.store(call_frame::kEngineThread);
    platform::PrepareProcessWideBarrier();
    PublishEngineFrames(&myFrames);
    EngineThread().bound.store(true);
}

// A mark of the end the thread got stays: it holds at its call's return.
void ReleaseEngineThread() {
    PublishEngineFrames(nullptr);
    EngineThread().bound.store(false);
    call_frame::thisState.fetch_and(call_frame::kEndBegun);
    std::lock_guard<std::mutex> guard(EngineThread().loaderLock);
    EngineThread().loaderCallsEnded = false;
}

bool NoEngineThread() { return !EngineThread().bound.load(); }

bool engine_thread::AllowedOffEngineThread() {
    if (NoEngineThread() || passDepth > 0) return true;
    Refuse("only the thread that started the engine may call it");
    return false;
}

int RefuseEngineNotRunning() { return Refuse("the engine is not running (before start-up or after shut-down)"); }

bool CheckEngineRunning() {
    if (!NoEngineThread()) return true;
    RefuseEngineNotRunning();
    return false;
}

int ChooseBackend(bool (*select)(const char* name), const char* name, bool running) {
    if (!AllowOnlyOnEngineThread()) return -1;
    if (running) return Refuse("the back end is chosen before start-up");
    if (!name) return RefuseNull("back end name");
    return select(name) ? 0 : Refuse("no back end is named \"%s\"", name);
}

std::recursive_mutex& ResourceLock() { return EngineThread().resourceLock; }

void RunOnEngineThread(void (*work)(void* data), void* data) {
    if (OnEngineThread() || NoEngineThread()) {
        work(data);
        return;
    }
    std::lock_guard<std::mutex> guard(EngineThread().queueLock);
    EngineThread().queue.emplace_back(work, data);
}

void RunEngineThreadQueue() {
    std::vector<Work> due;
    {
        std::lock_guard<std::mutex> guard(EngineThread().queueLock);
        due.swap(EngineThread().queue);
    }
    for (const Work& w : due) w.first(w.second);
}

}  // namespace morpotta
