// The rotated blit's geometry (upright, quarter turns, scales, box) and the
// worked numbers of the mapped blend rules, each drawn through the direct
// path on one pixel.
#include <gtest/gtest.h>

#include <cstring>

#include "one_pixel_draws.h"
#include "softblit_test_util.h"

using softtest::Image;

namespace {

constexpr float kQuarter = 1.5707964f;

// One source pixel (a word, or palette entry 1) rotated by 0 onto one
// target pixel; the target word after the draw.
uint32_t RotateOne(int kind, uint32_t src, uint32_t dst, int mode, int p, const Opts& o) {
    SetState(mode, p, o);
    Image source(1, 1, kind, o.palette, o.alphaSource, o.transColor);
    Image target(1, 1, kind, 0, 0);
    Image blend(1, 1, MEMIMG_KIND_8BIT, 0, 0);
    blend.m.pixels[0] = 77;
    const int bytes = kind == 1 ? 4 : 2;
    if (o.palette) {
        source.m.pixels[0] = 1;
        if (kind == 1) source.m.base->palette32[1] = src;
        else source.m.base->palette16[1] = static_cast<uint16_t>(src);
    } else {
        std::memcpy(source.m.pixels, &src, bytes);
        if (kind == 0 && o.alphaSource) source.m.pixels[2] = static_cast<uint8_t>(o.alpha);
    }
    std::memcpy(target.m.pixels, &dst, bytes);
    RotateBlitMemImg(&target.m, &source.m, 0, 0, 0.0f, 1.0f, o.trans, 0, o.level >= 0 ? &blend.m : nullptr);
    uint32_t out = 0;
    std::memcpy(&out, target.m.pixels, bytes);
    return out;
}

const uint32_t kWhite16 = Rgb16(31, 63, 31);

// A source whose texel (i, j) holds 1 + i + 16 * j, on a target of 0xEEEE.
struct Numbered {
    Image source, target;
    Numbered(int w, int h) : source(w, h, 0, 0, 0), target(48, 40, 0, 0, 0) {
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) Set(source, i, j, static_cast<uint16_t>(1 + i + 16 * j));
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 48; ++x) Set(target, x, y, 0xEEEE);
        SetState(BlendCopy, 255, {});
        SetSoftwareDrawTarget(&target.m);
    }
    ~Numbered() { SetSoftwareDrawTarget(nullptr); }
    static void Set(Image& img, int x, int y, uint16_t v) {
        std::memcpy(img.m.pixels + y * img.m.base->pitch + 2 * x, &v, 2);
    }
    uint16_t At(int x, int y) const {
        uint16_t v;
        std::memcpy(&v, target.m.pixels + y * target.m.base->pitch + 2 * x, 2);
        return v;
    }
    // Texel (i, j) expected at target (x, y), or nothing (-1).
    template <typename Map>
    void Expect(Map texelAt) const {
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 48; ++x) {
                int i, j;
                const uint16_t want = texelAt(x, y, i, j) ? static_cast<uint16_t>(1 + i + 16 * j) : 0xEEEE;
                ASSERT_EQ(At(x, y), want) << "at " << x << "," << y;
            }
    }
};

TEST(RotateGeometry, UprightAtScaleOneIsThePlainBlit) {
    Numbered n(6, 4);
    RotateBlitMemImg(&n.target.m, &n.source.m, 20, 15, 0.0f, 1.0f, 0, 0, nullptr);
    n.Expect([](int x, int y, int& i, int& j) {
        i = x - 17, j = y - 13;
        return i >= 0 && i < 6 && j >= 0 && j < 4;
    });
    // The same through the plain blit, in every drawing state that both
    // draws share: copies, keyed copies, multiply and tinted blends.
    for (int mode : {BlendCopy, BlendMul, BlendMulAlpha, BlendAdd})
        for (int trans = 0; trans < 2; ++trans) {
            Image rotated(48, 40, 0, 0, 0), plain(48, 40, 0, 0, 0);
            std::memset(rotated.m.base->pixelMemory, 0x5A, rotated.Bytes());
            std::memset(plain.m.base->pixelMemory, 0x5A, plain.Bytes());
            n.source.m.base->transColor = 3;
            SetBlendModeParam(mode, mode == BlendAdd ? 200 : 255);
            SetDrawTint(255, mode == BlendAdd ? 100 : 255, 255);
            RotateBlitMemImg(&rotated.m, &n.source.m, 9, 7, 0.0f, 1.0f, trans, 0, nullptr);
            BlitMemImg(&plain.m, &n.source.m, 6, 5, trans, nullptr);
            EXPECT_EQ(softtest::FirstDifference(rotated, plain), -1) << "mode " << mode << " trans " << trans;
        }
}

