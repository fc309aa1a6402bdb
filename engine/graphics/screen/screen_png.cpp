// The draw screen saved as a PNG file, for tests and tools that need to
// look at a frame.
#include "engine/log.h"
#include "engine/screen.h"
#include "foundation/engine_thread.h"
#include "graphics/device/device.h"
#include "graphics/graphics_internal.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

using namespace morpotta;

namespace {

// libpng long-jumps out on error; nothing with a destructor lives in here.
bool WriteRows(FILE* file, png_bytep* rows, int width, int height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

int SaveDrawScreenToPng(const char* path) {
    const PublicCall call("SaveDrawScreenToPng");
    if (!AllowOnlyOnEngineThread() || !CheckGraphicsRunning()) return -1;
    if (!path) return WriteLogText("SaveDrawScreenToPng refused: no file name (null)");
    const int w = kDeviceTargetWidth, h = kDeviceTargetHeight;
    std::vector<uint32_t> argb(size_t(w) * size_t(h));
    if (ReadDrawScreenPixels(argb.data()) != 0) return -1;
    std::vector<png_byte> rgb(size_t(w) * size_t(h) * 3);
    std::vector<png_bytep> rows(static_cast<size_t>(h));
    for (size_t i = 0; i < argb.size(); ++i) {
        rgb[i * 3] = png_byte(argb[i] >> 16), rgb[i * 3 + 1] = png_byte(argb[i] >> 8), rgb[i * 3 + 2] = png_byte(argb[i]);
    }
    for (int y = 0; y < h; ++y) rows[size_t(y)] = rgb.data() + size_t(y) * size_t(w) * 3;
    FILE* file = std::fopen(path, "wb");
    if (!file) return WriteLogFormat("Cannot create \"%s\" in SaveDrawScreenToPng", path);
    const bool written = WriteRows(file, rows.data(), w, h);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(path);
        return WriteLogFormat("Writing \"%s\" failed in SaveDrawScreenToPng", path);
    }
    return 0;
}
