// YUV to RGB for movie frames: the integer tables of the video-range
// conversion (terms in units of 1/16384, built once at engine start-up), the
// 4:2:0 kernel that uses them, the float kernel for the other chroma
// layouts, and the copies of a 4:2:0 picture into the YUV surface layouts.
#pragma once
#include <cstdint>

namespace morpotta {

// The tables. Each term is factor x 16384 x (sample - offset); the clamp
// table maps -512..767 onto 0..255.
struct YuvToRgbTables {
    int32_t luma[256];        // 19070 x (i - 16)
    int32_t vToRed[256];      // 26148 x (i - 128)
    int32_t uToGreen[256];    // -6406 x (i - 128)
    int32_t vToGreen[256];    // -13320 x (i - 128)
    int32_t uToBlue[256];     // 33062 x (i - 128)
    uint8_t clamp[1280];      // index value + 512
};
constexpr int kYuvClampBias = 512;

int BuildYuvToRgbTables();  // 0
const YuvToRgbTables& GetYuvToRgbTables();

// One decoded picture: three top-down planes, each row `stride` bytes
// after the one above it.
struct YuvPlanes {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    int yWidth, yHeight, yStride;
    int chromaWidth, chromaHeight, chromaStride;
};

// 1 when the chroma planes are half the luma plane in both directions.
bool IsYuv420(const YuvPlanes& planes);

// Writes the picture as bytes blue, green, red, 255 into the rows of dest
// (width x height pixels, pitch bytes per row). Only the part that both the
// picture and the destination cover is written.
// 4:2:0 through the tables, per 2x2 block of luma with one chroma sample.
void ConvertYuv420ToXrgb(const YuvPlanes& planes, uint8_t* dest, int pitch, int width, int height);
// Any layout in single-precision floats; the chroma sample of a pixel is
// found by the planes' own subsampling in each direction.
void ConvertYuvFloatToXrgb(const YuvPlanes& planes, uint8_t* dest, int pitch, int width, int height);

// YUV surface layouts, as four-character codes.
constexpr uint32_t MakeFourCc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t kFourCcYv12 = MakeFourCc('Y', 'V', '1', '2');
constexpr uint32_t kFourCcYuy2 = MakeFourCc('Y', 'U', 'Y', '2');
constexpr uint32_t kFourCcUyvy = MakeFourCc('U', 'Y', 'V', 'Y');

// Copies a 4:2:0 picture into locked surface memory of the given layout
// (width x height pixels, pitch bytes per luma row):
//   YV12: the Y rows at the pitch, then the V rows and the U rows at half
//         the pitch;
//   YUY2: per pair of pixels Y0 U Y1 V, both rows of a pair sharing chroma;
//   UYVY: likewise U Y0 V Y1.
// false when the layout is unknown or the planes are not 4:2:0.
bool CopyYuv420ToSurface(const YuvPlanes& planes, uint32_t layout, uint8_t* bits, int pitch, int width, int height);

}  // namespace morpotta
