// Conversion of base images (any uncompressed format described by a
// PixelFormatDesc) into software-image pixels.
#include <algorithm>
#include <cstring>

#include "engine/log.h"
#include "graphics/software/softwarepath.h"

namespace morpotta {

namespace {

struct Argb {
    uint32_t a, r, g, b;
};

bool IsUsableBaseImage(const BASEIMAGE* image) {
    if (!image || !image->pixels || image->width <= 0 || image->height <= 0) return false;
    const PixelFormatDesc& f = image->format;
    if (f.compression != PIXEL_COMPRESSION_NONE || f.bytesPerPixel < 1 || f.bytesPerPixel > 4) return false;
    if (f.usePalette && f.bytesPerPixel != 1) return false;
    return image->pitch >= image->width * f.bytesPerPixel;
}

uint32_t ReadPixelBits(const BASEIMAGE* image, int x, int y) {
    const int bytes = image->format.bytesPerPixel;
    const auto* p = static_cast<const uint8_t*>(image->pixels) + static_cast<size_t>(y) * image->pitch +
                    static_cast<size_t>(x) * bytes;
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

// A channel of the given width widened (or narrowed) to 8 bits.
uint32_t ExpandChannelToByte(uint32_t raw, uint32_t mask, int shift, int width, uint32_t missing) {
    if (width <= 0 || mask == 0) return missing;
    const uint32_t v = (raw & mask) >> shift;
    if (width >= 8) return v >> (width - 8);
    const uint32_t max = (1u << width) - 1;
    return (v * 255 + max / 2) / max;
}

Argb ReadArgb(const BASEIMAGE* image, int x, int y) {
    const PixelFormatDesc& f = image->format;
    const uint32_t raw = ReadPixelBits(image, x, y);
    if (f.usePalette) {
        const PaletteEntry& e = f.palette[raw & 0xFF];
        return {255, e.red, e.green, e.blue};
    }
    return {ExpandChannelToByte(raw, f.alphaMask, f.alphaShift, f.alphaWidth, 255), ExpandChannelToByte(raw, f.redMask, f.redShift, f.redWidth, 0),
            ExpandChannelToByte(raw, f.greenMask, f.greenShift, f.greenWidth, 0),
            ExpandChannelToByte(raw, f.blueMask, f.blueShift, f.blueWidth, 0)};
}

void WritePixel(MEMIMG* dest, int x, int y, const Argb& c) {
    const MEMIMG_BASE* base = dest->base;
    uint8_t* p = dest->pixels + static_cast<size_t>(y) * base->pitch +
                 static_cast<size_t>(x) * base->formatDesc->bytesPerPixel;
    if (base->pixelKind == MEMIMG_KIND_RGB565) {
        const uint16_t w = static_cast<uint16_t>(((c.r & 0xF8) << 8) | ((c.g & 0xFC) << 3) | (c.b >> 3));
        std::memcpy(p, &w, 2);
        if (base->useAlpha) {
            p[2] = static_cast<uint8_t>(c.a);
            p[3] = 0;
        }
    } else if (base->pixelKind == MEMIMG_KIND_32BIT) {
        const uint32_t w = ((base->useAlpha ? c.a : 0) << 24) | (c.r << 16) | (c.g << 8) | c.b;
        std::memcpy(p, &w, 4);
    } else {
        *p = static_cast<uint8_t>(c.b);
    }
}

int TransferPalette(const BASEIMAGE* colour, MEMIMG* dest, int x, int y, const int rect[4]) {
    MEMIMG_BASE* base = dest->base;
    if (!colour->format.usePalette)
        return WriteLogText("a palette software image needs a palette image in TransferBaseImageToMemImg");
    int highest = 0;
    for (int j = rect[1]; j < rect[3]; ++j) {
        for (int i = rect[0]; i < rect[2]; ++i) {
            const uint8_t index = static_cast<uint8_t>(ReadPixelBits(colour, i, j));
            highest = std::max<int>(highest, index);
            dest->pixels[static_cast<size_t>(y + j - rect[1]) * base->pitch + (x + i - rect[0])] = index;
        }
    }
    base->paletteCount = highest + 1;
    for (int i = 0; i < 256; ++i) {
        const PaletteEntry& e = colour->format.palette[i];
        if (base->pixelKind == MEMIMG_KIND_32BIT) {
            base->palette32[i] = (uint32_t{e.red} << 16) | (uint32_t{e.green} << 8) | e.blue;
            base->palette32[256 + i] = base->palette32[i];
        } else {
            base->palette16[i] = static_cast<uint16_t>(((e.red & 0xF8) << 8) | ((e.green & 0xFC) << 3) | (e.blue >> 3));
            base->palette16[512 + i] = base->palette16[i];
        }
    }
    return 0;
}

}  // namespace

int TransferBaseImageToMemImg(const BASEIMAGE* colour, const BASEIMAGE* alpha, MEMIMG* dest, int x, int y,
                              const int srcRect[4], int options) {
    (void)options;
    if (!IsUsableBaseImage(colour)) return WriteLogText("unusable colour image in TransferBaseImageToMemImg");
    if (alpha && (!IsUsableBaseImage(alpha) || alpha->width != colour->width || alpha->height != colour->height))
        return WriteLogText("alpha image does not match the colour image in TransferBaseImageToMemImg");
    if (CheckMemImg(dest) != 0) return WriteLogText("invalid software image in TransferBaseImageToMemImg");
    int rect[4] = {0, 0, colour->width, colour->height};
    if (srcRect) std::copy(srcRect, srcRect + 4, rect);
    if (rect[0] < 0 || rect[1] < 0 || rect[2] > colour->width || rect[3] > colour->height || rect[0] >= rect[2] ||
        rect[1] >= rect[3])
        return WriteLogFormat("source rectangle %d,%d,%d,%d outside the image in TransferBaseImageToMemImg", rect[0],
                              rect[1], rect[2], rect[3]);
    const int w = rect[2] - rect[0], h = rect[3] - rect[1];
    if (x < 0 || y < 0 || x > dest->width - w || y > dest->height - h)
        return WriteLogFormat("%dx%d at %d,%d does not fit the software image in TransferBaseImageToMemImg", w, h, x, y);
    if (dest->base->usePalette) {
        if (alpha) return WriteLogText("a palette software image takes no alpha image in TransferBaseImageToMemImg");
        return TransferPalette(colour, dest, x, y, rect);
    }
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            Argb c = ReadArgb(colour, rect[0] + i, rect[1] + j);
            if (alpha) c.a = ReadArgb(alpha, rect[0] + i, rect[1] + j).b;
            WritePixel(dest, x + i, y + j, c);
        }
    }
    return 0;
}

}  // namespace morpotta
