// Monotonic clock over clock_gettime, with a virtual clock for tests.
// Stands in for the performance counter, timeGetTime and Sleep.
// Depends on: POSIX time.
#include "platform/clock.h"

#include <atomic>
#include <ctime>
#include <thread>

namespace morpotta::platform {
namespace {

std::atomic<bool> virtualOn{false};
std::atomic<uint64_t> virtualNow{0};

uint64_t RealMicroseconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}

}  // namespace

uint64_t ClockMicroseconds() {
    return virtualOn.load(std::memory_order_acquire) ? virtualNow.load(std::memory_order_acquire)
                                                     : RealMicroseconds();
}

void SleepMilliseconds(int ms) {
    if (virtualOn.load(std::memory_order_acquire)) {
        if (ms > 0) virtualNow.fetch_add(uint64_t(ms) * 1000u, std::memory_order_acq_rel);
        std::this_thread::yield();
        return;
    }
    if (ms <= 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void UseVirtualClock(bool on) {
    if (on && !virtualOn.load()) virtualNow.store(RealMicroseconds());
    virtualOn.store(on, std::memory_order_release);
}

bool IsVirtualClock() { return virtualOn.load(std::memory_order_acquire); }

void AdvanceVirtualClock(uint64_t microseconds) {
    virtualNow.fetch_add(microseconds, std::memory_order_acq_rel);
}

int64_t WallClockSeconds() { return int64_t(std::time(nullptr)); }

}  // namespace morpotta::platform
