// The calling thread's public call and the refusals said in its name.
#include "foundation/public_call.h"

#include "engine/log.h"

#include <cstdarg>
#include <cstdio>

namespace morpotta {

namespace call_frame {

thread_local constinit std::atomic<const char*> thisSlot{nullptr};
thread_local constinit std::atomic<uint8_t> thisState{0};
constinit std::atomic<bool> ending{false};

}  // namespace call_frame

namespace {

// The engine's own work the thread does, named by an EngineTaskScope.
thread_local const char* currentTask = nullptr;

int SayRefusal(const char* call, const char* format, va_list args) {
    char why[kLogLineMax];
    std::vsnprintf(why, sizeof why, format, args);
    if (call) return WriteLogFormat("%s refused: %s", call, why);
    if (currentTask) return WriteLogFormat("%s: %s", currentTask, why);
    return WriteLogFormat("Refused: %s", why);
}

}  // namespace

int Refuse(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = SayRefusal(CurrentPublicCall(), format, args);
    va_end(args);
    return result;
}

int RefuseNull(const char* what) { return Refuse("no %s (null)", what); }

int RefuseIndex(const char* what, int index, int count) {
    if (count <= 0) return Refuse("%s %d, and there is none", what, index);
    return Refuse("%s %d, not 0 to %d", what, index, count - 1);
}

int RefuseNullIn(const char* function, const char* what) { return RefuseIn(function, "no %s (null)", what); }

int RefuseIn(const char* function, const char* format, ...) {
    const char* call = CurrentPublicCall();
    va_list args;
    va_start(args, format);
    const int result = SayRefusal(call || currentTask ? call : function, format, args);
    va_end(args);
    return result;
}

EngineTaskScope::EngineTaskScope(const char* task) : outer_(currentTask) { currentTask = task; }

EngineTaskScope::~EngineTaskScope() { currentTask = outer_; }

}  // namespace morpotta
