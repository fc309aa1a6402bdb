#pragma once
#include "platform/window.h"

namespace platform {
extern const WindowBackend kSdl2WindowBackend;
}
