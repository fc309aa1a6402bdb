// Per-pixel blend rules on 32-bit targets: byte 0 blue, 1 green, 2 red, 3
// the top byte. Weights (blend level b, source alpha a, parameter p) each
// count as weight / 256 and multiply; divisions by 255 come from the
// product table. The top byte changes only where a rule says so.
#pragma once
#include <cstdint>

#include "softblit/blit_setup.h"
#include "softblit/packed_ops.h"
#include "softblit/pixel_access.h"

namespace softblit32 {

constexpr bool UsesParam(int mode) {
    return mode == KernelAlpha || mode == KernelAdd || mode == KernelSub || mode == KernelInvert ||
           mode == KernelMulAlpha;
}

[[gnu::always_inline]] inline uint32_t Channel(uint32_t word, int shift) { return (word >> shift) & 0xFF; }

// mix(X, d) = floor((W * X + (2^k - W) * d) / 2^k), X itself when k = 0.
template <int Shift>
[[gnu::always_inline]] inline uint32_t Mix(uint32_t x, uint32_t d, uint32_t w) {
    if constexpr (Shift == 0) {
        return x;
    } else {
        return (w * x + ((1u << Shift) - w) * d) >> Shift;
    }
}

// Source channels after inversion (BlendInvert) and tint.
template <KernelConfig C>
[[gnu::always_inline]] inline void EffectiveSource(const BlitSetup& s, uint32_t colour, uint32_t out[3]) {
    for (int i = 0; i < 3; ++i) {
        uint32_t v = Channel(colour, 8 * i);
        if constexpr (C.mode == KernelInvert) v = 255 - v;
        out[i] = v;
    }
    if constexpr (C.tint) {
        out[0] = s.tintRowBlue[out[0]];
        out[1] = s.tintRowGreen[out[1]];
        out[2] = s.tintRowRed[out[2]];
    }
}

// One pixel with the weights fixed: UseA says whether the alpha is a weight.
template <KernelConfig C, bool UseA>
[[gnu::always_inline]] inline void Draw(const BlitSetup& s, uint32_t colour, uint32_t a, uint32_t b, uint8_t* dst) {
    if constexpr (C.mode == KernelCopy && !C.tint && !C.blend) {
        // Whole-word copies, top byte included.
        if constexpr (!UseA || (!C.trans && !C.scaled)) {
            StorePixel32(dst, colour);
            return;
        }
    }
    const uint32_t d = LoadPixel32(dst);
    if constexpr (C.special && C.mode == KernelAlpha) {
        StorePixel32(dst, HalveAverage888(colour, d));
        return;
    }
    if constexpr (C.special && C.mode == KernelAdd) {
        StorePixel32(dst, LossyAdd888(d, colour));
        return;
    }
    constexpr bool useP = UsesParam(C.mode);
    constexpr int n = (C.blend ? 1 : 0) + (UseA ? 1 : 0) + (useP ? 1 : 0);
    uint32_t w = 1;
    if constexpr (C.blend) w *= b;
    if constexpr (UseA) w *= a;
    if constexpr (useP) w *= static_cast<uint32_t>(s.p);
    uint32_t src[3];
    EffectiveSource<C>(s, colour, src);

    if constexpr (C.mode == KernelAdd || C.mode == KernelSub) {
        uint32_t t = 0;
        for (int i = 0; i < 3; ++i) {
            uint32_t v;
            if constexpr (n == 1) {
                v = s.productRowP[src[i]];
            } else {
                v = (src[i] * w) >> (8 * n);
            }
            t |= v << (8 * i);
        }
        StorePixel32(dst, C.mode == KernelAdd ? SaturatingAdd888(d, t) : SaturatingSubtract888(d, t));
    } else if constexpr (C.mode == KernelMul) {
        constexpr int shift = 8 * (n + 1);
        uint32_t out = d & 0xFF000000u;
        for (int i = 0; i < 3; ++i) out |= ((Channel(d, 8 * i) * src[i] * w) >> shift) << (8 * i);
        StorePixel32(dst, out);
    } else if constexpr (n == 1 && C.mode != KernelMulAlpha) {
        // One weight over 256: red and blue share a word (each lane's sum
        // stays below 2^16), green goes alone; the same floors per channel.
        const uint32_t sw = (C.tint || C.mode == KernelInvert) ? src[0] | (src[1] << 8) | (src[2] << 16) : colour;
        const uint32_t rest = 256 - w;
        const uint32_t rb = (((sw & 0xFF00FFu) * w + (d & 0xFF00FFu) * rest) >> 8) & 0xFF00FFu;
        const uint32_t g = (((sw & 0xFF00u) * w + (d & 0xFF00u) * rest) >> 8) & 0xFF00u;
        StorePixel32(dst, (d & 0xFF000000u) | rb | g);
    } else {
        uint32_t out = d & 0xFF000000u;
        for (int i = 0; i < 3; ++i) {
            const uint32_t dc = Channel(d, 8 * i);
            uint32_t x = src[i];
            if constexpr (C.mode == KernelMulAlpha) x = (dc * x) >> 8;
            out |= Mix<8 * n>(x, dc, w) << (8 * i);
        }
        StorePixel32(dst, out);
    }
}

}  // namespace softblit32
