// Images in memory: a colour-format descriptor shared by base images,
// software images, textures and fonts, and the base image itself.
#pragma once
#include <atomic>
#include <cstddef>
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

// A rectangle of pixels, right and bottom exclusive.
struct ImageRect {
    int left, top, right, bottom;
};

// Channel values of the pixel at (x, y); -1 out of bounds or for a
// block-compressed image. Null outputs are skipped.
int GetBaseImagePixel(const BASEIMAGE* image, int x, int y, int* red, int* green, int* blue, int* alpha);
// Stores the pixel in the image's format (nearest palette entry for a
// palette image); -1 out of bounds.
int SetBaseImagePixel(BASEIMAGE* image, int x, int y, int red, int green, int blue, int alpha);
// -1 compressed, 0 no alpha channel, 1 every alpha 255, 2 alphas only 0 or
// 255, 3 some alpha in between.
int GetBaseImageAlphaKind(const BASEIMAGE* image);
// Turns the pixels by 180 degrees in place; -1 for a block-compressed image.
int RotateBaseImage180(BASEIMAGE* image);
// Copies a rectangle of one image scaled into a rectangle of another (any
// formats); filter 1 is bilinear, else nearest. Rectangles must lie inside
// their images. 0 or -1.
int BlitBaseImageScaled(const ImageRect* sourceRect, const BASEIMAGE* source, const ImageRect* destRect,
                        BASEIMAGE* dest, int filter);
// A copy of the image converted to 32-bit ARGB (compressed images are
// decoded). 0 or -1.
int ConvertBaseImageToArgb32(const BASEIMAGE* source, BASEIMAGE* out);

// ---- Image readers ----
struct StreamData;
// A reader: 0 when it accepted the stream and filled the image, -1 when the
// data is not its format or is damaged (the image is then left empty).
using ImageReader = int (*)(StreamData* stream, BASEIMAGE* image);
constexpr int kImageLoaderTableSize = 16;
// The readers tried first, in order; null ends them. Each slot is read and
// written whole, so the engine's thread may change them while other
// threads read pictures.
struct ImageLoaderTable {
    std::atomic<ImageReader> readers[kImageLoaderTableSize];
};
ImageLoaderTable* GetImageLoaderTable();
// A reader added runs on whichever thread reads a picture (a loader's too,
// engine.h), with no lock of the engine's held.
int AddImageReader(ImageReader reader);  // -1 when the table is full

// Reads a picture from a file (fileName) or from memory (data, size with
// fromMemory 1): the registered readers first, then BMP, JPEG, PNG, raw BGRA,
// TGA and DDS, rewinding the stream before each. option 1 mirrors the
// picture left to right. 0 or -1.
int ReadImageToBaseImage(const char* fileName, const void* data, size_t size, int fromMemory, BASEIMAGE* out,
                         int option);
int SetBmp32AlphaUse(int flag);  // 1: the fourth byte of 32-bit BMP pixels is alpha

// The built-in readers, also callable on their own.
int ReadBmpImage(StreamData* stream, BASEIMAGE* image);
int ReadJpegImage(StreamData* stream, BASEIMAGE* image);
int ReadPngImage(StreamData* stream, BASEIMAGE* image);
int ReadRawBgraImage(StreamData* stream, BASEIMAGE* image);
int ReadTgaImage(StreamData* stream, BASEIMAGE* image);
int ReadDdsImage(StreamData* stream, BASEIMAGE* image);
// Largest width or height any reader accepts.
constexpr int kMaxImageDimension = 16384;
