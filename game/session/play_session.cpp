// The play session's life and its frame: creation and the hand-over to the
// next session of a run, the play phases with the pause and the end of a
// stage, and the scenes between stages. The bookkeeping of scores, set ends,
// versus rounds and time-attack records is in session_results.cpp.
#include "game/session/play_session.h"

#include "engine/log.h"
#include "engine/screen.h"
#include "game/data/game_data.h"
#include "game/data/game_sound.h"
#include "game/input/input_manager.h"
#include "game/play/follow_camera.h"
#include "game/play/game_modes.h"
#include "game/savedata.h"
#include "game/session/stage_start.h"

#include <algorithm>

namespace {

constexpr int32_t kRunLives = 15;
constexpr int32_t kFirstExtraSet = 4;  // + the first player's device type (1..6)
constexpr float kPullBackPerFrame = 40.0f;
constexpr int kPauseGuardFrames = 2;  // a START held into a phase does not pause

}  // namespace

bool PlaySession::IsPlayPhase(int32_t p) {
    switch (p) {
    case 0: case 1: case 4: case 5: case 8: case 9: case 10: case 11: case 12: case 16: return true;
    default: return false;
    }
}

bool SaveStageReplay(const Stage& stage, const SaveData* withSave) {
    // Through the game's replay source; when it fails the run's best time
    // is not kept, and the save stored before stays as it was.
    return stage.SaveReplay(withSave);
}

PlaySession::PlaySession(GameData* data, const StageDevices& devices, const int32_t entries[kPlayers],
                         int32_t set, int32_t mode, int32_t startLives)
    : phase(mode), setNumber(set), lives(std::make_unique<int32_t>(startLives)), deviceTable(devices),
      gameData(data), saveReplay(&SaveStageReplay) {
    for (int slot = 0; slot < kPlayers; ++slot) playerEntries[slot] = entries ? entries[slot] : -1;
    const SaveData* save = Save();
    extraSetDone = !save || save->difficulty == 0 ? 1 : 0;
    if (setNumber != kNoSet) StartStage();
    if (setNumber == kFinalSet) isLastSet = 1;
}

PlaySession::PlaySession(const scene::Context& context, const scene::SessionSetup& setup)
    : PlaySession(context.data, context.input ? StageDevicesOf(*context.input) : StageDevices{}, setup.entries,
                  setup.setNumber, setup.mode, setup.lives) {}

PlaySession::~PlaySession() = default;

SaveData* PlaySession::Save() const { return gameData ? gameData->save : nullptr; }

StageStartSetup PlaySession::StageSetup() {
    StageStartSetup setup;
    setup.phase = phase;
    setup.setNumber = setNumber;
    setup.data = gameData;
    setup.deviceTable = &deviceTable;
    setup.playerEntries = playerEntries;
    setup.lives = lives.get();
    return setup;
}

void PlaySession::StartStage() {
    if (StartsFromMapSet(phase))
        LoadMapSet();
    else
        TakeLineup(StartStages(StageSetup()));
}

void PlaySession::LoadMapSet() { TakeLineup(StartMapSet(StageSetup())); }

void PlaySession::TakeLineup(StageLineup lineup) {
    phase = lineup.phase;
    if (lineup.bonus) bonusPending = bonusShown = *lineup.bonus;
    ownedStages = std::move(lineup.stages);
    scenes = std::move(lineup.scenes);
    stages.clear();
    for (const std::unique_ptr<Stage>& stage : ownedStages) stages.push_back(stage.get());
    stageIndex = 0;
    if (stages.empty()) {
        // Nothing to play (a missing set, a stage that cannot be played):
        // back to the title rather than a session that shows nothing.
        WriteLogFormat("Play session: set or stage %d in mode %d has nothing to play", setNumber, phase);
        requestTitle = 1;
    }
}

void PlaySession::CarryOver(scene::Session& previous) {
    if (auto* old = dynamic_cast<PlaySession*>(&previous)) CarryOverFrom(*old);
}

void PlaySession::CarryOverFrom(const PlaySession& old) {
    extraSetDone = old.extraSetDone;
    if (old.gameOverMenu && old.menuOnContinue) {
        // Continue: the same set from its start, with full lives and no score.
        *lives = kRunLives;
        score = 0;
        setNumber = old.setNumber;
        extraSetDone = 1;
        extraSetCleared = 0;
        noContinueUsed = 0;
    } else {
        *lives = *old.lives;
        score = old.score;
        extraSetCleared = old.extraSetCleared;
        // A continue earlier in the run still counts against the
        // no-continue bonus at its end.
        noContinueUsed = old.noContinueUsed;
        setNumber = old.setNumber < 5 ? old.setNumber + 1 : kLastNormalSet;
        if (!extraSetDone && setNumber == kLastNormalSet && FirstPlayerDeviceType() > 0) {
            // On the hard difficulty the player's own extra set comes first.
            setNumber = kFirstExtraSet + FirstPlayerDeviceType();
            inExtraSet = 1;
            extraSetDone = 1;
        }
    }
    StartStage();
}

