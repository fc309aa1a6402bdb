// One run of play started from the title: a map set of stages with scenes
// between them, a versus match, one time-attack stage or its replay, or the
// attract demo. The session owns its stages and scenes, keeps the score,
// the lives, continues and versus wins, and runs a phase machine whose
// phase is the game mode itself while a stage is played:
//
//   0, 1        map-set play            9..12      time attack, its replays
//   2           a scene                 13, 14, 15 time-attack results
//   3           set end: bonus count,   16         attract demo
//               game-over menu          17         pause
//   4, 5        versus round
//   6, 7        versus round / match result
//   8           versus sudden death
//
// After each update GameApp reads three requests: back to the title, replace
// the session by the next one of the run (continue or next set), or the
// ending.
#pragma once
#include "game/app/scenes.h"
#include "game/input/input_blocks.h"
#include "game/play/stage.h"
#include "game/script/scenario_script.h"
#include "game/session/stage_start.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct GameData;
struct SaveData;

class PlaySession : public scene::Session {
public:
    static constexpr int kPlayers = Stage::kPlayers;
    static constexpr int32_t kMaxScore = 99999999;
    static constexpr int32_t kNoSet = -1;
    static constexpr int32_t kLastNormalSet = 4;  // the run ends after it
    static constexpr int32_t kFinalSet = 11;      // the final set the title offers once unlocked
    static constexpr int kEndFrames = 30;         // camera pull-back, result fly-ins

    enum Phase : int32_t {
        kScene = 2,
        kSetEnd = 3,
        kRoundResult = 6,
        kMatchResult = 7,
        kTimeAttackResult = 13,  // after mode 9
        kTableResult = 14,       // after mode 10
        kReplayResult = 15,      // after modes 11 and 12
        kPause = 17,
    };

    // Stores a time-attack run's replay (its streams as the stage recorded
    // them), in one commit with the save that holds its new best time when
    // one is given; true when it was stored (the session keeps the best
    // time only then).
    using ReplaySaver = std::function<bool(const Stage&, const SaveData* withSave)>;

    // A session for the title's set or stage (kNoSet: one that CarryOver
    // fills), mode and player entries (the device slot of players 1..4, -1
    // none; the list ends at the first -1) with the given lives. devices
    // are the input manager's device slots as the stages see them.
    PlaySession(GameData* data, const StageDevices& devices, const int32_t entries[kPlayers], int32_t setNumber,
                int32_t mode, int32_t lives);
    // As GameApp makes it.
    PlaySession(const scene::Context& context, const scene::SessionSetup& setup);
    ~PlaySession() override;
    PlaySession(const PlaySession&) = delete;
    PlaySession& operator=(const PlaySession&) = delete;

    // ---- scene::Session ----
    void Update(const scene::FrameInput& input) override;
    void Draw() override;
    scene::SessionRequests TakeRequests() override;
    int32_t Phase() const override { return phase; }
    // Continue (the old session's game-over choice stood on continue) or
    // the next set of the run, with lives, score and the extra-set flags.
    void CarryOver(scene::Session& previous) override;
    scene::RunResult Result() const override;

    // ---- the run ----
    // Builds the stages and scenes of the set or stage; nothing to play
    // sends the session back to the title.
    void StartStage();
    // The stages and scenes of the session's map set (phases 0, 1, 2, 4),
    // with the phase, clear bonus and music its file gives.
    void LoadMapSet();
    void CarryOverFrom(const PlaySession& old);
    Stage* CurrentStage() const;
    ScenarioScript* CurrentScene() const;
    int32_t StageCount() const { return int32_t(stages.size()); }
    // The device type (1..6) of the first player, 0 without one.
    int32_t FirstPlayerDeviceType() const;
    bool IsMapSetPhase(int32_t p) const { return p == 0 || p == 1; }
    // A stage is played in this phase (its number is the game mode).
    static bool IsPlayPhase(int32_t p);

