// Triangle fills and quadrilateral blits in Mpixel/s (items_per_second =
// pixels covered), beside pixman's triangle rasterisation (solid source,
// 8-bit mask) and its nearest-sampled affine composite of the same turned
// image where one applies.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstring>
#include <random>

#include "graphics/softimage/drawstate.h"
#include "softblit/softblit.h"

using namespace morpotta;

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr double kTurn = 0.5;  // radians

struct Stage {
    MEMIMG target{}, source{}, graph{};
    pixman_image_t* pixTarget = nullptr;
    pixman_image_t* pixSource = nullptr;

    Stage(int kind, int sourceSize, bool alpha) {
        CreateMemImg(&target, kWidth, kHeight, kind, 0, 0, 0);
        CreateMemImg(&source, sourceSize, sourceSize, kind, 0, alpha, 0x00FF00FF);
        CreateMemImg(&graph, sourceSize, sourceSize, MEMIMG_KIND_8BIT, 0, 0, 0);
        std::mt19937 rng(11);
        for (int i = 0; i < source.base->pitch * sourceSize; ++i) source.base->pixelMemory[i] = static_cast<uint8_t>(rng());
        for (int i = 0; i < graph.base->pitch * sourceSize; ++i) graph.base->pixelMemory[i] = static_cast<uint8_t>(rng());
        const pixman_format_code_t f = kind == 1 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5;
        pixTarget = pixman_image_create_bits(f, kWidth, kHeight, reinterpret_cast<uint32_t*>(target.pixels),
                                             target.base->pitch);
        if (!alpha)
            pixSource = pixman_image_create_bits(f, sourceSize, sourceSize, reinterpret_cast<uint32_t*>(source.pixels),
                                                 source.base->pitch);
        BuildBlendTables();
        BuildBlendLevelTable(128, 255);
        SetSoftwareDrawTarget(&target);
        ResetSoftwareDrawState();
    }
    ~Stage() {
        if (pixSource) pixman_image_unref(pixSource);
        pixman_image_unref(pixTarget);
        SetSoftwareDrawTarget(nullptr);
        ReleaseMemImg(&graph);
        ReleaseMemImg(&source);
        ReleaseMemImg(&target);
    }
    // Pixels that differ from zero; the target is cleared first.
    long Covered() const {
        long n = 0;
        const int bytes = target.base->pixelKind == MEMIMG_KIND_32BIT ? 4 : 2;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                uint32_t v = 0;
                std::memcpy(&v, target.pixels + y * target.base->pitch + x * bytes, bytes);
                n += v != 0;
            }
        return n;
    }
    void Clear() { std::memset(target.base->pixelMemory, 0, static_cast<size_t>(target.base->pitch) * kHeight); }
};

// The big triangle: most of the screen, edges at odd slopes.
const int kTriangle[12] = {20, 10, 0, 0, 630, 60, 0, 0, 90, 470, 0, 0};

// Corners of the source turned by kTurn and scaled by 1.5 about the screen centre.
void TurnedCorners(int size, int corners[8]) {
    const double c = std::cos(kTurn) * 1.5, s = std::sin(kTurn) * 1.5, h = size / 2.0;
    const double local[4][2] = {{-h, -h}, {h, -h}, {-h, h}, {h, h}};
    for (int i = 0; i < 4; ++i) {
        corners[2 * i] = static_cast<int>(std::lround(kWidth / 2 + local[i][0] * c - local[i][1] * s));
        corners[2 * i + 1] = static_cast<int>(std::lround(kHeight / 2 + local[i][0] * s + local[i][1] * c));
    }
}

void FlatTriangle(benchmark::State& state, int kind, int mode, int p) {
    Stage stage(kind, 4, false);
    stage.Clear();
    FillTexturedTriangleMemImg(&stage.target, nullptr, kTriangle, 0, nullptr, 0xFFFFFFFF);
    const long pixels = stage.Covered();
    SetBlendModeParam(mode, p);
    for (auto _ : state) {
        FillTexturedTriangleMemImg(&stage.target, nullptr, kTriangle, 0, nullptr, kind == 1 ? 0x00406080 : 0x4208);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * pixels);
}

