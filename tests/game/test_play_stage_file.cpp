// Stage files and the stage loader: the map format, the tile codes per
// mode, time limits, the player cats per mode, refusals, and every stage
// file the content generator writes.
#include "generator.h"
#include "manifest.h"
#include "play_fixture.h"

#include "engine/log.h"
#include "foundation/log_internal.h"
#include "game/data/player_notice.h"
#include "game/input/input_manager.h"
#include "game/play/game_modes.h"

#include <gtest/gtest.h>

using namespace morpotta;

namespace {

std::string Row(const TileGrid& g, int row) {
    std::string s;
    for (int c = 0; c < g.columns; ++c) {
        const int32_t v = g.At(c, row);
        s += v == tile::kEmpty ? '.' : v == tile::kBlock ? 'B' : v == tile::kGemSlot ? '1' : char('a' + v);
    }
    return s;
}

TEST(StageFile, RowsAreLaidInSequenceSoAShortRowShiftsTheRest) {
    StageMap padded, unpadded;
    ASSERT_TRUE(ParseStageText("BBB\nB B\nBBB\n", 12, false, &padded));
    EXPECT_EQ(padded.columns, 5);
    EXPECT_EQ(padded.rows, 5);
    ASSERT_TRUE(ParseStageText("BBB\nB\nBBB\n", 10, false, &unpadded));
    EXPECT_EQ(unpadded.cells, "BBBBBBB");  // 7 cells: the last row's end has none left

    TestData t;
    StageFiles files;
    files.WriteNormal(3, "BBB\nB\nBBB\n");
    OnePlayer p(1);
    Stage st;
    st.Load(3, true, 0, nullptr, &p.devices, &t.data, p.entries);
    EXPECT_EQ(Row(st.grid, 0), ".....");  // the empty border
    EXPECT_EQ(Row(st.grid, 1), ".BBB.");
    EXPECT_EQ(Row(st.grid, 2), ".BBB.");  // "B" and the next row's "BB"
    EXPECT_EQ(Row(st.grid, 3), ".B...");  // what is left, then nothing
    EXPECT_EQ(Row(st.grid, 4), ".....");
}

TEST(StageFile, ForeignBytesAndCarriageReturnsAreDroppedAndTheTailIsIgnored) {
    StageMap map;
    const std::string text = "B\r\nB\x01G\xFF\nBB\x82\x60\nB tail";  // a double-byte pair too
    ASSERT_TRUE(ParseStageText(text.data(), text.size(), false, &map));
    EXPECT_EQ(map.rows, 5);
    EXPECT_EQ(map.columns, 4);
    EXPECT_EQ(map.cells, "BBGBB");

    // Old line ends (carriage returns alone) make no rows at all.
    ASSERT_TRUE(ParseStageText("BBB\rB B\rBBB\r", 12, false, &map));
    EXPECT_EQ(map.rows, 2);
    EXPECT_EQ(map.columns, 2);
    EXPECT_TRUE(map.cells.empty());

    ASSERT_TRUE(ParseStageText("", 0, false, &map));
    EXPECT_EQ(map.columns, 2);
    EXPECT_EQ(map.rows, 2);
    ASSERT_TRUE(ParseStageText(nullptr, 5, true, &map));
    EXPECT_EQ(map.versusLimit, 0);
}

TEST(StageFile, VersusFirstLineIsTheLimit) {
    StageMap map;
    ASSERT_TRUE(ParseStageText("60000\nBB\n", 9, true, &map));
    EXPECT_EQ(map.versusLimit, 60000);
    EXPECT_EQ(map.rows, 3);
    // With CR LF the map starts at the CR, so the LF after it ends an empty
    // first row.
    ASSERT_TRUE(ParseStageText("45000\r\nBB\r\n", 11, true, &map));
    EXPECT_EQ(map.versusLimit, 45000);
    EXPECT_EQ(map.rows, 4);
    EXPECT_EQ(map.cells, "BB");
    ASSERT_TRUE(ParseStageText("99999999999999\n", 15, true, &map));
    EXPECT_EQ(map.versusLimit, INT32_MAX);
    ASSERT_TRUE(ParseStageText("12345", 5, true, &map));  // no line end: no map
    EXPECT_EQ(map.versusLimit, 12345);
    EXPECT_EQ(map.rows, 2);
}

TEST(StageFile, AMapTooLargeForMemoryIsRefused) {
    // 2000 line feeds and one row of 2000 cells: 2002 x 2002 cells.
    std::string text(2000, 'B');
    text += std::string(2000, '\n');
    StageMap map;
    EXPECT_FALSE(ParseStageText(text.data(), text.size(), false, &map));
    EXPECT_EQ(map.columns, 2);
    EXPECT_TRUE(map.cells.empty());
}

TEST(StageLoad, CodesByModeAndDifficultyAndTheLastStartWins) {
    StageFiles files;
    const std::string map = "s1234BGKanrul\n zxcvmb s    \n";
    files.WriteNormal(5, map);
    files.WriteNormal(80, map);
    files.WriteVersus(1, "30000\n" + map);
    OnePlayer p(1);
    struct Case {
        int difficulty, mode, stage;
        std::vector<int32_t> row1;
    };
    const Case cases[] = {
        {1, 0, 5, {0, 8, 8, 8, 8, 2, 6, 14, 17, 16, 3, 4, 5}},
        {0, 0, 5, {0, 8, 8, 8, 8, 2, 6, 14, 1, 1, 3, 4, 5}},   // easy: harmless a and n
        {0, 0, 80, {0, 8, 8, 8, 8, 2, 6, 14, 17, 16, 3, 4, 5}},  // an extra-set stage plays as mode 1
        {0, 9, 5, {0, 8, 8, 8, 8, 2, 6, 14, 17, 16, 3, 4, 5}},
        {0, 4, 1, {0, 8, 9, 10, 11, 2, 19, 14, 17, 16, 3, 4, 5}},  // versus: waiting slots, an inert goal
    };
    for (const Case& c : cases) {
        TestData t(c.difficulty);
        Stage st;
        ASSERT_TRUE(st.Load(c.stage, true, c.mode, nullptr, &p.devices, &t.data, p.entries));
        std::vector<int32_t> row;
        for (int col = 1; col <= 13; ++col) row.push_back(st.grid.At(col, 1));
        EXPECT_EQ(row, c.row1) << c.mode << " " << c.stage;
        EXPECT_EQ(st.startColumn, 9);  // the second 's', in reading order
        EXPECT_EQ(st.startRow, 2);
        ASSERT_EQ(st.enemies.size(), 6u);
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(st.enemies[size_t(k)].kind, 8 + k);
            EXPECT_EQ(st.enemies[size_t(k)].x, (2 + k) * 32);
            EXPECT_EQ(st.enemies[size_t(k)].player, -1);
        }
        EXPECT_EQ(st.mode, c.stage == 80 ? 1 : c.mode);
        EXPECT_FLOAT_EQ(st.enemies[0].depth, c.mode == 4 ? 950.0f : 850.0f);
        EXPECT_EQ(st.Cat(0)->x, 9 * 32);
        EXPECT_TRUE(st.ready);
    }
}

