#pragma once
#include "platform/hid.h"

namespace platform {
extern const HidBackend kHidrawBackend;
}
