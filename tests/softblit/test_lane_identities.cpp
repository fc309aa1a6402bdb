// The identities the vector kernels compute in place of the blend tables
// (and of the 32-bit products they split into 16-bit lanes), checked over
// every input the rules can give them: each lane form, at both lane
// widths, against the table it stands for.
#include <gtest/gtest.h>

#include "graphics/softimage/drawstate.h"
#include "softblit/table_reads.h"

using namespace morpotta;

namespace {

template <class V>
class LaneIdentities : public ::testing::Test {};
using Widths = ::testing::Types<Lanes32x4, Lanes32x8>;
TYPED_TEST_SUITE(LaneIdentities, Widths);

template <class V>
constexpr int kLanes = LaneTraits<V>::kCount;

// The lanes of v, each checked against expect(lane index).
template <class V, class Expect>
void ExpectLanes(V v, Expect expect, const char* what) {
    for (int i = 0; i < kLanes<V>; ++i) ASSERT_EQ(v[i], expect(i)) << what << " lane " << i;
}

template <class V>
V Iota(uint32_t first) {
    V v;
    for (int i = 0; i < kLanes<V>; ++i) v[i] = first + static_cast<uint32_t>(i);
    return v;
}

TEST(LaneDivisions, DivisionsByTableSizes) {
    for (uint32_t n = 0; n <= 255u * 255u; ++n) ASSERT_EQ(Div255(n), n / 255) << n;
    for (uint32_t n = 0; n <= 63u * 63u; ++n) ASSERT_EQ(Div63(n), n / 63) << n;
}

TYPED_TEST(LaneIdentities, ProductRowsForEveryFactorAndChannel) {
    using V = TypeParam;
    ASSERT_EQ(BuildBlendTables(), 0);
    RgbScale scale{};
    for (uint32_t t = 0; t < 256; ++t) {
        // Blue, green and red scaled by three different rows at once.
        const uint32_t tg = (t * 7 + 3) & 0xFF, tr = 255 - t;
        scale.factors[0] = t, scale.factors[1] = tg, scale.factors[2] = tr;
        scale.rows[0] = BlendProductTable[t], scale.rows[1] = BlendProductTable[tg], scale.rows[2] = BlendProductTable[tr];
        for (uint32_t v = 0; v < 256; v += kLanes<V>) {
            ExpectLanes(ScaleBy(nullptr, t, Iota<V>(v)), [&](int i) { return BlendProductTable[t][v + i]; }, "ScaleBy");
            V words;
            for (int i = 0; i < kLanes<V>; ++i) {
                const uint32_t c = v + static_cast<uint32_t>(i);
                words[i] = c | ((c ^ 0x5A) << 8) | ((255 - c) << 16) | (c << 24);
            }
            const V lanes = ScaleRgb(scale, words);
            ExpectLanes(lanes, [&](int i) { return ScaleRgb(scale, static_cast<uint32_t>(words[i])); }, "ScaleRgb");
        }
    }
}

TYPED_TEST(LaneIdentities, SignedProductRowsOverEveryDifference) {
    using V = TypeParam;
    ASSERT_EQ(BuildBlendTables(), 0);
    for (uint32_t p = 0; p < 256; ++p) {
        const int32_t* row = BlendSignedProductRow(static_cast<int>(p));
        for (int k = -255; k <= 255; k += kLanes<V>) {
            const V lanes = SignedScale(nullptr, p, Iota<V>(static_cast<uint32_t>(k)));
            for (int i = 0; i < kLanes<V> && k + i <= 255; ++i)
                ASSERT_EQ(static_cast<int32_t>(lanes[i]), row[k + i]) << "p " << p << " k " << k + i;
        }
    }
}

TYPED_TEST(LaneIdentities, SixBitMixSlabs) {
    using V = TypeParam;
    ASSERT_EQ(BuildBlendTables(), 0);
    for (uint32_t q = 0; q < 64; ++q)
        for (uint32_t m = 0; m < 64; ++m)
            for (uint32_t n = 0; n < 64; n += kLanes<V>)
                ExpectLanes(Mix6(nullptr, q, Splat<V>(m), Iota<V>(n)),
                            [&](int i) { return uint32_t{BlendMix6Table[q][m][n + i]}; }, "Mix6");
}

// The one-weight mix of two byte pairs: as 16-bit lanes it must give the
// 32-bit products' bits for every weight 0..256 and every pair of bytes.
TYPED_TEST(LaneIdentities, PairedSixteenBitProducts) {
    using V = TypeParam;
    for (uint32_t w = 0; w <= 256; ++w) {
        const V weight = Splat<V>(w), rest = Splat<V>(256 - w);
        for (uint32_t x = 0; x < 256; ++x) {
            for (uint32_t y = 0; y < 256; y += kLanes<V>) {
                V xs, ys;
                for (int i = 0; i < kLanes<V>; ++i) {
                    xs[i] = x | ((255 - x) << 16);
                    ys[i] = (y + i) | ((y + i) ^ 0xA5) << 16;
                }
                const V lanes = PairMix(xs, ys, weight, rest);
                ExpectLanes(lanes, [&](int i) { return PairMix(uint32_t{xs[i]}, uint32_t{ys[i]}, w, 256 - w); },
                            "PairMix");
            }
        }
    }
}

}  // namespace
