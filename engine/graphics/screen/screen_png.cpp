// The draw screen saved as a PNG file, for tests and tools that need to
// look at a frame. The picture is encoded in memory and stored as the
// engine stores the files it keeps (WriteFileDurably): whole or not at all,
// never through a FIFO, a device or a link to one, and a failed write
// leaves what stood at the path as it was.
#include "engine/files.h"
#include "engine/log.h"
#include "engine/screen.h"
#include "foundation/engine_thread.h"
#include "graphics/device/device.h"
#include "graphics/graphics_internal.h"

#include <png.h>

#include <csetjmp>
#include <new>
#include <vector>

using namespace morpotta;

namespace {

void AppendBytes(png_structp png, png_bytep data, size_t size) {
    auto* out = static_cast<std::vector<png_byte>*>(png_get_io_ptr(png));
    bool appended = true;
    try {
        out->insert(out->end(), data, data + size);
    } catch (const std::bad_alloc&) {
        appended = false;
    }
    if (!appended) png_error(png, "out of memory");
}

// libpng long-jumps out on error; nothing with a destructor lives in here.
bool EncodeRows(std::vector<png_byte>* out, png_bytep* rows, int width, int height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, out, AppendBytes, nullptr);
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
    std::vector<png_byte> file;
    if (!EncodeRows(&file, rows.data(), w, h))
        return WriteLogFormat("SaveDrawScreenToPng refused: the picture could not be encoded (%s is kept as it was)",
                              path);
    // Below 0 the write failed and left the path as it was; 0 and above it
    // has stored the whole picture, or will (its folder flushed or not).
    if (WriteFileDurably(path, file.data(), file.size()) >= 0) return 0;
    return WriteLogFormat("SaveDrawScreenToPng refused: %s (%s is kept as it was)", GetDurableWriteError(), path);
}
