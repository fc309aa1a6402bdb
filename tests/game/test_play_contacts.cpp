// Cats against the tile grid: landing, walls, corners, bump blocks, event
// tiles, hazards, darts and their re-arming; cats far off the grid.
#include "play_fixture.h"

#include <gtest/gtest.h>

namespace {

TEST(GridContact, FallingCatLandsFlushAtNinePixelsAFrame) {
    TestData t;
    for (int start = 0; start < 9; ++start) {
        Stage st = StageOnGrid(Box(), t, 0, 0, 0);
        CatActor cat(0, 1, 3, 3, 850, nullptr, &t.data);
        cat.y = StandingY(9) - 40 - start;
        cat.jumpState = 0;
        for (int f = 0; f < 20; ++f) {
            cat.ApplyGravity();
            cat.vy = std::min(cat.vy, 9);
            cat.y += cat.vy;
            st.UpdateCatOnGrid(cat);
        }
        EXPECT_EQ(cat.y, StandingY(9)) << start;
        EXPECT_EQ(cat.vy, 0);
        EXPECT_EQ(cat.heading, 2);  // the floor
        EXPECT_EQ(cat.jumpState, -2);
    }
}

TEST(GridContact, WallsPushBackAndMarkTheSide) {
    TestData t;
    Stage st = StageOnGrid(Box(), t, 0, 0, 0);
    CatActor cat(0, 1, 3, 3, 850, nullptr, &t.data);
    cat.y = StandingY(9);
    cat.x = 9 * 32 - 27 + 4;  // 4 px into the right wall
    cat.vx = 6;
    st.UpdateCatOnGrid(cat);
    EXPECT_EQ(cat.x, 9 * 32 - 27);
    EXPECT_EQ(cat.vx, 0);
    EXPECT_EQ(cat.sidePush, -1);
    EXPECT_EQ(cat.heading, 1);
    cat.x = 32 - 5 - 3;  // 3 px into the left wall
    cat.vx = -6;
    st.UpdateCatOnGrid(cat);
    EXPECT_EQ(cat.x, 32 - 5);
    EXPECT_EQ(cat.sidePush, 1);
    // A mouse cat bounces off instead of stopping.
    CatActor mouse(0, 5, 3, 3, 850, nullptr, &t.data);
    mouse.y = StandingY(9);
    mouse.x = 9 * 32 - 27 + 4;
    mouse.vx = 6;
    st.UpdateCatOnGrid(mouse);
    EXPECT_EQ(mouse.vx, -6);
}

TEST(GridContact, DiagonalIntoAnInnerCornerIsPushedOutOnBothAxes) {
    TestData t;
    // Deep walls on the right and below: both depths run past 32.
    Stage st = StageOnGrid({"BBBBBBB", "B    BB", "B    BB", "B    BB", "BBBBBBB", "BBBBBBB"}, t, 0, 0, 0);
    CatActor cat(0, 3, 0, 0, 850, nullptr, &t.data);
    cat.x = 5 * 32 - 27 + 3;
    cat.y = 4 * 32 - 27 + 2;
    cat.vx = 4;
    cat.vy = 4;
    cat.heading = 2;
    cat.dirX = 0;
    cat.dirY = 1;
    st.UpdateCatOnGrid(cat);
    EXPECT_EQ(cat.x, 5 * 32 - 27);
    EXPECT_EQ(cat.y, 4 * 32 - 27);
    EXPECT_EQ(cat.vx, 0);
    EXPECT_EQ(cat.vy, 0);
    EXPECT_EQ(cat.heading, 1);  // pivoted from the floor onto the right wall
    EXPECT_EQ(cat.dirX, 1);
}

TEST(GridContact, BumpBlockTurnsSolidOnceFromBelow) {
    TestData t;
    SoundLog sounds;
    Stage st = StageOnGrid({"BBBBBB", "B    B", "B  K B", "B    B", "B    B", "BBBBBB"}, t, 1, 3 * 32 - 11,
                           StandingY(5));
    Pad pad(1);
    for (int f = 0; f < 4; ++f) st.UpdatePlay(pad.arrays);
    pad.buttons.held[input::kJump] = 1;
    int f = 0;
    while (st.grid.At(3, 2) == tile::kBump && f++ < 30) st.UpdatePlay(pad.arrays);
    ASSERT_EQ(st.grid.At(3, 2), tile::kBumped);
    ASSERT_EQ(st.bumpedBlocks.size(), 1u);
    EXPECT_EQ(st.bumpedBlocks[0].column, 3);
    EXPECT_LE(st.bumpedBlocks[0].random, 5);
    st.UpdatePlay(pad.arrays);
    EXPECT_EQ(sounds.Count(kSeKitty), 4);  // four times, on its first frame on the list
    pad.buttons.held[input::kJump] = 0;
    for (int k = 0; k < 30; ++k) st.UpdatePlay(pad.arrays);
    EXPECT_TRUE(st.bumpedBlocks.empty());  // off the list after 20 frames; the block stays
    EXPECT_EQ(st.grid.At(3, 2), tile::kBumped);
    pad.buttons.held[input::kJump] = 1;
    for (int k = 0; k < 30; ++k) st.UpdatePlay(pad.arrays);
    EXPECT_TRUE(st.bumpedBlocks.empty());  // a bumped block is bumped no more
    EXPECT_EQ(sounds.Count(kSeKitty), 4);
}

TEST(GridContact, EventTilesFireInCodeOrderOnTheLeadingEdge) {
    TestData t;
    SoundLog sounds;
    // Moving right into a gem slot and the goal at once: the goal (code 6)
    // is handled before the gem (code 8).
    Stage st = StageOnGrid({"BBBBBB", "B    B", "B  G B", "B  1 B", "BBBBBB"}, t, 1, 3 * 32 - 27 + 2, 2 * 32 + 10);
    CatActor& cat = *st.Cat(0);
    cat.vx = 2;
    st.UpdateCatOnGrid(cat);
    EXPECT_EQ(st.grid.At(3, 2), tile::kGoalOpen);
    EXPECT_TRUE(st.finished);
    EXPECT_EQ(st.grid.At(3, 3), tile::kGemSlot);  // finished: no more gems in the normal game
    ASSERT_GE(sounds.calls.size(), 1u);
    EXPECT_EQ(sounds.calls[0].handle, kSeMetalHit);
}

TEST(GridContact, GoalAndGemsByModeAndDifficulty) {
    struct Case {
        int mode, difficulty, gems;
        bool finishes;
        int score;  // clear bonus aside
    };
    for (int difficulty : {0, 1}) {
        TestData t(difficulty);
        Stage st = StageOnGrid({"BBBBB", "B   B", "B G B", "BBBBB"}, t, 1, 0, 0, 0);
        st.stageNumber = 12;
        st.Cat(0)->gems = 5;
        st.HandleTileContact(*st.Cat(0), 2, 2, tile::kGoal);
        EXPECT_TRUE(st.finished);
        EXPECT_GT(st.score, 0);  // the bonus, time left
        // The unlock needs the hard game and more than three gems.
        EXPECT_EQ(t.save.stageCleared[12], difficulty);
        EXPECT_EQ(st.unlocked, difficulty);
    }
    // Time attack needs four gems to finish, and gives no bonus.
    TestData t;
    Stage ta = StageOnGrid({"BBBBB", "B   B", "B G B", "BBBBB"}, t, 1, 0, 0, 9);
    ta.Cat(0)->gems = 3;
    ta.HandleTileContact(*ta.Cat(0), 2, 2, tile::kGoal);
    EXPECT_FALSE(ta.finished);
    ta.Cat(0)->gems = 4;
    ta.HandleTileContact(*ta.Cat(0), 2, 2, tile::kGoal);
    EXPECT_TRUE(ta.finished);
    EXPECT_EQ(ta.score, 0);
    // The final set after its limit: the run is lost, with the bonus all the same.
    Stage late = StageOnGrid({"BBBBB", "B   B", "B G B", "BBBBB"}, t, 1, 0, 0, 1);
    late.Cat(0)->gems = 4;
    late.elapsed = late.timeLimit;
    late.HandleTileContact(*late.Cat(0), 2, 2, tile::kGoal);
    EXPECT_TRUE(late.finished && late.roundOver && late.failed && late.isLastOfRun);
    EXPECT_EQ(late.score, 500);  // no time left: the base alone
    // Later in the grace seconds the time part outweighs the base: the goal
    // adds nothing and takes none of the stage's points away.
    Stage later = StageOnGrid({"BBBBB", "B   B", "B G B", "BBBBB"}, t, 1, 0, 0, 1);
    later.Cat(0)->gems = 4;
    later.elapsed = later.timeLimit + 4000;
    later.score = 1700;
    later.HandleTileContact(*later.Cat(0), 2, 2, tile::kGoal);
    EXPECT_TRUE(later.finished && later.failed);
    EXPECT_EQ(later.score, 1700);

    // Gem points in the normal game: 100, 200, 400, 1000, then 10000 each
    // on the hard difficulty and nothing on the easy one.
    for (int difficulty : {0, 1}) {
        TestData td(difficulty);
        Stage gems = StageOnGrid({"BBBBBBBBBB", "B11111111B", "BBBBBBBBBB"}, td, 1, 0, 0, 0);
        std::vector<int> scores;
        for (int c = 1; c <= 6; ++c) {
            gems.HandleTileContact(*gems.Cat(0), c, 1, tile::kGemSlot);
            scores.push_back(gems.score);
            EXPECT_EQ(gems.grid.At(c, 1), tile::kEmpty);
        }
        const std::vector<int> expect = difficulty ? std::vector<int>{100, 300, 700, 1700, 11700, 31700}
                                                   : std::vector<int>{100, 300, 700, 1700, 1700, 1700};
        EXPECT_EQ(scores, expect);
    }
}

TEST(GridContact, VersusGemSlotsStepAndSuddenDeathEndsTheRound) {
    TestData t;
    Stage vs = StageOnGrid({"BBBBBB", "B1234B", "BBBBBB"}, t, 1, 0, 0, 4);
    vs.grid.Set(2, 1, tile::kGemWait1);
    vs.grid.Set(3, 1, tile::kGemWait2);
    vs.grid.Set(4, 1, tile::kGemWait3);
    vs.HandleTileContact(*vs.Cat(0), 1, 1, tile::kGemSlot);
    EXPECT_EQ(vs.Cat(0)->gems, 1);
    const std::vector<int32_t> stepped = {vs.grid.At(1, 1), vs.grid.At(2, 1), vs.grid.At(3, 1), vs.grid.At(4, 1)};
    EXPECT_EQ(stepped, (std::vector<int32_t>{11, 8, 9, 10}));
    Stage sd = StageOnGrid({"BBBB", "B1 B", "BBBB"}, t, 1, 0, 0, 8);
    sd.HandleTileContact(*sd.Cat(0), 1, 1, tile::kGemSlot);
    EXPECT_EQ(sd.Cat(0)->gems, 99);
    EXPECT_TRUE(sd.finished && sd.roundOver);
    EXPECT_EQ(sd.elapsed, 9999999);
}

TEST(GridContact, SpikesKnockOutAndCostALifeSixtyFramesLater) {
    TestData t;
    SoundLog sounds;
    int32_t lives = 2;
    Stage st = StageOnGrid({"BBBBBB", "B    B", "B  n B", "BBBBBB"}, t, 1, 3 * 32 - 10, StandingY(3));
    st.Cat(0)->lives = &lives;
    Pad pad(1);
    st.UpdatePlay(pad.arrays);
    EXPECT_EQ(st.Cat(0)->knockedOut, 1);
    EXPECT_EQ(sounds.Count(kSeDeath0), 1);
    st.Cat(0)->startX = 32;  // come back beside the spike
    for (int f = 0; f < 58; ++f) st.UpdatePlay(pad.arrays);
    EXPECT_EQ(lives, 2);
    st.UpdatePlay(pad.arrays);  // the 60th frame of the knock-out
    EXPECT_EQ(lives, 1);
    st.UpdatePlay(pad.arrays);
    EXPECT_EQ(st.Cat(0)->knockedOut, 0);
    EXPECT_EQ(st.Cat(0)->x, 32);
    EXPECT_EQ(lives, 1);
}

TEST(GridContact, DartTrapFiresAlongItsLineAndComesBackAfterTheDartStops) {
    TestData t;
    SoundLog sounds;
    // A trap two cells right of the cat in its row; the dart flies left,
    // hits the cat and stops; the trap is back 180 frames later.
    Stage st = StageOnGrid({"BBBBBBBBBB", "B        B", "B     a  B", "BBBBBBBBBB"}, t, 1, 4 * 32, StandingY(3));
    Pad pad(1);
    st.UpdatePlay(pad.arrays);
    ASSERT_EQ(st.darts.size(), 1u);
    EXPECT_EQ(st.darts[0].direction, Dart::kLeft);
    EXPECT_EQ(st.grid.At(6, 2), tile::kEmpty);
    int frame = 1;
    while (st.Cat(0)->knockedOut == 0 && frame < 20) {
        st.UpdatePlay(pad.arrays);
        ++frame;
    }
    EXPECT_EQ(frame, 7);  // 192 px, 10 px a frame, until its box meets the cat's core
    ASSERT_EQ(st.darts[0].done, 1);
    EXPECT_EQ(st.darts[0].x, -32);
    st.Cat(0)->startX = 32;  // out of the trap's reach when it comes back
    for (int f = 0; f < 179; ++f) {
        st.UpdatePlay(pad.arrays);
        ASSERT_EQ(st.grid.At(6, 2), tile::kEmpty) << f;
    }
    st.UpdatePlay(pad.arrays);
    EXPECT_EQ(st.grid.At(6, 2), tile::kDartTrap);
    EXPECT_TRUE(st.darts.empty());

    // A dart that hits nothing flies until it leaves the grid; a hazard
    // dropped by an enemy fires once and never comes back.
    Stage open = StageOnGrid({"          ", "          ", "      x   ", "          "}, t, 1, 2 * 32, 2 * 32);
    open.grid.Set(6, 2, tile::kDropped);
    open.UpdateDartTraps(*open.Cat(0));
    open.Cat(0)->x = -500;  // out of its way
    for (int f = 0; f < 400; ++f) open.Update();
    EXPECT_TRUE(open.darts.empty());
    EXPECT_EQ(open.grid.At(6, 2), tile::kEmpty);
}

TEST(GridContact, CatsFarOffTheGridReadNothingOutsideIt) {
    TestData t;
    const int far[] = {-100000, -5000, -200, -40, -31, -1, 0, 31, 200, 5000, 100000};
    for (int x : far) {
        for (int y : far) {
            for (int kind : {1, 3, 5, 8, 13}) {
                Stage st = StageOnGrid({"Ba1", "KBG", "nrl"}, t, 1, 0, 0);
                CatActor cat(0, kind, 0, 0, 850, nullptr, &t.data);
                for (int vx : {-9, 0, 9}) {
                    for (int vy : {-9, 0, 9}) {
                        cat.x = x;
                        cat.y = y;
                        cat.vx = vx;
                        cat.vy = vy;
                        cat.mode = 0;
                        st.UpdateCatOnGrid(cat);
                        st.UpdateDartTraps(cat);
                    }
                }
            }
        }
    }
}

}  // namespace
