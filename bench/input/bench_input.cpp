// The input work of one message pass, and the queries the game makes per
// frame, with the scripted devices of a four-player game.
#include "engine/engine.h"
#include "engine/input.h"
#include "platform/clock.h"
#include "platform/input.h"

#include <benchmark/benchmark.h>

#include <filesystem>

using namespace morpotta;

namespace {

struct ScriptedEngine {
    ScriptedEngine() {
        previous = std::filesystem::current_path();
        std::filesystem::current_path(std::filesystem::temp_directory_path());
        SetLogOutput(0);
        SetWindowBackend("headless");
        SetInputBackend("scripted");
        platform::UseVirtualClock(true);
        platform::ResetInputScript();
        using K = platform::ScriptedInputKind;
        for (int d = 0; d < 4; ++d) {
            platform::ScriptInputAtFrame(0, {K::JoystickAttach, d, 2, 12, 0});
            platform::ScriptInputAtFrame(0, {K::ControllerAttach, d, 0, 0, 0});
        }
        for (int k = 0x10; k < 0x1A; ++k) platform::ScriptInputAtFrame(0, {K::Key, 0, k, 1, 0});
        InitializeEngine();
    }
    ~ScriptedEngine() {
        ShutdownEngine();
        platform::UseVirtualClock(false);
        std::filesystem::current_path(previous);
    }
    std::filesystem::path previous;
};

void BM_MessagePass(benchmark::State& state) {
    ScriptedEngine engine;
    for (auto _ : state) benchmark::DoNotOptimize(ProcessWindowMessages());
}
BENCHMARK(BM_MessagePass);

void BM_FrameOfQueries(benchmark::State& state) {
    ScriptedEngine engine;
    unsigned char keys[256];
    for (auto _ : state) {
        int sum = QueryKeyState(KEYCODE_F12);
        QueryAllKeyStates(keys);
        for (int pad = 1; pad <= 4; ++pad) sum += QueryPadButtons(pad);
        for (uint32_t i = 0; i < 4; ++i) {
            platform::GamePadState s;
            sum += int(platform::GetGamePadState(i, &s));
        }
        int x, y;
        GetMousePosition(&x, &y);
        sum += ReadMouseButtons() + GetMouseWheelCount(1) + keys[0x10];
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_FrameOfQueries);

void BM_SdlKeyTableRead(benchmark::State& state) {
    platform::SelectInputBackend("sdl2");
    const platform::InputBackend& in = platform::Input();
    in.open();
    in.handleEvent({platform::EventType::KeyDown, 69});
    uint8_t keys[platform::kKeyCount];
    for (auto _ : state) {
        in.readKeys(keys);
        benchmark::DoNotOptimize(keys);
    }
    in.close();
}
BENCHMARK(BM_SdlKeyTableRead);

}  // namespace