TEST(StageLoad, LimitsCountTargetsOnlyFromThreeAttemptsAndAddTimePerEnemy) {
    StageFiles files;
    files.WriteNormal(12, "s  G\nBBBB\n");
    files.WriteNormal(13, "s z G\nBBBBB\n");
    files.WriteNormal(80, "s z G\nBBBBB\n");
    OnePlayer p(6);
    struct Case {
        int stage, attempts, mode;
        int32_t limit;
        bool noTarget;
    };
    const Case cases[] = {
        {12, 2, 0, 30000, true},   {12, 3, 0, 52000, false},  {12, 3, 1, 62000, false},
        {13, 2, 0, 37000, true},   {13, 3, 9, 59000, false},  {80, 3, 0, 62000 + 15000, false},
    };
    for (const Case& c : cases) {
        TestData t;
        t.table->target[c.stage][6] = 41500;
        t.table->attempts[c.stage][6] = c.attempts;
        Stage st;
        ASSERT_TRUE(st.Load(c.stage, true, c.mode, nullptr, &p.devices, &t.data, p.entries));
        EXPECT_EQ(st.timeLimit, c.limit) << c.stage << " " << c.attempts << " " << c.mode;
        EXPECT_EQ(bool(st.noTarget), c.noTarget);
    }
    // Versus limits come from the file, plus 7 s per enemy.
    files.WriteVersus(2, "45000\nsx\n");
    TestData t;
    Stage st;
    ASSERT_TRUE(st.Load(2, true, 4, nullptr, &p.devices, &t.data, p.entries));
    EXPECT_EQ(st.timeLimit, 52000);
}

