#pragma once
#include "platform/midi.h"

namespace platform {
extern const MidiBackend kFluidSynthMidiBackend;
}
