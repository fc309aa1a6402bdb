#pragma once
#include "platform/hid.h"

namespace morpotta::platform {
extern const HidBackend kHidrawBackend;
}
