// Pixel formats and base images: creation, per-pixel access in any
// uncompressed format, alpha classification, turning and scaled copies.
#include "engine/baseimage.h"

#include "engine/log.h"
#include "engine/memory.h"
#include "foundation/public_call.h"
#include "graphics/image/image_internal.h"

#include <cstring>
#include <vector>

using namespace morpotta;

namespace {

void SetChannels(PixelFormatDesc* f, int bits, int bpp, int aw, int rw, int gw, int bw, int as, int rs, int gs,
                 int bs) {
    std::memset(f, 0, sizeof *f);
    f->colorBits = bits;
    f->bytesPerPixel = bpp;
    f->alphaWidth = aw;
    f->redWidth = rw;
    f->greenWidth = gw;
    f->blueWidth = bw;
    f->alphaShift = as;
    f->redShift = rs;
    f->greenShift = gs;
    f->blueShift = bs;
    auto mask = [](int width, int shift) { return width ? ((width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1u) << shift) : 0u; };
    f->alphaMask = mask(aw, as);
    f->redMask = mask(rw, rs);
    f->greenMask = mask(gw, gs);
    f->blueMask = mask(bw, bs);
    uint32_t all = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
    f->unusedMask = all & ~(f->alphaMask | f->redMask | f->greenMask | f->blueMask);
}

uint32_t ReadRaw(const unsigned char* p, int bpp) {
    uint32_t v = 0;
    for (int i = 0; i < bpp; ++i) v |= uint32_t(p[i]) << (8 * i);
    return v;
}

void WriteRaw(unsigned char* p, int bpp, uint32_t v) {
    for (int i = 0; i < bpp; ++i) p[i] = uint8_t(v >> (8 * i));
}

int Expand(uint32_t raw, uint32_t mask, int shift, int width, int absent) {
    if (width == 0) return absent;
    return ScaleChannelToByte((raw & mask) >> shift, mask >> shift);
}

uint32_t Pack(int value, int shift, int width) {
    if (width == 0) return 0;
    uint64_t max = width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1u;
    if (value < 0) value = 0;
    if (value > 255) value = 255;
    return uint32_t(((uint64_t(value) * max + 127) / 255) << shift);
}

// A pixel's stored value as an ARGB word: a palette entry, or each channel
// scaled to a byte (absent colour channels 0, absent alpha 255).
uint32_t PixelArgb(const PixelFormatDesc& f, uint32_t raw) {
    int r, g, b, a;
    if (f.usePalette) {
        const PaletteEntry& e = f.palette[raw & 0xFF];
        r = e.red;
        g = e.green;
        b = e.blue;
        a = f.alphaWidth ? e.alpha : 255;
    } else {
        r = Expand(raw, f.redMask, f.redShift, f.redWidth, 0);
        g = Expand(raw, f.greenMask, f.greenShift, f.greenWidth, 0);
        b = Expand(raw, f.blueMask, f.blueShift, f.blueWidth, 0);
        a = Expand(raw, f.alphaMask, f.alphaShift, f.alphaWidth, 255);
    }
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// Whether every channel a format has is eight bits: its value is then its
// byte, which the scaling gives too, without its division.
bool HasByteChannels(const PixelFormatDesc& f) {
    auto byte = [](uint32_t mask, int shift, int width) { return width == 0 || (mask >> shift) == 0xFFu; };
    return !f.usePalette && byte(f.redMask, f.redShift, f.redWidth) && byte(f.greenMask, f.greenShift, f.greenWidth) &&
           byte(f.blueMask, f.blueShift, f.blueWidth) && byte(f.alphaMask, f.alphaShift, f.alphaWidth);
}

// Row y of an uncompressed image as ARGB words, as PixelArgb gives them.
// Pictures are converted whole when they load: most formats take the
// byte-channel loop.
void RowArgb(const BASEIMAGE* image, int y, uint32_t* out) {
    const PixelFormatDesc& f = image->format;
    const int bpp = f.bytesPerPixel;
    const unsigned char* p = static_cast<const unsigned char*>(image->pixels) + size_t(y) * size_t(image->pitch);
    if (!HasByteChannels(f)) {
        for (int x = 0; x < image->width; ++x, p += bpp) out[x] = PixelArgb(f, ReadRaw(p, bpp));
        return;
    }
    auto channel = [](uint32_t raw, uint32_t mask, int shift, int width, uint32_t absent) {
        return width ? (raw & mask) >> shift : absent;
    };
    for (int x = 0; x < image->width; ++x, p += bpp) {
        const uint32_t raw = ReadRaw(p, bpp);
        out[x] = channel(raw, f.alphaMask, f.alphaShift, f.alphaWidth, 255) << 24 |
                 channel(raw, f.redMask, f.redShift, f.redWidth, 0) << 16 |
                 channel(raw, f.greenMask, f.greenShift, f.greenWidth, 0) << 8 |
                 channel(raw, f.blueMask, f.blueShift, f.blueWidth, 0);
    }
}

bool Uncompressed(const BASEIMAGE* image) {
    return image && image->pixels && image->format.compression == PIXEL_COMPRESSION_NONE &&
           image->format.bytesPerPixel >= 1 && image->format.bytesPerPixel <= 4;
}

bool Inside(const BASEIMAGE* image, int x, int y) {
    return x >= 0 && y >= 0 && x < image->width && y < image->height;
}

// Why an image's pixels cannot be read or written one by one; -1.
int RefuseImage(const BASEIMAGE* image) {
    if (!image) return RefuseNull("image");
    if (!image->pixels) return Refuse("the image has no pixels");
    if (image->format.compression != PIXEL_COMPRESSION_NONE) return Refuse("the image is block-compressed");
    return Refuse("the image has %d bytes a pixel, not 1 to 4", image->format.bytesPerPixel);
}

int RefusePixelOutside(const BASEIMAGE* image, int x, int y) {
    return Refuse("(%d, %d) lies outside the %dx%d image", x, y, image->width, image->height);
}

// A size no image is made at; -1.
int RefuseImageSize(int width, int height) {
    return Refuse("image size %dx%d, not 1 to %d each way", width, height, kMaxImageDimension);
}

// ---- Block-compressed decoding ----

void Color565(uint16_t c, int out[3]) {
    out[0] = ScaleChannelToByte((c >> 11) & 31, 31);
    out[1] = ScaleChannelToByte((c >> 5) & 63, 63);
    out[2] = ScaleChannelToByte(c & 31, 31);
}

// Decodes one 4x4 colour block into ARGB words (alpha 255 or 0 for DXT1 transparency).
void DecodeColorBlock(const unsigned char* b, bool dxt1, uint32_t out[16]) {
    uint16_t c0 = uint16_t(b[0] | b[1] << 8), c1 = uint16_t(b[2] | b[3] << 8);
    int p[4][4] = {};
    Color565(c0, p[0]);
    Color565(c1, p[1]);
    p[0][3] = p[1][3] = 255;
    if (c0 > c1 || !dxt1) {
        for (int i = 0; i < 3; ++i) {
            p[2][i] = (2 * p[0][i] + p[1][i]) / 3;
            p[3][i] = (p[0][i] + 2 * p[1][i]) / 3;
        }
        p[2][3] = p[3][3] = 255;
    } else {
        for (int i = 0; i < 3; ++i) p[2][i] = (p[0][i] + p[1][i]) / 2;
        p[2][3] = 255;
        p[3][3] = 0;
    }
    uint32_t bits = uint32_t(b[4]) | uint32_t(b[5]) << 8 | uint32_t(b[6]) << 16 | uint32_t(b[7]) << 24;
    for (int i = 0; i < 16; ++i) {
        const int* c = p[(bits >> (2 * i)) & 3];
        out[i] = uint32_t(c[3]) << 24 | uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | uint32_t(c[2]);
    }
}

void DecodeExplicitAlpha(const unsigned char* b, uint32_t px[16]) {
    for (int i = 0; i < 16; ++i) {
        int a = (b[i / 2] >> ((i & 1) * 4)) & 15;
        px[i] = (px[i] & 0x00FFFFFFu) | uint32_t(a * 17) << 24;
    }
}

void DecodeInterpolatedAlpha(const unsigned char* b, uint32_t px[16]) {
    int a[8];
    a[0] = b[0];
    a[1] = b[1];
    if (a[0] > a[1]) {
        for (int i = 1; i < 7; ++i) a[i + 1] = ((7 - i) * a[0] + i * a[1]) / 7;
    } else {
        for (int i = 1; i < 5; ++i) a[i + 1] = ((5 - i) * a[0] + i * a[1]) / 5;
        a[6] = 0;
        a[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= uint64_t(b[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) px[i] = (px[i] & 0x00FFFFFFu) | uint32_t(a[(bits >> (3 * i)) & 7]) << 24;
}

int BlockBytes(int compression) { return compression == PIXEL_COMPRESSION_DXT1 ? 8 : 16; }

int DecodeCompressed(const BASEIMAGE* src, BASEIMAGE* out) {
    int c = src->format.compression;
    if (c < PIXEL_COMPRESSION_DXT1 || c > PIXEL_COMPRESSION_DXT5) return Refuse("unknown compression %d", c);
    if (CreateBaseImageXrgb32(src->width, src->height, out) != 0) return -1;
    SetPixelFormatArgb32(&out->format);
    int blocksX = (src->width + 3) / 4, blocksY = (src->height + 3) / 4;
    int bytes = BlockBytes(c);
    for (int by = 0; by < blocksY; ++by) {
        const unsigned char* row = static_cast<const unsigned char*>(src->pixels) + size_t(by) * size_t(src->pitch);
        for (int bx = 0; bx < blocksX; ++bx) {
            const unsigned char* block = row + size_t(bx) * size_t(bytes);
            uint32_t px[16];
            if (c == PIXEL_COMPRESSION_DXT1) {
                DecodeColorBlock(block, true, px);
            } else {
                DecodeColorBlock(block + 8, false, px);
                if (c <= PIXEL_COMPRESSION_DXT3) DecodeExplicitAlpha(block, px);
                else DecodeInterpolatedAlpha(block, px);
            }
            for (int i = 0; i < 16; ++i) {
                int x = bx * 4 + (i & 3), y = by * 4 + (i >> 2);
                if (x < out->width && y < out->height)
                    static_cast<uint32_t*>(out->pixels)[size_t(y) * size_t(out->width) + size_t(x)] = px[i];
            }
        }
    }
    return 0;
}

}  // namespace

int SetPixelFormatXrgb32(PixelFormatDesc* f) {
    const PublicCall call("SetPixelFormatXrgb32");
    if (!f) return RefuseNull("format");
    SetChannels(f, 32, 4, 0, 8, 8, 8, 0, 16, 8, 0);
    return 0;
}

int SetPixelFormatArgb32(PixelFormatDesc* f) {
    const PublicCall call("SetPixelFormatArgb32");
    if (!f) return RefuseNull("format");
    SetChannels(f, 32, 4, 8, 8, 8, 8, 24, 16, 8, 0);
    return 0;
}

int SetPixelFormatRgb24(PixelFormatDesc* f) {
    const PublicCall call("SetPixelFormatRgb24");
    if (!f) return RefuseNull("format");
    SetChannels(f, 24, 3, 0, 8, 8, 8, 0, 16, 8, 0);
    return 0;
}

int SetPixelFormatRgb565(PixelFormatDesc* f) {
    const PublicCall call("SetPixelFormatRgb565");
    if (!f) return RefuseNull("format");
    SetChannels(f, 16, 2, 0, 5, 6, 5, 0, 11, 5, 0);
    return 0;
}

int SetPixelFormatPalette8(PixelFormatDesc* f) {
    const PublicCall call("SetPixelFormatPalette8");
    if (!f) return RefuseNull("format");
    SetChannels(f, 8, 1, 0, 0, 0, 0, 0, 0, 0, 0);
    f->unusedMask = 0;
    f->usePalette = 1;
    return 0;
}

int CreateBaseImageXrgb32(int width, int height, BASEIMAGE* out) {
    const PublicCall call("CreateBaseImageXrgb32");
    if (!out) return RefuseNull("image");
    std::memset(out, 0, sizeof *out);
    if (width <= 0 || height <= 0 || width > kMaxImageDimension || height > kMaxImageDimension)
        return RefuseImageSize(width, height);
    out->pixels = ENGINE_ALLOC_ZERO(size_t(width) * size_t(height) * 4);
    if (!out->pixels) return Refuse("out of memory for a %dx%d image", width, height);
    SetPixelFormatXrgb32(&out->format);
    out->width = width;
    out->height = height;
    out->pitch = width * 4;
    return 0;
}

int CreateBaseImageWithFormat(int width, int height, const PixelFormatDesc* format, BASEIMAGE* out) {
    const PublicCall call("CreateBaseImageWithFormat");
    if (!out || !format) return RefuseNull(out ? "format" : "image");
    std::memset(out, 0, sizeof *out);
    if (width <= 0 || height <= 0 || width > kMaxImageDimension || height > kMaxImageDimension)
        return RefuseImageSize(width, height);
    size_t pitch, rows;
    if (format->compression != PIXEL_COMPRESSION_NONE) {
        if (format->compression < PIXEL_COMPRESSION_DXT1 || format->compression > PIXEL_COMPRESSION_DXT5)
            return Refuse("unknown compression %d", format->compression);
        pitch = size_t((width + 3) / 4) * size_t(BlockBytes(format->compression));
        rows = size_t((height + 3) / 4);
    } else {
        if (format->bytesPerPixel < 1 || format->bytesPerPixel > 4)
            return Refuse("%d bytes a pixel, not 1 to 4", format->bytesPerPixel);
        pitch = (size_t(width) * size_t(format->bytesPerPixel) + 3) & ~size_t(3);
        rows = size_t(height);
    }
    out->pixels = ENGINE_ALLOC_ZERO(pitch * rows);
    if (!out->pixels) return Refuse("out of memory for a %dx%d image", width, height);
    out->format = *format;
    out->width = width;
    out->height = height;
    out->pitch = int(pitch);
    return 0;
}

int FreeBaseImagePixels(BASEIMAGE* image) {
    const PublicCall call("FreeBaseImagePixels");
    if (!image) return RefuseNull("image");
    FreeMemory(image->pixels);
    std::memset(image, 0, sizeof *image);
    return 0;
}

int GetBaseImagePixel(const BASEIMAGE* image, int x, int y, int* red, int* green, int* blue, int* alpha) {
    const PublicCall call("GetBaseImagePixel");
    if (!Uncompressed(image)) return RefuseImage(image);
    if (!Inside(image, x, y)) return RefusePixelOutside(image, x, y);
    const PixelFormatDesc& f = image->format;
    const unsigned char* p =
        static_cast<const unsigned char*>(image->pixels) + size_t(y) * size_t(image->pitch) + size_t(x) * size_t(f.bytesPerPixel);
    const uint32_t argb = PixelArgb(f, ReadRaw(p, f.bytesPerPixel));
    if (red) *red = int(argb >> 16 & 0xFF);
    if (green) *green = int(argb >> 8 & 0xFF);
    if (blue) *blue = int(argb & 0xFF);
    if (alpha) *alpha = int(argb >> 24);
    return 0;
}

int SetBaseImagePixel(BASEIMAGE* image, int x, int y, int red, int green, int blue, int alpha) {
    const PublicCall call("SetBaseImagePixel");
    if (!Uncompressed(image)) return RefuseImage(image);
    if (!Inside(image, x, y)) return RefusePixelOutside(image, x, y);
    const PixelFormatDesc& f = image->format;
    unsigned char* p =
        static_cast<unsigned char*>(image->pixels) + size_t(y) * size_t(image->pitch) + size_t(x) * size_t(f.bytesPerPixel);
    uint32_t raw;
    if (f.usePalette) {
        int best = 0;
        long bestDistance = -1;
        for (int i = 0; i < 256; ++i) {
            const PaletteEntry& e = f.palette[i];
            long dr = e.red - red, dg = e.green - green, db = e.blue - blue;
            long d = dr * dr + dg * dg + db * db;
            if (bestDistance < 0 || d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        raw = uint32_t(best);
    } else {
        raw = Pack(red, f.redShift, f.redWidth) | Pack(green, f.greenShift, f.greenWidth) |
              Pack(blue, f.blueShift, f.blueWidth) | Pack(alpha, f.alphaShift, f.alphaWidth);
    }
    WriteRaw(p, f.bytesPerPixel, raw);
    return 0;
}

int GetBaseImageAlphaKind(const BASEIMAGE* image) {
    const PublicCall call("GetBaseImageAlphaKind");
    if (!image || image->format.compression != PIXEL_COMPRESSION_NONE) return RefuseImage(image);
    if (image->format.alphaWidth == 0) return 0;
    if (image->width <= 0 || image->height <= 0) return 1;  // no pixel that is not opaque
    if (!Uncompressed(image)) return RefuseImage(image);
    std::vector<uint32_t> row(size_t(image->width));
    bool onlyFull = true;
    for (int y = 0; y < image->height; ++y) {
        RowArgb(image, y, row.data());
        for (uint32_t argb : row) {
            const uint32_t a = argb >> 24;
            if (a == 0) onlyFull = false;
            else if (a != 255) return 3;
        }
    }
    return onlyFull ? 1 : 2;
}

int RotateBaseImage180(BASEIMAGE* image) {
    const PublicCall call("RotateBaseImage180");
    if (!Uncompressed(image)) return RefuseImage(image);
    int bpp = image->format.bytesPerPixel;
    unsigned char* base = static_cast<unsigned char*>(image->pixels);
    unsigned char tmp[4];
    long total = long(image->width) * long(image->height);
    for (long i = 0, j = total - 1; i < j; ++i, --j) {
        unsigned char* a = base + size_t(i / image->width) * size_t(image->pitch) + size_t(i % image->width) * size_t(bpp);
        unsigned char* b = base + size_t(j / image->width) * size_t(image->pitch) + size_t(j % image->width) * size_t(bpp);
        std::memcpy(tmp, a, size_t(bpp));
        std::memcpy(a, b, size_t(bpp));
        std::memcpy(b, tmp, size_t(bpp));
    }
    return 0;
}

int BlitBaseImageScaled(const ImageRect* sr, const BASEIMAGE* source, const ImageRect* dr, BASEIMAGE* dest,
                        int filter) {
    const PublicCall call("BlitBaseImageScaled");
    if (!sr || !dr) return RefuseNull("rectangle");
    if (!Uncompressed(source)) return RefuseImage(source);
    if (!Uncompressed(dest)) return RefuseImage(dest);
    if (sr->left < 0 || sr->top < 0 || sr->right > source->width || sr->bottom > source->height ||
        sr->left >= sr->right || sr->top >= sr->bottom)
        return Refuse("the source rectangle is empty or leaves the image");
    if (dr->left < 0 || dr->top < 0 || dr->right > dest->width || dr->bottom > dest->height ||
        dr->left >= dr->right || dr->top >= dr->bottom)
        return Refuse("the destination rectangle is empty or leaves the image");
    int sw = sr->right - sr->left, sh = sr->bottom - sr->top;
    int dw = dr->right - dr->left, dh = dr->bottom - dr->top;
    for (int y = 0; y < dh; ++y) {
        for (int x = 0; x < dw; ++x) {
            int c[4] = {0, 0, 0, 0};
            if (filter == 1) {
                // Sample at the destination pixel's centre mapped into the source.
                double fx = (x + 0.5) * sw / dw - 0.5, fy = (y + 0.5) * sh / dh - 0.5;
                if (fx < 0) fx = 0;
                if (fy < 0) fy = 0;
                int x0 = int(fx), y0 = int(fy);
                int x1 = x0 + 1 < sw ? x0 + 1 : sw - 1, y1 = y0 + 1 < sh ? y0 + 1 : sh - 1;
                double ax = fx - x0, ay = fy - y0;
                int p[4][4];
                const int xs[4] = {x0, x1, x0, x1}, ys[4] = {y0, y0, y1, y1};
                for (int k = 0; k < 4; ++k)
                    GetBaseImagePixel(source, sr->left + xs[k], sr->top + ys[k], &p[k][0], &p[k][1], &p[k][2], &p[k][3]);
                for (int ch = 0; ch < 4; ++ch) {
                    double top = p[0][ch] + (p[1][ch] - p[0][ch]) * ax;
                    double bottom = p[2][ch] + (p[3][ch] - p[2][ch]) * ax;
                    c[ch] = int(top + (bottom - top) * ay + 0.5);
                }
            } else {
                int sx = int(int64_t(x) * sw / dw), sy = int(int64_t(y) * sh / dh);
                GetBaseImagePixel(source, sr->left + sx, sr->top + sy, &c[0], &c[1], &c[2], &c[3]);
            }
            SetBaseImagePixel(dest, dr->left + x, dr->top + y, c[0], c[1], c[2], c[3]);
        }
    }
    return 0;
}

int ConvertBaseImageToArgb32(const BASEIMAGE* source, BASEIMAGE* out) {
    const PublicCall call("ConvertBaseImageToArgb32");
    if (!out) return RefuseNull("image to fill");
    if (!source || !source->pixels) return RefuseImage(source);
    if (source->format.compression != PIXEL_COMPRESSION_NONE) return DecodeCompressed(source, out);
    if (CreateBaseImageXrgb32(source->width, source->height, out) != 0) return -1;
    SetPixelFormatArgb32(&out->format);
    if (!Uncompressed(source)) {
        FreeBaseImagePixels(out);
        return RefuseImage(source);
    }
    uint32_t* dst = static_cast<uint32_t*>(out->pixels);
    for (int y = 0; y < source->height; ++y) RowArgb(source, y, dst + size_t(y) * size_t(source->width));
    return 0;
}
