// The triangle's textured loops, generated for every configuration: a span
// steps its texel coordinates from the plane; each pixel is bounds-tested,
// keyed and handed to the shared blend rules.
#pragma once
#include <cstdint>
#include <utility>

#include "softblit/blit_loops.h"
#include "softblit/triangle_setup.h"

namespace morpotta::softblit {

// Where the triangle's rules part from the plain blit's, all in one place:
// - it blends with the scaled blit's rules (an alpha texel with the
//   transparent flag off is mixed by its alpha, never copied whole; 16-bit
//   BlendAlpha goes through the signed product table, not the 6-bit mix);
// - it keys like the plain blit: the whole 32-bit transparent word against
//   the texel, and a zero alpha skipped as the plain blit skips it;
// - the flat fill (triangle_flat.h) tints its colour once before the mode
//   is applied, so BlendInvert inverts the already tinted colour.
// (Spelt out field by field as variable templates: configurations derived
// through constexpr functions taking a KernelConfig were mixed up by the
// compiler's constant cache.)
template <KernelConfig C>
constexpr KernelConfig kTriangleRuleConfig{C.kind, C.source, C.mode, C.blend, C.tint, C.trans, false, true};
template <KernelConfig C>
constexpr KernelConfig kTriangleKeyConfig{C.kind, C.source, C.mode, C.blend, C.tint, C.trans, false, false};

template <KernelConfig C>
[[gnu::always_inline]] inline void DrawTexel(const TriangleSetup& t, const uint8_t* texel, uint32_t level,
                                             uint8_t* dst) {
    constexpr KernelConfig R = kTriangleRuleConfig<C>;
    constexpr KernelConfig K = kTriangleKeyConfig<C>;
    if constexpr (C.source == SourceAlpha) {
        const uint32_t colour = C.kind == 1 ? LoadPixel32(texel) : LoadPixel16(texel);
        const uint32_t a = C.kind == 1 ? colour >> 24 : texel[2];
        if constexpr (C.trans) {
            if (a == 0) return;  // as DrawOne skips it
            if (a == 255) {
                DrawRule<R, false>(t.rules, colour, 0, level, dst);
                return;
            }
        }
        DrawRule<R, true>(t.rules, colour, a, level, dst);
    } else {
        uint32_t colour;
        if (!FetchKeyed<K>(t.rules, texel, colour)) return;
        DrawRule<R, false>(t.rules, colour, 0, level, dst);
    }
}

template <KernelConfig C>
void TexturedTriangleLoop(const TriangleSetup& t) {
    constexpr int sb = kSourceBytes<C>;
    constexpr int tb = kTargetBytes<C>;
    const TexelPlane& pl = t.plane;
    const MappedSource& src = t.source;
    WalkTriangleRows(t, [&](int y, int x, int count) {
        // From the plane at the clipped start, with 32-bit wrap-around.
        const uint32_t dx = static_cast<uint32_t>(x - pl.xa), dy = static_cast<uint32_t>(y - pl.ya);
        uint32_t u = static_cast<uint32_t>(pl.ua) + dx * static_cast<uint32_t>(pl.dudx) + dy * static_cast<uint32_t>(pl.dudy);
        uint32_t v = static_cast<uint32_t>(pl.va) + dx * static_cast<uint32_t>(pl.dvdx) + dy * static_cast<uint32_t>(pl.dvdy);
        const uint32_t du = static_cast<uint32_t>(pl.dudx), dv = static_cast<uint32_t>(pl.dvdx);
        uint8_t* dst = t.target + y * t.targetPitch + static_cast<ptrdiff_t>(x) * tb;
        for (; count > 0; --count, u += du, v += dv, dst += tb) {
            if (u >= src.boundU || v >= src.boundV) continue;
            const ptrdiff_t col = u >> 18, row = v >> 18;
            uint32_t level = 0;
            if constexpr (C.blend) level = t.rules.levelTable[src.graph[row * src.graphPitch + col]];
            DrawTexel<C>(t, src.pixels + row * src.pitch + col * sb, level, dst);
        }
    });
}

template <int Kind, int Index>
void CountedTexturedLoop(const TriangleSetup& t) {
    ++TriangleLoopRuns[TexturedTriangleRunSlot(Kind, Index)];
    TexturedTriangleLoop<TexturedTriangleConfigAt(Kind, Index)>(t);
}

template <int Kind, int... I>
constexpr std::array<TriangleLoop, sizeof...(I)> MakeTexturedTriangleLoops(std::integer_sequence<int, I...>) {
    return {&CountedTexturedLoop<Kind, I>...};
}

}  // namespace morpotta::softblit
