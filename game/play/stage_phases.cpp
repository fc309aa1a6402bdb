// The phases of a stage: ready (101 frames), go (31 frames), play, and the
// frames it lingers after its end (100, or 2 in time attack); and the
// switch of a tied versus stage into a sudden-death round.
#include "engine/screen.h"
#include "game/data/game_data.h"
#include "game/data/game_sound.h"
#include "game/play/game_modes.h"
#include "game/play/play_clock.h"
#include "game/play/stage.h"

namespace {

constexpr int kReadyFrames = 101;
constexpr int kGoFrames = 31;
constexpr int kLingerFrames = 100;
constexpr int kDemoStageMs = 10000;


}  // namespace

bool Stage::IsFinished() {
    if (ready || go || finished) ++phaseCounter;
    if (mode == gamemode::kAttractDemo && elapsed >= kDemoStageMs) return true;
    if (finished) {
        if (IsSingleTimeAttack(mode) ? phaseCounter < 2 : phaseCounter != kLingerFrames) return false;
        ++phaseCounter;
        // The picture behind the result screen (nothing to capture while no
        // picture was made, as in a simulation).
        if ((IsSingleTimeAttack(mode) || mode == gamemode::kAttractDemo) && gameData && gameData->workGraph > 0)
            CaptureScreenToGraph(0, 0, 640, 480, gameData->workGraph, 1);
        return true;
    }
    if (ready && phaseCounter >= kReadyFrames) {
        if (elapsed == 0) startTick = PlayMilliseconds();
        ready = 0;
        phaseCounter = 0;
        go = 1;
    }
    if (go && phaseCounter >= kGoFrames) {
        go = 0;
        phaseCounter = 0;
    }
    return false;
}

void Stage::StartSuddenDeath(const uint8_t leaders[kPlayers]) {
    mode = gamemode::kSuddenDeath;
    isLastOfRun = 1;
    for (int slot = 0; slot < kPlayers; ++slot) {
        results[slot] = 0;
        playerActive[slot] = leaders[slot] && cats[size_t(slot)] ? 1 : 0;
        if (playerActive[slot]) cats[size_t(slot)]->Reset();
    }
    gamesound::SetMusicVolume(255);
    phaseCounter = frameCounter = elapsed = startTick = 0;
    flipped = go = finished = roundOver = resultsDecided = 0;
    ready = 1;
}
