// The rotated blit's mirrored path: the image drawn through the quad blit
// onto the rotated corners taken in mirrored order.
#include <gtest/gtest.h>

#include <random>

#include "softblit_reference_rotate.h"
#include "softblit_test_util.h"

using softtest::Image;

namespace {

// Corners of the direct path's set-up (top-right, top-left, bottom-right,
// bottom-left) in whole pixels, truncated toward zero.
bool MirroredCorners(const MEMIMG* target, const MEMIMG* source, int x, int y, float angle, float scale, int out[8]) {
    softref::State st;
    const auto m = softref::MapRotation(target, source, x, y, angle, scale, st, true);
    if (!m) return false;
    const int order[4] = {3, 0, 2, 1};
    for (int k = 0; k < 4; ++k) {
        out[2 * k] = m->corner[order[k]][0] / 262144;
        out[2 * k + 1] = m->corner[order[k]][1] / 262144;
    }
    return true;
}

TEST(RotateMirrored, EqualsTheQuadBlitOnMirroredCorners) {
    std::mt19937 rng(77);
    for (int kind : {0, 1})
        for (int sourceClass : {0, 1, 2}) {
            Image source(13, 9, kind, sourceClass == 0, sourceClass == 2, sourceClass == 0 ? 3 : 0x1234);
            Image blend(13, 9, MEMIMG_KIND_8BIT, 0, 0);
            Image start(48, 40, kind, 0, 0), turned(48, 40, kind, 0, 0), quad(48, 40, kind, 0, 0);
            softtest::FillSource(source, rng);
            softtest::FillBytes(blend, rng);
            softtest::FillBytes(start, rng);
            BuildBlendTables();
            BuildBlendLevelTable(120, 200);
            for (int mode : {0, 1, 2, 3, 4, 10, 11})
                for (float angle : {0.0f, 0.5235988f, 1.5707964f, -2.5f})
                    for (float scale : {1.0f, 0.5f, 2.0f}) {
                        SetBlendModeParam(mode, 150);
                        SetDrawTint(255, 255, mode == 4 ? 200 : 255);
                        DrawArea[0] = DrawArea[1] = 1;
                        DrawArea[2] = 46, DrawArea[3] = 39;
                        const int x = 10 + static_cast<int>(rng() % 28), y = 8 + static_cast<int>(rng() % 24);
                        const int trans = static_cast<int>(rng() & 1);
                        const MEMIMG* blendImage = rng() % 3 == 0 ? &blend.m : nullptr;
                        softtest::CopyPixels(start, turned);
                        softtest::CopyPixels(start, quad);
                        RotateBlitMemImg(&turned.m, &source.m, x, y, angle, scale, trans, 1, blendImage);
                        int corners[8];
                        ASSERT_TRUE(MirroredCorners(&quad.m, &source.m, x, y, angle, scale, corners));
                        QuadBlitMemImg(&quad.m, &source.m, corners, trans, blendImage);
                        ASSERT_EQ(softtest::FirstDifference(turned, quad), -1)
                            << "kind " << kind << " class " << sourceClass << " mode " << mode << " angle " << angle
                            << " scale " << scale;
                    }
        }
}

// Mirrored upright at scale 1: the image reversed left to right, texel
// (i, j) at (x + W/2 - i, y - H/2 + j). Sampled at pixel centres by the
// triangle rules, it sits one column right of the direct path's image.
TEST(RotateMirrored, UprightImageIsReversed) {
    Image source(8, 4, 1, 0, 0), target(32, 32, 1, 0, 0);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 8; ++i) {
            const uint32_t v = 0x010000u * (i + 1) + 0x100u * (j + 1);
            std::memcpy(source.m.pixels + j * source.m.base->pitch + 4 * i, &v, 4);
        }
    BuildBlendTables();
    SetSoftwareDrawTarget(&target.m);
    ResetSoftwareDrawState();
    RotateBlitMemImg(&target.m, &source.m, 16, 16, 0.0f, 1.0f, 0, 1, nullptr);
    int drawn = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            uint32_t v;
            std::memcpy(&v, target.m.pixels + y * target.m.base->pitch + 4 * x, 4);
            if (!v) continue;
            ++drawn;
            const int i = static_cast<int>((v >> 16) & 0xFF) - 1, j = static_cast<int>((v >> 8) & 0xFF) - 1;
            EXPECT_EQ(x, 16 + 4 - i) << "texel " << i << "," << j;
            EXPECT_EQ(y, 14 + j) << "texel " << i << "," << j;
        }
    EXPECT_EQ(drawn, 32);
    SetSoftwareDrawTarget(nullptr);
}

}  // namespace
