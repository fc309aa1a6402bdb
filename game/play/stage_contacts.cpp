// Cats against the tile grid: pushed out of solid cells, landed, bumping
// blocks, firing event tiles and hurt by hazards; dart traps that fire at
// cats lined up with them; the reactions to event tiles. A side whose cells
// lie outside the grid is not tested, and every cell goes through the
// grid's bounds-checked accessors.
#include "engine/random.h"
#include "game/data/game_data.h"
#include "game/data/game_sound.h"
#include "game/play/game_modes.h"
#include "game/play/stage.h"
#include "game/savedata.h"

#include <cstdlib>

namespace {

constexpr int kNoContact = 10000;
constexpr int kCell = cat::kCellPixels;

void Play(const GameData* data, int GameData::*sound) {
    if (data) gamesound::PlayHandle(data->*sound, 1, 1);
}

bool InDeepRange(int depth) { return depth >= 32 && depth <= 9999; }

// Further solid cells in a line after the contact cell: 32 more pixels of
// depth for each, so a deep wall is not taken for a floor.
int FurtherSolid(const TileGrid& grid, int column, int row, int dc, int dr) {
    int extra = 0;
    for (int c = column + dc, r = row + dr; grid.IsSolid(c, r); c += dc, r += dr) extra += kCell;
    return extra;
}

}  // namespace

