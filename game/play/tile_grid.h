// The play field's tile grid: one code per cell, row by row, with an empty
// border. Every read and write of a cell goes through At and Set, which
// check the bounds: cells outside the grid read as kOutside (no tile code)
// and ignore writes, so a cat, a dart or an enemy off the field never
// reaches memory that is not the grid's.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tile {
enum Code : int32_t {
    kOutside = -1,     // not a cell of the grid
    kEmpty = 0,
    kFiller = 1,       // harmless ('a' and 'n' in the easy game)
    kBlock = 2,        // solid
    kTurnRight = 3,    // turns the field clockwise when touched
    kTurnFlip = 4,     // turns the field upside down
    kTurnLeft = 5,     // turns the field counter-clockwise
    kGoal = 6,         // closed goal
    kGem = 7,          // a gem left by a beaten enemy; vanishes when taken
    kGemSlot = 8,      // a gem slot that can be taken
    kGemWait1 = 9,     // versus gem slots waiting their turn
    kGemWait2 = 10,
    kGemWait3 = 11,
    kGoalOpen = 12,
    kBump = 14,        // becomes kBumped when hit from below
    kBumped = 15,      // solid
    kSpike = 16,       // hazard
    kDartTrap = 17,    // hazard; fires at cats lined up with it
    kDropped = 18,     // hazard dropped by enemies; fires once
    kInert = 19,       // versus goal: no reaction, not drawn
};
}  // namespace tile

inline bool IsSolidTile(int32_t code) { return code == tile::kBlock || code == tile::kBumped; }
inline bool IsHazardTile(int32_t code) {
    return code == tile::kSpike || code == tile::kDartTrap || code == tile::kDropped;
}

struct TileGrid {
    int columns = 0;
    int rows = 0;
    std::vector<int32_t> cells;  // columns x rows, row-major

    bool Inside(int column, int row) const { return column >= 0 && row >= 0 && column < columns && row < rows; }
    int32_t At(int column, int row) const {
        return Inside(column, row) ? cells[size_t(row) * size_t(columns) + size_t(column)] : tile::kOutside;
    }
    // False (and nothing written) outside the grid.
    bool Set(int column, int row, int32_t code) {
        if (!Inside(column, row)) return false;
        cells[size_t(row) * size_t(columns) + size_t(column)] = code;
        return true;
    }
    bool IsSolid(int column, int row) const { return IsSolidTile(At(column, row)); }
    // A new grid of the given size, every cell empty.
    void Reset(int newColumns, int newRows) {
        columns = newColumns;
        rows = newRows;
        cells.assign(size_t(newColumns) * size_t(newRows), tile::kEmpty);
    }
    int Count(int32_t code) const {
        int n = 0;
        for (int32_t c : cells) n += c == code;
        return n;
    }
};