TEST(RotateGeometry, QuarterTurnsDriftByOnePixel) {
    // +90 degrees: texel (i, j) lands at (x + 2 - j, y + i - 2), clockwise.
    {
        Numbered n(4, 4);
        RotateBlitMemImg(&n.target.m, &n.source.m, 20, 20, kQuarter, 1.0f, 0, 0, nullptr);
        n.Expect([](int x, int y, int& i, int& j) {
            i = y - 20 + 2, j = 20 + 2 - x;
            return i >= 0 && i < 4 && j >= 0 && j < 4;
        });
    }
    // -90 degrees: the image sits one pixel further left and down than a
    // mirror image of the +90 case would.
    {
        Numbered n(4, 4);
        RotateBlitMemImg(&n.target.m, &n.source.m, 20, 20, -kQuarter, 1.0f, 0, 0, nullptr);
        n.Expect([](int x, int y, int& i, int& j) {
            i = 2 - (y - 20), j = x - 20 + 2;
            return i >= 0 && i < 4 && j >= 0 && j < 4;
        });
    }
}

TEST(RotateGeometry, ScaleTwoDoublesAndHalfSamplesEverySecondTexel) {
    {
        Numbered n(4, 4);
        RotateBlitMemImg(&n.target.m, &n.source.m, 20, 20, 0.0f, 2.0f, 0, 0, nullptr);
        n.Expect([](int x, int y, int& i, int& j) {
            const int dx = x - 20 + 4, dy = y - 20 + 4;
            i = dx >= 0 ? dx / 2 : -1, j = dy >= 0 ? dy / 2 : -1;
            return dx >= 0 && dx < 8 && dy >= 0 && dy < 8;
        });
    }
    {
        Numbered n(4, 4);
        RotateBlitMemImg(&n.target.m, &n.source.m, 20, 20, 0.0f, 0.5f, 0, 0, nullptr);
        n.Expect([](int x, int y, int& i, int& j) {
            i = 2 * (x - 20) + 2, j = 2 * (y - 20) + 2;
            return i >= 0 && i < 4 && j >= 0 && j < 4;
        });
    }
}

TEST(RotateGeometry, BoxIsClippedToTheDrawArea) {
    Numbered n(6, 4);
    SetSoftwareDrawArea(18, 14, 21, 40);
    RotateBlitMemImg(&n.target.m, &n.source.m, 20, 15, 0.0f, 1.0f, 0, 0, nullptr);
    n.Expect([](int x, int y, int& i, int& j) {
        i = x - 17, j = y - 13;
        return x >= 18 && x < 21 && y >= 14 && i >= 0 && i < 6 && j >= 0 && j < 4;
    });
    // A centre far outside the area draws nothing.
    SetSoftwareDrawArea(0, 0, 48, 40);
    RotateBlitMemImg(&n.target.m, &n.source.m, 200, -300, 0.7f, 1.0f, 0, 0, nullptr);
    RotateBlitMemImg(&n.target.m, &n.source.m, 20, 15, 0.0f, 1.0f, 0, 0, nullptr);
    n.Expect([](int x, int y, int& i, int& j) {
        i = x - 17, j = y - 13;
        return i >= 0 && i < 6 && j >= 0 && j < 4;
    });
}

