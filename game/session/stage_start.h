// The start of a play session's stages, for every mode: the stages of a map
// set with the scenes between them (story sets 0, 1, 2 and versus sets 4),
// one stage for the single-stage modes (versus stage 5, time attack and its
// replays 9 to 12), three random stages for the attract demo (16). Each
// stage gets its world (block models and background) and, where the mode
// asks for it, the world's music.
#pragma once
#include "game/play/stage.h"
#include "game/script/scenario_script.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct GameData;

// The worlds and their music, by stage number.
namespace stageworld {
constexpr int kNoMusic = -1;
// World 0..5 of a single stage (0 outside 0..99).
int WorldOfStage(int32_t stageNumber);
// Background music of a time-attack stage; kNoMusic outside 0..99.
int BgmOfStage(int32_t stageNumber);
// The stage's block models and background become those of the world
// (world 0 for a world outside the game data's).
void SetWorld(Stage& stage, GameData& data, int world);
}  // namespace stageworld

// What a session starts its stages with.
struct StageStartSetup {
    int32_t phase = 0;      // the session's phase: the game mode it was made with
    int32_t setNumber = 0;  // the map set, or the stage of a single-stage mode
    GameData* data = nullptr;
    const StageDevices* deviceTable = nullptr;
    const int32_t* playerEntries = nullptr;  // 4 device slots, -1 none
    int32_t* lives = nullptr;                // held by the cats of map-set stages
};

// The session's stages in play order, with the scene shown before each.
struct StageLineup {
    std::vector<std::unique_ptr<Stage>> stages;           // null in a closing scene's slot
    std::vector<std::unique_ptr<ScenarioScript>> scenes;  // null where no scene comes first
    int32_t phase = 0;  // the session's phase to start in (a set may open with a scene)
    std::optional<int32_t> bonus;  // the set's clear bonus, when its file names one

    int32_t Count() const { return int32_t(stages.size()); }
    // Nothing to play: the session goes back to the title.
    bool Empty() const { return stages.empty(); }
};

// The phases whose stages come from a map set: 0, 1, 2 and 4.
bool StartsFromMapSet(int32_t phase);
// The lineup of the setup's map set (its phase one of those), with the
// music its file asks for.
StageLineup StartMapSet(const StageStartSetup& setup);

// Builds the lineup for the setup's phase and starts the music the mode
// asks for. A set with no slot, a stage that cannot be played or a phase
// without stages gives an empty lineup (logged where something was wrong).
StageLineup StartStages(const StageStartSetup& setup);
