// One frame of play, in a fixed order that replays and the simulator's
// state hash depend on: the stage clock; each active player's cat from its
// input (recorded or replayed in the time-attack modes); the enemies; the
// grid passes and the life test of the players; the same for the enemies;
// the enemies the players beat; the camera fit.
#include "engine/log.h"
#include "game/data/game_data.h"
#include "game/play/game_modes.h"
#include "game/play/stage.h"
#include "game/savedata.h"

PlayerInput Stage::InputOf(const input::InputArrays& arrays, int slot, int frame) {
    // A player without a device (a replay, the demo) has no live input.
    PlayerInput in = PlayerInput::FromArrays(arrays, playerEntries[slot]);
    if (IsReplayMode(mode)) {
        in = PlayReplayFrame(slot, frame);
    } else if (IsTimeAttackMode(mode)) {
        RecordReplayFrame(frame, slot, in);
    }
    return in;
}

void Stage::RecordReplayFrame(int frame, int player, const PlayerInput& input) {
    if (streamText) streamText->RecordFrame(frame, player, input);
}

PlayerInput Stage::PlayReplayFrame(int player, int frame) {
    return replayBlocks ? replayBlocks->PlayFrame(frame, player) : PlayerInput{};
}

bool Stage::SaveReplay(const SaveData* withSave) const {
    if (mode != gamemode::kTimeAttack && mode != gamemode::kTimeAttackTable) return false;
    ReplaySource* source = GetReplaySource();
    if (!source || !streamText) {
        WriteLogFormat("Stage %d: no replay was recorded, so none is stored", stageNumber);
        return false;
    }
    StoredReplay stored;
    WriteInStateReplay(stored);
    WriteActionStateReplay(stored);
    WriteSlopeStateReplay(stored);
    WriteAnalogStateReplay(stored);
    WriteMouseStateReplay(stored);
    WriteKeyboardStateReplay(stored);
    return source->SaveStreams(stored, mode, stageNumber, withSave);
}

void Stage::PackReplayStream(StoredReplay& out, ReplayStreams::Stream stream) const {
    if (streamText) out.Pack(*streamText.get(), stream);
}
void Stage::WriteInStateReplay(StoredReplay& out) const { PackReplayStream(out, ReplayStreams::kIn); }
void Stage::WriteActionStateReplay(StoredReplay& out) const { PackReplayStream(out, ReplayStreams::kAction); }
void Stage::WriteSlopeStateReplay(StoredReplay& out) const { PackReplayStream(out, ReplayStreams::kSlope); }
void Stage::WriteAnalogStateReplay(StoredReplay& out) const { PackReplayStream(out, ReplayStreams::kAnalog); }
void Stage::WriteMouseStateReplay(StoredReplay& out) const { PackReplayStream(out, ReplayStreams::kMouse); }
void Stage::WriteKeyboardStateReplay(StoredReplay& out) const { PackReplayStream(out, ReplayStreams::kKeyboard); }

void Stage::LifeTest(CatActor& cat) {
    const bool outside = cat.y < -128 || cat.y > (grid.rows + 1) * 32 || cat.x < -128 || cat.x > (grid.columns + 4) * 32;
    if (!outside && cat.knockedOut == 0) return;
    if (!finished && cat.knockedOut == cat::kKnockOutFrames) {
        cat.knockedOut = cat::kKnockOutFrames + 1;
        if (mode != gamemode::kFinal) TakeLife(cat);
    } else if (outside && cat.knockedOut == 0) {
        cat.KnockOut();
    }
}

void Stage::UpdatePlay(const input::InputArrays& arrays) {
    Update();
    std::array<CatActor*, kPlayers> slots = CatSlots();

    if (!ready && gameOverFade < 1) {
        // The stream frame: this update's number from the stage's first.
        const int frame = playFrames + 1;
        const bool recording = streamText && IsTimeAttackMode(mode) && !IsReplayMode(mode);
        for (int slot = 0; slot < kPlayers; ++slot) {
            if (!playerActive[slot] || !slots[size_t(slot)]) continue;
            const PlayerInput in = InputOf(arrays, slot, frame);
            slots[size_t(slot)]->UpdatePlayer(in);
            if (recording) streamText->FinishFrame(slot, in);
        }
        for (size_t i = 0; i < enemies.size(); ++i) {
            CatActor& enemy = enemies[i];
            enemy.UpdateEnemy(slots.data(), grid, pendingScratch);
            if (enemy.shot) {
                enemy.shot = 0;
                RotateClockwise();
            }
        }
    } else {
        // The ready phase and the game-over fade: cats only fall.
        for (int slot = 0; slot < kPlayers; ++slot) {
            CatActor* cat = playerActive[slot] ? slots[size_t(slot)] : nullptr;
            if (!cat) continue;
            if (cat->knockedOut != 0) {
                cat->CountKnockOut();
                continue;
            }
            cat->FallOnly();
            cat->x += cat->vx;
            cat->y += cat->vy;
        }
    }

    for (int slot = 0; slot < kPlayers && gameOverFade == 0; ++slot) {
        CatActor* cat = playerActive[slot] ? slots[size_t(slot)] : nullptr;
        if (!cat) continue;
        UpdateCatOnGrid(*cat);
        if (cat->rider) UpdateCatOnGrid(*cat->rider);
        UpdateDartTraps(*cat);
        if (cat->rider) UpdateDartTraps(*cat->rider);
        LifeTest(*cat);
        if (cat->rider) LifeTest(*cat->rider);
    }

    for (CatActor& enemy : enemies) {
        UpdateCatOnGrid(enemy);
        UpdateDartTraps(enemy);
        LifeTest(enemy);
    }

    const bool countHits = !IsEasyNormalGame();
    for (CatActor& enemy : enemies) {
        if (!enemy.CheckCatContact(slots.data(), countHits)) continue;
        ++enemiesBeaten;
        gemSpawns.push_back({(enemy.x + 13) / cat::kCellPixels, (enemy.y + 14) / cat::kCellPixels, 0});
        enemy.ChooseStartCell(grid);
    }

    FitCameraToCats(slots.data(), camera, grid.columns, grid.rows, 0.0f);
    ++playFrames;
}
