#pragma once
#include "platform/acm.h"

namespace platform {
extern const AcmFunctions kBuiltinAcm;
}
