// Simulated play frames per second: four players and twelve enemies on the
// largest generated stage, no drawing. Every heap allocation made while a
// frame is played is counted and reported per frame (the goal is none).
#include "engine/log.h"
#include "game/play/sim/play_sim.h"
#include "generator.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

namespace {
std::atomic<long long> allocations{0};
}

// Kept out of line so the compiler pairs every new with these deletes.
__attribute__((noinline)) void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// The generated stages in a temporary working directory.
struct Tree {
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::path root;
    Tree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "morpotta-bench-XXXXXX").string();
        root = mkdtemp(pattern.data());
        OutputTree out(root.string());
        GenerateStages(out);
        GenerateTimeTable(out);
        std::filesystem::current_path(root);
    }
    ~Tree() {
        std::filesystem::current_path(previous);
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

int LargestStage() {
    int best = 0, bestCells = 0;
    for (int n = 0; n < 100; ++n) {
        playsim::Setup setup;
        setup.stageNumber = n;
        playsim::Simulator sim(setup);
        const int cells = sim.stage().grid.columns * sim.stage().grid.rows;
        if (cells > bestCells) {
            best = n;
            bestCells = cells;
        }
    }
    return best;
}

// Adds enemies of every kind on empty cells above blocks until there are
// twelve.
void FillEnemies(Stage& st, GameData* data) {
    const TileGrid& g = st.grid;
    int kind = 8;
    for (int c = g.columns - 3; c >= 3 && st.enemies.size() < 12; c -= 2) {
        for (int r = 1; r + 1 < g.rows; ++r) {
            if (g.At(c, r) != tile::kEmpty || !g.IsSolid(c, r + 1)) continue;
            st.enemies.emplace_back(-1, kind, c, r, Stage::kFieldDepth, nullptr, data);
            kind = kind == 13 ? 8 : kind + 1;
            break;
        }
    }
}

void BM_PlayFrames(benchmark::State& state) {
    SetLogOutput(0);
    Tree tree;
    playsim::Setup setup;
    setup.stageNumber = LargestStage();
    setup.difficulty = 1;
    setup.deviceTypes = {1, 6, 4, 5};
    setup.lives = 1000000;
    playsim::InputScript script;
    std::string input = "1-100000 right\n1-100000 p2 right\n1-100000 p3 lx=25000\n1-100000 p4 mouse=560,120\n";
    for (int f = 140; f < 100000; f += 40) {
        const std::string range = std::to_string(f) + "-" + std::to_string(f + 14);
        input += range + " jump\n" + range + " p2 jump\n" + range + " p3 lt=255\n" + range + " p4 jump\n";
    }
    std::string error;
    if (!script.Parse(input, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    playsim::Simulator sim(setup);
    FillEnemies(sim.stage(), sim.stage().gameData);
    for (int f = 0; f < 140; ++f) sim.Step(&script);  // past the ready and go phases
    const playsim::Simulator::Snapshot start = sim.Save();
    long long frames = 0, allocated = 0, restarts = 0;
    for (auto _ : state) {
        const long long before = allocations.load(std::memory_order_relaxed);
        const bool played = sim.Step(&script);
        allocated += allocations.load(std::memory_order_relaxed) - before;
        if (!played || sim.frame() >= 99000) {
            state.PauseTiming();
            sim.Restore(start);
            ++restarts;
            state.ResumeTiming();
        }
        ++frames;
    }
    state.SetItemsProcessed(frames);
    state.counters["stage"] = setup.stageNumber;
    state.counters["enemies"] = double(sim.stage().enemies.size());
    state.counters["allocs_per_frame"] = frames ? double(allocated) / double(frames) : 0;
    state.counters["restarts"] = double(restarts);
}
BENCHMARK(BM_PlayFrames)->Unit(benchmark::kMicrosecond);

}  // namespace
