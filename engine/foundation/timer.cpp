// Engine time on the platform's monotonic clock.
#include "engine/timer.h"

#include "platform/clock.h"

using namespace morpotta;

int GetMillisecondCount() { return int((platform::ClockMicroseconds() / 1000u) & 0x7FFFFFFFu); }

int64_t GetMicrosecondCount(int) { return int64_t(platform::ClockMicroseconds()); }

int ElapsedMilliseconds(int start, int now) { return int((uint32_t(now) - uint32_t(start)) & 0x7FFFFFFFu); }

int SleepMilliseconds(int ms) {
    platform::SleepMilliseconds(ms);
    return 0;
}
