#include "playability.h"

#include <algorithm>
#include <queue>

namespace {

class Field {
public:
    explicit Field(const std::vector<std::string>& rows) : rows_(rows) {}
    int width() const { return rows_.empty() ? 0 : int(rows_[0].size()); }
    int height() const { return int(rows_.size()); }
    char At(int x, int y) const {
        if (y < 0 || y >= height() || x < 0 || x >= int(rows_[size_t(y)].size())) return 'B';
        return rows_[size_t(y)][size_t(x)];
    }
    bool Solid(int x, int y) const { return At(x, y) == 'B'; }
    // A cat may pass through: not a block, not a hazard, not a turn tile.
    bool Passable(int x, int y) const {
        char c = At(x, y);
        return c != 'B' && c != 'n' && c != 'a' && c != 'r' && c != 'l' && c != 'u';
    }
    bool Standable(int x, int y) const { return Passable(x, y) && Solid(x, y + 1); }
    bool ColumnFree(int x, int from, int to) const {
        for (int y = std::min(from, to); y <= std::max(from, to); ++y) {
            if (!Passable(x, y)) return false;
        }
        return true;
    }
    bool RowFree(int y, int from, int to) const {
        for (int x = std::min(from, to); x <= std::max(from, to); ++x) {
            if (!Passable(x, y)) return false;
        }
        return true;
    }

private:
    const std::vector<std::string>& rows_;
};

}  // namespace

bool StageIsPlayable(const std::vector<std::string>& rows, int minGems, std::string* why, bool needGoal) {
    Field f(rows);
    int w = f.width(), h = f.height();
    int sx = -1, sy = -1, gx = -1, gy = -1;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (f.At(x, y) == 's') sx = x, sy = y;
            if (f.At(x, y) == 'G') gx = x, gy = y;
        }
    }
    if (sx < 0 || (needGoal && gx < 0)) {
        *why = "no start or no goal";
        return false;
    }
    std::vector<char> seen(size_t(w * h), 0);
    std::queue<std::pair<int, int>> open;
    // A cat that does not stand on anything falls until it does.
    auto land = [&](int x, int y) {
        while (y < h - 1 && f.Passable(x, y) && !f.Solid(x, y + 1)) ++y;
        return f.Standable(x, y) ? y : -1;
    };
    int start = land(sx, sy);
    if (start < 0) {
        *why = "the start is not above solid ground";
        return false;
    }
    open.push({sx, start});
    seen[size_t(start * w + sx)] = 1;
    while (!open.empty()) {
        auto [x, y] = open.front();
        open.pop();
        for (int dx = -4; dx <= 4; ++dx) {
            int tx = x + dx;
            if (tx <= 0 || tx >= w - 1) continue;
            for (int ty = std::max(1, y - 3); ty < h - 1; ++ty) {
                if (!f.Standable(tx, ty)) continue;
                int apex = std::min(y, ty);
                bool path = f.ColumnFree(x, y, apex) && f.RowFree(apex, x, tx) && f.ColumnFree(tx, apex, ty);
                if (!path || seen[size_t(ty * w + tx)]) continue;
                seen[size_t(ty * w + tx)] = 1;
                open.push({tx, ty});
            }
        }
    }
    auto reachable = [&](int x, int y) {
        // within a jump of a reached standing place, straight above it
        for (int dx = -1; dx <= 1; ++dx) {
            for (int sy2 = y; sy2 <= std::min(h - 2, y + 3); ++sy2) {
                int px = x + dx;
                if (px <= 0 || px >= w - 1 || !seen[size_t(sy2 * w + px)]) continue;
                if (f.ColumnFree(px, sy2, y) || (dx == 0 && sy2 == y)) return true;
            }
        }
        return false;
    };
    if (needGoal && !seen[size_t(gy * w + gx)] && !reachable(gx, gy)) {
        *why = "the goal cannot be reached from the start";
        return false;
    }
    int gems = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (f.At(x, y) >= '1' && f.At(x, y) <= '4' && reachable(x, y)) ++gems;
        }
    }
    if (gems < minGems) {
        *why = "only " + std::to_string(gems) + " gems can be reached";
        return false;
    }
    return true;
}
