// What the engine's thread pays per call, on the software path: a picture's
// size asked, and a small turned billboard drawn. The figures that count are
// exact instructions per call, taken under callgrind (the Ir of the call,
// inclusive, over its number of calls):
//   valgrind --tool=callgrind ./bench_graphics --benchmark_filter='Bm(GraphSize|SmallBillboard|SettingGetters)'
// One engine life (start-up, 64 small pictures and a line of text, a frame,
// shut-down), the Ir of InitializeEngine and ShutdownEngine over 20 lives:
//   valgrind --tool=callgrind ./bench_graphics --benchmark_filter=BmEngineLife
// And how long the engine's thread waits for a small picture, a small
// model and a sound played of its own while a loader thread opens a large
// picture, loads a large model or a long sound, beside the time one such
// load takes:
//   ./bench_graphics --benchmark_filter=BmEngineThreadWaitUnderLoader
#include "engine/engine.h"
#include "mqo_writer.h"
#include "wave_writer.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

namespace {

// An engine on the headless window and the software path, started in a
// folder of its own (no log), for the whole benchmark.
class SoftwareEngine {
public:
    SoftwareEngine() {
        char folder[] = "/tmp/bench-engine-calls-XXXXXX";
        if (!mkdtemp(folder) || chdir(folder) != 0) return;
        folder_ = folder;
        SetLogOutput(0);
        SetWindowBackend("headless");
        SetGraphicsDeviceChoice("none");
        SetSoundDeviceBackend("null");
        started_ = InitializeEngine() == 0;
    }
    ~SoftwareEngine() {
        if (started_) ShutdownEngine();
        if (!folder_.empty()) {
            std::string command = "rm -rf '" + folder_ + "'";
            if (std::system(command.c_str()) != 0) return;
        }
    }
    bool started() const { return started_; }

private:
    std::string folder_;
    bool started_ = false;
};

// A 16 x 16 picture of two colours.
int MakePicture() {
    BASEIMAGE image;
    if (CreateBaseImageXrgb32(16, 16, &image) != 0) return -1;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            SetBaseImagePixel(&image, x, y, (x ^ y) & 4 ? 255 : 40, 120, (x + y) & 8 ? 200 : 30, 255);
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    FreeBaseImagePixels(&image);
    return graph;
}

void BmGraphSize(benchmark::State& state) {
    SoftwareEngine engine;
    const int graph = engine.started() ? MakePicture() : -1;
    if (graph == -1) {
        state.SkipWithError("no engine on the software path");
        return;
    }
    int width = 0, height = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetGraphDimensions(graph, &width, &height));
        benchmark::DoNotOptimize(width);
    }
}

// A billboard some 17 pixels across, turned by 0.3 radians, at the screen's
// middle.
void BmSmallBillboard(benchmark::State& state) {
    SoftwareEngine engine;
    const int graph = engine.started() ? MakePicture() : -1;
    const float eye[3] = {0, 0, -100}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0}, at[3] = {0, 0, 0};
    if (graph == -1 || SetCameraEyeTargetUp(eye, target, up) != 0) {
        state.SkipWithError("no engine on the software path");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(DrawGraphBillboard3D(at, 0.5f, 0.5f, 4.0f, 0.3f, graph, 0, 0));
}

// The getters of the settings pictures and sounds are made with, which
// loaders read on any thread.
void BmSettingGetters(benchmark::State& state) {
    SoftwareEngine engine;
    if (!engine.started()) {
        state.SkipWithError("no engine on the software path");
        return;
    }
    int red = 0, green = 0, blue = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetTransColorEnabled());
        benchmark::DoNotOptimize(GetTransparentColorRGB(&red, &green, &blue));
        benchmark::DoNotOptimize(GetSoundCreateType());
        benchmark::DoNotOptimize(GetSoundReaderMask());
    }
}

void BmEngineLife(benchmark::State& state) {
    char folder[] = "/tmp/bench-engine-life-XXXXXX";
    if (!mkdtemp(folder) || chdir(folder) != 0) {
        state.SkipWithError("no folder to run in");
        return;
    }
    SetLogOutput(0);
    SetWindowBackend("headless");
    SetGraphicsDeviceChoice("none");
    SetSoundDeviceBackend("null");
    for (auto _ : state) {
        if (InitializeEngine() != 0) {
            state.SkipWithError("no engine on the software path");
            break;
        }
        for (int i = 0; i < 64; ++i) benchmark::DoNotOptimize(MakePicture());
        const int font = CreateFontToHandle(nullptr, 16, 3, 0, -1, -1, 0, 0, 0);
        DrawTextWithFont(10, 10, "life", 0xFFFFFFFF, font, 0xFF000000, 0);
        PresentFrame();
        ShutdownEngine();
    }
    const std::string command = std::string("rm -rf '") + folder + "'";
    if (std::system(command.c_str()) != 0) state.SkipWithError("the folder stays");
}

constexpr int kLargeSide = 3000;

