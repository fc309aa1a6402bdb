// Loading a generated X model of 100,000 quads with normals and texture
// coordinates, in text and in binary, through LoadModelFile (read, parse,
// build the read model, convert, first instance), beside the same files
// imported by a general importer with a comparable pipeline (triangulate,
// join identical vertices; the files carry their normals). Peak memory is
// the rise of the live heap bytes over one load (heap_peak.h).
#include <benchmark/benchmark.h>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <string>

#include "engine/log.h"
#include "engine/model.h"
#include "fake_files.h"
#include "heap_peak.h"
#include "model/instance/model_system.h"
#include "x_writer.h"

using namespace morpotta;

namespace {

constexpr int kFaces = 100000;

const std::string& XFile(bool binary) {
    static const std::string text = MakeXGrid(kFaces, XWriter::kText);
    static const std::string bin = MakeXGrid(kFaces, XWriter::kBinary32);
    return binary ? bin : text;
}

void BM_LoadXFile(benchmark::State& state) {
    SetLogOutput(0);
    InitializeModelSystem();
    const std::string& file = XFile(state.range(0) != 0);
    FakeFiles files;
    files.Add("grid.x", file);
    double peak = PeakRiseMb([] { DeleteModel(LoadModelFile("grid.x")); });
    for (auto _ : state) {
        int model = LoadModelFile("grid.x");
        if (model == -1) state.SkipWithError("load failed");
        state.PauseTiming();
        DeleteModel(model);
        state.ResumeTiming();
    }
    state.counters["faces"] = kFaces;
    state.counters["file_MB"] = double(file.size()) / (1024.0 * 1024.0);
    state.counters["peak_heap_MB"] = peak;
    TerminateModelSystem();
}
BENCHMARK(BM_LoadXFile)->ArgName("binary")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ImportXSameFile(benchmark::State& state) {
    const std::string& file = XFile(state.range(0) != 0);
    const unsigned flags = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices;
    double peak = PeakRiseMb([&] {
        Assimp::Importer importer;
        if (!importer.ReadFileFromMemory(file.data(), file.size(), flags, "x")) std::abort();
    });
    for (auto _ : state) {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFileFromMemory(file.data(), file.size(), flags, "x");
        if (!scene) state.SkipWithError("import failed");
        benchmark::DoNotOptimize(scene);
        state.PauseTiming();
        importer.FreeScene();
        state.ResumeTiming();
    }
    state.counters["faces"] = kFaces;
    state.counters["peak_heap_MB"] = peak;
}
BENCHMARK(BM_ImportXSameFile)->ArgName("binary")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
