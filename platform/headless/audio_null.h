#pragma once
#include "platform/audio.h"

namespace morpotta::platform {
extern const AudioBackend kNullAudioBackend;
}