// A 3000 x 3000 RGB picture of soft gradients and a fine pattern, written
// as PNG into the working folder.
bool WriteLargePng(const char* path) {
    std::vector<unsigned char> rgb(size_t(kLargeSide) * kLargeSide * 3);
    for (int y = 0; y < kLargeSide; ++y)
        for (int x = 0; x < kLargeSide; ++x) {
            unsigned char* p = &rgb[(size_t(y) * kLargeSide + x) * 3];
            p[0] = static_cast<unsigned char>(x * 255 / kLargeSide);
            p[1] = static_cast<unsigned char>(y * 255 / kLargeSide);
            p[2] = static_cast<unsigned char>((x ^ y) & 0x3F);
        }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kLargeSide;
    image.height = kLargeSide;
    image.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, path, 0, rgb.data(), 0, nullptr) != 0;
}

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A grid of 200,000 triangles, the size of a large scene.
bool WriteLargeModel(const char* path) {
    std::ofstream(path, std::ios::binary) << WriteMqo(MakeMqoGrid(200000, true));
    return bool(std::ifstream(path));
}

// 170 seconds of a stereo 44.1 kHz tone: near the longest a sound is held
// whole.
bool WriteLongSound(const char* path) {
    constexpr int kRate = 44100, kSeconds = 170;
    std::vector<uint8_t> pcm(size_t(kRate) * kSeconds * 4);
    for (size_t i = 0; i < pcm.size() / 2; ++i) {
        const int16_t v = int16_t((i * 97) % 20000 - 10000);
        pcm[2 * i] = uint8_t(v);
        pcm[2 * i + 1] = uint8_t(uint16_t(v) >> 8);
    }
    const std::vector<uint8_t> wave = wavewriter::MakeWave(pcm, kRate, 2, 16);
    return bool(std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(wave.data()), wave.size()));
}

// What a loader loads, and how it lets it go again.
struct LargeLoad {
    const char* file;
    bool (*write)(const char* path);
    int (*load)(const char* path);
    int (*unload)(int handle);
};

const LargeLoad kLargePicture{"large.png", WriteLargePng, [](const char* p) { return OpenGraphFile(p, 0); },
                              [](int h) { return DeleteGraphHandle(h, 0); }};
const LargeLoad kLargeModel{"large.mqo", WriteLargeModel, LoadModelFile, DeleteModel};
const LargeLoad kLongSound{"long.wav", WriteLongSound, [](const char* p) { return LoadSoundFile(p, 1); },
                           [](int h) { return DeleteSoundHandle(h); }};

constexpr int kLoadsPerRound = 4;

// Per round a loader loads the large file kLoadsPerRound times (letting
// each go) while the engine's thread runs frames that each make and delete
// an 8 x 8 picture, load and delete a small model and play and stop a short
// sound. The longest of each call in all rounds (picture_ms, model_ms,
// sound_ms, their own work included) and of them all (longest_wait_ms) are
// given beside one_load_ms, one load of the large file with no other
// thread busy.
void BmEngineThreadWaitUnderLoader(benchmark::State& state, const LargeLoad& large) {
    SoftwareEngine engine;
    const std::vector<uint8_t> beep = wavewriter::SilentWave(100);
    std::ofstream("small.mqo", std::ios::binary) << WriteMqo(MakeMqoSquare(10, true));
    const int own = engine.started() ? CreateSoundHandleFromImage(beep.data(), int(beep.size()), 1) : -1;
    if (own == -1 || !large.write(large.file)) {
        state.SkipWithError("no engine on the software path, or no file to load");
        return;
    }
    double oneLoad = 0;
    std::thread([&] {
        const Clock::time_point start = Clock::now();
        const int handle = large.load(large.file);
        oneLoad = MillisecondsSince(start);
        large.unload(handle);
    }).join();
    ProcessWindowMessages();
    double longest[3] = {0, 0, 0};
    auto timed = [&](double& slot, auto call) {
        const Clock::time_point start = Clock::now();
        const int result = call();
        slot = std::max(slot, MillisecondsSince(start));
        return result;
    };
    for (auto _ : state) {
        std::atomic<bool> done{false};
        std::thread loader([&] {
            for (int i = 0; i < kLoadsPerRound; ++i) large.unload(large.load(large.file));
            done = true;
        });
        while (!done.load()) {
            ProcessWindowMessages();
            DeleteGraphHandle(timed(longest[0], [] { return MakeBlankGraph(8, 8, 0); }), 0);
            DeleteModel(timed(longest[1], [] { return LoadModelFile("small.mqo"); }));
            timed(longest[2], [&] { return PlaySoundHandle(own, kPlayTypeBack); });
            StopSoundHandle(own);
        }
        loader.join();
        ProcessWindowMessages();
    }
    state.counters["picture_ms"] = longest[0];
    state.counters["model_ms"] = longest[1];
    state.counters["sound_ms"] = longest[2];
    state.counters["longest_wait_ms"] = *std::max_element(longest, longest + 3);
    state.counters["one_load_ms"] = oneLoad;
}

}  // namespace

BENCHMARK(BmGraphSize);
BENCHMARK(BmSmallBillboard);
BENCHMARK(BmSettingGetters);
BENCHMARK(BmEngineLife)->Iterations(20);
BENCHMARK_CAPTURE(BmEngineThreadWaitUnderLoader, picture, kLargePicture)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BmEngineThreadWaitUnderLoader, model, kLargeModel)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BmEngineThreadWaitUnderLoader, sound, kLongSound)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
