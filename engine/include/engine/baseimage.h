// Images in memory: a colour-format descriptor shared by base images,
// software images, textures and fonts, and the base image itself.
#pragma once
#include <cstdint>

struct PaletteEntry {
    uint8_t blue, green, red, alpha;
};

enum PixelCompression {
    PIXEL_COMPRESSION_NONE = 0,
    PIXEL_COMPRESSION_DXT1 = 1,
    PIXEL_COMPRESSION_DXT2 = 2,
    PIXEL_COMPRESSION_DXT3 = 3,
    PIXEL_COMPRESSION_DXT4 = 4,
    PIXEL_COMPRESSION_DXT5 = 5,
};

struct PixelFormatDesc {
    int colorBits;       // 8 (palette), 16, 24 or 32
    int bytesPerPixel;   // 1, 2, 3 or 4
    int usePalette;      // 1: pixels are indexes into palette
    int alphaWidth, redWidth, greenWidth, blueWidth;      // bits per channel
    int alphaShift, redShift, greenShift, blueShift;      // lowest bit of each channel
    uint32_t alphaMask, redMask, greenMask, blueMask;
    uint32_t unusedMask;  // bits outside every channel
    PaletteEntry palette[256];
    int compression;      // PixelCompression
};

// An image in memory. The pixels belong to the image and are freed with
// FreeBaseImagePixels.
struct BASEIMAGE {
    PixelFormatDesc format;
    int width;
    int height;
    int pitch;      // bytes per row
    void* pixels;
    int flags;
};

int SetPixelFormatXrgb32(PixelFormatDesc* format);   // 0x00RRGGBB, alpha byte unused
int SetPixelFormatArgb32(PixelFormatDesc* format);   // 0xAARRGGBB
int SetPixelFormatRgb24(PixelFormatDesc* format);    // red 0xFF0000, green 0xFF00, blue 0xFF
int SetPixelFormatRgb565(PixelFormatDesc* format);
int SetPixelFormatPalette8(PixelFormatDesc* format); // palette cleared

// 32-bit XRGB, pitch 4 x width, new pixels. 0, or -1 when memory is short.
int CreateBaseImageXrgb32(int width, int height, BASEIMAGE* out);
// The source's pixel format, rows rounded up to 4 bytes.
int CreateBaseImageWithFormat(int width, int height, const PixelFormatDesc* format, BASEIMAGE* out);
// Frees the pixel memory, if any, and zeroes the whole record.
int FreeBaseImagePixels(BASEIMAGE* image);
