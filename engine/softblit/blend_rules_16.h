// Per-pixel blend rules on 16-bit R5G6B5 targets. Channels keep their own
// widths (5, 6, 5) and index the tables directly. Without a blend image or
// a partial alpha, p moves by p/255 through the signed product table (or
// the 6-bit mix table in untinted BlendAlpha); with them the weights count
// as powers of two.
//
// Blend is written over a lane type (lanes.h): one pixel in a uint32_t for
// the scalar loops, a register of them (one a lane, zero-extended) for the
// vector loops.
#pragma once
#include <cstdint>

#include "softblit/blit_setup.h"
#include "softblit/lanes.h"
#include "softblit/packed_ops.h"
#include "softblit/rule_forms.h"
#include "softblit/table_reads.h"

namespace morpotta::softblit16 {

template <class L>
struct Rgb {
    L c[3];  // blue, green, red
};

constexpr int kWidth[3] = {5, 6, 5};
constexpr uint32_t kMask[3] = {31, 63, 31};

template <class L>
SOFTBLIT_INLINE Rgb<L> Split(L word) {
    return {{word & 31, (word >> 5) & 63, (word >> 11) & 31}};
}
template <class L>
SOFTBLIT_INLINE L Join(const Rgb<L>& v) {
    return v.c[0] | (v.c[1] << 5) | (v.c[2] << 11);
}

// Move d toward v by w over 2^k (with one weight every product and the sum
// stay below 2^16).
template <int K, class L>
SOFTBLIT_INLINE Rgb<L> Move(const Rgb<L>& d, const Rgb<L>& v, L w) {
    Rgb<L> out;
    for (int i = 0; i < 3; ++i) {
        if constexpr (K == 8) {
            out.c[i] = (MulSmall(w, v.c[i]) + MulSmall((1u << K) - w, d.c[i])) >> K;
        } else {
            out.c[i] = (w * v.c[i] + ((1u << K) - w) * d.c[i]) >> K;
        }
    }
    return out;
}

// d + S[p][v - d] per channel.
template <class L>
SOFTBLIT_INLINE Rgb<L> SignedMove(const BlitSetup& s, const Rgb<L>& d, const Rgb<L>& v) {
    Rgb<L> out;
    for (int i = 0; i < 3; ++i)
        out.c[i] = d.c[i] + SignedScale(s.signedRowP, static_cast<uint32_t>(s.p), v.c[i] - d.c[i]);
    return out;
}

template <class L>
SOFTBLIT_INLINE L Tint(const BlitSetup& s, int channel, L v) {
    return ScaleBy(s.tint.rows[channel], s.tint.factors[channel], v);
}

// The new target word for source colour, alpha a and level b over target
// word dw; UseA says whether the alpha is a weight.
template <KernelConfig C, bool UseA, class L>
SOFTBLIT_INLINE L Blend(const BlitSetup& s, L colour, L a, L b, L dw) {
    if constexpr (kStoresSourceWord<C, UseA>) return colour;
    if constexpr (C.special && C.mode == KernelAlpha) return HalveAverage565(colour, dw);
    const Rgb<L> d = Split(dw);
    const Rgb<L> raw = Split(colour);
    Rgb<L> x = raw;
    if constexpr (C.mode == KernelInvert) {
        for (int i = 0; i < 3; ++i) x.c[i] = kMask[i] - x.c[i];
    }
    if constexpr (C.tint) {
        for (int i = 0; i < 3; ++i) x.c[i] = Tint(s, i, x.c[i]);
    }
    const uint32_t p = static_cast<uint32_t>(s.p);

    if constexpr (C.mode == KernelAdd || C.mode == KernelSub) {
        Rgb<L> xs;
        for (int i = 0; i < 3; ++i) {
            L v;
            if constexpr (C.blend) {
                v = UseA ? (x.c[i] * a * b) >> 16 : (x.c[i] * b) >> 8;
            } else if constexpr (UseA && C.tint) {
                // The alpha scales the source before the tint here.
                v = Tint(s, i, (raw.c[i] * a) >> 8);
            } else if constexpr (UseA) {
                v = (x.c[i] * a) >> 8;
            } else {
                v = x.c[i];
            }
            xs.c[i] = ScaleBy(s.productRowP, p, v);
        }
        const L xw = Join(xs);
        return C.mode == KernelAdd ? SaturatingAdd565(dw, xw) : SaturatingSubtract565(dw, xw);
    } else if constexpr (C.mode == KernelMul) {
        Rgb<L> out;
        for (int i = 0; i < 3; ++i) {
            const L prod = x.c[i] * d.c[i];
            if constexpr (C.blend) {
                out.c[i] = UseA ? (prod * a * b) >> (kWidth[i] + 16) : (prod * b) >> (kWidth[i] + 8);
            } else {
                out.c[i] = UseA ? (prod * a) >> (kWidth[i] + 8) : prod >> kWidth[i];
            }
        }
        return Join(out);
    } else {
        // Copy, Alpha, Invert and MulAlpha move d toward v.
        Rgb<L> v = x;
        if constexpr (C.mode == KernelMulAlpha) {
            for (int i = 0; i < 3; ++i) v.c[i] = (x.c[i] * d.c[i]) >> kWidth[i];
        }
        constexpr bool useP = C.mode != KernelCopy;
        Rgb<L> out;
        if constexpr (C.blend) {
            L w = b;
            if constexpr (useP) w = w * p;
            if constexpr (UseA) w = w * a;
            constexpr int k = 8 * (1 + (useP ? 1 : 0) + (UseA ? 1 : 0));
            out = Move<k>(d, v, w);
        } else if constexpr (UseA) {
            if constexpr (useP) {
                out = Move<16>(d, v, a * p);
                if constexpr (C.mode == KernelMulAlpha && !C.tint) {
                    // Green at higher precision (signed, arithmetic shift).
                    const L u = ((x.c[1] * 32) * (d.c[1] * 32)) >> 11;
                    const L dg = d.c[1];
                    out.c[1] = ShiftRightSigned<21>((dg << 21) + (u - 32 * dg) * (a * p));
                }
            } else {
                out = Move<8>(d, v, a);
            }
        } else if constexpr (!useP) {
            out = v;
        } else if constexpr (C.mode == KernelAlpha && !C.tint && C.source != SourceAlpha && !C.scaled) {
            for (int i = 0; i < 3; ++i) out.c[i] = Mix6(s.mix6Slab, p >> 2, v.c[i], d.c[i]);
        } else {
            out = SignedMove(s, d, v);
        }
        return Join(out);
    }
}

}  // namespace morpotta::softblit16