void Stage::UpdateCatOnGrid(CatActor& cat) {
    if (cat.isUpper && cat.carried) return;
    if (cat.IsEnemy() && cat.mode > 0) return;
    const int c0 = (cat.x + 5) / kCell, c1 = (cat.x + 26) / kCell;
    const int r0 = (cat.y + 6) / kCell, r1 = (cat.y + 26) / kCell;
    const bool columnsInside = grid.Inside(c0, 0) && grid.Inside(c1, 0);
    const bool rowsInside = grid.Inside(0, r0) && grid.Inside(0, r1);
    const int leadColumn = cat.vx > 0 ? c1 : c0;
    const int leadRow = cat.vy > 0 ? r1 : r0;

    int up = kNoContact, down = kNoContact, left = kNoContact, right = kNoContact;
    if (cat.vy < 0 && columnsInside && grid.Inside(c0, r0)) {
        const bool bump = (grid.At(c1, r0) == tile::kBump && (cat.y + 6) % 32 > 18) || grid.At(c0, r0) == tile::kBump;
        if (grid.IsSolid(c0, r0) || grid.IsSolid(c1, r0) || bump) {
            up = r0 * kCell - cat.y + 26;
            if (cat.vx != 0) up += FurtherSolid(grid, leadColumn, r0, 0, 1);
        }
    }
    if (cat.vy > 0 && columnsInside && grid.Inside(c0, r1)) {
        if (grid.IsSolid(c0, r1) || grid.IsSolid(c1, r1)) {
            down = cat.y - r1 * kCell + 27;
            if (cat.vx != 0) down += FurtherSolid(grid, leadColumn, r1, 0, -1);
        }
    }
    if (cat.vx < 0 && rowsInside && grid.Inside(c0, r0)) {
        if (grid.IsSolid(c0, r0) || grid.IsSolid(c0, r1)) {
            left = c0 * kCell - cat.x + 27;
            if (cat.vy != 0) left += FurtherSolid(grid, c0, leadRow, 1, 0);
        }
    }
    if (cat.vx > 0 && rowsInside && grid.Inside(c1, r0)) {
        if (grid.IsSolid(c1, r0) || grid.IsSolid(c1, r1)) {
            right = cat.x - c1 * kCell + 27;
            if (cat.vy != 0) right += FurtherSolid(grid, c1, leadRow, -1, 0);
        }
    }

    // A steer that ended inside blocks goes back to where it began.
    if ((grid.IsSolid(c0, r0) || grid.IsSolid(c1, r0) || grid.IsSolid(c0, r1) || grid.IsSolid(c1, r1)) &&
        cat.mode == 0) {
        cat.x = cat.markX;
        cat.y = cat.markY;
    }

    // Into an inner corner: out on both axes at once.
    const bool mouse = cat.kind == 5;
    struct Corner {
        bool moving;
        int vertical, horizontal, side, code;
    };
    const Corner corners[4] = {
        {cat.vy > 0 && cat.vx < 0, down, left, 2, 5},
        {cat.vy < 0 && cat.vx < 0, up, left, 0, 7},
        {cat.vy < 0 && cat.vx > 0, up, right, 0, 1},
        {cat.vy > 0 && cat.vx > 0, down, right, 2, 3},
    };
    for (const Corner& k : corners) {
        if (!k.moving || !InDeepRange(k.vertical) || !InDeepRange(k.horizontal)) continue;
        cat.y += cat.vy > 0 ? -(k.vertical % 32) : k.vertical % 32;
        cat.x += cat.vx > 0 ? -(k.horizontal % 32) : k.horizontal % 32;
        if (mouse) {
            cat.vx = -cat.vx;
            cat.vy = -cat.vy;
        } else {
            cat.vx = cat.vy = 0;
        }
        cat.StepActionState(k.side);
        cat.RotateAboutPivot(k.code);
        return;
    }

    if (down < right && down < left) {
        cat.y -= down;
        cat.vy = mouse ? -cat.vy : 0;
        cat.StepActionState(2);
    } else if (right <= up || left <= up) {
        if (right < up && right < down) {
            cat.x -= right;
            cat.sidePush = -1;
            cat.vx = mouse ? -cat.vx : 0;
            cat.StepActionState(1);
        } else if (up <= left || down <= left) {
            cat.RotateAboutPivot(-1);  // a steering cat lost its surface
        } else {
            cat.x += left;
            cat.sidePush = 1;
            cat.vx = mouse ? -cat.vx : 0;
            cat.StepActionState(3);
        }
    } else {
        cat.EndJumpState(0);
        for (int column : {c1, c0}) {
            if (grid.At(column, r0) != tile::kBump) continue;
            grid.Set(column, r0, tile::kBumped);
            bumpedBlocks.push_back({column, r0, 0, GetRandomUpTo(5)});
        }
        cat.y += up;
        cat.vy = mouse ? -cat.vy : 0;
        cat.StepActionState(0);
    }

    // Event tiles on the leading edges, in code order.
    int edge[8][2], n = 0;
    auto add = [&](int column, int row) {
        edge[n][0] = column;
        edge[n++][1] = row;
    };
    if (cat.vy > 0) add(c1, r1), add(c0, r1);
    if (cat.vy < 0) add(c1, r0), add(c0, r0);
    if (cat.vx > 0) add(c1, r0), add(c1, r1);
    if (cat.vx < 0) add(c0, r0), add(c0, r1);
    for (int32_t code : {tile::kTurnRight, tile::kTurnFlip, tile::kTurnLeft, tile::kGoal, tile::kGem, tile::kGemSlot}) {
        for (int k = 0; k < n; ++k) {
            if (grid.At(edge[k][0], edge[k][1]) != code) continue;
            HandleTileContact(cat, edge[k][0], edge[k][1], code);
            // The grid was rebuilt by the turn: nothing here is valid any more.
            if (code == tile::kTurnRight || code == tile::kTurnFlip || code == tile::kTurnLeft) return;
        }
    }

    // Hazards under the core box.
    if (cat.kind == 8 || cat.kind == 9 || cat.kind == 12 || cat.kind == 13) return;
    const int hc0 = (cat.x + 13) / kCell, hc1 = (cat.x + 18) / kCell;
    const int hr0 = (cat.y + 14) / kCell, hr1 = (cat.y + 20) / kCell;
    const bool hit = IsHazardTile(grid.At(hc0, hr0)) || IsHazardTile(grid.At(hc1, hr0)) ||
                     IsHazardTile(grid.At(hc0, hr1)) || IsHazardTile(grid.At(hc1, hr1));
    if (!hit) return;
    if (cat.knockedOut == cat::kKnockOutFrames && !finished) {
        cat.knockedOut = cat::kKnockOutFrames + 1;
        if (mode != gamemode::kFinal) TakeLife(cat);
    } else if (cat.knockedOut == 0) {
        cat.KnockOut();
    }
}

void Stage::TakeLife(CatActor& cat) {
    if (!cat.lives || cat.isUpper) return;
    --*cat.lives;
    if (*cat.lives < 0) {
        isLastOfRun = 1;
        gameOverFade = 1;
    }
}