TEST(Rotate16Examples, ParameterBlendsInvertAndProduct) {
    EXPECT_EQ(RotateOne(0, kWhite16, 0, BlendAlpha, 128, {}), Rgb16(15, 31, 15));
    EXPECT_EQ(RotateOne(0, 0, kWhite16, BlendAlpha, 128, {}), Rgb16(16, 32, 16));
    EXPECT_EQ(RotateOne(0, 0, Rgb16(31, 0, 0), BlendAlpha, 128, {}), Rgb16(16, 0, 0));
    EXPECT_EQ(RotateOne(0, kWhite16, kWhite16, BlendMulAlpha, 255, {}), Rgb16(30, 62, 30));
    EXPECT_EQ(RotateOne(0, kWhite16, Rgb16(16, 32, 16), BlendMulAlpha, 255, {}), Rgb16(15, 31, 15));
    EXPECT_EQ(RotateOne(0, 0, 0, BlendInvert, 255, {}), kWhite16);
    EXPECT_EQ(RotateOne(0, Rgb16(31, 0, 0), 0, BlendInvert, 255, {}), Rgb16(0, 63, 31));
    Opts black;
    black.tint[0] = black.tint[1] = black.tint[2] = 0;
    EXPECT_EQ(RotateOne(0, 0, kWhite16, BlendInvert, 255, black), 0u);
    EXPECT_EQ(RotateOne(0, kWhite16, Rgb16(3, 4, 5), BlendAlpha, 0, {}), Rgb16(3, 4, 5));
    EXPECT_EQ(RotateOne(0, kWhite16, Rgb16(3, 4, 5), BlendInvert, 0, {}), Rgb16(3, 4, 5));
}

TEST(Rotate16Examples, AlphaAndLevelWeights) {
    Opts a;
    a.alphaSource = true;
    a.alpha = 200;
    // Mode 11's green keeps five more fraction bits with a white tint only.
    EXPECT_EQ((RotateOne(0, Rgb16(0, 62, 0), Rgb16(0, 40, 0), BlendMulAlpha, 254, a) >> 5) & 63, 39u);
    a.tint[2] = 254;
    EXPECT_EQ((RotateOne(0, Rgb16(0, 62, 0), Rgb16(0, 40, 0), BlendMulAlpha, 254, a) >> 5) & 63, 38u);
    a = {};
    a.alphaSource = true;
    a.alpha = 128;
    EXPECT_EQ(RotateOne(0, Rgb16(31, 0, 0), 0, BlendAlpha, 200, a) >> 11, 12u);
    a.alpha = 254;
    a.level = 255;
    EXPECT_EQ(RotateOne(0, Rgb16(31, 0, 0), 0, BlendAlpha, 254, a) >> 11, 30u);
    EXPECT_EQ(RotateOne(0, 0, Rgb16(31, 0, 0), BlendAlpha, 254, a) >> 11, 0u);
    // Opaque alpha: keyed draws blend as without alpha, unkeyed ones weigh 255/256.
    a = {};
    a.alphaSource = true;
    a.alpha = 255;
    a.trans = 1;
    EXPECT_EQ(RotateOne(0, 0, kWhite16, BlendAlpha, 128, a), Rgb16(16, 32, 16));
    EXPECT_EQ(RotateOne(0, kWhite16, 0, BlendCopy, 0, a), kWhite16);
    a.trans = 0;
    EXPECT_EQ(RotateOne(0, 0, kWhite16, BlendAlpha, 128, a), Rgb16(15, 31, 15));
    EXPECT_EQ(RotateOne(0, kWhite16, 0, BlendCopy, 0, a), Rgb16(30, 62, 30));
    Opts level;
    level.level = 128;
    EXPECT_EQ(RotateOne(0, 0, kWhite16, BlendCopy, 0, level), Rgb16(15, 31, 15));
    level.level = 0;
    EXPECT_EQ(RotateOne(0, 0, kWhite16, BlendCopy, 0, level), kWhite16);
}

