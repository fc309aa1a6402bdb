// Picture decoding through the engine's readers against the libraries
// called directly on the same bytes, and draw calls per second of the
// recording and the GL device.
#include "engine/baseimage.h"
#include "engine/log.h"
#include "graphics/device/device.h"
#include "platform/window.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

using namespace morpotta;

namespace {

constexpr int kSide = 512;

std::vector<uint32_t> TestPicture() {
    std::vector<uint32_t> p(size_t(kSide) * kSide);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            p[size_t(y) * kSide + x] = 0xFF000000u | uint32_t((x * 7) & 255) << 16 | uint32_t((y * 3) & 255) << 8 |
                                       uint32_t(((x ^ y) * 5) & 255);
    return p;
}

void Append(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

const std::vector<unsigned char>& PngBytes() {
    static std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> out;
        auto p = TestPicture();
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(png, &out, Append, nullptr);
        png_set_IHDR(png, info, kSide, kSide, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<unsigned char> row(kSide * 4);
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                uint32_t c = p[size_t(y) * kSide + x];
                row[x * 4] = c >> 16, row[x * 4 + 1] = c >> 8, row[x * 4 + 2] = c, row[x * 4 + 3] = c >> 24;
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        return out;
    }();
    return bytes;
}

const std::vector<unsigned char>& JpegBytes() {
    static std::vector<unsigned char> bytes = [] {
        auto p = TestPicture();
        jpeg_compress_struct c;
        jpeg_error_mgr e;
        c.err = jpeg_std_error(&e);
        jpeg_create_compress(&c);
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&c, &buffer, &size);
        c.image_width = kSide;
        c.image_height = kSide;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 90, TRUE);
        jpeg_start_compress(&c, TRUE);
        std::vector<unsigned char> row(kSide * 3);
        while (c.next_scanline < kSide) {
            for (int x = 0; x < kSide; ++x) {
                uint32_t v = p[size_t(c.next_scanline) * kSide + x];
                row[x * 3] = v >> 16, row[x * 3 + 1] = v >> 8, row[x * 3 + 2] = v;
            }
            JSAMPROW r = row.data();
            jpeg_write_scanlines(&c, &r, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::vector<unsigned char> out(buffer, buffer + size);
        std::free(buffer);
        return out;
    }();
    return bytes;
}

void ThroughReaders(benchmark::State& state, const std::vector<unsigned char>& bytes) {
    SetLogOutput(0);
    for (auto _ : state) {
        BASEIMAGE image;
        if (ReadImageToBaseImage(nullptr, bytes.data(), bytes.size(), 1, &image, 0) != 0) state.SkipWithError("decode");
        benchmark::DoNotOptimize(image.pixels);
        FreeBaseImagePixels(&image);
    }
    // Throughput in decoded megabytes.
    state.SetBytesProcessed(int64_t(state.iterations()) * kSide * kSide * 4);
}

void BM_PngThroughReaders(benchmark::State& state) { ThroughReaders(state, PngBytes()); }
void BM_JpegThroughReaders(benchmark::State& state) { ThroughReaders(state, JpegBytes()); }

void BM_PngDirect(benchmark::State& state) {
    const auto& bytes = PngBytes();
    for (auto _ : state) {
        // A fresh picture each time, as the readers make one.
        std::vector<unsigned char> pixels(size_t(kSide) * kSide * 4);
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        png_image_begin_read_from_memory(&image, bytes.data(), bytes.size());
        image.format = PNG_FORMAT_BGRA;
        png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kSide * kSide * 4);
}

void BM_JpegDirect(benchmark::State& state) {
    const auto& bytes = JpegBytes();
    for (auto _ : state) {
        std::vector<unsigned char> pixels(size_t(kSide) * kSide * 3);
        jpeg_decompress_struct d;
        jpeg_error_mgr e;
        d.err = jpeg_std_error(&e);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, bytes.data(), bytes.size());
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_EXT_BGR;  // the byte order the engine's readers produce
        jpeg_start_decompress(&d);
        while (d.output_scanline < d.output_height) {
            JSAMPROW r = pixels.data() + size_t(d.output_scanline) * kSide * 3;
            jpeg_read_scanlines(&d, &r, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kSide * kSide * 4);
}

struct Vertex {
    float x, y, z, rhw;
    uint32_t diffuse;
};

// Small quads from memory, each its own draw call, with one state change in
// between as 2-D drawing does.
void DrawCalls(benchmark::State& state, const char* device) {
    SetLogOutput(0);
    bool gl = std::strcmp(device, "gl") == 0;
    if (gl) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        platform::SelectWindowBackend("sdl2");
        platform::WindowDesc desc;
        desc.withGl = true;
        desc.visible = false;
        if (platform::Window().open(desc) != 0) {
            state.SkipWithError("no GL window");
            return;
        }
    }
    if (CreateGraphicsDevice(device) != 0) {
        state.SkipWithError("no device");
        if (gl) platform::Window().close();
        return;
    }
    SendDeviceFvf(DEVICE_FVF_XYZRHW | DEVICE_FVF_DIFFUSE);
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
    SendDeviceStageState(0, DEVICE_TSS_COLORARG1, DEVICE_TA_DIFFUSE);
    Vertex v[4] = {{10, 10, 0.5f, 1, 0xFFFF0000u}, {42, 10, 0.5f, 1, 0xFFFF0000u},
                   {10, 42, 0.5f, 1, 0xFFFF0000u}, {42, 42, 0.5f, 1, 0xFFFF0000u}};
    int i = 0;
    for (auto _ : state) {
        SendDeviceRenderState(DEVICE_RS_TEXTUREFACTOR, uint32_t(i++));
        DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLESTRIP, 2, v, sizeof(Vertex));
    }
    if (gl) {
        uint32_t pixel;
        ReadDevicePixels(0, 0, 1, 1, &pixel);  // waits for the queued draws
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    ReleaseGraphicsDevice();
    if (gl) platform::Window().close();
}

void BM_DrawCallsRecording(benchmark::State& state) { DrawCalls(state, "recording"); }
void BM_DrawCallsGl(benchmark::State& state) { DrawCalls(state, "gl"); }

}  // namespace

BENCHMARK(BM_PngThroughReaders)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegThroughReaders)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawCallsRecording)->Iterations(200000);
BENCHMARK(BM_DrawCallsGl)->Iterations(50000);
