// The stages are proven by play: every stored proof (the planner's run for
// each kind of cat) plays through the generated tree to the goal within the
// stage's limit, the time table comes from the planner's times, the demo
// replays play their runs, and the planner finds runs (and finds none
// where there is none).
#include "game/play/game_modes.h"
#include "game/replay/replay_files.h"
#include "game/timetable.h"
#include "generated_tree.h"
#include "generator.h"
#include "joined_lines.h"
#include "manifest.h"
#include "planner.h"
#include "proofs.h"
#include "run_check.h"
#include "scoped_temp_dir.h"
#include "script_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

TEST(StageProofs, EveryStageIsProvenForEveryKindOnTheTree) {
    const std::vector<StageProof> proofs = planner::StoredProofs();
    ASSERT_EQ(proofs.size(), size_t(kNormalStages));
    for (const StageProof& p : proofs) {
        EXPECT_EQ(p.runs.size(), 6u) << "stage " << p.stage;
        EXPECT_EQ(p.demos.size(), p.stage < planner::kDemoStages ? 6u : 0u) << "stage " << p.stage;
    }
    const std::vector<std::string> problems = planner::VerifyProofs(ContentTreeRoot().string(), proofs);
    EXPECT_TRUE(problems.empty()) << Joined(problems);
}

TEST(StageProofs, TimeTableTargetsComeFromThePlannersTimesAndLimitsStayUnder200Seconds) {
    const std::string text = ScopedTempDir::ReadFile(ContentTreeRoot() / "tpa" / "limitTimeTable.csv");
    auto table = std::make_unique<TimeTable>();
    TimeTable::Parse(*table, text.data(), text.size());
    ScopedTempDir dir;
    fs::create_directory_symlink(ContentTreeRoot() / "tpa", dir.path() / "tpa");
    for (int n = 0; n < kNormalStages; ++n) {
        const StageProof& proof = StoredProof(n);
        int best = 99999999;
        for (int kind = 1; kind <= 6; ++kind) {
            const ProvenRun* run = proof.Run(kind);
            ASSERT_TRUE(run) << n;
            EXPECT_EQ(table->target[n][kind], TargetFromPlannerTime(run->elapsed)) << n << " " << kind;
            EXPECT_GT(table->target[n][kind], run->elapsed) << n << " " << kind;
            EXPECT_GE(table->attempts[n][kind], 3) << "the limit follows the target";
            best = std::min(best, table->target[n][kind]);
            // The limit of the story game (the final set's from stage 72 on).
            const int story = n >= 72 ? gamemode::kFinal : gamemode::kNormal;
            playsim::Simulator sim(planner::ProofSetup(n, kind, story));
            ASSERT_TRUE(sim.loaded());
            EXPECT_FALSE(sim.stage().noTarget);
            EXPECT_LT(sim.stage().timeLimit, 200000) << n << " " << kind;
        }
        EXPECT_EQ(table->rowBest[n], best);
    }
}

TEST(DemoReplays, EveryDemoStageAndTypePlaysItsRunPastFrame625) {
    ScopedTempDir dir;
    fs::create_directory_symlink(ContentTreeRoot() / "tpa", dir.path() / "tpa");
    replay::ReplayFiles files;
    SetReplaySource(&files);
    int played = 0;
    for (int n = 0; n < planner::kDemoStages; ++n) {
        for (int type = 1; type <= 6; ++type) {
            char meta[64];
            std::snprintf(meta, sizeof meta, "t%d_metaType%d.dat", n, type);
            EXPECT_EQ(ScopedTempDir::ReadFile(dir.path() / "tpa" / "d_replay" / meta), std::to_string(type) + ",")
                << n;
            // The demo replay of the time-attack select: the stage driven by
            // the files alone.
            playsim::Setup setup = planner::ProofSetup(n, type, gamemode::kReplayDemo);
            playsim::Simulator sim(setup);
            ASSERT_TRUE(sim.loaded()) << n << " " << type;
            const int frames = StoredProof(n).Demo(type)->frames;
            bool knockedOut = false;
            while (sim.frame() < frames + 10 && sim.Step(nullptr)) knockedOut |= sim.stage().Cat(0)->knockedOut != 0;
            EXPECT_FALSE(knockedOut) << n << " " << type;
            EXPECT_TRUE(sim.over()) << n << " " << type;
            EXPECT_EQ(sim.stage().grid.Count(tile::kGoalOpen), 1) << n << " " << type;
            EXPECT_GE(sim.frame(), 625) << n << " " << type;
            EXPECT_EQ(sim.frame(), frames + 1) << n << " " << type;
            ++played;
        }
    }
    SetReplaySource(nullptr);
    EXPECT_EQ(played, 432);
}

// A small tree of one stage for the planner.
class PlannerTree : public ::testing::Test {
protected:
    void Write(const std::vector<std::string>& rows) {
        fs::create_directories(dir_.path() / "tpa" / "stage");
        std::ofstream file(dir_.path() / "tpa" / "stage" / "stage_normal0.stg", std::ios::binary);
        for (const std::string& r : rows) file << r << "\n";
    }
    ScopedTempDir dir_;
};

