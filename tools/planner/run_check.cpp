#include "run_check.h"

namespace planner {

playsim::Setup ProofSetup(int stageNumber, int kind, int mode) {
    playsim::Setup setup;
    setup.stageNumber = stageNumber;
    setup.mode = mode;
    setup.deviceTypes = {kind};
    setup.difficulty = 1;
    setup.seed = 1;
    return setup;
}

RunOutcome PlayScript(const playsim::Setup& setup, const std::string& script, int lastFrame) {
    RunOutcome out;
    playsim::InputScript input;
    if (!input.Parse(script, &out.error)) return out;
    playsim::Simulator sim(setup);
    out.loaded = sim.loaded();
    if (!out.loaded) return out;
    const Stage& stage = sim.stage();
    out.timeLimit = stage.timeLimit;
    while (sim.frame() < lastFrame && sim.Step(&input)) {
        const CatActor* cat = stage.Cat(0);
        if (cat && cat->knockedOut) out.knockedOut = true;
        if (!stage.turnTiles.empty()) out.turned = true;
        if (stage.finished && !out.frames) {
            out.frames = sim.frame();
            out.elapsed = stage.elapsed;
            out.gems = cat ? cat->StackCount() : 0;
            out.goal = stage.grid.Count(tile::kGoalOpen) > 0 && !stage.roundOver;
        }
    }
    if (!out.frames) {
        out.frames = sim.frame();
        out.elapsed = stage.elapsed;
        out.gems = stage.Cat(0) ? stage.Cat(0)->StackCount() : 0;
    }
    out.failed = stage.failed != 0;
    return out;
}

}  // namespace planner