void TexturedQuad(benchmark::State& state, int kind, int mode, int p, bool alpha, bool tint, bool graph, int trans) {
    Stage stage(kind, 256, alpha);
    int corners[8];
    TurnedCorners(256, corners);
    // Count with an opaque copy of a non-zero source.
    std::memset(stage.source.base->pixelMemory, 0xFF, static_cast<size_t>(stage.source.base->pitch) * 256);
    stage.Clear();
    QuadBlitMemImg(&stage.target, &stage.source, corners, 0, nullptr);
    const long pixels = stage.Covered();
    std::mt19937 rng(3);
    for (int i = 0; i < stage.source.base->pitch * 256; ++i) stage.source.base->pixelMemory[i] = static_cast<uint8_t>(rng());
    SetBlendModeParam(mode, p);
    if (tint) SetDrawTint(200, 180, 160);
    for (auto _ : state) {
        QuadBlitMemImg(&stage.target, &stage.source, corners, trans, graph ? &stage.graph : nullptr);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * pixels);
}

// Many small sprites turned by kTurn: the per-call set-up shows.
void SmallQuads(benchmark::State& state, int kind) {
    Stage stage(kind, 16, false);
    int corners[8];
    TurnedCorners(16, corners);
    stage.Clear();
    std::memset(stage.source.base->pixelMemory, 0xFF, static_cast<size_t>(stage.source.base->pitch) * 16);
    QuadBlitMemImg(&stage.target, &stage.source, corners, 0, nullptr);
    const long pixels = stage.Covered();
    int n = 0;
    for (auto _ : state) {
        const int dx = (n * 97) % 560 - 280, dy = (n * 61) % 400 - 200;
        ++n;
        int moved[8];
        for (int i = 0; i < 8; ++i) moved[i] = corners[i] + (i % 2 ? dy : dx);
        QuadBlitMemImg(&stage.target, &stage.source, moved, 0, nullptr);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * pixels);
}

pixman_triangle_t PixmanTriangle() {
    auto point = [](int i) {
        return pixman_point_fixed_t{pixman_double_to_fixed(kTriangle[4 * i] + 0.5),
                                    pixman_double_to_fixed(kTriangle[4 * i + 1] + 0.5)};
    };
    return {point(0), point(1), point(2)};
}

void PixmanTriangles(benchmark::State& state, int kind, pixman_op_t op) {
    Stage stage(kind, 4, false);
    stage.Clear();
    FillTexturedTriangleMemImg(&stage.target, nullptr, kTriangle, 0, nullptr, 0xFFFFFFFF);
    const long pixels = stage.Covered();
    const pixman_color_t colour = {0x8000, 0x6000, 0x4000, 0xFFFF};
    pixman_image_t* solid = pixman_image_create_solid_fill(&colour);
    const pixman_triangle_t tri = PixmanTriangle();
    for (auto _ : state) {
        pixman_composite_triangles(op, solid, stage.pixTarget, PIXMAN_a8, 0, 0, 0, 0, 1, &tri);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(solid);
    state.SetItemsProcessed(state.iterations() * pixels);
}

// The same turned and scaled image, nearest sampled, through an inverse
// affine transform over the whole target (pixels outside the source stay
// as they are with a transparent repeat-none border under OVER).
void PixmanTurnedImage(benchmark::State& state, int kind) {
    Stage stage(kind, 256, false);
    int corners[8];
    TurnedCorners(256, corners);
    std::memset(stage.source.base->pixelMemory, 0xFF, static_cast<size_t>(stage.source.base->pitch) * 256);
    stage.Clear();
    QuadBlitMemImg(&stage.target, &stage.source, corners, 0, nullptr);
    const long pixels = stage.Covered();
    pixman_transform_t t;
    pixman_transform_init_identity(&t);
    pixman_transform_translate(&t, nullptr, pixman_int_to_fixed(-kWidth / 2), pixman_int_to_fixed(-kHeight / 2));
    pixman_transform_rotate(&t, nullptr, pixman_double_to_fixed(std::cos(-kTurn)), pixman_double_to_fixed(std::sin(-kTurn)));
    pixman_transform_scale(&t, nullptr, pixman_double_to_fixed(1 / 1.5), pixman_double_to_fixed(1 / 1.5));
    pixman_transform_translate(&t, nullptr, pixman_int_to_fixed(128), pixman_int_to_fixed(128));
    pixman_image_set_transform(stage.pixSource, &t);
    pixman_image_set_filter(stage.pixSource, PIXMAN_FILTER_NEAREST, nullptr, 0);
    pixman_image_set_repeat(stage.pixSource, PIXMAN_REPEAT_NONE);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, stage.pixSource, nullptr, stage.pixTarget, 0, 0, 0, 0, 0, 0, kWidth,
                                 kHeight);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * pixels);
}