scene::SessionRequests PlaySession::TakeRequests() {
    scene::SessionRequests r;
    r.title = requestTitle != 0;
    r.replace = requestReplace != 0;
    r.ending = requestEnding != 0;
    requestTitle = requestReplace = requestEnding = 0;
    return r;
}

scene::RunResult PlaySession::Result() const {
    scene::RunResult r;
    r.isLastSet = isLastSet != 0;
    r.finalSetUnlocked = finalSetUnlocked != 0;
    r.soundTestUnlocked = soundTestUnlocked != 0;
    r.score = score;
    r.newHighScore = newHighScore != 0;
    return r;
}

Stage* PlaySession::CurrentStage() const {
    return stageIndex >= 0 && stageIndex < StageCount() ? stages[size_t(stageIndex)] : nullptr;
}

ScenarioScript* PlaySession::CurrentScene() const {
    return stageIndex >= 0 && size_t(stageIndex) < scenes.size() ? scenes[size_t(stageIndex)].get() : nullptr;
}

int32_t PlaySession::FirstPlayerDeviceType() const {
    const int32_t entry = playerEntries[0];
    if (entry < 0 || entry >= input::kSlotCount) return 0;
    const int32_t type = deviceTable.types[entry];
    return type >= input::kJoystick && type <= input::kKeyboard ? type : 0;
}

const input::ButtonBlock* PlaySession::PlayerButtons(input::ButtonBlock* const* buttons, int slot) const {
    if (!buttons || slot < 0 || slot >= kPlayers) return nullptr;
    const int32_t entry = playerEntries[slot];
    return entry >= 0 && entry < input::kSlotCount ? buttons[entry] : nullptr;
}

bool PlaySession::FirstPlayerHolds(input::ButtonBlock* const* buttons, int button) const {
    const input::ButtonBlock* block = PlayerButtons(buttons, 0);
    return block && block->held[button] > 0;
}

bool PlaySession::AnyPlayerHolds(input::ButtonBlock* const* buttons, int button) const {
    for (int slot = 0; slot < kPlayers && playerEntries[slot] != -1; ++slot) {
        const input::ButtonBlock* block = PlayerButtons(buttons, slot);
        if (block && block->held[button] > 0) return true;
    }
    return false;
}

void PlaySession::PlaySe(int handle) const {
    if (handle > 0) gamesound::PlayHandle(handle, 1, 1);
}

void PlaySession::Update(const scene::FrameInput& input) {
    switch (phase) {
    case kScene: UpdateScene(input.buttons); break;
    case kSetEnd: UpdateSetEnd(input.buttons); break;
    case kRoundResult: UpdateRoundResult(input.buttons); break;
    case kMatchResult: UpdateMatchResult(input.buttons); break;
    case kTimeAttackResult:
    case kTableResult:
    case kReplayResult: UpdateTimeAttackResult(input.buttons); break;
    case kPause: CheckPause(input.buttons); break;
    default:
        if (IsPlayPhase(phase)) UpdatePlay(input);
        break;
    }
    ++frameCounter;
}

