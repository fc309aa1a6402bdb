// The calling thread's public call and the refusals said in its name.
#include "foundation/public_call.h"

#include "engine/log.h"

#include <cstdarg>
#include <cstdio>

namespace morpotta {

namespace {

// The outermost public function the thread is in; a call inside it keeps it.
thread_local const char* currentCall = nullptr;
// The engine's own work the thread does, named by an EngineTaskScope.
thread_local const char* currentTask = nullptr;

int SayRefusal(const char* format, va_list args) {
    char why[kLogLineMax];
    std::vsnprintf(why, sizeof why, format, args);
    if (currentCall) return WriteLogFormat("%s refused: %s", currentCall, why);
    if (currentTask) return WriteLogFormat("%s: %s", currentTask, why);
    return WriteLogFormat("Refused: %s", why);
}

}  // namespace

PublicCall::PublicCall(const char* function) : outer_(currentCall) {
    if (!currentCall) currentCall = function;
}

PublicCall::~PublicCall() { currentCall = outer_; }

UserCallScope::UserCallScope() : outer_(currentCall) { currentCall = nullptr; }

UserCallScope::~UserCallScope() { currentCall = outer_; }

const char* CurrentPublicCall() { return currentCall; }

int Refuse(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = SayRefusal(format, args);
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
    const char* const outer = currentCall;
    if (!currentCall && !currentTask) currentCall = function;
    va_list args;
    va_start(args, format);
    const int result = SayRefusal(format, args);
    va_end(args);
    currentCall = outer;
    return result;
}

EngineTaskScope::EngineTaskScope(const char* task) : outer_(currentTask) { currentTask = task; }

EngineTaskScope::~EngineTaskScope() { currentTask = outer_; }

}  // namespace morpotta
