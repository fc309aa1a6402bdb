#include "proofs.h"

#include "game/play/game_modes.h"
#include "game/play/sim/play_sim.h"
#include "game/replay/replay_files.h"
#include "game/replay/replay_format.h"
#include "manifest.h"
#include "output.h"
#include "planner.h"
#include "run_check.h"
#include "stages.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <filesystem>
#include <system_error>

namespace planner {

namespace {

constexpr int kKinds = 6;
constexpr int kFirstFinalStage = 72;  // stages from here on play by the final set's rules

// The working directory for a while: the simulator reads the tree there.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& path) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(path, error);
    }
    ~WorkingDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(saved_, ignored);
    }
    std::error_code error;

private:
    std::filesystem::path saved_;
};

std::string Joined(const std::vector<std::string>& rows) {
    std::string text;
    for (const std::string& row : rows) text += row + "\n";
    return text;
}

// The quickest run of a few beam widths (wider beams find other, not
// always quicker, runs).
Plan QuickestRun(const Goal& goal) {
    Plan best;
    for (int width : {64, 256, 1024, 4096}) {
        Plan plan = PlanRun(goal, width);
        if (plan.found && (!best.found || plan.frames < best.frames)) best = plan;
        if (best.found && width >= 256) break;
    }
    return best;
}

ProvenRun RunOf(int kind, const Plan& plan) { return {kind, plan.frames, plan.elapsed, plan.gems, plan.script}; }

// The demo replays of a build: the game's recorder, file names and text
// forms, written plainly (a generated tree needs no crash-safe stores, and
// thousands of flushes cost seconds).
class TreeReplayFiles : public replay::ReplayFiles {
public:
    bool SaveStreams(const StoredReplay& stored, int mode, int stageNumber, const SaveData*) override {
        const std::vector<int32_t>& kinds = stored.playerKinds;
        if (kinds.empty() || stored.text.size() != kinds.size()) return false;
        bool ok = true;
        for (size_t p = 0; p < kinds.size(); ++p) {
            for (int k = 0; k < ReplayStreams::kStreamCount; ++k)
                ok &= Write(replay::StreamFilePath(mode, stageNumber, int(p), kinds[p], replay::Stream(k)),
                            stored.text[p][size_t(k)]);
        }
        return ok && Write(replay::MetaFilePath(mode, stageNumber, kinds[0]), replay::MetaText(kinds));
    }

private:
    static bool Write(std::string path, const std::string& text) {
        std::replace(path.begin(), path.end(), '\\', '/');
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << text;
        return bool(file);
    }
};

std::string Where(int stage, const char* what, int kind) {
    return "stage " + std::to_string(stage) + " " + what + " " + std::to_string(kind) + ": ";
}

}  // namespace

ProveReport ProveStage(int stage, int firstDesign, const std::string& workRoot, StageProof* proof) {
    ProveReport report;
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t cpu0 = std::clock();
    OutputTree out(workRoot);
    WorkingDirectory cwd(workRoot);
    for (int design = firstDesign; design < firstDesign + 20 && !report.proven; ++design) {
        ++report.designsTried;
        *proof = StageProof{};
        proof->stage = stage;
        proof->design = design;
        out.WriteText("tpa\\stage\\stage_normal" + std::to_string(stage) + ".stg",
                      Joined(DesignNormalStageVariant(stage, design).rows));
        bool all = true;
        for (int kind = 1; kind <= kKinds && all; ++kind) {
            Goal goal;
            goal.stageNumber = stage;
            goal.kind = kind;
            const Plan plan = QuickestRun(goal);
            if (!plan.found) {
                report.notes.push_back("design " + std::to_string(design) + ": no run for kind " + std::to_string(kind));
                all = false;
                break;
            }
            proof->runs.push_back(RunOf(kind, plan));
        }
        for (int kind = 1; kind <= kKinds && all && stage < kDemoStages; ++kind) {
            // Every gem first; failing that, the four the goal asks for.
            Goal goal;
            goal.stageNumber = stage;
            goal.kind = kind;
            goal.earliestGoal = kDemoGoalFrame;
            goal.gems = Goal::kAllGems;
            Plan plan = PlanRunWidening(goal);
            if (!plan.found) {
                goal.gems = 4;
                plan = PlanRunWidening(goal);
            }
            if (!plan.found) {
                report.notes.push_back("design " + std::to_string(design) + ": no demo run for kind " +
                                       std::to_string(kind));
                all = false;
                break;
            }
            proof->demos.push_back(RunOf(kind, plan));
        }
        report.proven = all;
    }
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    report.cpuSeconds = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
    return report;
}

