// Fuzz target for the save record: any 992 bytes must come out of the range
// checks with every field in range, and the share address built from it
// must be safe to hand to the shell.
#include "engine/log.h"
#include "game/savedata.h"
#include "platform/shell.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace morpotta;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t bytes[SaveData::kFileSize] = {};
    std::memcpy(bytes, data, size < sizeof bytes ? size : sizeof bytes);
    SaveData r;
    SaveData::Deserialize(bytes, r);
    SaveData::Sanitize(r);
    if (r.drawPeriod < 0 || r.drawPeriod > 2 || r.highScoreCat < 0 || r.highScoreCat > 6) std::abort();
    for (int i = 0; i < SaveData::kStageCount; ++i) {
        if (r.bestTimeCat[i] < 0 || r.bestTimeCat[i] > 6 || r.bestTime[i] < 0 || r.stageCleared[i] > 1) std::abort();
    }
    if (!platform::IsSafeWebAddress(BuildShareAddress(r).c_str())) std::abort();
    uint8_t again[SaveData::kFileSize];
    SaveData::Serialize(r, again);
    SaveData back;
    SaveData::Deserialize(again, back);
    if (SaveData::Sanitize(back) != 0) std::abort();  // a checked record stays as it is
    return 0;
}
