#pragma once
#include "platform/audio.h"

namespace platform {
extern const AudioBackend kSdl2AudioBackend;
}
