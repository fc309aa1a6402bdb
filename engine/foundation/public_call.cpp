// The calling thread's public call and the refusals said in its name.
#include "foundation/public_call.h"

#include "engine/log.h"

#include <cstdarg>
#include <cstdio>

namespace morpotta {

namespace {

// The outermost public function the thread is in; a call inside it keeps it.
thread_local const char* currentCall = nullptr;

}  // namespace

PublicCall::PublicCall(const char* function) : outer_(currentCall) {
    if (!currentCall) currentCall = function;
}

PublicCall::~PublicCall() { currentCall = outer_; }

UserCallScope::UserCallScope() : outer_(currentCall) { currentCall = nullptr; }

UserCallScope::~UserCallScope() { currentCall = outer_; }

const char* CurrentPublicCall() { return currentCall; }

int Refuse(const char* format, ...) {
    char why[kLogLineMax];
    va_list args;
    va_start(args, format);
    std::vsnprintf(why, sizeof why, format, args);
    va_end(args);
    if (!currentCall) return WriteLogFormat("Refused: %s", why);
    return WriteLogFormat("%s refused: %s", currentCall, why);
}

int RefuseNull(const char* what) { return Refuse("no %s (null)", what); }

int RefuseIndex(const char* what, int index, int count) {
    if (count <= 0) return Refuse("%s %d, and there is none", what, index);
    return Refuse("%s %d, not 0 to %d", what, index, count - 1);
}

int RefuseNullIn(const char* function, const char* what) {
    const PublicCall call(function);
    return RefuseNull(what);
}

}  // namespace morpotta
