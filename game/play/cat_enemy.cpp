// One frame of an enemy (kinds 8..13). Each kind moves with the shared
// steps and its own pattern; its strength (`hits`, raised each time a
// player beats it) unlocks harder patterns. Every cell it reads or writes
// goes through the grid's bounds-checked accessors.
#include "game/play/cat_actor.h"

#include "engine/camera.h"
#include "game/data/game_data.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kMaxDroppedHazards = 5;
constexpr int kRunnerCycle = 481;  // kind 13's frame cycle
constexpr int kRunnerAttackFirst = 120, kRunnerAttackLast = 300;

int CoreColumn(const CatActor& c) { return (c.x + 13) / cat::kCellPixels; }
int CoreRow(const CatActor& c) { return (c.y + 14) / cat::kCellPixels; }

// The player cats filled from slot 0.
int CountPlayers(CatActor* const players[4]) {
    int n = 0;
    while (n < 4 && players[n]) ++n;
    return n;
}

Vector3 ScreenOfPixel(int px, int py, float depth) {
    const Vector3 w = PixelToWorld(px, py, depth);
    const float p[3] = {w.x, w.y, w.z};
    return WorldToScreenPos(p);
}

}  // namespace

void CatActor::UpdateEnemy(CatActor* const players[4], TileGrid& grid, int& pendingScratch) {
    if (knockedOut != 0) {
        CountKnockOut();
    } else {
        switch (kind) {
        case 8: SteerBySlope(false); break;
        case 9:
        case 10: ApplyFriction(); break;
        case 11: ApplyGravity(); break;
        case 13: {
            const int phase = frame % kRunnerCycle;
            if (hits < 2 || phase < kRunnerAttackFirst || phase > kRunnerAttackLast) {
                if (tick % 3 == 0) ApplyGravity();
            } else {
                vx = vy = 0;
            }
            break;
        }
        default: break;
        }
        UpdateEnemyKind(players, grid, pendingScratch);
        if (kind != 12) TurnAtWalls(grid);
        x += vx;
        y += vy;
    }
    ++frame;
    ++tick;
}

void CatActor::UpdateEnemyKind(CatActor* const players[4], TileGrid& grid, int& pendingScratch) {
    switch (kind) {
    case 8: EnemyCrawler(grid); break;
    case 9: EnemyDropper(grid); break;
    case 10: EnemyLeaper(players); break;
    case 11: EnemyHopper(); break;
    case 12: EnemyBouncer(grid); break;
    case 13: EnemyRunner(players, grid, pendingScratch); break;
    default: break;
    }
}

// Crawls along blocks; each hit reverses it. Once hit it drops hazards, no
// more than five at a time on the field.
void CatActor::EnemyCrawler(TileGrid& grid) {
    MoveAlongDirection(hits % 2 == 0 ? 1 : -1, true);
    if (hits < 1) return;
    const int period = hits == 1 ? 120 : hits == 2 ? 60 : 45;
    if (frame % period != 0 || grid.Count(tile::kDropped) >= kMaxDroppedHazards) return;
    if (grid.At(CoreColumn(*this), CoreRow(*this)) == tile::kEmpty) {
        grid.Set(CoreColumn(*this), CoreRow(*this), tile::kDropped);
        PlaySound(&GameData::seScratch);
    }
}

// Leaves spikes, turns the field when strong, and glides a cell at a time.
void CatActor::EnemyDropper(TileGrid& grid) {
    const int phase = frame % 180;
    if (phase == 0) {
        if (hits >= 1) {
            holdTime = 0;
            PlaySound(&GameData::seScratch);
            if (grid.At(CoreColumn(*this), CoreRow(*this)) == tile::kEmpty)
                grid.Set(CoreColumn(*this), CoreRow(*this), tile::kSpike);
        }
    } else if (phase < 30) {
        if (hits >= 3) holdTime = phase * 2;
    } else if (phase == 30) {
        if (hits >= 3) {
            PlaySound(&GameData::seSlash2);
            shot = 1;
        }
    } else {
        const Vector3 to = ScreenOfPixel(x + stepX * cat::kCellPixels, y + stepY * cat::kCellPixels, depth);
        SteerBySlopeAndAnalog(false, true, ScreenPosition(), to);
        mode = 1;
        jumpState = -1;
    }
}

// Weak: charges and lets go in a one-second rhythm. Strong: jumps next to a
// player, charges at it and attacks.
void CatActor::EnemyLeaper(CatActor* const players[4]) {
    const Vector3 from = ScreenPosition();
    if (hits < 2) {
        const Vector3 to = ScreenOfPixel(x + stepX * cat::kCellPixels, y + stepY * cat::kCellPixels, depth);
        SteerBySlopeAndAnalog(tick % 60 < 40, false, from, to);
        return;
    }
    const int period = hits == 2 ? 179 : 119;
    const int phase = frame % period;
    const int count = CountPlayers(players);
    if (phase == 0) {
        if (count == 0) return;
        target = tick % count;
        mode = 10;
        attacking = 0;
        x = players[target]->x + (tick % 3) * 96 - 96;
        y = players[target]->y + ((tick + 1) % 3) * 96 - 96;
        return;
    }
    if (phase <= 70) {
        const CatActor* t = target >= 0 && target < count ? players[target] : nullptr;
        const Vector3 to = t ? t->ScreenPosition() : from;
        if (phase == 70) attacking = 1;
        SteerBySlopeAndAnalog(phase < 70, false, from, to);
        return;
    }
    if (std::abs(vx) < 3 && std::abs(vy) < 3) attacking = 0;
}

