// YUV to RGB for movie frames: the video-range conversion as integer tables
// for 4:2:0 pictures, in floats for the other chroma layouts, and the copies
// into the YUV surface layouts.
#include "movie/yuv_to_rgb.h"
#include "platform/lasting_state.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace morpotta {

namespace {

struct YuvTableModule {
    YuvToRgbTables tables;
};

YuvTableModule& YuvTables() {
    return platform::LastingState<YuvTableModule>();
}

inline void StorePixel(uint8_t* at, int red, int green, int blue) {
    at[0] = uint8_t(blue);
    at[1] = uint8_t(green);
    at[2] = uint8_t(red);
    at[3] = 255;
}

// One pixel of a 4:2:0 block. The sums are divided by 16384 with a shift:
// it rounds down where a division would round toward zero, which differs
// only for sums between -16384 and 0, and both results clamp to 0.
inline void StoreTablePixel(uint8_t* at, const uint8_t* clamp, int32_t luma, int32_t rv, int32_t guv, int32_t bu) {
    StorePixel(at, clamp[(luma + rv) >> 14], clamp[(luma + guv) >> 14], clamp[(luma + bu) >> 14]);
}

int ClampToByte(float value) {
    int v = int(value);  // toward zero
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

}  // namespace

int BuildYuvToRgbTables() {
    for (int i = 0; i < 256; ++i) {
        YuvTables().tables.luma[i] = 19070 * (i - 16);
        YuvTables().tables.vToRed[i] = 26148 * (i - 128);
        YuvTables().tables.uToGreen[i] = -6406 * (i - 128);
        YuvTables().tables.vToGreen[i] = -13320 * (i - 128);
        YuvTables().tables.uToBlue[i] = 33062 * (i - 128);
    }
    for (int i = 0; i < 1280; ++i) YuvTables().tables.clamp[i] = uint8_t(std::clamp(i - kYuvClampBias, 0, 255));
    return 0;
}

const YuvToRgbTables& GetYuvToRgbTables() { return YuvTables().tables; }

bool IsYuv420(const YuvPlanes& p) {
    return p.yWidth == 2 * p.chromaWidth && p.yHeight == 2 * p.chromaHeight;
}

#if defined(__SSE2__)
namespace {

// Eight pixels of two rows at a time with the same integer terms as the
// tables: 16-bit sample differences times 16-bit factors give the exact
// 32-bit terms (33062 does not fit in 16 bits, so its half is used and the
// product doubled), the sums are shifted down by 14 like the scalar path,
// and the saturating packs clamp to 0..255 as the clamp table does.
void ConvertBlocks420Sse2(const uint8_t* luma0, const uint8_t* luma1, const uint8_t* u, const uint8_t* v,
                          uint8_t* row0, uint8_t* row1, int width) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i chromaBias = _mm_set1_epi16(128);
    const __m128i lumaBias = _mm_set1_epi16(16);
    const __m128i lumaFactor = _mm_set1_epi16(19070);
    const __m128i redFactors = _mm_set1_epi32(int32_t(uint32_t(26148) << 16));          // (u, v) x (0, 26148)
    const __m128i greenFactors = _mm_set1_epi32(int32_t(uint32_t(uint16_t(-13320)) << 16 | uint16_t(-6406)));
    const __m128i blueFactors = _mm_set1_epi32(16531);                                  // (u, v) x (16531, 0)
    const __m128i opaque = _mm_set1_epi16(255);

