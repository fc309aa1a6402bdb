// Which thread may call what (engine.h gives the rule to games). The
// engine's thread, the one that started the engine, may call everything.
// Any other thread may, while the engine runs, make and delete pictures,
// sounds and models. Such a call of another thread is a LoaderCall: it
// reads, decodes and converts on its own and takes a lock only to enter or
// take out a table entry (the resource lock for pictures, the sound lock
// for sounds, the tables' own locks for models), so that the engine's
// thread waits at most for that. What another thread must leave to the
// engine's thread (freeing what that thread may be drawing at the moment)
// waits in a queue that the engine's thread runs at every message pass and
// at shut-down. Every other call made on another thread is refused.
#pragma once
#include "foundation/public_call.h"

#include <cstdint>
#include <mutex>

namespace morpotta {

namespace engine_thread {
// Elsewhere: the rule of AllowOnlyOnEngineThread, or false after its refusal.
bool AllowedOffEngineThread();
// An EngineThreadCall off its quick road: held as a PublicCall is once the
// end has begun, else AllowOnlyOnEngineThread.
bool AdmitOffQuickRoad(const char* outer);
// An AnyThreadCall off its quick road: held as a PublicCall is once the
// end has begun, else OnEngineThread.
bool OnEngineThreadOffQuickRoad(const char* outer);
}  // namespace engine_thread

// As start-up begins, the calling thread becomes the engine's thread; at
// the end of shut-down (or of a start-up that failed) no thread is.
void BindEngineThread();
void ReleaseEngineThread();
// True on the engine's thread alone.
inline bool OnEngineThread() {
    return call_frame::thisState.load(std::memory_order_relaxed) & call_frame::kEngineThread;
}
// True while no thread is the engine's (before start-up, after shut-down).
bool NoEngineThread();
// For the calls only the engine's thread may make: true there, inside a
// LoaderCall (the engine's own work for that call), and on any thread while
// no thread is the engine's (settings made before start-up); on any other
// thread, false after the public call's refusal.
inline bool AllowOnlyOnEngineThread() { return OnEngineThread() || engine_thread::AllowedOffEngineThread(); }

// The frame of a public call whose quick road (the engine's thread, the
// end not begun) is one test of the thread's state; off it, offQuickRoad
// (given what Open returned) says whether the call goes on. passes() is
// that answer.
template <bool (*offQuickRoad)(const char* outer)>
class QuickRoadCall {
public:
    explicit QuickRoadCall(const char* function)
        : outer_(call_frame::Open(function)),
          passes_(__builtin_expect(call_frame::State() == call_frame::kEngineThread, 1) || offQuickRoad(outer_)) {}
    ~QuickRoadCall() { call_frame::Close(outer_); }
    QuickRoadCall(const QuickRoadCall&) = delete;
    QuickRoadCall& operator=(const QuickRoadCall&) = delete;

protected:
    bool passes() const { return passes_; }

private:
    const char* outer_;
    bool passes_;
};

// The frame of a public call only the engine's thread may make: a
// PublicCall and AllowOnlyOnEngineThread in one. allowed() is false after
// the refusal.
class EngineThreadCall : public QuickRoadCall<engine_thread::AdmitOffQuickRoad> {
public:
    using QuickRoadCall::QuickRoadCall;
    bool allowed() const { return passes(); }
};

// The frame of a public call any thread may make, whose road on the
// engine's thread is hot (GetGraphDimensions): a PublicCall and
// OnEngineThread in one.
class AnyThreadCall : public QuickRoadCall<engine_thread::OnEngineThreadOffQuickRoad> {
public:
    using QuickRoadCall::QuickRoadCall;
    bool onEngineThread() const { return passes(); }
};

// A moment of the steady clock (its nanoseconds), by which a wait of the
// end at exit gives up. (No <chrono> here: the sound files that include
// this header are compiled for the CP932 code page, which <chrono>'s text
// does not fit.)
using EndDeadline = int64_t;
constexpr EndDeadline kNoDeadline = INT64_MAX;
EndDeadline DeadlineIn(int seconds);

// Marks the end of the engine run as the process ends begun (EngineEnding),
// before anything of the engine's is read for it: a thread that becomes the
// engine's meanwhile reads the mark after it is bound.
void BeginEndAtExit();
// That end, on whichever thread ends the process. From here on the
// engine's thread starts no new work and never returns into the program: a
// public call it begins, or one it is in as it returns, holds it
// (call_frame::HoldForEnd), and a wait of the engine's gives up. This waits
// until that thread is outside the call it is in, until deadline at most;
// then the calling thread is the engine's thread, so that the end is made
// as ShutdownEngine makes it. So it is too when the engine's thread has
// ended (the thread that ran the engine was joined). The engine's thread
// keeps its GL context: the end skips what needs it.
enum class EndTakeOver {
    kTaken,
    // The calling thread is the engine's, inside one of its calls (an exit
    // from a signal handler, the observer or a fatal error): that call may
    // hold the window system's or the driver's locks.
    kInsideItsCall,
    // The engine's thread was still inside its call at deadline.
    kNotTaken,
};
struct EndTakeOverResult {
    EndTakeOver outcome;
    const char* call;  // the call the engine's thread is in (not kTaken)
};
EndTakeOverResult TakeOverEngineThreadForEnd(EndDeadline deadline);
// After kInsideItsCall: the engine's thread is bound no more, and its call,
// which never returns, names no more the calls made after it (an
// at_quick_exit handler's): they are refused as after ShutdownEngine.
void LetGoOfEngineThreadInsideItsCall();
// True once that end has begun: an engine call that waits (the message
// processing, a sound or MIDI played to its end) gives up its wait.
inline bool EngineEnding() { return call_frame::ending.load(std::memory_order_relaxed); }
// The refusal of a call that needs the engine while it is not running, in
// the words every such refusal uses: -1, after the public call's refusal.
int RefuseEngineNotRunning();
// For the calls that need the engine: true from the beginning of start-up
// to the end of shut-down; else false after that refusal.
bool CheckEngineRunning();

// The choice of a back end by name for the next start-up (of the window,
// input or sound): 0, or -1 after the public call's refusal while what it
// is chosen for runs, or for a name no back end has.
int ChooseBackend(bool (*select)(const char* name), const char* name, bool running);

// Held by the calls of other threads that enter or take out a picture's
// table entry, and by the engine's thread wherever it changes what those
// calls read (the table's life, a device rebuild).
std::recursive_mutex& ResourceLock();
using ResourceLockGuard = std::lock_guard<std::recursive_mutex>;

// The frame of a picture, sound or model call, a public call (it opens
// one) that may be made on another thread than the engine's, which holds
// no lock of its own: the engine does not end while one runs
// (EndLoaderCalls waits for it, also for one begun before start-up bound
// the engine's thread), and none begins once the engine is ending
// (admitted() is false then, after the call's refusal). What the engine
// does for the call may make the calls only the engine's thread may make.
// Nothing more on the engine's thread.
class LoaderCall {
public:
    explicit LoaderCall(const char* function);
    ~LoaderCall();
    LoaderCall(const LoaderCall&) = delete;
    LoaderCall& operator=(const LoaderCall&) = delete;
    bool admitted() const { return admitted_; }

private:
    PublicCall call_;
    bool entered_ = false, admitted_ = true;
};

// The engine's thread, as shut-down begins: admits no more LoaderCalls and
// waits until those running have returned (true), until deadline at most
// (false: some still run).
bool EndLoaderCalls(EndDeadline deadline = kNoDeadline);
// A thread about to end the process from inside a LoaderCall (a fatal
// error): its call counts no more, so that the shut-down it makes, or
// another thread's, waits for the other calls alone. Its pass stays.
void LeaveLoaderCallForExit();

// Around the user's own code run from inside an engine call (an image
// reader, a callback): what it calls gets no pass from a LoaderCall it runs
// in, and refuses in its own name.
class UserCodeScope {
public:
    UserCodeScope();
    ~UserCodeScope();
    UserCodeScope(const UserCodeScope&) = delete;
    UserCodeScope& operator=(const UserCodeScope&) = delete;

private:
    int savedDepth_;
    UserCallScope calls_;
};

// Runs work(data) on the engine's thread: at once when called there (or
// while no thread is the engine's), else at its next message pass or at
// shut-down, whichever comes first.
void RunOnEngineThread(void (*work)(void* data), void* data);
// The engine's thread: runs what other threads queued, in their order.
void RunEngineThreadQueue();

}  // namespace morpotta
