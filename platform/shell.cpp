// Address checks shared by every shell back end.
#include "platform/shell.h"

#include <cstring>

namespace morpotta::platform {

bool IsSafeWebAddress(const char* address) {
    if (!address) return false;
    if (std::strncmp(address, "https://", 8) != 0 && std::strncmp(address, "http://", 7) != 0) return false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(address); *p; ++p) {
        if (*p <= 0x20 || *p >= 0x7F) return false;
    }
    return true;
}

bool OpenWebAddress(const char* address) {
    if (!IsSafeWebAddress(address)) return false;
    return Shell().openWebAddress(address);
}

}  // namespace morpotta::platform
