#include "targets.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <queue>

namespace planner {

namespace {

constexpr int kCell = 32;
constexpr int kDiagonal = 45;  // 32 * sqrt 2
constexpr int kMaxGems = 12;   // more are left out of the tours

bool Open(int32_t code) {
    return code != tile::kOutside && !IsSolidTile(code) && !IsHazardTile(code) && code != tile::kTurnRight &&
           code != tile::kTurnFlip && code != tile::kTurnLeft;
}

uint64_t HashGrid(const TileGrid& grid) {
    uint64_t h = 1469598103934665603ull ^ uint64_t(grid.columns);
    for (int32_t c : grid.cells) h = (h ^ uint64_t(uint32_t(c))) * 1099511628211ull;
    return h;
}

}  // namespace

Targets::Targets(const TileGrid& grid) : columns_(grid.columns), rows_(grid.rows) {
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < columns_; ++c) {
            const int32_t code = grid.At(c, r);
            if ((code == tile::kGemSlot || code == tile::kGem) && int(gems_.size()) < kMaxGems)
                gems_.push_back(r * columns_ + c);
            if (code == tile::kGoal) goal_ = r * columns_ + c;
        }
    }
    for (int g : gems_) fromGem_.push_back(DistancesFrom(grid, g));
    if (goal_ >= 0) fromGoal_ = DistancesFrom(grid, goal_);

    // Paths that end at the goal, walked backwards from it: best[mask][l]
    // is the shortest way from the goal over the gems of mask, last at l.
    const int n = int(gems_.size());
    tail_.assign(size_t(std::max(n, 1)), std::vector<int>(size_t(n), kUnreachable));
    if (goal_ < 0 || n == 0) return;
    const size_t masks = size_t(1) << n;
    std::vector<int> best(masks * size_t(n), kUnreachable);
    auto at = [&](size_t mask, int l) -> int& { return best[mask * size_t(n) + size_t(l)]; };
    for (int l = 0; l < n; ++l) at(size_t(1) << l, l) = fromGoal_[size_t(gems_[size_t(l)])];
    for (size_t mask = 1; mask < masks; ++mask) {
        for (int l = 0; l < n; ++l) {
            const int here = at(mask, l);
            if (!(mask >> l & 1) || here >= kUnreachable) continue;
            const int count = __builtin_popcountll(mask);
            tail_[size_t(count - 1)][size_t(l)] = std::min(tail_[size_t(count - 1)][size_t(l)], here);
            for (int k = 0; k < n; ++k) {
                if (mask >> k & 1) continue;
                const int step = fromGem_[size_t(l)][size_t(gems_[size_t(k)])];
                if (step >= kUnreachable) continue;
                int& next = at(mask | size_t(1) << k, k);
                next = std::min(next, here + step);
            }
        }
    }
}

std::vector<int> Targets::DistancesFrom(const TileGrid& grid, int cell) const {
    std::vector<int> dist(size_t(columns_ * rows_), kUnreachable);
    using Item = std::pair<int, int>;  // distance, cell
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
    dist[size_t(cell)] = 0;
    open.push({0, cell});
    while (!open.empty()) {
        const auto [d, at] = open.top();
        open.pop();
        if (d > dist[size_t(at)]) continue;
        const int c = at % columns_, r = at / columns_;
        for (int dr = -1; dr <= 1; ++dr) {
            for (int dc = -1; dc <= 1; ++dc) {
                if (!dc && !dr) continue;
                const int nc = c + dc, nr = r + dr;
                if (!Open(grid.At(nc, nr))) continue;
                // No cutting a corner between two closed cells.
                if (dc && dr && (!Open(grid.At(c + dc, r)) || !Open(grid.At(c, r + dr)))) continue;
                const int nd = d + (dc && dr ? kDiagonal : kCell);
                int& slot = dist[size_t(nr * columns_ + nc)];
                if (nd < slot) {
                    slot = nd;
                    open.push({nd, nr * columns_ + nc});
                }
            }
        }
    }
    return dist;
}

int Targets::Near(const std::vector<int>& field, int x, int y) const {
    // The cat's middle, and the best of the cells around it plus the way
    // to that cell's middle, so the value changes pixel by pixel.
    const int cx = x + 16, cy = y + 16;
    const int c0 = cx / kCell, r0 = cy / kCell;
    int best = kUnreachable;
    for (int r = r0 - 1; r <= r0 + 1; ++r) {
        for (int c = c0 - 1; c <= c0 + 1; ++c) {
            if (c < 0 || r < 0 || c >= columns_ || r >= rows_) continue;
            const int d = field[size_t(r * columns_ + c)];
            if (d >= kUnreachable) continue;
            const float dx = float(c * kCell + kCell / 2 - cx), dy = float(r * kCell + kCell / 2 - cy);
            best = std::min(best, d + int(std::sqrt(dx * dx + dy * dy)));
        }
    }
    return best;
}

int Targets::Remaining(int x, int y, int need) const {
    if (goal_ < 0) return kUnreachable;
    if (need <= 0) return Near(fromGoal_, x, y);
    need = std::min(need, int(gems_.size()));
    if (need <= 0) return kUnreachable;
    int best = kUnreachable;
    for (size_t g = 0; g < gems_.size(); ++g) {
        const int tail = tail_[size_t(need - 1)][g];
        if (tail >= kUnreachable) continue;
        const int to = Near(fromGem_[g], x, y);
        if (to < kUnreachable) best = std::min(best, to + tail);
    }
    return best;
}

const Targets& TargetCache::For(const TileGrid& grid) {
    const uint64_t key = HashGrid(grid);
    auto it = cache_.find(key);
    if (it == cache_.end()) it = cache_.emplace(key, Targets(grid)).first;
    return it->second;
}

}  // namespace planner
