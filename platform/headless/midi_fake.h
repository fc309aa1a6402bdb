#pragma once
#include "platform/midi.h"

namespace morpotta::platform {
extern const MidiBackend kFakeMidiBackend;
}
