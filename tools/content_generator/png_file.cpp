#include "png_file.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <memory>

namespace {

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

struct ReadCursor {
    const std::vector<uint8_t>* bytes;
    size_t position;
};

void ReadFromVector(png_structp png, png_bytep data, png_size_t length) {
    auto* cursor = static_cast<ReadCursor*>(png_get_io_ptr(png));
    if (cursor->position + length > cursor->bytes->size()) png_error(png, "truncated file");
    std::memcpy(data, cursor->bytes->data() + cursor->position, length);
    cursor->position += length;
}

void SilentWarning(png_structp, png_const_charp) {}

}  // namespace

std::vector<uint8_t> EncodePng(const Image& image) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, AppendToVector, NoFlush);
    png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, image.pixels.data() + size_t(y) * size_t(image.width) * 4);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

bool DecodePng(const std::vector<uint8_t>& bytes, Image* out, std::string* error) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) {
        *error = "not a PNG file";
        return false;
    }
    // libpng reports errors by longjmp, which skips destructors: everything
    // with one lives in this block, made before setjmp and freed after.
    struct Decoding {
        Image image;
        std::vector<png_bytep> rows;
    };
    auto decoding = std::make_unique<Decoding>();
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, SilentWarning);
    png_infop info = png_create_info_struct(png);
    static thread_local char message[128];
    message[0] = '\0';
    png_set_error_fn(png, nullptr,
                     [](png_structp p, png_const_charp text) {
                         std::strncpy(message, text, sizeof message - 1);
                         message[sizeof message - 1] = '\0';
                         png_longjmp(p, 1);
                     },
                     SilentWarning);
    ReadCursor cursor{&bytes, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        *error = message[0] ? message : "damaged PNG";
        return false;
    }
    png_set_read_fn(png, &cursor, ReadFromVector);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    int width = int(png_get_image_width(png, info));
    int height = int(png_get_image_height(png, info));
    decoding->image = Image(width, height);
    decoding->rows.resize(size_t(height));
    for (int y = 0; y < height; ++y) {
        decoding->rows[size_t(y)] = decoding->image.pixels.data() + size_t(y) * size_t(width) * 4;
    }
    png_read_image(png, decoding->rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    *out = std::move(decoding->image);
    return true;
}
