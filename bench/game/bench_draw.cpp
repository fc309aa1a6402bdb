// CPU time to submit one drawn play frame: the largest generated stage with
// four cats and twelve enemies, drawn by Stage::Draw with the game's own
// resources, on the recording device (the game's and the engine's work
// alone) and on GL (llvmpipe off screen: the driver's work added). Also a
// 30 x 20 checkerboard of lone blocks, each drawn with its body and all
// four faces: the most model draws a field of that size can ask for.
// Run from anywhere: the game starts in the build directory, where the
// content target wrote tpa/.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "engine/engine.h"
#include "game/app/game_app.h"
#include "game/data/game_data.h"
#include "game/draw/draw_calls.h"
#include "graphics/device/recording/recording.h"
#include "play_setup.h"

namespace {

class DrawnPlay {
public:
    DrawnPlay(const char* device, bool checkerboard) {
        std::filesystem::current_path(MORPOTTA_BUILD_DIR);
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        SetLogOutput(0);
        SetDoubleStartCheck(0);
        SetGraphicsDeviceChoice(device);
        app_ = std::make_unique<GameApp>(scene::Factory{});
        if (app_->startFailed || !HardwareRenderingActive()) return;
        playsim::Setup setup = benchplay::FourPlayerSetup();
        setup.resources = app_->data.get();
        sim_ = std::make_unique<playsim::Simulator>(setup);
        Stage& st = sim_->stage();
        st.blockSet = app_->data->blockModels[0];
        st.background = app_->data->sceneBackgrounds[0];
        st.gameData->transitionCount = 30;
        if (checkerboard) {
            st.grid.Reset(30, 20);
            for (int r = 0; r < 20; ++r)
                for (int c = r % 2; c < 30; c += 2) st.grid.Set(c, r, tile::kBlock);
        }
        benchplay::FillEnemies(st, st.gameData);
        playsim::InputScript script;
        std::string error;
        script.Parse(benchplay::FourPlayerInput(), &error);
        for (int f = 0; f < 200; ++f) sim_->Step(&script);  // past the ready and go phases, cats spread
    }
    ~DrawnPlay() {
        sim_.reset();
        app_.reset();
        ShutdownEngine();
        SetGraphicsDeviceChoice("auto");
        SetDoubleStartCheck(1);
    }
    bool ok() const { return sim_ && sim_->loaded(); }
    Stage& stage() { return sim_->stage(); }

private:
    std::unique_ptr<GameApp> app_;
    std::unique_ptr<playsim::Simulator> sim_;
};

void SubmitFrames(benchmark::State& state, const char* device, bool checkerboard) {
    DrawnPlay play(device, checkerboard);
    if (!play.ok()) {
        state.SkipWithError("the game did not start on this device (is tpa/ generated?)");
        return;
    }
    int models = 0;
    gamedraw::SetRecorder([&models](const gamedraw::Call& c) { models += c.kind == gamedraw::Call::kModel; });
    play.stage().Draw(1.0f);
    gamedraw::SetRecorder(nullptr);
    ClearRecordedDeviceCalls();
    size_t deviceDraws = 0;
    for (auto _ : state) {
        ClearDrawScreenToBackColor(nullptr);
        play.stage().Draw(1.0f);
        state.PauseTiming();
        deviceDraws = GetRecordedDraws().size();
        PresentFrame();
        ClearRecordedDeviceCalls();  // the recording's own growth is not the frame's work
        state.ResumeTiming();
    }
    state.counters["model_draws"] = models;
    if (deviceDraws) state.counters["device_draws"] = double(deviceDraws);
}

void BM_DrawPlayFrameRecording(benchmark::State& state) { SubmitFrames(state, "recording", false); }
void BM_DrawPlayFrameGl(benchmark::State& state) { SubmitFrames(state, "gl", false); }
void BM_DrawCheckerboardRecording(benchmark::State& state) { SubmitFrames(state, "recording", true); }
void BM_DrawCheckerboardGl(benchmark::State& state) { SubmitFrames(state, "gl", true); }

BENCHMARK(BM_DrawPlayFrameRecording)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawPlayFrameGl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawCheckerboardRecording)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawCheckerboardGl)->Unit(benchmark::kMillisecond);

}  // namespace
