// Fuzz target for the save file's whole load path: the input is written as
// the save file and read back through SaveData::Load, as the game does at
// start-up. Any file gives a whole, range-checked record (from the first 992
// bytes of a file at least that long) or the defaults, and a record that
// loaded stores and loads again unchanged.
#include "engine/log.h"
#include "fuzz_folder.h"
#include "game/data/player_notice.h"
#include "game/savedata.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string g_path;

bool Checked(const SaveData& r) {
    if (r.drawPeriod < 0 || r.drawPeriod > 2 || r.highScoreCat < 0 || r.highScoreCat > 6) return false;
    if (r.windowed > 1 || r.highScore < 0 || r.highScore > SaveData::kMaxScore) return false;
    for (int i = 0; i < SaveData::kStageCount; ++i)
        if (r.bestTimeCat[i] < 0 || r.bestTimeCat[i] > 6 || r.bestTime[i] < 0 || r.stageCleared[i] > 1) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    SetPlayerNoticeSink([](const char*) {});  // every input shorter than a save would say so
    g_path = MakeFuzzFolder("fuzz-save") + "/" + SaveData::kFileName;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(g_path.c_str(), "wb");
    if (!file) std::abort();
    if (size && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    SaveData record;
    bool whole = SaveData::Load(record, g_path.c_str());
    if (whole != (size >= SaveData::kFileSize)) std::abort();
    if (!Checked(record)) std::abort();
    if (!whole) return 0;
    // What loaded serialises to a file that loads to the same record.
    uint8_t bytes[SaveData::kFileSize], again[SaveData::kFileSize];
    SaveData::Serialize(record, bytes);
    file = std::fopen(g_path.c_str(), "wb");
    if (!file || std::fwrite(bytes, 1, sizeof bytes, file) != sizeof bytes) std::abort();
    std::fclose(file);
    SaveData back;
    if (!SaveData::Load(back, g_path.c_str())) std::abort();
    SaveData::Serialize(back, again);
    if (std::memcmp(bytes, again, sizeof bytes) != 0) std::abort();
    return 0;
}
