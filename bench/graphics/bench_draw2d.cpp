// 2-D drawing on the GL device: a frame of batched sprites, and a line of
// Japanese text from the glyph cache.
#include "engine/draw2d.h"
#include "engine/font.h"
#include "engine/graph.h"
#include "engine/log.h"
#include "graphics/device/device.h"
#include "graphics/device/devicestate.h"
#include "graphics/softimage/drawstate.h"
#include "platform/window.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

using namespace morpotta;

namespace {

bool OpenGl(benchmark::State& state) {
    SetLogOutput(0);
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    platform::SelectWindowBackend("sdl2");
    platform::WindowDesc desc;
    desc.withGl = true;
    desc.visible = false;
    if (platform::Window().open(desc) != 0 || CreateGraphicsDevice("gl") != 0) {
        state.SkipWithError("no GL device");
        return false;
    }
    BuildBlendTables();
    ResetSoftwareDrawState();
    return true;
}

void CloseGl() {
    DeleteAllFonts();
    DeleteAllGraphs();
    ReleaseGraphicsDevice();
    ResetDeviceStateCache();
    platform::Window().close();
}

void WaitForGpu() {
    uint32_t pixel;
    FlushPendingDraws();
    ReadDevicePixels(0, 0, 1, 1, &pixel);
}

// 1000 alpha-blended 16 x 16 sprites of one picture per iteration.
void BM_SpriteFrame(benchmark::State& state) {
    if (!OpenGl(state)) return;
    BASEIMAGE image;
    CreateBaseImageXrgb32(16, 16, &image);
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    FreeBaseImagePixels(&image);
    SetBlendModeParam(BlendAlpha, 128);
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) DrawGraphAt((i * 37) % 624, (i * 53) % 464, graph, 1);
        WaitForGpu();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 1000);
    CloseGl();
}

// Twenty kanji and kana in a 24-pixel edged font, glyphs already cached.
void BM_TextLine(benchmark::State& state) {
    if (!OpenGl(state)) return;
    const int font = CreateFontToHandle(nullptr, 24, -1, kFontTypeAntialias | kFontTypeEdge, -1, 1, 0, -1, -1);
    const char* text = "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x95\xb6\x8e\x9a\x97\xf1\x82\xf0\x95\x60\x82\xad"
                       "\x83\x65\x83\x58\x83\x67\x82\xc5\x82\xb7\x81\x42\x82\xa0\x82\xa2\x82\xa4\x82\xa6";
    DrawTextWithFont(0, 0, text, 0xFFFFFFFFu, font, 0xFF000000u, 0);
    for (auto _ : state) {
        DrawTextWithFont(0, 100, text, 0xFFFFFFFFu, font, 0xFF000000u, 0);
        WaitForGpu();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 20);
    CloseGl();
}

}  // namespace

BENCHMARK(BM_SpriteFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextLine)->Unit(benchmark::kMicrosecond);