void Stage::UpdateDartTraps(CatActor& cat) {
    if (cat.kind == 8 || cat.kind == 9 || cat.kind == 12 || cat.kind == 13) return;
    const int left = (cat.x + 13) / kCell, right = (cat.x + 18) / kCell;
    const int top = (cat.y + 14) / kCell, bottom = (cat.y + 20) / kCell;
    struct Scan {
        int column, row, dc, dr;  // first of the two start cells and the step
        int otherColumn, otherRow;
        int32_t direction;  // the dart flies toward the cat
    };
    const Scan scans[4] = {
        {left, top, 0, -1, right, top, Dart::kDown},
        {left, bottom, 0, 1, right, bottom, Dart::kUp},
        {left, top, -1, 0, left, bottom, Dart::kRight},
        {right, top, 1, 0, right, bottom, Dart::kLeft},
    };
    for (const Scan& s : scans) {
        bool fired = false;
        for (int k = 0; k < 5 && !fired; ++k) {
            for (int which = 0; which < 2 && !fired; ++which) {
                const int c = (which == 0 ? s.column : s.otherColumn) + s.dc * k;
                const int r = (which == 0 ? s.row : s.otherRow) + s.dr * k;
                const int32_t code = grid.At(c, r);
                if (code != tile::kDartTrap && code != tile::kDropped) continue;
                grid.Set(c, r, tile::kEmpty);
                darts.push_back({c, r, c * kCell, r * kCell, s.direction, code == tile::kDropped, 0});
                fired = true;
            }
        }
    }
    for (Dart& d : darts) {
        if (d.done != 0) continue;
        if (d.x + 10 <= cat.x + 18 && cat.x + 13 <= d.x + 22 && d.y + 10 <= cat.y + 20 && cat.y + 14 <= d.y + 22) {
            cat.KnockOut();
            d.done = 1;
            d.x = d.y = -32;
        }
    }
}

void Stage::CycleGemSlots() {
    for (int32_t& cell : grid.cells) {
        switch (cell) {
        case tile::kGemSlot: cell = tile::kGemWait3; break;
        case tile::kGemWait3: cell = tile::kGemWait2; break;
        case tile::kGemWait2: cell = tile::kGemWait1; break;
        case tile::kGemWait1: cell = tile::kGemSlot; break;
        default: break;
        }
    }
}

void Stage::HandleTileContact(CatActor& cat, int column, int row, int32_t code) {
    const SaveData* save = gameData ? gameData->save : nullptr;
    const bool hard = save && save->difficulty != 0;
    switch (code) {
    case tile::kTurnRight:
    case tile::kTurnFlip:
    case tile::kTurnLeft:
        Play(gameData, &GameData::seSlash);
        turnTiles.push_back({column, row, 0, code});
        grid.Set(column, row, tile::kEmpty);
        if (code == tile::kTurnRight)
            RotateClockwise();
        else if (code == tile::kTurnFlip)
            FlipVertical();
        else
            RotateCounterClockwise();
        return;
    case tile::kGoal:
        if (mode == gamemode::kNormal && !cat.IsEnemy()) {
            grid.Set(column, row, tile::kGoalOpen);
            finished = 1;
            Play(gameData, &GameData::seMetalHit);
            if (timeLimit - elapsed < 0) return;
            score += AddClearBonus();
            uint8_t* open = save && stageNumber >= 0 && stageNumber < SaveData::kStageCount
                                ? &gameData->save->stageCleared[stageNumber]
                                : nullptr;
            if (open && *open == 0 && hard && cat.StackCount() > 3) {
                Play(gameData, &GameData::seMind);
                *open = 1;
                unlocked = 1;
            }
        } else if (IsTimeAttackMode(mode)) {
            if (cat.StackCount() <= 3) return;
            grid.Set(column, row, tile::kGoalOpen);
            finished = 1;
            Play(gameData, &GameData::seMetalHit);
        } else if (mode == gamemode::kFinal) {
            if (cat.StackCount() <= 3) return;
            if (timeLimit - elapsed <= 0) roundOver = failed = isLastOfRun = 1;
            grid.Set(column, row, tile::kGoalOpen);
            finished = 1;
            Play(gameData, &GameData::seMetalHit);
            score += AddClearBonus();
        }
        return;
    case tile::kGem:
    case tile::kGemSlot: {
        auto takeCell = [&] {
            if (code == tile::kGemSlot)
                CycleGemSlots();
            else
                grid.Set(column, row, tile::kEmpty);
        };
        if (mode == gamemode::kVersus || mode == gamemode::kVersusSingle) {
            Play(gameData, &GameData::seMetalHit);
            cat.MarkStack(1);
            takeCell();
        } else if (mode == gamemode::kSuddenDeath) {
            Play(gameData, &GameData::seMetalHit);
            cat.MarkStack(99);
            takeCell();
            roundOver = finished = 1;
            elapsed = 9999999;
        } else if (mode == gamemode::kNormal || mode == gamemode::kFinal) {
            if (finished) return;
            cat.MarkStack(1);
            const int count = cat.StackCount();
            static constexpr int kPoints[5] = {0, 100, 200, 400, 1000};
            if (count >= 1 && count <= 4)
                score += kPoints[count];
            else if (count > 4 && hard)
                score += (count - 4) * 10000;
            grid.Set(column, row, tile::kEmpty);
            Play(gameData, &GameData::seMetalHit);
        } else if (IsTimeAttackMode(mode)) {
            Play(gameData, &GameData::seMetalHit);
            grid.Set(column, row, tile::kEmpty);
            cat.MarkStack(1);
        }
        return;
    }
    default: return;
    }
}
