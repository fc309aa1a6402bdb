// Helpers the image readers share: bounded reads from a stream and
// little-endian fields.
#pragma once
#include "engine/baseimage.h"
#include "engine/memory.h"
#include "engine/stream.h"

#include <cstdint>
#include <cstring>

namespace morpotta {

// The reads of this thread while one lives take the fourth byte of 32-bit
// BMP pixels as alpha (flag 1) or not (0), whatever SetBmp32AlphaUse says
// for everyone else.
class Bmp32AlphaScope {
public:
    explicit Bmp32AlphaScope(int flag);
    ~Bmp32AlphaScope();
    Bmp32AlphaScope(const Bmp32AlphaScope&) = delete;
    Bmp32AlphaScope& operator=(const Bmp32AlphaScope&) = delete;

private:
    int saved_;
};

// A reader given data that is not its format: -1, said in the public
// call's name when the program called the reader itself, unsaid while the
// readers are tried in turn (each one but the right one declines).
int DeclineImage(const char* format);

// What every reader checks first: an image to fill, and a stream with the
// functions the readers call (read, seek, tell). 0, or -1 after the
// refusal: an empty entry of the stream's table is refused, never called.
int CheckReaderArguments(StreamData* s, BASEIMAGE* image);

inline bool ReadImageBytes(StreamData* s, void* buffer, size_t count) {
    if (count == 0) return true;
    return s->functions.read(buffer, 1, count, s->handle) == count;
}

inline int64_t TellImageStream(StreamData* s) { return s->functions.tell(s->handle); }
inline bool SeekImageStream(StreamData* s, int64_t offset) { return s->functions.seek(s->handle, offset, 0) == 0; }

// Bytes from the current position to the end; -1 when the stream cannot tell.
inline int64_t RemainingImageBytes(StreamData* s) {
    int64_t here = s->functions.tell(s->handle);
    if (here < 0 || s->functions.seek(s->handle, 0, 2) != 0) return -1;
    int64_t end = s->functions.tell(s->handle);
    s->functions.seek(s->handle, here, 0);
    return end < here ? -1 : end - here;
}

inline uint16_t ImageU16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t ImageU32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// At most 64 million pixels, whatever the sides: a picture's header alone
// must not make the reader ask for gigabytes.
constexpr int64_t kMaxImagePixels = int64_t(8192) * 8192;

inline bool ImageSizeAcceptable(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= kMaxImageDimension && height <= kMaxImageDimension &&
           width * height <= kMaxImagePixels;
}

// A channel value of 0..max as 0..255, rounded to the nearest: every reader
// and decoder widens 4-, 5- and 6-bit channels by this one rule, so a colour
// comes out the same whatever container held it.
inline int ScaleChannelToByte(uint64_t value, uint64_t max) { return int((value * 255 + max / 2) / max); }

inline uint8_t* ImageRow(BASEIMAGE* image, int y) {
    return static_cast<uint8_t*>(image->pixels) + size_t(y) * size_t(image->pitch);
}

// The lowest set bit and the width of a channel mask.
inline void MaskShiftWidth(uint32_t mask, int* shift, int* width) {
    *shift = 0;
    *width = 0;
    if (!mask) return;
    while (!(mask & 1u)) {
        mask >>= 1;
        ++*shift;
    }
    while (mask & 1u) {
        mask >>= 1;
        ++*width;
    }
}

// A packed format from channel masks (bits 16, 24 or 32).
inline void SetPixelFormatMasks(PixelFormatDesc* f, int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    std::memset(f, 0, sizeof *f);
    f->colorBits = bits;
    f->bytesPerPixel = bits / 8;
    f->redMask = r;
    f->greenMask = g;
    f->blueMask = b;
    f->alphaMask = a;
    MaskShiftWidth(r, &f->redShift, &f->redWidth);
    MaskShiftWidth(g, &f->greenShift, &f->greenWidth);
    MaskShiftWidth(b, &f->blueShift, &f->blueWidth);
    MaskShiftWidth(a, &f->alphaShift, &f->alphaWidth);
    uint32_t all = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
    f->unusedMask = all & ~(r | g | b | a);
}

inline bool MaskIsContiguous(uint32_t mask) {
    if (!mask) return true;
    while (!(mask & 1u)) mask >>= 1;
    return (mask & (mask + 1u)) == 0;
}

}  // namespace morpotta
