#pragma once
#include "platform/input.h"

namespace morpotta::platform {
extern const InputBackend kScriptedInputBackend;
}
