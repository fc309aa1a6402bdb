#pragma once
#include "platform/acm.h"

namespace morpotta::platform {
extern const AcmFunctions kBuiltinAcm;
}
