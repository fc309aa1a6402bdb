// PNG reader through libpng: a read function over the stream, errors
// returned by long jump, every picture turned into 8-bit BGR or BGRA.
#include "graphics/image/image_internal.h"

#include "engine/log.h"
#include "foundation/public_call.h"

#include <png.h>

#include <csetjmp>

using namespace morpotta;

namespace {

void ReadPngFromStream(png_structp png, png_bytep data, png_size_t length) {
    auto* s = static_cast<StreamData*>(png_get_io_ptr(png));
    if (!ReadImageBytes(s, data, length)) png_error(png, "truncated");
}

void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_bytep* rows = nullptr;
    ~PngRead() {
        FreeMemory(rows);
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

// Everything between setjmp and the end stays in this function, with no
// object whose destructor a long jump could skip.
int DecodePng(PngRead& r, StreamData* s, BASEIMAGE* image) {
    if (setjmp(png_jmpbuf(r.png))) {
        FreeBaseImagePixels(image);
        return -1;
    }
    png_set_read_fn(r.png, s, ReadPngFromStream);
    png_set_user_limits(r.png, kMaxImageDimension, kMaxImageDimension);
    png_set_sig_bytes(r.png, 8);
    png_read_info(r.png, r.info);
    png_uint_32 width = png_get_image_width(r.png, r.info), height = png_get_image_height(r.png, r.info);
    if (!ImageSizeAcceptable(width, height)) return -1;
    // Deflate expands at most 1032 times: a short file cannot hold a picture
    // larger than that, so it is refused before the picture is allocated.
    int64_t remaining = RemainingImageBytes(s);
    int64_t rawBytes = (int64_t(png_get_rowbytes(r.png, r.info)) + 1) * int64_t(height);
    if (remaining >= 0 && rawBytes > remaining * 1032 + 65536) return -1;
    int colorType = png_get_color_type(r.png, r.info);
    png_set_expand(r.png);
    png_set_strip_16(r.png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(r.png);
    png_set_bgr(r.png);
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    int channels = png_get_channels(r.png, r.info);
    if (channels != 3 && channels != 4) return -1;
    PixelFormatDesc format;
    if (channels == 4) SetPixelFormatArgb32(&format);
    else SetPixelFormatRgb24(&format);
    if (CreateBaseImageWithFormat(int(width), int(height), &format, image) != 0) return -1;
    r.rows = static_cast<png_bytep*>(ENGINE_ALLOC(sizeof(png_bytep) * height));
    if (!r.rows) {
        FreeBaseImagePixels(image);
        return -1;
    }
    for (png_uint_32 y = 0; y < height; ++y) r.rows[y] = ImageRow(image, int(y));
    png_read_image(r.png, r.rows);
    png_read_end(r.png, nullptr);
    return 0;
}

}  // namespace

int ReadPngImage(StreamData* s, BASEIMAGE* image) {
    const PublicCall call("ReadPngImage");
    if (CheckReaderArguments(s, image) != 0) return -1;
    unsigned char signature[8];
    if (!ReadImageBytes(s, signature, sizeof signature) || png_sig_cmp(signature, 0, 8) != 0)
        return DeclineImage("PNG");
    PngRead r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!r.png) return Refuse("PNG: reader could not be made");
    r.info = png_create_info_struct(r.png);
    if (!r.info) return Refuse("PNG: reader could not be made");
    if (DecodePng(r, s, image) != 0) return Refuse("PNG: damaged or truncated picture");
    return 0;
}
