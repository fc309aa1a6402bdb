// The calling thread's public call and the refusals said in its name.
#include "foundation/public_call.h"

#include "engine/log.h"

#include <cstdarg>
#include <cstdio>

namespace morpotta {

namespace call_frame {

thread_local constinit ThreadFrames thisThread;
constinit std::atomic<bool> ending{false};

}  // namespace call_frame

int Refuse(const char* format, ...) {
    char why[kLogLineMax];
    va_list args;
    va_start(args, format);
    std::vsnprintf(why, sizeof why, format, args);
    va_end(args);
    const char* call = CurrentPublicCall();
    if (!call) return WriteLogFormat("Refused: %s", why);
    return WriteLogFormat("%s refused: %s", call, why);
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
