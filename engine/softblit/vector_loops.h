// The vector forms of the kernels: the same loops a register of pixels a
// step (four for SSE2, eight for AVX2: the lane type V), through the lane
// form of the blend rules (lanes.h). Keying, the alpha
// choices and the bounds tests become per-lane selections; a lane that is
// not drawn gets back the target value it had. Row ends of fewer than eight
// pixels go through the scalar per-pixel code, which gives the same values.
// (Lanes of one register each: wider lanes than the instruction set's
// registers would leave the compiler to split, or even unroll into scalar
// code, what it cannot do in one.)
//
// Everything here is inlined into one entry per configuration and
// instruction set (vector_kernels.h), so the lane code is compiled for the
// instruction set of that entry. The loops read the set-up from the entry's
// own copy, s (see VectorBlit), and hand the caller's record to the
// out-of-line row ends, so that the copy never leaves registers. A draw whose source shares the target's
// base runs the scalar loop: reading eight pixels before writing eight
// would change what an overlapping draw reads.
#pragma once
#include <cstdint>
#include <cstring>

#include "softblit/blit_loops.h"
#include "softblit/lanes.h"
#include "softblit/rotate_loops.h"
#include "softblit/triangle_flat.h"
#include "softblit/triangle_spans.h"

namespace morpotta::softblit {

// A register of source pixels as the rules take them.
template <class V>
struct FetchedLanes {
    V colour;  // the colour word (palette entry for a palette source)
    V key;     // what keying compares: the index, or the stored word
    V alpha;   // sources with alpha
};

template <class V, class T>
SOFTBLIT_INLINE V LookUp(const T* table, V index) {
    V v;
    for (int i = 0; i < LaneTraits<V>::kCount; ++i) v[i] = table[index[i]];
    return v;
}

// A pixel as stored, 1, 2 or 4 bytes.
template <int Bytes>
SOFTBLIT_INLINE uint32_t LoadStored(const uint8_t* p) {
    return Bytes == 4 ? LoadPixel32(p) : Bytes == 2 ? LoadPixel16(p) : *p;
}

// The pixels' words read at base + offset, offset per lane.
template <int Bytes, class V>
SOFTBLIT_INLINE V LoadAt(const uint8_t* base, MaskOf<V> offset) {
    V v;
    for (int i = 0; i < LaneTraits<V>::kCount; ++i) v[i] = LoadStored<Bytes>(base + offset[i]);
    return v;
}

template <KernelConfig C, class V>
SOFTBLIT_INLINE FetchedLanes<V> FetchFromWords(const BlitSetup& s, V stored) {
    FetchedLanes<V> f{};
    if constexpr (C.source == SourcePalette) {
        f.key = stored;
        f.colour = C.kind == 1 ? LookUp(s.palette32, stored) : LookUp(s.palette16, stored);
    } else if constexpr (C.source == SourceAlpha && C.kind == 0) {
        // Colour word, alpha byte, spare byte.
        f.colour = stored & 0xFFFFu;
        f.alpha = (stored >> 16) & 0xFFu;
    } else {
        f.colour = f.key = stored;
        if constexpr (C.source == SourceAlpha) f.alpha = stored >> 24;
    }
    return f;
}

// A register of source pixels in a row.
template <KernelConfig C, class V>
SOFTBLIT_INLINE FetchedLanes<V> FetchRun(const BlitSetup& s, const uint8_t* src) {
    constexpr int sb = kSourceBytes<C>;
    V stored;
    if constexpr (sb == 1) {
        stored = LoadBytes<V>(src);
    } else if constexpr (sb == 2) {
        stored = LoadWords16<V>(src);
    } else {
        stored = LoadLanes<V>(src);
    }
    return FetchFromWords<C>(s, stored);
}

// A register of source pixels at base + offset.
template <KernelConfig C, class V>
SOFTBLIT_INLINE FetchedLanes<V> FetchAt(const BlitSetup& s, const uint8_t* base, MaskOf<V> offset) {
    return FetchFromWords<C>(s, LoadAt<kSourceBytes<C>, V>(base, offset));
}

template <KernelConfig C, class V>
SOFTBLIT_INLINE V LoadTarget(const uint8_t* dst) {
    if constexpr (C.kind == 1) {
        return LoadLanes<V>(dst);
    } else {
        return LoadWords16<V>(dst);
    }
}
template <KernelConfig C, class V>
SOFTBLIT_INLINE void StoreTarget(uint8_t* dst, V v) {
    if constexpr (C.kind == 1) {
        StoreLanes(dst, v);
    } else {
        StoreWords16(dst, v);
    }
}

// Before a call from lane code into code compiled for the baseline (the row
// ends below): SSE instructions run slowly while the upper halves of the
// AVX registers are in use, and GCC does not clear them before calls in
// functions that are AVX2 by attribute only. (Only AVX2 entries, which run
// only on processors that have it, execute the instruction; no register
// holds a value across it.)
template <class V>
SOFTBLIT_INLINE void BeforeBaselineCall() {
    if constexpr (sizeof(V) == 32) {
        asm volatile("vzeroupper" ::: "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9",
                     "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
    }
}

// Row ends, by the scalar per-pixel code: one function per configuration,
// shared by the instruction sets' entries instead of repeated in each.
template <KernelConfig C>
[[gnu::noinline]] void PlainRowEnd(const BlitSetup& s, const uint8_t* src, const uint8_t* blend, uint8_t* dst,
                                   int count) {
    for (; count > 0; --count, src += kSourceBytes<C>, dst += kTargetBytes<C>) {
        DrawOne<C>(s, src, blend, dst);
        if constexpr (C.blend) ++blend;
    }
}
template <KernelConfig C>
[[gnu::noinline]] void ScaledRowEnd(const BlitSetup& s, const uint8_t* src, const int32_t* srcOffset,
                                    const uint8_t* blend, const int32_t* blendOffset, uint8_t* dst, int count) {
    for (int x = 0; x < count; ++x)
        DrawOne<C>(s, src + srcOffset[x], C.blend ? blend + blendOffset[x] : nullptr, dst + x * kTargetBytes<C>);
}
template <KernelConfig C>
[[gnu::noinline]] void PairedRowEnd(const BlitSetup& s, const uint8_t* src, uint8_t* dst, int x) {
    PairedPixels<C>(s, src, dst, x);
}

// The target lanes after drawing with the rules of R: keying and the alpha
// choice as the scalar loops make them for configuration C (DrawOne,
// DrawMapped), with the keyed value compared against key.
template <KernelConfig C, KernelConfig R, class V>
SOFTBLIT_INLINE V DrawLanes(const BlitSetup& s, const FetchedLanes<V>& f, V b, V d, uint32_t key) {
    const V none{};
    if constexpr (C.source == SourceAlpha) {
        if constexpr (C.trans) {
            const V opaque = BlendRule<R, false>(s, f.colour, none, b, d);
            const V weighted = BlendRule<R, true>(s, f.colour, f.alpha, b, d);
            return Select(f.alpha == 0u, d, Select(f.alpha == 255u, opaque, weighted));
        } else {
            return BlendRule<R, true>(s, f.colour, f.alpha, b, d);
        }
    } else {
        const V out = BlendRule<R, false>(s, f.colour, none, b, d);
        if constexpr (C.trans) {
            return Select(f.key == key, d, out);
        } else {
            return out;
        }
    }
}

// The plain blit: one register of pixels from x.
template <KernelConfig C, class V>
SOFTBLIT_INLINE void PlainRun(const BlitSetup& s, const PlainRow& row, int x) {
    constexpr int tb = kTargetBytes<C>;
    const FetchedLanes<V> f = FetchRun<C, V>(s, row.src + x * kSourceBytes<C>);
    V b{};
    if constexpr (C.blend) b = LookUp(s.levelTable, LoadBytes<V>(row.blend + x));
    const V d = LoadTarget<C, V>(row.dst + x * tb);
    StoreTarget<C>(row.dst + x * tb, DrawLanes<C, C>(s, f, b, d, s.transColor));
}

template <KernelConfig C, class V>
SOFTBLIT_INLINE void VectorPlainRows(const BlitSetup& s, const BlitSetup& caller) {
    constexpr int sb = kSourceBytes<C>;
    constexpr int tb = kTargetBytes<C>;
    constexpr int n = LaneTraits<V>::kCount;
    for (int y = 0; y < s.height; ++y) {
        const PlainRow row = PlainRowAt<C>(s, y);
        const auto [src, dst, blend] = row;
        int x = 0;
        if constexpr (C.special) {
            // The halving and the lossy add are a few word operations a
            // register, bound by memory: four registers a pass keep more
            // loads in flight.
#pragma GCC unroll 4
            for (; x + n <= s.width; x += n) PlainRun<C, V>(s, row, x);
        } else {
            for (; x + n <= s.width; x += n) PlainRun<C, V>(s, row, x);
        }
        if (x < s.width) {
            BeforeBaselineCall<V>();
            PlainRowEnd<C>(caller, src + x * sb, C.blend ? blend + x : nullptr, dst + x * tb, s.width - x);
        }
    }
}

// The plain blit's block copies of rows: short rows (sprites) 16 bytes at
// a time, the last move overlapping the one before (source and target are
// apart); long rows through the C library's copy, which costs a short row
// more in its call than in its bytes. (AVX2 too moves 16 bytes: a sprite's
// rows start anywhere in the target's cache lines, and more of the wider
// stores straddle two lines; in the benchmark they were a fifth slower.)
template <KernelConfig C, class V>
SOFTBLIT_INLINE void VectorCopyRows(const BlitSetup& s, const BlitSetup& caller) {
    using W = Lanes32x4;
    constexpr size_t kShortRow = 512;
    const size_t bytes = static_cast<size_t>(s.width) * kTargetBytes<C>;
    if (bytes > kShortRow && s.srcSkip == 0 && s.dstSkip == 0) {
        // Rows that follow one another without a gap, in both: one block.
        std::memcpy(s.dstRow, s.srcRow, bytes * static_cast<size_t>(s.height));
        return;
    }
    if (bytes < sizeof(W) || bytes > kShortRow) {
        PlainRows<C>(caller);
        return;
    }
    for (int y = 0; y < s.height; ++y) {
        const auto [src, dst, blend] = PlainRowAt<C>(s, y);
        for (size_t i = 0; i + sizeof(W) < bytes; i += sizeof(W)) StoreLanes(dst + i, LoadLanes<W>(src + i));
        StoreLanes(dst + bytes - sizeof(W), LoadLanes<W>(src + bytes - sizeof(W)));
    }
}

// The 16-bit p = 255 add and subtract of the plain blit: pixels in pairs
// from the row's first, each pair a lane, with the paired recipe where both
// pixels are drawn and the one-pixel recipe where one is.
template <KernelConfig C, class V>
SOFTBLIT_INLINE void VectorPairedRows(const BlitSetup& s, const BlitSetup& caller) {
    constexpr int kPixels = 2 * LaneTraits<V>::kCount;
    for (int y = 0; y < s.height; ++y) {
        const auto [src, dst, blend] = PlainRowAt<C>(s, y);
        int x = 0;
        for (; x + kPixels <= s.width; x += kPixels) {
            V first, second;  // the pairs' pixels
            if constexpr (C.source == SourcePalette) {
                const V indexes = LoadWords16<V>(src + x);
                first = indexes & 0xFFu;
                second = indexes >> 8;
            } else {
                const V words = LoadLanes<V>(src + 2 * x);
                first = words & 0xFFFFu;
                second = words >> 16;
            }
            V c0 = first, c1 = second;
            if constexpr (C.source == SourcePalette) {
                c0 = LookUp(s.palette16, first);
                c1 = LookUp(s.palette16, second);
            }
            const V pairs = LoadLanes<V>(dst + 2 * x);
            const V d0 = pairs & 0xFFFFu, d1 = pairs >> 16;
            const V both = C.mode == KernelAdd ? PairedAdd565(pairs, c0 | (c1 << 16))
                                               : PairedSubtract565(pairs, c0 | (c1 << 16));
            V out = both;
            if constexpr (C.trans) {
                const MaskOf<V> draw0 = first != s.transColor, draw1 = second != s.transColor;
                const V alone0 = C.mode == KernelAdd ? PairedAddAlone565(d0, c0) : SaturatingSubtract565(d0, c0);
                const V alone1 = C.mode == KernelAdd ? PairedAddAlone565(d1, c1) : SaturatingSubtract565(d1, c1);
                out = Select(draw0 & draw1, both,
                             Select(draw0, (pairs & 0xFFFF0000u) | alone0, Select(draw1, d0 | (alone1 << 16), pairs)));
            }
            StoreLanes(dst + 2 * x, out);
        }
        if (x < s.width) {
            BeforeBaselineCall<V>();
            PairedRowEnd<C>(caller, src, dst, x);
        }
    }
}

// The scaled blit: the source columns of a destination row are worked out
// once per call (they are the same in every row), and a destination row
// that shows the same source row as the one above, drawn by a rule that
// only copies, is that row copied.
constexpr int kMaxVectorScaledWidth = 2048;

template <KernelConfig C>
constexpr bool kCopiesScaledRows = C.scaled && !C.trans &&
                                   kStoresSourceWord<C, C.source == SourceAlpha>;

template <KernelConfig C, class V>
SOFTBLIT_INLINE void VectorScaledRows(const BlitSetup& s, const BlitSetup& caller) {
    constexpr int tb = kTargetBytes<C>;
    constexpr int n = LaneTraits<V>::kCount;
    if (s.width > kMaxVectorScaledWidth) {
        ScaledRows<C>(caller);
        return;
    }
    // Byte offsets from the row start of each destination column's source
    // pixel and blend byte (sides below 32768: they fit 32 bits).
    alignas(32) int32_t srcOffset[kMaxVectorScaledWidth];
    alignas(32) int32_t blendOffset[C.blend ? kMaxVectorScaledWidth : 1];
    int64_t hAcc = s.hAccStart;
    int32_t steps = 0;
    for (int x = 0;;) {
        srcOffset[x] = static_cast<int32_t>(steps * s.srcPixelStep);
        if constexpr (C.blend) blendOffset[x] = static_cast<int32_t>(steps * s.blendPixelStep);
        if (++x == s.width) break;
        hAcc -= 0x10000;
        while (hAcc <= 0) {
            hAcc += s.hScale;
            ++steps;
        }
    }
    const uint32_t key = C.kind == 0 ? s.transColor & 0xFFFF : s.transColor;
    ptrdiff_t srcRowOffset = 0, blendRowOffset = 0;
    const uint8_t* shownRow = nullptr;
    int64_t vAcc = s.vAccStart;
    for (int y = 0; y < s.height; ++y) {
        const uint8_t* src = s.srcRow + srcRowOffset;
        const uint8_t* blend = C.blend ? s.blendRow + blendRowOffset : nullptr;
        uint8_t* dst = s.dstRow + y * s.dstPitch;
        if (kCopiesScaledRows<C> && src == shownRow) {
            std::memcpy(dst, dst - s.dstPitch, static_cast<size_t>(s.width) * tb);
        } else {
            int x = 0;
            for (; x + n <= s.width; x += n) {
                const MaskOf<V> at = LoadLanes<MaskOf<V>>(reinterpret_cast<const uint8_t*>(srcOffset + x));
                const FetchedLanes<V> f = FetchAt<C, V>(s, src, at);
                V b{};
                if constexpr (C.blend) {
                    const MaskOf<V> blendAt = LoadLanes<MaskOf<V>>(reinterpret_cast<const uint8_t*>(blendOffset + x));
                    b = LookUp(s.levelTable, LoadAt<1, V>(blend, blendAt));
                }
                const V d = LoadTarget<C, V>(dst + x * tb);
                StoreTarget<C>(dst + x * tb, DrawLanes<C, C>(s, f, b, d, key));
            }
            if (x < s.width) {
                BeforeBaselineCall<V>();
                ScaledRowEnd<C>(caller, src, srcOffset + x, blend, C.blend ? blendOffset + x : nullptr, dst + x * tb,
                                s.width - x);
            }
        }
        shownRow = src;
        vAcc -= 0x10000;
        while (vAcc <= 0) {
            vAcc += s.vScale;
            srcRowOffset += s.srcRowStep;
            if constexpr (C.blend) blendRowOffset += s.blendRowStep;
        }
    }
}

// count target pixels from dst, texel position (u, v) stepping by (du, dv)
// per pixel, Fixed18; positions outside the source leave the pixel alone.
template <KernelConfig C>
[[gnu::noinline]] void MappedSpanEnd(const BlitSetup& rules, const MappedSource& m, uint32_t u, uint32_t v,
                                     uint32_t du, uint32_t dv, uint8_t* dst, int count) {
    for (; count > 0; --count, u += du, v += dv, dst += kTargetBytes<C>) {
        if (u >= m.boundU || v >= m.boundV) continue;
        const ptrdiff_t row = v >> 18, col = u >> 18;
        const uint8_t* blend = C.blend ? m.graph + row * m.graphPitch + col : nullptr;
        DrawMapped<C>(rules, m.pixels + row * m.pitch + col * kSourceBytes<C>, blend, dst);
    }
}

template <KernelConfig C, class V>
SOFTBLIT_INLINE void VectorMappedSpan(const BlitSetup& rules, const BlitSetup& caller, const MappedSource& m,
                                      uint32_t u, uint32_t v, uint32_t du, uint32_t dv, uint8_t* dst, int count) {
    using Mask = MaskOf<V>;
    constexpr int sb = kSourceBytes<C>;
    constexpr int tb = kTargetBytes<C>;
    constexpr int n = LaneTraits<V>::kCount;
    constexpr KernelConfig R = MappedRules(C);
    V step;
    for (int i = 0; i < n; ++i) step[i] = static_cast<uint32_t>(i);
    V lu = u + step * du, lv = v + step * dv;
    const uint32_t runU = n * du, runV = n * dv;
    for (; count >= n; count -= n, dst += n * tb, lu += runU, lv += runV) {
        // Unsigned: a negative position is outside too.
        const Mask inside = (lu < m.boundU) & (lv < m.boundV);
        if (!AnyLane(inside)) continue;
        // Lanes outside read texel (0, 0). SSE2 has no product of 32-bit
        // lanes: there each lane's row times the pitch is a scalar product.
        const V row = Select(inside, lv >> 18, V{}), col = Select(inside, lu >> 18, V{});
        V stored, b{};
        if constexpr (n == 8) {
            stored = LoadAt<sb, V>(m.pixels, reinterpret_cast<Mask>(row * static_cast<uint32_t>(m.pitch) + col * sb));
            if constexpr (C.blend) {
                const Mask graphAt = reinterpret_cast<Mask>(row * static_cast<uint32_t>(m.graphPitch) + col);
                b = LookUp(rules.levelTable, LoadAt<1, V>(m.graph, graphAt));
            }
        } else {
            for (int i = 0; i < n; ++i) {
                const ptrdiff_t r = row[i], c = col[i];
                stored[i] = LoadStored<sb>(m.pixels + r * m.pitch + c * sb);
                if constexpr (C.blend) b[i] = rules.levelTable[m.graph[r * m.graphPitch + c]];
            }
        }
        const FetchedLanes<V> f = FetchFromWords<C>(rules, stored);
        const V d = LoadTarget<C, V>(dst);
        const V out = DrawLanes<C, R>(rules, f, b, d, rules.transColor);
        StoreTarget<C>(dst, Select(inside, out, d));
    }
    if (count > 0) {
        BeforeBaselineCall<V>();
        MappedSpanEnd<C>(caller, m, lu[0], lv[0], du, dv, dst, count);
    }
}

// One span function per configuration and instruction set, shared by the
// rotated blit's rows and the triangles' spans. Its own copy of the rules
// keeps their fields in registers while it stores (only the fields it
// reads are copied).
#define SOFTBLIT_AVX2 [[gnu::target("avx2")]]
template <KernelConfig C>
[[gnu::noinline]] void MappedSpanSse2(const BlitSetup& rules, const MappedSource& m, uint32_t u, uint32_t v,
                                      uint32_t du, uint32_t dv, uint8_t* dst, int count) {
    const BlitSetup local = rules;
    VectorMappedSpan<C, Lanes32x4>(local, rules, m, u, v, du, dv, dst, count);
}
template <KernelConfig C>
[[gnu::noinline]] SOFTBLIT_AVX2 void MappedSpanAvx2(const BlitSetup& rules, const MappedSource& m, uint32_t u,
                                                    uint32_t v, uint32_t du, uint32_t dv, uint8_t* dst, int count) {
    const BlitSetup local = rules;
    VectorMappedSpan<C, Lanes32x8>(local, rules, m, u, v, du, dv, dst, count);
}
template <KernelConfig C, class V>
SOFTBLIT_INLINE void MappedSpan(const BlitSetup& rules, const MappedSource& m, uint32_t u, uint32_t v, uint32_t du,
                                uint32_t dv, uint8_t* dst, int count) {
    if constexpr (LaneTraits<V>::kCount == 8) {
        MappedSpanAvx2<C>(rules, m, u, v, du, dv, dst, count);
    } else {
        MappedSpanSse2<C>(rules, m, u, v, du, dv, dst, count);
    }
}

template <KernelConfig C, class V>
SOFTBLIT_INLINE void VectorRotateRows(const RotateSetup& r) {
    const MappedSource m{r.srcPixels, r.srcPitch, r.blendPixels, r.blendPitch, r.uLimit, r.vLimit};
    uint32_t uRow = r.uStart, vRow = r.vStart;
    for (int y = 0; y < r.rows; ++y, uRow += r.rowU, vRow += r.rowV)
        MappedSpan<C, V>(r.rules, m, uRow, vRow, r.du, r.dv, r.dstRow + y * r.dstPitch, r.cols);
}

// A triangle's spans through the texel plane.
template <KernelConfig C, class V>
struct VectorTexturedSpan {
    const TriangleSetup& t;
    MappedSource m;
    SOFTBLIT_INLINE void operator()(int y, int x, int count) const {
        const TexelPlane& pl = t.plane;
        // From the plane at the clipped start, with 32-bit wrap-around.
        const uint32_t dx = static_cast<uint32_t>(x - pl.xa), dy = static_cast<uint32_t>(y - pl.ya);
        const uint32_t u = static_cast<uint32_t>(pl.ua) + dx * static_cast<uint32_t>(pl.dudx) +
                           dy * static_cast<uint32_t>(pl.dudy);
        const uint32_t v = static_cast<uint32_t>(pl.va) + dx * static_cast<uint32_t>(pl.dvdx) +
                           dy * static_cast<uint32_t>(pl.dvdy);
        uint8_t* dst = t.target + y * t.targetPitch + static_cast<ptrdiff_t>(x) * kTargetBytes<C>;
        MappedSpan<C, V>(t.rules, m, u, v, static_cast<uint32_t>(pl.dudx), static_cast<uint32_t>(pl.dvdx), dst,
                            count);
    }
};

template <KernelConfig C, class V>
SOFTBLIT_INLINE void VectorTexturedTriangle(const TriangleSetup& t) {
    WalkTriangleRows(t, VectorTexturedSpan<C, V>{t, t.source});
}

template <KernelConfig R>
[[gnu::noinline]] void FlatSpanEnd(const BlitSetup& rules, uint32_t colour, uint8_t* dst, int count) {
    for (; count > 0; --count, dst += kTargetBytes<R>) DrawRule<R, false>(rules, colour, 0, 0, dst);
}

template <int Kind, int Mode, class V>
struct VectorFlatSpan {
    const TriangleSetup& t;          // the entry's own copy
    const BlitSetup& callerRules;
    SOFTBLIT_INLINE void operator()(int y, int x, int count) const {
        constexpr KernelConfig R = kFlatRuleConfig<Kind, Mode>;
        constexpr int tb = kTargetBytes<R>;
        constexpr int n = LaneTraits<V>::kCount;
        uint8_t* dst = t.target + y * t.targetPitch + static_cast<ptrdiff_t>(x) * tb;
        const V colour = Splat<V>(t.colour), none{};
        for (; count >= n; count -= n, dst += n * tb)
            StoreTarget<R>(dst, BlendRule<R, false>(t.rules, colour, none, none, LoadTarget<R, V>(dst)));
        if (count > 0) {
            BeforeBaselineCall<V>();
            FlatSpanEnd<R>(callerRules, t.colour, dst, count);
        }
    }
};

}  // namespace morpotta::softblit
