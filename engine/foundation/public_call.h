// The frame of a public call, and the one way the engine says it refused
// one. engine.h promises that a call refused says why in one line of the
// log, naming the function the program called: every public function that
// can refuse opens a PublicCall as it begins (one on a hot path, only where
// it refuses), and every refusal, wherever in the engine its reason is
// found, goes through Refuse, which names the outermost public function the
// calling thread is in. A public function that another calls (MakeBlankGraph
// making its image with CreateBaseImageXrgb32) refuses in the name of the
// one the program called.
//
// One line a call: the first reason found is the call's, and what the
// steps around it would add on their way out (the sound load wrapping the
// file read that found the file missing) is said no more. A step the call
// may go on without, or whose failure the call words itself (each reader
// tried in turn), runs in an InnerAttempt (log_internal.h), which holds
// its reasons for its caller to say or drop. Which call has said its line
// is kept where the frames cannot lose it: the slot names the call itself
// until a frame opens inside it or the call refuses, and from then on the
// thread's call record (CallRecord), which the inner frames' closes put
// back as they found it; the outermost frame's open and close leave the
// record behind, so the hot path of a call made outside every other costs
// nothing more.
//
// The frame also tells an end of the engine run from another thread (the
// process ending there, lifecycle.cpp) when the engine's thread is inside a
// call: the outermost frame marks the thread's call slot, which that end
// reads, and a call begun once the end has begun, or returning then, is
// held there. The frame is inline and costs a call a few instructions: a
// load of the slot, for the outermost call a store, and a test of the
// thread's state as it opens and as it closes; a call made inside another
// stores nothing. EngineThreadCall (engine_thread.h)
// is the same frame for the calls only the engine's thread may make.
#pragma once

#include <atomic>
#include <cstdint>

