// Writers of picture files that tests and the fuzz seed tool share: JPEG
// through libjpeg's compressor, and the TGA header.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace picturewriters {

// Compresses a picture whose rows fill(y, row) writes, components bytes a
// pixel in inSpace; configure adjusts the settings after the defaults.
template <typename Configure, typename Fill>
std::vector<unsigned char> CompressJpeg(int width, int height, int components, J_COLOR_SPACE inSpace,
                                        Configure configure, Fill fill) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = inSpace;
    jpeg_set_defaults(&cinfo);
    configure(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(size_t(width) * size_t(components));
    while (cinfo.next_scanline < cinfo.image_height) {
        fill(int(cinfo.next_scanline), row.data());
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<unsigned char> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// The 18-byte TGA header: a colour map of four 24-bit entries when mapped,
// rows top first when topDown, eight alpha bits with 32-bit pixels.
inline std::vector<uint8_t> TgaHeader(int type, int bits, int width, int height, bool topDown, bool mapped) {
    auto put16 = [](std::vector<uint8_t>& b, int v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    };
    std::vector<uint8_t> b = {0, uint8_t(mapped ? 1 : 0), uint8_t(type)};
    put16(b, 0);
    put16(b, mapped ? 4 : 0);
    b.push_back(mapped ? 24 : 0);
    put16(b, 0);
    put16(b, 0);
    put16(b, width);
    put16(b, height);
    b.push_back(uint8_t(bits));
    b.push_back(uint8_t((topDown ? 0x20 : 0) | (bits == 32 ? 8 : 0)));
    return b;
}

}  // namespace picturewriters
