// Base images: formats, pixel access in packed and palette formats, alpha
// classes, turning and scaled copies.
#include "graphics_test_util.h"

namespace {

TEST(BaseImageTest, CreationFormatsAndFreeing) {
    BASEIMAGE image;
    ASSERT_EQ(CreateBaseImageXrgb32(5, 3, &image), 0);
    EXPECT_EQ(image.pitch, 20);
    EXPECT_EQ(image.format.redMask, 0xFF0000u);
    EXPECT_EQ(image.format.alphaWidth, 0);
    EXPECT_EQ(image.format.unusedMask, 0xFF000000u);
    PixelFormatDesc rgb24;
    SetPixelFormatRgb24(&rgb24);
    EXPECT_EQ(rgb24.colorBits, 24);
    EXPECT_EQ(rgb24.bytesPerPixel, 3);
    EXPECT_EQ(rgb24.greenMask, 0xFF00u);
    EXPECT_EQ(rgb24.unusedMask, 0u);
    BASEIMAGE other;
    ASSERT_EQ(CreateBaseImageWithFormat(5, 3, &rgb24, &other), 0);
    EXPECT_EQ(other.pitch, 16);  // 15 bytes rounded up to 4
    EXPECT_EQ(FreeBaseImagePixels(&image), 0);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.format.colorBits, 0);
    FreeBaseImagePixels(&other);
    SetLogOutput(0);
    EXPECT_EQ(CreateBaseImageXrgb32(0, 3, &image), -1);
    EXPECT_EQ(CreateBaseImageXrgb32(1 << 20, 1 << 20, &image), -1);
}

