// Software images: a view (MEMIMG) over a reference-counted base
// (MEMIMG_BASE) that owns the pixels, and the software renderer's blits
// onto them. Used when there is no GL device, and wherever exact pixels
// matter.
#pragma once
#include <cstdint>

#include "engine/baseimage.h"

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

// Converts the rectangle srcRect (left, top, right, bottom; null = the whole
// image) of a base image into the destination's pixels at (x, y). With an
// alpha image (same size as colour) the destination alpha comes from its
// blue channel; otherwise from the colour image's alpha (255 when it has
// none). A palette destination needs a palette colour image: indexes are
// copied, all 256 palette entries converted and copied into the second half
// of the palette block, and paletteCount set to the highest index used plus
// one. options: none defined yet, pass 0. 0, or -1 with a log line.
int TransferBaseImageToMemImg(const BASEIMAGE* colour, const BASEIMAGE* alpha, MEMIMG* dest, int x, int y,
                              const int srcRect[4], int options);

// Draws source with its top-left corner at (x, y) on target through the
// current blend mode, parameter, tint and draw area (drawstate.h), keying
// out the source's transparent colour when transparent is non-zero and
// weighting pixels by blendImage (one byte per pixel, read at the source
// position) when given. Draws nothing for mismatched kinds, a palette or
// alpha target, blend modes that have no software form, or a blend image
// smaller than the area it would be read at.
void BlitMemImg(MEMIMG* target, const MEMIMG* source, int x, int y, int transparent, const MEMIMG* blendImage);
// Draws the whole source scaled (nearest) into rect = x1, y1, x2, y2; x1 > x2
// mirrors left to right, y1 > y2 top to bottom. The unmirrored draw at the
// source's own size is BlitMemImg at (x1, y1).
void StretchBlitMemImg(MEMIMG* target, const MEMIMG* source, const int rect[4], int transparent,
                       const MEMIMG* blendImage);

// Fills one triangle of vertices {x, y, u, v} x 3 on target. With a source,
// its texels are mapped affinely through (u, v) (texel (0, 0) = its first
// pixel), keyed by the transparent colour when transparent is non-zero and
// weighted by blendGraph (one byte per texel, read at the texel position);
// without one the triangle is filled with colour, a pixel value in the
// target's format, and u, v and blendGraph are not used. Rows from the top
// vertex's down to the one above the bottom vertex's are drawn, every span
// with both ends, clipped to the draw area. Draws nothing for mismatched
// kinds, a palette or alpha target, collinear vertices, blend modes with no
// software form, coordinates outside -8192..8191, a source larger than 8192
// texels a side or a blend graph smaller than the source.
void FillTexturedTriangleMemImg(MEMIMG* target, const MEMIMG* source, const int vertices[12], int transparent,
                                const MEMIMG* blendGraph, uint32_t colour);
// Maps the whole source onto corners {x, y} x 4 (receiving its top-left,
// top-right, bottom-left and bottom-right) as the triangles (0, 1, 2) and
// (1, 2, 3); both draw the shared diagonal. Nothing when the corners' box,
// widened by 2 pixels up and left and 4 down and right, misses the draw
// area.
void QuadBlitMemImg(MEMIMG* target, const MEMIMG* source, const int corners[8], int transparent,
                    const MEMIMG* blendGraph);
