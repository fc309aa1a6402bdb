// The first step of every play frame: the timed lists age, the play clock
// runs, time-outs end the stage, versus winners are found and the game-over
// fade runs. And the bonus for reaching the goal.
#include "game/data/game_data.h"
#include "game/data/game_sound.h"
#include "game/play/game_modes.h"
#include "game/play/stage.h"
#include "game/savedata.h"

#include <algorithm>
#include <climits>

namespace {

constexpr int kBumpLinger = 20;     // frames a bumped block stays on the list
constexpr int kGemSpawnFrames = 60;
constexpr int kDartStep = 10;       // pixels per frame
constexpr int kRearmFrames = 180;   // darts and turn tiles come back after this
constexpr int kGameOverFadeFrames = 180;
constexpr int kStoryGrace = 5000;   // ms past the limit before a story time-out

// Removes the entries that ask for it, keeping the others in order.
template <class T, class Pred>
void RemoveWhere(std::vector<T>& list, Pred pred) {
    list.erase(std::remove_if(list.begin(), list.end(), pred), list.end());
}

}  // namespace

bool Stage::Update() {
    if (++frameCounter > 100000) frameCounter = 0;

    for (BumpedBlock& b : bumpedBlocks) {
        if (b.age == 0 && gameData) {
            for (int k = 0; k < 4; ++k) gamesound::PlayHandle(gameData->seKitty, 1, 1);
        }
        ++b.age;
    }
    RemoveWhere(bumpedBlocks, [](const BumpedBlock& b) { return b.age > kBumpLinger; });

    for (GemSpawn& g : gemSpawns) {
        if (++g.age <= kGemSpawnFrames) continue;
        // A gem cannot hide the closed goal: it appears above it.
        const int row = grid.At(g.column, g.row) == tile::kGoal ? g.row - 1 : g.row;
        grid.Set(g.column, row, tile::kGem);
    }
    RemoveWhere(gemSpawns, [](const GemSpawn& g) { return g.age > kGemSpawnFrames; });

    for (Dart& d : darts) {
        if (d.done == 0) {
            static constexpr int kDx[4] = {0, kDartStep, 0, -kDartStep}, kDy[4] = {-kDartStep, 0, kDartStep, 0};
            d.x += kDx[d.direction & 3];
            d.y += kDy[d.direction & 3];
            if (d.x < 0 || d.x >= grid.columns * 32 || d.y < 0 || d.y >= grid.rows * 32) d.done = 1;
        } else if (++d.done > kRearmFrames) {
            if (!d.byEnemy) grid.Set(d.column, d.row, tile::kDartTrap);
        }
    }
    RemoveWhere(darts, [](const Dart& d) { return d.done > kRearmFrames; });

    for (TakenTurnTile& t : turnTiles) {
        if (++t.age > kRearmFrames) grid.Set(t.column, t.row, t.code);
    }
    RemoveWhere(turnTiles, [](const TakenTurnTile& t) { return t.age > kRearmFrames; });

    const bool hard = gameData && gameData->save && gameData->save->difficulty != 0;
    if ((mode == gamemode::kNormal || mode == gamemode::kFinal) && timeLimit - int64_t(elapsed) < -kStoryGrace &&
        !finished) {
        if (CatActor* first = Cat(0)) {
            if (gameData) gamesound::PlayHandle(gameData->seDeath0, 1, 1);
            ++first->knockedOut;
            if (mode == gamemode::kNormal && first->lives && !first->isUpper) {
                if (--*first->lives < 0) isLastOfRun = 1;
            }
        }
        roundOver = finished = 1;
        if (mode == gamemode::kFinal) failed = isLastOfRun = 1;
    }

    // The winners are decided once, as the clock runs out (or, in sudden
    // death, on the frame after the first gem): the cats play on through
    // the frames the stage lingers, and a gem taken then must not change
    // who won (adding a second winner to the one already standing).
    if (IsVersusMode(mode) && timeLimit - int64_t(elapsed) < 0 && !resultsDecided) {
        roundOver = finished = resultsDecided = 1;
        int best = 0, totals[kPlayers] = {};
        for (int slot = 0; slot < kPlayers; ++slot) {
            const CatActor* c = Cat(slot);
            if (!playerActive[slot] || !c) continue;
            totals[slot] = c->gems + (c->rider ? c->rider->gems : 0);
            best = std::max(best, totals[slot]);
        }
        for (int slot = 0; slot < kPlayers && best > 0; ++slot) {
            if (playerActive[slot] && Cat(slot) && totals[slot] == best) results[slot] = 1;
        }
    }

    bool advanced = false;
    if (!finished && !ready && gameOverFade < 1 && mode != gamemode::kSuddenDeath &&
        (mode != gamemode::kNormal || hard)) {
        elapsed += 16;
        advanced = true;
    }

    if (gameOverFade >= 1) {
        ++gameOverFade;
        gamesound::SetMusicVolume(std::max(255 - gameOverFade * 255 / kGameOverFadeFrames, 0));
        if (gameOverFade > kGameOverFadeFrames) {
            gameOverFade = -1;
            roundOver = finished = 1;
        }
    }
    return advanced;
}

int32_t Stage::AddClearBonus() const {
    const bool hard = gameData && gameData->save && gameData->save->difficulty != 0;
    const int64_t base = enemies.empty() ? 500 : 5000;
    const int64_t factor = hard || mode == gamemode::kFinal ? (base == 5000 ? 10000 : 1000) : 0;
    const CatActor* first = Cat(0);
    const int gems = first ? first->gems + (first->rider ? first->rider->gems : 0) : 0;
    static constexpr int64_t kMultiplier[5] = {1, 2, 3, 4, 8};
    const int64_t multiplier = kMultiplier[std::clamp(gems, 0, 4)];
    // In 64 bits: a long limit times the factor does not fit in 32. A
    // stage without a limit has no time part.
    const int64_t timePart = timeLimit > 0 ? (int64_t(timeLimit) - elapsed) * factor / timeLimit * multiplier : 0;
    // Past the limit the time part turns negative (the final set still
    // counts a goal reached in the grace seconds); the bonus shrinks to
    // nothing there but never takes points away.
    return int32_t(std::clamp<int64_t>(timePart + base, 0, INT32_MAX));
}