TEST(Rotate16Examples, CopyAddSubtractMultiply) {
    EXPECT_EQ(RotateOne(0, kWhite16, kWhite16, BlendMul, 0, {}), Rgb16(30, 62, 30));
    EXPECT_EQ(RotateOne(0, kWhite16, Rgb16(16, 32, 16), BlendMul, 0, {}), Rgb16(15, 31, 15));
    Opts zero;
    zero.alphaSource = true;
    zero.alpha = 0;
    zero.trans = 1;
    EXPECT_EQ(RotateOne(0, kWhite16, Rgb16(3, 4, 5), BlendMul, 0, zero), Rgb16(3, 4, 5));
    for (int mode : {BlendCopy, BlendAdd, BlendSub, BlendAlpha, BlendInvert})
        EXPECT_EQ(RotateOne(0, kWhite16, Rgb16(3, 4, 5), mode, 100, zero), Rgb16(3, 4, 5)) << mode;
    Opts magenta;
    magenta.tint[1] = 0;
    EXPECT_EQ(RotateOne(0, kWhite16, 0, BlendCopy, 0, magenta), Rgb16(31, 0, 31));
    EXPECT_EQ(RotateOne(0, kWhite16, 0, BlendAdd, 128, {}), Rgb16(15, 31, 15));
    EXPECT_EQ(RotateOne(0, Rgb16(16, 32, 16), Rgb16(16, 32, 16), BlendAdd, 255, {}), kWhite16);
    EXPECT_EQ(RotateOne(0, kWhite16, Rgb16(3, 4, 5), BlendAdd, 0, {}), Rgb16(3, 4, 5));
    EXPECT_EQ(RotateOne(0, kWhite16, Rgb16(3, 4, 5), BlendSub, 0, {}), Rgb16(3, 4, 5));
    // Alpha before tint without a blend image, after it with one.
    Opts order;
    order.alphaSource = true;
    order.alpha = 200;
    order.tint[0] = 128;
    EXPECT_EQ(RotateOne(0, Rgb16(31, 0, 0), 0, BlendAdd, 255, order), Rgb16(12, 0, 0));
    order.level = 255;
    EXPECT_EQ(RotateOne(0, Rgb16(31, 0, 0), 0, BlendAdd, 255, order), Rgb16(11, 0, 0));
}

TEST(Rotate16Examples, KeyingOnWordsAndIndexes) {
    Opts keyed;
    keyed.trans = 1;
    keyed.transColor = 0x1234;
    EXPECT_EQ(RotateOne(0, 0x1234, 7, BlendInvert, 255, keyed), 7u);  // keyed before the inversion
    keyed.transColor = 0x11234;  // above 0xFFFF: matches no word
    EXPECT_EQ(RotateOne(0, 0x1234, 7, BlendCopy, 0, keyed), 0x1234u);
    Opts palette;
    palette.palette = true;
    palette.trans = 1;
    palette.transColor = 1;
    EXPECT_EQ(RotateOne(0, kWhite16, 7, BlendCopy, 0, palette), 7u);
    palette.transColor = 0x101;
    EXPECT_EQ(RotateOne(0, kWhite16, 7, BlendCopy, 0, palette), kWhite16);
    // Subtract at p = 0 still draws from a palette source.
    palette.trans = 0;
    EXPECT_EQ(RotateOne(0, kWhite16, 0, BlendSub, 0, palette), Rgb16(1, 0, 0));
    EXPECT_EQ(RotateOne(0, kWhite16, kWhite16, BlendSub, 0, palette), Rgb16(31, 62, 31));
    EXPECT_EQ(RotateOne(0, kWhite16, 7, BlendAlpha, 0, palette), 7u);
    EXPECT_EQ(RotateOne(0, kWhite16, 7, BlendAdd, 0, palette), 7u);
    for (int mode : {5, 6, 7, 8, 9, 12, -1}) EXPECT_EQ(RotateOne(0, kWhite16, 7, mode, 255, palette), 7u) << mode;
}

