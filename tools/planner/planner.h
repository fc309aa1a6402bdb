// The stage planner: finds, by a beam search over copies of a simulated
// stage, an input script with which one player's cat of a kind takes the
// gems a run needs and reaches the goal. Each round of the search plays
// every move of the cat's kind from every state kept, and keeps the states
// closest to done: fewest gems still missing, then the shortest way left
// to the next gems and the goal. States where the cat was knocked out or
// touched a field-turn tile are dropped, so a found run never dies.
//
// It plays the stage of the working directory's "tpa\" tree in time attack
// on the hard difficulty (the goal opens only to four gems; spikes and
// dart traps are live) without recording.
#pragma once
#include <string>

namespace planner {

struct Goal {
    static constexpr int kAllGems = -1;
    int stageNumber = 0;
    int kind = 1;         // device type of the player, 1..6
    int gems = 4;         // gems to take before the goal counts (kAllGems: every gem of the stage)
    int earliestGoal = 0; // no goal before this frame (a demo's length)
    int lastFrame = 9000; // give up past this frame
};

struct Plan {
    bool found = false;
    std::string script;  // the simulator's script form, frames from the stage's first
    int frames = 0;      // the frame on which the goal was reached
    int elapsed = 0;     // ms of play at the goal
    int gems = 0;        // gems held at the goal
    long long framesSimulated = 0;
};

// Beams wider than kWideBeam are retries after narrower beams found no
// run. They search no further than kWideHorizon frames past the earliest
// goal: a wide beam finds its run early (within a few hundred frames on
// every stage) or, where a gem cannot be taken by that kind of cat at all,
// would otherwise play on at thousands of states a round to lastFrame.
constexpr int kWideBeam = 256;
constexpr int kWideHorizon = 1500;

// beamWidth: states kept per round.
Plan PlanRun(const Goal& goal, int beamWidth);

// Plans with wider beams until one finds a run (or the widest fails).
Plan PlanRunWidening(const Goal& goal);

}  // namespace planner
