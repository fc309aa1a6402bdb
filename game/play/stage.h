// One play field: the tile grid of a stage file, the player cats and the
// enemies on it, the camera that follows them, the clock and its limit,
// the per-player results, and in the time-attack modes the recorded or
// replayed input. A stage is a plain value: copying one copies its cats,
// enemies, lists and streams (a planner tries moves on copies). It holds no
// pointer into its own grid; the grid is passed to every call that reads it.
#pragma once
#include "game/input/input_blocks.h"
#include "game/play/cat_actor.h"
#include "game/play/deep_ptr.h"
#include "game/play/follow_camera.h"
#include "game/play/replay_seam.h"
#include "game/play/tile_grid.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct GameData;
class InputManager;

// What a stage needs of the input manager's device table: each device
// slot's type (1..6, 0 for an empty slot) and a Wii remote's action block,
// which a new stage clears so a shake from before does not carry over.
struct StageDevices {
    int32_t types[input::kSlotCount] = {};
    int32_t* actionBlocks[input::kSlotCount] = {};
};
// The input manager's devices as a stage sees them.
StageDevices StageDevicesOf(InputManager& manager);

// The runtime lists of the field.
struct BumpedBlock {
    int32_t column, row, age, random;  // random: 0..5, drawn when bumped
};
struct TakenTurnTile {
    int32_t column, row, age, code;  // code is put back after 180 frames
};
struct Dart {
    enum Direction : int32_t { kUp = 0, kRight = 1, kDown = 2, kLeft = 3 };
    int32_t column, row;  // the trap cell
    int32_t x, y;         // pixels
    int32_t direction;
    bool byEnemy;         // fired from a dropped hazard: the trap does not come back
    int32_t done;         // 0 flying; n >= 1 frames since it stopped
};
struct GemSpawn {
    int32_t column, row, age;
};

class Stage {
public:
    static constexpr int kPlayers = 4;
    static constexpr float kFieldDepth = 850.0f;
    static constexpr float kVersusFieldDepth = 950.0f;

    // An empty stage (a 2 x 2 grid, nothing on it).
    Stage();
    // The title's preview: the grid of a normal stage with the fixed codes,
    // no cats and no enemies.
    explicit Stage(int previewStageNumber);

    // The whole stage: the stage file of the mode, the time limit, the
    // cats of the players and the enemies, the camera. playerEntries is
    // the session's device slot per player (-1: none; the list ends at the
    // first -1). False, with a log line, when the stage cannot be played:
    // a replay without its record, a demo replay with no player device, or
    // a stage file that is missing, empty, cut short, or without a start
    // cell or (outside versus) a goal.
    bool Load(int stageNumber, bool isLastOfRun, int mode, int32_t* lives, const StageDevices* devices,
              GameData* gameData, const int32_t playerEntries[kPlayers]);

    // "tpa\stage\stage_normal12.stg" and the like; empty for a mode without
    // stage files.
    static std::string BuildFilePath(int mode, int stageNumber);

    // ---- one frame of play ----
    // The stage clock and the timed lists; true when the clock advanced.
    bool Update();
    // A whole frame: the clock, every player's cat from its input, the
    // enemies, the grid passes, lives, beaten enemies and the camera fit.
    void UpdatePlay(const input::InputArrays& arrays);
    int32_t AddClearBonus() const;

    // ---- replays (through the registered ReplaySource) ----
    // The streams of the stage being loaded, for players of these cat kinds:
    // in the replay modes read back into replayBlocks (the user's record in
    // mode 11, the demo replays of each player's kind in modes 12 and 16),
    // in modes 9 and 10 empty ones in streamText to record into.
    void LoadDemoReplay(const std::vector<int32_t>& playerKinds);
    // Recording (modes 9 and 10): a player's input of a stream frame,
    // before the cat reads it.
    void RecordReplayFrame(int frame, int player, const PlayerInput& input);
    // Playback (the replay modes): a player's recorded input of a stream
    // frame, in blocks the replay owns; null blocks where it holds none.
    PlayerInput PlayReplayFrame(int player, int frame);
    // Time attack (modes 9 and 10): stores what the stage recorded as the
    // user's record or as the stage's demo replay, packed one stream at a
    // time by the Write...StateReplay steps, in one commit with withSave
    // (the save holding the run's new best time) when given. False, with a
    // log line, when nothing was stored (another mode, no recording, or a
    // failed write, which keeps the replay and save stored before).
    bool SaveReplay(const SaveData* withSave = nullptr) const;
    // The packing steps of SaveReplay: one stream of every player each.
    void WriteInStateReplay(StoredReplay& out) const;
    void WriteActionStateReplay(StoredReplay& out) const;
    void WriteSlopeStateReplay(StoredReplay& out) const;
    void WriteAnalogStateReplay(StoredReplay& out) const;
    void WriteMouseStateReplay(StoredReplay& out) const;
    void WriteKeyboardStateReplay(StoredReplay& out) const;

