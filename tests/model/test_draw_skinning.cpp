// Software skinning of vertex kinds 1, 2 and 3 against a plain reference
// loop over random vertices and bone matrices.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "model/draw/model_skinning.h"

using namespace morpotta;

namespace {

struct RefVertex {
    float p[3], n[3];
    std::vector<std::pair<int, float>> weights;  // (matrix, weight)
};

Matrix34 RandomMatrix(std::mt19937& rng) {
    std::uniform_real_distribution<float> d(-2.0f, 2.0f);
    Matrix34 m;
    for (float& v : m.m) v = d(rng);
    return m;
}

void Reference(const RefVertex& v, const std::vector<Matrix34>& bones, float out[6]) {
    double m[12] = {};
    for (auto [bone, w] : v.weights)
        for (int i = 0; i < 12; ++i) m[i] += double(bones[bone].m[i]) * w;
    for (int r = 0; r < 3; ++r) {
        out[r] = float(m[r * 4] * v.p[0] + m[r * 4 + 1] * v.p[1] + m[r * 4 + 2] * v.p[2] + m[r * 4 + 3]);
        out[3 + r] = float(m[r * 4] * v.n[0] + m[r * 4 + 1] * v.n[1] + m[r * 4 + 2] * v.n[2]);
    }
}

std::vector<RefVertex> RandomVertices(std::mt19937& rng, int count, int maxWeights, int boneCount) {
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::uniform_int_distribution<int> bone(0, boneCount - 1), many(1, maxWeights);
    std::vector<RefVertex> out(count);
    for (int i = 0; i < count; ++i) {
        RefVertex& v = out[i];
        for (int c = 0; c < 3; ++c) v.p[c] = d(rng) * 10, v.n[c] = d(rng);
        int k = i % 3 == 0 ? 1 : many(rng);
        float left = 1.0f;
        for (int w = 0; w < k; ++w) {
            float weight = w + 1 == k ? left : left * 0.5f;
            left -= weight;
            v.weights.push_back({bone(rng), weight});
        }
    }
    return out;
}

constexpr int kOutStride = 80;

void ExpectMatches(const std::vector<RefVertex>& verts, const std::vector<Matrix34>& bones,
                   const std::vector<unsigned char>& out) {
    for (size_t i = 0; i < verts.size(); ++i) {
        float want[6], got[6];
        Reference(verts[i], bones, want);
        std::memcpy(got, out.data() + i * kOutStride, sizeof(got));
        for (int c = 0; c < 6; ++c) EXPECT_NEAR(got[c], want[c], 1e-3f) << "vertex " << i << " component " << c;
    }
}

TEST(ModelSkinning, KindsOneAndTwoMatchReferenceBlend) {
    std::mt19937 rng(7);
    std::vector<Matrix34> bones;
    for (int i = 0; i < 10; ++i) bones.push_back(RandomMatrix(rng));
    std::vector<const Matrix34*> palette;
    for (auto& b : bones) palette.push_back(&b);
    for (int kind = 1; kind <= 2; ++kind) {
        int weights = kind == 1 ? 4 : 8, stride = kind == 1 ? 48 : 64;
        auto verts = RandomVertices(rng, 50, weights, int(bones.size()));
        std::vector<unsigned char> src(verts.size() * stride, 0), out(verts.size() * kOutStride, 0xCD);
        for (size_t i = 0; i < verts.size(); ++i) {
            unsigned char* s = src.data() + i * stride;
            float w[8] = {};
            uint8_t slots[8] = {};
            for (size_t k = 0; k < verts[i].weights.size() && k < 8; ++k)
                w[k] = verts[i].weights[k].second, slots[k] = uint8_t(verts[i].weights[k].first);
            std::memcpy(s, w, 4 * weights);
            if (kind == 1) {
                std::memcpy(s + 16, verts[i].p, 12);
                std::memcpy(s + 32, verts[i].n, 12);
                std::memcpy(s + 44, slots, 4);
            } else {
                std::memcpy(s + 32, verts[i].n, 12);
                std::memcpy(s + 44, slots, 4);
                std::memcpy(s + 48, verts[i].p, 12);
                std::memcpy(s + 60, slots + 4, 4);
            }
        }
        if (kind == 1)
            SkinVerticesKind1(src.data(), int(verts.size()), palette.data(), int(palette.size()), out.data(),
                              kOutStride);
        else
            SkinVerticesKind2(src.data(), int(verts.size()), palette.data(), int(palette.size()), out.data(),
                              kOutStride);
        SCOPED_TRACE(kind);
        ExpectMatches(verts, bones, out);
    }
}

TEST(ModelSkinning, KindThreeStopsAtMinusOneAndMatchesReference) {
    std::mt19937 rng(11);
    std::vector<Matrix34> bones;
    for (int i = 0; i < 60; ++i) bones.push_back(RandomMatrix(rng));
    std::vector<const Matrix34*> refs;
    for (auto& b : bones) refs.push_back(&b);
    const int maxWeights = 5, stride = 32 + 8 * maxWeights;
    auto verts = RandomVertices(rng, 40, maxWeights, int(bones.size()));
    // A -1 in the second pair ends the list: only the first pair counts.
    verts[1].weights = {{3, 1.0f}};
    std::vector<unsigned char> src(verts.size() * stride, 0), out(verts.size() * kOutStride);
    for (size_t i = 0; i < verts.size(); ++i) {
        unsigned char* s = src.data() + i * stride;
        std::memcpy(s, verts[i].p, 12);
        std::memcpy(s + 16, verts[i].n, 12);
        for (int k = 0; k < maxWeights; ++k) {
            int32_t bone = k < int(verts[i].weights.size()) ? verts[i].weights[k].first : -1;
            float w = k < int(verts[i].weights.size()) ? verts[i].weights[k].second : 7.0f;  // junk after -1
            std::memcpy(s + 32 + 8 * k, &bone, 4);
            std::memcpy(s + 36 + 8 * k, &w, 4);
        }
    }
    SkinVerticesKind3(src.data(), int(verts.size()), stride, maxWeights, refs.data(), int(refs.size()), out.data(),
                      kOutStride);
    ExpectMatches(verts, bones, out);
}

TEST(ModelSkinning, StrayPaletteSlotsAndBoneIndexesReadNothingPastTheTable) {
    Matrix34 only = {{1, 0, 0, 5, 0, 1, 0, 0, 0, 0, 1, 0}};
    const Matrix34* palette[1] = {&only};
    unsigned char src[48] = {};
    const float w[4] = {0.5f, 0.5f, 0, 0};
    const float p[3] = {1, 2, 3};
    std::memcpy(src, w, 16);
    std::memcpy(src + 16, p, 12);
    src[44] = 0;
    src[45] = 200;  // past the palette: contributes nothing
    float out[20];
    SkinVerticesKind1(src, 1, palette, 1, out, 80);
    EXPECT_FLOAT_EQ(out[0], 3.0f);  // half of (1 + 5)
    unsigned char src3[48] = {};
    std::memcpy(src3, p, 12);
    const int32_t bad = 9;
    const float one = 1.0f;
    std::memcpy(src3 + 32, &bad, 4);
    std::memcpy(src3 + 36, &one, 4);
    const int32_t end = -1;
    std::memcpy(src3 + 40, &end, 4);
    SkinVerticesKind3(src3, 1, 48, 2, palette, 1, out, 80);
    EXPECT_EQ(out[0], 0.0f);
}

TEST(ModelSkinning, RenormaliseWhenAnAxisIsScaled) {
    Matrix34 m;
    BuildIdentity34(&m);
    EXPECT_EQ(MatrixNeedsRenormalise(&m), 0);
    m.m[0] = 2.0f;
    EXPECT_EQ(MatrixNeedsRenormalise(&m), 1);
    BuildRotation34XYZ(&m, 0.3f, 0.7f, -1.1f);
    EXPECT_EQ(MatrixNeedsRenormalise(&m), 0);
}

}  // namespace
