// The bookkeeping half of the play session: stage points and clear bonuses
// on their way to the score, the end of a set (bonus count, game over with
// its continue choice, the next set, the end of the run with its unlocks
// and high score), versus rounds with their leaders, sudden death and the
// winner, and time-attack results with best times and replays.
#include "engine/random.h"
#include "engine/screen.h"
#include "game/data/game_data.h"
#include "game/data/game_sound.h"
#include "game/play/game_modes.h"
#include "game/savedata.h"
#include "game/session/play_session.h"
#include "game/timetable.h"

#include <algorithm>

namespace {

constexpr int32_t kCarryStepBelow = 100;       // a smaller carry reaches the score at once
constexpr int32_t kTallyStepBelow = 1000;      // a smaller bonus is counted in one frame
constexpr int64_t kLifeBonus = 100000;         // per life left at the end of the run
constexpr int64_t kNoContinueBonusEasy = 500000;
constexpr int64_t kNoContinueBonusHard = 1000000;
constexpr int kJingleBgm = 7;

int32_t ClampScore(int64_t v) { return int32_t(std::clamp<int64_t>(v, 0, PlaySession::kMaxScore)); }

}  // namespace

void PlaySession::AddToScore(int64_t points) { score = ClampScore(int64_t(score) + points); }

void PlaySession::AddStageScore() {
    if (Stage* stage = CurrentStage()) {
        scoreCarry = ClampScore(int64_t(scoreCarry) + stage->score);
        stage->score = 0;
    }
    // The points flow in at 1 % of what is left a frame, the last 99 at once.
    if (scoreCarry < kCarryStepBelow) {
        AddToScore(scoreCarry);
        scoreCarry = 0;
    } else {
        const int32_t step = scoreCarry / 100;
        AddToScore(step);
        scoreCarry -= step;
    }
}

void PlaySession::FinishStage(int32_t playPhase) {
    Stage* stage = CurrentStage();
    if (IsMapSetPhase(playPhase)) {
        // A last stage lost on time, or reached after its limit, ends the set
        // as a failure, as it would anywhere else in the set.
        EndSet(!StageFailed(stage));
    } else if (IsVersusMode(playPhase)) {
        sessionOver = 1;
        CountResults();
        phaseTimer = 0;
        gamesound::SetMusicVolume(0);
        if (gameData && std::any_of(std::begin(roundWinners), std::end(roundWinners), [](uint8_t w) { return w; }))
            PlaySe(gameData->seMind);
        phase = kRoundResult;
    } else if (playPhase >= gamemode::kTimeAttack && playPhase <= gamemode::kReplayDemo) {
        phaseTimer = 0;
        if (IsNewRecord(playPhase) && gameData) PlaySe(gameData->seMind);
        phase = playPhase == gamemode::kTimeAttack        ? kTimeAttackResult
                : playPhase == gamemode::kTimeAttackTable ? kTableResult
                                                           : kReplayResult;
        if (gameData && gameData->workGraph > 0) CaptureScreenToGraph(0, 0, 640, 480, gameData->workGraph, 1);
    } else if (playPhase == gamemode::kAttractDemo) {
        requestTitle = 1;
        if (gameData) gameData->CaptureScreen();
    }
}

void PlaySession::EndSet(bool cleared) {
    sessionOver = 1;
    if (cleared) {
        // The end of the run adds a bonus per life left and one for a run
        // without a continue to the set's own bonus.
        int64_t pending = bonusPending;
        if (setNumber == kLastNormalSet || setNumber == kFinalSet) pending += int64_t(*lives) * kLifeBonus;
        if (setNumber == kLastNormalSet && !isLastSet && noContinueUsed) {
            const SaveData* save = Save();
            pending += save && save->difficulty == 0 ? kNoContinueBonusEasy : kNoContinueBonusHard;
        }
        bonusPending = ClampScore(pending);
    } else {
        bonusPending = 0;
        bonusShown = 0;
    }
    phaseTimer = 0;
    if (gameData) gameData->PlayBgm(-1);
    setCleared = cleared ? 1 : 0;
    phase = kSetEnd;
}

void PlaySession::TallyBonus(bool decideHeld) {
    if (frameCounter % 2 == 0 && gameData) PlaySe(gameData->seCounter);
    if (bonusPending >= kTallyStepBelow && !decideHeld) {
        const int32_t step = bonusPending / 100;
        AddToScore(step);
        bonusPending -= step;
    } else {
        AddToScore(bonusPending);
        bonusPending = 0;
        if (gameData) PlaySe(gameData->seMind);
    }
}

