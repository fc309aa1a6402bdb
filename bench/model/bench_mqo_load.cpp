// Loading generated MQO grids through LoadModelFile (read, parse, convert,
// first instance), beside an OBJ import of the same geometry by a general
// importer with comparable post-processing (triangulate, join identical
// vertices, smooth normals). Peak memory is the rise of the live
// heap bytes over one load, counted the same way for both (heap_peak.h).
#include <benchmark/benchmark.h>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "engine/log.h"
#include "engine/model.h"
#include "fake_files.h"
#include "heap_peak.h"
#include "model/instance/model_system.h"
#include "mqo_writer.h"

namespace {

std::string ObjOf(const MqoDocument& doc) {
    const MqoObjectSpec& o = doc.objects[0];
    std::string out;
    char line[128];
    for (const auto& v : o.vertices) {
        std::snprintf(line, sizeof(line), "v %g %g %g\n", double(v[0]), double(v[1]), double(-v[2]));
        out += line;
    }
    int uv = 1;
    for (const MqoFaceSpec& f : o.faces) {
        for (size_t i = 0; i + 1 < f.uvs.size(); i += 2) {
            std::snprintf(line, sizeof(line), "vt %g %g\n", double(f.uvs[i]), double(f.uvs[i + 1]));
            out += line;
        }
    }
    for (const MqoFaceSpec& f : o.faces) {
        out += "f";
        for (int c : f.corners) {
            std::snprintf(line, sizeof(line), " %d/%d", c + 1, uv++);
            out += line;
        }
        out += "\n";
    }
    return out;
}

struct Inputs {
    std::string mqo;
    std::string obj;
};

const Inputs& InputsFor(int faces) {
    static std::map<int, Inputs> cache;
    auto it = cache.find(faces);
    if (it != cache.end()) return it->second;
    MqoDocument doc = MakeMqoGrid(faces);
    return cache[faces] = Inputs{WriteMqo(doc), ObjOf(doc)};
}

void BM_LoadMqoFile(benchmark::State& state) {
    SetLogOutput(0);
    InitializeModelSystem();
    FakeFiles files;
    files.Add("grid.mqo", InputsFor(int(state.range(0))).mqo);
    auto once = [] {
        int model = LoadModelFile("grid.mqo");
        DeleteModel(model);
        return model;
    };
    double peak = PeakRiseMb(once);
    for (auto _ : state) {
        int model = LoadModelFile("grid.mqo");
        if (model == -1) state.SkipWithError("load failed");
        state.PauseTiming();
        DeleteModel(model);
        state.ResumeTiming();
    }
    state.counters["faces"] = double(state.range(0));
    state.counters["peak_heap_MB"] = peak;
    TerminateModelSystem();
}
BENCHMARK(BM_LoadMqoFile)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ImportObjSameGeometry(benchmark::State& state) {
    const std::string& obj = InputsFor(int(state.range(0))).obj;
    const unsigned flags = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_GenSmoothNormals;
    auto once = [&] {
        Assimp::Importer importer;
        return importer.ReadFileFromMemory(obj.data(), obj.size(), flags, "obj") != nullptr;
    };
    double peak = PeakRiseMb(once);
    for (auto _ : state) {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFileFromMemory(obj.data(), obj.size(), flags, "obj");
        if (!scene) state.SkipWithError("import failed");
        benchmark::DoNotOptimize(scene);
        state.PauseTiming();
        importer.FreeScene();
        state.ResumeTiming();
    }
    state.counters["faces"] = double(state.range(0));
    state.counters["peak_heap_MB"] = peak;
}
BENCHMARK(BM_ImportObjSameGeometry)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
