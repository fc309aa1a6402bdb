// Per-pixel blend rules on 32-bit targets: byte 0 blue, 1 green, 2 red, 3
// the top byte. Weights (blend level b, source alpha a, parameter p) each
// count as weight / 256 and multiply; divisions by 255 come from the
// product table. The top byte changes only where a rule says so.
//
// Blend is written over a lane type (lanes.h): one pixel in a uint32_t for
// the scalar loops, a register of them (one a lane) for the vector loops.
#pragma once
#include <cstdint>

#include "softblit/blit_setup.h"
#include "softblit/lanes.h"
#include "softblit/packed_ops.h"
#include "softblit/rule_forms.h"
#include "softblit/table_reads.h"

namespace morpotta::softblit32 {

constexpr bool UsesParam(int mode) {
    return mode == KernelAlpha || mode == KernelAdd || mode == KernelSub || mode == KernelInvert ||
           mode == KernelMulAlpha;
}

template <class L>
SOFTBLIT_INLINE L Channel(L word, int shift) {
    return (word >> shift) & 0xFF;
}

// mix(X, d) = floor((W * X + (2^k - W) * d) / 2^k), X itself when k = 0
// (with one weight every product and the sum stay below 2^16).
template <int Shift, class L>
SOFTBLIT_INLINE L Mix(L x, L d, L w) {
    if constexpr (Shift == 0) {
        return x;
    } else if constexpr (Shift == 8) {
        return (MulSmall(w, x) + MulSmall((1u << Shift) - w, d)) >> Shift;
    } else {
        return (w * x + ((1u << Shift) - w) * d) >> Shift;
    }
}

// The source after inversion (BlendInvert) and tint: blue, green and red in
// bytes 0 to 2; the top byte is not part of it.
template <KernelConfig C, class L>
SOFTBLIT_INLINE L EffectiveSource(const BlitSetup& s, L colour) {
    L v = colour;
    if constexpr (C.mode == KernelInvert) v = ~v;  // 255 - c in every byte
    if constexpr (C.tint) v = ScaleRgb(s.tint, v);
    return v;
}

// The new target word for source colour, alpha a and level b over target
// word d; UseA says whether the alpha is a weight.
template <KernelConfig C, bool UseA, class L>
SOFTBLIT_INLINE L Blend(const BlitSetup& s, L colour, L a, L b, L d) {
    if constexpr (kStoresSourceWord<C, UseA>) return colour;
    if constexpr (C.special && C.mode == KernelAlpha) return HalveAverage888(colour, d);
    if constexpr (C.special && C.mode == KernelAdd) return LossyAdd888(d, colour);
    constexpr bool useP = UsesParam(C.mode);
    constexpr int n = (C.blend ? 1 : 0) + (UseA ? 1 : 0) + (useP ? 1 : 0);
    L w = Splat<L>(1);
    if constexpr (C.blend) w = b;
    if constexpr (UseA) w = C.blend ? w * a : a;
    if constexpr (useP) w = (C.blend || UseA) ? w * static_cast<uint32_t>(s.p) : Splat<L>(static_cast<uint32_t>(s.p));
    const L src = EffectiveSource<C>(s, colour);

    if constexpr (C.mode == KernelAdd || C.mode == KernelSub) {
        L t;
        if constexpr (n == 1) {
            t = ScaleRgb(s.byParam, src);
        } else {
            t = Splat<L>(0);
            for (int i = 0; i < 3; ++i) t |= ((Channel(src, 8 * i) * w) >> (8 * n)) << (8 * i);
        }
        return C.mode == KernelAdd ? SaturatingAdd888(d, t) : SaturatingSubtract888(d, t);
    } else if constexpr (C.mode == KernelMul) {
        constexpr int shift = 8 * (n + 1);
        L out = d & 0xFF000000u;
        for (int i = 0; i < 3; ++i) out |= ((Channel(d, 8 * i) * Channel(src, 8 * i) * w) >> shift) << (8 * i);
        return out;
    } else if constexpr (n == 1 && C.mode != KernelMulAlpha) {
        // One weight over 256: blue with red and green with the top byte
        // share a word, each sum below 2^16; the same floors per channel.
        const L rest = 256 - w;
        const L rb = (PairMix(src & 0xFF00FFu, d & 0xFF00FFu, w, rest) >> 8) & 0xFF00FFu;
        const L g = PairMix((src >> 8) & 0xFF00FFu, (d >> 8) & 0xFF00FFu, w, rest) & 0xFF00u;
        return (d & 0xFF000000u) | rb | g;
    } else {
        L out = d & 0xFF000000u;
        for (int i = 0; i < 3; ++i) {
            const L dc = Channel(d, 8 * i);
            L x = Channel(src, 8 * i);
            if constexpr (C.mode == KernelMulAlpha) x = MulSmall(dc, x) >> 8;
            out |= Mix<8 * n>(x, dc, w) << (8 * i);
        }
        return out;
    }
}

}  // namespace morpotta::softblit32
