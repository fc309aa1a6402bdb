// Joins pieces of script, each with frames counted from its own start,
// into one script of the simulator's form: one line per run of frames in
// which the same inputs are held, frames counted from the stage's start.
#pragma once
#include <string>
#include <vector>

namespace planner {

struct ScriptPiece {
    int start;          // the stage frame of the piece's frame 1
    std::string lines;  // "F-L token ..." lines
};

std::string JoinScript(const std::vector<ScriptPiece>& pieces);

}  // namespace planner
