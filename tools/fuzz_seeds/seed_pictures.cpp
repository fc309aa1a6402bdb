// Picture seeds: one small file of each kind the readers take (BMP in its
// depths, bit fields and run-length codings, PNG, JPEG in RGB and inks,
// TGA plain, run-length and colour-mapped, DDS compressed and not).
#include "picture_writers.h"
#include "png_file.h"
#include "seeds.h"

namespace {

constexpr int kWidth = 4, kHeight = 3;

// A 4x3 picture with distinct colours: 0xAARRGGBB.
uint32_t Colour(int x, int y) { return 0xFF000000u | uint32_t(255 - 60 * x) << 16 | uint32_t(70 * y + 10) << 8 | uint32_t(40 * x + 30 * y); }

// The header of a bottom-up BMP with a 40-byte info header.
Bytes BmpHeader(int bits, int compression, int paletteEntries, size_t pixelBytes, int extra = 0) {
    uint32_t offset = 14 + 40 + uint32_t(extra) + uint32_t(paletteEntries) * 4;
    Bytes b = {'B', 'M'};
    Put32(b, offset + uint32_t(pixelBytes));
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, kWidth);
    Put32(b, kHeight);
    Put16(b, 1);
    Put16(b, uint32_t(bits));
    Put32(b, uint32_t(compression));
    Put32(b, uint32_t(pixelBytes));
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, uint32_t(paletteEntries));
    Put32(b, 0);
    return b;
}

Bytes Bmp24() {
    Bytes b = BmpHeader(24, 0, 0, 16 * kHeight);
    for (int y = kHeight - 1; y >= 0; --y) {
        for (int x = 0; x < kWidth; ++x) {
            uint32_t c = Colour(x, y);
            b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
        }
        b.insert(b.end(), 4, 0);
    }
    return b;
}

Bytes BmpPalette(int bits, int compression, const Bytes& pixels) {
    Bytes b = BmpHeader(bits, compression, 16, pixels.size());
    for (int i = 0; i < 16; ++i) Put32(b, 0x00112233u * uint32_t(i));
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

Bytes Bmp16BitFields() {
    Bytes b = BmpHeader(16, 3, 0, 8 * kHeight, 12);
    Put32(b, 0xF800);
    Put32(b, 0x07E0);
    Put32(b, 0x001F);
    for (int y = kHeight - 1; y >= 0; --y)
        for (int x = 0; x < kWidth; ++x) {
            uint32_t c = Colour(x, y);
            Put16(b, ((c >> 19) & 31) << 11 | ((c >> 10) & 63) << 5 | ((c >> 3) & 31));
        }
    return b;
}

Bytes Png() {
    Image image(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint32_t c = Colour(x, y);
            image.Set(x, y, MakeRgba(int(c >> 16 & 255), int(c >> 8 & 255), int(c & 255), 60 * x + 50));
        }
    return EncodePng(image);
}

// components 3 (RGB) or 4 (inks, with the Adobe marker inverting them).
Bytes Jpeg(int components) {
    return picturewriters::CompressJpeg(
        8, 8, components, components == 4 ? JCS_CMYK : JCS_RGB,
        [](jpeg_compress_struct* cinfo) { jpeg_set_quality(cinfo, 75, TRUE); },
        [components](int y, unsigned char* row) {
            for (int i = 0; i < 8 * components; ++i) row[i] = uint8_t(i * 9 + y * 20);
        });
}

Bytes TgaHeader(int type, int bits, bool mapped) {
    return picturewriters::TgaHeader(type, bits, kWidth, kHeight, true, mapped);
}

Bytes TgaRunLength() {
    Bytes b = TgaHeader(10, 32, false);
    for (int y = 0; y < kHeight; ++y) {
        uint32_t c = Colour(0, y);
        b.push_back(0x81);  // two of the first colour
        Put32(b, c);
        b.push_back(1);  // then two as they are
        Put32(b, Colour(2, y));
        Put32(b, Colour(3, y));
    }
    return b;
}

Bytes TgaMapped() {
    Bytes b = TgaHeader(1, 8, true);
    for (int i = 0; i < 4; ++i) b.insert(b.end(), {uint8_t(40 * i), uint8_t(200 - 30 * i), uint8_t(60 + i)});
    for (int i = 0; i < kWidth * kHeight; ++i) b.push_back(uint8_t(i % 4));
    return b;
}

Bytes DdsHeader(uint32_t flags, const char* fourCc, uint32_t bits, uint32_t r, uint32_t g, uint32_t b,
                uint32_t a) {
    Bytes d = {'D', 'D', 'S', ' '};
    Put32(d, 124);
    Put32(d, 0x1007);
    Put32(d, 4);
    Put32(d, 4);
    for (int i = 0; i < 14; ++i) Put32(d, 0);
    Put32(d, 32);
    Put32(d, flags);
    if (fourCc) PutText(d, fourCc);
    else Put32(d, 0);
    for (uint32_t v : {bits, r, g, b, a}) Put32(d, v);
    for (int i = 0; i < 5; ++i) Put32(d, 0);
    return d;
}

Bytes Dds(const char* fourCc) {
    Bytes d = DdsHeader(0x4, fourCc, 0, 0, 0, 0, 0);
    if (fourCc[3] != '1') d.insert(d.end(), {255, 0, 0x49, 0x92, 0x24, 0x49, 0x92, 0x24});  // alpha block
    Put16(d, 0xF800);
    Put16(d, 0x001F);
    Put32(d, 0xE4E4E4E4u);
    return d;
}

Bytes DdsRgb32() {
    Bytes d = DdsHeader(0x41, nullptr, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    for (int i = 0; i < 16; ++i) Put32(d, Colour(i % 4, i / 4 % 3));
    return d;
}

}  // namespace

void AddPictureSeeds(Seeds& seeds) {
    const char* t = "fuzz_image";
    seeds.Add(t, "bmp24.bmp", Bmp24());
    // Four 8-bit indices a row, padded to four bytes.
    seeds.Add(t, "bmp8.bmp", BmpPalette(8, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    seeds.Add(t, "bmp4.bmp", BmpPalette(4, 0, {0x12, 0x34, 0, 0, 0x56, 0x78, 0, 0, 0x9A, 0xBC, 0, 0}));
    // A run, a literal, a jump, end of line and end of picture.
    seeds.Add(t, "bmp_rle8.bmp", BmpPalette(8, 1, {2, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 4, 9, 0, 1}));
    seeds.Add(t, "bmp_rle4.bmp", BmpPalette(4, 2, {4, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 0, 3, 0x66, 0, 1}));
    seeds.Add(t, "bmp16_fields.bmp", Bmp16BitFields());
    seeds.Add(t, "rgba.png", Png());
    seeds.Add(t, "rgb.jpg", Jpeg(3));
    seeds.Add(t, "inks.jpg", Jpeg(4));
    seeds.Add(t, "runs.tga", TgaRunLength());
    seeds.Add(t, "mapped.tga", TgaMapped());
    seeds.Add(t, "dxt1.dds", Dds("DXT1"));
    seeds.Add(t, "dxt5.dds", Dds("DXT5"));
    seeds.Add(t, "rgb32.dds", DdsRgb32());
}