// A stage file that makes no playable stage (it would never end) is refused
// with one log line naming it and why; the session then goes back to the
// title as for any stage that cannot be played.
TEST(StageLoad, AStageFileThatMakesNoPlayableStageIsRefusedWithOneLine) {
    StageFiles files;
    struct Case {
        int mode, stage;
        const char* text;  // null: no file
        const char* why;
    };
    const Case cases[] = {
        {0, 6, nullptr, "is missing"},
        {0, 7, "", "holds no map"},
        {9, 8, "BBBB\nBs B\nB G", "has no goal"},     // cut off inside the goal's row
        {9, 9, "s  G\nBBB\n", "is cut short"},        // a byte of the last row lost
        {0, 10, "   G\nBBBB\n", "has no start cell"},  // the start's byte flipped
        {1, 11, "s  1\nBBBB\n", "has no goal"},
        {5, 12, "60000\n", "holds no map"},          // versus: a limit and nothing else
        {5, 13, nullptr, "is missing"},
    };
    OnePlayer p(1);
    TestData t;
    ForgetReportedSubjects();  // each file is said once in a run: this test is a run of its own
    for (const Case& c : cases) {
        if (c.text && c.mode == 5) files.WriteVersus(c.stage, c.text);
        if (c.text && c.mode != 5) files.WriteNormal(c.stage, c.text);
        const int previousOutput = GetLogOutput();
        SetLogOutput(1);
        StartLog();
        Stage st;
        EXPECT_FALSE(st.Load(c.stage, true, c.mode, nullptr, &p.devices, &t.data, p.entries)) << c.stage;
        EndLog();
        SetLogOutput(previousOutput);
        const std::string log = ScopedTempDir::ReadFile("Log.txt");
        const std::string file = std::string(c.mode == 5 ? "stage_vs" : "stage_normal") + std::to_string(c.stage) + ".stg";
        const size_t at = log.find("tpa/stage/" + file + " " + c.why);
        ASSERT_NE(at, std::string::npos) << log;
        EXPECT_NE(log.find(": that stage cannot be played", at), std::string::npos) << log;
        EXPECT_EQ(log.find("tpa/stage/" + file), log.rfind("tpa/stage/" + file)) << "one line: " << log;
    }
    // A versus stage needs no goal; a padded normal one with both plays.
    files.WriteVersus(14, "60000\ns  \nBBB\n");
    files.WriteNormal(15, "s G\nBBB\n");
    Stage versus, normal;
    EXPECT_TRUE(versus.Load(14, true, 5, nullptr, &p.devices, &t.data, p.entries));
    EXPECT_TRUE(normal.Load(15, true, 9, nullptr, &p.devices, &t.data, p.entries));
}

// A replay source with a record for one stage.
class FakeReplaySource : public ReplaySource {
public:
    std::vector<int32_t> types;
    int opened = 0, openedType = -1;
    bool ReadUserMeta(int stage, std::vector<int32_t>* out) override {
        if (stage != 4) return false;
        *out = types;
        return true;
    }
    std::unique_ptr<ReplayStreams> OpenStreams(int, int, const std::vector<int32_t>& kinds) override {
        ++opened;
        openedType = kinds.empty() ? -1 : kinds[0];
        return nullptr;
    }
    bool SaveStreams(const StoredReplay&, int, int, const SaveData*) override { return false; }
};

