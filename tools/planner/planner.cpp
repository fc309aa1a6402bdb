#include "planner.h"

#include "game/play/follow_camera.h"
#include "game/play/sim/play_sim.h"
#include "moves.h"
#include "run_check.h"
#include "script_text.h"
#include "targets.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace planner {

namespace {

constexpr int kPerCell = 4;  // states kept per cell and gem count: the beam stays spread out

// How a move's play ended.
enum class Outcome { kGoing, kGoal, kLost };

struct Record {
    int parent;
    int start;  // the frame the move began on
    std::string lines;
};

struct Node {
    playsim::Simulator::Snapshot snap;
    int record;
    int score;
    int effort;  // length of the move's input: of two alike states the one with less input is kept
    uint64_t key;
    uint64_t cell;
};

uint64_t Mix(uint64_t h, int64_t v) { return (h ^ uint64_t(v)) * 1099511628211ull; }

uint64_t GridKey(const TileGrid& grid) {
    uint64_t h = 1469598103934665603ull;
    for (int32_t c : grid.cells) h = Mix(h, c);
    return h;
}

// What makes two states play on alike, coarsely: where the cat is and how
// it moves, what it holds, and what of the field has changed.
uint64_t StateKey(const playsim::Simulator::Snapshot& s, uint64_t grid) {
    const CatActor& c = *s.stage.Cat(0);
    uint64_t h = Mix(grid, c.x >> 2);
    h = Mix(h, c.y >> 2);
    h = Mix(h, c.vx);
    h = Mix(h, c.vy);
    h = Mix(h, c.jumpState);
    h = Mix(h, c.StackCount());
    switch (c.kind) {
    case 2: h = Mix(Mix(h, c.spin >> 5), s.blocks[0].actions[0]); break;
    case 3: h = Mix(Mix(Mix(h, c.heading), int(c.dirX * 4)), int(c.dirY * 4)); break;
    case 4:
        if (c.rider) h = Mix(Mix(Mix(h, c.rider->x >> 3), c.rider->y >> 3), c.rider->carried);
        h = Mix(h, c.charge);
        break;
    case 5: h = Mix(Mix(h, c.chargeTime >> 2), c.sideLatch); break;
    case 6: h = Mix(h, c.keyBuffer[0]); break;
    default: h = Mix(h, c.sidePush); break;
    }
    return h;
}

// The story game ends a stage at its goal whatever the cat holds: a run
// must not touch the goal before it has its gems.
bool EarlyAtGoal(const Stage& st, const CatActor& cat) {
    if (st.finished || cat.StackCount() >= 4) return false;
    const int c0 = (cat.x + 5) / 32, c1 = (cat.x + 26) / 32, r0 = (cat.y + 6) / 32, r1 = (cat.y + 26) / 32;
    for (int r = r0; r <= r1; ++r) {
        for (int c = c0; c <= c1; ++c) {
            if (st.grid.At(c, r) == tile::kGoal) return true;
        }
    }
    return false;
}

class Search {
public:
    Search(const Goal& goal, int width) : goal_(goal), width_(width), sim_(ProofSetup(goal.stageNumber, goal.kind)) {}

    Plan Run() {
        Plan plan;
        if (!sim_.loaded() || !sim_.stage().Cat(0)) return plan;
        if (goal_.gems == Goal::kAllGems) goal_.gems = sim_.stage().grid.Count(tile::kGemSlot);
        plan.gems = goal_.gems;
        // The ready phase takes no input.
        while (sim_.stage().ready && sim_.Step(nullptr)) {
        }
        records_.push_back({-1, 0, ""});
        std::vector<Node> beam;
        beam.push_back({sim_.Save(), 0, 0, 0, 0, 0});
        int bestFrame = 0, bestRecord = -1;
        while (!beam.empty() && bestRecord < 0) {
            std::vector<Node> next;
            for (const Node& node : beam) Expand(node, next, &bestFrame, &bestRecord);
            if (bestRecord >= 0) break;
            beam = Select(std::move(next));
            if (!beam.empty() && beam.front().snap.frame >= goal_.lastFrame) break;
        }
        plan.framesSimulated = framesSimulated_;
        if (bestRecord < 0) return plan;
        plan.found = true;
        plan.script = ScriptOf(bestRecord);
        plan.frames = bestFrame;
        return plan;
    }

private:
    const playsim::InputScript& Script(const std::string& lines) {
        auto it = scripts_.find(lines);
        if (it == scripts_.end()) {
            playsim::InputScript s;
            std::string error;
            s.Parse(lines, &error);
            if (scripts_.size() > 4096) scripts_.clear();  // the mouse cat's cursors are all different
            it = scripts_.emplace(lines, std::move(s)).first;
        }
        return it->second;
    }

