// Lanes: the blend rules are written once over a lane type L, either one
// uint32_t (the scalar loops) or a vector of uint32_t lanes, four for SSE2
// (Lanes32x4) or eight for AVX2 (Lanes32x8), each the width of one register
// of its instruction set. Every operation on lanes is the same unsigned
// 32-bit operation done lane by lane (wrap-around included), so a rule
// gives the same bits in either form. Where the scalar form reads a table,
// the lane form computes the table's entry by an identity checked over the
// table's whole range in the tests (Div255, Div63).
#pragma once
#include <cstdint>
#include <cstring>

// A build may leave the vector forms out (-DSOFTBLIT_VECTOR_PATHS=0), as the
// thread-checking and fuzz builds do: none of their programs drives them.
#if !defined(SOFTBLIT_VECTOR_PATHS)
#if defined(__x86_64__) || defined(__i386__)
#define SOFTBLIT_VECTOR_PATHS 1
#else
#define SOFTBLIT_VECTOR_PATHS 0
#endif
#endif
#if SOFTBLIT_VECTOR_PATHS
#include <emmintrin.h>
#endif

#define SOFTBLIT_INLINE [[gnu::always_inline]] inline

namespace morpotta {

using Lanes32x4 = uint32_t __attribute__((vector_size(16)));
using Lanes32x8 = uint32_t __attribute__((vector_size(32)));

// The views of one lane type: its comparison masks (-1 true, 0 false), its
// bits as 16-bit halves, and the narrow vectors its pixels load from.
template <class V>
struct LaneTraits;
template <>
struct LaneTraits<Lanes32x4> {
    static constexpr int kCount = 4;
    using Mask = int32_t __attribute__((vector_size(16)));
    using Halves = uint16_t __attribute__((vector_size(16)));
    using Words = uint16_t __attribute__((vector_size(8)));   // kCount 16-bit pixels
    using Pairs = uint16_t __attribute__((vector_size(16)));  // 2 x kCount 16-bit values
    using Bytes = uint8_t __attribute__((vector_size(4)));    // kCount bytes
};
template <>
struct LaneTraits<Lanes32x8> {
    static constexpr int kCount = 8;
    using Mask = int32_t __attribute__((vector_size(32)));
    using Halves = uint16_t __attribute__((vector_size(32)));
    using Words = uint16_t __attribute__((vector_size(16)));
    using Pairs = uint16_t __attribute__((vector_size(32)));
    using Bytes = uint8_t __attribute__((vector_size(8)));
};

template <class V>
concept LaneVector = requires { LaneTraits<V>::kCount; };
template <class V>
using MaskOf = typename LaneTraits<V>::Mask;

// v in every lane. With GCC the vector form is a shuffle of lane 0, which
// it turns into one broadcast and moves out of loops (built from the scalar
// lane by lane, GCC may rebuild it in every pass of a loop).
template <class L>
SOFTBLIT_INLINE L Splat(uint32_t v) {
    if constexpr (sizeof(L) == sizeof(uint32_t)) {
        return v;
    } else {
#if defined(__clang__)
        return L{} + v;
#else
        L first{};
        first[0] = v;
        return __builtin_shuffle(first, L{});
#endif
    }
}

SOFTBLIT_INLINE uint32_t Select(bool m, uint32_t a, uint32_t b) { return m ? a : b; }
template <LaneVector V>
SOFTBLIT_INLINE V Select(MaskOf<V> m, V a, V b) {
    const V bits = reinterpret_cast<V>(m);
    return (a & bits) | (b & ~bits);
}

// Arithmetic shift of the value read as signed.
template <int N>
SOFTBLIT_INLINE uint32_t ShiftRightSigned(uint32_t v) {
    return static_cast<uint32_t>(static_cast<int32_t>(v) >> N);
}
template <int N, LaneVector V>
SOFTBLIT_INLINE V ShiftRightSigned(V v) {
    return reinterpret_cast<V>(reinterpret_cast<MaskOf<V>>(v) >> N);
}

// Whether a value, read as signed, is negative.
SOFTBLIT_INLINE bool IsNegative(uint32_t v) { return static_cast<int32_t>(v) < 0; }
template <LaneVector V>
SOFTBLIT_INLINE MaskOf<V> IsNegative(V v) {
    return reinterpret_cast<MaskOf<V>>(v) < 0;
}

// floor(n / 255) for n from 0 to 65025 (a product of two bytes).
template <class L>
SOFTBLIT_INLINE L Div255(L n) {
    return (n + 1 + (n >> 8)) >> 8;
}
// floor(n / 63) for n from 0 to 3969 (a product of two 6-bit values).
template <class L>
SOFTBLIT_INLINE L Div63(L n) {
    return (n + 1 + (n >> 6)) >> 6;
}

// a * b for a, b and the product below 2^16: the lane form multiplies the
// low 16-bit halves of the lanes (their high halves are 0), which costs
// less than a 32-bit product, most of all where SSE2 has none.
SOFTBLIT_INLINE uint32_t MulSmall(uint32_t a, uint32_t b) { return a * b; }
template <LaneVector V>
SOFTBLIT_INLINE V MulSmall(V a, uint32_t b) {
    using H = typename LaneTraits<V>::Halves;
    return reinterpret_cast<V>(reinterpret_cast<H>(a) * reinterpret_cast<H>(Splat<V>(b)));
}
template <LaneVector V>
SOFTBLIT_INLINE V MulSmall(V a, V b) {
    using H = typename LaneTraits<V>::Halves;
    return reinterpret_cast<V>(reinterpret_cast<H>(a) * reinterpret_cast<H>(b));
}

// x * w + y * rest where x and y hold two values below 256 in their 16-bit
// halves and w, rest are at most 256: no half carries into the other, so
// the lane form multiplies the halves as 16-bit lanes (w, rest given in
// both halves).
SOFTBLIT_INLINE uint32_t PairMix(uint32_t x, uint32_t y, uint32_t w, uint32_t rest) { return x * w + y * rest; }
template <LaneVector V>
SOFTBLIT_INLINE V PairMix(V x, V y, V w, V rest) {
    using H = typename LaneTraits<V>::Halves;
    const V w2 = w | (w << 16), r2 = rest | (rest << 16);
    return reinterpret_cast<V>(reinterpret_cast<H>(x) * reinterpret_cast<H>(w2) +
                               reinterpret_cast<H>(y) * reinterpret_cast<H>(r2));
}

template <class T>
SOFTBLIT_INLINE T LoadLanes(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class T>
SOFTBLIT_INLINE void StoreLanes(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// Lane-count 16-bit pixels (or bytes) widened to lanes, and back.
template <LaneVector V>
SOFTBLIT_INLINE V LoadWords16(const uint8_t* p) {
    return __builtin_convertvector(LoadLanes<typename LaneTraits<V>::Words>(p), V);
}
template <LaneVector V>
SOFTBLIT_INLINE void StoreWords16(uint8_t* p, V v) {
    StoreLanes(p, __builtin_convertvector(v, typename LaneTraits<V>::Words));
}
template <LaneVector V>
SOFTBLIT_INLINE V LoadBytes(const uint8_t* p) {
    return __builtin_convertvector(LoadLanes<typename LaneTraits<V>::Bytes>(p), V);
}

#if SOFTBLIT_VECTOR_PATHS
// Whether any lane of a mask is set.
template <class M>
SOFTBLIT_INLINE bool AnyLane(M m) {
    __m128i parts[sizeof(M) / 16];
    std::memcpy(parts, &m, sizeof parts);
    __m128i any = parts[0];
    for (size_t i = 1; i < sizeof(M) / 16; ++i) any = _mm_or_si128(any, parts[i]);
    return _mm_movemask_epi8(any) != 0;
}
#endif

}  // namespace morpotta
