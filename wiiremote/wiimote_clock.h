// The driver's millisecond clock, shared by its threads' timeouts: the
// platform's clock, which tests can run virtually.
#pragma once

#include <cstdint>

#include "platform/clock.h"

inline uint64_t WiimoteNowMs() { return morpotta::platform::ClockMicroseconds() / 1000; }
