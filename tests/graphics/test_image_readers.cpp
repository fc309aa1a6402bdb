// The picture readers on fixtures written here: PNG and JPEG through the
// libraries' writers, BMP, TGA, DDS and raw BGRA built byte by byte; every
// fixture also cut short and damaged.
#include "graphics_test_util.h"
#include "picture_writers.h"
#include "engine/memory.h"
#include "scoped_temp_dir.h"

#include <png.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& b, int v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// A 4x3 test picture with distinct colours and alphas.
std::vector<uint32_t> Picture(int w = 4, int h = 3) {
    std::vector<uint32_t> p(size_t(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p[y * w + x] = PackArgb(255 - 40 * x, 60 * x + 10, 80 * y + 5, 30 * (x + y) + 7);
    return p;
}

uint32_t PixelOf(const BASEIMAGE& image, int x, int y) {
    int r, g, b, a;
    EXPECT_EQ(GetBaseImagePixel(&image, x, y, &r, &g, &b, &a), 0);
    return PackArgb(a, r, g, b);
}

int ReadMemory(const Bytes& bytes, BASEIMAGE* out, int option = 0) {
    return ReadImageToBaseImage(nullptr, bytes.data(), bytes.size(), 1, out, option);
}

void ExpectPicture(const BASEIMAGE& image, const std::vector<uint32_t>& p, int w, int h, bool alpha, int tolerance = 0) {
    ASSERT_EQ(image.width, w);
    ASSERT_EQ(image.height, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t want = alpha ? p[y * w + x] : (p[y * w + x] | 0xFF000000u);
            EXPECT_TRUE(ColorNear(PixelOf(image, x, y), want, tolerance, true)) << x << "," << y;
        }
}

// Every shorter prefix of a valid file is refused without a leak or overrun.
void ExpectPrefixesRefused(const Bytes& bytes, size_t from) {
    for (size_t n = from; n < bytes.size(); n += (n < from + 64 ? 1 : 7)) {
        Bytes cut(bytes.begin(), bytes.begin() + long(n));
        BASEIMAGE image;
        EXPECT_EQ(ReadMemory(cut, &image), -1) << "prefix of " << n << " bytes";
        EXPECT_EQ(image.pixels, nullptr);
    }
}

Bytes Tga(int type, int bits, int w, int h, bool topDown, const std::vector<uint32_t>& p);
Bytes DdsHeader(int w, int h, uint32_t pfFlags, const char* fourCc, int bits, uint32_t r, uint32_t g, uint32_t b,
                uint32_t a);

class ImageReaderTest : public ::testing::Test {
protected:
    void SetUp() override { SetLogOutput(0); }
};

Bytes Bmp(int bits, int w, int h, bool topDown, const std::vector<uint32_t>& p, int compression = 0) {
    int paletteEntries = bits <= 8 ? (1 << bits) : 0;
    int maskBytes = compression == 3 ? 12 : 0;
    size_t rowBytes = ((size_t(w) * bits + 31) / 32) * 4;
    uint32_t offset = 14 + 40 + maskBytes + paletteEntries * 4;
    Bytes b = {'B', 'M'};
    Put32(b, uint32_t(offset + rowBytes * h));
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, uint32_t(w));
    Put32(b, uint32_t(topDown ? -h : h));
    Put16(b, 1);
    Put16(b, bits);
    Put32(b, uint32_t(compression));
    for (int i = 0; i < 5; ++i) Put32(b, 0);
    if (compression == 3) {
        Put32(b, 0xF800);
        Put32(b, 0x07E0);
        Put32(b, 0x001F);
    }
    // Palette pictures use the first colours of p as their palette.
    for (int i = 0; i < paletteEntries; ++i) Put32(b, p[size_t(i) % p.size()] & 0xFFFFFF);
    for (int r = 0; r < h; ++r) {
        int y = topDown ? r : h - 1 - r;
        Bytes row(rowBytes, 0);
        for (int x = 0; x < w; ++x) {
            uint32_t c = p[y * w + x];
            switch (bits) {
            case 32: std::memcpy(&row[x * 4], &c, 4); break;
            case 24: row[x * 3] = c, row[x * 3 + 1] = c >> 8, row[x * 3 + 2] = c >> 16; break;
            case 16: {
                uint16_t v = uint16_t(((c >> 19) & 31) << 11 | ((c >> 10) & 63) << 5 | ((c >> 3) & 31));
                std::memcpy(&row[x * 2], &v, 2);
                break;
            }
            default: {
                int index = (y * w + x) % paletteEntries;
                int perByte = 8 / bits;
                row[x / perByte] |= uint8_t(index << (8 - bits * (x % perByte + 1)));
            }
            }
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

TEST_F(ImageReaderTest, BmpInEveryDepthAndRowOrder) {
    auto p = Picture();
    BASEIMAGE image;
    for (bool topDown : {false, true}) {
        ASSERT_EQ(ReadMemory(Bmp(24, 4, 3, topDown, p), &image), 0);
        ExpectPicture(image, p, 4, 3, false);
        FreeBaseImagePixels(&image);
    }
    ASSERT_EQ(ReadMemory(Bmp(32, 4, 3, false, p), &image), 0);
    ExpectPicture(image, p, 4, 3, false);
    EXPECT_EQ(GetBaseImageAlphaKind(&image), 0);
    FreeBaseImagePixels(&image);
    SetBmp32AlphaUse(1);
    ASSERT_EQ(ReadMemory(Bmp(32, 4, 3, false, p), &image), 0);
    SetBmp32AlphaUse(0);
    ExpectPicture(image, p, 4, 3, true);
    EXPECT_EQ(GetBaseImageAlphaKind(&image), 3);
    FreeBaseImagePixels(&image);

    ASSERT_EQ(ReadMemory(Bmp(16, 4, 3, false, p, 3), &image), 0);
    ExpectPicture(image, p, 4, 3, false, 8);
    FreeBaseImagePixels(&image);
    for (int bits : {1, 4, 8}) {
        ASSERT_EQ(ReadMemory(Bmp(bits, 5, 3, false, Picture(5, 3)), &image), 0) << bits;
        EXPECT_EQ(image.format.usePalette, 1);
        auto q = Picture(5, 3);
        int entries = 1 << bits;
        for (int i = 0; i < 15; ++i) {
            uint32_t want = q[size_t(i % entries) % q.size()] | 0xFF000000u;
            EXPECT_TRUE(ColorNear(PixelOf(image, i % 5, i / 5), want, 0, true)) << bits << " pixel " << i;
        }
        FreeBaseImagePixels(&image);
    }
}

TEST_F(ImageReaderTest, BmpDamageIsRefused) {
    Bytes good = Bmp(24, 4, 3, false, Picture());
    ExpectPrefixesRefused(good, 0);
    Bytes huge = good;
    huge[18] = 0xFF, huge[19] = 0xFF, huge[20] = 0xFF, huge[21] = 0x00;  // width 16 million
    BASEIMAGE image;
    EXPECT_EQ(ReadMemory(huge, &image), -1);
    Bytes farOffset = good;
    farOffset[10] = 0xFF, farOffset[11] = 0xFF, farOffset[12] = 0xFF;
    EXPECT_EQ(ReadMemory(farOffset, &image), -1);
    Bytes badPalette = Bmp(8, 4, 3, false, Picture());
    badPalette[46] = 0x00, badPalette[47] = 0x10;  // 4096 colours used
    EXPECT_EQ(ReadMemory(badPalette, &image), -1);
}

// A bottom-up run-length BMP (compression 1 with 8 bits, 2 with 4) around
// the given codes, with a 16-entry grey palette (index i is grey 16 * i).
Bytes RunLengthBmp(int bits, int w, int h, const Bytes& codes) {
    uint32_t offset = 14 + 40 + 16 * 4;
    Bytes b = {'B', 'M'};
    Put32(b, uint32_t(offset + codes.size()));
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, uint32_t(w));
    Put32(b, uint32_t(h));
    Put16(b, 1);
    Put16(b, bits);
    Put32(b, bits == 8 ? 1 : 2);
    Put32(b, uint32_t(codes.size()));
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 16);
    Put32(b, 0);
    for (int i = 0; i < 16; ++i) Put32(b, 0x101010u * uint32_t(i));
    b.insert(b.end(), codes.begin(), codes.end());
    return b;
}

// Palette indices of the picture, rows listed top first.
void ExpectIndices(const BASEIMAGE& image, const std::vector<std::vector<int>>& rows) {
    ASSERT_EQ(image.height, int(rows.size()));
    ASSERT_EQ(image.format.usePalette, 1);
    for (int y = 0; y < image.height; ++y) {
        ASSERT_EQ(image.width, int(rows[y].size()));
        const uint8_t* row = static_cast<const uint8_t*>(image.pixels) + size_t(y) * size_t(image.pitch);
        for (int x = 0; x < image.width; ++x) EXPECT_EQ(row[x], rows[y][x]) << x << "," << y;
    }
}

TEST_F(ImageReaderTest, BmpRunLengthWithDeltasAndRunsCutAtTheEdge) {
    // 8 bits, 6x4: a run and a padded literal; a run and a jump one right,
    // one up; a run that passes the right edge; a run longer than the row.
    const Bytes rle8 = {3, 1,  0, 3, 2, 3, 4, 0,  0, 0,
                        2, 5,  0, 2, 1, 1,
                        5, 7,  0, 0,
                        8, 9,  0, 1};
    BASEIMAGE image;
    ASSERT_EQ(ReadMemory(RunLengthBmp(8, 6, 4, rle8), &image), 0);
    ExpectIndices(image, {{9, 9, 9, 9, 9, 9}, {0, 0, 0, 7, 7, 7}, {5, 5, 0, 0, 0, 0}, {1, 1, 1, 2, 3, 4}});
    EXPECT_TRUE(ColorNear(PixelOf(image, 0, 0), 0xFF909090u, 0, true));
    FreeBaseImagePixels(&image);
    ExpectPrefixesRefused(RunLengthBmp(8, 6, 4, rle8), 14 + 40 + 64);

    // 4 bits, 8x3: a nibble run, an unpadded literal of three, a run cut at
    // the edge; a jump two right, one up; a padded literal of five.
    const Bytes rle4 = {4, 0x12,  0, 3, 0x34, 0x50,  3, 0x66,  0, 0,
                        0, 2, 2, 1,
                        0, 5, 0xAB, 0xCD, 0xE0, 0,  0, 1};
    ASSERT_EQ(ReadMemory(RunLengthBmp(4, 8, 3, rle4), &image), 0);
    ExpectIndices(image, {{0, 0, 10, 11, 12, 13, 14, 0}, {0, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 1, 2, 3, 4, 5, 6}});
    FreeBaseImagePixels(&image);
    ExpectPrefixesRefused(RunLengthBmp(4, 8, 3, rle4), 14 + 40 + 64);

    // A jump past the top row ends the picture; runs stay inside it whatever
    // the codes say.
    ASSERT_EQ(ReadMemory(RunLengthBmp(8, 2, 2, {2, 3, 0, 2, 200, 200, 255, 1}), &image), 0);
    ExpectIndices(image, {{0, 0}, {3, 3}});
    FreeBaseImagePixels(&image);
    Bytes wrongDepth = RunLengthBmp(8, 2, 2, {0, 1});
    wrongDepth[28] = 4;
    EXPECT_EQ(ReadMemory(wrongDepth, &image), -1);
    Bytes topDown = RunLengthBmp(8, 2, 2, {0, 1});
    Put32(topDown, 0);
    topDown[22] = 0xFE, topDown[23] = topDown[24] = topDown[25] = 0xFF;
    EXPECT_EQ(ReadMemory(topDown, &image), -1);
}

TEST_F(ImageReaderTest, FiveAndSixBitChannelsWidenAlikeInEveryContainer) {
    // Every 565 code once: as a bit-field BMP pixel and as the first colour
    // of a DXT1 block whose texels all use it.
    const int side = 256;
    Bytes bmp = {'B', 'M'};
    uint32_t offset = 14 + 40 + 12;
    Put32(bmp, offset + side * side * 2);
    Put32(bmp, 0);
    Put32(bmp, offset);
    Put32(bmp, 40);
    Put32(bmp, side);
    Put32(bmp, uint32_t(-side));
    Put16(bmp, 1);
    Put16(bmp, 16);
    Put32(bmp, 3);
    for (int i = 0; i < 5; ++i) Put32(bmp, 0);
    Put32(bmp, 0xF800);
    Put32(bmp, 0x07E0);
    Put32(bmp, 0x001F);
    Bytes dxt = DdsHeader(side * 4, side * 4, 0x4, "DXT1", 0, 0, 0, 0, 0);
    for (int code = 0; code < side * side; ++code) {
        Put16(bmp, code);
        Put16(dxt, code);
        Put16(dxt, 0);
        Put32(dxt, 0);
    }
    BASEIMAGE fields, blocks, decoded;
    ASSERT_EQ(ReadMemory(bmp, &fields), 0);
    ASSERT_EQ(ReadMemory(dxt, &blocks), 0);
    ASSERT_EQ(ConvertBaseImageToArgb32(&blocks, &decoded), 0);
    int differing = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) differing += PixelOf(fields, x, y) != PixelOf(decoded, x * 4, y * 4);
    EXPECT_EQ(differing, 0);
    // Three of 31 is 24.7: rounded, not cut.
    EXPECT_EQ(PixelOf(fields, 3, 0), PackArgb(255, 0, 0, 25));
    FreeBaseImagePixels(&decoded);
    FreeBaseImagePixels(&blocks);
    FreeBaseImagePixels(&fields);

    // 15-bit TGA pixels and 555 BMP pixels widen alike too.
    std::vector<uint32_t> p(32);
    for (int i = 0; i < 32; ++i) p[size_t(i)] = PackArgb(255, i * 8, 255 - i * 8, (i * 40) & 255);
    Bytes bmp555 = Bmp(16, 32, 1, true, p);
    std::vector<uint32_t> codes(32);
    for (size_t i = 0; i < 32; ++i) codes[i] = uint32_t(bmp555[54 + 2 * i] | bmp555[55 + 2 * i] << 8);
    Bytes tga = Tga(2, 16, 32, 1, true, codes);
    BASEIMAGE a, b;
    ASSERT_EQ(ReadMemory(tga, &a), 0);
    ASSERT_EQ(ReadMemory(bmp555, &b), 0);
    for (int x = 0; x < 32; ++x) EXPECT_EQ(PixelOf(a, x, 0), PixelOf(b, x, 0)) << x;
    FreeBaseImagePixels(&a);
    FreeBaseImagePixels(&b);
}

TEST_F(ImageReaderTest, PngInEveryColourTypeAndDepth) {
    auto p = Picture();
    BASEIMAGE image;
    struct {
        int type, depth;
        bool alpha;
    } cases[] = {{PNG_COLOR_TYPE_RGB, 8, false}, {PNG_COLOR_TYPE_RGBA, 8, true}, {PNG_COLOR_TYPE_RGBA, 16, true},
                 {PNG_COLOR_TYPE_PALETTE, 8, false}};
    for (auto& c : cases) {
        Bytes png = EncodePng(p.data(), 4, 3, c.type, c.depth);
        ASSERT_FALSE(png.empty());
        ASSERT_EQ(ReadMemory(png, &image), 0) << c.type;
        ExpectPicture(image, p, 4, 3, c.alpha);
        EXPECT_EQ(GetBaseImageAlphaKind(&image), c.alpha ? 3 : 0);
        FreeBaseImagePixels(&image);
    }
    Bytes gray = EncodePng(p.data(), 4, 3, PNG_COLOR_TYPE_GRAY, 8);
    ASSERT_EQ(ReadMemory(gray, &image), 0);
    int r, g, b;
    GetBaseImagePixel(&image, 1, 0, &r, &g, &b, nullptr);
    EXPECT_EQ(r, ChannelOf(p[1], 8));
    EXPECT_EQ(b, r);
    FreeBaseImagePixels(&image);
}

TEST_F(ImageReaderTest, PngDamageIsRefused) {
    auto p = Picture(16, 16);
    Bytes png = EncodePng(p.data(), 16, 16, PNG_COLOR_TYPE_RGBA, 8);
    ExpectPrefixesRefused(png, 0);
    Bytes corrupt = png;
    for (size_t i = 60; i < corrupt.size() - 20; i += 5) corrupt[i] ^= 0x5A;
    BASEIMAGE image;
    EXPECT_EQ(ReadMemory(corrupt, &image), -1);
    Bytes huge = png;
    huge[16] = 0x7F;  // width beyond the limit (CRC no longer matches either)
    EXPECT_EQ(ReadMemory(huge, &image), -1);
}

uint32_t Crc32(const unsigned char* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

TEST_F(ImageReaderTest, PngClaimingMorePixelsThanItsDataCanHoldIsRefusedEarly) {
    auto p = Picture(16, 16);
    Bytes png = EncodePng(p.data(), 16, 16, PNG_COLOR_TYPE_RGBA, 8);
    // Rewrite the header to 8000 x 8000 with a correct checksum.
    Bytes big = png;
    const unsigned char side[4] = {0x00, 0x00, 0x1F, 0x40};
    std::memcpy(&big[16], side, 4);
    std::memcpy(&big[20], side, 4);
    uint32_t crc = Crc32(&big[12], 17);
    const unsigned char c[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
    std::memcpy(&big[29], c, 4);
    BASEIMAGE image;
    size_t before = GetMemoryTotals().peakBytes;
    EXPECT_EQ(ReadMemory(big, &image), -1);
    EXPECT_LT(GetMemoryTotals().peakBytes - before, size_t(16) << 20);
}

TEST_F(ImageReaderTest, JpegDecodesCloseToItsSourceAndRefusesTruncation) {
    std::vector<uint32_t> p(32 * 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) p[y * 32 + x] = x < 16 ? 0xFFC03020u : 0xFF2060E0u;
    Bytes jpeg = EncodeJpeg(p.data(), 32, 16, 95);
    BASEIMAGE image;
    ASSERT_EQ(ReadMemory(jpeg, &image), 0);
    EXPECT_EQ(image.format.bytesPerPixel, 3);
    EXPECT_TRUE(ColorNear(PixelOf(image, 4, 8), 0xFFC03020u, 6));
    EXPECT_TRUE(ColorNear(PixelOf(image, 28, 8), 0xFF2060E0u, 6));
    FreeBaseImagePixels(&image);
    ExpectPrefixesRefused(jpeg, 3);
}

TEST_F(ImageReaderTest, FourInkJpegsDecodeToTheirColours) {
    // A smooth picture: four-ink JPEGs at full quality stay within 2 of it.
    const int w = 32, h = 16;
    std::vector<uint32_t> p(size_t(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p[size_t(y * w + x)] = PackArgb(255, 200 - 3 * x, 60 + 4 * y, 90 + 2 * x + y);
    struct Case {
        int colourSpace;
        bool adobe;
    };
    for (Case c : {Case{JCS_CMYK, true}, Case{JCS_CMYK, false}, Case{JCS_YCCK, true}}) {
        Bytes jpeg = EncodeJpegInks(p.data(), w, h, c.colourSpace, c.adobe);
        BASEIMAGE image;
        ASSERT_EQ(ReadMemory(jpeg, &image), 0) << c.colourSpace << " " << c.adobe;
        EXPECT_EQ(image.format.bytesPerPixel, 3);
        int worst = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint32_t got = PixelOf(image, x, y), want = p[size_t(y * w + x)];
                for (int shift : {16, 8, 0}) worst = std::max(worst, std::abs(ChannelOf(got, shift) - ChannelOf(want, shift)));
            }
        EXPECT_LE(worst, 2) << c.colourSpace << " " << c.adobe;
        FreeBaseImagePixels(&image);
        // Cut short, it is still refused as damaged.
        ExpectPrefixesRefused(jpeg, jpeg.size() - 40);
    }
}

// Rewrites the size in a JPEG's frame header.
void SetJpegSize(Bytes& jpeg, int width, int height) {
    for (size_t at = 2; at + 9 < jpeg.size() && jpeg[at] == 0xFF;) {
        uint8_t marker = jpeg[at + 1];
        if (marker == 0xC0 || marker == 0xC2) {
            jpeg[at + 5] = uint8_t(height >> 8), jpeg[at + 6] = uint8_t(height);
            jpeg[at + 7] = uint8_t(width >> 8), jpeg[at + 8] = uint8_t(width);
            return;
        }
        at += 2 + size_t(jpeg[at + 2] << 8 | jpeg[at + 3]);
    }
    ADD_FAILURE() << "no frame header";
}

TEST_F(ImageReaderTest, JpegClaimingMoreBlocksThanItsDataCanHoldIsRefusedEarly) {
    // A flat picture, the least data its size can take, still reads; the
    // same data claiming sixteen times the blocks is refused before the
    // picture is allocated, baseline and progressive.
    const int side = 2048;
    for (bool progressive : {false, true}) {
        Bytes flat = picturewriters::CompressJpeg(
            side, side, 3, JCS_RGB,
            [&](jpeg_compress_struct* cinfo) {
                jpeg_set_quality(cinfo, 50, TRUE);
                if (progressive) jpeg_simple_progression(cinfo);
            },
            [&](int, unsigned char* row) { std::memset(row, 0x40, size_t(side) * 3); });
        BASEIMAGE image;
        ASSERT_EQ(ReadMemory(flat, &image), 0) << progressive;
        EXPECT_TRUE(ColorNear(PixelOf(image, side - 1, side - 1), 0xFF404040u, 2));
        FreeBaseImagePixels(&image);
        Bytes claiming = flat;
        SetJpegSize(claiming, side * 4, side * 4);
        size_t before = GetMemoryTotals().peakBytes;
        EXPECT_EQ(ReadMemory(claiming, &image), -1) << progressive;
        EXPECT_EQ(GetMemoryTotals().peakBytes, before) << progressive;
    }
}

Bytes Tga(int type, int bits, int w, int h, bool topDown, const std::vector<uint32_t>& p) {
    bool mapped = (type & 7) == 1;
    Bytes b = picturewriters::TgaHeader(type, bits, w, h, topDown, mapped);
    if (mapped)
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(p[i])), b.push_back(uint8_t(p[i] >> 8)), b.push_back(uint8_t(p[i] >> 16));
    auto pixel = [&](int x, int y, Bytes& out) {
        uint32_t c = p[y * w + x];
        if (mapped) out.push_back(uint8_t((y * w + x) % 4));
        else
            for (int i = 0; i < bits / 8; ++i) out.push_back(uint8_t(c >> (8 * i)));
    };
    for (int r = 0; r < h; ++r) {
        int y = topDown ? r : h - 1 - r;
        if (type & 8) {
            // One run of the first pixel repeated twice, then the rest raw.
            b.push_back(0x81);
            pixel(0, y, b);
            b.push_back(uint8_t(w - 3));
            for (int x = 2; x < w; ++x) pixel(x, y, b);
        } else {
            for (int x = 0; x < w; ++x) pixel(x, y, b);
        }
    }
    return b;
}

TEST_F(ImageReaderTest, TgaPlainRunLengthAndColourMapped) {
    auto p = Picture();
    BASEIMAGE image;
    for (bool topDown : {false, true}) {
        ASSERT_EQ(ReadMemory(Tga(2, 24, 4, 3, topDown, p), &image), 0);
        ExpectPicture(image, p, 4, 3, false);
        FreeBaseImagePixels(&image);
        ASSERT_EQ(ReadMemory(Tga(2, 32, 4, 3, topDown, p), &image), 0);
        ExpectPicture(image, p, 4, 3, true);
        FreeBaseImagePixels(&image);
    }
    // Run-length rows: pixel 1 repeats pixel 0.
    auto q = p;
    for (int y = 0; y < 3; ++y) q[y * 4 + 1] = q[y * 4];
    ASSERT_EQ(ReadMemory(Tga(10, 32, 4, 3, false, q), &image), 0);
    ExpectPicture(image, q, 4, 3, true);
    FreeBaseImagePixels(&image);
    ASSERT_EQ(ReadMemory(Tga(1, 8, 4, 3, false, p), &image), 0);
    for (int i = 0; i < 12; ++i) EXPECT_TRUE(ColorNear(PixelOf(image, i % 4, i / 4), p[i % 4] | 0xFF000000u, 0));
    FreeBaseImagePixels(&image);
}

TEST_F(ImageReaderTest, TgaDamageIsRefused) {
    auto p = Picture();
    ExpectPrefixesRefused(Tga(10, 32, 4, 3, false, p), 0);
    ExpectPrefixesRefused(Tga(2, 24, 4, 3, false, p), 0);
    // A run that would pass the end of the picture is cut at the end.
    Bytes overrun = Tga(10, 32, 2, 1, false, {0xFF112233u, 0xFF112233u});
    overrun[18] = 0xFF;  // a run of 128 pixels in a 2-pixel picture
    BASEIMAGE image;
    ASSERT_EQ(ReadMemory(overrun, &image), 0);
    FreeBaseImagePixels(&image);
    Bytes mapOverflow = Tga(1, 8, 4, 3, false, p);
    mapOverflow[3] = 0xFE;  // colour map starting at 254 with 4 entries
    EXPECT_EQ(ReadMemory(mapOverflow, &image), -1);
}

Bytes DdsHeader(int w, int h, uint32_t pfFlags, const char* fourCc, int bits, uint32_t r, uint32_t g, uint32_t b,
                uint32_t a) {
    Bytes d = {'D', 'D', 'S', ' '};
    Put32(d, 124);
    Put32(d, 0x1007);
    Put32(d, uint32_t(h));
    Put32(d, uint32_t(w));
    for (int i = 0; i < 3 + 11; ++i) Put32(d, 0);
    Put32(d, 32);
    Put32(d, pfFlags);
    if (fourCc) d.insert(d.end(), fourCc, fourCc + 4);
    else Put32(d, 0);
    Put32(d, uint32_t(bits));
    Put32(d, r);
    Put32(d, g);
    Put32(d, b);
    Put32(d, a);
    for (int i = 0; i < 5; ++i) Put32(d, 0);
    return d;
}

TEST_F(ImageReaderTest, DdsCompressedAndUncompressed) {
    // One DXT1 block: colour 0 pure red, colour 1 pure blue; pixel i uses code i % 4.
    Bytes dxt1 = DdsHeader(4, 4, 0x4, "DXT1", 0, 0, 0, 0, 0);
    Put16(dxt1, 0xF800);
    Put16(dxt1, 0x001F);
    Put32(dxt1, 0xE4E4E4E4u);  // codes 0,1,2,3 in every row
    BASEIMAGE image;
    ASSERT_EQ(ReadMemory(dxt1, &image), 0);
    EXPECT_EQ(image.format.compression, PIXEL_COMPRESSION_DXT1);
    EXPECT_EQ(GetBaseImageAlphaKind(&image), -1);
    EXPECT_EQ(RotateBaseImage180(&image), -1);
    BASEIMAGE argb;
    ASSERT_EQ(ConvertBaseImageToArgb32(&image, &argb), 0);
    EXPECT_TRUE(ColorNear(PixelOf(argb, 0, 0), 0xFFFF0000u, 0, true));
    EXPECT_TRUE(ColorNear(PixelOf(argb, 1, 2), 0xFF0000FFu, 0, true));
    EXPECT_TRUE(ColorNear(PixelOf(argb, 2, 1), PackArgb(255, 170, 0, 85), 1, true));
    EXPECT_TRUE(ColorNear(PixelOf(argb, 3, 3), PackArgb(255, 85, 0, 170), 1, true));
    FreeBaseImagePixels(&argb);
    FreeBaseImagePixels(&image);

    // DXT5: alpha endpoints 255 and 0, codes 0 and 1 alternating.
    Bytes dxt5 = DdsHeader(4, 4, 0x4, "DXT5", 0, 0, 0, 0, 0);
    dxt5.push_back(255);
    dxt5.push_back(0);
    for (int i = 0; i < 6; ++i) dxt5.push_back(i % 3 == 0 ? 0x08 : i % 3 == 1 ? 0x82 : 0x20);
    Put16(dxt5, 0xFFFF);
    Put16(dxt5, 0xFFFF);
    Put32(dxt5, 0);
    ASSERT_EQ(ReadMemory(dxt5, &image), 0);
    ASSERT_EQ(ConvertBaseImageToArgb32(&image, &argb), 0);
    EXPECT_EQ(ChannelOf(PixelOf(argb, 0, 0), 24), 255);
    EXPECT_EQ(ChannelOf(PixelOf(argb, 1, 0), 24), 0);
    FreeBaseImagePixels(&argb);
    FreeBaseImagePixels(&image);

    auto p = Picture();
    Bytes plain = DdsHeader(4, 3, 0x41, nullptr, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    for (uint32_t c : p) Put32(plain, c);
    ASSERT_EQ(ReadMemory(plain, &image), 0);
    ExpectPicture(image, p, 4, 3, true);
    FreeBaseImagePixels(&image);
    ExpectPrefixesRefused(plain, 0);
    ExpectPrefixesRefused(dxt5, 0);
    Bytes broken = DdsHeader(4, 3, 0x41, nullptr, 32, 0xF0F0F0, 0xFF00, 0xFF, 0);
    for (uint32_t c : p) Put32(broken, c);
    EXPECT_EQ(ReadMemory(broken, &image), -1);
}

TEST_F(ImageReaderTest, RawBgraAndMirroringOption) {
    auto p = Picture();
    Bytes raw = {'B', 'G', 'R', 'A'};
    Put32(raw, 4);
    Put32(raw, 3);
    for (uint32_t c : p) Put32(raw, c);
    BASEIMAGE image;
    ASSERT_EQ(ReadMemory(raw, &image), 0);
    ExpectPicture(image, p, 4, 3, true);
    FreeBaseImagePixels(&image);
    ASSERT_EQ(ReadMemory(raw, &image, 1), 0);
    EXPECT_TRUE(ColorNear(PixelOf(image, 0, 1), p[1 * 4 + 3], 0, true));
    FreeBaseImagePixels(&image);
    ExpectPrefixesRefused(raw, 0);
    Bytes huge = raw;
    huge[7] = 0x7F;
    EXPECT_EQ(ReadMemory(huge, &image), -1);
}

int acceptedByCustom = 0;
int CustomReader(StreamData*, BASEIMAGE* image) {
    ++acceptedByCustom;
    return CreateBaseImageXrgb32(1, 1, image);
}

TEST_F(ImageReaderTest, FilesAndRegisteredReadersComeFirst) {
    ScopedTempDir dir;
    auto p = Picture();
    Bytes png = EncodePng(p.data(), 4, 3, PNG_COLOR_TYPE_RGBA, 8);
    std::ofstream("pic.png", std::ios::binary).write(reinterpret_cast<const char*>(png.data()), long(png.size()));
    std::ofstream("junk.bin", std::ios::binary) << "no picture at all";
    BASEIMAGE image;
    ASSERT_EQ(ReadImageToBaseImage("pic.png", nullptr, 0, 0, &image, 0), 0);
    ExpectPicture(image, p, 4, 3, true);
    FreeBaseImagePixels(&image);
    EXPECT_EQ(ReadImageToBaseImage("junk.bin", nullptr, 0, 0, &image, 0), -1);
    EXPECT_EQ(ReadImageToBaseImage("missing.png", nullptr, 0, 0, &image, 0), -1);
    EXPECT_EQ(ReadImageToBaseImage(nullptr, nullptr, 0, 1, &image, 0), -1);

    ASSERT_EQ(AddImageReader(CustomReader), 0);
    acceptedByCustom = 0;
    ASSERT_EQ(ReadMemory(png, &image), 0);
    EXPECT_EQ(acceptedByCustom, 1);
    EXPECT_EQ(image.width, 1);
    FreeBaseImagePixels(&image);
    GetImageLoaderTable()->readers[0] = nullptr;
}

}  // namespace
