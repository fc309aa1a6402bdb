// The frame of a public call, and the one way the engine says it refused
// one. engine.h promises that a call refused says why in the log, naming
// the function the program called: every public function that can refuse
// opens a PublicCall as it begins (one on a hot path, only where it
// refuses), and every refusal, wherever in the engine its reason is found,
// is written by Refuse, which names the outermost public function the
// calling thread is in. A public function that another calls (MakeBlankGraph
// making its image with CreateBaseImageXrgb32) refuses in the name of the
// one the program called.
//
// The frame also tells an end of the engine run from another thread (the
// process ending there, lifecycle.cpp) when the engine's thread is inside a
// call: the outermost frame marks the thread's call slot, which that end
// reads, and a call begun once the end has begun is held there. The frame
// is inline and costs a call a few instructions: a load of the slot, and
// for the outermost call a store and a test of the end's flag; a call made
// inside another changes nothing.
#pragma once

#include <atomic>
#include <cstdint>

namespace morpotta {

namespace call_frame {

// The public function the thread is in (its outermost), kUserCode while the
// user's own code runs from inside one, null outside every call. Written by
// its own thread alone; read by another only for the engine's thread, by
// an end of the engine run on that other thread.
extern thread_local constinit std::atomic<const char*> slot;
// Set once, as an end of the engine at the process's end begins.
extern constinit std::atomic<bool> ending;

inline const char* const kUserCode = reinterpret_cast<const char*>(uintptr_t{1});

// Nothing outside a call, or the user's code inside one: a frame opened
// there names its own function.
inline bool NamesItsOwnCall(const char* outer) { return reinterpret_cast<uintptr_t>(outer) <= 1; }

// The store of the slot and the load of the end's flag are ordered against
// the ending thread's store of the flag and load of the slot by a barrier
// that thread makes on every thread of the process (AsymmetricBarrier,
// engine_thread.cpp): this side costs no locked instruction. Under
// ThreadSanitizer, which does not see that barrier, both sides are
// sequentially consistent instead.
#if defined(__SANITIZE_THREAD__)
constexpr std::memory_order kMarkOrder = std::memory_order_seq_cst;
#else
constexpr std::memory_order kMarkOrder = std::memory_order_relaxed;
#endif

// A call begun on the engine's thread once the end has begun (not one made
// by the user's code inside a call the end waits for, nor one of the
// thread that ends the engine): its thread leaves the call and waits there
// until the process is gone. Any other returns at once.
void HoldForEnd(const char* outer);

}  // namespace call_frame

class PublicCall {
public:
    explicit PublicCall(const char* function) : outer_(call_frame::slot.load(std::memory_order_relaxed)) {
        if (__builtin_expect(call_frame::NamesItsOwnCall(outer_), 1)) Enter(function);
    }
    ~PublicCall() { call_frame::slot.store(outer_, std::memory_order_release); }
    PublicCall(const PublicCall&) = delete;
    PublicCall& operator=(const PublicCall&) = delete;

private:
    void Enter(const char* function) {
        call_frame::slot.store(function, call_frame::kMarkOrder);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        if (__builtin_expect(call_frame::ending.load(call_frame::kMarkOrder), 0)) call_frame::HoldForEnd(outer_);
    }
    const char* outer_;
};

// The public call set aside while the user's own code runs from inside
// one (UserCodeScope, engine_thread.h): the calls that code makes are its
// own, and refuse in their own names. The thread still counts as inside
// the call.
class UserCallScope {
public:
    UserCallScope() : outer_(call_frame::slot.load(std::memory_order_relaxed)) {
        call_frame::slot.store(call_frame::kUserCode, std::memory_order_relaxed);
    }
    ~UserCallScope() { call_frame::slot.store(outer_, std::memory_order_release); }
    UserCallScope(const UserCallScope&) = delete;
    UserCallScope& operator=(const UserCallScope&) = delete;

private:
    const char* outer_;
};

// The public function the calling thread is in (the one the program
// called), or null on a thread of the engine's own.
inline const char* CurrentPublicCall() {
    const char* call = call_frame::slot.load(std::memory_order_relaxed);
    return call_frame::NamesItsOwnCall(call) ? nullptr : call;
}

// Writes "<public function> refused: <why>" (on a thread of the engine's
// own, with no public call, "Refused: <why>"), and returns -1.
int Refuse(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The refusal of a null pointer, in the words every such refusal uses:
// "no <what> (null)".
int RefuseNull(const char* what);
// The refusal of an index outside 0..count-1: "<what> <index>, not 0 to
// <count - 1>" (or "..., and there is none").
int RefuseIndex(const char* what, int index, int count);
// The same for a function on a hot path, which opens its frame only where
// it refuses.
int RefuseNullIn(const char* function, const char* what);

}  // namespace morpotta
