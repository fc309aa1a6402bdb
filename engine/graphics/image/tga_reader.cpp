// TGA reader: colour-mapped, true-colour and grey pictures, plain or
// run-length encoded, in either row order. The format has no signature, so
// the header is checked field by field before anything is allocated.
#include "graphics/image/image_internal.h"

#include "engine/log.h"
#include "foundation/public_call.h"

using namespace morpotta;

namespace {

// Reads one pixel's bytes of the source depth into BGRA.
void ExpandTgaPixel(const unsigned char* p, int bytes, bool gray, const PixelFormatDesc& palette, bool mapped,
                    unsigned char out[4]) {
    if (mapped) {
        int index = bytes == 2 ? ImageU16(p) : p[0];
        const PaletteEntry& e = palette.palette[index & 0xFF];
        out[0] = e.blue, out[1] = e.green, out[2] = e.red, out[3] = e.alpha;
    } else if (gray) {
        out[0] = out[1] = out[2] = p[0];
        out[3] = bytes == 2 ? p[1] : 255;
    } else if (bytes == 2) {
        uint16_t v = ImageU16(p);
        out[2] = uint8_t(ScaleChannelToByte((v >> 10) & 31, 31));
        out[1] = uint8_t(ScaleChannelToByte((v >> 5) & 31, 31));
        out[0] = uint8_t(ScaleChannelToByte(v & 31, 31));
        out[3] = 255;
    } else {
        out[0] = p[0], out[1] = p[1], out[2] = p[2];
        out[3] = bytes == 4 ? p[3] : 255;
    }
}

}  // namespace

int ReadTgaImage(StreamData* s, BASEIMAGE* image) {
    const PublicCall call("ReadTgaImage");
    if (CheckReaderArguments(s, image) != 0) return -1;
    unsigned char h[18];
    if (!ReadImageBytes(s, h, sizeof h)) return DeclineImage("TGA");
    int idLength = h[0], mapType = h[1], type = h[2];
    int mapFirst = ImageU16(h + 3), mapLength = ImageU16(h + 5), mapBits = h[7];
    int width = ImageU16(h + 12), height = ImageU16(h + 14), bits = h[16], descriptor = h[17];
    int base = type & 7;
    bool rle = (type & 8) != 0;
    if ((type & ~0xB) != 0 || base < 1 || base > 3 || mapType > 1) return DeclineImage("TGA");
    bool mapped = base == 1, gray = base == 3;
    if (mapped != (mapType == 1)) return DeclineImage("TGA");
    if (mapped && !(bits == 8 || bits == 16)) return DeclineImage("TGA");
    if (gray && !(bits == 8 || bits == 16)) return DeclineImage("TGA");
    if (base == 2 && !(bits == 15 || bits == 16 || bits == 24 || bits == 32)) return DeclineImage("TGA");
    if (mapped && (mapLength == 0 || mapFirst + mapLength > 256 || !(mapBits == 15 || mapBits == 16 || mapBits == 24 || mapBits == 32)))
        return DeclineImage("TGA");
    if (!ImageSizeAcceptable(width, height)) return DeclineImage("TGA");
    int bytes = (bits + 7) / 8;
    unsigned char skip[256];
    if (!ReadImageBytes(s, skip, size_t(idLength))) return Refuse("TGA: truncated header");
    PixelFormatDesc palette;
    std::memset(&palette, 0, sizeof palette);
    if (mapType == 1) {
        int entryBytes = (mapBits + 7) / 8;
        for (int i = 0; i < mapLength; ++i) {
            unsigned char e[4];
            if (!ReadImageBytes(s, e, size_t(entryBytes))) return Refuse("TGA: truncated colour map");
            unsigned char px[4];
            ExpandTgaPixel(e, entryBytes, false, palette, false, px);
            palette.palette[mapFirst + i] = PaletteEntry{px[0], px[1], px[2], px[3]};
        }
    }
    int64_t remaining = RemainingImageBytes(s);
    if (!rle && remaining >= 0 && remaining < int64_t(width) * height * bytes) return Refuse("TGA: truncated pixels");
    if (rle && remaining >= 0 && remaining * 128 < int64_t(width) * height) return Refuse("TGA: truncated pixels");
    bool hasAlpha = (bits == 32) || (gray && bits == 16) || (mapped && mapBits == 32);
    PixelFormatDesc format;
    if (hasAlpha) SetPixelFormatArgb32(&format);
    else SetPixelFormatXrgb32(&format);
    if (CreateBaseImageWithFormat(width, height, &format, image) != 0) return -1;
    bool topDown = (descriptor & 0x20) != 0, rightToLeft = (descriptor & 0x10) != 0;
    int64_t total = int64_t(width) * height;
    int64_t i = 0;
    unsigned char px[4], raw[4];
    auto put = [&](int64_t n) {
        int y = int(n / width), x = int(n % width);
        if (!topDown) y = height - 1 - y;
        if (rightToLeft) x = width - 1 - x;
        std::memcpy(ImageRow(image, y) + size_t(x) * 4, px, 4);
    };
    while (i < total) {
        int run = 1;
        bool repeat = false;
        if (rle) {
            unsigned char c;
            if (!ReadImageBytes(s, &c, 1)) break;
            run = (c & 0x7F) + 1;
            repeat = (c & 0x80) != 0;
            if (run > total - i) run = int(total - i);  // a packet may not run past the picture
        }
        if (repeat) {
            if (!ReadImageBytes(s, raw, size_t(bytes))) break;
            ExpandTgaPixel(raw, bytes, gray, palette, mapped, px);
            for (int k = 0; k < run; ++k) put(i++);
        } else {
            int k = 0;
            for (; k < run; ++k) {
                if (!ReadImageBytes(s, raw, size_t(bytes))) break;
                ExpandTgaPixel(raw, bytes, gray, palette, mapped, px);
                put(i++);
            }
            if (k < run) break;
        }
    }
    if (i < total) {
        FreeBaseImagePixels(image);
        return Refuse("TGA: truncated pixels");
    }
    return 0;
}
