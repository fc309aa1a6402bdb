#pragma once
#include "platform/input.h"

namespace platform {
extern const InputBackend kScriptedInputBackend;
}