    auto lumaTerms = [&](const uint8_t* at, __m128i* low, __m128i* high) {
        __m128i y = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)), zero),
                                  lumaBias);
        const __m128i productLow = _mm_mullo_epi16(y, lumaFactor);
        const __m128i productHigh = _mm_mulhi_epi16(y, lumaFactor);
        *low = _mm_unpacklo_epi16(productLow, productHigh);
        *high = _mm_unpackhi_epi16(productLow, productHigh);
    };
    // Four pixels' terms plus their chroma terms, as bytes blue, green,
    // red, 255 for eight pixels.
    auto store = [&](uint8_t* out, __m128i lumaLow, __m128i lumaHigh, __m128i red[2], __m128i green[2],
                     __m128i blue[2]) {
        const __m128i b = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lumaLow, blue[0]), 14),
                                          _mm_srai_epi32(_mm_add_epi32(lumaHigh, blue[1]), 14));
        const __m128i g = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lumaLow, green[0]), 14),
                                          _mm_srai_epi32(_mm_add_epi32(lumaHigh, green[1]), 14));
        const __m128i r = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lumaLow, red[0]), 14),
                                          _mm_srai_epi32(_mm_add_epi32(lumaHigh, red[1]), 14));
        const __m128i blueRed = _mm_packus_epi16(b, r);
        const __m128i greenOpaque = _mm_packus_epi16(g, opaque);
        const __m128i bg = _mm_unpacklo_epi8(blueRed, greenOpaque);
        const __m128i ra = _mm_unpackhi_epi8(blueRed, greenOpaque);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(bg, ra));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(bg, ra));
    };
    // Each chroma term serves the two pixels of its column pair.
    auto spread = [](__m128i terms, __m128i out[2]) {
        out[0] = _mm_shuffle_epi32(terms, _MM_SHUFFLE(1, 1, 0, 0));
        out[1] = _mm_shuffle_epi32(terms, _MM_SHUFFLE(3, 3, 2, 2));
    };

    for (int x = 0; x + 8 <= width; x += 8) {
        int32_t u4, v4;
        std::memcpy(&u4, u + x / 2, 4);
        std::memcpy(&v4, v + x / 2, 4);
        const __m128i cu = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(u4), zero), chromaBias);
        const __m128i cv = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(v4), zero), chromaBias);
        const __m128i pairs = _mm_unpacklo_epi16(cu, cv);  // (u, v) per chroma sample
        __m128i red[2], green[2], blue[2];
        spread(_mm_madd_epi16(pairs, redFactors), red);
        spread(_mm_madd_epi16(pairs, greenFactors), green);
        spread(_mm_slli_epi32(_mm_madd_epi16(pairs, blueFactors), 1), blue);
        __m128i low, high;
        lumaTerms(luma0 + x, &low, &high);
        store(row0 + 4 * x, low, high, red, green, blue);
        lumaTerms(luma1 + x, &low, &high);
        store(row1 + 4 * x, low, high, red, green, blue);
    }
}

}  // namespace
#endif

void ConvertYuv420ToXrgb(const YuvPlanes& p, uint8_t* dest, int pitch, int width, int height) {
    if (!IsYuv420(p)) return;
    const YuvToRgbTables& t = YuvTables().tables;
    const uint8_t* clamp = t.clamp + kYuvClampBias;
    const int w = std::min(width, p.yWidth);
    const int h = std::min(height, p.yHeight);
    for (int y = 0; y < h; y += 2) {
        const uint8_t* luma0 = p.y + size_t(y) * p.yStride;
        const uint8_t* luma1 = luma0 + p.yStride;
        const uint8_t* u = p.u + size_t(y / 2) * p.chromaStride;
        const uint8_t* v = p.v + size_t(y / 2) * p.chromaStride;
        uint8_t* row0 = dest + size_t(y) * pitch;
        uint8_t* row1 = row0 + pitch;
        const bool secondRow = y + 1 < h;
        int x = 0;
#if defined(__SSE2__)
        if (secondRow) {
            ConvertBlocks420Sse2(luma0, luma1, u, v, row0, row1, w);
            x = w & ~7;
        }
#endif
        for (; x < w; x += 2) {
            const int32_t rv = t.vToRed[v[x / 2]];
            const int32_t guv = t.uToGreen[u[x / 2]] + t.vToGreen[v[x / 2]];
            const int32_t bu = t.uToBlue[u[x / 2]];
            const bool secondColumn = x + 1 < w;
            StoreTablePixel(row0 + 4 * x, clamp, t.luma[luma0[x]], rv, guv, bu);
            if (secondColumn) StoreTablePixel(row0 + 4 * x + 4, clamp, t.luma[luma0[x + 1]], rv, guv, bu);
            if (!secondRow) continue;
            StoreTablePixel(row1 + 4 * x, clamp, t.luma[luma1[x]], rv, guv, bu);
            if (secondColumn) StoreTablePixel(row1 + 4 * x + 4, clamp, t.luma[luma1[x + 1]], rv, guv, bu);
        }
    }
}