void PlaySession::UpdateSetEnd(input::ButtonBlock* const* buttons) {
    if (phaseTimer < kEndFrames) ++phaseTimer;
    if (gameOverMenu) {
        if (FirstPlayerHolds(buttons, input::kUp) && !menuOnContinue) {
            menuOnContinue = 1;
            if (gameData) PlaySe(gameData->seCursorMove);
        } else if (FirstPlayerHolds(buttons, input::kDown) && menuOnContinue) {
            menuOnContinue = 0;
            if (gameData) PlaySe(gameData->seCursorMove);
        }
        if (FirstPlayerHolds(buttons, input::kJump)) {
            if (gameData) PlaySe(gameData->seCursorDecide);
            if (menuOnContinue)
                requestReplace = 1;
            else
                requestTitle = 1;
        }
        return;
    }
    if (phaseTimer < kEndFrames) return;
    if (bonusPending != 0) {
        TallyBonus(FirstPlayerHolds(buttons, input::kJump));
        return;
    }
    if (!FirstPlayerHolds(buttons, input::kPause)) return;
    SaveData* save = Save();
    if (*lives < 0) {
        // Game over: the score is offered to the high scores, then the
        // continue choice.
        gameOverMenu = 1;
        menuOnContinue = 1;
        if (save) {
            if (isLastSet)
                SaveData::RecordExtraHighScore(*save, score, FirstPlayerDeviceType());
            else
                SaveData::RecordHighScore(*save, score, FirstPlayerDeviceType());
        }
        if (gameData) {
            PlaySe(gameData->seCursorDecide);
            gameData->CaptureScreen();
        }
    } else if (setNumber != kLastNormalSet && setNumber != kFinalSet) {
        // Sets 0 to 3 and the extra sets 5 to 10 lead on to the next set
        // (set 4 after an extra set), also when the set was played again
        // after a continue; only sets 4 and 11 end the run.
        if (inExtraSet && setCleared) extraSetCleared = 1;
        requestReplace = 1;
        if (gameData) gameData->CaptureScreen();
    } else {
        EndRun();
    }
}

void PlaySession::EndRun() {
    SaveData* save = Save();
    if (save) {
        if (extraSetCleared && !save->finalSetUnlocked) {
            save->finalSetUnlocked = 1;
            finalSetUnlocked = 1;
        }
        if (isLastSet && setCleared && !save->soundTestUnlocked) {
            save->soundTestUnlocked = 1;
            soundTestUnlocked = 1;
        }
        const bool stored = isLastSet ? SaveData::RecordExtraHighScore(*save, score, FirstPlayerDeviceType())
                                      : SaveData::RecordHighScore(*save, score, FirstPlayerDeviceType());
        if (stored) newHighScore = 1;
    }
    if (isLastSet && !setCleared)
        requestTitle = 1;
    else
        requestEnding = 1;
    if (gameData) gameData->CaptureScreen();
}

void PlaySession::CountResults() {
    const Stage* stage = CurrentStage();
    for (int slot = 0; slot < kPlayers; ++slot) {
        roundWinners[slot] = stage && stage->results[slot] ? 1 : 0;
        if (roundWinners[slot]) ++wins[slot];
    }
    // Only the players of the match can lead: a slot without a cat has no
    // wins to tie with.
    auto occupied = [&](int slot) { return stage && stage->Cat(slot) != nullptr; };
    int32_t most = -1;
    for (int slot = 0; slot < kPlayers; ++slot) {
        if (occupied(slot)) most = std::max(most, wins[slot]);
    }
    int count = 0;
    for (int slot = 0; slot < kPlayers; ++slot) {
        leaders[slot] = occupied(slot) && wins[slot] == most ? 1 : 0;
        count += leaders[slot];
    }
    if (count > 1 && sessionOver) suddenDeathPending = 1;
}

void PlaySession::PickWinner() {
    const Stage* stage = CurrentStage();
    for (int slot = 0; slot < kPlayers; ++slot) {
        if (!stage || !stage->Cat(slot)) continue;
        if (winner < 0 || wins[slot] >= wins[winner]) winner = slot;  // a tie goes to the later slot
    }
    std::fill(std::begin(roundWinners), std::end(roundWinners), 0);
}

