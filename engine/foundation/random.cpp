// The engine's random numbers: one MT19937 stream for the whole program.
// Only the main thread draws from it, so the state carries no lock; a
// second thread would need its own generator, not a lock here.
#include "engine/random.h"
#include "foundation/engine_thread.h"
#include "platform/lasting_state.h"

#include <random>

using namespace morpotta;

namespace {

constexpr uint32_t kDefaultSeed = 4357;

struct RandomState {
    std::mt19937 generator{kDefaultSeed};
};

struct RandomModule {
    RandomState random;
};

RandomModule& RandomSource() {
    return morpotta::platform::LastingState<RandomModule>();
}

}  // namespace

int SeedRandom(uint32_t seed) {
    const PublicCall call("SeedRandom");
    if (!AllowOnlyOnEngineThread()) return -1;
    RandomSource().random.generator.seed(seed);
    return 0;
}

uint32_t GetRandomBits32() {
    const PublicCall call("GetRandomBits32");
    if (!AllowOnlyOnEngineThread()) return 0;
    return static_cast<uint32_t>(RandomSource().random.generator());
}

int GetRandomUpTo(int max) {
    const PublicCall call("GetRandomUpTo");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (max <= 0) return 0;
    // Scaling the 32-bit draw keeps the result a pure function of the
    // stream (no rejection loop), so replays stay in step.
    const uint64_t scaled = uint64_t{GetRandomBits32()} * (uint64_t(max) + 1);
    return static_cast<int>(scaled >> 32);
}
