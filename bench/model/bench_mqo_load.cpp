// Loading generated MQO grids through LoadModelFile (read, parse, convert,
// first instance), beside an OBJ import of the same geometry by a general
// importer with comparable post-processing (triangulate, join identical
// vertices, smooth normals). The OBJ is written as an exporter writes it:
// one texture coordinate per distinct value, shared by the faces.
//
// BM_MqoLoadTable prints one table for grids of 10k, 100k and 1M triangles
// and of 100k quads:
// - fresh: one load in a new process (this program started again with
//   MORPOTTA_LOAD_CHILD set, which runs BM_MqoLoadChild only), the median of
//   5 rounds in which ours and the peer's processes take turns;
// - steady: the median of repeated loads in those same processes;
// - peak RSS of those processes (the file's bytes included for both; both
//   start the model system, and so run under the allocator policy it sets);
// - peak heap: the rise of the live heap over one load in this process,
//   counted the same way for both (heap_peak.h), and for ours the peak of
//   each conversion stage.
#include <benchmark/benchmark.h>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/log.h"
#include "engine/model.h"
#include "fake_files.h"
#include "heap_peak.h"
#include "model/convert/convert.h"
#include "model/instance/model_system.h"
#include "mqo_writer.h"

using namespace morpotta;

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 5;
constexpr unsigned kPeerFlags = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_GenSmoothNormals;

std::string ObjOf(const MqoDocument& doc) {
    const MqoObjectSpec& o = doc.objects[0];
    std::string out;
    char line[128];
    for (const auto& v : o.vertices) {
        std::snprintf(line, sizeof(line), "v %g %g %g\n", double(v[0]), double(v[1]), double(-v[2]));
        out += line;
    }
    // The grid's coordinates follow its positions: one per position, named
    // by the position's number.
    std::vector<std::array<float, 2>> uvOf(o.vertices.size());
    for (const MqoFaceSpec& f : o.faces)
        for (size_t c = 0; c < f.corners.size(); ++c) uvOf[size_t(f.corners[c])] = {f.uvs[c * 2], f.uvs[c * 2 + 1]};
    for (const auto& uv : uvOf) {
        std::snprintf(line, sizeof(line), "vt %g %g\n", double(uv[0]), double(uv[1]));
        out += line;
    }
    for (const MqoFaceSpec& f : o.faces) {
        out += "f";
        for (int c : f.corners) {
            std::snprintf(line, sizeof(line), " %d/%d", c + 1, c + 1);
            out += line;
        }
        out += "\n";
    }
    return out;
}

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The process's peak resident set in MiB. Not getrusage: a process started
// by posix_spawn inherits its parent's peak there.
double PeakRssMb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return 0.0;
}

// One load of ours (the file given to the fake file table first) or the
// peer's from bytes in memory; false on failure.
bool LoadOurs() {
    int model = LoadModelFile("grid.mqo");
    if (model == -1) return false;
    DeleteModel(model);
    return true;
}
bool LoadPeer(const std::string& bytes) {
    Assimp::Importer importer;
    return importer.ReadFileFromMemory(bytes.data(), bytes.size(), kPeerFlags, "obj") != nullptr;
}

struct Row {
    const char* label;
    int faces;
    bool triangles;
    int steadyLoads;  // repeated loads after the first in each process
};
const Row kRows[] = {
    {"10k", 10000, true, 20},
    {"100k", 100000, true, 6},
    {"1M", 1000000, true, 2},
    {"100k quads (200k triangles)", 100000, false, 4},
};

// What one process measured.
struct ChildResult {
    double freshMs = 0, steadyMs = 0, peakRssMb = 0;
    bool ok = false;
};

// The child's work, when this process was started as one: MORPOTTA_LOAD_CHILD
// is "ours" or "peer", then the file and the number of repeated loads; the
// figures go to the file named by MORPOTTA_LOAD_RESULT.
void BM_MqoLoadChild(benchmark::State& state) {
    for (auto _ : state) {
    }
    const char* job = std::getenv("MORPOTTA_LOAD_CHILD");
    const char* resultPath = std::getenv("MORPOTTA_LOAD_RESULT");
    if (!job || !resultPath) return;
    heap_peak::g_off = true;
    char who[8] = {};
    char path[4096] = {};
    int repeats = 0;
    if (std::sscanf(job, "%7s %4095s %d", who, path, &repeats) != 3) return;
    const bool ours = std::string(who) == "ours";
    std::string bytes = ReadWhole(path);
    SetLogOutput(0);
    InitializeModelSystem();
    // Either side holds one copy of the file in this process.
    FakeFiles files;
    if (ours) files.Add("grid.mqo", std::move(bytes));
    auto once = [&] { return ours ? LoadOurs() : LoadPeer(bytes); };
    auto start = std::chrono::steady_clock::now();
    bool ok = once();
    double fresh = Ms(std::chrono::steady_clock::now() - start);
    std::vector<double> steady;
    for (int i = 0; i < repeats && ok; ++i) {
        start = std::chrono::steady_clock::now();
        ok = once();
        steady.push_back(Ms(std::chrono::steady_clock::now() - start));
    }
    TerminateModelSystem();
    std::ofstream(resultPath) << (ok ? 1 : 0) << ' ' << fresh << ' ' << Median(steady) << ' ' << PeakRssMb() << '\n';
}
// Registered only in a child process.
const bool g_childRegistered =
    std::getenv("MORPOTTA_LOAD_CHILD") && benchmark::RegisterBenchmark("BM_MqoLoadChild", BM_MqoLoadChild)->Iterations(1);

