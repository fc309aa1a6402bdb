// Reading the time table through the engine's file layer.
#include "game/timetable.h"

#include "engine/files.h"
#include "engine/log.h"

#include <vector>

bool TimeTable::Load(TimeTable& table, const char* path) {
    Clear(table);
    int64_t size = GetFileSizeByName(path);
    FileHandle file = size >= 0 ? OpenFileToRead(path, 0) : 0;
    if (!file) {
        WriteLogFormat("Time table: cannot open %s\n", path);
        return false;
    }
    std::vector<char> text(static_cast<size_t>(size));
    size_t got = size ? ReadFromFile(text.data(), text.size(), file) : 0;
    CloseFileStream(file);
    Parse(table, text.data(), got);
    return true;
}
