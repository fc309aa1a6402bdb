// Fuzz target for stage files: any bytes, as a normal and as a versus file,
// give a map whose cells fit its grid and a grid within the size limit.
#include "engine/log.h"
#include "game/play/stage_file.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (bool versus : {false, true}) {
        StageMap map;
        ParseStageText(reinterpret_cast<const char*>(data), size, versus, &map);
        if (map.columns < 2 || map.rows < 2 || int64_t(map.columns) * map.rows > kMaxStageCells) std::abort();
        if (map.cells.size() > size_t(map.columns - 2) * size_t(map.rows - 2)) std::abort();
        for (char c : map.cells) {
            if (!IsStageCharacter(c)) std::abort();
        }
    }
    return 0;
}
