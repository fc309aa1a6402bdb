// Map sets: slot counting, refused lines, the building pass with its random
// draws, music and bonus lines; and every generated set against the
// generated stages and scripts.
#include "engine/random.h"
#include "game/session/map_set.h"
#include "generated_tree.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

// What the building pass asked for, one word per step.
struct Built {
    std::vector<std::string> steps;
    std::vector<int32_t> stages;

    MapSetSteps Steps() {
        MapSetSteps s;
        s.stage = [this](int32_t slot, int32_t n, bool last) {
            stages.push_back(n);
            steps.push_back("stage " + std::to_string(slot) + ":" + std::to_string(n) + (last ? " last" : ""));
        };
        s.scene = [this](int32_t slot, int32_t n, bool closing) {
            steps.push_back("scene " + std::to_string(slot) + ":" + std::to_string(n) + (closing ? " closing" : ""));
        };
        s.music = [this](int32_t bgm) { steps.push_back("music " + std::to_string(bgm)); };
        s.bonus = [this](int32_t bonus) { steps.push_back("bonus " + std::to_string(bonus)); };
        return s;
    }
};

Built Build(const std::string& text) {
    Built built;
    BuildMapSet(ParseMapSet(text, "test"), built.Steps());
    return built;
}

TEST(MapSet, CountsSlotsAndTheSetsFirstPhase) {
    struct Case {
        const char* text;
        int32_t slots, stageSlots, lastStage;
        int32_t phaseFrom0, phaseFrom1, phaseFrom4;
    } cases[] = {
        {"BGM 2\nbonus 30000\ns 1\nm r3,10,12\nm 13\ns 5\n", 5, 4, -1, 2, 2, 2},
        {"m 1\nm 2\n", 2, 2, 1, 0, 0, 4},
        {"m 1\ns 3\nm 2\nBGM 4\n", 2, 2, 1, 0, 0, 4},  // the music line after the last stage changes nothing
        {"s 1\n", 1, 0, -1, 2, 2, 2},                 // a scene and no stage
        {"", 0, 0, -1, 0, 1, 4},                      // empty: no slot, the phase as it was
        {"BGM 3\nbonus 5\n", 0, 0, -1, 0, 1, 4},
        {"# a note\nx 5\n\nM 4\nS 3\n", 0, 0, -1, 0, 1, 4},  // other first characters are ignored
        {"m 7\r\ns 2\r\n", 2, 1, -1, 0, 0, 4},
    };
    for (const Case& c : cases) {
        const MapSet set = ParseMapSet(c.text, "test");
        EXPECT_EQ(set.slotCount, c.slots) << c.text;
        EXPECT_EQ(set.stageSlots, c.stageSlots) << c.text;
        EXPECT_EQ(set.LastStageSlot(), c.lastStage) << c.text;
        EXPECT_EQ(set.StartPhase(0), c.phaseFrom0) << c.text;
        EXPECT_EQ(set.StartPhase(1), c.phaseFrom1) << c.text;
        EXPECT_EQ(set.StartPhase(4), c.phaseFrom4) << c.text;
    }
}

TEST(MapSet, LinesThatCannotBePlayedAreLeftOut) {
    for (const char* line : {"m 100", "m -1", "m 2147483647999", "m r4,10,12", "m r2,12,10", "m r0,1,5", "m r-3,1,5",
                             "m r1,-1,5", "m r1,5,100", "m r", "m r3", "m r3,5", "m", "m x"}) {
        const MapSet set = ParseMapSet(std::string(line) + "\nm 4\n", "test");
        EXPECT_EQ(set.lines.size(), 1u) << line;
        EXPECT_EQ(set.slotCount, 1) << line;
    }
}

TEST(MapSet, BuildsInFileOrderWithScenesBeforeTheirStage) {
    const Built built = Build("BGM 2\nbonus 30000\ns 1\nm 10\nm 11\ns 4\nm 12\nBGM -\ns 9\ns 5\n");
    EXPECT_EQ(built.steps, (std::vector<std::string>{"music 2", "bonus 30000", "scene 0:1", "stage 0:10", "stage 1:11",
                                                     "scene 2:4", "stage 2:12", "music -1", "scene 3:9 closing",
                                                     "scene 3:5 closing"}));
    const Built last = Build("m 3\r\ns 2\r\nm 4\r\nbonus 700\r\nBGM 13\r\n");
    EXPECT_EQ(last.steps, (std::vector<std::string>{"stage 0:3", "scene 1:2", "stage 1:4 last", "bonus 700", "music 13"}));
}

