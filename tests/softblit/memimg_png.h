// Pixel access and PNG output for software images in tests: pictures are
// saved for a look by eye.
#pragma once
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "softblit/softblit.h"

using namespace morpotta;

namespace softtest {

inline uint32_t ReadPixel(const MEMIMG& m, int x, int y) {
    uint32_t v = 0;
    std::memcpy(&v, m.pixels + y * m.base->pitch + x * m.base->formatDesc->bytesPerPixel,
                m.base->formatDesc->bytesPerPixel);
    return v;
}

inline void WritePixel(MEMIMG& m, int x, int y, uint32_t v) {
    std::memcpy(m.pixels + y * m.base->pitch + x * m.base->formatDesc->bytesPerPixel, &v,
                m.base->formatDesc->bytesPerPixel);
}

inline bool SavePng(const MEMIMG& m, const std::filesystem::path& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, m.width, m.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(static_cast<size_t>(m.width) * 3);
    for (int y = 0; y < m.height; ++y) {
        for (int x = 0; x < m.width; ++x) {
            const uint32_t v = ReadPixel(m, x, y);
            uint32_t r, g, b;
            if (m.base->pixelKind == MEMIMG_KIND_32BIT) {
                r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
            } else {
                r = ((v >> 11) & 31) * 255 / 31, g = ((v >> 5) & 63) * 255 / 63, b = (v & 31) * 255 / 31;
            }
            row[3 * x] = static_cast<uint8_t>(r), row[3 * x + 1] = static_cast<uint8_t>(g),
                    row[3 * x + 2] = static_cast<uint8_t>(b);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

// Colour in the image's kind from 8-bit channels.
inline uint32_t Colour(int kind, uint32_t r, uint32_t g, uint32_t b) {
    if (kind == MEMIMG_KIND_32BIT) return (r << 16) | (g << 8) | b;
    return ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3);
}

}  // namespace softtest
