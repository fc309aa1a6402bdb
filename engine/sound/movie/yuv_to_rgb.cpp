// YUV to RGB for movie frames: the video-range conversion as integer tables
// for 4:2:0 pictures, in floats for the other chroma layouts, and the copies
// into the YUV surface layouts.
#include "sound/movie/yuv_to_rgb.h"

#include "foundation/subsystems.h"

#include <algorithm>
#include <cstring>

namespace {

YuvToRgbTables tables;

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
        tables.luma[i] = 19070 * (i - 16);
        tables.vToRed[i] = 26148 * (i - 128);
        tables.uToGreen[i] = -6406 * (i - 128);
        tables.vToGreen[i] = -13320 * (i - 128);
        tables.uToBlue[i] = 33062 * (i - 128);
    }
    for (int i = 0; i < 1280; ++i) tables.clamp[i] = uint8_t(std::clamp(i - kYuvClampBias, 0, 255));
    return 0;
}

const YuvToRgbTables& GetYuvToRgbTables() { return tables; }

void subsystems::BuildMovieColourTables() { BuildYuvToRgbTables(); }

bool IsYuv420(const YuvPlanes& p) {
    return p.yWidth == 2 * p.chromaWidth && p.yHeight == 2 * p.chromaHeight;
}

void ConvertYuv420ToXrgb(const YuvPlanes& p, uint8_t* dest, int pitch, int width, int height) {
    if (!IsYuv420(p)) return;
    const YuvToRgbTables& t = tables;
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
        for (int x = 0; x < w; x += 2) {
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
