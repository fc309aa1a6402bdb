#pragma once
#include "platform/audio.h"

namespace morpotta::platform {
extern const AudioBackend kSdl2AudioBackend;
}
