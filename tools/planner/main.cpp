// planner: proves the generated stages playable for every kind of cat and
// keeps the proofs.
//
//   planner prove [--stages A-B] [--out DIR]   plans the stages (from their
//       stored design on, moving to the next design until every kind has a
//       run) and writes their proofs into DIR (default: the repository's
//       proof folder)
//   planner verify ROOT      plays every stored proof on the tree ROOT/tpa
//   planner record ROOT      records the demo replays into ROOT/tpa/d_replay
//   planner plan --stage N --kind K [--gems G] [--earliest F] [--width W]
//                [--root DIR] [--print]      one search, for trying things
#include "engine/log.h"
#include "planner.h"
#include "proofs.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: planner prove [--stages A-B] [--out DIR]\n"
                 "       planner verify ROOT\n"
                 "       planner record ROOT\n"
                 "       planner plan --stage N --kind K [--gems G] [--earliest F] [--width W] [--root DIR] [--print]\n");
    return 2;
}

double Since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

int Prove(int argc, char** argv) {
    int first = 0, last = 99;
    std::string out = ProofFolder();
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--stages" && i + 1 < argc) {
            const std::string range = argv[++i];
            const size_t dash = range.find('-');
            first = std::atoi(range.substr(0, dash).c_str());
            last = dash == std::string::npos ? first : std::atoi(range.substr(dash + 1).c_str());
        } else if (a == "--out" && i + 1 < argc) {
            out = argv[++i];
        } else {
            return Usage();
        }
    }
    if (first < 0 || last > 99 || first > last) return Usage();
    std::string name = "morpotta-planner-";
    name += std::to_string(getpid());
    const std::string work = (std::filesystem::temp_directory_path() / name).string();
    std::filesystem::create_directories(out);
    int failed = 0;
    for (int n = first; n <= last; ++n) {
        StageProof proof;
        const planner::ProveReport report = planner::ProveStage(n, StoredProof(n).design, work, &proof);
        for (const std::string& note : report.notes) std::printf("stage %d: %s\n", n, note.c_str());
        std::printf("stage %d: %s, design %d, %.1f s (%.1f s of processor time)\n", n,
                    report.proven ? "proven" : "NOT PROVEN", proof.design, report.seconds, report.cpuSeconds);
        std::fflush(stdout);
        if (!report.proven) {
            ++failed;
            continue;
        }
        std::ofstream file(ProofPath(out, n), std::ios::binary | std::ios::trunc);
        file << FormatStageProof(proof);
        if (!file) {
            std::fprintf(stderr, "planner: %s cannot be written\n", ProofPath(out, n).c_str());
            ++failed;
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return failed ? 1 : 0;
}

int Plan(int argc, char** argv) {
    planner::Goal goal;
    int width = 0;
    bool print = false;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--stage" && more)
            goal.stageNumber = std::atoi(argv[++i]);
        else if (a == "--kind" && more)
            goal.kind = std::atoi(argv[++i]);
        else if (a == "--width" && more)
            width = std::atoi(argv[++i]);
        else if (a == "--gems" && more)
            goal.gems = std::atoi(argv[++i]);
        else if (a == "--earliest" && more)
            goal.earliestGoal = std::atoi(argv[++i]);
        else if (a == "--root" && more)
            std::filesystem::current_path(argv[++i]);
        else if (a == "--print")
            print = true;
        else
            return Usage();
    }
    const auto t0 = std::chrono::steady_clock::now();
    const planner::Plan plan = width ? planner::PlanRun(goal, width) : planner::PlanRunWidening(goal);
    std::printf("stage %d kind %d found %d frames %d elapsed %d gems %d simulated %lld time %.2fs\n", goal.stageNumber,
                goal.kind, plan.found, plan.frames, plan.elapsed, plan.gems, plan.framesSimulated, Since(t0));
    if (print) std::printf("%s", plan.script.c_str());
    return plan.found ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    SetLogOutput(0);
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "prove") return Prove(argc, argv);
    if (command == "plan") return Plan(argc, argv);
    if ((command == "verify" || command == "record") && argc == 3) {
        const auto t0 = std::chrono::steady_clock::now();
        const std::vector<StageProof> proofs = planner::StoredProofs();
        std::vector<std::string> problems;
        if (command == "verify") {
            problems = planner::VerifyProofs(argv[2], proofs);
            std::printf("planner: %zu stages' proofs played in %.1f s: %zu faults\n", proofs.size(), Since(t0),
                        problems.size());
        } else {
            const int stored = planner::RecordDemoReplays(argv[2], proofs, &problems);
            std::printf("planner: %d demo replays recorded in %.1f s\n", stored, Since(t0));
        }
        for (const std::string& p : problems) std::fprintf(stderr, "planner: %s\n", p.c_str());
        return problems.empty() ? 0 : 1;
    }
    return Usage();
}
