// Conversion of generated meshes and normal generation around one
// position of high valence.
#include <benchmark/benchmark.h>

#include <cmath>

#include "engine/memory.h"
#include "model/convert/convert.h"
#include "model/convert/mesh_prepare.h"
#include "model/base/model_handles.h"
#include "model_generator.h"

using namespace morpotta;

namespace {

// A grid of about `faces` quads: triangulation, normal generation, list
// planning and the base-data build all run.
void BM_ConvertQuadGrid(benchmark::State& state) {
    StartModelHandleTables();
    int side = int(std::lround(std::sqrt(double(state.range(0)))));
    size_t peakOverLive = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ReadModel model;
        InitReadModel(&model);
        AddQuadGrid(&model, AddReadModelFrame(&model, "grid", nullptr), side);
        MemoryTotals before = GetMemoryTotals();
        state.ResumeTiming();
        int handle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
        state.PauseTiming();
        MemoryTotals after = GetMemoryTotals();
        // Sizes run in ascending order, so each one raises the peak.
        if (after.peakBytes > before.liveBytes) peakOverLive = after.peakBytes - before.liveBytes;
        if (handle == -1) state.SkipWithError("conversion failed");
        FreeModelBaseRecord(handle);
        FreeReadModel(&model);
        state.ResumeTiming();
    }
    state.counters["faces"] = double(side) * side;
    state.counters["peak_tracked_MB"] = double(peakOverLive) / (1024.0 * 1024.0);
    EndModelHandleTables();
}
BENCHMARK(BM_ConvertQuadGrid)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(2);

// A fan of `valence` coplanar triangles around one centre position: every
// corner at the centre joins one smoothing group.
void BM_NormalsAtHighValence(benchmark::State& state) {
    int valence = int(state.range(0));
    std::vector<Vector3> positions{{0, 0, 0}};
    std::vector<std::vector<int>> faces;
    for (int i = 0; i < valence; ++i) {
        double a = 2 * M_PI * i / valence;
        positions.push_back(Vector3{float(std::cos(a)), float(std::sin(a)), 0});
        faces.push_back({0, 1 + i, 1 + (i + 1) % valence});
    }
    for (auto _ : state) {
        state.PauseTiming();
        ReadModel model;
        InitReadModel(&model);
        ReadModelMesh* mesh = AddTestMesh(&model, AddReadModelFrame(&model, "fan", nullptr), positions, faces);
        state.ResumeTiming();
        benchmark::DoNotOptimize(GenerateReadModelMeshNormals(&model, mesh));
        state.PauseTiming();
        FreeReadModel(&model);
        state.ResumeTiming();
    }
    state.SetComplexityN(valence);
}
BENCHMARK(BM_NormalsAtHighValence)->RangeMultiplier(4)->Range(64, 16384)->Complexity(benchmark::oAuto)->Unit(benchmark::kMicrosecond);

}  // namespace
