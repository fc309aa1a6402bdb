#include "game/play/stage_file.h"

#include "game/play/tile_grid.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

bool IsStageCharacter(char c) {
    static constexpr const char kAccepted[] = " 1234BGKabclmnrsuvxz";
    return c != '\0' && std::strchr(kAccepted, c) != nullptr;
}

bool IsEnemyCharacter(char c) { return EnemyKindOf(c) != 0; }

int EnemyKindOf(char c) {
    switch (c) {
    case 'z': return 8;
    case 'x': return 9;
    case 'c': return 10;
    case 'v': return 11;
    case 'm': return 12;
    case 'b': return 13;
    default: return 0;
    }
}

int32_t StageTileCode(char c, bool versus, bool easy) {
    switch (c) {
    case '1': return tile::kGemSlot;
    case '2': return versus ? tile::kGemWait1 : tile::kGemSlot;
    case '3': return versus ? tile::kGemWait2 : tile::kGemSlot;
    case '4': return versus ? tile::kGemWait3 : tile::kGemSlot;
    case 'B': return tile::kBlock;
    case 'r': return tile::kTurnRight;
    case 'u': return tile::kTurnFlip;
    case 'l': return tile::kTurnLeft;
    case 'G': return versus ? tile::kInert : tile::kGoal;
    case 'K': return tile::kBump;
    case 'a': return easy ? tile::kFiller : tile::kDartTrap;
    case 'n': return easy ? tile::kFiller : tile::kSpike;
    default: return tile::kEmpty;  // blank, start and enemy cells
    }
}

int32_t PreviewTileCode(char c) { return StageTileCode(c, false, false); }

namespace {

// The versus limit: the C library's decimal conversion of the first line,
// held within the 32-bit range.
int32_t ReadLimit(const char* text, size_t length) {
    char line[64];
    const size_t n = std::min(length, sizeof line - 1);
    std::memcpy(line, text, n);
    line[n] = '\0';
    errno = 0;
    const long value = std::strtol(line, nullptr, 10);
    return int32_t(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

bool ParseStageText(const char* text, size_t size, bool versus, StageMap* out) {
    *out = StageMap{};
    if (!text) {
        text = "";
        size = 0;
    }
    size_t begin = 0;
    if (versus) {
        size_t end = 0;
        while (end < size && text[end] != '\n' && text[end] != '\r') ++end;
        out->versusLimit = ReadLimit(text, end);
        // The map starts after a line feed, but at a carriage return.
        begin = end < size && text[end] == '\n' ? end + 1 : end;
    }
    // First pass: rows (line feeds), the widest row, and where the map ends.
    int64_t lineFeeds = 0, width = 0, row = 0;
    size_t mapEnd = begin;
    for (size_t i = begin; i < size; ++i) {
        if (text[i] == '\n') {
            ++lineFeeds;
            width = std::max(width, row);
            row = 0;
            mapEnd = i + 1;
        } else if (IsStageCharacter(text[i])) {
            ++row;
        }
    }
    const int64_t columns = width + 2, rows = lineFeeds + 2;
    if (columns * rows > kMaxStageCells) {
        out->versusLimit = 0;  // as for a file that cannot be read
        return false;
    }
    out->columns = int(columns);
    out->rows = int(rows);
    out->cells.reserve(mapEnd - begin);
    for (size_t i = begin; i < mapEnd; ++i) {
        if (IsStageCharacter(text[i])) out->cells.push_back(text[i]);
    }
    return true;
}

const char* UnplayableMapReason(const StageMap& map, bool versus) {
    if (map.cells.empty()) return "holds no map";
    if (map.cells.size() < size_t(map.columns - 2) * size_t(map.rows - 2)) return "is cut short (its rows are not whole)";
    if (map.cells.find('s') == std::string::npos) return "has no start cell";
    if (!versus && map.cells.find('G') == std::string::npos) return "has no goal";
    return nullptr;
}
