// Software images: a view (MEMIMG) over a reference-counted base
// (MEMIMG_BASE) that owns the pixels. The blit kernels (softblit/softblit.h)
// draw onto them; they are used when there is no GL device, and wherever
// exact pixels matter.
#pragma once
#include <cstdint>

#include "engine/baseimage.h"

namespace morpotta {

constexpr uint32_t kMemImgMagic = 0x12345678;

// Pixel kinds of a software image.
enum MemImgPixelKind {
    MEMIMG_KIND_RGB565 = 0,  // 16-bit R5G6B5
    MEMIMG_KIND_32BIT = 1,   // byte 0 blue, 1 green, 2 red, 3 top byte (alpha)
    MEMIMG_KIND_8BIT = 2,    // one byte per pixel (blend images); never drawn
};

struct MEMIMG_BASE {
    int refCount;            // views sharing this base
    int width, height;       // the whole pixel block
    int pitch;               // bytes per row
    const PixelFormatDesc* formatDesc;  // static descriptor of the kind
    uint32_t transColor;     // raw pixel value: index, R5G6B5 word or 32-bit word
    int pixelKind;           // MemImgPixelKind
    int usePalette;          // pixels are 1-byte indexes into the palette
    int paletteCount;        // entries in use, at most 256
    int useAlpha;            // per-pixel alpha; never with usePalette
    // 2048-byte palette block: 256 entries in the first 1024 bytes, a copy in
    // the last 1024. A 32-bit image uses palette32 (0x00RRGGBB), a 16-bit
    // image palette16 (R5G6B5); entry 256 + i (or 512 + i) is the copy.
    union {
        uint32_t palette32[512];
        uint16_t palette16[1024];
    };
    uint8_t* pixelMemory;    // owned
};

// Bytes per pixel: 1 with a palette or for kind 8-bit; 4 for 16-bit with
// alpha (colour word, alpha byte, spare byte); 2 for 16-bit; 4 for 32-bit.
struct MEMIMG {
    uint32_t magic;          // kMemImgMagic while valid
    int width, height;       // of the view
    uint8_t* pixels;         // the view's first pixel inside the base
    MEMIMG_BASE* base;
};

// A new image with zeroed pixels and palette. usePalette is only allowed for
// kinds 16-bit and 32-bit; useAlpha is forced to 0 with a palette. 0, or -1
// (and a log line) on bad arguments or when memory is short.
int CreateMemImg(MEMIMG* image, int width, int height, int pixelKind, int usePalette, int useAlpha,
                 uint32_t transColor);
// A view of the rectangle (x, y, width, height) of parent, sharing its base.
// The rectangle must lie inside the parent view. 0 or -1.
int CreateMemImgView(MEMIMG* view, const MEMIMG* parent, int x, int y, int width, int height);
// Drops the view's reference; the base and its pixels go with the last one.
// 0, or -1 for an invalid view.
int ReleaseMemImg(MEMIMG* image);
// 0 when image is a valid view, -1 otherwise (no log line).
int CheckMemImg(const MEMIMG* image);
int GetMemImgBytesPerPixel(const MEMIMG* image);

}  // namespace morpotta
