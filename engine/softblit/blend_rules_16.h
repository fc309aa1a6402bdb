// Per-pixel blend rules on 16-bit R5G6B5 targets. Channels keep their own
// widths (5, 6, 5) and index the tables directly. Without a blend image or
// a partial alpha, p moves by p/255 through the signed product table (or
// the 6-bit mix table in untinted BlendAlpha); with them the weights count
// as powers of two.
#pragma once
#include <cstdint>

#include "softblit/blit_setup.h"
#include "softblit/packed_ops.h"
#include "softblit/pixel_access.h"

namespace softblit16 {

struct Rgb {
    uint32_t c[3];  // blue, green, red
};

constexpr int kShift[3] = {0, 5, 11};
constexpr int kWidth[3] = {5, 6, 5};
constexpr uint32_t kMask[3] = {31, 63, 31};

[[gnu::always_inline]] inline Rgb Split(uint32_t word) {
    return {{word & 31, (word >> 5) & 63, (word >> 11) & 31}};
}
[[gnu::always_inline]] inline uint32_t Join(const Rgb& v) { return v.c[0] | (v.c[1] << 5) | (v.c[2] << 11); }

// Move d toward v by w over 2^k.
template <int K>
[[gnu::always_inline]] inline Rgb Move(const Rgb& d, const Rgb& v, uint32_t w) {
    Rgb out;
    for (int i = 0; i < 3; ++i) out.c[i] = (w * v.c[i] + ((1u << K) - w) * d.c[i]) >> K;
    return out;
}

// d + S[p][v - d] per channel.
[[gnu::always_inline]] inline Rgb SignedMove(const BlitSetup& s, const Rgb& d, const Rgb& v) {
    Rgb out;
    for (int i = 0; i < 3; ++i)
        out.c[i] = static_cast<uint32_t>(static_cast<int32_t>(d.c[i]) +
                                         s.signedRowP[static_cast<int32_t>(v.c[i]) - static_cast<int32_t>(d.c[i])]);
    return out;
}

[[gnu::always_inline]] inline Rgb Tinted(const BlitSetup& s, Rgb x) {
    x.c[0] = s.tintRowBlue[x.c[0]];
    x.c[1] = s.tintRowGreen[x.c[1]];
    x.c[2] = s.tintRowRed[x.c[2]];
    return x;
}

// One pixel with the weights fixed: UseA says whether the alpha is a weight.
template <KernelConfig C, bool UseA>
[[gnu::always_inline]] inline void Draw(const BlitSetup& s, uint32_t colour, uint32_t a, uint32_t b, uint8_t* dst) {
    if constexpr (C.mode == KernelCopy && !C.tint && !C.blend) {
        if constexpr (!UseA || (!C.trans && !C.scaled)) {
            StorePixel16(dst, colour);
            return;
        }
    }
    const uint32_t dw = LoadPixel16(dst);
    if constexpr (C.special && C.mode == KernelAlpha) {
        StorePixel16(dst, HalveAverage565(colour, dw));
        return;
    }
    const Rgb d = Split(dw);
    const Rgb raw = Split(colour);
    Rgb x = raw;
    if constexpr (C.mode == KernelInvert) {
        for (int i = 0; i < 3; ++i) x.c[i] = kMask[i] - x.c[i];
    }
    if constexpr (C.tint) x = Tinted(s, x);
    const uint32_t p = static_cast<uint32_t>(s.p);

    if constexpr (C.mode == KernelAdd || C.mode == KernelSub) {
        Rgb xs;
        for (int i = 0; i < 3; ++i) {
            uint32_t v;
            if constexpr (C.blend) {
                v = UseA ? (x.c[i] * a * b) >> 16 : (x.c[i] * b) >> 8;
            } else if constexpr (UseA && C.tint) {
                // The alpha scales the source before the tint here.
                const uint32_t* tintRow = i == 0 ? s.tintRowBlue : i == 1 ? s.tintRowGreen : s.tintRowRed;
                v = tintRow[(raw.c[i] * a) >> 8];
            } else {
                v = UseA ? (x.c[i] * a) >> 8 : x.c[i];
            }
            xs.c[i] = s.productRowP[v];
        }
        const uint32_t xw = Join(xs);
        StorePixel16(dst, C.mode == KernelAdd ? SaturatingAdd565(dw, xw) : SaturatingSubtract565(dw, xw));
    } else if constexpr (C.mode == KernelMul) {
        Rgb out;
        for (int i = 0; i < 3; ++i) {
            const uint32_t prod = x.c[i] * d.c[i];
            if constexpr (C.blend) {
                out.c[i] = UseA ? (prod * a * b) >> (kWidth[i] + 16) : (prod * b) >> (kWidth[i] + 8);
            } else {
                out.c[i] = UseA ? (prod * a) >> (kWidth[i] + 8) : prod >> kWidth[i];
            }
        }
        StorePixel16(dst, Join(out));
    } else {
        // Copy, Alpha, Invert and MulAlpha move d toward v.
        Rgb v = x;
        if constexpr (C.mode == KernelMulAlpha) {
            for (int i = 0; i < 3; ++i) v.c[i] = (x.c[i] * d.c[i]) >> kWidth[i];
        }
        constexpr bool useP = C.mode != KernelCopy;
        Rgb out;
        if constexpr (C.blend) {
            uint32_t w = b;
            if constexpr (useP) w *= p;
            if constexpr (UseA) w *= a;
            constexpr int k = 8 * (1 + (useP ? 1 : 0) + (UseA ? 1 : 0));
            out = Move<k>(d, v, w);
        } else if constexpr (UseA) {
            if constexpr (useP) {
                out = Move<16>(d, v, a * p);
                if constexpr (C.mode == KernelMulAlpha && !C.tint) {
                    // Green at higher precision.
                    const int32_t u = static_cast<int32_t>(((x.c[1] * 32) * (d.c[1] * 32)) >> 11);
                    const int32_t dg = static_cast<int32_t>(d.c[1]);
                    out.c[1] = static_cast<uint32_t>((dg * (1 << 21) + (u - 32 * dg) * static_cast<int32_t>(a * p)) >> 21);
                }
            } else {
                out = Move<8>(d, v, a);
            }
        } else if constexpr (!useP) {
            out = v;
        } else if constexpr (C.mode == KernelAlpha && !C.tint && C.source != SourceAlpha && !C.scaled) {
            for (int i = 0; i < 3; ++i) out.c[i] = s.mix6Slab[v.c[i]][d.c[i]];
        } else {
            out = SignedMove(s, d, v);
        }
        StorePixel16(dst, Join(out));
    }
}

}  // namespace softblit16
