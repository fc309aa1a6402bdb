// Starting a session's stages for every mode on the generated content: map
// sets with their scenes, worlds, music and bonus; the single-stage modes
// and the demo with their world and music by stage number; and the starts
// that leave nothing to play.
#include "engine/random.h"
#include "game/session/stage_start.h"
#include "generated_tree.h"
#include "play_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class StageStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        LinkContentTreeInto(dir_.path());
        sounds_.Install();
        GameData& d = t_.data;
        for (int w = 0; w < GameData::kWorldCount; ++w) {
            d.sceneBackgrounds[w] = 500 + w;
            for (int k = 0; k < GameData::kBlockKinds; ++k) d.blockModels[w][k] = 1000 + w * 10 + k;
        }
        d.loopSound = 42;
        devices_.types[0] = input::kKeyboard;
        devices_.types[1] = input::kJoystick;
        GameData::currentBgm = 0;  // the title music plays
        SeedRandom(11);
    }
    StageLineup Start(int32_t phase, int32_t setNumber) {
        StageStartSetup setup;
        setup.phase = phase;
        setup.setNumber = setNumber;
        setup.data = &t_.data;
        setup.deviceTable = &devices_;
        setup.playerEntries = entries_;
        setup.lives = &lives_;
        return StartStages(setup);
    }
    std::vector<std::string> Music() const {
        std::vector<std::string> music;
        for (const gamesound::Call& c : sounds_.calls) {
            if (c.kind == gamesound::Call::kPlayMusicFile) music.push_back(c.file);
            if (c.kind == gamesound::Call::kPlayHandle) music.push_back("sound " + std::to_string(c.handle));
            if (c.kind == gamesound::Call::kStopMusic) music.push_back("stop");
        }
        return music;
    }

    ScopedTempDir dir_;
    TestData t_;
    StageDevices devices_;
    int32_t entries_[4] = {0, -1, -1, -1};
    int32_t lives_ = 15;
    SoundLog sounds_;
};

TEST_F(StageStartTest, AStorySetOpensWithItsSceneInItsWorldAndMusic) {
    const StageLineup lineup = Start(0, 1);  // "s 1", "m r6,5,10", stages 11..24
    ASSERT_EQ(lineup.Count(), 20);
    EXPECT_EQ(lineup.phase, 2);
    EXPECT_EQ(lineup.bonus, 30000);
    EXPECT_EQ(Music(), (std::vector<std::string>{"stop", "stop", "tpa\\Music\\tovelmi26.mp3"}));
    EXPECT_EQ(GameData::currentBgm, 2);
    ASSERT_TRUE(lineup.scenes[0]);
    EXPECT_EQ(lineup.scenes[0]->number, 1);
    EXPECT_EQ(lineup.scenes[0]->isScene, 0);
    EXPECT_EQ(lineup.scenes[0]->playerCat, input::kKeyboard - 1);
    EXPECT_EQ(lineup.scenes[0]->background, 501);
    EXPECT_NE(lineup.scenes[0]->state, ScenarioScript::kEnded);  // its file was read
    std::vector<int32_t> firstSix;
    for (int slot = 0; slot < lineup.Count(); ++slot) {
        const Stage* stage = lineup.stages[size_t(slot)].get();
        ASSERT_TRUE(stage) << slot;
        EXPECT_EQ(bool(lineup.scenes[size_t(slot)]), slot == 0) << slot;
        if (slot < 6) {
            firstSix.push_back(stage->stageNumber);
        } else {
            EXPECT_EQ(stage->stageNumber, 5 + slot);
        }
        EXPECT_EQ(stage->mode, 0);
        EXPECT_EQ(stage->isLastOfRun, slot == 19);
        EXPECT_EQ(stage->blockSet, t_.data.blockModels[1]);
        EXPECT_EQ(stage->background, 501);
        ASSERT_TRUE(stage->Cat(0));
        EXPECT_EQ(stage->Cat(0)->lives, &lives_);
    }
    std::sort(firstSix.begin(), firstSix.end());
    EXPECT_EQ(firstSix, (std::vector<int32_t>{5, 6, 7, 8, 9, 10}));
}

TEST_F(StageStartTest, ASetEndingWithASceneHasOneSlotMoreAndNoLastStage) {
    entries_[1] = 1;
    const StageLineup lineup = Start(1, 4);  // "s 4", 55..64, "s 5", 65..71, "s 6"
    ASSERT_EQ(lineup.Count(), 18);
    EXPECT_EQ(lineup.phase, 2);
    for (int slot = 0; slot < 17; ++slot) {
        ASSERT_TRUE(lineup.stages[size_t(slot)]);
        EXPECT_EQ(lineup.stages[size_t(slot)]->isLastOfRun, 0) << slot;
        EXPECT_EQ(lineup.stages[size_t(slot)]->catCount, 2);
        EXPECT_EQ(bool(lineup.scenes[size_t(slot)]), slot == 0 || slot == 10) << slot;
    }
    EXPECT_EQ(lineup.scenes[10]->number, 5);
    EXPECT_EQ(lineup.scenes[10]->isScene, 0);
    EXPECT_FALSE(lineup.stages[17]);
    ASSERT_TRUE(lineup.scenes[17]);
    EXPECT_EQ(lineup.scenes[17]->number, 6);
    EXPECT_EQ(lineup.scenes[17]->isScene, 1);  // the closing scene fades out
    EXPECT_EQ(lineup.scenes[17]->background, 504);
}

