#pragma once
#include "platform/window.h"

namespace morpotta::platform {
extern const WindowBackend kHeadlessWindowBackend;
}
