// The rotated blit in Mpixel/s (items_per_second = source pixels drawn at
// the scale), each beside pixman's nearest-filter affine transform of the
// same image about the same centre, composited over the same box. And one
// 640x480 frame of mixed software draws, in ms.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <random>

#include "graphics/softimage/drawstate.h"
#include "softblit/softblit.h"

using namespace morpotta;

namespace {

constexpr int kSide = 256;
constexpr int kCentreX = 320, kCentreY = 240;

struct RotateScene {
    MEMIMG target{}, source{};
    pixman_image_t* pixTarget = nullptr;
    pixman_image_t* pixSource = nullptr;

    RotateScene(int kind, int w, int h, bool alpha) {
        CreateMemImg(&target, 640, 480, kind, 0, 0, 0);
        CreateMemImg(&source, w, h, kind, 0, alpha, 0x00FF00FF);
        std::mt19937 rng(11);
        for (int i = 0; i < source.base->pitch * h; ++i) source.base->pixelMemory[i] = static_cast<uint8_t>(rng());
        const pixman_format_code_t f = kind == 1 ? (alpha ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8) : PIXMAN_r5g6b5;
        pixSource = pixman_image_create_bits(f, w, h, reinterpret_cast<uint32_t*>(source.pixels), source.base->pitch);
        pixTarget = pixman_image_create_bits(kind == 1 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5, 640, 480,
                                             reinterpret_cast<uint32_t*>(target.pixels), target.base->pitch);
        BuildBlendTables();
        SetSoftwareDrawTarget(&target);
        ResetSoftwareDrawState();
    }
    ~RotateScene() {
        pixman_image_unref(pixSource);
        pixman_image_unref(pixTarget);
        SetSoftwareDrawTarget(nullptr);
        ReleaseMemImg(&source);
        ReleaseMemImg(&target);
    }
};

float Radians(int degrees) { return static_cast<float>(degrees * 3.14159265358979 / 180.0); }

void Finish(benchmark::State& state, double scale) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kSide * kSide * scale * scale));
}

// range(0): angle in degrees, range(1): scale in percent.
void RunRotate(benchmark::State& state, int kind, int mode, bool alpha, int trans) {
    const float angle = Radians(static_cast<int>(state.range(0)));
    const float scale = static_cast<float>(state.range(1)) / 100.0f;
    RotateScene scene(kind, kSide, kSide, alpha);
    SetBlendModeParam(mode, 128);
    for (auto _ : state) {
        RotateBlitMemImg(&scene.target, &scene.source, kCentreX, kCentreY, angle, scale, trans, 0, nullptr);
        benchmark::ClobberMemory();
    }
    Finish(state, scale);
}

void RunPixmanRotate(benchmark::State& state, int kind, pixman_op_t op, bool alpha) {
    const double angle = Radians(static_cast<int>(state.range(0)));
    const double scale = static_cast<double>(state.range(1)) / 100.0;
    RotateScene scene(kind, kSide, kSide, alpha);
    // Target pixel to source texel: turned back about the centre, divided by the scale.
    const double c = std::cos(angle) / scale, s = std::sin(angle) / scale;
    pixman_f_transform ft;
    ft.m[0][0] = c, ft.m[0][1] = s, ft.m[0][2] = kSide / 2 - (c * kCentreX + s * kCentreY);
    ft.m[1][0] = -s, ft.m[1][1] = c, ft.m[1][2] = kSide / 2 - (-s * kCentreX + c * kCentreY);
    ft.m[2][0] = 0, ft.m[2][1] = 0, ft.m[2][2] = 1;
    pixman_transform_t t;
    pixman_transform_from_pixman_f_transform(&t, &ft);
    pixman_image_set_transform(scene.pixSource, &t);
    pixman_image_set_filter(scene.pixSource, PIXMAN_FILTER_NEAREST, nullptr, 0);
    // The rotated image's bounding box, as the blit walks it.
    const double hw = kSide * scale / 2, extent = hw * (std::fabs(std::cos(angle)) + std::fabs(std::sin(angle)));
    const int left = std::max(0, static_cast<int>(kCentreX - extent) - 2);
    const int top = std::max(0, static_cast<int>(kCentreY - extent) - 2);
    const int right = std::min(640, static_cast<int>(kCentreX + extent) + 4);
    const int bottom = std::min(480, static_cast<int>(kCentreY + extent) + 4);
    for (auto _ : state) {
        pixman_image_composite32(op, scene.pixSource, nullptr, scene.pixTarget, left, top, 0, 0, left, top,
                                 right - left, bottom - top);
        benchmark::ClobberMemory();
    }
    Finish(state, scale);
}

