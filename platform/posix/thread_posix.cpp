// Thread names and priorities over pthreads. Stands in for SetThreadPriority.
// Limits: raising a priority needs privileges most users lack; then the
// request fails and the thread keeps running at its normal priority. The
// process barrier is Linux's membarrier (kernel 4.14 for its quick form);
// the call at the process's end is glibc's on_exit, which tells the status.
// Depends on: pthreads, glibc.
#include "platform/thread.h"

#include <linux/membarrier.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

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

namespace {

std::atomic<bool> quickBarrier{false};

int Membarrier(int command) { return int(syscall(SYS_membarrier, command, 0, 0)); }

}  // namespace

void PrepareProcessWideBarrier() {
    if (quickBarrier.load()) return;
    quickBarrier.store(Membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0);
}

void ProcessWideBarrier() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (quickBarrier.load() && Membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0) return;
    if (Membarrier(MEMBARRIER_CMD_GLOBAL) == 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

long CurrentProcessId() { return long(getpid()); }

void WaitUntilProcessEnds() {
    for (;;) pause();
}

namespace {

std::atomic<void (*)(int)> endAtProcessEnd{nullptr};

void EndAtExit(int status, void*) { endAtProcessEnd.load()(status); }
void EndAtQuickExit() { endAtProcessEnd.load()(kStatusNotTold); }

// A stream another thread holds (writing, or stopped for good while it
// wrote) is left as it is: waiting for it could be waiting for ever.
void FlushUnlessHeld(FILE* stream) {
    if (ftrylockfile(stream) != 0) return;
    fflush_unlocked(stream);
    funlockfile(stream);
}

}  // namespace

bool CallAtProcessEnd(void (*end)(int status)) {
    endAtProcessEnd.store(end);
    return on_exit(EndAtExit, nullptr) == 0 && at_quick_exit(EndAtQuickExit) == 0;
}

void EndProcessNow(int status) {
    FlushUnlessHeld(stdout);
    FlushUnlessHeld(stderr);
    _exit(status);
}

}  // namespace morpotta::platform