TEST(StageLoad, ReplayModesTakeTheirCatsFromTheRecordOrRefuse) {
    StageFiles files;
    files.WriteNormal(4, "s  G\nBBBB\n");
    TestData t;
    // Column 0 (no device), column 1 (the joystick) and column 6 (the
    // keyboard) have targets.
    t.table->target[4][0] = 15000;
    t.table->attempts[4][0] = 3;
    t.table->target[4][1] = 21500;
    t.table->attempts[4][1] = 3;
    t.table->target[4][6] = 45000;
    t.table->attempts[4][6] = 3;
    StageDevices devices;
    devices.types[0] = 6;
    const int32_t none[4] = {-1, -1, -1, -1};
    Stage st;
    // No replay code at all, and a stage without a record.
    EXPECT_FALSE(st.Load(4, true, 11, nullptr, &devices, &t.data, none));
    EXPECT_EQ(st.catCount, 0);
    FakeReplaySource source;
    SetReplaySource(&source);
    EXPECT_FALSE(st.Load(5, true, 11, nullptr, &devices, &t.data, none));
    source.types = {};
    EXPECT_FALSE(st.Load(4, true, 11, nullptr, &devices, &t.data, none));  // a record naming nobody

    source.types = {1, 2, 9, 3};  // stops at the first type that is no device
    ASSERT_TRUE(st.Load(4, true, 11, nullptr, &devices, &t.data, none));
    EXPECT_EQ(st.catCount, 2);
    EXPECT_EQ(st.Cat(0)->kind, 1);
    EXPECT_EQ(st.Cat(1)->kind, 2);
    EXPECT_TRUE(st.playerActive[0] && st.playerActive[1] && !st.playerActive[2]);
    EXPECT_EQ(st.timeLimit, 32000);  // the replayed first player's column, not that of no device

    // The demo replay's cat is the first player's, and it takes part.
    const int32_t first[4] = {0, -1, -1, -1};
    ASSERT_TRUE(st.Load(4, true, 12, nullptr, &devices, &t.data, first));
    EXPECT_EQ(st.Cat(0)->kind, 6);
    EXPECT_TRUE(st.playerActive[0]);
    EXPECT_EQ(st.timeLimit, 55000);
    EXPECT_FALSE(st.Load(4, true, 12, nullptr, &devices, &t.data, none));  // nobody to play it

    // The attract demo cycles through the six kinds, each cat taking part.
    ResetDemoIndex();
    std::vector<int> kinds;
    for (int k = 0; k < 7; ++k) {
        ASSERT_TRUE(st.Load(4, k == 2, 16, nullptr, &devices, &t.data, none));
        kinds.push_back(st.Cat(0)->kind);
        EXPECT_TRUE(st.playerActive[0]);
        EXPECT_EQ(source.openedType, st.Cat(0)->kind);
    }
    for (size_t k = 1; k < kinds.size(); ++k) EXPECT_EQ(kinds[k], kinds[k - 1] % 6 + 1);
    SetReplaySource(nullptr);
}

TEST(StageLoad, EachEnteredPlayerGetsACatAndAFreshActionBlock) {
    StageFiles files;
    files.WriteNormal(1, "s   G\nBBBBB\n");
    files.WriteVersus(1, "60000\ns   G\nBBBBB\n");
    TestData t;
    StageDevices devices;
    int32_t action[3] = {30, 4, 1};
    devices.types[2] = 2;
    devices.types[5] = 6;
    devices.types[7] = 4;
    devices.actionBlocks[2] = action;
    const int32_t entries[4] = {5, 2, 7, -1};
    int32_t lives = 3;
    Stage st;
    ASSERT_TRUE(st.Load(1, false, 0, &lives, &devices, &t.data, entries));
    EXPECT_EQ(st.catCount, 3);
    EXPECT_EQ(st.Cat(0)->kind, 6);
    EXPECT_EQ(st.Cat(1)->kind, 2);
    EXPECT_EQ(st.Cat(2)->kind, 4);
    EXPECT_EQ(st.Cat(2)->x, 3 * 32);
    EXPECT_EQ(st.Cat(0)->lives, &lives);
    EXPECT_EQ(action[0] | action[1] | action[2], 0);
    EXPECT_EQ(st.FirstPlayerDeviceType(), 6);
    Stage vs;
    ASSERT_TRUE(vs.Load(1, false, 4, &lives, &devices, &t.data, entries));
    EXPECT_EQ(vs.Cat(0)->lives, nullptr);  // versus costs no lives

    // An entry that names no device ends the players.
    const int32_t broken[4] = {5, 9, 2, -1};
    ASSERT_TRUE(st.Load(1, false, 0, &lives, &devices, &t.data, broken));
    EXPECT_EQ(st.catCount, 1);
    EXPECT_FALSE(st.playerActive[2]);
}

