// Monotonic time and sleeping. The clock can be switched to a virtual one
// that tests drive: it stands still until advanced, and sleeping on it
// advances it instead of waiting, so frame loops and timeouts run at once.
#pragma once
#include <cstdint>

namespace morpotta::platform {

uint64_t ClockMicroseconds();        // monotonic, since an arbitrary origin
void SleepMilliseconds(int ms);      // ms <= 0 only yields

void UseVirtualClock(bool on);       // on: starts at the current real time
bool IsVirtualClock();
void AdvanceVirtualClock(uint64_t microseconds);

// Seconds since the Unix epoch for time stamps in logs.
int64_t WallClockSeconds();

}  // namespace morpotta::platform
