// Thread names and priorities over pthreads. Stands in for SetThreadPriority.
// Limits: raising a priority needs privileges most users lack; then the
// request fails and the thread keeps running at its normal priority.
// Depends on: pthreads.
#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace morpotta::platform {

bool SetCurrentThreadPriority(ThreadPriority priority) {
    if (priority == ThreadPriority::Normal) return true;
    sched_param param{};
    int policy = SCHED_RR;
    int lo = sched_get_priority_min(policy), hi = sched_get_priority_max(policy);
    param.sched_priority = priority == ThreadPriority::TimeCritical ? hi : (lo + hi) / 2;
    return pthread_setschedparam(pthread_self(), policy, &param) == 0;
}

void SetCurrentThreadName(const char* name) {
    char shortName[16];
    std::strncpy(shortName, name ? name : "", sizeof shortName - 1);
    shortName[sizeof shortName - 1] = 0;
    pthread_setname_np(pthread_self(), shortName);
}

unsigned long CurrentThreadId() { return static_cast<unsigned long>(syscall(SYS_gettid)); }

}  // namespace morpotta::platform
