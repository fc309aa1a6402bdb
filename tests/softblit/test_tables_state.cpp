// The blend tables, the level table, the draw-state setters, and the plain
// blit's refusals and clipping.
#include <gtest/gtest.h>

#include <cstring>

#include "softblit_test_util.h"

using softtest::Image;

namespace {

TEST(BlendTables, EntriesFollowTheirFormulas) {
    ASSERT_EQ(BuildBlendTables(), 0);
    EXPECT_EQ(AreBlendTablesBuilt(), 1);
    for (int a = 0; a < 256; a += 5)
        for (int k = 0; k < 256; k += 3) ASSERT_EQ(BlendProductTable[a][k], uint32_t(a * k / 255));
    EXPECT_EQ(ProductTable[255][200], 200u);
    EXPECT_EQ(ProductTable[0][200], 0u);
    for (int p = 0; p < 256; p += 7)
        for (int k = -255; k <= 255; k += 11) ASSERT_EQ(BlendSignedProductRow(p)[k], k * p / 255);
    EXPECT_EQ(BlendSignedProductRow(100)[-3], -1);  // -300 / 255 truncates toward zero
    EXPECT_EQ(SignedProductTable[255][255 - 40], -40);
    EXPECT_EQ(BlendMix6Table[63][17][40], 17);
    EXPECT_EQ(BlendMix6Table[0][17][40], 40);
    EXPECT_EQ(BlendMix6Table[32][63][0], 32);
}

TEST(BlendTables, LevelTable) {
    BuildBlendLevelTable(0, 255);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(BlendLevelTable[i], 255);
    BuildBlendLevelTable(128, 255);  // d 256, off 0: the identity
    for (int i = 0; i < 256; ++i) ASSERT_EQ(BlendLevelTable[i], i);
    BuildBlendLevelTable(255, 255);
    for (int i = 0; i < 255; ++i) ASSERT_EQ(BlendLevelTable[i], 0);
    BuildBlendLevelTable(100, 0);  // d 1: hard edge
    EXPECT_EQ(BlendLevelTable[99], 0);
    EXPECT_EQ(BlendLevelTable[100], 156);  // 256 * 100 + 256 - (65536 + 256) * 100 / 256
    EXPECT_EQ(BlendLevelTable[101], 255);
    BuildBlendLevelTable(-5, 999);  // clamped to (0, 255)
    EXPECT_EQ(BlendLevelTable[0], 255);
}

TEST(DrawState, SettersClampAndKeepTheAreaInsideTheTarget) {
    SetBlendModeParam(-7, 300);
    EXPECT_EQ(BlendMode, -7);
    EXPECT_EQ(BlendParam, 255);
    SetBlendModeParam(BlendAdd, -3);
    EXPECT_EQ(BlendParam, 0);
    SetDrawTint(300, -1, 128);
    EXPECT_EQ(DrawTint, 0xFF0080u);
    SetDrawTintPacked(0xAB123456u);
    EXPECT_EQ(DrawTint, 0x123456u);
    Image target(20, 10, 1, 0, 0);
    SetSoftwareDrawTarget(&target.m);
    SetSoftwareDrawArea(25, 12, -4, 3);
    EXPECT_EQ(DrawArea[0], 0);
    EXPECT_EQ(DrawArea[1], 3);
    EXPECT_EQ(DrawArea[2], 20);
    EXPECT_EQ(DrawArea[3], 10);
    Image blend(4, 4, MEMIMG_KIND_8BIT, 0, 0);
    SetDrawBlendMemImg(&blend.m, 128, 255);
    EXPECT_EQ(BlendGraphMemImg, &blend.m);
    EXPECT_EQ(BlendLevelTable[77], 77);
    ResetSoftwareDrawState();
    EXPECT_EQ(BlendMode, BlendCopy);
    EXPECT_EQ(BlendParam, 255);
    EXPECT_EQ(DrawTint, 0xFFFFFFu);
    EXPECT_EQ(BlendGraphMemImg, nullptr);
    EXPECT_EQ(DrawArea[1], 0);
    SetSoftwareDrawTarget(nullptr);
    EXPECT_EQ(DrawArea[2], 0);
}

class PlainBlit : public ::testing::Test {
protected:
    void SetUp() override {
        BuildBlendTables();
        SetBlendModeParam(BlendCopy, 255);
        SetDrawTint(255, 255, 255);
    }
    static bool Untouched(const Image& img, uint8_t fill) {
        for (size_t i = 0; i < img.Bytes(); ++i)
            if (img.m.base->pixelMemory[i] != fill) return false;
        return true;
    }
};

TEST_F(PlainBlit, RefusesMismatchedAndUndrawableTargets) {
    Image s32(4, 4, 1, 0, 0), s16(4, 4, 0, 0, 0);
    std::memset(s32.m.base->pixelMemory, 0x99, s32.Bytes());
    std::memset(s16.m.base->pixelMemory, 0x99, s16.Bytes());
    Image t16(8, 8, 0, 0, 0), t32(8, 8, 1, 0, 0), tPal(8, 8, 1, 1, 0), tAlpha(8, 8, 1, 0, 1), t8(8, 8, 2, 0, 0);
    DrawArea[0] = DrawArea[1] = 0, DrawArea[2] = DrawArea[3] = 8;
    BlitMemImg(&t16.m, &s32.m, 0, 0, 0, nullptr);
    BlitMemImg(&t32.m, &s16.m, 0, 0, 0, nullptr);
    BlitMemImg(&tPal.m, &s32.m, 0, 0, 0, nullptr);
    BlitMemImg(&tAlpha.m, &s32.m, 0, 0, 0, nullptr);
    BlitMemImg(&t8.m, &t8.m, 0, 0, 0, nullptr);
    for (const Image* t : {&t16, &t32, &tPal, &tAlpha, &t8}) EXPECT_TRUE(Untouched(*t, 0));
}

TEST_F(PlainBlit, ADrawAreaBeyondTheTargetIsCutToIt) {
    Image source(12, 12, 1, 0, 0), target(6, 5, 1, 0, 0);
    std::memset(source.m.base->pixelMemory, 0x5A, source.Bytes());
    DrawArea[0] = -100, DrawArea[1] = -100, DrawArea[2] = 100, DrawArea[3] = 100;
    BlitMemImg(&target.m, &source.m, -3, -3, 0, nullptr);
    EXPECT_TRUE(Untouched(target, 0x5A));
    const int rect[4] = {-10, -10, 30, 30};
    std::memset(target.m.base->pixelMemory, 0, target.Bytes());
    StretchBlitMemImg(&target.m, &source.m, rect, 0, nullptr);
    EXPECT_TRUE(Untouched(target, 0x5A));
}

TEST_F(PlainBlit, PartlyOutsideStartsAtTheFirstVisiblePixelAndBlendAtTheSourcePosition) {
    Image source(4, 4, 1, 0, 0), target(4, 4, 1, 0, 0), blend(4, 4, MEMIMG_KIND_8BIT, 0, 0);
    for (int i = 0; i < 16; ++i) {
        const uint32_t v = 0x000000FFu;
        std::memcpy(source.m.pixels + 4 * i, &v, 4);
        blend.m.pixels[i] = static_cast<uint8_t>(i * 16);  // pitch 4: byte i is (i % 4, i / 4)
    }
    BuildBlendLevelTable(128, 255);  // identity levels
    DrawArea[0] = DrawArea[1] = 0, DrawArea[2] = DrawArea[3] = 4;
    BlitMemImg(&target.m, &source.m, -1, -2, 0, &blend.m);
    // Target (0, 0) shows source (1, 2): level 16 * (2 * 4 + 1) = 144; 255 * 144 / 256 = 143.
    EXPECT_EQ(target.m.pixels[0], 143);
    EXPECT_EQ(target.m.pixels[target.m.base->pitch + 8], (255 * 16 * 15) / 256);
    EXPECT_EQ(target.m.pixels[2 * target.m.base->pitch], 0);  // below the source
}

TEST_F(PlainBlit, AViewCopiesOntoItsOwnBase) {
    Image row(8, 1, 1, 0, 0);
    for (uint32_t i = 0; i < 8; ++i) std::memcpy(row.m.pixels + 4 * i, &i, 4);
    MEMIMG left;
    ASSERT_EQ(CreateMemImgView(&left, &row.m, 0, 0, 6, 1), 0);
    DrawArea[0] = DrawArea[1] = 0, DrawArea[2] = 8, DrawArea[3] = 1;
    BlitMemImg(&row.m, &left, 2, 0, 0, nullptr);
    const uint32_t expect[8] = {0, 1, 0, 1, 2, 3, 4, 5};
    EXPECT_EQ(std::memcmp(row.m.pixels, expect, sizeof(expect)), 0);
    ReleaseMemImg(&left);
}

TEST_F(PlainBlit, WhollyOutsideTouchesNothing) {
    Image source(4, 4, 1, 0, 0), target(8, 8, 1, 0, 0);
    std::memset(source.m.base->pixelMemory, 0x33, source.Bytes());
    DrawArea[0] = 2, DrawArea[1] = 2, DrawArea[2] = 6, DrawArea[3] = 6;
    for (int pos : {-4, 6, 100, -100}) {
        BlitMemImg(&target.m, &source.m, pos, 3, 0, nullptr);
        BlitMemImg(&target.m, &source.m, 3, pos, 0, nullptr);
    }
    EXPECT_TRUE(Untouched(target, 0));
}

TEST_F(PlainBlit, EveryPaletteIndexReadsTheSameColourInEveryPath) {
    // paletteCount says 3, yet indexes up to 255 occur: the work copies hold
    // the whole palette, so the plain and the scaled kernels agree.
    Image source(256, 1, 1, 1, 0, 0), plain(256, 1, 1, 0, 0), scaled(256, 1, 1, 0, 0);
    source.m.base->paletteCount = 3;
    for (int i = 0; i < 256; ++i) {
        source.m.pixels[i] = static_cast<uint8_t>(255 - i);
        source.m.base->palette32[i] = 0x00010203u * static_cast<uint32_t>(i);
    }
    DrawArea[0] = DrawArea[1] = 0, DrawArea[2] = 256, DrawArea[3] = 1;
    for (int mode : {BlendCopy, BlendSub}) {
        SetBlendModeParam(mode, 255);
        std::memset(plain.m.base->pixelMemory, 0x80, plain.Bytes());
        std::memset(scaled.m.base->pixelMemory, 0x80, scaled.Bytes());
        BlitMemImg(&plain.m, &source.m, 0, 0, 0, nullptr);
        const int mirroredTwice[4] = {0, 1, 256, 0};  // vertical mirror of one row: the scaled path
        StretchBlitMemImg(&scaled.m, &source.m, mirroredTwice, 0, nullptr);
        EXPECT_EQ(softtest::FirstDifference(plain, scaled), -1) << mode;
    }
    uint32_t v;
    SetBlendModeParam(BlendCopy, 255);
    BlitMemImg(&plain.m, &source.m, 0, 0, 0, nullptr);
    std::memcpy(&v, plain.m.pixels, 4);
    EXPECT_EQ(v, 0x00010203u * 255);
}

}  // namespace
