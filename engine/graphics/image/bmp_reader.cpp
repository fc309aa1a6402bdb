// BMP reader: uncompressed 1, 4, 8, 16, 24 and 32-bit pictures, 16/32-bit
// bit-field pictures, bottom-up or top-down, and run-length coded 8 and
// 4-bit pictures. Palette pictures stay palette images; 32-bit pixels carry
// alpha only when SetBmp32AlphaUse asks for it, or a read asks for itself
// (Bmp32AlphaScope).
#include "graphics/image/image_internal.h"

#include "engine/log.h"
#include "platform/lasting_state.h"
#include "foundation/public_call.h"

#include <atomic>

using namespace morpotta;

namespace {

constexpr int kCompressionNone = 0;
constexpr int kCompressionRle8 = 1;
constexpr int kCompressionRle4 = 2;
constexpr int kCompressionBitFields = 3;

struct BmpReaderModule {
    std::atomic<int> useBmp32Alpha{0};  // read by loads on any thread
};

BmpReaderModule& BmpReaderState() {
    return platform::LastingState<BmpReaderModule>();
}

// What the reads of a Bmp32AlphaScope on this thread use; -1 outside one.
thread_local int scopedBmp32Alpha = -1;

bool UseBmp32Alpha() {
    return scopedBmp32Alpha >= 0 ? scopedBmp32Alpha != 0 : BmpReaderState().useBmp32Alpha.load(std::memory_order_relaxed) != 0;
}

// Bytes of the stream read through a small buffer, one at a time.
class ByteSource {
public:
    explicit ByteSource(StreamData* s) : stream_(s) {}
    bool Next(uint8_t* out) {
        if (at_ == end_) {
            end_ = stream_->functions.read(buffer_, 1, sizeof buffer_, stream_->handle);
            at_ = 0;
            if (end_ == 0) return false;
        }
        *out = buffer_[at_++];
        return true;
    }

private:
    StreamData* stream_;
    uint8_t buffer_[4096];
    size_t at_ = 0;
    size_t end_ = 0;
};

// Run-length coded pixels (RLE8 with 8 bits, RLE4 with 4), bottom-up: a
// count byte and a value byte repeat the value (RLE4: its two nibbles in
// turn); a zero count escapes to end of line (0), end of picture (1), a
// jump right and up (2, dx, dy), or a literal run (3 or more values, padded
// to a 16-bit boundary). Pixels past the right edge are cut, pixels the
// codes skip keep index 0. A move past the top row ends the picture; data
// that ends before that or before its end-of-picture code is refused.
int DecodeBmpRunLength(StreamData* s, int bits, BASEIMAGE* image) {
    ByteSource in(s);
    const int64_t width = image->width, height = image->height;
    int64_t x = 0, y = 0;  // y counts rows from the bottom
    auto put = [&](uint8_t index) {
        if (x < width && y < height) ImageRow(image, int(height - 1 - y))[x] = index;
        ++x;
    };
    for (;;) {
        uint8_t count, value;
        if (!in.Next(&count) || !in.Next(&value)) break;
        if (count > 0) {
            for (int i = 0; i < count && x < width; ++i)
                put(bits == 8 ? value : uint8_t(i % 2 == 0 ? value >> 4 : value & 15));
            continue;
        }
        if (value == 0) {
            x = 0;
            if (++y >= height) return 0;
        } else if (value == 1) {
            return 0;
        } else if (value == 2) {
            uint8_t dx, dy;
            if (!in.Next(&dx) || !in.Next(&dy)) break;
            x += dx;
            y += dy;
            if (y >= height) return 0;
        } else {
            int dataBytes = bits == 8 ? value : (value + 1) / 2;
            uint8_t byte = 0;
            for (int i = 0; i < value; ++i) {
                if (bits == 8 || i % 2 == 0) {
                    if (!in.Next(&byte)) return Refuse("BMP: truncated pixels");
                }
                put(bits == 8 ? byte : uint8_t(i % 2 == 0 ? byte >> 4 : byte & 15));
            }
            if (dataBytes % 2 && !in.Next(&byte)) break;
        }
    }
    return Refuse("BMP: truncated pixels");
}

}  // namespace

int SetBmp32AlphaUse(int flag) {
    BmpReaderState().useBmp32Alpha = flag ? 1 : 0;
    return 0;
}

namespace morpotta {

Bmp32AlphaScope::Bmp32AlphaScope(int flag) : saved_(scopedBmp32Alpha) { scopedBmp32Alpha = flag ? 1 : 0; }
Bmp32AlphaScope::~Bmp32AlphaScope() { scopedBmp32Alpha = saved_; }

}  // namespace morpotta

