// Software images: creation, views over a shared base, release, and the
// conversion of base images into their pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/memory.h"
#include "softblit_test_util.h"

using softtest::Image;

namespace {

TEST(MemImg, CreateSetsKindLayoutAndPitch) {
    struct Case {
        int kind, palette, alpha, bytes;
    } cases[] = {{0, 0, 0, 2}, {0, 0, 1, 4}, {0, 1, 0, 1}, {1, 0, 0, 4}, {1, 0, 1, 4}, {1, 1, 0, 1}, {2, 0, 0, 1}};
    for (const Case& c : cases) {
        MEMIMG m;
        ASSERT_EQ(CreateMemImg(&m, 5, 3, c.kind, c.palette, c.alpha, 7), 0);
        EXPECT_EQ(m.magic, kMemImgMagic);
        EXPECT_EQ(m.base->formatDesc->bytesPerPixel, c.bytes);
        EXPECT_EQ(GetMemImgBytesPerPixel(&m), c.bytes);
        EXPECT_EQ(m.base->pitch % 4, 0);
        EXPECT_GE(m.base->pitch, 5 * c.bytes);
        EXPECT_EQ(m.base->usePalette, c.palette);
        EXPECT_EQ(m.base->transColor, 7u);
        EXPECT_EQ(ReleaseMemImg(&m), 0);
        EXPECT_EQ(m.magic, 0u);
    }
    // A palette image never has alpha.
    MEMIMG m;
    ASSERT_EQ(CreateMemImg(&m, 2, 2, 1, 1, 1, 0), 0);
    EXPECT_EQ(m.base->useAlpha, 0);
    ReleaseMemImg(&m);
}

TEST(MemImg, BadArgumentsFailCleanly) {
    MEMIMG m;
    EXPECT_EQ(CreateMemImg(&m, 0, 3, 1, 0, 0, 0), -1);
    EXPECT_EQ(CreateMemImg(&m, 3, -1, 1, 0, 0, 0), -1);
    EXPECT_EQ(CreateMemImg(&m, 40000, 1, 1, 0, 0, 0), -1);
    EXPECT_EQ(CreateMemImg(&m, 3, 3, 3, 0, 0, 0), -1);
    EXPECT_EQ(CreateMemImg(nullptr, 3, 3, 1, 0, 0, 0), -1);
    EXPECT_EQ(CheckMemImg(&m), -1);
    EXPECT_EQ(ReleaseMemImg(&m), -1);
    EXPECT_EQ(ReleaseMemImg(nullptr), -1);
}

TEST(MemImg, ViewsShareTheBaseAndDrawOnlyTheirRectangle) {
    const size_t before = GetMemoryTotals().liveBlocks;
    MEMIMG parent, view;
    ASSERT_EQ(CreateMemImg(&parent, 8, 6, 1, 0, 0, 0), 0);
    ASSERT_EQ(CreateMemImgView(&view, &parent, 2, 1, 4, 3), 0);
    EXPECT_EQ(parent.base->refCount, 2);
    EXPECT_EQ(CreateMemImgView(&view, &parent, 5, 0, 4, 3), -1);  // sticks out
    ASSERT_EQ(CheckMemImg(&view), 0);

    BuildBlendTables();
    SetBlendModeParam(BlendCopy, 255);
    SetDrawTint(255, 255, 255);
    SetSoftwareDrawTarget(&view);
    EXPECT_EQ(DrawArea[2], 4);
    {
        Image source(10, 10, 1, 0, 0);
        std::memset(source.m.base->pixelMemory, 0xFF, source.Bytes());
        BlitToDrawMemImg(&source.m, -3, -3, 0);
    }
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 6 && y >= 1 && y < 4;
            EXPECT_EQ(parent.pixels[y * parent.base->pitch + 4 * x], inside ? 0xFF : 0) << x << "," << y;
        }
    SetSoftwareDrawTarget(nullptr);
    EXPECT_EQ(ReleaseMemImg(&parent), 0);
    EXPECT_EQ(view.base->refCount, 1);  // the view keeps the pixels alive
    EXPECT_EQ(view.pixels[0], 0xFF);
    EXPECT_EQ(ReleaseMemImg(&view), 0);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, before);
}

// A hand-built base image: pixels owned by the vector.
struct TestBaseImage {
    BASEIMAGE image{};
    std::vector<uint8_t> pixels;
    TestBaseImage(int w, int h, int bytes) : pixels(static_cast<size_t>(w) * h * bytes) {
        image.width = w;
        image.height = h;
        image.pitch = w * bytes;
        image.pixels = pixels.data();
        image.format.bytesPerPixel = bytes;
        image.format.colorBits = bytes * 8;
    }
};

TestBaseImage Argb32(int w, int h) {
    TestBaseImage t(w, h, 4);
    PixelFormatDesc& f = t.image.format;
    f.alphaWidth = f.redWidth = f.greenWidth = f.blueWidth = 8;
    f.alphaShift = 24, f.redShift = 16, f.greenShift = 8, f.blueShift = 0;
    f.alphaMask = 0xFF000000u, f.redMask = 0xFF0000, f.greenMask = 0xFF00, f.blueMask = 0xFF;
    return t;
}

