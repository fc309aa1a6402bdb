// The blend rules' table reads. The scalar form reads the table (what the
// rules are defined by); the lane form computes the same entry from its
// row's factor by an identity that the tests check against every entry of
// the table.
#pragma once
#include <cstdint>

#include "softblit/blit_setup.h"
#include "softblit/lanes.h"

namespace morpotta {

// BlendProductTable row t, entry v (v at most 255): floor(v * t / 255).
SOFTBLIT_INLINE uint32_t ScaleBy(const uint32_t* row, uint32_t, uint32_t v) { return row[v]; }
template <LaneVector V>
SOFTBLIT_INLINE V ScaleBy(const uint32_t*, uint32_t t, V v) {
    return Div255(MulSmall(v, t));
}

// Blue, green and red (bytes 0 to 2 of w) each through its own row; the
// top byte comes out 0. The lane form scales blue with red and green with
// the top byte as 16-bit lanes (every product fits 16 bits).
SOFTBLIT_INLINE uint32_t ScaleRgb(const RgbScale& sc, uint32_t w) {
    return sc.rows[0][w & 0xFF] | sc.rows[1][(w >> 8) & 0xFF] << 8 | sc.rows[2][(w >> 16) & 0xFF] << 16;
}
template <LaneVector V>
SOFTBLIT_INLINE V ScaleRgb(const RgbScale& sc, V w) {
    using H = typename LaneTraits<V>::Halves;
    const H rb = reinterpret_cast<H>(w & 0x00FF00FFu) * reinterpret_cast<H>(Splat<V>(sc.factors[0] | sc.factors[2] << 16));
    const H g = reinterpret_cast<H>((w >> 8) & 0xFFu) * reinterpret_cast<H>(Splat<V>(sc.factors[1]));
    return reinterpret_cast<V>(Div255(rb)) | reinterpret_cast<V>(Div255(g)) << 8;
}

// BlendSignedProductTable row p (centred), entry k from -255 to 255:
// k * p / 255 truncated toward zero, as a 32-bit word.
SOFTBLIT_INLINE uint32_t SignedScale(const int32_t* row, uint32_t, uint32_t k) {
    return static_cast<uint32_t>(row[static_cast<int32_t>(k)]);
}
template <LaneVector V>
SOFTBLIT_INLINE V SignedScale(const int32_t*, uint32_t p, V k) {
    const MaskOf<V> negative = IsNegative(k);
    const V magnitude = Div255(MulSmall(Select(negative, -k, k), p));
    return Select(negative, -magnitude, magnitude);
}

// BlendMix6Table slab q = p / 4, entry [m][n] (6-bit values):
// floor((q * m + (63 - q) * n) / 63).
SOFTBLIT_INLINE uint32_t Mix6(const uint8_t (*slab)[64], uint32_t, uint32_t m, uint32_t n) { return slab[m][n]; }
template <LaneVector V>
SOFTBLIT_INLINE V Mix6(const uint8_t (*)[64], uint32_t q, V m, V n) {
    return Div63(MulSmall(m, q) + MulSmall(n, 63 - q));
}

}  // namespace morpotta
