// Packed saturating add and subtract on whole pixels, shared by every
// software kernel (plain, scaled, rotated, polygon). One add or subtract
// and a fixed mask sequence per pixel, no branch per channel. The lowest
// bits of green and red come out approximate: that is the rule, and drawn
// pixels depend on it, so a per-byte saturating vector form is no
// substitute.
#pragma once
#include <cstdint>

// R5G6B5 single pixel (operands zero-extended). Lowest bits of green and
// red are ORed from the inputs and the carry below.
[[gnu::always_inline]] inline uint32_t SaturatingAdd565(uint32_t d, uint32_t x) {
    const uint32_t sum = (d & 0xF7DEF7DFu) + (x & 0xF7DEF7DFu);
    const uint32_t c = sum & 0x08210820u;
    return (sum | (c - (c >> 5)) | ((d | x) & 0x0820u)) & 0xFFFFu;
}

// R5G6B5 single pixel: green's lowest bit cleared, red's set unless green
// borrowed.
[[gnu::always_inline]] inline uint32_t SaturatingSubtract565(uint32_t d, uint32_t x) {
    const uint32_t t = (d | 0x08210820u) - (x & 0xF7DEF7DFu);
    const uint32_t c = t & 0x08210820u;
    return (t & (c - (c >> 5))) & 0xFFFFu;
}

// Two R5G6B5 pixels in one word (first pixel in the low half). The carry
// out of the first pixel's red lands in the second pixel's blue; the carry
// out of bit 31 saturates the second pixel's red.
[[gnu::always_inline]] inline uint32_t PairedAdd565(uint32_t d, uint32_t x) {
    const uint32_t dm = d & 0xF7DEF7DFu;
    const uint32_t sum = dm + (x & 0xF7DEF7DFu);
    const uint32_t k = sum < dm ? 1u : 0u;
    const uint32_t c = sum & 0x08210820u;
    return sum | (c - ((c >> 5) | (k << 27)));
}

// The paired add run on one pixel alone (partner skipped, or the last pixel
// of an odd row): no OR of the inputs' lowest bits.
[[gnu::always_inline]] inline uint32_t PairedAddAlone565(uint32_t d, uint32_t x) {
    const uint32_t sum = (d & 0xF7DEF7DFu) + (x & 0xF7DEF7DFu);
    const uint32_t c = sum & 0x08210820u;
    return (sum | (c - (c >> 5))) & 0xFFFFu;
}

[[gnu::always_inline]] inline uint32_t PairedSubtract565(uint32_t d, uint32_t x) {
    const uint32_t minuend = d | 0x08210820u;
    const uint32_t subtrahend = x & 0xF7DEF7DFu;
    const uint32_t t = minuend - subtrahend;
    const bool borrow = subtrahend > minuend;
    const uint32_t c = t & 0x08210820u;
    return t & ((c - (c >> 5)) | (borrow ? 0u : 0xF8000000u));
}

// 32-bit pixel: top byte of the result = red's carry (0 or 1).
[[gnu::always_inline]] inline uint32_t SaturatingAdd888(uint32_t d, uint32_t t) {
    const uint32_t sum = (d & 0x00FEFEFFu) + (t & 0x00FEFEFFu);
    const uint32_t c = sum & 0x01010100u;
    return (c - (c >> 8)) | ((d | t) & 0x00010100u) | sum;
}

// The add without the OR of the inputs' lowest green and red bits.
[[gnu::always_inline]] inline uint32_t LossyAdd888(uint32_t d, uint32_t t) {
    const uint32_t sum = (d & 0x00FEFEFFu) + (t & 0x00FEFEFFu);
    const uint32_t c = sum & 0x01010100u;
    return (c - (c >> 8)) | sum;
}

// 32-bit pixel: top byte of the result 0.
[[gnu::always_inline]] inline uint32_t SaturatingSubtract888(uint32_t d, uint32_t t) {
    const uint32_t r = (d | 0x01010100u) - (t & 0x00FEFEFFu);
    const uint32_t c = r & 0x01010100u;
    return r & (c - (c >> 8));
}

// floor(s / 2) + floor(d / 2) per channel; top byte 0.
[[gnu::always_inline]] inline uint32_t HalveAverage888(uint32_t s, uint32_t d) {
    return ((s >> 1) & 0x7F7F7Fu) + ((d >> 1) & 0x7F7F7Fu);
}
[[gnu::always_inline]] inline uint32_t HalveAverage565(uint32_t s, uint32_t d) {
    return ((s >> 1) & 0x7BEFu) + ((d >> 1) & 0x7BEFu);
}
