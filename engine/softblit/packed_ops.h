// Packed saturating add and subtract on whole pixels, shared by every
// software kernel (plain, scaled, rotated, polygon). One add or subtract
// and a fixed mask sequence per pixel, no branch per channel. The lowest
// bits of green and red come out approximate: that is the rule, and drawn
// pixels depend on it, so a per-byte saturating vector form is no
// substitute. Written over a lane type (lanes.h): the vector loops run the
// same recipe on eight words at once.
#pragma once
#include <cstdint>
#include <type_traits>

#include "softblit/lanes.h"

namespace morpotta {

// R5G6B5 single pixel (operands zero-extended). Lowest bits of green and
// red are ORed from the inputs and the carry below.
template <class L>
SOFTBLIT_INLINE L SaturatingAdd565(L d, std::type_identity_t<L> x) {
    const L sum = (d & 0xF7DEF7DFu) + (x & 0xF7DEF7DFu);
    const L c = sum & 0x08210820u;
    return (sum | (c - (c >> 5)) | ((d | x) & 0x0820u)) & 0xFFFFu;
}

// R5G6B5 single pixel: green's lowest bit cleared, red's set unless green
// borrowed.
template <class L>
SOFTBLIT_INLINE L SaturatingSubtract565(L d, std::type_identity_t<L> x) {
    const L t = (d | 0x08210820u) - (x & 0xF7DEF7DFu);
    const L c = t & 0x08210820u;
    return (t & (c - (c >> 5))) & 0xFFFFu;
}

// Two R5G6B5 pixels in one word (first pixel in the low half). The carry
// out of the first pixel's red lands in the second pixel's blue; the carry
// out of bit 31 saturates the second pixel's red.
template <class L>
SOFTBLIT_INLINE L PairedAdd565(L d, std::type_identity_t<L> x) {
    const L dm = d & 0xF7DEF7DFu;
    const L sum = dm + (x & 0xF7DEF7DFu);
    const L k = Select(sum < dm, Splat<L>(1), Splat<L>(0));
    const L c = sum & 0x08210820u;
    return sum | (c - ((c >> 5) | (k << 27)));
}

// The paired add run on one pixel alone (partner skipped, or the last pixel
// of an odd row): no OR of the inputs' lowest bits.
template <class L>
SOFTBLIT_INLINE L PairedAddAlone565(L d, std::type_identity_t<L> x) {
    const L sum = (d & 0xF7DEF7DFu) + (x & 0xF7DEF7DFu);
    const L c = sum & 0x08210820u;
    return (sum | (c - (c >> 5))) & 0xFFFFu;
}

template <class L>
SOFTBLIT_INLINE L PairedSubtract565(L d, std::type_identity_t<L> x) {
    const L minuend = d | 0x08210820u;
    const L subtrahend = x & 0xF7DEF7DFu;
    const L t = minuend - subtrahend;
    const L c = t & 0x08210820u;
    return t & ((c - (c >> 5)) | Select(subtrahend > minuend, Splat<L>(0), Splat<L>(0xF8000000u)));
}

// 32-bit pixel: top byte of the result = red's carry (0 or 1).
template <class L>
SOFTBLIT_INLINE L SaturatingAdd888(L d, std::type_identity_t<L> t) {
    const L sum = (d & 0x00FEFEFFu) + (t & 0x00FEFEFFu);
    const L c = sum & 0x01010100u;
    return (c - (c >> 8)) | ((d | t) & 0x00010100u) | sum;
}

// The add without the OR of the inputs' lowest green and red bits.
template <class L>
SOFTBLIT_INLINE L LossyAdd888(L d, std::type_identity_t<L> t) {
    const L sum = (d & 0x00FEFEFFu) + (t & 0x00FEFEFFu);
    const L c = sum & 0x01010100u;
    return (c - (c >> 8)) | sum;
}

// 32-bit pixel: top byte of the result 0.
template <class L>
SOFTBLIT_INLINE L SaturatingSubtract888(L d, std::type_identity_t<L> t) {
    const L r = (d | 0x01010100u) - (t & 0x00FEFEFFu);
    const L c = r & 0x01010100u;
    return r & (c - (c >> 8));
}

// floor(s / 2) + floor(d / 2) per channel; top byte 0.
template <class L>
SOFTBLIT_INLINE L HalveAverage888(L s, std::type_identity_t<L> d) {
    return ((s >> 1) & 0x7F7F7Fu) + ((d >> 1) & 0x7F7F7Fu);
}
template <class L>
SOFTBLIT_INLINE L HalveAverage565(L s, std::type_identity_t<L> d) {
    return ((s >> 1) & 0x7BEFu) + ((d >> 1) & 0x7BEFu);
}

}  // namespace morpotta
