// The heap a piece of work takes at its peak, for the load benchmarks:
// every heap block of the process is counted (heap_peak.cpp replaces
// malloc and its kin), so the engine's tracked allocator and a general
// importer are measured the same way.
#pragma once
#include <atomic>
#include <cstddef>

namespace heap_peak {

extern std::atomic<size_t> g_liveBytes;
extern std::atomic<size_t> g_peakBytes;
// Set for good in a process that only times work: counting stops.
extern std::atomic<bool> g_off;

// Megabytes the heap rises above its starting level while work runs once.
template <typename Work>
double PeakRiseMb(Work work) {
    size_t before = g_liveBytes.load();
    g_peakBytes = before;
    work();
    return double(g_peakBytes.load() - before) / (1024.0 * 1024.0);
}

}  // namespace heap_peak

using heap_peak::PeakRiseMb;