void RotateCopy32(benchmark::State& s) { RunRotate(s, 1, BlendCopy, false, 0); }
void RotateKeyed32(benchmark::State& s) { RunRotate(s, 1, BlendCopy, false, 1); }
void PixmanAffineSrc32(benchmark::State& s) { RunPixmanRotate(s, 1, PIXMAN_OP_SRC, false); }
void RotateAlphaSource32(benchmark::State& s) { RunRotate(s, 1, BlendCopy, true, 1); }
void PixmanAffineOver32(benchmark::State& s) { RunPixmanRotate(s, 1, PIXMAN_OP_OVER, true); }
void RotateAlphaParam32(benchmark::State& s) { RunRotate(s, 1, BlendAlpha, false, 0); }
void RotateCopy16(benchmark::State& s) { RunRotate(s, 0, BlendCopy, false, 0); }
void PixmanAffineSrc16(benchmark::State& s) { RunPixmanRotate(s, 0, PIXMAN_OP_SRC, false); }

// One frame: a full-screen background, 60 keyed sprites, 20 alpha sprites,
// 12 rotated and scaled sprites and 6 doubled sprites, all 32-bit.
void FrameOfMixedDraws32(benchmark::State& state) {
    RotateScene scene(1, 640, 480, false);
    MEMIMG sprite{}, alphaSprite{};
    CreateMemImg(&sprite, 32, 32, 1, 0, 0, 0x00FF00FF);
    CreateMemImg(&alphaSprite, 32, 32, 1, 0, 1, 0);
    std::mt19937 rng(3);
    for (int i = 0; i < sprite.base->pitch * 32; ++i) sprite.base->pixelMemory[i] = static_cast<uint8_t>(rng());
    for (int i = 0; i < alphaSprite.base->pitch * 32; ++i)
        alphaSprite.base->pixelMemory[i] = static_cast<uint8_t>(rng());
    int frame = 0;
    for (auto _ : state) {
        ResetSoftwareDrawState();
        BlitMemImg(&scene.target, &scene.source, 0, 0, 0, nullptr);
        for (int n = 0; n < 60; ++n)
            BlitMemImg(&scene.target, &sprite, (n * 97 + frame) % 608, (n * 61) % 448, 1, nullptr);
        for (int n = 0; n < 20; ++n)
            BlitMemImg(&scene.target, &alphaSprite, (n * 131) % 608, (n * 37 + frame) % 448, 1, nullptr);
        SetBlendModeParam(BlendAlpha, 160);
        for (int n = 0; n < 12; ++n)
            RotateBlitMemImg(&scene.target, &sprite, 40 + (n * 53) % 560, 40 + (n * 89) % 400,
                             0.1f * static_cast<float>(n + frame), 1.0f + 0.1f * static_cast<float>(n % 5), 1, 0,
                             nullptr);
        SetBlendModeParam(BlendAdd, 200);
        for (int n = 0; n < 6; ++n) {
            const int x = (n * 101) % 576, y = (n * 71) % 416;
            const int rect[4] = {x, y, x + 64, y + 64};
            StretchBlitMemImg(&scene.target, &sprite, rect, 1, nullptr);
        }
        ++frame;
        benchmark::ClobberMemory();
    }
    ReleaseMemImg(&alphaSprite);
    ReleaseMemImg(&sprite);
}

void Angles(benchmark::internal::Benchmark* b) {
    for (int degrees : {0, 30, 90}) b->Args({degrees, 100});
    b->Args({30, 50});
    b->Args({30, 200});
}

}  // namespace

BENCHMARK(RotateCopy32)->Apply(Angles);
BENCHMARK(PixmanAffineSrc32)->Apply(Angles);
BENCHMARK(RotateKeyed32)->Apply(Angles);
BENCHMARK(RotateAlphaSource32)->Apply(Angles);
BENCHMARK(PixmanAffineOver32)->Apply(Angles);
BENCHMARK(RotateAlphaParam32)->Apply(Angles);
BENCHMARK(RotateCopy16)->Apply(Angles);
BENCHMARK(PixmanAffineSrc16)->Apply(Angles);
BENCHMARK(FrameOfMixedDraws32)->Unit(benchmark::kMillisecond);