    // ---- scoring and results ----
    void AddStageScore();
    void AddToScore(int64_t points);
    void AdvanceStage(int32_t playPhase);
    void FinishStage(int32_t playPhase);
    void TallyBonus(bool decideHeld);
    void CountResults();
    void PickWinner();
    // The run beats the record of its mode (phase 9 or 13: the best time,
    // 10 or 14: the time table's target; never for a replay).
    bool IsNewRecord(int32_t p) const;
    void CheckPause(input::ButtonBlock* const* buttons);
    void CheckDemoAbort(input::ButtonBlock* const* buttons);

    int32_t phase = 0;
    int32_t pausedPhase = 0;
    int32_t setNumber = kNoSet;
    // The stages in play order: references into ownedStages, null in the
    // slot of a closing scene. A sudden-death round appends a reference to
    // the stage it plays again, so the list grows with every tie.
    std::vector<Stage*> stages;
    std::vector<std::unique_ptr<Stage>> ownedStages;
    // The scene played before the stage of the same slot, or null.
    std::vector<std::unique_ptr<ScenarioScript>> scenes;
    int32_t stageIndex = 0;
    uint8_t inExtraSet = 0;
    uint8_t extraSetDone = 0;
    uint8_t extraSetCleared = 0;
    uint8_t setCleared = 0;
    uint8_t isLastSet = 0;
    uint8_t noContinueUsed = 1;
    // Held by the player cats of map-set stages, which take a life from it;
    // below 0 the run is over.
    std::unique_ptr<int32_t> lives;
    int32_t score = 0;
    int32_t scoreCarry = 0;
    int32_t bonusShown = 0;
    int32_t bonusPending = 0;
    int32_t wins[kPlayers] = {};
    uint8_t roundWinners[kPlayers] = {};
    uint8_t leaders[kPlayers] = {};
    int32_t winner = -1;
    int32_t phaseTimer = 0;
    uint8_t sessionOver = 0;
    uint8_t pauseLatch = 0;
    int32_t playerEntries[kPlayers] = {-1, -1, -1, -1};
    StageDevices deviceTable;
    GameData* gameData = nullptr;
    uint8_t requestTitle = 0;
    uint8_t requestReplace = 0;
    uint8_t requestEnding = 0;
    uint8_t suddenDeathPending = 0;
    int32_t frameCounter = 0;
    uint8_t gameOverMenu = 0;
    uint8_t menuOnContinue = 0;
    int32_t startWasDown = 0;
    uint8_t soundTestUnlocked = 0;
    uint8_t finalSetUnlocked = 0;
    uint8_t newHighScore = 0;
    ReplaySaver saveReplay;

private:
    SaveData* Save() const;
    StageStartSetup StageSetup();
    void TakeLineup(StageLineup lineup);
    const input::ButtonBlock* PlayerButtons(input::ButtonBlock* const* buttons, int slot) const;
    bool FirstPlayerHolds(input::ButtonBlock* const* buttons, int button) const;
    bool AnyPlayerHolds(input::ButtonBlock* const* buttons, int button) const;
    bool StageFailed(const Stage* stage) const;
    void PlaySe(int handle) const;

    void UpdatePlay(const scene::FrameInput& input);
    void UpdateScene(input::ButtonBlock* const* buttons);
    void EndSet(bool cleared);
    void UpdateSetEnd(input::ButtonBlock* const* buttons);
    void EndRun();
    void UpdateRoundResult(input::ButtonBlock* const* buttons);
    void StartSuddenDeathRound();
    void UpdateMatchResult(input::ButtonBlock* const* buttons);
    void UpdateTimeAttackResult(input::ButtonBlock* const* buttons);
    // The run's record (a new best time, or a time under the table's
    // target) with its replay, as the player leaves its result.
    void StoreRecord();

    void DrawScorePanel() const;
    void DrawSetEnd() const;
    void DrawVersusResult() const;
    void DrawTimeAttackResult() const;
};

// The default way a time-attack run's replay is stored.
bool SaveStageReplay(const Stage& stage, const SaveData* withSave);
