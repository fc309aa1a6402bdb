// Text on the software screen: the line of the device-path text benchmark
// (twenty kanji and kana in a 24-pixel edged font, glyphs already cached),
// drawn by an engine started without a graphics device.
#include <benchmark/benchmark.h>

#include "engine/engine.h"
#include "engine/font.h"
#include "engine/screen.h"
#include "graphics/device/device.h"
#include "graphics/softimage/drawstate.h"
#include "platform/clock.h"

using namespace morpotta;

namespace {

void SoftwareTextLine(benchmark::State& state) {
    platform::UseVirtualClock(true);
    SetLogOutput(0);
    if (SetWindowBackend("headless") != 0 || SetGraphicsDeviceChoice("none") != 0 || InitializeEngine() != 0) {
        state.SkipWithError("the engine did not start without a device");
        return;
    }
    const int font = CreateFontToHandle(nullptr, 24, -1, kFontTypeAntialias | kFontTypeEdge, -1, 1, 0, -1, -1);
    const char* text = "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x95\xb6\x8e\x9a\x97\xf1\x82\xf0\x95\x60\x82\xad"
                       "\x83\x65\x83\x58\x83\x67\x82\xc5\x82\xb7\x81\x42\x82\xa0\x82\xa2\x82\xa4\x82\xa6";
    SetBlendModeParam(static_cast<int>(state.range(0)), 200);
    DrawTextWithFont(0, 0, text, 0xFFFFFFFFu, font, 0xFF000000u, 0);
    for (auto _ : state) DrawTextWithFont(0, 100, text, 0xFFFFFFFFu, font, 0xFF000000u, 0);
    state.SetItemsProcessed(int64_t(state.iterations()) * 20);
    ShutdownEngine();
    SetGraphicsDeviceChoice("auto");
    SetWindowBackend("sdl2");
    platform::UseVirtualClock(false);
}

}  // namespace

BENCHMARK(SoftwareTextLine)->Arg(BlendCopy)->Arg(BlendAlpha)->Arg(BlendAdd)->Unit(benchmark::kMicrosecond);
