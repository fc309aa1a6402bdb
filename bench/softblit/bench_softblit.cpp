// Software blits in Mpixel/s (items_per_second = pixels drawn), each beside
// the nearest pixman composite (and memcpy for the plain copy) in the same
// run: compare the Blit* line with the Pixman* / Memcpy line of the same
// size.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <random>
#include <vector>

#include "graphics/softimage/drawstate.h"
#include "softblit/softblit.h"

namespace {

struct Scene {
    MEMIMG target{}, source{}, blend{};
    pixman_image_t* pixTarget = nullptr;
    pixman_image_t* pixSource = nullptr;
    int w, h;

    Scene(int kind, int w_, int h_, bool alpha, int targetW = 640, int targetH = 480) : w(w_), h(h_) {
        CreateMemImg(&target, targetW, targetH, kind, 0, 0, 0);
        CreateMemImg(&source, w, h, kind, 0, alpha, 0x00FF00FF);
        CreateMemImg(&blend, w, h, MEMIMG_KIND_8BIT, 0, 0, 0);
        std::mt19937 rng(7);
        for (int i = 0; i < source.base->pitch * h; ++i) source.base->pixelMemory[i] = static_cast<uint8_t>(rng());
        for (int i = 0; i < blend.base->pitch * h; ++i) blend.base->pixelMemory[i] = static_cast<uint8_t>(rng());
        for (int i = 0; i < target.base->pitch * targetH; ++i) target.base->pixelMemory[i] = static_cast<uint8_t>(rng());
        const pixman_format_code_t f = kind == 1 ? (alpha ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8) : PIXMAN_r5g6b5;
        // A 16-bit source with alpha has 4-byte pixels that pixman has no
        // format for; the 16-bit comparisons use plain sources.
        pixSource = pixman_image_create_bits(kind == 1 ? f : PIXMAN_r5g6b5, w, h,
                                             reinterpret_cast<uint32_t*>(source.pixels), source.base->pitch);
        pixTarget = pixman_image_create_bits(kind == 1 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5, targetW, targetH,
                                             reinterpret_cast<uint32_t*>(target.pixels), target.base->pitch);
        BuildBlendTables();
        BuildBlendLevelTable(128, 255);
        SetSoftwareDrawTarget(&target);
        ResetSoftwareDrawState();
    }
    ~Scene() {
        pixman_image_unref(pixSource);
        pixman_image_unref(pixTarget);
        SetSoftwareDrawTarget(nullptr);
        ReleaseMemImg(&blend);
        ReleaseMemImg(&source);
        ReleaseMemImg(&target);
    }
};

// Where sprite n of a run lands: spread over the screen.
int SpriteX(int n) { return (n * 97) % (640 - 32); }
int SpriteY(int n) { return (n * 61) % (480 - 32); }

void Finish(benchmark::State& state, int w, int h) {
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(w) * h);
}

// Our blit with a given state.
void RunBlit(benchmark::State& state, int kind, int mode, int p, bool alpha, bool tint, bool blend, int trans) {
    const int size = static_cast<int>(state.range(0));
    const int w = size == 0 ? 640 : 32, h = size == 0 ? 480 : 32;
    Scene scene(kind, w, h, alpha);
    SetBlendModeParam(mode, p);
    if (tint) SetDrawTint(200, 180, 160);
    const MEMIMG* blendImage = blend ? &scene.blend : nullptr;
    int n = 0;
    for (auto _ : state) {
        const int x = size == 0 ? 0 : SpriteX(n), y = size == 0 ? 0 : SpriteY(n);
        ++n;
        BlitMemImg(&scene.target, &scene.source, x, y, trans, blendImage);
        benchmark::ClobberMemory();
    }
    Finish(state, w, h);
}

void RunPixman(benchmark::State& state, int kind, pixman_op_t op, bool alpha) {
    const int size = static_cast<int>(state.range(0));
    const int w = size == 0 ? 640 : 32, h = size == 0 ? 480 : 32;
    Scene scene(kind, w, h, alpha);
    int n = 0;
    for (auto _ : state) {
        const int x = size == 0 ? 0 : SpriteX(n), y = size == 0 ? 0 : SpriteY(n);
        ++n;
        pixman_image_composite32(op, scene.pixSource, nullptr, scene.pixTarget, 0, 0, 0, 0, x, y, w, h);
        benchmark::ClobberMemory();
    }
    Finish(state, w, h);
}

