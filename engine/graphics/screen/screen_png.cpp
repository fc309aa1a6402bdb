// The draw screen saved as a PNG file, for tests and tools that need to
// look at a frame. The picture is encoded in memory and stored as the
// engine stores the files it keeps (WriteFileDurably): whole or not at all,
// only over a regular file (never into a FIFO or a device, nor through a
// symbolic link), and a failed write leaves what stood at the path as it
// was.
#include "engine/files.h"
#include "engine/log.h"
#include "engine/screen.h"
#include "foundation/engine_thread.h"
#include "graphics/device/device.h"
#include "graphics/graphics_internal.h"

#include <png.h>

#include <vector>

using namespace morpotta;

int SaveDrawScreenToPng(const char* path) {
    const PublicCall call("SaveDrawScreenToPng");
    if (!AllowOnlyOnEngineThread() || !CheckGraphicsRunning()) return -1;
    if (!path) return RefuseNull("file name");
    const int w = kDeviceTargetWidth, h = kDeviceTargetHeight;
    std::vector<uint32_t> argb(size_t(w) * size_t(h));
    if (ReadDrawScreenPixels(argb.data()) != 0) return -1;
    std::vector<png_byte> rgb(size_t(w) * size_t(h) * 3);
    for (size_t i = 0; i < argb.size(); ++i) {
        rgb[i * 3] = png_byte(argb[i] >> 16), rgb[i * 3 + 1] = png_byte(argb[i] >> 8), rgb[i * 3 + 2] = png_byte(argb[i]);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(w), image.height = png_uint_32(h), image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    std::vector<png_byte> file;
    const bool sized = png_image_write_get_memory_size(image, size, 0, rgb.data(), 0, nullptr);
    if (sized) file.resize(size);
    if (!sized || !png_image_write_to_memory(&image, file.data(), &size, 0, rgb.data(), 0, nullptr))
        return Refuse("the picture could not be encoded (%s is kept as it was)", path);
    // Below 0 the write failed, said so in this call's name and left the
    // path as it was; 0 and above it has stored the whole picture, or will
    // (its folder flushed or not).
    return WriteFileDurably(path, file.data(), size) >= 0 ? 0 : -1;
}
