// The loops of the plain and the scaled blit, generated for every kernel
// configuration: fetch the source pixel, apply the keying rules, hand it to
// the blend rule of the target's pixel size. Every per-call choice is a
// template argument, so a loop body tests only the pixel itself.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#include "softblit/blend_rules_16.h"
#include "softblit/blend_rules_32.h"
#include "softblit/blit_setup.h"
#include "softblit/pixel_access.h"

namespace morpotta::softblit {

template <KernelConfig C>
constexpr int kSourceBytes = C.source == SourcePalette ? 1 : (C.kind == 1 || C.source == SourceAlpha) ? 4 : 2;
template <KernelConfig C>
constexpr int kTargetBytes = C.kind == 1 ? 4 : 2;

// The rule of the target's pixel size, over one pixel (uint32_t) or lanes.
template <KernelConfig R, bool UseA, class L>
[[gnu::always_inline]] inline L BlendRule(const BlitSetup& s, L colour, L a, L b, L d) {
    if constexpr (R.kind == 1) {
        return softblit32::Blend<R, UseA>(s, colour, a, b, d);
    } else {
        return softblit16::Blend<R, UseA>(s, colour, a, b, d);
    }
}

template <KernelConfig C>
[[gnu::always_inline]] inline uint32_t LoadTargetPixel(const uint8_t* p) {
    return C.kind == 1 ? LoadPixel32(p) : LoadPixel16(p);
}
template <KernelConfig C>
[[gnu::always_inline]] inline void StoreTargetPixel(uint8_t* p, uint32_t v) {
    if constexpr (C.kind == 1) {
        StorePixel32(p, v);
    } else {
        StorePixel16(p, v);
    }
}

// One pixel of the scalar loops.
template <KernelConfig C, bool UseA>
[[gnu::always_inline]] inline void DrawRule(const BlitSetup& s, uint32_t colour, uint32_t a, uint32_t b, uint8_t* dst) {
    if constexpr (kStoresSourceWord<C, UseA>) {
        StoreTargetPixel<C>(dst, colour);
    } else {
        StoreTargetPixel<C>(dst, BlendRule<C, UseA>(s, colour, a, b, LoadTargetPixel<C>(dst)));
    }
}

// Where row y of the plain blit starts in source, target and blend image
// (from the row index, so that no pointer is formed past the last row).
struct PlainRow {
    const uint8_t* src;
    uint8_t* dst;
    const uint8_t* blend;  // null without a blend image
};
template <KernelConfig C>
[[gnu::always_inline]] inline PlainRow PlainRowAt(const BlitSetup& s, int y) {
    const ptrdiff_t srcPitch = s.width * kSourceBytes<C> + s.srcSkip;
    const ptrdiff_t dstPitch = s.width * kTargetBytes<C> + s.dstSkip;
    return {s.srcRow + y * srcPitch, s.dstRow + y * dstPitch, C.blend ? s.blendRow + y * (s.width + s.blendSkip) : nullptr};
}

// The source colour of a pixel, or false when keying skips it.
template <KernelConfig C>
[[gnu::always_inline]] inline bool FetchKeyed(const BlitSetup& s, const uint8_t* src, uint32_t& colour) {
    if constexpr (C.source == SourcePalette) {
        const uint32_t index = *src;
        if constexpr (C.trans) {
            if (index == s.transColor) return false;
        }
        colour = C.kind == 1 ? s.palette32[index] : s.palette16[index];
    } else {
        colour = C.kind == 1 ? LoadPixel32(src) : LoadPixel16(src);
        if constexpr (C.trans) {
            const uint32_t key = (C.kind == 0 && C.scaled) ? (s.transColor & 0xFFFF) : s.transColor;
            if (colour == key) return false;
        }
    }
    return true;
}

template <KernelConfig C>
[[gnu::always_inline]] inline void DrawOne(const BlitSetup& s, const uint8_t* src, const uint8_t* blend, uint8_t* dst) {
    uint32_t b = 0;
    if constexpr (C.blend) b = s.levelTable[*blend];
    if constexpr (C.source == SourceAlpha) {
        const uint32_t colour = C.kind == 1 ? LoadPixel32(src) : LoadPixel16(src);
        const uint32_t a = C.kind == 1 ? colour >> 24 : src[2];
        if constexpr (C.trans) {
            // A clear texel changes nothing, whatever the blend: drawn with
            // weight 0 instead, the modes that mix by the weight would leave
            // the target as it was, but BlendMul, which multiplies by the
            // colour, would blacken it. Every loop skips it so (DrawMapped,
            // DrawTexel, DrawLanes).
            if (a == 0) return;
            if (a == 255) {
                DrawRule<C, false>(s, colour, 0, b, dst);
                return;
            }
        }
        DrawRule<C, true>(s, colour, a, b, dst);
    } else {
        uint32_t colour;
        if (!FetchKeyed<C>(s, src, colour)) return;
        DrawRule<C, false>(s, colour, 0, b, dst);
    }
}

// 16-bit p = 255 add or subtract of the plain blit: pixels go in pairs from
// the row's first pixel; a pixel drawn alone takes the one-word form. One
// row from pixel x (even) on.
template <KernelConfig C>
[[gnu::always_inline]] inline void PairedPixels(const BlitSetup& s, const uint8_t* src, uint8_t* dst, int x) {
    constexpr int sb = kSourceBytes<C>;
    src += x * sb;
    dst += 2 * x;
    for (; x + 1 < s.width; x += 2, src += 2 * sb, dst += 4) {
        uint32_t c0 = 0, c1 = 0;
        const bool draw0 = FetchKeyed<C>(s, src, c0);
        const bool draw1 = FetchKeyed<C>(s, src + sb, c1);
        const uint32_t d0 = LoadPixel16(dst), d1 = LoadPixel16(dst + 2);
        if (draw0 && draw1) {
            const uint32_t out = C.mode == KernelAdd ? PairedAdd565(d0 | (d1 << 16), c0 | (c1 << 16))
                                                     : PairedSubtract565(d0 | (d1 << 16), c0 | (c1 << 16));
            StorePixel16(dst, out & 0xFFFF);
            StorePixel16(dst + 2, out >> 16);
        } else if (draw0) {
            StorePixel16(dst, C.mode == KernelAdd ? PairedAddAlone565(d0, c0) : SaturatingSubtract565(d0, c0));
        } else if (draw1) {
            StorePixel16(dst + 2, C.mode == KernelAdd ? PairedAddAlone565(d1, c1) : SaturatingSubtract565(d1, c1));
        }
    }
    if (x < s.width) {
        uint32_t c = 0;
        if (FetchKeyed<C>(s, src, c)) {
            const uint32_t d = LoadPixel16(dst);
            StorePixel16(dst, C.mode == KernelAdd ? PairedAddAlone565(d, c) : SaturatingSubtract565(d, c));
        }
    }
}

template <KernelConfig C>
void PairedRows(const BlitSetup& s) {
    for (int y = 0; y < s.height; ++y) {
        const PlainRow row = PlainRowAt<C>(s, y);
        PairedPixels<C>(s, row.src, row.dst, 0);
    }
}

// Untinted copy of a source without alpha and without keying: whole rows.
template <KernelConfig C>
constexpr bool kCopiesRows = !C.scaled && C.mode == KernelCopy && !C.tint && !C.blend && !C.trans &&
                             (C.source == SourcePlain || (C.source == SourceAlpha && C.kind == 1));

template <KernelConfig C>
void PlainRows(const BlitSetup& s) {
    constexpr int sb = kSourceBytes<C>;
    constexpr int tb = kTargetBytes<C>;
    for (int y = 0; y < s.height; ++y) {
        const PlainRow row = PlainRowAt<C>(s, y);
        const uint8_t* src = row.src;
        uint8_t* dst = row.dst;
        const uint8_t* blend = row.blend;
        if constexpr (kCopiesRows<C>) {
            // memmove: a view may be drawn onto another view of its own base.
            std::memmove(dst, src, static_cast<size_t>(s.width) * tb);
        } else {
            for (int x = 0; x < s.width; ++x) {
                DrawOne<C>(s, src, blend, dst);
                src += sb;
                dst += tb;
                if constexpr (C.blend) ++blend;
            }
        }
    }
}

// Nearest sampling with 16.16 accumulators: a source step whenever the
// accumulator runs out. Row starts are kept as offsets so that the steps
// after the last row never form a pointer outside the image.
template <KernelConfig C>
void ScaledRows(const BlitSetup& s) {
    constexpr int tb = kTargetBytes<C>;
    ptrdiff_t srcRowOffset = 0, blendRowOffset = 0;
    int64_t vAcc = s.vAccStart;
    for (int y = 0; y < s.height; ++y) {
        const uint8_t* src = s.srcRow + srcRowOffset;
        const uint8_t* blend = C.blend ? s.blendRow + blendRowOffset : nullptr;
        uint8_t* dst = s.dstRow + y * s.dstPitch;
        int64_t hAcc = s.hAccStart;
        for (int x = 0;;) {
            DrawOne<C>(s, src, blend, dst);
            dst += tb;
            if (++x == s.width) break;
            hAcc -= 0x10000;
            while (hAcc <= 0) {
                hAcc += s.hScale;
                src += s.srcPixelStep;
                if constexpr (C.blend) blend += s.blendPixelStep;
            }
        }
        vAcc -= 0x10000;
        while (vAcc <= 0) {
            vAcc += s.vScale;
            srcRowOffset += s.srcRowStep;
            if constexpr (C.blend) blendRowOffset += s.blendRowStep;
        }
    }
}

template <KernelConfig C>
void RunKernel(const BlitSetup& s) {
    if constexpr (C.scaled) {
        ScaledRows<C>(s);
    } else if constexpr (C.special && C.kind == 0 && (C.mode == KernelAdd || C.mode == KernelSub)) {
        PairedRows<C>(s);
    } else {
        PlainRows<C>(s);
    }
}

template <KernelConfig C>
constexpr BlitKernel KernelFor() {
    if constexpr (IsKernelConfigUsed(C)) {
        return &RunKernel<C>;
    } else {
        return nullptr;
    }
}

// The per-kind kernel table, one entry per configuration index.
template <int Kind, int... I>
constexpr std::array<BlitKernel, sizeof...(I)> MakeKernelTable(std::integer_sequence<int, I...>) {
    return {KernelFor<KernelConfigAt(Kind, I)>()...};
}

}  // namespace morpotta::softblit
