// Calls one hot public function N times on the engine's thread, after
// start-up on the headless back end, for callgrind to count. The counts of
// a run with N calls and of one with 2N differ by the N calls alone:
//
//   valgrind --tool=callgrind --callgrind-out-file=n ./hot_call_counts GetGraphDimensions 100000
//   valgrind --tool=callgrind --callgrind-out-file=2n ./hot_call_counts GetGraphDimensions 200000
//
// (the two totals' difference, divided by 100000, is one call's
// instructions). Functions: GetGraphDimensions, QueryKeyState,
// SetBlendModeParam, HardwareRenderingActive.
#include "engine/engine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

volatile int sink = 0;

bool CallMany(const char* function, long count, int graph) {
    if (std::strcmp(function, "GetGraphDimensions") == 0) {
        int w = 0, h = 0;
        for (long i = 0; i < count; ++i) sink = GetGraphDimensions(graph, &w, &h) + w;
    } else if (std::strcmp(function, "QueryKeyState") == 0) {
        for (long i = 0; i < count; ++i) sink = QueryKeyState(int(i & 0x7F));
    } else if (std::strcmp(function, "SetBlendModeParam") == 0) {
        for (long i = 0; i < count; ++i) sink = SetBlendModeParam(1, int(i & 0xFF));
    } else if (std::strcmp(function, "HardwareRenderingActive") == 0) {
        for (long i = 0; i < count; ++i) sink = HardwareRenderingActive();
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: hot_call_counts FUNCTION COUNT\n");
        return 2;
    }
    SetDoubleStartCheck(0);
    SetLogOutput(0);
    SetRunWhileInactive(1);
    if (SetWindowBackend("headless") != 0 || InitializeEngine() != 0) return 3;
    const int graph = MakeBlankGraph(16, 16, 0);
    const bool known = CallMany(argv[1], std::atol(argv[2]), graph);
    ShutdownEngine();
    if (!known) std::fprintf(stderr, "hot_call_counts: no function named %s\n", argv[1]);
    return known ? 0 : 2;
}