TEST(TransferBaseImage, ConvertsToEveryKind) {
    TestBaseImage src = Argb32(2, 1);
    const uint32_t words[2] = {0x80FF8040u, 0x00102030u};
    std::memcpy(src.pixels.data(), words, 8);

    Image argb(3, 2, 1, 0, 1), xrgb(3, 2, 1, 0, 0), rgb565a(2, 1, 0, 0, 1), gray(2, 1, 2, 0, 0);
    ASSERT_EQ(TransferBaseImageToMemImg(&src.image, nullptr, &argb.m, 1, 1, nullptr, 0), 0);
    uint32_t v;
    std::memcpy(&v, argb.m.pixels + argb.m.base->pitch + 4, 4);
    EXPECT_EQ(v, 0x80FF8040u);
    ASSERT_EQ(TransferBaseImageToMemImg(&src.image, nullptr, &xrgb.m, 0, 0, nullptr, 0), 0);
    std::memcpy(&v, xrgb.m.pixels + 4, 4);
    EXPECT_EQ(v, 0x00102030u);
    ASSERT_EQ(TransferBaseImageToMemImg(&src.image, nullptr, &rgb565a.m, 0, 0, nullptr, 0), 0);
    uint16_t w;
    std::memcpy(&w, rgb565a.m.pixels, 2);
    EXPECT_EQ(w, (0x1F << 11) | (0x20 << 5) | 0x08);
    EXPECT_EQ(rgb565a.m.pixels[2], 0x80);
    ASSERT_EQ(TransferBaseImageToMemImg(&src.image, nullptr, &gray.m, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(gray.m.pixels[1], 0x30);

    // A separate alpha image gives the alpha from its blue channel.
    TestBaseImage mask = Argb32(2, 1);
    const uint32_t alphas[2] = {0x00000011u, 0x000000EEu};
    std::memcpy(mask.pixels.data(), alphas, 8);
    ASSERT_EQ(TransferBaseImageToMemImg(&src.image, &mask.image, &argb.m, 0, 0, nullptr, 0), 0);
    std::memcpy(&v, argb.m.pixels + 4, 4);
    EXPECT_EQ(v, 0xEE102030u);
}

TEST(TransferBaseImage, PaletteFillsAllEntriesAndBothHalves) {
    TestBaseImage src(3, 1, 1);
    src.image.format.usePalette = 1;
    src.pixels = {4, 9, 2};
    src.image.pixels = src.pixels.data();
    for (int i = 0; i < 256; ++i) src.image.format.palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i ^ 0x5A), 0};
    Image p32(3, 1, 1, 1, 0), p16(3, 1, 0, 1, 0);
    ASSERT_EQ(TransferBaseImageToMemImg(&src.image, nullptr, &p32.m, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(p32.m.base->paletteCount, 10);
    EXPECT_EQ(p32.m.pixels[1], 9);
    for (int i = 0; i < 256; ++i) {
        const uint32_t expect = (uint32_t(i ^ 0x5A) << 16) | (uint32_t(255 - i) << 8) | uint32_t(i);
        ASSERT_EQ(p32.m.base->palette32[i], expect);
        ASSERT_EQ(p32.m.base->palette32[256 + i], expect);
    }
    ASSERT_EQ(TransferBaseImageToMemImg(&src.image, nullptr, &p16.m, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(p16.m.base->palette16[255], ((0xA5 & 0xF8) << 8) | ((0 & 0xFC) << 3) | (255 >> 3));
    EXPECT_EQ(p16.m.base->palette16[512 + 255], p16.m.base->palette16[255]);
    // A palette image needs palette pixels.
    TestBaseImage colour = Argb32(3, 1);
    EXPECT_EQ(TransferBaseImageToMemImg(&colour.image, nullptr, &p32.m, 0, 0, nullptr, 0), -1);
}

TEST(TransferBaseImage, RejectsWhatDoesNotFit) {
    TestBaseImage src = Argb32(4, 4);
    Image dest(4, 4, 1, 0, 0);
    const int outside[4] = {2, 2, 5, 4};
    const int empty[4] = {1, 1, 1, 3};
    EXPECT_EQ(TransferBaseImageToMemImg(&src.image, nullptr, &dest.m, 0, 0, outside, 0), -1);
    EXPECT_EQ(TransferBaseImageToMemImg(&src.image, nullptr, &dest.m, 0, 0, empty, 0), -1);
    EXPECT_EQ(TransferBaseImageToMemImg(&src.image, nullptr, &dest.m, 1, 0, nullptr, 0), -1);
    EXPECT_EQ(TransferBaseImageToMemImg(&src.image, nullptr, &dest.m, -1, 0, nullptr, 0), -1);
    EXPECT_EQ(TransferBaseImageToMemImg(nullptr, nullptr, &dest.m, 0, 0, nullptr, 0), -1);
    TestBaseImage small = Argb32(2, 2);
    EXPECT_EQ(TransferBaseImageToMemImg(&src.image, &small.image, &dest.m, 0, 0, nullptr, 0), -1);
    src.image.format.compression = PIXEL_COMPRESSION_DXT1;
    EXPECT_EQ(TransferBaseImageToMemImg(&src.image, nullptr, &dest.m, 0, 0, nullptr, 0), -1);
    src.image.format.compression = PIXEL_COMPRESSION_NONE;
    src.image.pitch = 3;
    EXPECT_EQ(TransferBaseImageToMemImg(&src.image, nullptr, &dest.m, 0, 0, nullptr, 0), -1);
    const int part[4] = {1, 1, 3, 3};
    src.image.pitch = 16;
    EXPECT_EQ(TransferBaseImageToMemImg(&src.image, nullptr, &dest.m, 2, 2, part, 0), 0);
}

}  // namespace
