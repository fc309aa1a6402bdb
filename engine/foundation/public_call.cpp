// The calling thread's public call and the refusals said in its name.
#include "foundation/public_call.h"

#include "engine/log.h"
#include "foundation/log_internal.h"

#include <cstdarg>
#include <cstdio>

namespace morpotta {

namespace call_frame {

thread_local constinit std::atomic<const char*> thisSlot{nullptr};
thread_local constinit std::atomic<uint8_t> thisState{0};
constinit std::atomic<bool> ending{false};
thread_local constinit CallRecord thisCall;

// The record starts with the call's refusal not said: the one before it on
// this thread (a call that has ended) is done with.
const char* OpenInsideCall(const char* outer) {
    thisCall = CallRecord{outer, false};
    thisSlot.store(RecordInSlot(), kMarkOrder);
    return RecordInSlot();
}

}  // namespace call_frame

namespace {

// The engine's own work the thread does, named by an EngineTaskScope.
thread_local const char* currentTask = nullptr;

// True the first time the calling thread's public call says its refusal.
bool FirstRefusalOfCall() {
    using namespace call_frame;
    const char* slot = thisSlot.load(std::memory_order_relaxed);
    if (slot != RecordInSlot()) {
        // No frame opened inside the call yet: it takes its record now.
        thisCall = CallRecord{slot, true};
        thisSlot.store(RecordInSlot(), kMarkOrder);
        return true;
    }
    if (thisCall.refusalSaid) return false;
    thisCall.refusalSaid = true;
    return true;
}

// The refusal with its reason, in the name of the public call (or else of
// function, the engine's task or none), unless an inner attempt holds it.
int SayReason(const char* function, const char* why) {
    if (InnerAttempt::HoldReason(why)) return -1;
    if (const char* call = CurrentPublicCall()) {
        if (!FirstRefusalOfCall()) return -1;
        return WriteLogFormat("%s refused: %s", call, why);
    }
    if (currentTask) return WriteLogFormat("%s: %s", currentTask, why);
    if (function) return WriteLogFormat("%s refused: %s", function, why);
    return WriteLogFormat("Refused: %s", why);
}

int SayRefusal(const char* function, const char* format, va_list args) {
    char why[kLogLineMax];
    std::vsnprintf(why, sizeof why, format, args);
    return SayReason(function, why);
}

}  // namespace

int Refuse(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = SayRefusal(nullptr, format, args);
    va_end(args);
    return result;
}

int RefuseBecause(const char* why) { return SayReason(nullptr, why); }

int RefuseNull(const char* what) { return Refuse("no %s (null)", what); }

int RefuseIndex(const char* what, int index, int count) {
    if (count <= 0) return Refuse("%s %d, and there is none", what, index);
    return Refuse("%s %d, not 0 to %d", what, index, count - 1);
}

int RefuseNullIn(const char* function, const char* what) { return RefuseIn(function, "no %s (null)", what); }

int RefuseIn(const char* function, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = SayRefusal(function, format, args);
    va_end(args);
    return result;
}

EngineTaskScope::EngineTaskScope(const char* task) : outer_(currentTask) { currentTask = task; }

EngineTaskScope::~EngineTaskScope() { currentTask = outer_; }

}  // namespace morpotta
