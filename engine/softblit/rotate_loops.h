// The direct-path loops of the rotated blit, generated for every kernel
// configuration: walk the box, map each pixel back to a texel, leave it
// alone outside the source, key it and hand it to the blend rule.
#pragma once
#include <array>
#include <cstdint>
#include <utility>

#include "softblit/blit_loops.h"
#include "softblit/rotate_setup.h"

namespace morpotta::softblit {

// Mapped draws (rotated, polygon) blend by the scaled blit's rules: the
// parameter moves a channel through the signed table, and an alpha source
// is weighted by its alpha unless keying lets an opaque texel through.
constexpr KernelConfig MappedRules(KernelConfig c) {
    c.special = false;
    c.scaled = true;
    return c;
}

template <KernelConfig C>
[[gnu::always_inline]] inline void DrawMapped(const BlitSetup& s, const uint8_t* src, const uint8_t* blend,
                                              uint8_t* dst) {
    constexpr KernelConfig R = MappedRules(C);
    uint32_t b = 0;
    if constexpr (C.blend) b = s.levelTable[*blend];
    if constexpr (C.source == SourceAlpha) {
        const uint32_t colour = C.kind == 1 ? LoadPixel32(src) : LoadPixel16(src);
        const uint32_t a = C.kind == 1 ? colour >> 24 : src[2];
        if constexpr (C.trans) {
            if (a == 0) return;  // as DrawOne skips it
            if (a == 255) {
                DrawRule<R, false>(s, colour, 0, b, dst);
                return;
            }
        }
        DrawRule<R, true>(s, colour, a, b, dst);
    } else if constexpr (C.source == SourcePalette) {
        const uint32_t index = *src;
        if constexpr (C.trans) {
            if (index == s.transColor) return;
        }
        DrawRule<R, false>(s, C.kind == 1 ? s.palette32[index] : s.palette16[index], 0, b, dst);
    } else {
        // The whole stored word against the whole key: a 16-bit key above
        // 0xFFFF matches nothing.
        const uint32_t colour = C.kind == 1 ? LoadPixel32(src) : LoadPixel16(src);
        if constexpr (C.trans) {
            if (colour == s.transColor) return;
        }
        DrawRule<R, false>(s, colour, 0, b, dst);
    }
}

template <KernelConfig C>
void RotateRows(const RotateSetup& r) {
    constexpr int sb = kSourceBytes<C>;
    constexpr int tb = kTargetBytes<C>;
    uint32_t uRow = r.uStart, vRow = r.vStart;
    for (int y = 0; y < r.rows; ++y, uRow += r.rowU, vRow += r.rowV) {
        uint8_t* dst = r.dstRow + y * r.dstPitch;
        uint32_t u = uRow, v = vRow;
        for (int x = 0; x < r.cols; ++x, u += r.du, v += r.dv, dst += tb) {
            // Unsigned: a negative position is outside too.
            if (u >= r.uLimit || v >= r.vLimit) continue;
            const ptrdiff_t row = v >> 18, col = u >> 18;
            const uint8_t* blend = nullptr;
            if constexpr (C.blend) blend = r.blendPixels + row * r.blendPitch + col;
            DrawMapped<C>(r.rules, r.srcPixels + row * r.srcPitch + col * sb, blend, dst);
        }
    }
}

template <int Kind, int... I>
constexpr std::array<RotateKernel, sizeof...(I)> MakeRotateKernelTable(std::integer_sequence<int, I...>) {
    return {&RotateRows<RotateKernelConfigAt(Kind, I)>...};
}

}  // namespace morpotta::softblit