void FlatCopy32(benchmark::State& s) { FlatTriangle(s, 1, BlendCopy, 255); }
void FlatAlpha32(benchmark::State& s) { FlatTriangle(s, 1, BlendAlpha, 128); }
void FlatAdd32(benchmark::State& s) { FlatTriangle(s, 1, BlendAdd, 200); }
void PixmanTrianglesSrc32(benchmark::State& s) { PixmanTriangles(s, 1, PIXMAN_OP_SRC); }
void PixmanTrianglesAdd32(benchmark::State& s) { PixmanTriangles(s, 1, PIXMAN_OP_ADD); }
void FlatCopy16(benchmark::State& s) { FlatTriangle(s, 0, BlendCopy, 255); }
void FlatAlpha16(benchmark::State& s) { FlatTriangle(s, 0, BlendAlpha, 128); }
void FlatAdd16(benchmark::State& s) { FlatTriangle(s, 0, BlendAdd, 200); }
void PixmanTrianglesSrc16(benchmark::State& s) { PixmanTriangles(s, 0, PIXMAN_OP_SRC); }

void QuadCopy32(benchmark::State& s) { TexturedQuad(s, 1, BlendCopy, 255, false, false, false, 0); }
void QuadCopyKeyed32(benchmark::State& s) { TexturedQuad(s, 1, BlendCopy, 255, false, false, false, 1); }
void QuadAlphaSource32(benchmark::State& s) { TexturedQuad(s, 1, BlendCopy, 255, true, false, false, 1); }
void QuadAlphaParam32(benchmark::State& s) { TexturedQuad(s, 1, BlendAlpha, 128, false, false, false, 0); }
void QuadAlphaTintGraph32(benchmark::State& s) { TexturedQuad(s, 1, BlendAlpha, 128, true, true, true, 1); }
void QuadAdd32(benchmark::State& s) { TexturedQuad(s, 1, BlendAdd, 200, false, false, false, 0); }
void PixmanTurnedImage32(benchmark::State& s) { PixmanTurnedImage(s, 1); }
void QuadCopy16(benchmark::State& s) { TexturedQuad(s, 0, BlendCopy, 255, false, false, false, 0); }
void QuadAlphaParam16(benchmark::State& s) { TexturedQuad(s, 0, BlendAlpha, 128, false, false, false, 0); }
void QuadAdd16(benchmark::State& s) { TexturedQuad(s, 0, BlendAdd, 200, false, false, false, 0); }
void PixmanTurnedImage16(benchmark::State& s) { PixmanTurnedImage(s, 0); }
void SmallQuads32(benchmark::State& s) { SmallQuads(s, 1); }
void SmallQuads16(benchmark::State& s) { SmallQuads(s, 0); }

}  // namespace

BENCHMARK(FlatCopy32);
BENCHMARK(FlatAlpha32);
BENCHMARK(FlatAdd32);
BENCHMARK(PixmanTrianglesSrc32);
BENCHMARK(PixmanTrianglesAdd32);
BENCHMARK(FlatCopy16);
BENCHMARK(FlatAlpha16);
BENCHMARK(FlatAdd16);
BENCHMARK(PixmanTrianglesSrc16);
BENCHMARK(QuadCopy32);
BENCHMARK(QuadCopyKeyed32);
BENCHMARK(QuadAlphaSource32);
BENCHMARK(QuadAlphaParam32);
BENCHMARK(QuadAlphaTintGraph32);
BENCHMARK(QuadAdd32);
BENCHMARK(PixmanTurnedImage32);
BENCHMARK(QuadCopy16);
BENCHMARK(QuadAlphaParam16);
BENCHMARK(QuadAdd16);
BENCHMARK(PixmanTurnedImage16);
BENCHMARK(SmallQuads32);
BENCHMARK(SmallQuads16);
