// Which source pixel each destination pixel of the scaled blit shows, and
// the draws it refuses.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "softblit_test_util.h"

using softtest::Image;

namespace {

// A 32-bit source whose pixel (x, y) holds 0x00YYXX + 0x010101.
void FillCoordinates(Image& img) {
    for (int y = 0; y < img.m.height; ++y)
        for (int x = 0; x < img.m.width; ++x) {
            const uint32_t v = 0x010101u + static_cast<uint32_t>(y << 8 | x);
            std::memcpy(img.m.pixels + y * img.m.base->pitch + 4 * x, &v, 4);
        }
}

uint32_t At(const Image& img, int x, int y) {
    uint32_t v;
    std::memcpy(&v, img.m.pixels + y * img.m.base->pitch + 4 * x, 4);
    return v;
}

// Source columns shown along row y (-1 where the target is untouched).
std::vector<int> Columns(const Image& target, int y) {
    std::vector<int> out;
    for (int x = 0; x < target.m.width; ++x) {
        const uint32_t v = At(target, x, y);
        out.push_back(v == 0 ? -1 : static_cast<int>((v - 0x010101u) & 0xFF));
    }
    return out;
}

class StretchGeometry : public ::testing::Test {
protected:
    void SetUp() override {
        BuildBlendTables();
        SetBlendModeParam(BlendCopy, 255);
        SetDrawTint(255, 255, 255);
        DrawArea[0] = DrawArea[1] = 0;
        DrawArea[2] = DrawArea[3] = 1000;
    }
};

TEST_F(StretchGeometry, FourToSixPlainMirroredAndClipped) {
    Image source(4, 1, 1, 0, 0), target(6, 1, 1, 0, 0);
    FillCoordinates(source);
    const int rect[4] = {0, 0, 6, 1};
    StretchBlitMemImg(&target.m, &source.m, rect, 0, nullptr);
    EXPECT_EQ(Columns(target, 0), (std::vector<int>{0, 0, 1, 2, 2, 3}));
    std::memset(target.m.pixels, 0, 24);
    const int mirrored[4] = {6, 0, 0, 1};
    StretchBlitMemImg(&target.m, &source.m, mirrored, 0, nullptr);
    EXPECT_EQ(Columns(target, 0), (std::vector<int>{3, 3, 2, 1, 1, 0}));
    std::memset(target.m.pixels, 0, 24);
    DrawArea[0] = 2;
    StretchBlitMemImg(&target.m, &source.m, rect, 0, nullptr);
    EXPECT_EQ(Columns(target, 0), (std::vector<int>{-1, -1, 1, 2, 2, 3}));
}

TEST_F(StretchGeometry, HalfAndDoubleWidth) {
    Image source(8, 1, 1, 0, 0), half(4, 1, 1, 0, 0), twice(16, 1, 1, 0, 0);
    FillCoordinates(source);
    const int halfRect[4] = {0, 0, 4, 1};
    StretchBlitMemImg(&half.m, &source.m, halfRect, 0, nullptr);
    EXPECT_EQ(Columns(half, 0), (std::vector<int>{0, 2, 4, 6}));
    const int twiceRect[4] = {0, 0, 16, 1};
    StretchBlitMemImg(&twice.m, &source.m, twiceRect, 0, nullptr);
    EXPECT_EQ(Columns(twice, 0), (std::vector<int>{0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7}));
}

TEST_F(StretchGeometry, SameSizeIsThePlainBlitUnlessMirrored) {
    Image source(3, 2, 1, 0, 0), a(5, 4, 1, 0, 0), b(5, 4, 1, 0, 0);
    FillCoordinates(source);
    const int same[4] = {1, 1, 4, 3};
    StretchBlitMemImg(&a.m, &source.m, same, 0, nullptr);
    BlitMemImg(&b.m, &source.m, 1, 1, 0, nullptr);
    EXPECT_EQ(softtest::FirstDifference(a, b), -1);
    // Half turn: both directions mirrored.
    std::memset(a.m.base->pixelMemory, 0, a.Bytes());
    const int turned[4] = {4, 3, 1, 1};
    StretchBlitMemImg(&a.m, &source.m, turned, 0, nullptr);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(At(a, 1 + x, 1 + y), At(source, 2 - x, 1 - y));
}

TEST_F(StretchGeometry, ClippingNeverChangesWhatAPixelShows) {
    Image source(7, 5, 1, 0, 0), full(40, 30, 1, 0, 0), clipped(40, 30, 1, 0, 0);
    FillCoordinates(source);
    const int rects[][4] = {{3, 2, 33, 25}, {33, 25, 3, 2}, {1, 1, 5, 4}, {-7, -3, 38, 29}};
    for (const auto& rect : rects) {
        std::memset(full.m.base->pixelMemory, 0, full.Bytes());
        DrawArea[0] = DrawArea[1] = 0, DrawArea[2] = 40, DrawArea[3] = 30;
        StretchBlitMemImg(&full.m, &source.m, rect, 0, nullptr);
        for (int cut = 1; cut < 12; cut += 3) {
            std::memset(clipped.m.base->pixelMemory, 0, clipped.Bytes());
            DrawArea[0] = cut, DrawArea[1] = cut / 2, DrawArea[2] = 40 - cut, DrawArea[3] = 30 - cut / 3;
            StretchBlitMemImg(&clipped.m, &source.m, rect, 0, nullptr);
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x) {
                    const bool inside = x >= DrawArea[0] && x < DrawArea[2] && y >= DrawArea[1] && y < DrawArea[3];
                    ASSERT_EQ(At(clipped, x, y), inside ? At(full, x, y) : 0u) << x << "," << y;
                }
        }
    }
}

