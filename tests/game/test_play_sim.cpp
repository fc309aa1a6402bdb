// The play simulator: the same stage and input give the same hash on every
// frame, a copied stage plays on exactly like the original, and a scripted
// run of a generated stage reaches its goal.
#include "game/play/follow_camera.h"
#include "game/play/sim/play_sim.h"
#include "play_fixture.h"

#include <gtest/gtest.h>

namespace {

// Hold right; press jump for 15 frames every 40 frames once the stage is
// under way.
std::string RunAndJump() {
    std::string s = "1-5000 right\n";
    for (int f = 140; f < 5000; f += 40) s += std::to_string(f) + "-" + std::to_string(f + 14) + " jump\n";
    return s;
}

std::vector<uint64_t> Hashes(const playsim::Setup& setup, const playsim::InputScript& script, int frames) {
    playsim::Simulator sim(setup);
    EXPECT_TRUE(sim.loaded());
    std::vector<uint64_t> hashes;
    for (int f = 0; f < frames && sim.Step(&script); ++f) hashes.push_back(sim.Hash());
    return hashes;
}

TEST_F(GeneratedStages, SameStageAndInputGiveTheSameHashesEveryRun) {
    playsim::InputScript script;
    std::string error;
    ASSERT_TRUE(script.Parse(RunAndJump() +
                                 "200-260 p2 left slow\n300-340 p2 jump\n100-400 p3 mouse=500,200 jump\n"
                                 "401-420 p3 mouse=100,300 action\n150-900 p4 lx=20000 lt=255\n"
                                 "901-1000 p4 rx=-30000 rt=200 rb=1\n",
                             &error))
        << error;
    playsim::Setup setup;
    setup.stageNumber = 71;  // two enemies
    setup.difficulty = 1;
    setup.deviceTypes = {1, 6, 5, 4};
    const std::vector<uint64_t> first = Hashes(setup, script, 1500);
    ASSERT_GT(first.size(), 500u);
    EXPECT_EQ(Hashes(setup, script, 1500), first);
    EXPECT_EQ(Hashes(setup, script, 1500), first);
    // A different seed draws different bump randoms and demo picks but the
    // play itself does not read random numbers otherwise.
    playsim::InputScript other;
    ASSERT_TRUE(other.Parse("1-5000 left\n", &error));
    EXPECT_NE(Hashes(setup, other, 1500), first);
}

TEST_F(GeneratedStages, ACopiedStagePlaysOnLikeTheOriginal) {
    playsim::Setup setup;
    setup.stageNumber = 66;  // an enemy steering by the screen, like the mouse cat
    setup.difficulty = 1;
    setup.deviceTypes = {5, 4};
    playsim::InputScript script;
    std::string error;
    ASSERT_TRUE(script.Parse("1-3000 mouse=600,100\n150-190 jump\n300-320 action\n420-470 jump\n"
                             "1-3000 p2 lx=30000\n400-420 p2 lt=255\n",
                             &error));
    playsim::Simulator sim(setup);
    ASSERT_TRUE(sim.loaded());
    for (int f = 0; f < 400; ++f) sim.Step(&script);
    const playsim::Simulator::Snapshot saved = sim.Save();
    std::vector<uint64_t> original, again;
    for (int f = 0; f < 300; ++f) {
        sim.Step(&script);
        original.push_back(sim.Hash());
    }
    sim.Restore(saved);
    for (int f = 0; f < 300; ++f) {
        sim.Step(&script);
        again.push_back(sim.Hash());
    }
    EXPECT_EQ(again, original);
    EXPECT_NE(playsim::HashStage(saved.stage), original.back());
}

TEST_F(GeneratedStages, ScriptedRunsReachTheGoal) {
    playsim::InputScript script;
    std::string error;
    ASSERT_TRUE(script.Parse(RunAndJump(), &error));
    // The first world has no hazards; later stages are run on the easy
    // difficulty, where spikes and dart traps are harmless.
    const std::pair<int, int> runs[] = {{0, 0}, {0, 1}, {2, 1}, {4, 1}, {10, 0}, {30, 0}};
    for (auto [stage, difficulty] : runs) {
        playsim::Setup setup;
        setup.stageNumber = stage;
        setup.difficulty = difficulty;
        playsim::Simulator sim(setup);
        ASSERT_TRUE(sim.loaded());
        while (sim.Step(&script) && sim.frame() < 3000) {
        }
        EXPECT_TRUE(sim.over()) << stage;
        EXPECT_TRUE(sim.stage().finished) << stage;
        EXPECT_FALSE(sim.stage().roundOver) << stage;
        EXPECT_EQ(sim.stage().grid.Count(tile::kGoalOpen), 1) << stage;
        EXPECT_GT(sim.stage().score, 0) << stage;
        EXPECT_EQ(sim.lives(), 15) << stage;
    }
}

TEST(InputScript, ReadsRangesPlayersAndEveryKindOfInput) {
    playsim::InputScript script;
    std::string error;
    ASSERT_TRUE(script.Parse("# a comment\n\n3 right jump\n2-4 p2 key=30 slow lx=-5 mouse=10,20 slope=0.5,0,1 "
                             "shake=2 button=7\n",
                             &error))
        << error;
    playsim::DeviceBlocks b;
    script.Apply(3, 0, 6, b);
    EXPECT_EQ(b.buttons.held[1], 1);
    EXPECT_EQ(b.keyboard[31], 1);  // a keyboard's right key
    EXPECT_EQ(b.keyboard[0], 1);
    script.Apply(4, 0, 6, b);
    EXPECT_EQ(b.buttons.held[1], 0);
    playsim::DeviceBlocks p2;
    script.Apply(2, 1, 2, p2);
    EXPECT_EQ(p2.keyboard[30], 1);
    EXPECT_EQ(p2.keyboard[48], 1);
    EXPECT_EQ(p2.analog[0], -5);
    EXPECT_EQ(p2.mouse[1], 20);
    EXPECT_EQ(p2.slope[0], 0.5f);
    EXPECT_EQ(p2.actions[2], 30);
    EXPECT_EQ(p2.buttons.held[7], 1);
    p2.actions[2] = 29;
    script.Apply(3, 1, 2, p2);
    EXPECT_EQ(p2.actions[2], 29);  // no new pulse until the remote is at rest

    for (const char* bad : {"x right", "5-2 right", "0 right", "3", "3 fly", "3 key=49", "3 mouse=1", "3 p5 up"}) {
        playsim::InputScript s;
        EXPECT_FALSE(s.Parse(bad, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