void ConvertYuvFloatToXrgb(const YuvPlanes& p, uint8_t* dest, int pitch, int width, int height) {
    if (p.chromaWidth <= 0 || p.chromaHeight <= 0) return;
    // Theora halves chroma in a direction or keeps it whole.
    const int xShift = p.chromaWidth < p.yWidth ? 1 : 0;
    const int yShift = p.chromaHeight < p.yHeight ? 1 : 0;
    const int w = std::min(width, p.yWidth);
    const int h = std::min(height, p.yHeight);
    for (int y = 0; y < h; ++y) {
        const int cy = std::min(y >> yShift, p.chromaHeight - 1);
        const uint8_t* luma = p.y + size_t(y) * p.yStride;
        const uint8_t* u = p.u + size_t(cy) * p.chromaStride;
        const uint8_t* v = p.v + size_t(cy) * p.chromaStride;
        uint8_t* row = dest + size_t(y) * pitch;
        for (int x = 0; x < w; ++x) {
            const int cx = std::min(x >> xShift, p.chromaWidth - 1);
            const float l = float(luma[x] - 16) * 1.164f;
            const float cb = float(u[cx] - 128);
            const float cr = float(v[cx] - 128);
            const float red = l + 1.596f * cr;
            const float green = l - 0.391f * cb - 0.813f * cr;
            const float blue = l + 2.018f * cb;
            StorePixel(row + 4 * x, ClampToByte(red), ClampToByte(green), ClampToByte(blue));
        }
    }
}

namespace {

// Packed 4:2:2 rows from a 4:2:0 picture: each pair of pixels becomes four
// bytes, at the offsets of Y0, U, Y1 and V within them.
void CopyPacked(const YuvPlanes& p, uint8_t* bits, int pitch, int width, int height, int y0At, int uAt, int y1At,
                int vAt) {
    const int w = std::min(width, p.yWidth) & ~1;
    const int h = std::min(height, p.yHeight);
    for (int y = 0; y < h; ++y) {
        const uint8_t* luma = p.y + size_t(y) * p.yStride;
        const uint8_t* u = p.u + size_t(y / 2) * p.chromaStride;
        const uint8_t* v = p.v + size_t(y / 2) * p.chromaStride;
        uint8_t* out = bits + size_t(y) * pitch;
        for (int x = 0; x < w; x += 2, out += 4) {
            out[y0At] = luma[x];
            out[uAt] = u[x / 2];
            out[y1At] = luma[x + 1];
            out[vAt] = v[x / 2];
        }
    }
}

void CopyRows(const uint8_t* source, int sourceStride, uint8_t* dest, int destPitch, int bytes, int rows) {
    for (int r = 0; r < rows; ++r)
        std::memcpy(dest + size_t(r) * destPitch, source + size_t(r) * sourceStride, size_t(bytes));
}

}  // namespace

bool CopyYuv420ToSurface(const YuvPlanes& p, uint32_t layout, uint8_t* bits, int pitch, int width, int height) {
    if (!IsYuv420(p)) return false;
    switch (layout) {
    case kFourCcYv12: {
        const int chromaPitch = pitch / 2;
        uint8_t* vPlane = bits + size_t(pitch) * height;
        uint8_t* uPlane = vPlane + size_t(chromaPitch) * (height / 2);
        const int cw = std::min(width / 2, p.chromaWidth);
        const int ch = std::min(height / 2, p.chromaHeight);
        CopyRows(p.y, p.yStride, bits, pitch, std::min(width, p.yWidth), std::min(height, p.yHeight));
        CopyRows(p.v, p.chromaStride, vPlane, chromaPitch, cw, ch);
        CopyRows(p.u, p.chromaStride, uPlane, chromaPitch, cw, ch);
        return true;
    }
    case kFourCcYuy2: CopyPacked(p, bits, pitch, width, height, 0, 1, 2, 3); return true;
    case kFourCcUyvy: CopyPacked(p, bits, pitch, width, height, 1, 0, 3, 2); return true;
    default: return false;
    }
}

}  // namespace morpotta
