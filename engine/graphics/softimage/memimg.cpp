// Software images: creation of a base with its pixels, views that share it,
// and release by reference count.
#include "graphics/softimage/memimg.h"

#include <climits>
#include <cstring>

#include "engine/log.h"
#include "engine/memory.h"

namespace morpotta {

namespace {

PixelFormatDesc MakeFormat(int bits, int bytes, int palette, int a, int r, int g, int b) {
    PixelFormatDesc f{};
    f.colorBits = bits;
    f.bytesPerPixel = bytes;
    f.usePalette = palette;
    f.blueWidth = b;
    f.greenWidth = g;
    f.redWidth = r;
    f.alphaWidth = a;
    f.blueShift = 0;
    f.greenShift = b;
    f.redShift = b + g;
    f.alphaShift = (bytes == 4 && bits == 16) ? 16 : b + g + r;
    auto mask = [](int width, int shift) { return width ? ((1u << width) - 1u) << shift : 0u; };
    f.blueMask = mask(b, f.blueShift);
    f.greenMask = mask(g, f.greenShift);
    f.redMask = mask(r, f.redShift);
    f.alphaMask = mask(a, f.alphaShift);
    const uint32_t all = bytes >= 4 ? 0xFFFFFFFFu : (1u << (bytes * 8)) - 1u;
    f.unusedMask = palette ? 0 : all & ~(f.blueMask | f.greenMask | f.redMask | f.alphaMask);
    return f;
}

// One static descriptor per kind of software image.
const PixelFormatDesc kFormatRgb565 = MakeFormat(16, 2, 0, 0, 5, 6, 5);
const PixelFormatDesc kFormatRgb565Alpha = MakeFormat(16, 4, 0, 8, 5, 6, 5);
const PixelFormatDesc kFormatXrgb32 = MakeFormat(32, 4, 0, 0, 8, 8, 8);
const PixelFormatDesc kFormatArgb32 = MakeFormat(32, 4, 0, 8, 8, 8, 8);
const PixelFormatDesc kFormatPalette8 = MakeFormat(8, 1, 1, 0, 0, 0, 0);
const PixelFormatDesc kFormatGray8 = MakeFormat(8, 1, 0, 0, 0, 0, 8);

const PixelFormatDesc* FormatOfKind(int kind, int usePalette, int useAlpha) {
    if (usePalette) return &kFormatPalette8;
    switch (kind) {
    case MEMIMG_KIND_RGB565: return useAlpha ? &kFormatRgb565Alpha : &kFormatRgb565;
    case MEMIMG_KIND_32BIT: return useAlpha ? &kFormatArgb32 : &kFormatXrgb32;
    default: return &kFormatGray8;
    }
}

}  // namespace

int CheckMemImg(const MEMIMG* image) {
    if (!image || image->magic != kMemImgMagic || !image->base || !image->pixels || !image->base->formatDesc)
        return -1;
    if (image->width <= 0 || image->height <= 0) return -1;
    return 0;
}

int GetMemImgBytesPerPixel(const MEMIMG* image) {
    if (CheckMemImg(image) != 0) return -1;
    return image->base->formatDesc->bytesPerPixel;
}

int CreateMemImg(MEMIMG* image, int width, int height, int pixelKind, int usePalette, int useAlpha,
                 uint32_t transColor) {
    if (!image) return WriteLogText("software image record is null in CreateMemImg");
    std::memset(image, 0, sizeof(*image));
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767)
        return WriteLogFormat("bad software image size %d x %d in CreateMemImg", width, height);
    if (pixelKind < MEMIMG_KIND_RGB565 || pixelKind > MEMIMG_KIND_8BIT)
        return WriteLogFormat("unknown software image kind %d in CreateMemImg", pixelKind);
    if (pixelKind == MEMIMG_KIND_8BIT) usePalette = useAlpha = 0;
    usePalette = usePalette ? 1 : 0;
    useAlpha = (useAlpha && !usePalette) ? 1 : 0;
    const PixelFormatDesc* format = FormatOfKind(pixelKind, usePalette, useAlpha);
    const size_t pitch = (static_cast<size_t>(width) * format->bytesPerPixel + 3) & ~size_t{3};
    auto* base = static_cast<MEMIMG_BASE*>(ENGINE_ALLOC_ZERO(sizeof(MEMIMG_BASE)));
    if (!base) return WriteLogText("out of memory for a software image in CreateMemImg");
    base->pixelMemory = static_cast<uint8_t*>(ENGINE_ALLOC_ZERO(pitch * static_cast<size_t>(height)));
    if (!base->pixelMemory) {
        FreeMemory(base);
        return WriteLogText("out of memory for software image pixels in CreateMemImg");
    }
    base->refCount = 1;
    base->width = width;
    base->height = height;
    base->pitch = static_cast<int>(pitch);
    base->formatDesc = format;
    base->transColor = transColor;
    base->pixelKind = pixelKind;
    base->usePalette = usePalette;
    base->paletteCount = usePalette ? 256 : 0;
    base->useAlpha = useAlpha;
    image->magic = kMemImgMagic;
    image->width = width;
    image->height = height;
    image->pixels = base->pixelMemory;
    image->base = base;
    return 0;
}

int CreateMemImgView(MEMIMG* view, const MEMIMG* parent, int x, int y, int width, int height) {
    if (!view || CheckMemImg(parent) != 0) return WriteLogText("invalid software image in CreateMemImgView");
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || x > parent->width - width || y > parent->height - height)
        return WriteLogFormat("view %d,%d %dx%d outside its image in CreateMemImgView", x, y, width, height);
    MEMIMG_BASE* base = parent->base;
    if (base->refCount == INT_MAX) return WriteLogText("too many views of one image in CreateMemImgView");
    ++base->refCount;
    view->magic = kMemImgMagic;
    view->width = width;
    view->height = height;
    view->pixels = parent->pixels + static_cast<ptrdiff_t>(y) * base->pitch +
                   static_cast<ptrdiff_t>(x) * base->formatDesc->bytesPerPixel;
    view->base = base;
    return 0;
}

int ReleaseMemImg(MEMIMG* image) {
    if (CheckMemImg(image) != 0) return WriteLogText("invalid software image in ReleaseMemImg");
    MEMIMG_BASE* base = image->base;
    if (--base->refCount == 0) {
        FreeMemory(base->pixelMemory);
        FreeMemory(base);
    }
    std::memset(image, 0, sizeof(*image));
    return 0;
}

}  // namespace morpotta