namespace morpotta {

namespace call_frame {

// What the frames of one thread keep: two objects of their own, each at a
// fixed offset from the thread pointer, so that a frame reaches them with
// no register kept for a common base.
// The public function the thread is in (its outermost), kUserCode while
// the user's own code runs from inside one, null outside every call.
// Written by its own thread alone; read by another only for the engine's
// thread, by an end of the engine run on that other thread.
extern thread_local constinit std::atomic<const char*> thisSlot [[gnu::tls_model("local-exec")]];
// kEngineThread on the engine's thread while it is bound, with kEndBegun
// added there by the thread that ends the engine as the process ends.
extern thread_local constinit std::atomic<uint8_t> thisState [[gnu::tls_model("local-exec")]];
constexpr uint8_t kEngineThread = 1, kEndBegun = 2;
// Where another thread finds a thread's two.
struct ThreadFrames {
    std::atomic<const char*>* slot;
    std::atomic<uint8_t>* state;
};
// Set once, as an end of the engine at the process's end begins.
extern constinit std::atomic<bool> ending;

inline const char* const kUserCode = reinterpret_cast<const char*>(uintptr_t{1});

// Nothing outside a call, or the user's code inside one: a frame opened
// there names its own function.
inline bool NamesItsOwnCall(const char* outer) { return reinterpret_cast<uintptr_t>(outer) <= 1; }

// The store of the slot and the load of the thread's state are ordered
// against the ending thread's store of the state and load of the slot by a
// barrier that thread makes on every thread of the process
// (platform::ProcessWideBarrier): this side costs no locked instruction.
// Under ThreadSanitizer, which does not see that barrier, both sides are
// sequentially consistent instead.
#if defined(__SANITIZE_THREAD__)
constexpr std::memory_order kMarkOrder = std::memory_order_seq_cst;
#else
constexpr std::memory_order kMarkOrder = std::memory_order_relaxed;
#endif

// The call the thread is in, once a frame has opened inside it or it has
// refused: its name, and whether its one line is written. The slot then
// holds the record's address (RecordInSlot).
struct CallRecord {
    const char* function = nullptr;
    bool refusalSaid = false;
};
extern thread_local constinit CallRecord thisCall;
inline const char* RecordInSlot() { return reinterpret_cast<const char*>(&thisCall); }
// A frame opened inside a call whose slot still names it: the slot takes
// the call's record. Returns what the frame's close puts back.
const char* OpenInsideCall(const char* outer);

// Opens a frame: the slot names function unless an outer frame names its
// own; returns what the slot held, for Close.
inline const char* Open(const char* function) {
    const char* outer = thisSlot.load(std::memory_order_relaxed);
    if (__builtin_expect(NamesItsOwnCall(outer), 1)) {
        thisSlot.store(function, kMarkOrder);
        std::atomic_signal_fence(std::memory_order_seq_cst);
    } else if (outer != RecordInSlot()) {
        outer = OpenInsideCall(outer);
    }
    return outer;
}
inline uint8_t State() { return thisState.load(kMarkOrder); }

// The engine's thread leaves the call it is in and waits there until the
// process is gone.
[[noreturn]] void HoldForEnd();
// An outermost call (outer as Open returned it) begun or returning on the
// engine's thread (whose state is given) holds there once the end has
// begun elsewhere. A call made by the user's code inside a call the end
// waits for does not: that end waits for the call it is in.
inline void HoldIfEndBegun(uint8_t state, const char* outer) {
    if (__builtin_expect(state & kEndBegun, 0)) {
        if (outer == nullptr) HoldForEnd();
    }
}

// Closes a frame: the engine's thread never returns from its outermost
// call into the program once the end has begun elsewhere. (The slot just
// stored tells the outermost call, rather than outer: a test of outer
// shared with the opening would be kept in a register for the whole call.)
inline void Close(const char* outer) {
    thisSlot.store(outer, std::memory_order_release);
    if (__builtin_expect(State() & kEndBegun, 0)) {
        if (thisSlot.load(std::memory_order_relaxed) == nullptr) HoldForEnd();
    }
}

}  // namespace call_frame

class PublicCall {
public:
    explicit PublicCall(const char* function) : outer_(call_frame::Open(function)) {
        call_frame::HoldIfEndBegun(call_frame::State(), outer_);
    }
    ~PublicCall() { call_frame::Close(outer_); }
    PublicCall(const PublicCall&) = delete;
    PublicCall& operator=(const PublicCall&) = delete;

private:
    const char* outer_;
};

// The public call set aside while the user's own code runs from inside
// one (UserCodeScope, engine_thread.h): the calls that code makes are its
// own, and refuse in their own names. The thread still counts as inside
// the call. The thread's call record goes to the calls that code makes,
// and is put back as the scope ends.
class UserCallScope {
public:
    UserCallScope()
        : outer_(call_frame::thisSlot.load(std::memory_order_relaxed)), record_(call_frame::thisCall) {
        call_frame::thisSlot.store(call_frame::kUserCode, std::memory_order_relaxed);
    }
    ~UserCallScope() {
        call_frame::thisCall = record_;
        call_frame::Close(outer_);
    }
    UserCallScope(const UserCallScope&) = delete;
    UserCallScope& operator=(const UserCallScope&) = delete;

private:
    const char* outer_;
    call_frame::CallRecord record_;
};

// The public function the calling thread is in (the one the program
// called), or null on a thread of the engine's own.
inline const char* CurrentPublicCall() {
    const char* call = call_frame::thisSlot.load(std::memory_order_relaxed);
    if (call == call_frame::RecordInSlot()) return call_frame::thisCall.function;
    return call_frame::NamesItsOwnCall(call) ? nullptr : call;
}

// Writes "<public function> refused: <why>" and returns -1, once a call:
// a call whose line is written says no more (the steps around the one that
// found why), and an InnerAttempt open on the thread holds the reason
// instead. With no public call, on a thread of the engine's own in an
// EngineTaskScope, it writes "<task>: <why>": no call of the program's was
// refused there. With neither it writes "Refused: <why>", which no call of
// a program reaches: what a program can call (a public function, a table's
// entry) names itself.
int Refuse(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same with a reason made already (an InnerAttempt's, said for it).
int RefuseBecause(const char* why);

// The refusal of a null pointer, in the words every such refusal uses:
// "no <what> (null)".
int RefuseNull(const char* what);
// The refusal of an index outside 0..count-1: "<what> <index>, not 0 to
// <count - 1>" (or "..., and there is none").
int RefuseIndex(const char* what, int index, int count);
// The same for a function on a hot path, which opens its frame only where
// it refuses (RefuseIn: in the name of function when the thread is in no
// public call and no engine task, as a table entry the program called).
int RefuseNullIn(const char* function, const char* what);
int RefuseIn(const char* function, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The work of a thread of the engine's own (the movie decoder, the sound
// worker), named while one lives: what that thread logs through Refuse is
// said as the task's, never as the refusal of a call the program made.
class EngineTaskScope {
public:
    explicit EngineTaskScope(const char* task);
    ~EngineTaskScope();
    EngineTaskScope(const EngineTaskScope&) = delete;
    EngineTaskScope& operator=(const EngineTaskScope&) = delete;

private:
    const char* outer_;
};

}  // namespace morpotta
