// The worked numbers of the blend rules, each drawn through the blits on
// one or two pixels, and the packed operations on their own.
#include <gtest/gtest.h>

#include <cstring>

#include "softblit/packed_ops.h"
#include "one_pixel_draws.h"
#include "softblit_test_util.h"

using namespace morpotta;

using softtest::Image;

namespace {

// Draws one source pixel (a word, or the colour of palette entry 1) on one
// target pixel and returns the target.
uint32_t DrawOne(int kind, uint32_t src, uint32_t dst, int mode, int p, const Opts& o) {
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
    const MEMIMG* blendImage = o.level >= 0 ? &blend.m : nullptr;
    if (o.scaled) {
        const int rect[4] = {1, 0, 0, 1};
        StretchBlitMemImg(&target.m, &source.m, rect, o.trans, blendImage);
    } else {
        BlitMemImg(&target.m, &source.m, 0, 0, o.trans, blendImage);
    }
    uint32_t out = 0;
    std::memcpy(&out, target.m.pixels, bytes);
    return out;
}

TEST(Blend32Examples, AlphaMixesAndCopiesAtFullParameter) {
    EXPECT_EQ(DrawOne(1, Grey(200), Grey(100, 9), BlendAlpha, 100, {}), Grey(139, 9));
    EXPECT_EQ(DrawOne(1, Grey(200), Grey(100, 9), BlendAlpha, 0, {}), Grey(100, 9));
    EXPECT_EQ(DrawOne(1, Grey(200, 0x5A), Grey(100, 9), BlendAlpha, 255, {}), Grey(200, 0x5A));
}

TEST(Blend32Examples, HalvingAtParameter128OnlyWithoutTint) {
    EXPECT_EQ(DrawOne(1, Grey(3), Grey(1, 7), BlendAlpha, 128, {}), Grey(1, 0));
    Opts tinted;
    tinted.tint[0] = 255, tinted.tint[1] = 255, tinted.tint[2] = 254;
    const uint32_t out = DrawOne(1, Grey(3), Grey(1, 7), BlendAlpha, 128, tinted);
    EXPECT_EQ((out >> 16) & 0xFF, 2u);
    EXPECT_EQ((out >> 8) & 0xFF, 2u);
    EXPECT_EQ(out >> 24, 7u);
    // The scaled path has no halving form.
    Opts scaled;
    scaled.scaled = true;
    EXPECT_EQ(DrawOne(1, Grey(3), Grey(1), BlendAlpha, 128, scaled), Grey(2));
}

TEST(Blend32Examples, FullWeightStopsOneShort) {
    Opts o;
    o.level = 255;
    EXPECT_EQ(DrawOne(1, Grey(255), Grey(0), BlendCopy, 0, o), Grey(254));
    EXPECT_EQ(DrawOne(1, Grey(255), Grey(255), BlendMul, 0, {}), Grey(254));
    EXPECT_EQ(DrawOne(1, Grey(255), Grey(255), BlendMulAlpha, 255, {}), Grey(254));
}

TEST(Blend32Examples, PackedAddForms) {
    EXPECT_EQ(DrawOne(1, Grey(1), Grey(1), BlendAdd, 255, {}), Rgb(0, 0, 2));  // lossy
    Opts alpha255;
    alpha255.alphaSource = true;
    alpha255.trans = 1;
    EXPECT_EQ(DrawOne(1, Grey(1, 255), Grey(1), BlendAdd, 255, alpha255), Rgb(1, 1, 2));
    EXPECT_EQ(DrawOne(1, Grey(128), Grey(128), BlendAdd, 255, {}), Grey(255, 1));
    Opts scaled;
    scaled.scaled = true;
    EXPECT_EQ(DrawOne(1, Grey(1), Grey(1), BlendAdd, 255, scaled), Rgb(1, 1, 2));
}

TEST(Blend32Examples, PackedSubtractForms) {
    EXPECT_EQ(DrawOne(1, Grey(1), Grey(1), BlendSub, 255, {}), Rgb(1, 1, 0));
    EXPECT_EQ(DrawOne(1, Grey(9), Rgb(20, 30, 40, 6), BlendSub, 0, {}), Rgb(20, 30, 40, 6));
    Opts palette;
    palette.palette = true;
    EXPECT_EQ(DrawOne(1, Grey(9), Rgb(20, 30, 40, 6), BlendSub, 0, palette), Rgb(21, 31, 40, 0));
    palette.scaled = true;
    EXPECT_EQ(DrawOne(1, Grey(9), Rgb(20, 30, 40, 6), BlendSub, 0, palette), Rgb(21, 31, 40, 0));
}

TEST(Blend32Examples, AlphaSourceCopyAndMultiply) {
    Opts o;
    o.alphaSource = true;
    EXPECT_EQ(DrawOne(1, Rgb(200, 10, 20, 128), Rgb(100, 0, 0, 3), BlendCopy, 0, o), Rgb(200, 10, 20, 128));
    o.tint[2] = 254;
    EXPECT_EQ(DrawOne(1, Rgb(200, 10, 20, 128), Rgb(100, 0, 0, 3), BlendCopy, 0, o), Rgb(150, 5, 9, 3));
    // Scaled: mixes by the alpha even untinted, the top byte stays.
    Opts scaled;
    scaled.alphaSource = true;
    scaled.scaled = true;
    EXPECT_EQ((DrawOne(1, Rgb(200, 0, 0, 128), Rgb(100, 0, 0, 3), BlendCopy, 0, scaled)), Rgb(150, 0, 0, 3));
    Opts keyed;
    keyed.alphaSource = true;
    keyed.trans = 1;
    EXPECT_EQ(DrawOne(1, Rgb(200, 100, 50, 0), Grey(90, 4), BlendMul, 0, keyed), Grey(90, 4));
    keyed.scaled = true;
    EXPECT_EQ(DrawOne(1, Rgb(200, 100, 50, 0), Grey(90, 4), BlendMul, 0, keyed), Grey(90, 4));
}

TEST(Blend32Examples, PaletteKeyLeavesIndexFiveInEveryModeAndWidth) {
    BuildBlendTables();
    for (int mode : {0, 1, 2, 3, 4, 10, 11}) {
        for (int width : {1, 3, 5, 6, 7}) {
            SetState(mode, 200, {});
            Image source(width, 2, 1, 1, 0, 5);
            Image target(width, 2, 1, 0, 0);
            for (int i = 0; i < 256; ++i) source.m.base->palette32[i] = 0x00FFFFFF - i;
            for (int i = 0; i < width * 2; ++i) {
                const int x = i % width, y = i / width;
                source.m.pixels[y * source.m.base->pitch + x] = (i % 3 == 1) ? 5 : 6;
            }
            std::memset(target.m.base->pixelMemory, 0x42, target.Bytes());
            BlitMemImg(&target.m, &source.m, 0, 0, 1, nullptr);
            for (int i = 0; i < width * 2; ++i) {
                const int x = i % width, y = i / width;
                uint32_t v;
                std::memcpy(&v, target.m.pixels + y * target.m.base->pitch + 4 * x, 4);
                if (i % 3 == 1) EXPECT_EQ(v, 0x42424242u) << "mode " << mode << " width " << width << " pixel " << i;
                else EXPECT_NE(v, 0x42424242u) << "mode " << mode << " width " << width << " pixel " << i;
            }
        }
    }
}

TEST(Blend16Examples, AddAndSubtractSinglePixel) {
    EXPECT_EQ(SaturatingAdd565(Rgb16(1, 0, 0), Rgb16(1, 0, 0)), Rgb16(1, 0, 0));
    EXPECT_EQ(SaturatingAdd565(Rgb16(0, 0, 31), Rgb16(0, 0, 1)), Rgb16(0, 1, 31));
    EXPECT_EQ(SaturatingAdd565(Rgb16(31, 63, 31), Rgb16(0, 0, 1)), Rgb16(31, 63, 31));
    for (uint32_t v = 0; v < 65536; v += 97) EXPECT_EQ(SaturatingAdd565(v, 0), v);
    EXPECT_EQ(SaturatingSubtract565(Rgb16(2, 17, 20), 0), Rgb16(3, 16, 20));
    EXPECT_EQ(SaturatingSubtract565(0, 0), Rgb16(1, 0, 0));
    EXPECT_EQ(SaturatingSubtract565(Rgb16(31, 63, 31), Rgb16(1, 1, 1)), Rgb16(31, 62, 30));
    EXPECT_EQ(SaturatingSubtract565(Rgb16(0, 0, 1), Rgb16(0, 0, 2)), Rgb16(1, 0, 0));
}

// Two-pixel draws at p = 255: the pair recipe of the plain blit.
void DrawPair(uint32_t s0, uint32_t s1, uint32_t d0, uint32_t d1, int mode, uint32_t* out0, uint32_t* out1) {
    SetState(mode, 255, {});
    Image source(2, 1, 0, 0, 0, 0xFFFF);
    Image target(2, 1, 0, 0, 0);
    const uint16_t s[2] = {static_cast<uint16_t>(s0), static_cast<uint16_t>(s1)};
    const uint16_t d[2] = {static_cast<uint16_t>(d0), static_cast<uint16_t>(d1)};
    std::memcpy(source.m.pixels, s, 4);
    std::memcpy(target.m.pixels, d, 4);
    BlitMemImg(&target.m, &source.m, 0, 0, 0, nullptr);
    uint16_t o[2];
    std::memcpy(o, target.m.pixels, 4);
    *out0 = o[0];
    *out1 = o[1];
}

TEST(Blend16Examples, PairedAdd) {
    uint32_t a, b;
    DrawPair(0, 0, Rgb16(2, 17, 20), Rgb16(2, 17, 20), BlendAdd, &a, &b);
    EXPECT_EQ(a, Rgb16(2, 16, 20));
    EXPECT_EQ(b, Rgb16(2, 16, 20));
    DrawPair(Rgb16(0, 0, 1), 0, Rgb16(31, 63, 31), 0, BlendAdd, &a, &b);
    EXPECT_EQ(a, Rgb16(30, 63, 31));
    DrawPair(Rgb16(1, 0, 0), Rgb16(1, 0, 0), Rgb16(31, 0, 0), Rgb16(31, 0, 0), BlendAdd, &a, &b);
    EXPECT_EQ(a, Rgb16(30, 0, 0));
    EXPECT_EQ(b, Rgb16(30, 0, 0));
    // Outside the blit the pair recipe gives the same words.
    const uint32_t pair = PairedAdd565(Rgb16(2, 17, 20) | (Rgb16(31, 0, 0) << 16), Rgb16(1, 0, 0) << 16);
    EXPECT_EQ(pair & 0xFFFF, Rgb16(2, 16, 20));
    EXPECT_EQ(pair >> 16, Rgb16(30, 0, 0));
}

TEST(Blend16Examples, SubtractOfNothingDependsOnTheSource) {
    EXPECT_EQ(DrawOne(0, Rgb16(9, 9, 9), Rgb16(2, 17, 20), BlendSub, 0, {}), Rgb16(2, 17, 20));
    Opts palette;
    palette.palette = true;
    EXPECT_EQ(DrawOne(0, Rgb16(9, 9, 9), Rgb16(2, 17, 20), BlendSub, 0, palette), Rgb16(3, 16, 20));
}

TEST(Blend16Examples, AlphaParameterSteps) {
    EXPECT_EQ(DrawOne(0, Rgb16(31, 63, 31), 0, BlendAlpha, 128, {}), Rgb16(15, 31, 15));
    const uint32_t d = Rgb16(7, 40, 12), s = Rgb16(25, 3, 30);
    for (int p : {1, 2, 3}) EXPECT_EQ(DrawOne(0, s, d, BlendAlpha, p, {}), d) << p;
    for (int p : {252, 253, 254}) EXPECT_EQ(DrawOne(0, s, d, BlendAlpha, p, {}), s) << p;
    EXPECT_EQ(DrawOne(0, s, d, BlendAlpha, 255, {}), s);
    EXPECT_EQ(DrawOne(0, s, d, BlendAlpha, 0, {}), d);
    EXPECT_EQ(DrawOne(0, s, d, BlendInvert, 0, {}), d);
    EXPECT_EQ(DrawOne(0, s, d, BlendMulAlpha, 0, {}), d);
    // Scaled: p/255 toward the source, no 6-bit mix.
    Opts scaled;
    scaled.scaled = true;
    EXPECT_EQ(DrawOne(0, Rgb16(31, 63, 31), 0, BlendAlpha, 254, scaled), Rgb16(30, 62, 30));
    EXPECT_EQ(DrawOne(0, Rgb16(31, 63, 31), 0, BlendAlpha, 1, scaled), 0u);
}

TEST(Blend16Examples, MultiplyWeightsGoToBlackButClearTexelsAreSkipped) {
    Opts level0;
    level0.level = 0;
    EXPECT_EQ(DrawOne(0, Rgb16(31, 63, 31), Rgb16(31, 63, 31), BlendMul, 0, level0), 0u);
    Opts alpha0;
    alpha0.alphaSource = true;
    alpha0.alpha = 0;
    alpha0.trans = 1;
    EXPECT_EQ(DrawOne(0, Rgb16(31, 63, 31), Rgb16(3, 4, 5), BlendMul, 0, alpha0), Rgb16(3, 4, 5));  // skipped
    alpha0.scaled = true;
    EXPECT_EQ(DrawOne(0, Rgb16(31, 63, 31), Rgb16(3, 4, 5), BlendMul, 0, alpha0), Rgb16(3, 4, 5));
}

TEST(Blend16Examples, AlphaSourceCopyAndKeying) {
    Opts o;
    o.alphaSource = true;
    o.alpha = 0;
    EXPECT_EQ(DrawOne(0, Rgb16(5, 6, 7), Rgb16(1, 1, 1), BlendCopy, 0, o), Rgb16(5, 6, 7));
    o.trans = 1;
    EXPECT_EQ(DrawOne(0, Rgb16(5, 6, 7), Rgb16(1, 1, 1), BlendCopy, 0, o), Rgb16(1, 1, 1));
    o.alpha = 255;
    EXPECT_EQ(DrawOne(0, Rgb16(5, 6, 7), Rgb16(1, 1, 1), BlendCopy, 0, o), Rgb16(5, 6, 7));
    // The transparent colour is never compared for an alpha source.
    o.transColor = Rgb16(5, 6, 7);
    EXPECT_EQ(DrawOne(0, Rgb16(5, 6, 7), Rgb16(1, 1, 1), BlendCopy, 0, o), Rgb16(5, 6, 7));
}

TEST(Blend16Examples, PaletteKeysIndexesNotColours) {
    SetState(BlendCopy, 255, {});
    Image source(2, 1, 0, 1, 0, 4), target(2, 1, 0, 0, 0);
    source.m.base->palette16[4] = source.m.base->palette16[7] = static_cast<uint16_t>(Rgb16(3, 4, 5));
    source.m.pixels[0] = 4;
    source.m.pixels[1] = 7;
    for (bool scaled : {false, true}) {
        std::memset(target.m.pixels, 0, 4);
        const int rect[4] = {2, 0, 0, 1};
        if (scaled) StretchBlitMemImg(&target.m, &source.m, rect, 1, nullptr);
        else BlitMemImg(&target.m, &source.m, 0, 0, 1, nullptr);
        uint16_t out[2];
        std::memcpy(out, target.m.pixels, 4);
        EXPECT_EQ(out[scaled ? 1 : 0], 0u);
        EXPECT_EQ(out[scaled ? 0 : 1], Rgb16(3, 4, 5));
    }
}

TEST(Blend16Examples, ScaledAddAtFullParameterKeepsAnyTarget) {
    Opts scaled;
    scaled.scaled = true;
    for (uint32_t d = 0; d < 65536; d += 251) EXPECT_EQ(DrawOne(0, 0, d, BlendAdd, 255, scaled), d);
}

TEST(BlendExamples, ModesWithoutSoftwareFormDrawNothing) {
    for (int kind : {0, 1}) {
        for (int mode : {5, 6, 7, 8, 9, 12, 100, -1}) {
            for (bool scaled : {false, true}) {
                Opts o;
                o.scaled = scaled;
                EXPECT_EQ(DrawOne(kind, 0x1234, 0x4321, mode, 200, o), 0x4321u) << kind << " " << mode;
            }
        }
    }
}

TEST(PackedOps, WorkedNumbers) {
    auto c16 = [](uint32_t r, uint32_t g, uint32_t b) { return Rgb16(r, g, b); };
    EXPECT_EQ(SaturatingAdd565(c16(1, 2, 1), c16(1, 2, 1)), c16(1, 4, 2));
    EXPECT_EQ(SaturatingAdd565(c16(31, 0, 0), c16(1, 0, 0)), c16(31, 0, 0));
    EXPECT_EQ(SaturatingAdd565(c16(0, 1, 0), c16(0, 1, 0)), c16(0, 1, 0));
    EXPECT_EQ(SaturatingAdd565(c16(16, 32, 16), c16(16, 32, 16)), c16(31, 63, 31));
    EXPECT_EQ(SaturatingSubtract565(c16(31, 63, 31), c16(31, 63, 31)), c16(1, 0, 0));
    EXPECT_EQ(SaturatingSubtract565(c16(31, 63, 31), 0), c16(31, 62, 31));
    EXPECT_EQ(SaturatingSubtract565(c16(2, 0, 0), c16(1, 0, 0)), c16(3, 0, 0));
    EXPECT_EQ(SaturatingSubtract565(c16(0, 0, 31), c16(0, 0, 1)), c16(1, 0, 30));
    EXPECT_EQ(SaturatingAdd888(Rgb(1, 1, 1), Rgb(1, 1, 1)), Rgb(1, 1, 2));
    EXPECT_EQ(SaturatingAdd888(Rgb(0, 0, 255), Rgb(0, 0, 1)), Rgb(0, 1, 255));
    EXPECT_EQ(SaturatingAdd888(Grey(255), Grey(255)), Grey(255, 1));
    EXPECT_EQ(SaturatingAdd888(Rgb(255, 128, 64), Rgb(128, 128, 128)), Rgb(255, 255, 192, 1));
    EXPECT_EQ(SaturatingAdd888(Rgb(16, 32, 48), Rgb(1, 2, 3)), Rgb(17, 34, 51));
    EXPECT_EQ(SaturatingSubtract888(Rgb(100, 100, 50), 0), Rgb(101, 101, 50));
    EXPECT_EQ(SaturatingSubtract888(Rgb(100, 100, 50), Rgb(0, 0, 10)), Rgb(101, 101, 40));
    EXPECT_EQ(SaturatingSubtract888(Grey(255), Grey(255)), Rgb(1, 1, 0));
    EXPECT_EQ(SaturatingSubtract888(Grey(1), Grey(3)), 0u);
    EXPECT_EQ(SaturatingSubtract888(Rgb(255, 128, 64), Grey(128)), Rgb(127, 0, 0));
    EXPECT_EQ(SaturatingSubtract888(Rgb(16, 32, 48), Rgb(1, 2, 3)), Rgb(17, 31, 45));
}

// The bit recipes against the reference's channel descriptions.
TEST(PackedOps, RecipesMatchChannelDescriptions) {
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int i = 0; i < 200000; ++i) {
        const uint32_t d0 = next() >> 16, x0 = next() >> 16, d1 = next() >> 16, x1 = next() >> 16;
        ASSERT_EQ(SaturatingAdd565(d0, x0), softref::Add565(d0, x0, true));
        ASSERT_EQ(PairedAddAlone565(d0, x0), softref::Add565(d0, x0, false));
        ASSERT_EQ(SaturatingSubtract565(d0, x0), softref::Sub565(d0, x0));
        uint32_t a, b;
        softref::PairAdd565(d0, x0, d1, x1, a, b);
        ASSERT_EQ(PairedAdd565(d0 | (d1 << 16), x0 | (x1 << 16)), a | (b << 16));
        softref::PairSub565(d0, x0, d1, x1, a, b);
        ASSERT_EQ(PairedSubtract565(d0 | (d1 << 16), x0 | (x1 << 16)), a | (b << 16));
        const uint32_t D = next(), T = next() & 0xFFFFFF;
        ASSERT_EQ(SaturatingAdd888(D, T), softref::Add888(D, T, false));
        ASSERT_EQ(LossyAdd888(D, T), softref::Add888(D, T, true));
        ASSERT_EQ(SaturatingSubtract888(D, T), softref::Sub888(D, T));
    }
}

}  // namespace