void PlaySession::UpdatePlay(const scene::FrameInput& input) {
    const int32_t playPhase = phase;
    Stage* stage = CurrentStage();
    if (!stage) {
        requestTitle = 1;
        return;
    }
    input::InputArrays arrays;
    for (int slot = 0; slot < input::kSlotCount; ++slot) {
        arrays.buttons[slot] = input.buttons ? input.buttons[slot] : nullptr;
        arrays.actions[slot] = input.actions ? input.actions[slot] : nullptr;
        arrays.slopes[slot] = input.slopes ? input.slopes[slot] : nullptr;
        arrays.analogs[slot] = input.analogs ? input.analogs[slot] : nullptr;
        arrays.mice[slot] = input.mice ? input.mice[slot] : nullptr;
        arrays.keyboards[slot] = input.keyboards ? input.keyboards[slot] : nullptr;
    }
    stage->UpdatePlay(arrays);
    CheckPause(input.buttons);
    if (playPhase == gamemode::kAttractDemo) CheckDemoAbort(input.buttons);

    if (stage->IsFinished()) {
        phaseTimer = IsTimeAttackMode(playPhase) ? kEndFrames : 1;
        AddToScore(scoreCarry);
        scoreCarry = 0;
    }
    if (IsMapSetPhase(playPhase)) AddStageScore();
    if (phaseTimer > 0) {
        if (phaseTimer < kEndFrames && !stage->isLastOfRun) {
            // The camera pulls back while the stage fades out.
            ++phaseTimer;
            const std::array<CatActor*, kPlayers> cats = stage->CatSlots();
            if (std::any_of(cats.begin(), cats.end(), [](const CatActor* c) { return c != nullptr; }))
                FitCameraToCats(cats.data(), stage->camera, stage->grid.columns, stage->grid.rows,
                                float(phaseTimer) * kPullBackPerFrame);
        } else if (stageIndex + 1 < StageCount()) {
            AdvanceStage(playPhase);
        } else {
            FinishStage(playPhase);
        }
    }
    if (Stage* current = CurrentStage()) UpdateCameraFollow(current->camera);
}

bool PlaySession::StageFailed(const Stage* stage) const {
    // A final-rule stage lost on time (or reached after its limit), or the
    // last life gone.
    return (stage && stage->mode == gamemode::kFinal && stage->failed) || *lives < 0;
}

void PlaySession::AdvanceStage(int32_t playPhase) {
    Stage* stage = CurrentStage();
    if (IsMapSetPhase(playPhase)) {
        if (StageFailed(stage)) {
            EndSet(false);
            return;
        }
        ++stageIndex;
        phaseTimer = 0;
        if (CurrentScene()) phase = kScene;
        if (gameData) gameData->CaptureScreen();
    } else if (IsVersusMode(playPhase)) {
        CountResults();
        ++stageIndex;
        phaseTimer = 0;
        phase = kRoundResult;
        // The round's last picture stays behind its result.
        if (gameData) gameData->CaptureScreen();
        if (std::any_of(std::begin(roundWinners), std::end(roundWinners), [](uint8_t w) { return w != 0; }) &&
            gameData)
            PlaySe(gameData->seMind);
    } else if (playPhase == gamemode::kAttractDemo) {
        ++stageIndex;
        phaseTimer = 0;
        if (gameData) gameData->CaptureScreen();
    }
}

void PlaySession::UpdateScene(input::ButtonBlock* const* buttons) {
    ScenarioScript* scene = CurrentScene();
    if (!scene) {
        // No scene in this slot: play on.
        phase = 0;
        return;
    }
    scene->Run(buttons);
    if (!scene->TakeFinished()) return;
    if (!CurrentStage() && stageIndex + 1 >= StageCount()) {
        // The closing scene after the set's last stage: the set is cleared.
        EndSet(true);
        return;
    }
    phase = 0;
    phaseTimer = 0;
    frameCounter = 0;
    if (gameData) gameData->CaptureScreen();
}

void PlaySession::CheckPause(input::ButtonBlock* const* buttons) {
    if (frameCounter < kPauseGuardFrames) pauseLatch = 1;
    for (int slot = 0; slot < kPlayers && playerEntries[slot] != -1; ++slot) {
        const input::ButtonBlock* block = PlayerButtons(buttons, slot);
        if (!block || block->held[input::kPause] <= 0) continue;
        if (block->held[input::kJump] > 0 && block->held[input::kAction] > 0) {
            // START with decide and cancel: back to the title.
            requestTitle = 1;
            if (gameData) gameData->CaptureScreen();
            pauseLatch = 0;
            return;
        }
        if (pauseLatch) return;
        pauseLatch = 1;
        if (phase == kPause) {
            phase = pausedPhase;
        } else {
            pausedPhase = phase;
            phase = kPause;
            if (gameData && gameData->workGraph > 0) CaptureScreenToGraph(0, 0, 640, 480, gameData->workGraph, 1);
        }
        if (gameData) PlaySe(gameData->seCursorDecide);
        return;
    }
    pauseLatch = 0;
}

void PlaySession::CheckDemoAbort(input::ButtonBlock* const* buttons) {
    if (!buttons) return;
    for (int slot = 0; slot < input::kSlotCount && buttons[slot]; ++slot) {
        const input::ButtonBlock& b = *buttons[slot];
        if (b.held[input::kAction] > 0 || b.held[input::kJump] > 0 || b.held[input::kPause] > 0) {
            requestTitle = 1;
            if (gameData) gameData->CaptureScreen();
            return;
        }
    }
}
