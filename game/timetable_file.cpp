// Reading the time table through the engine's file layer.
#include "game/timetable.h"

#include "game/data/game_files.h"
#include "game/data/player_notice.h"

#include <string>

namespace {

// What the stage clock does for a stage the table gives no time.
constexpr const char* kWithoutTargets = "the stages it gives no target time have a 30-second limit";

}  // namespace

bool TimeTable::Load(TimeTable& table, const char* path) {
    Clear(table);
    std::string text;
    if (!ReadGameFile(path, &text)) {
        ReportUnusableContent(path, "a time table", kWithoutTargets);
        return false;
    }
    const Damage damage = Parse(table, text.data(), text.size());
    if (damage.firstBadLine != 0)
        ReportContentFault(path, "is damaged (line %d is not a label and seven whole numbers): %s", damage.firstBadLine,
                           kWithoutTargets);
    else if (damage.rows < kRows)
        ReportContentFault(path, "is cut short (it holds %d of the %d stages): %s", damage.rows, kRows,
                           kWithoutTargets);
    return true;
}