    Outcome Play(const Move& move) {
        const playsim::InputScript& script = Script(move.lines);
        const int start = sim_.frame() + 1;
        const Stage& st = sim_.stage();
        for (int f = 0; f < move.frames; ++f) {
            if (!sim_.Step(&script, start)) return Outcome::kLost;
            ++framesSimulated_;
            const CatActor* cat = st.Cat(0);
            if (!cat || cat->knockedOut || !st.turnTiles.empty() || EarlyAtGoal(st, *cat)) return Outcome::kLost;
            if (st.finished) {
                const bool reached = st.grid.Count(tile::kGoalOpen) > 0 && !st.roundOver &&
                                     sim_.frame() >= goal_.earliestGoal && cat->StackCount() >= goal_.gems;
                return reached ? Outcome::kGoal : Outcome::kLost;
            }
        }
        return Outcome::kGoing;
    }

    void Expand(const Node& node, std::vector<Node>& next, int* bestFrame, int* bestRecord) {
        ApplyFollowCamera(node.snap.stage.camera);  // the mouse cat aims on the screen
        for (const Move& move : MovesFor(goal_.kind, node.snap.stage)) {
            sim_.Restore(node.snap);
            const int start = sim_.frame() + 1;
            const Outcome outcome = Play(move);
            if (outcome == Outcome::kLost) continue;
            records_.push_back({node.record, start, move.lines});
            const int record = int(records_.size()) - 1;
            if (outcome == Outcome::kGoal) {
                if (*bestRecord < 0 || sim_.frame() < *bestFrame) {
                    *bestFrame = sim_.frame();
                    *bestRecord = record;
                }
                continue;
            }
            const Stage& st = sim_.stage();
            const CatActor& cat = *st.Cat(0);
            const Targets& targets = targets_.For(st.grid);
            const int need = std::max(0, goal_.gems - cat.StackCount());
            const int left = targets.Remaining(cat.x, cat.y, need);
            if (left >= Targets::kUnreachable) continue;
            Node n{sim_.Save(), record, left, int(move.lines.size()), 0, 0};
            const uint64_t grid = GridKey(st.grid);
            n.key = StateKey(n.snap, grid);
            n.cell = Mix(Mix(Mix(grid, (cat.x + 16) >> 5), (cat.y + 16) >> 5), cat.StackCount());
            next.push_back(std::move(n));
        }
    }

    std::vector<Node> Select(std::vector<Node> all) {
        std::sort(all.begin(), all.end(), [](const Node& a, const Node& b) {
            return a.score != b.score ? a.score < b.score : a.effort < b.effort;
        });
        std::vector<Node> kept;
        std::unordered_set<uint64_t> seen;
        std::unordered_map<uint64_t, int> perCell;
        for (Node& n : all) {
            if (int(kept.size()) >= width_) break;
            if (!seen.insert(n.key).second) continue;
            if (++perCell[n.cell] > kPerCell) continue;
            kept.push_back(std::move(n));
        }
        return kept;
    }

    std::string ScriptOf(int record) const {
        std::vector<ScriptPiece> pieces;
        for (int r = record; r > 0; r = records_[size_t(r)].parent)
            pieces.push_back({records_[size_t(r)].start, records_[size_t(r)].lines});
        std::reverse(pieces.begin(), pieces.end());
        return JoinScript(pieces);
    }

    Goal goal_;
    int width_;
    playsim::Simulator sim_;
    TargetCache targets_;
    std::vector<Record> records_;
    std::unordered_map<std::string, playsim::InputScript> scripts_;
    long long framesSimulated_ = 0;
};

}  // namespace

Plan PlanRun(const Goal& goal, int beamWidth) {
    Plan plan;
    {
        Goal bounded = goal;
        if (beamWidth > kWideBeam) bounded.lastFrame = std::min(goal.lastFrame, goal.earliestGoal + kWideHorizon);
        Search search(bounded, beamWidth);
        plan = search.Run();
    }
    if (!plan.found) return plan;
    // The script as written must play the same run from the stage's start.
    const int wanted = plan.gems;
    const RunOutcome check = PlayScript(ProofSetup(goal.stageNumber, goal.kind), plan.script, plan.frames + 5);
    if (!check.goal || check.knockedOut || check.frames != plan.frames || check.gems < wanted) {
        plan.found = false;
        return plan;
    }
    plan.elapsed = check.elapsed;
    plan.gems = check.gems;
    return plan;
}

Plan PlanRunWidening(const Goal& goal) {
    long long simulated = 0;
    Plan plan;
    for (int width : {64, 256, 1024, 4096}) {
        plan = PlanRun(goal, width);
        simulated += plan.framesSimulated;
        plan.framesSimulated = simulated;
        if (plan.found) break;
    }
    return plan;
}

}  // namespace planner