void CatActor::WeakHop() {
    if (tick % 20 == 0)
        EndJumpState(0);  // the hop is cut
    else
        HandleJumpAction(0, false);
}

void CatActor::EnemyHopper() {
    if (hits < 3) {
        WeakHop();
    } else {
        if (tick % 75 == 0) {
            timer = 30;
            EndJumpState(0);
        }
        if (timer >= 1)
            HandleJumpAction(0, false);
        else
            WeakHop();
        timer = std::max(timer - 1, -1);
    }
    Accelerate(stepX, hits >= 2 ? 6 : 2);
}

void CatActor::EnemyBouncer(const TileGrid& grid) {
    if (turnState == 0 && vx < 0) turnState = 1;
    if (turnState == 10 && vx > 0) turnState = 11;
    vx = stepX * (hits + 3);
    vy = stepY * (hits + 3);
    mode = 1;
    jumpState = -1;
    const int c0 = (x + 5) / cat::kCellPixels, c1 = (x + 26) / cat::kCellPixels;
    const int r0 = (y + 6) / cat::kCellPixels, r1 = (y + 26) / cat::kCellPixels;
    if (c1 + 1 >= grid.columns) stepX = -1;
    if (c0 <= 1) stepX = 1;
    if (r1 + 1 >= grid.rows) stepY = -1;
    if (r0 <= 1) stepY = 1;
}

// Runs from the first player with a keyboard of its own; when strong it
// gathers a charge, then scatters hazards and jumps about the field.
void CatActor::EnemyRunner(CatActor* const players[4], TileGrid& grid, int& pendingScratch) {
    int32_t keys[cat::kKeyBufferBytes] = {};
    const CatActor* p = players[0];
    const int phase = frame % kRunnerCycle;
    const int r1 = (y + 26) / cat::kCellPixels;
    if (hits < 2 || phase < kRunnerAttackFirst || phase > kRunnerAttackLast) {
        holdTime = 0;
        const bool playerHigh = p && p->y < y - 96;
        const bool jump = (playerHigh && frame % 100 == 0) || (!playerHigh && frame % 15 == 0 && stepY < 0) ||
                          r1 + 1 >= grid.rows;
        keys[0] = jump ? 1 : 0;
        const int dx = p ? x - p->x : 0;  // > 0: the player is to the left
        if (p && std::abs(p->y - y) <= 192 && frame % 90 == 0) {
            if (dx >= 1 && dx <= 128) stepX = 1;
            if (-dx >= 1 && -dx <= 128) stepX = -1;
        }
        if (stepX < 1) {
            keys[25] = keys[26] = 1;
            if (hits >= 1 && p && dx > 0 && dx < 65) keys[27] = 1;
        } else {
            keys[31] = keys[32] = 1;
            if (hits >= 1 && p && -dx > 0 && -dx < 65) keys[33] = 1;
        }
        if (hits >= 2) {
            if (phase >= 60 && phase < 120) {
                ++pulse;
                holdTime = 60 - frame % 60;
                if (phase == 60) PlaySound(&GameData::sePower0);
            } else {
                pulse = std::max(pulse - 1, 0);
            }
        }
    } else if (phase % 60 == 0) {
        PlaySound(&GameData::seSlash2);
        if (phase == kRunnerAttackFirst) {
            for (int32_t& cell : grid.cells) {
                if (cell == tile::kDropped) cell = tile::kEmpty;
            }
        }
        const int c = CoreColumn(*this), r = CoreRow(*this);
        const int around[9][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {0, 0}, {1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
        const int count = hits >= 3 ? 9 : 4;
        for (int k = 0; k < count; ++k) {
            const int cc = c + around[k][0], rr = r + around[k][1];
            if (grid.At(cc, rr) != tile::kEmpty) continue;
            grid.Set(cc, rr, tile::kDropped);
            ++pendingScratch;
        }
        if (grid.columns > 2 && grid.rows > 2) {
            x = (tick % (grid.columns - 2) + 1) * cat::kCellPixels;
            y = (tick % (grid.rows - 2) + 1) * cat::kCellPixels;
        }
    } else {
        holdTime = 60 - phase % 60;
    }
    if (tick % 3 == 0 && pendingScratch > 0) {
        --pendingScratch;
        PlaySound(&GameData::seScratch);
    }
    DetectButtonEdges(keys);
    SpeedFromKeys(keys);
}

void CatActor::TurnAtWalls(const TileGrid& grid) {
    const int c0 = (x + 5) / cat::kCellPixels, c1 = (x + 26) / cat::kCellPixels;
    const int r0 = (y + 6) / cat::kCellPixels, r1 = (y + 26) / cat::kCellPixels;
    if (c1 + 1 >= grid.columns || (grid.IsSolid(c1 + 1, r0) && grid.IsSolid(c1 + 1, r1))) stepX = -1;
    if (c0 <= 1 || (grid.IsSolid(c0 - 1, r0) && grid.IsSolid(c0 - 1, r1))) stepX = 1;
    if (r1 + 1 >= grid.rows || (grid.IsSolid(c0, r1 + 1) && grid.IsSolid(c1, r1 + 1))) stepY = -1;
    if (r0 <= 1 || (grid.IsSolid(c0, r0 - 1) && grid.IsSolid(c1, r0 - 1))) stepY = 1;
}
