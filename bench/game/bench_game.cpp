// Start-up to the first title frame with all generated content (real window
// and GL device, real clock), and where that time goes: the loading of the
// game's models, pictures, sounds and fonts measured kind by kind. Run from
// anywhere: it works in the build directory, where the content target
// wrote tpa/.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "graphics/device/device.h"
#include "engine/font.h"
#include "engine/graph.h"
#include "engine/lifecycle.h"
#include "engine/log.h"
#include "engine/model.h"
#include "engine/sound.h"
#include "engine/window.h"
#include "game/app/game_app.h"
#include "manifest.h"

using namespace morpotta;

namespace {

void EnterBuildDirectory() {
    static bool entered = false;
    if (entered) return;
    std::filesystem::current_path(MORPOTTA_BUILD_DIR);
    entered = true;
}

void StartupToFirstTitleFrame(benchmark::State& state) {
    EnterBuildDirectory();
    for (auto _ : state) {
        SetLogOutput(0);
        auto app = std::make_unique<GameApp>();
        if (app->startFailed) {
            state.SkipWithError("the game did not start (is tpa/ generated?)");
            break;
        }
        while (app->scene != GameApp::kSceneTitle) app->RunFrame();
        app->RunFrame();  // the first title frame is drawn and presented
        state.PauseTiming();
        app.reset();
        ShutdownEngine();
        state.ResumeTiming();
    }
}
BENCHMARK(StartupToFirstTitleFrame)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The engine started as the game starts it, for loading one kind at a time.
class Engine {
public:
    Engine() {
        EnterBuildDirectory();
        SetLogOutput(0);
        ChangeWindowMode(1);
        SetScreenMode(640, 480, 32, 60);
        ok_ = InitializeEngine() == 0;
    }
    ~Engine() {
        if (ok_) ShutdownEngine();
    }
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// The models the game loads: the block models of the seven EX worlds once each.
std::vector<std::string> GameModelLoads() {
    std::vector<std::string> loads = ModelPaths();
    for (int world = 6; world < 12; ++world)
        for (int k = 0; k < 5; ++k) loads.push_back("tpa\\mapBlock3D\\map_blockEX_" + std::to_string(k) + ".mqo");
    return loads;
}

void LoadModels(benchmark::State& state) {
    Engine engine;
    const std::vector<std::string> loads = GameModelLoads();
    for (auto _ : state) {
        std::vector<int> models;
        for (const std::string& path : loads) models.push_back(LoadModelFile(path.c_str()));
        state.PauseTiming();
        for (int model : models) DeleteModel(model);
        state.ResumeTiming();
    }
    state.counters["files"] = double(loads.size());
}
BENCHMARK(LoadModels)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void LoadPictures(benchmark::State& state) {
    Engine engine;
    for (auto _ : state) {
        std::vector<int> graphs;
        for (const PictureSpec& picture : Pictures()) graphs.push_back(OpenGraphFile(picture.path.c_str(), 0));
        state.PauseTiming();
        for (int graph : graphs) DeleteGraphHandle(graph, 0);
        state.ResumeTiming();
    }
    state.counters["files"] = double(Pictures().size());
}
BENCHMARK(LoadPictures)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The largest picture: start-up reads it twice (the loading picture, then
// the boot scene's).
void LoadBootPicture(benchmark::State& state) {
    Engine engine;
    for (auto _ : state) {
        const int graph = OpenGraphFile("tpa\\mapScene\\nc6700.png", 0);
        state.PauseTiming();
        DeleteGraphHandle(graph, 0);
        state.ResumeTiming();
    }
}
BENCHMARK(LoadBootPicture)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void LoadSounds(benchmark::State& state) {
    Engine engine;
    std::vector<std::string> loads = SoundPaths();
    loads.push_back("tpa\\Music\\01.wav");
    for (auto _ : state) {
        std::vector<int> sounds;
        for (const std::string& path : loads) sounds.push_back(LoadSoundFile(path.c_str(), 3, -1));
        state.PauseTiming();
        for (int sound : sounds) DeleteSoundHandle(sound, 0);
        state.ResumeTiming();
    }
    state.counters["files"] = double(loads.size());
}
BENCHMARK(LoadSounds)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void CreateFonts(benchmark::State& state) {
    Engine engine;
    for (auto _ : state) {
        std::vector<int> fonts;
        for (int size = 16; size <= 34; size += 2) fonts.push_back(CreateFontToHandle(nullptr, size, 3, 3, -1, -1, 0, 0, 0));
        state.PauseTiming();
        for (int font : fonts) DeleteFontHandle(font);
        state.ResumeTiming();
    }
}
BENCHMARK(CreateFonts)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void StartAndEndEngine(benchmark::State& state) {
    for (auto _ : state) {
        Engine engine;
        if (!engine.ok()) state.SkipWithError("the engine did not start");
    }
}
BENCHMARK(StartAndEndEngine)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