TEST(MapSet, BonusNumberStartsAtTheSeventhCharacter) {
    struct Case {
        const char* line;
        const char* step;
    } cases[] = {{"bonus 30000", "bonus 30000"}, {"bxxxxx55", "bonus 55"}, {"bonus", "bonus 0"}, {"bonus12345", "bonus 2345"}};
    for (const Case& c : cases) EXPECT_EQ(Build(c.line).steps, std::vector<std::string>{c.step}) << c.line;
}

TEST(MapSet, RandomLinesDrawDifferentStagesFromTheirRange) {
    std::set<std::vector<int32_t>> orders;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SeedRandom(seed);
        const Built built = Build("m r3,10,12\nm 13\nm r5,0,99\n");
        ASSERT_EQ(built.stages.size(), 9u);
        std::vector<int32_t> first(built.stages.begin(), built.stages.begin() + 3);
        orders.insert(first);
        std::sort(first.begin(), first.end());
        EXPECT_EQ(first, (std::vector<int32_t>{10, 11, 12}));
        EXPECT_EQ(built.stages[3], 13);
        std::set<int32_t> five(built.stages.begin() + 4, built.stages.end());
        EXPECT_EQ(five.size(), 5u);
        EXPECT_EQ(built.steps.back(), "stage 8:" + std::to_string(built.stages[8]) + " last");
        // The same seed draws the same stages.
        SeedRandom(seed);
        EXPECT_EQ(Build("m r3,10,12\nm 13\nm r5,0,99\n").stages, built.stages);
    }
    EXPECT_GT(orders.size(), 3u);  // the order changes from run to run
    SeedRandom(7);
    std::vector<int32_t> all = Build("m r100,0,99\n").stages;
    std::sort(all.begin(), all.end());
    for (int32_t i = 0; i < 100; ++i) EXPECT_EQ(all[size_t(i)], i);
}

TEST(MapSet, FilePathsByMode) {
    EXPECT_EQ(MapSetFilePath(0, 3), "tpa\\mapset\\normal_set3.set");
    EXPECT_EQ(MapSetFilePath(1, 11), "tpa\\mapset\\normal_set11.set");
    EXPECT_EQ(MapSetFilePath(2, 0), "tpa\\mapset\\normal_set0.set");
    EXPECT_EQ(MapSetFilePath(4, 2), "tpa\\mapset\\vs_set2.set");
    for (int mode : {5, 8, 9, 12, 16, -1}) EXPECT_EQ(MapSetFilePath(mode, 1), "") << mode;
}

TEST(MapSet, EveryGeneratedSetLoadsAndNamesExistingStagesAndScripts) {
    ScopedTempDir dir;
    const std::filesystem::path tree = ContentTreeRoot() / "tpa";
    std::filesystem::create_directory_symlink(tree, dir.path() / "tpa");
    auto exists = [&](const std::string& relative) { return std::filesystem::exists(tree / relative); };
    for (int mode : {0, 4}) {
        for (int number = 0; number < (mode == 0 ? 12 : 5); ++number) {
            const std::string path = MapSetFilePath(mode, number);
            const MapSet set = ReadMapSet(path.c_str());
            const std::string text = ScopedTempDir::ReadFile(
                tree / "mapset" / ((mode == 4 ? "vs_set" : "normal_set") + std::to_string(number) + ".set"));
            SCOPED_TRACE(path);
            ASSERT_GT(set.stageSlots, 0);
            EXPECT_EQ(set.lines.size(), size_t(std::count(text.begin(), text.end(), '\n')));  // nothing refused
            Built built;
            BuildMapSet(set, built.Steps());
            for (int32_t stage : built.stages) {
                const std::string file = (mode == 4 ? "stage/stage_vs" : "stage/stage_normal") + std::to_string(stage) + ".stg";
                EXPECT_TRUE(exists(file)) << file;
            }
            for (const MapSet::Line& line : set.lines) {
                if (line.kind != MapSet::Line::kScene) continue;
                const std::string file = "scenario/scenario" + std::to_string(line.value) + ".scn";
                EXPECT_TRUE(exists(file)) << file;
            }
        }
    }
}

}  // namespace
