// DDS reader: the top mip level of block-compressed (DXT1 to DXT5) and of
// uncompressed 16, 24 and 32-bit pictures described by channel masks.
// Compressed pictures stay compressed in the base image.
#include "graphics/image/image_internal.h"

#include "engine/log.h"
#include "foundation/public_call.h"

#include <initializer_list>

using namespace morpotta;

namespace {

constexpr uint32_t kPixelFormatFourCc = 0x4;
constexpr uint32_t kPixelFormatRgb = 0x40;

uint32_t FourCc(const char* s) { return ImageU32(reinterpret_cast<const unsigned char*>(s)); }

}  // namespace

int ReadDdsImage(StreamData* s, BASEIMAGE* image) {
    const PublicCall call("ReadDdsImage");
    if (CheckReaderArguments(s, image) != 0) return -1;
    unsigned char h[128];
    if (!ReadImageBytes(s, h, 4) || std::memcmp(h, "DDS ", 4) != 0) return DeclineImage("DDS");
    if (!ReadImageBytes(s, h + 4, 124)) return Refuse("DDS: truncated header");
    if (ImageU32(h + 4) != 124 || ImageU32(h + 76) != 32) return Refuse("DDS: damaged header");
    int64_t height = ImageU32(h + 12), width = ImageU32(h + 16);
    if (!ImageSizeAcceptable(width, height)) return Refuse("DDS: picture size out of range");
    uint32_t pfFlags = ImageU32(h + 80), fourCc = ImageU32(h + 84), bits = ImageU32(h + 88);
    uint32_t r = ImageU32(h + 92), g = ImageU32(h + 96), b = ImageU32(h + 100), a = ImageU32(h + 104);
    PixelFormatDesc format;
    std::memset(&format, 0, sizeof format);
    size_t rowBytes, rows;
    if (pfFlags & kPixelFormatFourCc) {
        static const char* const kNames[5] = {"DXT1", "DXT2", "DXT3", "DXT4", "DXT5"};
        int compression = 0;
        for (int i = 0; i < 5; ++i)
            if (fourCc == FourCc(kNames[i])) compression = PIXEL_COMPRESSION_DXT1 + i;
        if (!compression) return Refuse("DDS: unsupported compression");
        SetPixelFormatArgb32(&format);
        format.compression = compression;
        rowBytes = size_t((width + 3) / 4) * (compression == PIXEL_COMPRESSION_DXT1 ? 8 : 16);
        rows = size_t((height + 3) / 4);
    } else if (pfFlags & kPixelFormatRgb) {
        if (bits != 16 && bits != 24 && bits != 32) return Refuse("DDS: unsupported bit count");
        if (!(pfFlags & 0x1)) a = 0;
        for (uint32_t m : {r, g, b, a})
            if (!MaskIsContiguous(m) || (bits < 32 && (m >> bits) != 0)) return Refuse("DDS: broken channel masks");
        SetPixelFormatMasks(&format, int(bits), r, g, b, a);
        rowBytes = size_t(width) * (bits / 8);
        rows = size_t(height);
    } else {
        return Refuse("DDS: unsupported pixel format");
    }
    int64_t remaining = RemainingImageBytes(s);
    if (remaining >= 0 && uint64_t(remaining) < rowBytes * rows) return Refuse("DDS: truncated pixels");
    if (CreateBaseImageWithFormat(int(width), int(height), &format, image) != 0) return -1;
    for (size_t y = 0; y < rows; ++y)
        if (!ReadImageBytes(s, ImageRow(image, int(y)), rowBytes)) {
            FreeBaseImagePixels(image);
            return Refuse("DDS: truncated pixels");
        }
    return 0;
}