    // ---- grid contacts ----
    void UpdateCatOnGrid(CatActor& cat);
    void UpdateDartTraps(CatActor& cat);
    void HandleTileContact(CatActor& cat, int column, int row, int32_t code);
    void CycleGemSlots();

    // ---- field turns ----
    void RotateClockwise();
    void RotateCounterClockwise();
    void FlipVertical();

    // ---- drawing (game/draw/) ----
    // One frame of the stage: the turned background, the tiles and items,
    // darts and rising gems, the cats with their labels, the HUD of the
    // mode, the phase pictures and the screen transition (left to the caller
    // without withTransition, to dissolve over what it draws on top). opacity
    // is the frame opacity of the blocks and cats (1 in play; less while the
    // session pulls the camera back after a stage). Advances the cats' walk
    // and turn counters.
    void Draw(float opacity = 1.0f, bool withTransition = true);

    // ---- phases ----
    // Called once per frame after the play update; true once the stage is
    // over (after its closing frames).
    bool IsFinished();
    void StartSuddenDeath(const uint8_t leaders[kPlayers]);

    // The cat of a player slot (null when none) and the four slots as the
    // contact and enemy code take them.
    CatActor* Cat(int slot) const { return slot >= 0 && slot < kPlayers ? cats[size_t(slot)].get() : nullptr; }
    std::array<CatActor*, kPlayers> CatSlots() const;
    // The device type of the first player (0 when there is none).
    int FirstPlayerDeviceType() const;
    bool IsEasyNormalGame() const;  // mode 0 on the easy difficulty
    float FieldDepth() const;

    int32_t mode = 0;
    int32_t stageNumber = 0;
    TileGrid grid;
    std::array<DeepPtr<CatActor>, kPlayers> cats;
    std::vector<CatActor> enemies;  // in the order the file names them
    FollowCamera camera{};
    int32_t playerEntries[kPlayers] = {-1, -1, -1, -1};
    uint8_t noTarget = 0;
    const int* blockSet = nullptr;  // the world's five block models in GameData
    int background = 0;             // the world's background picture
    int32_t score = 0;
    int32_t catCount = 0;
    int32_t enemiesBeaten = 0;
    int32_t startColumn = 0, startRow = 0;
    uint8_t results[kPlayers] = {};  // the winners of a versus round
    uint8_t resultsDecided = 0;      // results stand for the rest of the round
    uint8_t playerActive[kPlayers] = {};
    uint8_t failed = 0;
    int32_t frameCounter = 0;
    int32_t phaseCounter = 0;
    int32_t gameOverFade = 0;
    std::vector<BumpedBlock> bumpedBlocks;
    std::vector<TakenTurnTile> turnTiles;
    std::vector<Dart> darts;
    std::vector<GemSpawn> gemSpawns;
    int32_t rotation = 0;  // of the background picture: 0, 90, 180 or 270 degrees
    uint8_t flipped = 0;   // the background is drawn upside down (an upside-down turn)
    int32_t elapsed = 0;          // ms of play
    int32_t startTick = 0;
    int32_t timeLimit = 0;        // ms
    GameData* gameData = nullptr;
    StageDevices deviceTable;  // the input manager's device slots: each player's device type
    uint8_t finished = 0;
    uint8_t roundOver = 0;
    uint8_t isLastOfRun = 0;
    uint8_t unlocked = 0;
    uint8_t ready = 1;
    uint8_t go = 0;
    int32_t playFrames = 0;
    int32_t pendingScratch = 0;   // hazard sounds still to play
    // Modes 9 and 10: every player's input as it is recorded, in the runs
    // its stream files store. Null in the other modes.
    ReplayStreamsHandle streamText;
    // The replay modes: the streams read from the files, played back into
    // the input blocks the cats read in place of live devices. Null in the
    // other modes.
    ReplayStreamsHandle replayBlocks;

private:
    std::vector<int32_t> turnScratch_;  // the grid being turned; kept so a turn allocates nothing
    void ReserveLists();
    // Null, or why the text makes no playable stage.
    const char* LoadGrid(const char* text, size_t size, bool preview);
    void ComputeTimeLimit(int type);
    bool ChoosePlayerKinds(std::vector<int32_t>* kinds);
    void CreatePlayerCats(const std::vector<int32_t>& kinds, int32_t* lives);
    void TakeLife(CatActor& cat);
    void LifeTest(CatActor& cat);
    PlayerInput InputOf(const input::InputArrays& arrays, int slot, int frame);
    void PackReplayStream(StoredReplay& out, ReplayStreams::Stream stream) const;
    void MoveThingsForTurn(int kind);
};

// The attract demo's running index (0..5), program-wide: set at random by
// the first stage loaded, stepped by each demo stage. Reset for a new run
// of a simulator.
int& DemoIndex();
void ResetDemoIndex();