TEST_F(StretchGeometry, MagnifiedTransparentPixelLeavesEveryCopy) {
    Image source(2, 1, 1, 0, 0, 0x00123456), target(8, 4, 1, 0, 0);
    const uint32_t pixels[2] = {0x00123456, 0x00FFFFFF};
    std::memcpy(source.m.pixels, pixels, 8);
    std::memset(target.m.base->pixelMemory, 0x11, target.Bytes());
    const int rect[4] = {0, 0, 8, 4};
    StretchBlitMemImg(&target.m, &source.m, rect, 1, nullptr);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(At(target, x, y), x < 4 ? 0x11111111u : 0x00FFFFFFu);
}

TEST_F(StretchGeometry, EmptyOutsideAndUnsupportedDrawNothing) {
    Image source(4, 4, 1, 0, 0), target(8, 8, 1, 0, 0);
    FillCoordinates(source);
    const int empty[][4] = {{2, 2, 2, 6}, {2, 2, 6, 2}, {20, 20, 30, 30}, {-9, 0, -1, 5}};
    for (const auto& rect : empty) StretchBlitMemImg(&target.m, &source.m, rect, 0, nullptr);
    Image gray(4, 4, MEMIMG_KIND_8BIT, 0, 0), grayTarget(8, 8, MEMIMG_KIND_8BIT, 0, 0);
    const int rect[4] = {0, 0, 8, 8};
    std::memset(gray.m.base->pixelMemory, 0x77, gray.Bytes());
    StretchBlitMemImg(&grayTarget.m, &gray.m, rect, 0, nullptr);
    EXPECT_EQ(grayTarget.m.pixels[0], 0);
    for (int mode : {5, 9, 12}) {
        SetBlendModeParam(mode, 100);
        StretchBlitMemImg(&target.m, &source.m, rect, 0, nullptr);
    }
    for (size_t i = 0; i < target.Bytes(); ++i) ASSERT_EQ(target.m.base->pixelMemory[i], 0) << i;
}

// Faults the frame handles soundly.

