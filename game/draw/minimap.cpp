#include "game/draw/minimap.h"

#include "engine/draw2d.h"
#include "game/draw/draw_calls.h"
#include "game/play/stage.h"

namespace {

constexpr int kMapLeft = 460, kMapTop = 210, kMapCell = 3;

uint32_t CellColour(int32_t code) {
    switch (code) {
    case tile::kBlock: return MakeScreenColor(127, 6, 56);
    case tile::kTurnRight:
    case tile::kTurnFlip:
    case tile::kTurnLeft: return MakeScreenColor(0, 150, 0);
    case tile::kGoal: return MakeScreenColor(255, 255, 0);
    case tile::kGemSlot: return MakeScreenColor(255, 0, 0);
    case tile::kSpike:
    case tile::kDartTrap: return MakeScreenColor(255, 127, 0);
    default: return MakeScreenColor(102, 255, 255);
    }
}

}  // namespace

void DrawStageMinimap(const Stage& stage) {
    const TileGrid& g = stage.grid;
    for (int row = 0; row < g.rows; ++row)
        for (int column = 0; column < g.columns; ++column) {
            const int x = kMapLeft + column * kMapCell, y = kMapTop + row * kMapCell;
            gamedraw::Box(x, y, x + kMapCell, y + kMapCell, CellColour(g.At(column, row)));
        }
}
