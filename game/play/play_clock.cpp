#include "game/play/play_clock.h"

#include "engine/timer.h"

namespace {
int (*activeClock)() = nullptr;
}

int PlayMilliseconds() { return activeClock ? activeClock() : GetMillisecondCount(); }
void SetPlayClock(int (*clock)()) { activeClock = clock; }
