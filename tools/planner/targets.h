// What a run still has to do on a stage, as a distance: the gems it still
// needs and then the goal, measured through the cells a cat can move
// through (no blocks, no hazards, no field-turn tiles) with gravity left
// out. The planner ranks the states it has reached by it.
#pragma once
#include "game/play/tile_grid.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace planner {

class Targets {
public:
    // Distances of one grid: from every cell to each gem and to the goal,
    // and the shortest way on from each gem over j more gems to the goal.
    explicit Targets(const TileGrid& grid);

    // Pixels still to go for a cat whose top left pixel is (x, y) and who
    // still needs `need` gems; kUnreachable when the goal or the gems
    // cannot be reached from there.
    int Remaining(int x, int y, int need) const;
    int gemCount() const { return int(gems_.size()); }
    bool hasGoal() const { return goal_ >= 0; }

    static constexpr int kUnreachable = 1 << 28;

private:
    int columns_ = 0, rows_ = 0;
    std::vector<int> gems_;                 // cells
    int goal_ = -1;                         // cell
    std::vector<std::vector<int>> fromGem_; // per gem: distance of each cell
    std::vector<int> fromGoal_;
    // tail_[j][g]: from gem g over j more distinct gems, then the goal.
    std::vector<std::vector<int>> tail_;

    std::vector<int> DistancesFrom(const TileGrid& grid, int cell) const;
    int Near(const std::vector<int>& field, int x, int y) const;
};

// Targets per grid, made once for each grid a search meets (gems taken,
// a field turned by an enemy).
class TargetCache {
public:
    const Targets& For(const TileGrid& grid);

private:
    std::unordered_map<uint64_t, Targets> cache_;
};

}  // namespace planner
