// Plays a whole script on a stage in the simulator and tells how the run
// went: the check behind every stored proof and demo run.
#pragma once
#include "game/play/sim/play_sim.h"

#include <string>

namespace planner {

struct RunOutcome {
    bool loaded = false;
    bool goal = false;       // the stage ended at its opened goal
    bool knockedOut = false; // the first player's cat was knocked out at some frame
    bool turned = false;     // a field-turn tile was touched
    int frames = 0;          // frame of the goal (or of the last frame played)
    int elapsed = 0;         // ms of play then
    int gems = 0;            // gems of the first player's cat (and its rider) then
    int timeLimit = 0;       // the stage's limit in this mode
    bool failed = false;     // the stage's failure flag (a time-out of the final set)
    std::string error;       // a script that cannot be read
};

// The setup a run is planned and proven in: time attack on the hard
// difficulty, one player of the kind, no recording.
playsim::Setup ProofSetup(int stageNumber, int kind, int mode = 9);

// Plays the script until the stage is over or `lastFrame`.
RunOutcome PlayScript(const playsim::Setup& setup, const std::string& script, int lastFrame = 12000);

}  // namespace planner