ChildResult RunChild(const char* who, const fs::path& file, int repeats, const fs::path& resultPath) {
    std::string job = std::string("MORPOTTA_LOAD_CHILD=") + who + " " + file.string() + " " + std::to_string(repeats);
    std::string result = "MORPOTTA_LOAD_RESULT=" + resultPath.string();
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    env.push_back(job.data());
    env.push_back(result.data());
    env.push_back(nullptr);
    char exe[] = "/proc/self/exe";
    char filter[] = "--benchmark_filter=BM_MqoLoadChild";
    char* argv[] = {exe, filter, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ChildResult r;
    fs::remove(resultPath);
    if (posix_spawn(&pid, exe, &actions, nullptr, argv, env.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        std::ifstream in(resultPath);
        int ok = 0;
        if (in >> ok >> r.freshMs >> r.steadyMs >> r.peakRssMb) r.ok = ok == 1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return r;
}

// Peak heap of ours per conversion stage, in MiB above the level before the
// load (the largest is the load's peak); the hook keeps the peak of each
// stage and starts the next from the live level.
struct StagePeaks {
    static inline size_t before = 0;
    static inline double peak[MODEL_STAGE_BASE + 2] = {};
    static void Hook(int stage) {
        double mb = double(heap_peak::g_peakBytes.load() - before) / (1024.0 * 1024.0);
        peak[stage] = std::max(peak[stage], mb);
        heap_peak::g_peakBytes = heap_peak::g_liveBytes.load();
    }
};

void BM_MqoLoadTable(benchmark::State& state) {
    for (auto _ : state) {
    }
    if (std::getenv("MORPOTTA_LOAD_CHILD")) return;
    SetLogOutput(0);
    fs::path dir = fs::temp_directory_path() / ("morpotta-load-table-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::printf("\nModel load: MQO through LoadModelFile (ours) vs the OBJ of the same grid imported with\n"
                "triangulation, joined vertices and smooth normals (peer); medians of %d interleaved rounds.\n\n",
                kRounds);
    std::printf("%-28s | %-24s | %-24s | %-24s | %-20s | %s\n", "triangles", "fresh ms ours/peer",
                "steady ms ours/peer", "peak RSS MiB ours/peer", "peak heap MiB o/p",
                "ours' stage peaks MiB: read tri merge normals lists base load");
    // MORPOTTA_LOAD_TABLE_ROWS="0 3" limits the table to those rows.
    const char* only = std::getenv("MORPOTTA_LOAD_TABLE_ROWS");
    for (const Row& row : kRows) {
        if (only && !std::strchr(only, char('0' + (&row - kRows)))) continue;
        fs::path mqoPath = dir / "grid.mqo", objPath = dir / "grid.obj";
        std::string mqo, obj;
        {
            MqoDocument doc = MakeMqoGrid(row.faces, row.triangles);
            mqo = WriteMqo(doc);
            obj = ObjOf(doc);
        }
        std::ofstream(mqoPath, std::ios::binary) << mqo;
        std::ofstream(objPath, std::ios::binary) << obj;

        // Peak heap in this process, and ours per stage.
        InitializeModelSystem();
        FakeFiles files;
        std::fill(std::begin(StagePeaks::peak), std::end(StagePeaks::peak), 0.0);
        StagePeaks::before = heap_peak::g_liveBytes.load();
        SetModelConvertStageHook(&StagePeaks::Hook);
        files.Add("grid.mqo", mqo);
        StagePeaks::before = heap_peak::g_liveBytes.load();
        heap_peak::g_peakBytes = StagePeaks::before;
        DeleteModel(LoadModelFile("grid.mqo"));
        StagePeaks::Hook(MODEL_STAGE_BASE + 1);  // the rest of the load and the release
        SetModelConvertStageHook(nullptr);
        double oursHeap = *std::max_element(std::begin(StagePeaks::peak), std::end(StagePeaks::peak));
        TerminateModelSystem();
        double peerHeap = PeakRiseMb([&] { LoadPeer(obj); });

        std::vector<double> fresh[2], steady[2], rss[2];
        bool ok = true;
        for (int round = 0; round < kRounds && ok; ++round)
            for (int who = 0; who < 2; ++who) {
                ChildResult r = RunChild(who == 0 ? "ours" : "peer", who == 0 ? mqoPath : objPath, row.steadyLoads,
                                         dir / "result.txt");
                ok = ok && r.ok;
                fresh[who].push_back(r.freshMs);
                steady[who].push_back(r.steadyMs);
                rss[who].push_back(r.peakRssMb);
            }
        if (!ok) {
            state.SkipWithError("a load failed in a child process");
            break;
        }
        // Times: how many times faster ours is; memory: ours as a share of the peer's.
        auto pair = [](const std::vector<double>* v, const char* format, bool time) {
            double a = Median(v[0]), b = Median(v[1]);
            char text[64];
            std::snprintf(text, sizeof(text), format, a, b, time ? b / a : a / b);
            return std::string(text);
        };
        char stages[128];
        const double* p = StagePeaks::peak;
        std::snprintf(stages, sizeof(stages), "%.1f %.1f %.1f %.1f %.1f %.1f %.1f", p[0], p[1], p[2], p[3], p[4], p[5],
                      p[6]);
        std::printf("%-28s | %-24s | %-24s | %-24s | %5.1f / %5.1f (%.2f) | %s\n", row.label,
                    pair(fresh, "%.1f / %.1f (%.1fx)", true).c_str(), pair(steady, "%.1f / %.1f (%.1fx)", true).c_str(),
                    pair(rss, "%.1f / %.1f (%.2f)", false).c_str(), oursHeap, peerHeap, oursHeap / peerHeap, stages);
        std::fflush(stdout);
    }
    std::printf("(time ratios are peer / ours; memory ratios ours / peer)\n\n");
    fs::remove_all(dir);
}
BENCHMARK(BM_MqoLoadTable)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