TEST_F(StageStartTest, AVersusSetPlaysVersusStagesInItsWorld) {
    entries_[1] = 1;
    const StageLineup lineup = Start(4, 2);
    ASSERT_EQ(lineup.Count(), 3);
    EXPECT_EQ(lineup.phase, 4);
    EXPECT_FALSE(lineup.bonus);
    for (int slot = 0; slot < 3; ++slot) {
        const Stage& stage = *lineup.stages[size_t(slot)];
        EXPECT_EQ(stage.mode, 4);
        EXPECT_EQ(stage.stageNumber, 6 + slot);
        EXPECT_EQ(stage.background, 502);
        EXPECT_GT(stage.timeLimit, 0);  // read from the versus file's first line
        EXPECT_EQ(stage.Cat(0)->lives, nullptr);
        EXPECT_EQ(stage.isLastOfRun, slot == 2);
    }
    EXPECT_EQ(GameData::currentBgm, 4);
}

TEST_F(StageStartTest, SingleStagesTakeWorldAndMusicFromTheirNumber) {
    struct Case {
        int32_t mode, stage;
        int world;
        std::vector<std::string> music;
    } cases[] = {
        {9, 3, 0, {"stop", "sound 42"}},
        {10, 60, 4, {"stop", "tpa\\Music\\track023_warrior_angel.mp3"}},
        {9, 71, 4, {"stop", "tpa\\Music\\TearsOfThunder.mp3"}},
        {9, 97, 5, {"stop", "tpa\\Music\\whiteregret.mp3"}},
        {5, 7, 0, {"stop", "tpa\\Music\\pride.mp3"}},
    };
    for (const Case& c : cases) {
        GameData::currentBgm = 0;
        sounds_.Clear();
        const StageLineup lineup = Start(c.mode, c.stage);
        ASSERT_EQ(lineup.Count(), 1) << c.stage;
        const Stage& stage = *lineup.stages[0];
        EXPECT_EQ(stage.mode, c.mode);
        EXPECT_EQ(stage.stageNumber, c.stage);
        EXPECT_EQ(stage.isLastOfRun, 1);
        EXPECT_EQ(stage.background, 500 + c.world) << c.stage;
        EXPECT_EQ(stage.Cat(0)->lives, nullptr);
        EXPECT_FALSE(lineup.scenes[0]);
        EXPECT_EQ(Music(), c.music) << c.stage;
    }
    // The music already playing goes on.
    GameData::currentBgm = 6;
    sounds_.Clear();
    Start(9, 56);
    EXPECT_TRUE(Music().empty());
}

TEST_F(StageStartTest, TheDemoPlaysThreeRandomStagesAndLeavesTheMusic) {
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        SeedRandom(seed);
        sounds_.Clear();
        const StageLineup lineup = Start(16, -1);
        ASSERT_EQ(lineup.Count(), 3);
        for (int slot = 0; slot < 3; ++slot) {
            const Stage& stage = *lineup.stages[size_t(slot)];
            EXPECT_GE(stage.stageNumber, 0);
            EXPECT_LE(stage.stageNumber, 71);
            EXPECT_EQ(stage.isLastOfRun, slot == 2);
            EXPECT_EQ(stage.background, 500 + stageworld::WorldOfStage(stage.stageNumber));
        }
        EXPECT_TRUE(Music().empty());
    }
}

TEST_F(StageStartTest, StartsWithNothingToPlayAreEmpty) {
    EXPECT_TRUE(Start(0, 40).Empty());   // no such map set
    EXPECT_TRUE(Start(9, 120).Empty());  // no such stage
    EXPECT_TRUE(Start(7, 3).Empty());    // no stages in this phase
    entries_[0] = -1;                    // nobody to play
    EXPECT_TRUE(Start(0, 0).Empty());
    EXPECT_TRUE(Start(9, 3).Empty());
}

TEST(StageWorld, WorldAndMusicByStageNumber) {
    struct Case {
        int32_t stage;
        int world, bgm;
    } cases[] = {{0, 0, 1},  {4, 0, 1},   {5, 1, 2},   {24, 1, 2},  {25, 2, 3},  {39, 2, 3},  {40, 3, 5},
                 {54, 3, 5}, {55, 4, 6},  {64, 4, 6},  {65, 4, 13}, {71, 4, 13}, {72, 5, 4},  {89, 5, 4},
                 {90, 5, 10}, {96, 5, 10}, {97, 5, 11}, {99, 5, 11}, {100, 0, -1}, {-1, 0, -1}};
    for (const Case& c : cases) {
        EXPECT_EQ(stageworld::WorldOfStage(c.stage), c.world) << c.stage;
        EXPECT_EQ(stageworld::BgmOfStage(c.stage), c.bgm) << c.stage;
    }
}

}  // namespace
