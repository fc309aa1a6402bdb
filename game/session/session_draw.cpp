// The play session's frame on screen: the stage's field while a stage is
// played (fading while the camera pulls back after it), the scene between
// stages, and the session's own screens (game/draw/session_screens.h)
// filled from the session's state.
#include "game/data/game_data.h"
#include "game/draw/session_screens.h"
#include "game/play/cat_actor.h"
#include "game/savedata.h"
#include "game/session/play_session.h"
#include "game/timetable.h"

#include <string>

namespace {

int FaceOf(const GameData& data, const Stage* stage, int slot) {
    const CatActor* cat = stage ? stage->Cat(slot) : nullptr;
    if (!cat || cat->kind < 1 || cat->kind > GameData::kCatKinds) return 0;
    return data.catFaces[cat->kind - 1];
}

// The stage whose cats the screens show: the current one, or the one before
// while a closing scene (a slot without a stage) plays.
const Stage* ShownStage(const PlaySession& s) {
    if (const Stage* stage = s.CurrentStage()) return stage;
    const int32_t before = s.stageIndex - 1;
    return before >= 0 && before < s.StageCount() ? s.stages[size_t(before)] : nullptr;
}

}  // namespace

void PlaySession::Draw() {
    if (!gameData) return;
    const GameData& data = *gameData;
    // The screen before dissolves over the whole new one, its score panel
    // too, so the two screens' lives never show together.
    bool transitionLeft = false;
    if (IsPlayPhase(phase)) {
        if (Stage* stage = CurrentStage()) {
            stage->Draw(phaseTimer < 1 ? 1.0f : 1.0f - float(phaseTimer) / kEndFrames, false);
            transitionLeft = true;
        }
    } else if (phase == kScene) {
        if (ScenarioScript* scene = CurrentScene()) {
            scene->DrawMessageWindow(false);
            transitionLeft = true;
        }
    } else if (phase == kSetEnd) {
        DrawSetEnd();
    } else if (phase == kRoundResult || phase == kMatchResult) {
        DrawVersusResult();
    } else if (phase == kTimeAttackResult || phase == kTableResult || phase == kReplayResult) {
        DrawTimeAttackResult();
    } else if (phase == kPause) {
        sessiondraw::DrawPause(data);
    }
    if (IsMapSetPhase(phase) || phase == kScene || phase == kSetEnd) DrawScorePanel();
    if (transitionLeft) gameData->DrawScreenTransition(-1);
}

void PlaySession::DrawScorePanel() const {
    sessiondraw::ScorePanel panel;
    panel.score = score;
    panel.hasLives = lives != nullptr;
    panel.lives = lives ? *lives : 0;
    panel.endless = isLastSet || inExtraSet;
    panel.face = FaceOf(*gameData, ShownStage(*this), 0);
    sessiondraw::DrawScorePanel(*gameData, panel);
}

void PlaySession::DrawSetEnd() const {
    const SaveData* save = gameData->save;
    const std::string name = gameData->MenuLabelText(setNumber, -1);
    sessiondraw::SetEnd screen;
    screen.face = FaceOf(*gameData, ShownStage(*this), 0);
    screen.setName = name.c_str();
    screen.lastNormalSet = setNumber == kLastNormalSet || setNumber == kFinalSet;
    screen.isLastSet = isLastSet != 0;
    screen.bonusShown = bonusShown;
    screen.bonusPending = bonusPending;
    screen.lives = *lives;
    screen.noContinueUsed = noContinueUsed != 0;
    screen.easy = !save || save->difficulty == 0;
    screen.gameOverMenu = gameOverMenu != 0;
    screen.menuOnContinue = menuOnContinue != 0;
    screen.frameCounter = frameCounter;
    sessiondraw::DrawSetEnd(*gameData, screen);
}

void PlaySession::DrawVersusResult() const {
    const Stage* stage = ShownStage(*this);
    sessiondraw::VersusResult screen;
    screen.phase = phase;
    screen.background = gameData->captureGraph;
    screen.winner = winner;
    screen.frameCounter = frameCounter;
    screen.phaseTimer = phaseTimer;
    for (int slot = 0; slot < kPlayers; ++slot) {
        const CatActor* cat = stage ? stage->Cat(slot) : nullptr;
        screen.catKinds[slot] = cat ? cat->kind : 0;
        screen.wins[slot] = wins[slot];
        screen.roundWinners[slot] = roundWinners[slot];
    }
    screen.sessionOver = sessionOver != 0;
    screen.nextIsLast = stageIndex == StageCount() - 1;
    sessiondraw::DrawVersusResult(*gameData, screen);
}

void PlaySession::DrawTimeAttackResult() const {
    const Stage* stage = CurrentStage();
    if (!stage) return;
    const bool known = stage->stageNumber >= 0 && stage->stageNumber < SaveData::kStageCount;
    sessiondraw::TimeAttackResult screen;
    screen.phase = phase;
    screen.phaseTimer = phaseTimer;
    screen.frameCounter = frameCounter;
    screen.record = SaveData::kNoTime;
    if (known && phase == kTimeAttackResult && gameData->save) screen.record = gameData->save->bestTime[stage->stageNumber];
    if (known && phase == kTableResult && gameData->timeTable)
        screen.record = gameData->timeTable->target[stage->stageNumber][FirstPlayerDeviceType()];
    screen.clearTime = stage->elapsed;
    screen.newRecord = IsNewRecord(phase);
    sessiondraw::DrawTimeAttackResult(*gameData, screen);
}
