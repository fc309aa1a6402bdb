// The red, green and blue bytes of a pixel read back as 0xAARRGGBB.
#pragma once
#include <cstdint>

inline int R(uint32_t c) { return int(c >> 16 & 0xFF); }
inline int G(uint32_t c) { return int(c >> 8 & 0xFF); }
inline int B(uint32_t c) { return int(c & 0xFF); }