TEST(Rotate32Examples, ParameterBlendsKeepTheTopByte) {
    EXPECT_EQ(RotateOne(1, Grey(200), Grey(100, 9), BlendAlpha, 128, {}), Grey(150, 9));
    EXPECT_EQ(RotateOne(1, Grey(55), Grey(0, 9), BlendInvert, 128, {}), Grey(100, 9));
    EXPECT_EQ(RotateOne(1, Grey(128), Grey(200, 9), BlendMulAlpha, 255, {}), Grey(100, 9));
    EXPECT_EQ(RotateOne(1, Grey(0), Grey(0), BlendInvert, 255, {}), Grey(254));
    EXPECT_EQ(RotateOne(1, Grey(255), Grey(255), BlendMulAlpha, 255, {}), Grey(254));
    EXPECT_EQ(RotateOne(1, Grey(255), Grey(0), BlendAlpha, 254, {}), Grey(253));
    Opts a;
    a.alphaSource = true;
    EXPECT_EQ(RotateOne(1, Grey(255, 128), Grey(0), BlendAlpha, 200, a), Grey(99));
    a.level = 255;
    EXPECT_EQ(RotateOne(1, Grey(0, 254), Grey(200, 6), BlendAlpha, 254, a), Grey(3, 6));
    EXPECT_EQ(RotateOne(1, Grey(255, 254), Grey(255), BlendAlpha, 254, a), Grey(255));
}

TEST(Rotate32Examples, CopyAddSubtractMultiply) {
    Opts level;
    level.level = 255;
    EXPECT_EQ(RotateOne(1, Grey(255), Grey(0), BlendCopy, 0, level), Grey(254));
    level.level = 0;
    EXPECT_EQ(RotateOne(1, Grey(255), Grey(7, 3), BlendCopy, 0, level), Grey(7, 3));
    EXPECT_EQ(RotateOne(1, Grey(255, 0x44), Grey(0, 3), BlendCopy, 0, {}), Grey(255, 0x44));
    Opts tinted;
    tinted.tint[2] = 254;
    EXPECT_EQ(RotateOne(1, Grey(255, 0x44), Grey(0, 3), BlendCopy, 0, tinted), Rgb(255, 255, 254, 3));
    Opts a;
    a.alphaSource = true;
    EXPECT_EQ(RotateOne(1, Grey(255, 255), Grey(0, 3), BlendCopy, 0, a), Grey(254, 3));
    a.trans = 1;
    EXPECT_EQ(RotateOne(1, Grey(255, 255), Grey(0, 3), BlendCopy, 0, a), Grey(255, 255));
    EXPECT_EQ(RotateOne(1, Grey(255, 0), Grey(90, 3), BlendMul, 0, a), Grey(90, 3));
    EXPECT_EQ(RotateOne(1, Grey(255, 0), Grey(90, 3), BlendInvert, 255, a), Grey(90, 3));
    EXPECT_EQ(RotateOne(1, Grey(255, 0), Grey(90, 3), BlendAlpha, 200, a), Grey(90, 3));
    EXPECT_EQ(RotateOne(1, Grey(0), Grey(20, 3), BlendAdd, 255, {}), Grey(20, 0));
    EXPECT_EQ(RotateOne(1, Grey(255, 255), Grey(0), BlendAdd, 255, a), Grey(255));
    a.trans = 0;
    EXPECT_EQ(RotateOne(1, Grey(255, 255), Grey(0), BlendAdd, 255, a), Grey(253));
    EXPECT_EQ(RotateOne(1, Grey(255), Grey(255), BlendMul, 0, {}), Grey(254));
    EXPECT_EQ(RotateOne(1, Grey(128), Grey(200, 5), BlendMul, 0, {}), Grey(100, 5));
    EXPECT_EQ(RotateOne(1, Grey(9), Grey(20, 5), BlendSub, 0, {}), Grey(20, 5));
    Opts palette;
    palette.palette = true;
    EXPECT_EQ(RotateOne(1, Grey(9), Rgb(20, 30, 40, 6), BlendSub, 0, palette), Rgb(21, 31, 40, 0));
}

TEST(Rotate32Examples, KeyCoversTheTopByte) {
    Opts keyed;
    keyed.trans = 1;
    keyed.transColor = 0x00A0B0C0;
    EXPECT_EQ(RotateOne(1, 0x00A0B0C0, Grey(7), BlendCopy, 0, keyed), Grey(7));
    EXPECT_EQ(RotateOne(1, 0x01A0B0C0, Grey(7), BlendCopy, 0, keyed), 0x01A0B0C0u);
    keyed.alphaSource = true;  // alpha sources never consult the key
    EXPECT_EQ(RotateOne(1, 0xFFA0B0C0, Grey(7), BlendCopy, 0, keyed), 0xFFA0B0C0u);
}

}  // namespace
