// Simulated play frames per second: four players and twelve enemies on the
// largest generated stage, no drawing. Every heap allocation made while a
// frame is played is counted and reported per frame (the goal is none).
#include "engine/log.h"
#include "game/play/sim/play_sim.h"
#include "generator.h"
#include "play_setup.h"
#include "work_dir.h"

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
struct Tree : BenchWorkDir {
    Tree() {
        OutputTree out(root.string());
        GenerateStages(out);
        GenerateTimeTable(out);
    }
};

void BM_PlayFrames(benchmark::State& state) {
    SetLogOutput(0);
    Tree tree;
    const playsim::Setup setup = benchplay::FourPlayerSetup();
    playsim::InputScript script;
    std::string error;
    if (!script.Parse(benchplay::FourPlayerInput(), &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    playsim::Simulator sim(setup);
    benchplay::FillEnemies(sim.stage(), sim.stage().gameData);
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
