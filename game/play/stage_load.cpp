// Building a stage: the stage file of its mode, the time limit, the player
// cats and the enemies, the replay streams and the camera.
#include "engine/camera.h"
#include "engine/log.h"
#include "engine/random.h"
#include "game/data/game_data.h"
#include "game/data/game_files.h"
#include "game/data/player_notice.h"
#include "game/input/input_manager.h"
#include "game/play/game_modes.h"
#include "game/play/stage.h"
#include "game/play/stage_file.h"
#include "game/savedata.h"
#include "game/timetable.h"

#include <algorithm>
#include <climits>

namespace {

bool demoIndexSet = false;
int demoIndex = 0;

constexpr int32_t kNoTargetLimit = 30000;

// A stage file that cannot make a playable stage, said once whether it is
// met in the stage select's preview or in play.
void ReportUnplayable(const std::string& path, bool read, const char* fault) {
    constexpr const char* kInstead = "that stage cannot be played, and play of it goes back to the title";
    if (!read)
        ReportUnusableContent(path.c_str(), "a stage", kInstead);
    else if (fault)
        ReportContentFault(path.c_str(), "%s: %s", fault, kInstead);
}

int32_t ClampToInt32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

StageDevices StageDevicesOf(InputManager& manager) {
    StageDevices d;
    for (int slot = 0; slot < input::kSlotCount; ++slot) {
        if (InputDevice* device = manager.devices[slot]) {
            d.types[slot] = device->type;
            d.actionBlocks[slot] = device->actionBlock;
        }
    }
    return d;
}

int& DemoIndex() { return demoIndex; }
void ResetDemoIndex() {
    demoIndexSet = false;
    demoIndex = 0;
}

Stage::Stage() {
    grid.Reset(2, 2);
    ReserveLists();
}

Stage::Stage(int previewStageNumber) {
    stageNumber = previewStageNumber;
    std::string text;
    const std::string path = BuildFilePath(gamemode::kNormal, stageNumber);
    const bool read = ReadGameFile(path.c_str(), &text);
    ReportUnplayable(path, read, LoadGrid(text.data(), text.size(), true));
}

void Stage::ReserveLists() {
    // Room enough that a frame of play never has to grow a list.
    bumpedBlocks.reserve(16);
    turnTiles.reserve(16);
    darts.reserve(16);
    gemSpawns.reserve(16);
}

std::string Stage::BuildFilePath(int mode, int number) {
    const char* folder = nullptr;
    if (IsVersusMode(mode))
        folder = "tpa\\stage\\stage_vs";
    else if (mode == 0 || mode == 1 || mode == 9 || mode == 10 || IsReplayMode(mode))
        folder = "tpa\\stage\\stage_normal";
    if (!folder) return std::string();
    return std::string(folder) + std::to_string(number) + ".stg";
}

std::array<CatActor*, Stage::kPlayers> Stage::CatSlots() const {
    return {cats[0].get(), cats[1].get(), cats[2].get(), cats[3].get()};
}

int Stage::FirstPlayerDeviceType() const {
    const int entry = playerEntries[0];
    if (entry < 0 || entry >= input::kSlotCount) return 0;
    const int type = deviceTable.types[entry];
    return type >= 0 && type < TimeTable::kColumns ? type : 0;
}

bool Stage::IsEasyNormalGame() const {
    return mode == gamemode::kNormal && !(gameData && gameData->save && gameData->save->difficulty != 0);
}

float Stage::FieldDepth() const { return IsVersusMode(mode) ? kVersusFieldDepth : kFieldDepth; }

const char* Stage::LoadGrid(const char* text, size_t size, bool preview) {
    const bool versus = !preview && IsVersusMode(mode);
    StageMap map;
    const bool fits = ParseStageText(text, size, versus, &map);
    if (versus) timeLimit = map.versusLimit;
    grid.Reset(map.columns, map.rows);
    const bool easy = !preview && IsEasyNormalGame();
    const int inner = map.columns - 2;
    const float depth = FieldDepth();
    for (size_t i = 0; i < map.cells.size(); ++i) {
        const char ch = map.cells[i];
        const int column = 1 + int(i % size_t(inner)), row = 1 + int(i / size_t(inner));
        grid.Set(column, row, preview ? PreviewTileCode(ch) : StageTileCode(ch, versus, easy));
        if (preview) continue;
        if (ch == 's') {
            startColumn = column;
            startRow = row;
        } else if (const int kind = EnemyKindOf(ch)) {
            enemies.emplace_back(-1, kind, column, row, depth, nullptr, gameData, false);
        }
    }
    return fits ? UnplayableMapReason(map, versus) : "holds a map too large to play";
}

void Stage::ComputeTimeLimit(int type) {
    const TimeTable* table = gameData ? gameData->timeTable : nullptr;
    if (type < 0 || type >= TimeTable::kColumns) type = 0;
    const bool counted = table && stageNumber >= 0 && stageNumber < TimeTable::kRows &&
                         table->attempts[stageNumber][type] >= 3;
    if (!counted) {
        timeLimit = kNoTargetLimit;
        noTarget = 1;
        return;
    }
    // The target plus a margin, rounded up to a whole second.
    const int64_t limit = int64_t(table->target[stageNumber][type]) + (mode == gamemode::kFinal ? 20000 : 10000);
    int64_t seconds = limit / 1000;
    if (limit % 1000 > 0) ++seconds;
    timeLimit = ClampToInt32(seconds * 1000);
}

bool Stage::ChoosePlayerKinds(std::vector<int32_t>* kinds) {
    auto validKind = [](int type) { return type >= 1 && type <= 6; };
    if (mode == gamemode::kReplayUser) {
        std::vector<int32_t> types;
        ReplaySource* source = GetReplaySource();
        if (!source || !source->ReadUserMeta(stageNumber, &types) || types.empty()) {
            ReportToPlayer("No replay of stage %d is stored that can be played: play goes back to the title",
                           stageNumber);
            return false;
        }
        for (size_t k = 0; k < types.size() && k < size_t(kPlayers) && validKind(types[k]); ++k)
            kinds->push_back(types[k]);
    } else if (mode == gamemode::kReplayDemo) {
        if (validKind(FirstPlayerDeviceType())) kinds->push_back(FirstPlayerDeviceType());
    } else if (mode == gamemode::kAttractDemo) {
        demoIndex = (demoIndex + 1) % 6;
        kinds->push_back(demoIndex + 1);
    } else {
        for (int slot = 0; slot < kPlayers && playerEntries[slot] != -1; ++slot) {
            const int entry = playerEntries[slot];
            const int type = entry >= 0 && entry < input::kSlotCount ? deviceTable.types[entry] : 0;
            if (!validKind(type)) break;
            kinds->push_back(type);
        }
    }
    if (kinds->empty()) {
        WriteLogFormat("Stage %d in mode %d has no player to play it", stageNumber, mode);
        return false;
    }
    return true;
}

void Stage::CreatePlayerCats(const std::vector<int32_t>& kinds, int32_t* lives) {
    const float depth = FieldDepth();
    for (size_t slot = 0; slot < kinds.size(); ++slot) {
        cats[slot] = DeepPtr<CatActor>::Make(int(slot), kinds[slot], startColumn, startRow, depth,
                                             IsVersusMode(mode) ? nullptr : lives, gameData, false);
        playerActive[slot] = 1;
        ++catCount;
    }
}

void Stage::LoadDemoReplay(const std::vector<int32_t>& playerKinds) {
    ReplaySource* source = GetReplaySource();
    if (!source) return;
    if (IsReplayMode(mode))
        replayBlocks = ReplayStreamsHandle(source->OpenStreams(mode, stageNumber, playerKinds));
    else if (mode == gamemode::kTimeAttack || mode == gamemode::kTimeAttackTable)
        streamText = ReplayStreamsHandle(source->OpenStreams(mode, stageNumber, playerKinds));
}

bool Stage::Load(int number, bool lastOfRun, int stageMode, int32_t* lives, const StageDevices* devices,
                 GameData* data, const int32_t entries[kPlayers]) {
    *this = Stage();
    gameData = data;
    if (devices) deviceTable = *devices;
    if (!demoIndexSet) {
        demoIndexSet = true;
        demoIndex = GetRandomUpTo(5);
    }
    isLastOfRun = lastOfRun ? 1 : 0;
    for (int slot = 0; slot < kPlayers; ++slot) playerEntries[slot] = entries ? entries[slot] : -1;
    mode = stageMode == gamemode::kNormal && number >= 72 && number <= 99 ? gamemode::kFinal : stageMode;
    stageNumber = number;
    ready = 1;
    SetDefaultLightDirection(0.2f, -0.7f, 1.0f);

    // The players' cat kinds come first: a replay's time limit is that of
    // the player it replays.
    std::vector<int32_t> kinds;
    bool playable = ChoosePlayerKinds(&kinds);

    std::string text;
    const std::string path = BuildFilePath(mode, stageNumber);
    const bool read = !path.empty() && ReadGameFile(path.c_str(), &text);
    if (!IsVersusMode(mode)) ComputeTimeLimit(kinds.empty() ? 0 : kinds[0]);
    // A stage without a start, a goal or a whole map would never end: the
    // session treats it as a stage that cannot be played.
    const char* fault = LoadGrid(text.data(), text.size(), false);
    if (!path.empty() && (!read || fault)) {
        ReportUnplayable(path, read, fault);
        playable = false;
    }
    if (!enemies.empty()) {
        const int64_t each = mode == gamemode::kFinal ? 15000 : 7000;
        timeLimit = ClampToInt32(timeLimit + each * int64_t(enemies.size()));
    }

    CreatePlayerCats(kinds, lives);
    // A shake from before the stage must not carry into it.
    for (int slot = 0; slot < kPlayers; ++slot) {
        const int entry = playerEntries[slot];
        if (entry < 0 || entry >= input::kSlotCount || !deviceTable.actionBlocks[entry]) continue;
        std::fill(deviceTable.actionBlocks[entry], deviceTable.actionBlocks[entry] + input::kActionWords, 0);
    }
    if (playable) LoadDemoReplay(kinds);

    camera.current[0] = camera.target[0] = float(int(grid.columns * 80 * 0.5));
    camera.current[1] = camera.target[1] = float(int(700 - grid.rows * 80 * 0.5));
    camera.current[2] = camera.target[2] = 0;
    camera.fieldDepth = FieldDepth();
    camera.roll = 0;
    camera.rollAngle = 0;
    const std::array<CatActor*, kPlayers> slots = CatSlots();
    FitCameraToCats(slots.data(), camera, grid.columns, grid.rows, 0.0f);

    if (gameData) {
        blockSet = gameData->blockModels[0];
        background = gameData->sceneBackgrounds[0];
    }
    return playable;
}
