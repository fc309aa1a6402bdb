// Lanes: the blend rules are written once over a lane type L, either one
// uint32_t (the scalar loops) or Lanes32, eight uint32_t lanes that compile
// to SSE2 or AVX2 registers depending on the function they are inlined
// into. Every operation on Lanes32 is the same unsigned 32-bit operation
// done lane by lane (wrap-around included), so a rule gives the same bits
// in either form. Where the scalar form reads a table, the lane form
// computes the table's entry by an identity checked over the table's whole
// range in the tests (Div255, Div63).
#pragma once
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#define SOFTBLIT_VECTOR_PATHS 1
#else
#define SOFTBLIT_VECTOR_PATHS 0
#endif

#define SOFTBLIT_INLINE [[gnu::always_inline]] inline

// Eight pixels' worth of 32-bit lanes, and the views used to reach their
// halves, bytes and signed values.
using Lanes32 = uint32_t __attribute__((vector_size(32)));
using LanesMask = int32_t __attribute__((vector_size(32)));  // -1 true, 0 false
using Lanes16 = uint16_t __attribute__((vector_size(32)));   // the same bits as 16 lanes
using Lanes16x8 = uint16_t __attribute__((vector_size(16)));
using Lanes8x8 = uint8_t __attribute__((vector_size(8)));
constexpr int kLaneCount = 8;

template <class L>
SOFTBLIT_INLINE L Splat(uint32_t v) {
    if constexpr (sizeof(L) == sizeof(uint32_t)) {
        return v;
    } else {
        return L{} + v;
    }
}

SOFTBLIT_INLINE uint32_t Select(bool m, uint32_t a, uint32_t b) { return m ? a : b; }
SOFTBLIT_INLINE Lanes32 Select(LanesMask m, Lanes32 a, Lanes32 b) {
    const Lanes32 bits = reinterpret_cast<Lanes32>(m);
    return (a & bits) | (b & ~bits);
}

// 1 where the condition holds, else 0.
SOFTBLIT_INLINE uint32_t Bit(bool m) { return m ? 1u : 0u; }
SOFTBLIT_INLINE Lanes32 Bit(LanesMask m) { return reinterpret_cast<Lanes32&>(m) & 1u; }

// Arithmetic shift of the value read as signed.
template <int N>
SOFTBLIT_INLINE uint32_t ShiftRightSigned(uint32_t v) {
    return static_cast<uint32_t>(static_cast<int32_t>(v) >> N);
}
template <int N>
SOFTBLIT_INLINE Lanes32 ShiftRightSigned(Lanes32 v) {
    return reinterpret_cast<Lanes32>(reinterpret_cast<LanesMask>(v) >> N);
}

// Whether a value, read as signed, is negative.
SOFTBLIT_INLINE bool IsNegative(uint32_t v) { return static_cast<int32_t>(v) < 0; }
SOFTBLIT_INLINE LanesMask IsNegative(Lanes32 v) { return reinterpret_cast<LanesMask>(v) < 0; }

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

// x * w + y * rest where x and y hold two values below 256 in their 16-bit
// halves and w, rest are at most 256: no half carries into the other, so
// the lane form multiplies the halves as 16-bit lanes (w, rest given in
// both halves).
SOFTBLIT_INLINE uint32_t PairMix(uint32_t x, uint32_t y, uint32_t w, uint32_t rest) { return x * w + y * rest; }
SOFTBLIT_INLINE Lanes32 PairMix(Lanes32 x, Lanes32 y, Lanes32 w, Lanes32 rest) {
    const Lanes32 w2 = w | (w << 16), r2 = rest | (rest << 16);
    return reinterpret_cast<Lanes32>(reinterpret_cast<Lanes16>(x) * reinterpret_cast<Lanes16>(w2) +
                                     reinterpret_cast<Lanes16>(y) * reinterpret_cast<Lanes16>(r2));
}
template <class L>
SOFTBLIT_INLINE L LoadLanes(const uint8_t* p) {
    L v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class L>
SOFTBLIT_INLINE void StoreLanes(uint8_t* p, L v) {
    std::memcpy(p, &v, sizeof v);
}

// Eight 16-bit pixels widened to lanes, and back.
SOFTBLIT_INLINE Lanes32 LoadWords16(const uint8_t* p) {
    return __builtin_convertvector(LoadLanes<Lanes16x8>(p), Lanes32);
}
SOFTBLIT_INLINE void StoreWords16(uint8_t* p, Lanes32 v) { StoreLanes(p, __builtin_convertvector(v, Lanes16x8)); }
SOFTBLIT_INLINE Lanes32 LoadBytes8(const uint8_t* p) { return __builtin_convertvector(LoadLanes<Lanes8x8>(p), Lanes32); }

#if SOFTBLIT_VECTOR_PATHS
// Whether any lane of a mask is set.
SOFTBLIT_INLINE bool AnyLane(LanesMask m) {
    __m128i halves[2];
    std::memcpy(halves, &m, sizeof halves);
    return _mm_movemask_epi8(_mm_or_si128(halves[0], halves[1])) != 0;
}
SOFTBLIT_INLINE bool AllLanes(LanesMask m) {
    __m128i halves[2];
    std::memcpy(halves, &m, sizeof halves);
    return _mm_movemask_epi8(_mm_and_si128(halves[0], halves[1])) == 0xFFFF;
}
#endif