int ReadBmpImage(StreamData* s, BASEIMAGE* image) {
    const PublicCall call("ReadBmpImage");
    if (CheckReaderArguments(s, image) != 0) return -1;
    unsigned char file[14];
    if (!ReadImageBytes(s, file, sizeof file) || file[0] != 'B' || file[1] != 'M') return DeclineImage("BMP");
    uint32_t dataOffset = ImageU32(file + 10);
    unsigned char info[124] = {};
    if (!ReadImageBytes(s, info, 4)) return -1;
    uint32_t infoSize = ImageU32(info);
    if (infoSize != 12 && (infoSize < 40 || infoSize > 124)) return Refuse("BMP: unknown header size");
    if (!ReadImageBytes(s, info + 4, infoSize - 4)) return Refuse("BMP: truncated header");
    int64_t width, height;
    int bits, compression = 0;
    uint32_t colorsUsed = 0;
    if (infoSize == 12) {
        width = ImageU16(info + 4);
        height = int16_t(ImageU16(info + 6));
        bits = ImageU16(info + 10);
    } else {
        width = int32_t(ImageU32(info + 4));
        height = int32_t(ImageU32(info + 8));
        bits = ImageU16(info + 14);
        compression = int(ImageU32(info + 16));
        colorsUsed = ImageU32(info + 32);
    }
    bool topDown = height < 0;
    if (topDown) height = -height;
    if (!ImageSizeAcceptable(width, height)) return Refuse("BMP: picture size out of range");
    uint32_t masks[4] = {0, 0, 0, 0};  // r, g, b, a
    bool runLength = compression == kCompressionRle8 || compression == kCompressionRle4;
    if (runLength) {
        if (bits != (compression == kCompressionRle8 ? 8 : 4))
            return Refuse("BMP: run-length coding does not match the bit count");
        if (topDown) return Refuse("BMP: run-length pictures must be stored bottom-up");
    } else if (compression == kCompressionBitFields) {
        if (bits != 16 && bits != 32) return Refuse("BMP: bit fields need 16 or 32 bits");
        if (infoSize >= 52) {
            for (int i = 0; i < 3; ++i) masks[i] = ImageU32(info + 40 + 4 * i);
            if (infoSize >= 56) masks[3] = ImageU32(info + 52);
        } else {
            unsigned char m[12];
            if (!ReadImageBytes(s, m, sizeof m)) return Refuse("BMP: truncated bit fields");
            for (int i = 0; i < 3; ++i) masks[i] = ImageU32(m + 4 * i);
        }
        for (uint32_t m : masks)
            if (!MaskIsContiguous(m)) return Refuse("BMP: broken bit fields");
    } else if (compression != kCompressionNone) {
        return Refuse("BMP: unknown compression");
    }
    PixelFormatDesc format;
    switch (bits) {
    case 1:
    case 4:
    case 8: {
        SetPixelFormatPalette8(&format);
        uint32_t entries = colorsUsed ? colorsUsed : (1u << bits);
        if (entries > (1u << bits)) return Refuse("BMP: palette too large");
        int entrySize = infoSize == 12 ? 3 : 4;
        for (uint32_t i = 0; i < entries; ++i) {
            unsigned char e[4] = {0, 0, 0, 0};
            if (!ReadImageBytes(s, e, size_t(entrySize))) return Refuse("BMP: truncated palette");
            format.palette[i] = PaletteEntry{e[0], e[1], e[2], 255};
        }
        break;
    }
    case 16:
        if (compression != kCompressionBitFields) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F, masks[3] = 0;
        SetPixelFormatMasks(&format, 16, masks[0], masks[1], masks[2], masks[3]);
        break;
    case 24: SetPixelFormatRgb24(&format); break;
    case 32:
        if (compression == kCompressionBitFields) SetPixelFormatMasks(&format, 32, masks[0], masks[1], masks[2], masks[3]);
        else if (UseBmp32Alpha()) SetPixelFormatArgb32(&format);
        else SetPixelFormatXrgb32(&format);
        break;
    default: return Refuse("BMP: unsupported bit count");
    }
    size_t rowBytes = ((size_t(width) * size_t(bits) + 31) / 32) * 4;
    if (!SeekImageStream(s, dataOffset)) return Refuse("BMP: pixel offset outside the file");
    if (runLength) {
        if (CreateBaseImageWithFormat(int(width), int(height), &format, image) != 0) return -1;
        if (DecodeBmpRunLength(s, bits, image) == 0) return 0;
        FreeBaseImagePixels(image);
        return -1;
    }
    int64_t remaining = RemainingImageBytes(s);
    if (remaining >= 0 && uint64_t(remaining) < rowBytes * size_t(height)) return Refuse("BMP: truncated pixels");
    if (CreateBaseImageWithFormat(int(width), int(height), &format, image) != 0) return -1;
    unsigned char* row = static_cast<unsigned char*>(ENGINE_ALLOC(rowBytes));
    if (!row) {
        FreeBaseImagePixels(image);
        return Refuse("BMP: out of memory");
    }
    int bpp = format.bytesPerPixel;
    for (int64_t r = 0; r < height; ++r) {
        if (!ReadImageBytes(s, row, rowBytes)) {
            FreeMemory(row);
            FreeBaseImagePixels(image);
            return Refuse("BMP: truncated pixels");
        }
        uint8_t* out = ImageRow(image, int(topDown ? r : height - 1 - r));
        if (bits >= 8) {
            std::memcpy(out, row, size_t(width) * size_t(bpp));
        } else {
            int perByte = 8 / bits;
            uint8_t mask = uint8_t((1 << bits) - 1);
            for (int64_t x = 0; x < width; ++x) {
                int shift = 8 - bits * int(x % perByte + 1);
                out[x] = uint8_t((row[x / perByte] >> shift) & mask);
            }
        }
    }
    FreeMemory(row);
    return 0;
}
