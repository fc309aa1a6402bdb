// Unaligned, alias-safe pixel loads and stores: software images are byte
// blocks whose pixels are 1, 2 or 4 bytes; memcpy compiles to plain moves.
#pragma once
#include <cstdint>
#include <cstring>

namespace morpotta {

[[gnu::always_inline]] inline uint32_t LoadPixel16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
[[gnu::always_inline]] inline uint32_t LoadPixel32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
[[gnu::always_inline]] inline void StorePixel16(uint8_t* p, uint32_t v) {
    const uint16_t w = static_cast<uint16_t>(v);
    std::memcpy(p, &w, 2);
}
[[gnu::always_inline]] inline void StorePixel32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

}  // namespace morpotta