TEST(BaseImageTest, PixelsRoundTripInPackedAndPaletteFormats) {
    PixelFormatDesc f565;
    SetPixelFormatRgb565(&f565);
    BASEIMAGE image;
    ASSERT_EQ(CreateBaseImageWithFormat(2, 2, &f565, &image), 0);
    ASSERT_EQ(SetBaseImagePixel(&image, 1, 1, 255, 128, 0, 255), 0);
    int r, g, b, a;
    ASSERT_EQ(GetBaseImagePixel(&image, 1, 1, &r, &g, &b, &a), 0);
    EXPECT_EQ(r, 255);
    EXPECT_NEAR(g, 128, 4);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(a, 255);
    EXPECT_EQ(static_cast<uint16_t*>(image.pixels)[image.pitch / 2 + 1], 0xF800 | (32 << 5));
    EXPECT_EQ(GetBaseImagePixel(&image, 2, 0, &r, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(SetBaseImagePixel(&image, 0, -1, 0, 0, 0, 0), -1);
    FreeBaseImagePixels(&image);

    PixelFormatDesc pal;
    SetPixelFormatPalette8(&pal);
    pal.palette[3] = {10, 20, 30, 255};
    pal.palette[7] = {200, 100, 50, 255};
    ASSERT_EQ(CreateBaseImageWithFormat(3, 1, &pal, &image), 0);
    SetBaseImagePixel(&image, 2, 0, 48, 98, 202, 255);  // nearest is entry 7 (red 50, green 100, blue 200)
    EXPECT_EQ(static_cast<uint8_t*>(image.pixels)[2], 7);
    ASSERT_EQ(GetBaseImagePixel(&image, 2, 0, &r, &g, &b, nullptr), 0);
    EXPECT_EQ(r, 50);
    EXPECT_EQ(b, 200);
    FreeBaseImagePixels(&image);
}

TEST(BaseImageTest, AlphaClassesAndTurning) {
    BASEIMAGE image;
    ASSERT_EQ(CreateBaseImageXrgb32(3, 2, &image), 0);
    EXPECT_EQ(GetBaseImageAlphaKind(&image), 0);
    SetPixelFormatArgb32(&image.format);
    for (int i = 0; i < 6; ++i) SetBaseImagePixel(&image, i % 3, i / 3, i * 10, 0, 0, 255);
    EXPECT_EQ(GetBaseImageAlphaKind(&image), 1);
    SetBaseImagePixel(&image, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(GetBaseImageAlphaKind(&image), 2);
    SetBaseImagePixel(&image, 1, 0, 10, 0, 0, 128);
    EXPECT_EQ(GetBaseImageAlphaKind(&image), 3);
    ASSERT_EQ(RotateBaseImage180(&image), 0);
    int r, a;
    GetBaseImagePixel(&image, 2, 1, &r, nullptr, nullptr, &a);
    EXPECT_EQ(a, 0);  // was (0, 0)
    GetBaseImagePixel(&image, 1, 1, &r, nullptr, nullptr, &a);
    EXPECT_EQ(a, 128);  // was (1, 0)
    GetBaseImagePixel(&image, 0, 0, &r, nullptr, nullptr, nullptr);
    EXPECT_EQ(r, 50);  // was (2, 1)
    FreeBaseImagePixels(&image);
}

// A whole picture's conversion (row by row, eight-bit channels taken as
// they are) gives each pixel as it reads alone, in every kind of format;
// a pixel size no format has is refused, not read as black.
TEST(BaseImageTest, ConversionToArgbReadsEveryPixelAsItReadsAlone) {
    PixelFormatDesc formats[5];
    SetPixelFormatArgb32(&formats[0]);
    SetPixelFormatRgb24(&formats[1]);
    SetPixelFormatRgb565(&formats[2]);
    SetPixelFormatPalette8(&formats[3]);
    for (int i = 0; i < 256; ++i) formats[3].palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 255};
    formats[4] = formats[0];  // four bits a channel, alpha included
    formats[4].bytesPerPixel = 2;
    formats[4].alphaMask = 0xF000, formats[4].redMask = 0x0F00, formats[4].greenMask = 0x00F0, formats[4].blueMask = 0x000F;
    formats[4].alphaShift = 12, formats[4].redShift = 8, formats[4].greenShift = 4, formats[4].blueShift = 0;
    formats[4].alphaWidth = formats[4].redWidth = formats[4].greenWidth = formats[4].blueWidth = 4;
    for (const PixelFormatDesc& format : formats) {
        BASEIMAGE image, argb;
        ASSERT_EQ(CreateBaseImageWithFormat(5, 3, &format, &image), 0);
        auto* bytes = static_cast<uint8_t*>(image.pixels);
        for (int i = 0; i < image.pitch * image.height; ++i) bytes[i] = uint8_t(i * 37 + 11);
        ASSERT_EQ(ConvertBaseImageToArgb32(&image, &argb), 0);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                int r, g, b, a;
                ASSERT_EQ(GetBaseImagePixel(&image, x, y, &r, &g, &b, &a), 0);
                EXPECT_EQ(static_cast<uint32_t*>(argb.pixels)[y * 5 + x], uint32_t(a << 24 | r << 16 | g << 8 | b))
                    << format.bytesPerPixel << " bytes a pixel, at " << x << "," << y;
            }
        FreeBaseImagePixels(&argb);
        image.format.bytesPerPixel = 5;
        SetLogOutput(0);
        EXPECT_EQ(ConvertBaseImageToArgb32(&image, &argb), -1);
        EXPECT_EQ(argb.pixels, nullptr);
        image.format.bytesPerPixel = format.bytesPerPixel;
        FreeBaseImagePixels(&image);
    }
}

TEST(BaseImageTest, ScaledCopiesNearestAndBilinear) {
    BASEIMAGE src, dst;
    ASSERT_EQ(CreateBaseImageXrgb32(2, 1, &src), 0);
    SetBaseImagePixel(&src, 0, 0, 0, 0, 0, 255);
    SetBaseImagePixel(&src, 1, 0, 200, 100, 40, 255);
    PixelFormatDesc rgb24;
    SetPixelFormatRgb24(&rgb24);
    ASSERT_EQ(CreateBaseImageWithFormat(8, 2, &rgb24, &dst), 0);
    ImageRect sr = {0, 0, 2, 1}, dr = {0, 0, 8, 2};
    ASSERT_EQ(BlitBaseImageScaled(&sr, &src, &dr, &dst, 0), 0);
    int r;
    GetBaseImagePixel(&dst, 3, 1, &r, nullptr, nullptr, nullptr);
    EXPECT_EQ(r, 0);
    GetBaseImagePixel(&dst, 4, 0, &r, nullptr, nullptr, nullptr);
    EXPECT_EQ(r, 200);
    ASSERT_EQ(BlitBaseImageScaled(&sr, &src, &dr, &dst, 1), 0);
    GetBaseImagePixel(&dst, 0, 0, &r, nullptr, nullptr, nullptr);
    EXPECT_EQ(r, 0);
    GetBaseImagePixel(&dst, 7, 0, &r, nullptr, nullptr, nullptr);
    EXPECT_EQ(r, 200);
    GetBaseImagePixel(&dst, 4, 0, &r, nullptr, nullptr, nullptr);
    EXPECT_EQ(r, 125);  // centre 4.5 of 8 lies 0.625 of the way from texel 0 to texel 1
    SetLogOutput(0);
    ImageRect outside = {0, 0, 3, 1};
    EXPECT_EQ(BlitBaseImageScaled(&outside, &src, &dr, &dst, 0), -1);
    ImageRect empty = {1, 0, 1, 1};
    EXPECT_EQ(BlitBaseImageScaled(&empty, &src, &dr, &dst, 0), -1);
    FreeBaseImagePixels(&src);
    FreeBaseImagePixels(&dst);
}

}  // namespace
