// The stage clock, its phases and stopped states, time-outs, versus
// winners, the game-over fade, lives, beaten enemies and the clear bonus.
#include "game/play/play_clock.h"
#include "play_fixture.h"

#include <gtest/gtest.h>

namespace {

int fixedMs = 0;
int FixedClock() { return fixedMs; }

TEST(StagePhases, ReadyGoAndTheFramesAfterTheEnd) {
    TestData t;
    SetPlayClock(&FixedClock);
    fixedMs = 4242;
    for (int mode : {0, 4, 9, 12}) {
        Stage st = StageOnGrid(Box(), t, 1, 64, StandingY(9), mode);
        st.ready = 1;
        int readyFrames = 0, goFrames = 0;
        while (st.ready) {
            ASSERT_FALSE(st.IsFinished());
            ++readyFrames;
        }
        EXPECT_EQ(readyFrames, 101) << mode;
        EXPECT_EQ(st.startTick, 4242);
        while (st.go) {
            ASSERT_FALSE(st.IsFinished());
            ++goFrames;
        }
        EXPECT_EQ(goFrames, 31) << mode;
        for (int f = 0; f < 500; ++f) EXPECT_FALSE(st.IsFinished());  // playing: never over by itself
        st.finished = 1;
        int linger = 1;
        while (!st.IsFinished()) ++linger;
        EXPECT_EQ(linger, mode >= 9 ? 2 : 100) << mode;
    }
    // The attract demo ends after ten seconds of play.
    Stage demo = StageOnGrid(Box(), t, 1, 64, StandingY(9), 16);
    demo.elapsed = 9984;
    EXPECT_FALSE(demo.IsFinished());
    demo.elapsed = 10000;
    EXPECT_TRUE(demo.IsFinished());
    SetPlayClock(nullptr);
}

TEST(StageClock, RunsOnlyInPlayAndStandsStillInTheEasyNormalGameAndSuddenDeath) {
    struct Case {
        int mode, difficulty;
        bool ready, finished, fading, runs;
    };
    const Case cases[] = {
        {0, 1, false, false, false, true},  {0, 0, false, false, false, false}, {1, 0, false, false, false, true},
        {9, 0, false, false, false, true},  {4, 0, false, false, false, true},  {8, 1, false, false, false, false},
        {0, 1, true, false, false, false},  {0, 1, false, true, false, false},  {0, 1, false, false, true, false},
    };
    for (const Case& c : cases) {
        TestData t(c.difficulty);
        Stage st = StageOnGrid(Box(), t, 1, 64, StandingY(9), c.mode);
        st.timeLimit = 1000000;
        st.ready = c.ready;
        st.finished = c.finished;
        st.gameOverFade = c.fading ? 1 : 0;
        EXPECT_EQ(st.Update(), c.runs) << c.mode;
        EXPECT_EQ(st.elapsed, c.runs ? 16 : 0) << c.mode;
    }
}

TEST(StageClock, StoryTimeOutComesFiveSecondsAfterTheLimit) {
    for (int mode : {0, 1}) {
        TestData t;
        SoundLog sounds;
        int32_t lives = 0;
        Stage st = StageOnGrid(Box(), t, 1, 64, StandingY(9), mode);
        st.Cat(0)->lives = &lives;
        st.timeLimit = 1000;
        int frames = 0;
        while (!st.finished && frames < 1000) {
            st.Update();
            ++frames;
        }
        EXPECT_EQ(st.elapsed, 6016) << mode;  // the first frame more than 5000 ms past
        EXPECT_TRUE(st.roundOver);
        EXPECT_EQ(st.Cat(0)->knockedOut, 1);
        EXPECT_EQ(sounds.Count(kSeDeath0), 1);
        EXPECT_EQ(lives, mode == 0 ? -1 : 0);
        EXPECT_EQ(bool(st.isLastOfRun), true);
        EXPECT_EQ(bool(st.failed), mode == 1);
    }
}

TEST(StageClock, VersusTimeOutCrownsTheMostGemsTiesAndNobodyWithoutGems) {
    TestData t;
    struct Case {
        std::vector<int> gems;
        std::vector<uint8_t> winners;
    };
    const Case cases[] = {{{2, 3, 3, 1}, {0, 1, 1, 0}}, {{0, 0, 0, 0}, {0, 0, 0, 0}}, {{1, 0, 0, 0}, {1, 0, 0, 0}}};
    for (const Case& c : cases) {
        Stage st = StageOnGrid(Box(), t, 0, 0, 0, 4);
        for (int slot = 0; slot < 4; ++slot) {
            st.cats[size_t(slot)] = DeepPtr<CatActor>::Make(slot, slot == 3 ? 4 : 1, 2, 2, 950.0f, nullptr, &t.data, false);
            st.playerActive[slot] = 1;
        }
        // The pad player's gems are split with its rider.
        st.Cat(0)->gems = c.gems[0];
        st.Cat(1)->gems = c.gems[1];
        st.Cat(2)->gems = c.gems[2];
        st.Cat(3)->gems = c.gems[3] / 2;
        st.Cat(3)->rider->gems = c.gems[3] - c.gems[3] / 2;
        st.timeLimit = 16;
        st.Update();
        st.Update();
        EXPECT_FALSE(st.finished);
        st.Update();
        EXPECT_TRUE(st.finished && st.roundOver);
        EXPECT_EQ(std::vector<uint8_t>(st.results, st.results + 4), c.winners);
    }
}

TEST(StageClock, GameOverFadeTurnsTheMusicDownOverHundredEightyFrames) {
    TestData t;
    SoundLog sounds;
    Stage st = StageOnGrid(Box(), t, 1, 64, StandingY(9));
    st.gameOverFade = 1;
    int frames = 0;
    while (st.gameOverFade > 0) {
        st.Update();
        ++frames;
    }
    EXPECT_EQ(frames, 180);
    EXPECT_EQ(st.gameOverFade, -1);
    EXPECT_TRUE(st.finished && st.roundOver);
    ASSERT_EQ(sounds.calls.size(), 180u);
    EXPECT_EQ(sounds.calls[0].kind, gamesound::Call::kSetMusicVolume);
    EXPECT_EQ(sounds.calls[0].playType, 255 - 2 * 255 / 180);
    EXPECT_EQ(sounds.calls[89].playType, 255 - 91 * 255 / 180);
    EXPECT_EQ(sounds.calls.back().playType, 0);
}

TEST(StageClearBonus, TimeLeftTimesTheFactorOverTheLimitTimesTheGemMultiplier) {
    TestData hard(1), easy(0);
    Stage st = StageOnGrid(Box(), hard, 1, 64, StandingY(9));
    st.enemies.emplace_back(-1, 8, 3, 3, 850.0f, nullptr, &hard.data);
    st.timeLimit = 90000;
    st.elapsed = 45000;
    st.Cat(0)->gems = 2;
    EXPECT_EQ(st.AddClearBonus(), 20000);  // 45000 x 10000 / 90000 x 3 + 5000

    st.gameData = &easy.data;
    EXPECT_EQ(st.AddClearBonus(), 5000);  // the easy normal game: the base
    st.enemies.clear();
    EXPECT_EQ(st.AddClearBonus(), 500);
    st.mode = 1;
    EXPECT_EQ(st.AddClearBonus(), 45000 * 1000 / 90000 * 3 + 500);

    // More than 214.7 s left: the product passes 32 bits.
    st.gameData = &hard.data;
    st.mode = 0;
    st.enemies.emplace_back(-1, 8, 3, 3, 850.0f, nullptr, &hard.data);
    st.Cat(0)->gems = 4;
    st.timeLimit = 600000;
    st.elapsed = 0;
    EXPECT_EQ(st.AddClearBonus(), 10000 * 8 + 5000);
    st.timeLimit = 400000;
    st.elapsed = 100000;
    EXPECT_EQ(st.AddClearBonus(), 7500 * 8 + 5000);
    // A stage without a limit has no time part.
    st.timeLimit = 0;
    EXPECT_EQ(st.AddClearBonus(), 5000);
    st.timeLimit = -5;
    EXPECT_EQ(st.AddClearBonus(), 5000);

    // Past the limit (the final set's grace seconds) the time part is
    // negative: the bonus shrinks, down to nothing and no further.
    st.mode = 1;
    st.timeLimit = 60000;
    st.elapsed = 63000;
    EXPECT_EQ(st.AddClearBonus(), -3000 * 10000 / 60000 * 8 + 5000);  // 1000
    st.elapsed = 64000;
    EXPECT_EQ(st.AddClearBonus(), 0);  // -666 x 8 + 5000 would be -328
    st.elapsed = 65000;
    st.enemies.clear();
    EXPECT_EQ(st.AddClearBonus(), 0);
}

TEST(StagePlay, CatFallingOffTheFieldIsKnockedOutAndCostsALifeSixtyFramesLater) {
    TestData t;
    SoundLog sounds;
    int32_t lives = 0;
    Stage st = StageOnGrid({"    ", "    ", "    "}, t, 1, 40, 40);
    st.Cat(0)->lives = &lives;
    Pad pad(1);
    int knockedAt = -1;
    for (int f = 0; f < 200 && lives == 0; ++f) {
        st.UpdatePlay(pad.arrays);
        if (knockedAt < 0 && st.Cat(0)->knockedOut) {
            knockedAt = f;
            EXPECT_GT(st.Cat(0)->y, (st.grid.rows + 1) * 32);
        }
        if (lives < 0) {
            EXPECT_EQ(f - knockedAt, 59);
        }
    }
    EXPECT_EQ(lives, -1);
    EXPECT_TRUE(st.isLastOfRun);
    EXPECT_EQ(st.gameOverFade, 1);
    // In the final set the same fall costs no life.
    int32_t finalLives = 0;
    Stage fin = StageOnGrid({"    ", "    ", "    "}, t, 1, 40, 40, 1);
    fin.Cat(0)->lives = &finalLives;
    for (int f = 0; f < 200; ++f) fin.UpdatePlay(pad.arrays);
    EXPECT_EQ(finalLives, 0);
}

TEST(StagePlay, BeatenEnemyLeavesAGemASecondLaterAndComesBackAboveABlock) {
    TestData t;
    SoundLog sounds;
    Stage st = StageOnGrid(Box(12, 8), t, 1, 4 * 32, StandingY(7));
    st.grid.Set(8, 4, tile::kBlock);  // the one cell with room above a block besides the floor
    st.enemies.emplace_back(-1, 11, 4, 6, 850.0f, nullptr, &t.data);
    CatActor& enemy = st.enemies.back();
    enemy.x = st.Cat(0)->x;
    enemy.y = st.Cat(0)->y;
    Pad pad(1);
    st.UpdatePlay(pad.arrays);
    EXPECT_EQ(st.enemiesBeaten, 1);
    EXPECT_EQ(enemy.hits, 1);
    ASSERT_EQ(st.gemSpawns.size(), 1u);
    const int column = st.gemSpawns[0].column, row = st.gemSpawns[0].row;
    EXPECT_EQ(column, (enemy.x + 13) / 32);
    // Its new start: an empty cell over a block, inside the border.
    EXPECT_EQ(st.grid.At(enemy.startX / 32, enemy.startY / 32), tile::kEmpty);
    EXPECT_EQ(st.grid.At(enemy.startX / 32, enemy.startY / 32 + 1), tile::kBlock);
    for (int f = 0; f < 60; ++f) st.UpdatePlay(pad.arrays);
    EXPECT_EQ(st.grid.At(column, row), tile::kEmpty);
    st.UpdatePlay(pad.arrays);
    EXPECT_EQ(st.grid.At(column, row) == tile::kGem || st.Cat(0)->gems == 1, true);
    EXPECT_EQ(enemy.knockedOut, 0);
    EXPECT_EQ(enemy.x, enemy.startX + enemy.vx);
}

TEST(StagePlay, GemSpawnOverTheGoalAppearsAboveIt) {
    TestData t;
    Stage st = StageOnGrid(Box(8, 8), t, 0, 0, 0);
    st.grid.Set(3, 4, tile::kGoal);
    st.gemSpawns.push_back({3, 4, 60});
    st.gemSpawns.push_back({0, -1, 60});  // above the top row: nothing to write
    st.Update();
    EXPECT_EQ(st.grid.At(3, 4), tile::kGoal);
    EXPECT_EQ(st.grid.At(3, 3), tile::kGem);
    EXPECT_TRUE(st.gemSpawns.empty());
}

}  // namespace
