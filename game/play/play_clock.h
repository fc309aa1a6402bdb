// The millisecond count the play code reads: the engine's, unless a
// simulator put its own clock in place.
#pragma once

int PlayMilliseconds();
// Null restores the engine's count.
void SetPlayClock(int (*clock)());
