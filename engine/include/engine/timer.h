// Engine time. The millisecond count is masked to 31 bits and wraps: always
// compare two counts through ElapsedMilliseconds, never by subtraction.
#pragma once
#include <cstdint>

int GetMillisecondCount();
// Microseconds of the monotonic clock (the flag, which would allow a CPU
// cycle counter, is accepted and ignored).
int64_t GetMicrosecondCount(int allowCpuCounter = 0);
// now - start on the 31-bit counter, correct across the wrap.
int ElapsedMilliseconds(int start, int now);
// Sleeps the calling thread (on a virtual clock: advances it instead).
int SleepMilliseconds(int ms);
