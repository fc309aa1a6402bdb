// Helpers of the play tests: game data with a distinct handle per sound, a
// recorder of the sounds asked for, grids from map rows, stages on grids,
// and stage files written into a temporary "tpa" tree.
#pragma once
#include "game/data/game_data.h"
#include "game/data/game_sound.h"
#include "game/play/sim/input_script.h"
#include "game/play/stage.h"
#include "game/play/stage_file.h"
#include "game/savedata.h"
#include "game/timetable.h"
#include "generator.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

// Every sound call while it lives.
class SoundLog {
public:
    SoundLog() { Install(); }
    // Makes this log the recorder again (generating the content tree plays
    // stages, which takes the recorder away).
    void Install() {
        gamesound::SetRecorder([this](const gamesound::Call& c) { calls.push_back(c); });
    }
    ~SoundLog() { gamesound::SetRecorder(nullptr); }
    int Count(int handle) const {
        return int(std::count_if(calls.begin(), calls.end(), [&](const gamesound::Call& c) {
            return c.kind == gamesound::Call::kPlayHandle && c.handle == handle;
        }));
    }
    void Clear() { calls.clear(); }
    std::vector<gamesound::Call> calls;
};

enum TestSound : int {
    kSeShoot = 101, kSeSlash = 102, kSeSlash2 = 103, kSeScratch = 104, kSePower0 = 105, kSePower1 = 106,
    kSeDeath0 = 107, kSeDeath1 = 108, kSeMetalHit = 109, kSeMind = 110, kSeKitty = 111,
};

struct TestData {
    SaveData save{};
    std::unique_ptr<TimeTable> table = std::make_unique<TimeTable>();
    GameData data{};

    explicit TestData(int difficulty = 1) {
        SaveData::SetDefaults(save);
        save.difficulty = difficulty;
        TimeTable::Clear(*table);
        data.save = &save;
        data.timeTable = table.get();
        data.seShoot = kSeShoot;
        data.seSlash = kSeSlash;
        data.seSlash2 = kSeSlash2;
        data.seScratch = kSeScratch;
        data.sePower0 = kSePower0;
        data.sePower1 = kSePower1;
        data.seDeath0 = kSeDeath0;
        data.seDeath1 = kSeDeath1;
        data.seMetalHit = kSeMetalHit;
        data.seMind = kSeMind;
        data.seKitty = kSeKitty;
    }
};

// A grid of exactly these rows (no border added), each character through
// the loader's table of the normal game.
inline TileGrid GridFromRows(const std::vector<std::string>& rows) {
    TileGrid g;
    size_t width = 0;
    for (const std::string& r : rows) width = std::max(width, r.size());
    g.Reset(int(width), int(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < rows[r].size(); ++c) g.Set(int(c), int(r), StageTileCode(rows[r][c], false, false));
    }
    return g;
}

// The pixel y of a cat standing flush on a floor whose top is row `row`.
inline int StandingY(int row) { return row * 32 - 27; }

// A stage in `mode` on a grid, with one player cat of `kind` at pixel
// (x, y) in slot 0 (none for kind 0).
inline Stage StageOnGrid(const std::vector<std::string>& rows, TestData& t, int kind, int x, int y, int mode = 0) {
    Stage st;
    st.mode = mode;
    st.grid = GridFromRows(rows);
    st.gameData = &t.data;
    st.ready = 0;
    st.timeLimit = 60000;
    st.camera.fieldDepth = 850;
    if (kind != 0) {
        st.cats[0] = DeepPtr<CatActor>::Make(0, kind, 0, 0, 850.0f, nullptr, &t.data, false);
        for (CatActor* c = st.cats[0].get(); c; c = c->rider.get()) {
            c->x = c->startX = c->markX = x;
            c->y = c->startY = c->markY = y;
        }
        st.playerActive[0] = 1;
        st.playerEntries[0] = 0;
        st.catCount = 1;
    }
    return st;
}

// Device slot 0's blocks, fed to a stage as the per-frame arrays.
struct Pad : playsim::DeviceBlocks {
    input::InputArrays arrays;
    // The blocks a device of this type has.
    explicit Pad(int type) {
        arrays.buttons[0] = &buttons;
        if (type == 2) arrays.actions[0] = actions;
        if (type == 3) arrays.slopes[0] = slope;
        if (type == 4) arrays.analogs[0] = analog;
        if (type == 5) arrays.mice[0] = mouse;
        if (type == 6) arrays.keyboards[0] = keyboard;
    }
};

// A closed box of 10 x 10 cells: a cat stands on row 9 at StandingY(9).
inline std::vector<std::string> Box(int width = 10, int height = 10) {
    std::string inner(size_t(width), ' ');
    inner.front() = inner.back() = 'B';
    std::vector<std::string> rows(size_t(height), inner);
    rows.front() = rows.back() = std::string(size_t(width), 'B');
    return rows;
}

// A temporary working directory with a "tpa\stage" folder.
class StageFiles : public ScopedTempDir {
public:
    StageFiles() { std::filesystem::create_directories("tpa/stage"); }
    void Write(const std::string& gamePath, const std::string& text) {
        std::string host = gamePath;
        std::replace(host.begin(), host.end(), '\\', '/');
        std::ofstream(host, std::ios::binary) << text;
    }
    void WriteNormal(int number, const std::string& text) {
        Write("tpa/stage/stage_normal" + std::to_string(number) + ".stg", text);
    }
    void WriteVersus(int number, const std::string& text) {
        Write("tpa/stage/stage_vs" + std::to_string(number) + ".stg", text);
    }
};

// Device slot 0 of the given type, the only player.
struct OnePlayer {
    StageDevices devices;
    int32_t entries[4] = {0, -1, -1, -1};
    explicit OnePlayer(int type) { devices.types[0] = type; }
};

// The generated stages and time table in a temporary working directory.
class GeneratedStages : public ::testing::Test {
protected:
    void SetUp() override {
        OutputTree out(files_.path().string());
        GenerateStages(out);
        GenerateTimeTable(out);
        ASSERT_FALSE(out.failed());
    }
    StageFiles files_;
};
