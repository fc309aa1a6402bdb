// Fuzz target for map sets: any text parses and builds with every stage
// number in 0..99, every slot inside the counted slots, and exactly the
// counted number of stages.
#include "engine/log.h"
#include "engine/random.h"
#include "game/session/map_set.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const MapSet set = ParseMapSet(std::string_view(reinterpret_cast<const char*>(bytes), size), "fuzz");
    if (set.slotCount != set.stageSlots + (set.endsWithScene ? 1 : 0)) std::abort();
    SeedRandom(uint32_t(size));
    int32_t stages = 0;
    int32_t nextSlot = 0;
    MapSetSteps steps;
    steps.stage = [&](int32_t slot, int32_t n, bool last) {
        if (slot != nextSlot++ || n < 0 || n >= MapSet::kStageNumbers) std::abort();
        if (last != (slot == set.LastStageSlot())) std::abort();
        ++stages;
    };
    steps.scene = [&](int32_t slot, int32_t, bool closing) {
        if (slot < 0 || slot >= set.slotCount || closing != (slot == set.stageSlots)) std::abort();
    };
    if (BuildMapSet(set, steps) != set.slotCount || stages != set.stageSlots) std::abort();
    return 0;
}
