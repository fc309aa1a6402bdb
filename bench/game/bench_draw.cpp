// Drawn play frames of three fields: the largest generated stage with four
// cats and twelve enemies, a versus stage with four cats, and a 30 x 20
// checkerboard of lone blocks, each drawn with its body and all four faces
// (the most model draws a field of that size can ask for). All drawn by
// Stage::Draw with the game's own resources.
// BM_DrawPlayFrame* / BM_DrawVersusFrame* / BM_DrawCheckerboard*: the main
// thread's CPU time to submit one frame, on the recording device (the
// game's and the engine's work alone) and on GL (llvmpipe off screen: the
// driver's work on the main thread added, which includes its vertex
// stage). BM_WholeFrame*Gl: the wall time of a whole GL frame, submission,
// present and the wait until the rasteriser threads are done; run it with
// LP_NUM_THREADS=2 (under `taskset -c 0,1`) or 4 on an idle machine.
// Run from anywhere: the game starts in the build directory, where the
// content target wrote tpa/.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/engine.h"
#include "game/app/game_app.h"
#include "game/data/game_data.h"
#include "game/draw/draw_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/recording/recording.h"
#include "play_setup.h"

using namespace morpotta;

namespace {

enum class Field { Largest, Versus, Checkerboard };

class DrawnPlay {
public:
    DrawnPlay(const char* device, Field field) {
        std::filesystem::current_path(MORPOTTA_BUILD_DIR);
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        SetLogOutput(0);
        SetDoubleStartCheck(0);
        SetGraphicsDeviceChoice(device);
        app_ = std::make_unique<GameApp>(scene::Factory{});
        if (app_->startFailed || !HardwareRenderingActive()) return;
        playsim::Setup setup = field == Field::Versus ? benchplay::VersusSetup() : benchplay::FourPlayerSetup();
        setup.resources = app_->data.get();
        sim_ = std::make_unique<playsim::Simulator>(setup);
        Stage& st = sim_->stage();
        const int world = field == Field::Versus ? 2 : 0;
        st.blockSet = app_->data->blockModels[world];
        st.background = app_->data->sceneBackgrounds[world];
        st.gameData->transitionCount = 30;
        if (field == Field::Checkerboard) {
            st.grid.Reset(30, 20);
            for (int r = 0; r < 20; ++r)
                for (int c = r % 2; c < 30; c += 2) st.grid.Set(c, r, tile::kBlock);
        }
        if (field != Field::Versus) benchplay::FillEnemies(st, st.gameData);
        playsim::InputScript script;
        std::string error;
        script.Parse(field == Field::Versus ? benchplay::VersusInput() : benchplay::FourPlayerInput(), &error);
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

// One frame's submission, a function of its own so that a profiler can
// count the measured frames apart from the warm-up ones.
[[gnu::noinline]] void SubmitOneFrame(Stage& stage) {
    ClearDrawScreenToBackColor(nullptr);
    stage.Draw(1.0f);
}

// A few whole frames before the clock runs: the driver makes its shader
// variants on first use.
void WarmUp(DrawnPlay& play) {
    for (int i = 0; i < 3; ++i) {
        ClearDrawScreenToBackColor(nullptr);
        play.stage().Draw(1.0f);
        PresentFrame();
        FinishDevice();
    }
    ClearRecordedDeviceCalls();
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void Describe(benchmark::State& state) {
    const char* threads = std::getenv("LP_NUM_THREADS");
    state.SetLabel(std::string("LP_NUM_THREADS=") + (threads ? threads : "unset"));
}

void SubmitFrames(benchmark::State& state, const char* device, Field field) {
    DrawnPlay play(device, field);
    if (!play.ok()) {
        state.SkipWithError("the game did not start on this device (is tpa/ generated?)");
        return;
    }
    int models = 0;
    gamedraw::SetRecorder([&models](const gamedraw::Call& c) { models += c.kind == gamedraw::Call::kModel; });
    play.stage().Draw(1.0f);
    gamedraw::SetRecorder(nullptr);
    WarmUp(play);
    size_t deviceDraws = 0;
    for (auto _ : state) {
        SubmitOneFrame(play.stage());
        state.PauseTiming();
        deviceDraws = GetRecordedDraws().size();
        PresentFrame();
        FinishDevice();  // the rasteriser's work is not the submission's
        ClearRecordedDeviceCalls();  // the recording's own growth is not the frame's work
        state.ResumeTiming();
    }
    state.counters["model_draws"] = models;
    if (deviceDraws) state.counters["device_draws"] = double(deviceDraws);
}

// Wall time of whole frames; the main thread's CPU time per frame beside it.
void WholeFrames(benchmark::State& state, Field field) {
    DrawnPlay play("gl", field);
    if (!play.ok()) {
        state.SkipWithError("the game did not start on GL (is tpa/ generated?)");
        return;
    }
    Describe(state);
    WarmUp(play);
    const double processStart = ProcessCpuSeconds();
    for (auto _ : state) {
        SubmitOneFrame(play.stage());
        PresentFrame();
        FinishDevice();
    }
    // The rasteriser threads' work with the main thread's: what the frame
    // costs the machine, a figure that holds under load as wall time does not.
    const double frames = double(std::max<int64_t>(state.iterations(), 1));
    state.counters["all_threads_cpu_ms"] = (ProcessCpuSeconds() - processStart) * 1000.0 / frames;
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DrawPlayFrameRecording(benchmark::State& state) { SubmitFrames(state, "recording", Field::Largest); }
void BM_DrawPlayFrameGl(benchmark::State& state) { SubmitFrames(state, "gl", Field::Largest); }
void BM_DrawVersusFrameRecording(benchmark::State& state) { SubmitFrames(state, "recording", Field::Versus); }
void BM_DrawVersusFrameGl(benchmark::State& state) { SubmitFrames(state, "gl", Field::Versus); }
void BM_DrawCheckerboardRecording(benchmark::State& state) { SubmitFrames(state, "recording", Field::Checkerboard); }
void BM_DrawCheckerboardGl(benchmark::State& state) { SubmitFrames(state, "gl", Field::Checkerboard); }
void BM_WholeFramePlayGl(benchmark::State& state) { WholeFrames(state, Field::Largest); }
void BM_WholeFrameVersusGl(benchmark::State& state) { WholeFrames(state, Field::Versus); }

BENCHMARK(BM_DrawPlayFrameRecording)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawPlayFrameGl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawVersusFrameRecording)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawVersusFrameGl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawCheckerboardRecording)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawCheckerboardGl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeFramePlayGl)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WholeFrameVersusGl)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
