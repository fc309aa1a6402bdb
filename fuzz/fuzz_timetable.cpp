// Fuzz target for the time table text: any bytes parse within the table's
// bounds, and each row's best is its first smallest target.
#include "engine/log.h"
#include "game/timetable.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogOutput(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto t = std::make_unique<TimeTable>();
    TimeTable::Parse(*t, reinterpret_cast<const char*>(data), size);
    for (int r = 0; r < TimeTable::kRows; ++r) {
        int column = t->rowBestColumn[r];
        if (column < 0 || column >= TimeTable::kColumns) std::abort();
        for (int c = 0; c < TimeTable::kColumns; ++c) {
            if (t->target[r][c] < t->rowBest[r]) std::abort();
        }
        if (t->rowBest[r] < TimeTable::kNoTime && t->target[r][column] != t->rowBest[r]) std::abort();
    }
    return 0;
}
