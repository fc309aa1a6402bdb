// Reading the time table through the engine's file layer.
#include "game/timetable.h"

#include "engine/log.h"
#include "game/data/game_files.h"

#include <string>

bool TimeTable::Load(TimeTable& table, const char* path) {
    Clear(table);
    std::string text;
    if (!ReadGameFile(path, &text)) {
        WriteLogFormat("Time table: cannot open %s", path);
        return false;
    }
    Parse(table, text.data(), text.size());
    return true;
}
