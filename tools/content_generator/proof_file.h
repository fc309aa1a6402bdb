// The stored proofs that the normal stages can be played: per stage, which
// of its designs the generator ships and the stage planner's runs through
// it, one for each kind of cat (and, for the stages the attract demo
// shows, one longer run per kind that the demo replays are recorded
// from). The generator takes the design and the time table from them; the
// planner writes them (tools/planner) and the content tests play them.
//
// File "stage_normal<N>.txt" in the proof folder:
//     # comment
//     design D
//     run KIND frames F elapsed MS gems G
//     <script lines: the play simulator's input script, frames from the stage's first>
//     end
//     demo KIND frames F elapsed MS gems G
//     ...
//     end
#pragma once
#include <string>
#include <vector>

struct ProvenRun {
    int kind = 0;     // device type 1..6
    int frames = 0;   // the frame the goal was reached on
    int elapsed = 0;  // ms of play then
    int gems = 0;     // gems held then
    std::string script;
};

struct StageProof {
    int stage = 0;
    int design = 0;
    std::vector<ProvenRun> runs;   // one per kind
    std::vector<ProvenRun> demos;  // one per kind for the attract demo's stages

    const ProvenRun* Run(int kind) const;
    const ProvenRun* Demo(int kind) const;
};

// The folder the repository keeps the proofs in.
std::string ProofFolder();
std::string ProofPath(const std::string& folder, int stage);

std::string FormatStageProof(const StageProof& proof);
// False, with the reason, for a file that cannot be read or parsed.
bool ParseStageProof(const std::string& text, StageProof* proof, std::string* error);
bool ReadStageProof(const std::string& path, StageProof* proof, std::string* error);

// The proof of a stage as the repository holds it (read once); a stage
// without a readable proof gets an empty one (design 0, no runs).
const StageProof& StoredProof(int stage);
