// The planner's work on the content: proving every normal stage (runs for
// the six kinds of cat, and the attract demo's longer runs), checking the
// stored proofs against a generated tree, and recording the demo replays
// from them with the game's own recorder.
#pragma once
#include "proof_file.h"

#include <string>
#include <vector>

namespace planner {

// The demo runs take every gem there is and reach the goal no earlier
// than this frame, so each demo replay holds at least 625 frames of play
// from the stage's start.
constexpr int kDemoGoalFrame = 640;
// Stages the attract demo draws from.
constexpr int kDemoStages = 72;

struct ProveReport {
    bool proven = false;
    int designsTried = 0;
    double seconds = 0;     // wall clock
    double cpuSeconds = 0;  // this process's processor time (the search runs on one thread)
    std::vector<std::string> notes;  // kinds that failed on a design
};

// Plans stage `stage` from design `firstDesign` on, in a scratch tree under
// `workRoot` (its stage file is written there), moving to the next design
// until every kind has a run (and a demo run where the demo shows the
// stage). The proof holds the design and the runs.
ProveReport ProveStage(int stage, int firstDesign, const std::string& workRoot, StageProof* proof);

// Plays every stored proof on the tree under `root` (the working directory
// is changed while they run): each kind's run must reach the goal with four
// gems, never knocked out, on the frame it was stored with, in time attack
// and in the story mode of the stage within its limit; each demo run must
// reach its goal no earlier than its frame. One line per fault.
std::vector<std::string> VerifyProofs(const std::string& root, const std::vector<StageProof>& proofs);

// Records the demo replays (stages 0..71, device types 1..6) into
// `root`/tpa/d_replay from the proofs' demo runs: each is played in the
// time attack against the table, whose stage stores its input as the
// built-in demo replay. Returns the number stored; faults go to *problems.
int RecordDemoReplays(const std::string& root, const std::vector<StageProof>& proofs,
                      std::vector<std::string>* problems);

// Every stored proof of the repository, in stage order.
std::vector<StageProof> StoredProofs();

}  // namespace planner