void PlaySession::UpdateRoundResult(input::ButtonBlock* const* buttons) {
    ++phaseTimer;
    if (phaseTimer >= kEndFrames) {
        for (int slot = 0; slot < kPlayers && playerEntries[slot] != -1; ++slot) {
            const input::ButtonBlock* block = PlayerButtons(buttons, slot);
            if (!block || block->held[input::kPause] <= 0 || startWasDown) continue;
            if (!sessionOver) {
                phase = gamemode::kVersus;  // the next round
                phaseTimer = 0;
                if (gameData) gameData->CaptureScreen();
            } else if (!suddenDeathPending) {
                gamesound::SetMusicVolume(255);
                if (gameData) gameData->PlayBgm(-1);
                PickWinner();
                phase = kMatchResult;
                if (gameData) gameData->PlayBgm(kJingleBgm);
            } else {
                StartSuddenDeathRound();
            }
            frameCounter = -1;
            break;
        }
    }
    startWasDown = AnyPlayerHolds(buttons, input::kPause) ? 1 : 0;
}

void PlaySession::StartSuddenDeathRound() {
    // The leaders play a stage of the set again, in a slot of its own at
    // the end of the list.
    Stage* stage = stages[size_t(GetRandomUpTo(StageCount() - 1))];
    if (!stage) {
        for (Stage* s : stages) {
            if (s) {
                stage = s;
                break;
            }
        }
    }
    suddenDeathPending = 0;
    if (!stage) {
        requestTitle = 1;
        return;
    }
    stages.push_back(stage);
    stageIndex = StageCount() - 1;
    stage->StartSuddenDeath(leaders);
    phaseTimer = 0;
    phase = gamemode::kSuddenDeath;
}

void PlaySession::UpdateMatchResult(input::ButtonBlock* const* buttons) {
    const bool down = AnyPlayerHolds(buttons, input::kPause);
    if (down && !startWasDown) requestTitle = 1;
    startWasDown = down ? 1 : 0;
}

bool PlaySession::IsNewRecord(int32_t p) const {
    const Stage* stage = CurrentStage();
    if (!stage || stage->stageNumber < 0 || stage->stageNumber >= SaveData::kStageCount) return false;
    if (p == gamemode::kTimeAttack || p == kTimeAttackResult) {
        const SaveData* save = Save();
        return save && stage->elapsed < save->bestTime[stage->stageNumber];
    }
    if (p == gamemode::kTimeAttackTable || p == kTableResult) {
        const TimeTable* table = gameData ? gameData->timeTable : nullptr;
        return table && stage->elapsed < table->target[stage->stageNumber][FirstPlayerDeviceType()];
    }
    return false;
}

void PlaySession::UpdateTimeAttackResult(input::ButtonBlock* const* buttons) {
    ++phaseTimer;
    // As the versus result: shown kEndFrames at least, and left on a new
    // press of START, so that a START held from play (a pause a moment late,
    // an unpause in front of the goal) skips nothing. Any device's START: a
    // replay has no players.
    bool down = false;
    for (int slot = 0; buttons && slot < input::kSlotCount && buttons[slot]; ++slot)
        down = down || buttons[slot]->held[input::kPause] > 0;
    const bool pressed = down && !startWasDown;
    startWasDown = down ? 1 : 0;
    if (phaseTimer < kEndFrames || !pressed) return;
    requestTitle = 1;
    StoreRecord();
    if (gameData) gameData->CaptureScreen();
}

void PlaySession::StoreRecord() {
    Stage* stage = CurrentStage();
    if (!stage || stage->stageNumber < 0 || stage->stageNumber >= SaveData::kStageCount || !saveReplay) return;
    const int number = stage->stageNumber;
    SaveData* save = Save();
    TimeTable* table = gameData ? gameData->timeTable : nullptr;
    if (phase == kTimeAttackResult && save && stage->elapsed < save->bestTime[number]) {
        // The save stored with the replay holds the new best time, and the
        // save in play takes it only once the replay is stored: no later
        // store of the save names a run whose replay is not there.
        SaveData withRecord = *save;
        withRecord.bestTime[number] = stage->elapsed;
        withRecord.bestTimeCat[number] = FirstPlayerDeviceType();
        if (!saveReplay(*stage, &withRecord)) return;
        save->bestTime[number] = withRecord.bestTime[number];
        save->bestTimeCat[number] = withRecord.bestTimeCat[number];
    } else if (phase == kTableResult && table &&
               TimeTable::RecordTime(*table, number, FirstPlayerDeviceType(), stage->elapsed)) {
        saveReplay(*stage, nullptr);
    }
}