// range(0): 0 = full screen 640x480, 1 = 32x32 sprites.
void BlitCopy32(benchmark::State& s) { RunBlit(s, 1, BlendCopy, 255, false, false, false, 0); }
void BlitCopyKeyed32(benchmark::State& s) { RunBlit(s, 1, BlendCopy, 255, false, false, false, 1); }
void PixmanSrc32(benchmark::State& s) { RunPixman(s, 1, PIXMAN_OP_SRC, false); }
void MemcpyCopy32(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const int w = size == 0 ? 640 : 32, h = size == 0 ? 480 : 32;
    Scene scene(1, w, h, false);
    uint8_t* const target = scene.target.pixels;
    const uint8_t* const source = scene.source.pixels;
    const ptrdiff_t targetPitch = scene.target.base->pitch, sourcePitch = scene.source.base->pitch;
    const size_t rowBytes = static_cast<size_t>(w) * 4;
    // The C library's memcpy itself: inlined, GCC would make it a slow
    // string move for short rows.
    void* (*volatile copyRow)(void*, const void*, size_t) = std::memcpy;
    int n = 0;
    for (auto _ : state) {
        const int x = size == 0 ? 0 : SpriteX(n), y = size == 0 ? 0 : SpriteY(n);
        ++n;
        uint8_t* d = target + y * targetPitch + 4 * x;
        const uint8_t* s = source;
        for (int row = 0; row < h; ++row, d += targetPitch, s += sourcePitch) copyRow(d, s, rowBytes);
        benchmark::ClobberMemory();
    }
    Finish(state, w, h);
}
// Per-pixel alpha source over the target, keyed (alpha 0 skipped).
void BlitAlphaSource32(benchmark::State& s) { RunBlit(s, 1, BlendCopy, 255, true, false, false, 1); }
void PixmanOver32(benchmark::State& s) { RunPixman(s, 1, PIXMAN_OP_OVER, true); }
// Constant-parameter alpha blend.
void BlitAlphaParam32(benchmark::State& s) { RunBlit(s, 1, BlendAlpha, 100, false, false, false, 0); }
void BlitAlphaTinted32(benchmark::State& s) { RunBlit(s, 1, BlendAlpha, 100, false, true, false, 0); }
void BlitAlphaBlendImage32(benchmark::State& s) { RunBlit(s, 1, BlendAlpha, 100, false, false, true, 0); }
void BlitAdd32(benchmark::State& s) { RunBlit(s, 1, BlendAdd, 255, false, false, false, 0); }
void BlitAddParam32(benchmark::State& s) { RunBlit(s, 1, BlendAdd, 200, false, false, false, 0); }
void PixmanAdd32(benchmark::State& s) { RunPixman(s, 1, PIXMAN_OP_ADD, false); }
void BlitCopy16(benchmark::State& s) { RunBlit(s, 0, BlendCopy, 255, false, false, false, 0); }
void PixmanSrc16(benchmark::State& s) { RunPixman(s, 0, PIXMAN_OP_SRC, false); }
void BlitPairedAdd16(benchmark::State& s) { RunBlit(s, 0, BlendAdd, 255, false, false, false, 0); }
void PixmanAdd16(benchmark::State& s) { RunPixman(s, 0, PIXMAN_OP_ADD, false); }

// Scaled: a 320x240 source doubled onto the whole screen, and a 640x480
// source mirrored left to right at its size.
void RunStretch(benchmark::State& state, int kind, bool mirrored) {
    const int w = mirrored ? 640 : 320, h = mirrored ? 480 : 240;
    Scene scene(kind, w, h, false);
    const int rect[4] = {mirrored ? 640 : 0, 0, mirrored ? 0 : 640, 480};
    for (auto _ : state) {
        StretchBlitMemImg(&scene.target, &scene.source, rect, 0, nullptr);
        benchmark::ClobberMemory();
    }
    Finish(state, 640, 480);
}

void RunPixmanStretch(benchmark::State& state, int kind, bool mirrored) {
    const int w = mirrored ? 640 : 320, h = mirrored ? 480 : 240;
    Scene scene(kind, w, h, false);
    pixman_transform_t t;
    if (mirrored) {
        pixman_transform_init_scale(&t, pixman_int_to_fixed(-1), pixman_int_to_fixed(1));
        pixman_transform_translate(&t, nullptr, pixman_int_to_fixed(640), 0);
    } else {
        pixman_transform_init_scale(&t, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
    }
    pixman_image_set_transform(scene.pixSource, &t);
    pixman_image_set_filter(scene.pixSource, PIXMAN_FILTER_NEAREST, nullptr, 0);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, scene.pixSource, nullptr, scene.pixTarget, 0, 0, 0, 0, 0, 0, 640, 480);
        benchmark::ClobberMemory();
    }
    Finish(state, 640, 480);
}

void BlitStretchDouble32(benchmark::State& s) { RunStretch(s, 1, false); }
void PixmanStretchDouble32(benchmark::State& s) { RunPixmanStretch(s, 1, false); }
void BlitStretchMirrored32(benchmark::State& s) { RunStretch(s, 1, true); }
void PixmanStretchMirrored32(benchmark::State& s) { RunPixmanStretch(s, 1, true); }
void BlitStretchDouble16(benchmark::State& s) { RunStretch(s, 0, false); }
void PixmanStretchDouble16(benchmark::State& s) { RunPixmanStretch(s, 0, false); }

}  // namespace

#define SIZES ->Arg(0)->Arg(1)
BENCHMARK(BlitCopy32) SIZES;
BENCHMARK(BlitCopyKeyed32) SIZES;
BENCHMARK(PixmanSrc32) SIZES;
BENCHMARK(MemcpyCopy32) SIZES;
BENCHMARK(BlitAlphaSource32) SIZES;
BENCHMARK(PixmanOver32) SIZES;
BENCHMARK(BlitAlphaParam32) SIZES;
BENCHMARK(BlitAlphaTinted32) SIZES;
BENCHMARK(BlitAlphaBlendImage32) SIZES;
BENCHMARK(BlitAdd32) SIZES;
BENCHMARK(BlitAddParam32) SIZES;
BENCHMARK(PixmanAdd32) SIZES;
BENCHMARK(BlitCopy16) SIZES;
BENCHMARK(PixmanSrc16) SIZES;
BENCHMARK(BlitPairedAdd16) SIZES;
BENCHMARK(PixmanAdd16) SIZES;
BENCHMARK(BlitStretchDouble32);
BENCHMARK(PixmanStretchDouble32);
BENCHMARK(BlitStretchMirrored32);
BENCHMARK(PixmanStretchMirrored32);
BENCHMARK(BlitStretchDouble16);
BENCHMARK(PixmanStretchDouble16);
