// What the engine's thread pays per call, on the software path: a picture's
// size asked, and a small turned billboard drawn. The figures that count are
// exact instructions per call, taken under callgrind (the Ir of the call,
// inclusive, over its number of calls):
//   valgrind --tool=callgrind ./bench_graphics --benchmark_filter='Bm(GraphSize|SmallBillboard)'
// And how long the engine's thread waits for a small picture of its own
// while a loader thread opens a large one, beside the time one open takes.
#include "engine/engine.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
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

constexpr int kLargeSide = 3000;
constexpr int kOpensPerRound = 4;

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

// Per round a loader opens the large picture kOpensPerRound times (letting
// each go) while the engine's thread runs frames that each make and delete
// an 8 x 8 picture; longest_wait_ms is the longest such call of all rounds,
// one_open_ms one open of the large picture with no other thread busy.
void BmEngineThreadWaitUnderLoader(benchmark::State& state) {
    SoftwareEngine engine;
    if (!engine.started() || !WriteLargePng("large.png")) {
        state.SkipWithError("no engine on the software path, or no picture");
        return;
    }
    double oneOpen = 0;
    std::thread([&] {
        const Clock::time_point start = Clock::now();
        const int picture = OpenGraphFile("large.png", 0);
        oneOpen = MillisecondsSince(start);
        DeleteGraphHandle(picture, 0);
    }).join();
    ProcessWindowMessages();
    double longestWait = 0;
    for (auto _ : state) {
        std::atomic<bool> done{false};
        std::thread loader([&] {
            for (int i = 0; i < kOpensPerRound; ++i) DeleteGraphHandle(OpenGraphFile("large.png", 0), 0);
            done = true;
        });
        while (!done.load()) {
            ProcessWindowMessages();
            const Clock::time_point start = Clock::now();
            const int own = MakeBlankGraph(8, 8, 0);
            longestWait = std::max(longestWait, MillisecondsSince(start));
            DeleteGraphHandle(own, 0);
        }
        loader.join();
        ProcessWindowMessages();
    }
    state.counters["longest_wait_ms"] = longestWait;
    state.counters["one_open_ms"] = oneOpen;
}

}  // namespace

BENCHMARK(BmGraphSize);
BENCHMARK(BmSmallBillboard);
BENCHMARK(BmEngineThreadWaitUnderLoader)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
