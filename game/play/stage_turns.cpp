// Field turns: the grid is rebuilt turned a quarter either way or upside
// down, and everything that lives in cells or pixels is carried along, so
// the scene looks the same but for the turn; the camera then rolls into the
// new orientation. Flying darts keep their pixels (only their trap cells
// move), and a cat's mark (where a steer began) is left as it was.
#include "game/play/stage.h"

namespace {

enum TurnKind { kClockwise, kCounterClockwise, kUpsideDown };

struct Turn {
    TurnKind kind;
    int columns, rows;  // after the turn

    void Pixels(int32_t& x, int32_t& y) const {
        const int32_t ox = x, oy = y;
        switch (kind) {
        case kClockwise:
            x = columns * 32 - oy - 20;
            y = ox;
            break;
        case kCounterClockwise:
            x = oy;
            y = rows * 32 - ox - 25;
            break;
        case kUpsideDown: y = rows * 32 - oy - 32; break;
        }
    }
    void Cell(int32_t& c, int32_t& r) const {
        const int32_t oc = c, orow = r;
        switch (kind) {
        case kClockwise:
            c = columns - 1 - orow;
            r = oc;
            break;
        case kCounterClockwise:
            c = orow;
            r = rows - 1 - oc;
            break;
        case kUpsideDown: r = rows - 1 - orow; break;
        }
    }
};

void MoveCat(const Turn& turn, CatActor& cat) {
    for (CatActor* c = &cat; c; c = c->rider.get()) {
        turn.Pixels(c->x, c->y);
        turn.Pixels(c->startX, c->startY);
    }
}

}  // namespace

void Stage::MoveThingsForTurn(int kindValue) {
    const TurnKind kind = TurnKind(kindValue);
    const int oldColumns = grid.columns, oldRows = grid.rows;
    const int columns = kind == kUpsideDown ? oldColumns : oldRows;
    const int rows = kind == kUpsideDown ? oldRows : oldColumns;
    const Turn turn{kind, columns, rows};

    // The turned grid: every new cell from its old cell.
    std::vector<int32_t>& turned = turnScratch_;
    turned.resize(size_t(columns) * size_t(rows));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            int oc = c, orow = r;
            if (kind == kClockwise) {
                orow = oldRows - 1 - c;
                oc = r;
            } else if (kind == kCounterClockwise) {
                orow = c;
                oc = oldColumns - 1 - r;
            } else {
                orow = rows - 1 - r;
            }
            turned[size_t(r) * size_t(columns) + size_t(c)] = grid.At(oc, orow);
        }
    }
    grid.cells.swap(turned);
    grid.columns = columns;
    grid.rows = rows;

    for (int slot = 0; slot < kPlayers; ++slot) {
        if (playerActive[slot] && cats[size_t(slot)]) MoveCat(turn, *cats[size_t(slot)]);
    }
    for (CatActor& enemy : enemies) MoveCat(turn, enemy);
    turn.Cell(startColumn, startRow);
    for (BumpedBlock& b : bumpedBlocks) turn.Cell(b.column, b.row);
    for (Dart& d : darts) turn.Cell(d.column, d.row);
    for (TakenTurnTile& t : turnTiles) turn.Cell(t.column, t.row);
    for (GemSpawn& g : gemSpawns) turn.Cell(g.column, g.row);

    static constexpr int kAngle[3] = {90, 270, 180};
    static constexpr float kRoll[3] = {30.0f, -30.0f, 42.0f};
    rotation = (rotation + kAngle[kind]) % 360;
    if (kind == kUpsideDown) flipped ^= 1;
    camera.roll = kRoll[kind];
    for (int k = 0; k < 3; ++k) camera.current[k] = camera.target[k];
}

void Stage::RotateClockwise() { MoveThingsForTurn(kClockwise); }
void Stage::RotateCounterClockwise() { MoveThingsForTurn(kCounterClockwise); }
void Stage::FlipVertical() { MoveThingsForTurn(kUpsideDown); }