TEST_F(StretchGeometry, RefusesATargetOfAnotherKind) {
    Image source(4, 4, 1, 0, 0), target16(8, 8, 0, 0, 0), paletteTarget(8, 8, 1, 1, 0), alphaTarget(8, 8, 1, 0, 1);
    FillCoordinates(source);
    const int rect[4] = {0, 0, 8, 8};
    for (Image* t : {&target16, &paletteTarget, &alphaTarget}) {
        StretchBlitMemImg(&t->m, &source.m, rect, 0, nullptr);
        for (size_t i = 0; i < t->Bytes(); ++i) ASSERT_EQ(t->m.base->pixelMemory[i], 0);
    }
}

TEST_F(StretchGeometry, ABlendImageSmallerThanTheAreaReadDrawsNothing) {
    Image source(8, 8, 1, 0, 0), target(16, 16, 1, 0, 0), small(4, 8, MEMIMG_KIND_8BIT, 0, 0);
    FillCoordinates(source);
    std::memset(small.m.base->pixelMemory, 255, small.Bytes());
    BuildBlendLevelTable(0, 255);
    const int rect[4] = {0, 0, 16, 16};
    StretchBlitMemImg(&target.m, &source.m, rect, 0, &small.m);
    BlitMemImg(&target.m, &source.m, 0, 0, 0, &small.m);
    for (size_t i = 0; i < target.Bytes(); ++i) ASSERT_EQ(target.m.base->pixelMemory[i], 0);
    // Covering the area read is enough: the left half of the source.
    DrawArea[2] = 8;
    StretchBlitMemImg(&target.m, &source.m, rect, 0, &small.m);
    EXPECT_NE(At(target, 7, 15), 0u);
    EXPECT_EQ(At(target, 8, 0), 0u);
}

TEST_F(StretchGeometry, HugeRectanglesAndOffsetsStepExactly) {
    // 40000 wide: the 16.16 products exceed 32 bits; the visible columns
    // still follow the mapping k * 65536 / scale.
    Image source(10, 1, 1, 0, 0), target(64, 1, 1, 0, 0);
    FillCoordinates(source);
    const int rect[4] = {-39990, 0, 10, 1};
    StretchBlitMemImg(&target.m, &source.m, rect, 0, nullptr);
    const int64_t scale = (int64_t{40000} << 16) / 10;
    for (int x = 0; x < 10; ++x) EXPECT_EQ(Columns(target, 0)[x], static_cast<int>(((x + 39990) * int64_t{65536}) / scale));
    EXPECT_EQ(Columns(target, 0)[10], -1);
    // The extremes of int draw nothing and do not overflow.
    const int extreme[4] = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    StretchBlitMemImg(&target.m, &source.m, extreme, 0, nullptr);
    BlitMemImg(&target.m, &source.m, INT_MAX, INT_MAX, 0, nullptr);
    BlitMemImg(&target.m, &source.m, INT_MIN, INT_MIN, 0, nullptr);
}

TEST_F(StretchGeometry, InvalidImagesAreRefused) {
    Image target(4, 4, 1, 0, 0);
    MEMIMG bogus{};
    const int rect[4] = {0, 0, 4, 4};
    StretchBlitMemImg(&target.m, &bogus, rect, 0, nullptr);
    StretchBlitMemImg(&target.m, nullptr, rect, 0, nullptr);
    StretchBlitMemImg(&target.m, &target.m, nullptr, 0, nullptr);
    BlitMemImg(nullptr, &target.m, 0, 0, 0, nullptr);
    BlitMemImg(&target.m, &target.m, 0, 0, 0, &bogus);
    // A record with no width would divide by zero in the stepping.
    Image source(4, 4, 1, 0, 0);
    std::memset(source.m.base->pixelMemory, 0xEE, source.Bytes());
    MEMIMG empty = source.m;
    empty.width = 0;
    const int wide[4] = {0, 0, 3, 2};
    StretchBlitMemImg(&target.m, &empty, wide, 0, nullptr);
    empty = source.m;
    empty.height = 0;
    StretchBlitMemImg(&target.m, &empty, wide, 0, nullptr);
    for (size_t i = 0; i < target.Bytes(); ++i) ASSERT_EQ(target.m.base->pixelMemory[i], 0);
}

}  // namespace
