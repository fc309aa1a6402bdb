// What the engine's thread pays per call, on the software path: a picture's
// size asked, and a small turned billboard drawn. The figures that count are
// exact instructions per call, taken under callgrind (the Ir of the call,
// inclusive, over its number of calls):
//   valgrind --tool=callgrind ./bench_graphics --benchmark_filter='Bm(GraphSize|SmallBillboard)'
#include "engine/engine.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
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

}  // namespace

BENCHMARK(BmGraphSize);
BENCHMARK(BmSmallBillboard);
