// Writers the tests use to make their own fixtures and screenshots.
#include "graphics_test_util.h"
#include "picture_writers.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void NoFlush(png_structp) {}

}  // namespace

// colorType: PNG_COLOR_TYPE_RGB, _RGBA, _GRAY, _GRAY_ALPHA or _PALETTE (first
// 256 distinct colours); bitDepth 8 or 16.
std::vector<unsigned char> EncodePng(const uint32_t* argb, int width, int height, int colorType, int bitDepth) {
    std::vector<unsigned char> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, AppendToVector, NoFlush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bitDepth, colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<uint32_t> palette;
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < width * height; ++i) {
            uint32_t c = argb[i] & 0xFFFFFFu;
            bool found = false;
            for (uint32_t p : palette) found |= p == c;
            if (!found && palette.size() < 256) palette.push_back(c);
        }
        std::vector<png_color> entries;
        for (uint32_t p : palette) entries.push_back(png_color{png_byte(p >> 16), png_byte(p >> 8), png_byte(p)});
        png_set_PLTE(png, info, entries.data(), int(entries.size()));
    }
    png_write_info(png, info);
    int channels = colorType == PNG_COLOR_TYPE_RGB ? 3 : colorType == PNG_COLOR_TYPE_RGBA ? 4
                   : colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
    int bytes = bitDepth / 8;
    std::vector<unsigned char> row(size_t(width) * size_t(channels) * size_t(bytes));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t c = argb[y * width + x];
            unsigned char v[4];
            int n = 0;
            unsigned char r = c >> 16, g = c >> 8, b = c, a = c >> 24;
            if (colorType == PNG_COLOR_TYPE_PALETTE) {
                for (size_t i = 0; i < palette.size(); ++i)
                    if (palette[i] == (c & 0xFFFFFFu)) v[n++] = (unsigned char)(i);
            } else if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
                v[n++] = g;
                if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA) v[n++] = a;
            } else {
                v[n++] = r, v[n++] = g, v[n++] = b;
                if (colorType == PNG_COLOR_TYPE_RGBA) v[n++] = a;
            }
            for (int k = 0; k < n; ++k)
                for (int byte = 0; byte < bytes; ++byte) row[(size_t(x) * channels + k) * bytes + byte] = v[k];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

int WritePngFile(const std::string& path, const uint32_t* argb, int width, int height, bool withAlpha) {
    std::vector<unsigned char> bytes =
        EncodePng(argb, width, height, withAlpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, 8);
    if (bytes.empty()) return -1;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return -1;
    size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return written == bytes.size() ? 0 : -1;
}

using picturewriters::CompressJpeg;

std::vector<unsigned char> EncodeJpeg(const uint32_t* argb, int width, int height, int quality) {
    return CompressJpeg(
        width, height, 3, JCS_RGB, [&](jpeg_compress_struct* cinfo) { jpeg_set_quality(cinfo, quality, TRUE); },
        [&](int y, unsigned char* row) {
            for (int x = 0; x < width; ++x) {
                uint32_t c = argb[y * width + x];
                row[x * 3] = c >> 16, row[x * 3 + 1] = c >> 8, row[x * 3 + 2] = c;
            }
        });
}

std::vector<unsigned char> EncodeJpegInks(const uint32_t* argb, int width, int height, int colourSpace,
                                          bool adobeMarker) {
    auto configure = [&](jpeg_compress_struct* cinfo) {
        jpeg_set_colorspace(cinfo, J_COLOR_SPACE(colourSpace));
        cinfo->write_Adobe_marker = adobeMarker ? TRUE : FALSE;
        jpeg_set_quality(cinfo, 100, TRUE);
        for (int i = 0; i < cinfo->num_components; ++i)
            cinfo->comp_info[i].h_samp_factor = cinfo->comp_info[i].v_samp_factor = 1;
    };
    return CompressJpeg(width, height, 4, JCS_CMYK, configure, [&](int y, unsigned char* row) {
        for (int x = 0; x < width; ++x) {
            uint32_t c = argb[y * width + x];
            int light[3] = {int(c >> 16 & 255), int(c >> 8 & 255), int(c & 255)};
            int most = std::max({light[0], light[1], light[2]});
            unsigned char* ink = row + size_t(x) * 4;
            // Black takes what all three share; each ink the rest of its channel.
            ink[3] = uint8_t(255 - most);
            for (int i = 0; i < 3; ++i) ink[i] = uint8_t(most ? 255 - (light[i] * 255 + most / 2) / most : 0);
            if (adobeMarker)
                for (int i = 0; i < 4; ++i) ink[i] = uint8_t(255 - ink[i]);
        }
    });
}
