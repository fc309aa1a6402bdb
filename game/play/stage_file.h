// Stage files (".stg"): 8-bit text. A versus file's first line is its time
// limit in milliseconds. The map follows: every line feed ends a row, the
// characters ' ', '1'-'4', 'B', 'G', 'K', 'a', 'b', 'c', 'l', 'm', 'n', 'r',
// 's', 'u', 'v', 'x', 'z' are cells and any other byte (carriage returns
// included) is dropped. The cells are laid into the grid's interior in
// reading order, (columns - 2) to a row, so rows must be padded to the
// longest; text after the last line feed is not part of the map.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct StageMap {
    int columns = 2;         // longest row + 2 (the empty border)
    int rows = 2;            // line feeds + 2
    std::string cells;       // the accepted characters, without row breaks
    int32_t versusLimit = 0; // versus files: the first line
};

// The largest grid a stage file may ask for; a larger one is refused.
constexpr int64_t kMaxStageCells = int64_t(1) << 20;

// Reads the text (size bytes, not necessarily terminated). False, with the
// empty 2 x 2 map in out, when the map is too large.
bool ParseStageText(const char* text, size_t size, bool versus, StageMap* out);
// Why a map cannot make a playable stage, in a few words: no cells, rows cut
// short (fewer cells than its grid holds: a file cut off or with bytes
// lost), no start cell, or, outside versus, no goal. Null when it can.
const char* UnplayableMapReason(const StageMap& map, bool versus);

bool IsStageCharacter(char c);
bool IsEnemyCharacter(char c);  // 'z', 'x', 'c', 'v', 'm', 'b'
int EnemyKindOf(char c);        // 8..13, 0 for any other character

// Tile code of a map character in a stage of the given mode; easy: the
// normal game on the easy difficulty, where 'a' and 'n' are harmless.
int32_t StageTileCode(char c, bool versus, bool easy);
// The fixed codes of the title's stage preview.
int32_t PreviewTileCode(char c);
