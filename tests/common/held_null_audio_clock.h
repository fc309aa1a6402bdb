// While one lives, the null audio outputs opened keep their clock still
// until the test advances it, so they mix exactly what the test asks for.
#pragma once
#include "platform/audio.h"

using namespace morpotta;

class HeldNullAudioClock {
public:
    HeldNullAudioClock() { platform::UseManualNullAudioClock(true); }
    ~HeldNullAudioClock() { platform::UseManualNullAudioClock(false); }
    HeldNullAudioClock(const HeldNullAudioClock&) = delete;
    HeldNullAudioClock& operator=(const HeldNullAudioClock&) = delete;
};