TEST_F(PlannerTree, FindsARunForEveryKindAndNoneToAWalledGoal) {
    Write({"BBBBBBBBBBBBBBBB",  //
           "B              B",  //
           "B       1      B",  //
           "B     BBBB     B",  //
           "B  1        1 GB",  //
           "Bs   n  1  BBBBB",  //
           "BBBBBBBBBBBBBBBB"});
    for (int kind = 1; kind <= 6; ++kind) {
        planner::Goal goal;
        goal.kind = kind;
        const planner::Plan plan = planner::PlanRunWidening(goal);
        ASSERT_TRUE(plan.found) << kind;
        EXPECT_GE(plan.gems, 4) << kind;
        // The script alone plays the same run.
        const planner::RunOutcome again = planner::PlayScript(planner::ProofSetup(0, kind), plan.script);
        EXPECT_TRUE(again.goal) << kind;
        EXPECT_FALSE(again.knockedOut) << kind;
        EXPECT_EQ(again.frames, plan.frames) << kind;
        EXPECT_EQ(again.elapsed, plan.elapsed) << kind;
    }
    // A demo's run takes every gem and keeps off the goal until its frame.
    planner::Goal demo;
    demo.gems = planner::Goal::kAllGems;
    demo.earliestGoal = planner::kDemoGoalFrame;
    const planner::Plan longer = planner::PlanRun(demo, 64);
    ASSERT_TRUE(longer.found);
    EXPECT_EQ(longer.gems, 4);
    EXPECT_GE(longer.frames, planner::kDemoGoalFrame);

    Write({"BBBBBBBBBBBBBBBB",  //
           "B              B",  //
           "B  1 1   1  1 BB",  //
           "Bs           BGB",  //
           "BBBBBBBBBBBBBBBB"});
    const planner::Plan none = planner::PlanRun(planner::Goal{}, 64);
    EXPECT_FALSE(none.found);
}

TEST_F(PlannerTree, AWideBeamGivesUpAtItsHorizonWhereAGemCannotBeTaken) {
    // The gem high in the middle of the room is in reach as the crow flies
    // but no jump gets there: no beam finds a run, and the wide ones stop
    // searching a fixed number of frames past the earliest goal.
    Write({"BBBBBBBBBBBBBBBB",  //
           "B              B",  //
           "B       1      B",  //
           "B              B",  //
           "B              B",  //
           "B              B",  //
           "B              B",  //
           "B              B",  //
           "Bs 1 1 1     G B",  //
           "BBBBBBBBBBBBBBBB"});
    planner::Goal goal;
    goal.earliestGoal = 100;
    planner::Goal horizon = goal;
    horizon.lastFrame = goal.earliestGoal + planner::kWideHorizon;
    goal.lastFrame = horizon.lastFrame + 120;
    const planner::Plan wide = planner::PlanRun(goal, planner::kWideBeam + 1);
    EXPECT_FALSE(wide.found);
    EXPECT_EQ(wide.framesSimulated, planner::PlanRun(horizon, planner::kWideBeam + 1).framesSimulated);
    // A narrow beam searches on to the goal's last frame.
    const planner::Plan narrow = planner::PlanRun(goal, 16);
    EXPECT_FALSE(narrow.found);
    EXPECT_GT(narrow.framesSimulated, planner::PlanRun(horizon, 16).framesSimulated);
}

TEST(ScriptText, JoinsPiecesIntoOneLinePerHeldRun) {
    const std::string joined = planner::JoinScript({{102, "1-6 right\n1-3 jump\n"},
                                                    {108, "1-6 right\n"},
                                                    {114, "1 mouse=5,6\n1-2 action jump slope=0,0,-1\n"}});
    EXPECT_EQ(joined,
              "102-104 jump\n"
              "102-113 right\n"
              "114 mouse=5,6\n"
              "114-115 jump action slope=0,0,-1\n");
}

TEST(ProofFile, ReadsWhatItWritesAndRefusesBrokenFiles) {
    StageProof proof;
    proof.stage = 7;
    proof.design = 2;
    proof.runs.push_back({1, 300, 3000, 4, "102-200 right\n"});
    proof.demos.push_back({5, 650, 8800, 6, "102-110 jump\n111 mouse=1,2\n"});
    StageProof back;
    std::string error;
    ASSERT_TRUE(ParseStageProof(FormatStageProof(proof), &back, &error)) << error;
    EXPECT_EQ(back.design, 2);
    ASSERT_TRUE(back.Run(1));
    EXPECT_EQ(back.Run(1)->script, "102-200 right\n");
    EXPECT_EQ(back.Run(1)->elapsed, 3000);
    ASSERT_TRUE(back.Demo(5));
    EXPECT_EQ(back.Demo(5)->frames, 650);
    EXPECT_FALSE(back.Run(2));
    for (const char* bad : {"design x\n", "run 7 frames 1 elapsed 1 gems 4\nend\n", "run 1 frames 1\nend\n",
                            "run 1 frames 1 elapsed 1 gems 4\n102 right\n", "walk 1\n",
                            "run 1 frames 1 elapsed 1 gems 4\nend\nrun 1 frames 2 elapsed 2 gems 4\nend\n"}) {
        EXPECT_FALSE(ParseStageProof(bad, &back, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
