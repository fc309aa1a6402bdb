#include "game/session/stage_start.h"

#include "engine/log.h"
#include "engine/random.h"
#include "game/data/game_data.h"
#include "game/data/player_notice.h"
#include "game/play/game_modes.h"
#include "game/session/map_set.h"

namespace {

constexpr int kVersusSingleBgm = 4;
constexpr int kDemoStages = 3;
constexpr int kDemoLastStageNumber = 71;

// Stage numbers from `first` on belong to `world` and play `bgm`.
struct WorldRange {
    int32_t first;
    int world;
    int bgm;
};
constexpr WorldRange kWorldRanges[] = {
    {0, 0, 1}, {5, 1, 2}, {25, 2, 3}, {40, 3, 5}, {55, 4, 6}, {65, 4, 13}, {72, 5, 4}, {90, 5, 10}, {97, 5, 11},
};

const WorldRange* RangeOf(int32_t stageNumber) {
    if (stageNumber < 0 || stageNumber >= MapSet::kStageNumbers) return nullptr;
    const WorldRange* found = nullptr;
    for (const WorldRange& r : kWorldRanges) {
        if (stageNumber >= r.first) found = &r;
    }
    return found;
}

// The cat the first player plays, as scripts test it: device type - 1.
int32_t FirstPlayerCat(const StageStartSetup& setup) {
    if (!setup.deviceTable || !setup.playerEntries) return -1;
    const int32_t entry = setup.playerEntries[0];
    if (entry < 0 || entry >= input::kSlotCount) return -1;
    return setup.deviceTable->types[entry] - 1;
}

std::unique_ptr<Stage> LoadStage(const StageStartSetup& setup, int32_t number, bool last, int mode, int32_t* lives) {
    auto stage = std::make_unique<Stage>();
    if (!stage->Load(number, last, mode, lives, setup.deviceTable, setup.data, setup.playerEntries)) return nullptr;
    return stage;
}

}  // namespace

bool StartsFromMapSet(int32_t phase) {
    return phase == gamemode::kNormal || phase == gamemode::kFinal || phase == gamemode::kSceneFirst ||
           phase == gamemode::kVersus;
}

StageLineup StartMapSet(const StageStartSetup& setup) {
    StageLineup lineup;
    lineup.phase = setup.phase;
    if (!setup.data) return lineup;
    GameData& data = *setup.data;
    const bool versus = setup.phase == gamemode::kVersus;
    data.PlayBgm(-1);  // stops the music when a piece is playing
    const std::string path = MapSetFilePath(setup.phase, setup.setNumber);
    const MapSet set = ReadMapSet(path.c_str());
    lineup.phase = set.StartPhase(setup.phase);
    lineup.stages.resize(size_t(set.slotCount));
    lineup.scenes.resize(size_t(set.slotCount));
    // The world of every stage and scene of a set is the set's own.
    const bool knownWorld = setup.setNumber >= 0 && setup.setNumber < GameData::kWorldCount;
    const int world = knownWorld ? setup.setNumber : 0;
    bool playable = true;
    MapSetSteps steps;
    steps.stage = [&](int32_t slot, int32_t number, bool last) {
        std::unique_ptr<Stage> stage =
            LoadStage(setup, number, last, versus ? gamemode::kVersus : gamemode::kNormal, setup.lives);
        if (!stage) {
            playable = false;
            return;
        }
        stageworld::SetWorld(*stage, data, world);
        lineup.stages[size_t(slot)] = std::move(stage);
    };
    steps.scene = [&](int32_t slot, int32_t number, bool closing) {
        auto scene = std::make_unique<ScenarioScript>(number, false, FirstPlayerCat(setup), &data, closing);
        scene->background = data.sceneBackgrounds[world];
        lineup.scenes[size_t(slot)] = std::move(scene);
    };
    steps.music = [&](int32_t bgm) { data.PlayBgm(bgm); };
    steps.bonus = [&](int32_t bonus) { lineup.bonus = bonus; };
    BuildMapSet(set, steps);
    if (set.slotCount == 0) {
        // A set that cannot be read was said as it was read.
        ReportContentFault(path.c_str(), "holds no stage: the set cannot be played, and play goes back to the title");
    } else if (!playable) {
        // The stage that cannot be played was said as it was loaded.
        WriteLogFormat("map set %s has a stage that cannot be played", path.c_str());
        lineup.stages.clear();
        lineup.scenes.clear();
    }
    return lineup;
}

namespace {

// One stage of a single-stage mode (or of the demo), its world by its number.
bool AddSingleStage(const StageStartSetup& setup, StageLineup* lineup, int32_t number, bool last, bool worldByNumber) {
    if (number < 0 || number >= MapSet::kStageNumbers) {
        WriteLogFormat("stage %d is not a stage number 0..99; nothing to play", number);
        return false;
    }
    std::unique_ptr<Stage> stage = LoadStage(setup, number, last, setup.phase, nullptr);
    if (!stage) return false;
    if (worldByNumber) stageworld::SetWorld(*stage, *setup.data, stageworld::WorldOfStage(number));
    lineup->stages.push_back(std::move(stage));
    lineup->scenes.emplace_back();
    return true;
}

}  // namespace

namespace stageworld {

int WorldOfStage(int32_t stageNumber) {
    const WorldRange* r = RangeOf(stageNumber);
    return r ? r->world : 0;
}

int BgmOfStage(int32_t stageNumber) {
    const WorldRange* r = RangeOf(stageNumber);
    return r ? r->bgm : kNoMusic;
}

void SetWorld(Stage& stage, GameData& data, int world) {
    if (world < 0 || world >= GameData::kWorldCount) world = 0;
    stage.blockSet = data.blockModels[world];
    stage.background = data.sceneBackgrounds[world];
}

}  // namespace stageworld

StageLineup StartStages(const StageStartSetup& setup) {
    StageLineup lineup;
    lineup.phase = setup.phase;
    if (!setup.data) return lineup;
    if (StartsFromMapSet(setup.phase)) return StartMapSet(setup);
    bool ok = true;
    switch (setup.phase) {
        case gamemode::kVersusSingle:
            ok = AddSingleStage(setup, &lineup, setup.setNumber, true, false);
            if (ok) setup.data->PlayBgm(kVersusSingleBgm);
            break;
        case gamemode::kTimeAttack:
        case gamemode::kTimeAttackTable:
        case gamemode::kReplayUser:
        case gamemode::kReplayDemo:
            ok = AddSingleStage(setup, &lineup, setup.setNumber, true, true);
            if (ok && stageworld::BgmOfStage(setup.setNumber) != stageworld::kNoMusic) {
                setup.data->PlayBgm(stageworld::BgmOfStage(setup.setNumber));
            }
            break;
        case gamemode::kAttractDemo:
            // The demo keeps whatever music is playing.
            for (int k = 0; k < kDemoStages && ok; ++k) {
                ok = AddSingleStage(setup, &lineup, GetRandomUpTo(kDemoLastStageNumber), k == kDemoStages - 1, true);
            }
            break;
        default:
            break;
    }
    if (!ok) {
        lineup.stages.clear();
        lineup.scenes.clear();
    }
    return lineup;
}