TEST(StageLoad, DevicesComeFromTheInputManager) {
    InputManager manager(nullptr);
    manager.devices[0] = new InputDevice(0, input::kKeyboard, nullptr);
    manager.devices[1] = new InputDevice(1, input::kWiiRemote, nullptr);
    const StageDevices d = StageDevicesOf(manager);
    EXPECT_EQ(d.types[0], 6);
    EXPECT_EQ(d.types[1], 2);
    EXPECT_EQ(d.types[2], 0);
    EXPECT_EQ(d.actionBlocks[1], manager.devices[1]->actionBlock);
    EXPECT_EQ(d.actionBlocks[2], nullptr);
}

TEST(StageLoad, PreviewHoldsOnlyTheGridWithFixedCodes) {
    StageFiles files;
    files.WriteNormal(3, "sz anK\nBBBBBB\n");
    Stage preview(3);
    EXPECT_EQ(preview.mode, 0);
    EXPECT_TRUE(preview.enemies.empty());
    EXPECT_FALSE(preview.Cat(0));
    EXPECT_EQ(preview.grid.At(4, 1), tile::kDartTrap);
    EXPECT_EQ(preview.grid.At(5, 1), tile::kSpike);
    EXPECT_EQ(preview.grid.At(6, 1), tile::kBump);
}

TEST(StageLoad, CopiesAreIndependent) {
    StageFiles files;
    files.WriteNormal(2, "s z  G\nBBBBBB\n");
    TestData t;
    OnePlayer p(4);
    Stage st;
    ASSERT_TRUE(st.Load(2, true, 0, nullptr, &p.devices, &t.data, p.entries));
    Stage copy = st;
    copy.Cat(0)->x += 5;
    copy.Cat(0)->rider->gems = 3;
    copy.enemies[0].hits = 2;
    copy.grid.Set(1, 1, tile::kBlock);
    EXPECT_NE(st.Cat(0)->x, copy.Cat(0)->x);
    EXPECT_EQ(st.Cat(0)->rider->gems, 0);
    EXPECT_EQ(st.enemies[0].hits, 0);
    EXPECT_EQ(st.grid.At(1, 1), tile::kEmpty);
}

// The generated tree: every stage file loads in each mode that reads it,
// with its player on the start cell.
TEST(StageLoad, EveryGeneratedStageFileLoads) {
    StageFiles files;
    OutputTree out(files.path().string());
    GenerateStages(out);
    GenerateTimeTable(out);
    ASSERT_FALSE(out.failed());
    OnePlayer p(1);
    for (int difficulty : {0, 1}) {
        TestData t(difficulty);
        ASSERT_TRUE(TimeTable::Load(*t.table));
        for (int n = 0; n < kNormalStages; ++n) {
            for (int mode : {0, 9, 10}) {
                Stage st;
                ASSERT_TRUE(st.Load(n, true, mode, nullptr, &p.devices, &t.data, p.entries)) << n;
                EXPECT_GT(st.grid.columns, 10) << n;
                EXPECT_NE(st.startColumn, 0) << n;
                EXPECT_EQ(st.grid.Count(tile::kGoal), 1) << n;
                EXPECT_GE(st.grid.Count(tile::kGemSlot), 4) << n;
                EXPECT_EQ(st.noTarget, 0) << n;  // the generated table counts three attempts
                EXPECT_GT(st.timeLimit, 10000) << n;  // the target and ten seconds
                EXPECT_LT(st.timeLimit, 200000) << n;
                const CatActor& cat = *st.Cat(0);
                EXPECT_EQ(st.grid.At((cat.x + 16) / 32, (cat.y + 16) / 32), tile::kEmpty) << n;
                EXPECT_TRUE(st.grid.IsSolid((cat.x + 16) / 32, (cat.y + 16) / 32 + 1)) << n;
            }
        }
        for (int n = 0; n < kVsStages; ++n) {
            Stage st;
            ASSERT_TRUE(st.Load(n, true, 4, nullptr, &p.devices, &t.data, p.entries)) << n;
            EXPECT_GE(st.timeLimit, 60000) << n;
            EXPECT_EQ(st.grid.Count(tile::kGoal), 0) << n;
            EXPECT_GT(st.grid.Count(tile::kGemSlot), 0) << n;
        }
    }
}

}  // namespace