std::vector<std::string> VerifyProofs(const std::string& root, const std::vector<StageProof>& proofs) {
    std::vector<std::string> problems;
    WorkingDirectory cwd(root);
    if (cwd.error) return {root + ": " + cwd.error.message()};
    for (const StageProof& proof : proofs) {
        const int n = proof.stage;
        for (int kind = 1; kind <= kKinds; ++kind) {
            const ProvenRun* run = proof.Run(kind);
            if (!run) {
                problems.push_back(Where(n, "kind", kind) + "no stored run");
                continue;
            }
            const RunOutcome attack = PlayScript(ProofSetup(n, kind), run->script, run->frames + 10);
            if (!attack.goal || attack.knockedOut || attack.turned || attack.gems < 4 || attack.frames != run->frames ||
                attack.elapsed != run->elapsed) {
                problems.push_back(Where(n, "kind", kind) + "the stored run ends at frame " +
                                   std::to_string(attack.frames) + (attack.goal ? " at the goal" : " without the goal") +
                                   " with " + std::to_string(attack.gems) + " gems" +
                                   (attack.knockedOut ? ", knocked out" : "") + "; stored: frame " +
                                   std::to_string(run->frames));
                continue;
            }
            // The story game on the hard difficulty: the same run within the
            // stage's limit (the final set's rules from stage 72 on).
            const int story = n >= kFirstFinalStage ? gamemode::kFinal : gamemode::kNormal;
            const RunOutcome played = PlayScript(ProofSetup(n, kind, story), run->script, run->frames + 10);
            if (!played.goal || played.failed || played.knockedOut || played.gems < 4 ||
                played.elapsed > played.timeLimit)
                problems.push_back(Where(n, "kind", kind) + "in the story game the run " +
                                   (played.goal ? "" : "misses the goal ") + "ends with " + std::to_string(played.gems) +
                                   " gems after " + std::to_string(played.elapsed) +
                                   " ms of a limit of " + std::to_string(played.timeLimit));
        }
        if (n >= kDemoStages) continue;
        for (int kind = 1; kind <= kKinds; ++kind) {
            const ProvenRun* demo = proof.Demo(kind);
            if (!demo) {
                problems.push_back(Where(n, "demo", kind) + "no stored demo run");
                continue;
            }
            const RunOutcome r = PlayScript(ProofSetup(n, kind), demo->script, demo->frames + 10);
            if (!r.goal || r.knockedOut || r.turned || r.frames != demo->frames || r.frames < kDemoGoalFrame)
                problems.push_back(Where(n, "demo", kind) + "the stored demo run ends at frame " +
                                   std::to_string(r.frames) + (r.goal ? " at the goal" : " without the goal") +
                                   (r.knockedOut ? ", knocked out" : ""));
        }
    }
    return problems;
}

int RecordDemoReplays(const std::string& root, const std::vector<StageProof>& proofs,
                      std::vector<std::string>* problems) {
    WorkingDirectory cwd(root);
    if (cwd.error) {
        problems->push_back(root + ": " + cwd.error.message());
        return 0;
    }
    std::error_code ec;
    std::filesystem::create_directories("tpa/d_replay", ec);
    TreeReplayFiles files;
    ReplaySource* before = GetReplaySource();
    SetReplaySource(&files);
    int stored = 0;
    for (const StageProof& proof : proofs) {
        if (proof.stage >= kDemoStages) continue;
        for (int kind = 1; kind <= kKinds; ++kind) {
            const ProvenRun* demo = proof.Demo(kind);
            if (!demo) {
                problems->push_back(Where(proof.stage, "demo", kind) + "no stored demo run to record");
                continue;
            }
            playsim::InputScript script;
            std::string error;
            if (!script.Parse(demo->script, &error)) {
                problems->push_back(Where(proof.stage, "demo", kind) + error);
                continue;
            }
            playsim::Simulator sim(ProofSetup(proof.stage, kind, gamemode::kTimeAttackTable));
            // The run plays to its goal and the stage's closing frames.
            while (sim.frame() < demo->frames + 10 && sim.Step(&script)) {
            }
            if (!sim.stage().SaveReplay()) {
                problems->push_back(Where(proof.stage, "demo", kind) + "the demo replay was not stored");
                continue;
            }
            ++stored;
        }
    }
    SetReplaySource(before);
    return stored;
}

std::vector<StageProof> StoredProofs() {
    std::vector<StageProof> proofs;
    for (int n = 0; n < kNormalStages; ++n) proofs.push_back(StoredProof(n));
    return proofs;
}

}  // namespace planner
