// Loading a 100,000-triangle model through LoadModelFile as a binary model
// file and as the MQO file it was made from (read, parse or unpack,
// convert, first instance). The binary file is written from the base data
// the MQO load gives, once with float data and once packed (quantised
// positions, 16-bit normals and texture coordinates).
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "engine/log.h"
#include "engine/model.h"
#include "fake_files.h"
#include "model/base/model_handles.h"
#include "model/instance/model_system.h"
#include "mqo_writer.h"
#include "mv1_writer.h"

using namespace morpotta;

namespace {

constexpr int kTriangles = 100000;

struct Files {
    std::string mqo, mv1, packed;
};

const Files& TestFiles() {
    static Files files;
    if (!files.mqo.empty()) return files;
    files.mqo = WriteMqo(MakeMqoGrid(kTriangles, true));
    FakeFiles fake;
    fake.Add("grid.mqo", files.mqo);
    InitializeModelSystem();
    int model = LoadModelFile("grid.mqo");
    const ModelBase* base = GetModelBase(GetModelBaseHandle(model));
    files.mv1 = WriteMv1(base);
    Mv1WriteOptions packed;
    packed.quantisePositions = true;
    packed.normalEncoding = 2;
    packed.uv16 = true;
    files.packed = WriteMv1(base, packed);
    DeleteModel(model);
    TerminateModelSystem();
    return files;
}

void LoadLoop(benchmark::State& state, const std::string& name, const std::string& bytes) {
    SetLogOutput(0);
    FakeFiles files;
    files.Add(name, bytes);
    InitializeModelSystem();
    for (auto _ : state) {
        int model = LoadModelFile(name.c_str());
        if (model == -1) state.SkipWithError("load failed");
        state.PauseTiming();
        DeleteModel(model);
        state.ResumeTiming();
    }
    state.counters["file_KB"] = double(bytes.size()) / 1024.0;
    state.counters["triangles"] = kTriangles;
    TerminateModelSystem();
}

void BM_LoadMqo100kTriangles(benchmark::State& state) { LoadLoop(state, "grid.mqo", TestFiles().mqo); }
void BM_LoadMv1100kTriangles(benchmark::State& state) { LoadLoop(state, "grid.mv1", TestFiles().mv1); }
void BM_LoadPackedMv1100kTriangles(benchmark::State& state) { LoadLoop(state, "grid.mv1", TestFiles().packed); }

BENCHMARK(BM_LoadMqo100kTriangles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadMv1100kTriangles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPackedMv1100kTriangles)->Unit(benchmark::kMillisecond);

}  // namespace
