// Per-call state of the triangle fill and the row walk every triangle loop
// shares. Positions are Fixed18 (18 fraction bits); integer parts truncate
// toward zero, so the centre of pixel -3 (-2.5) lands on row -2.
#pragma once
#include <array>
#include <cstddef>
#include <climits>
#include <cstdint>

#include "softblit/blit_setup.h"

using Fixed18 = int32_t;
constexpr int kFixed18One = 1 << 18;

// Integer part by division (toward zero), not by shifting.
[[gnu::always_inline]] inline int IntPartFixed18(int64_t v) { return static_cast<int>(v / kFixed18One); }

// One side of the spans. Kept in 64 bits: a steep edge across the whole
// coordinate range steps by more than 32 bits hold.
struct TriangleEdge {
    int segment;        // 0 upper (ends at the middle vertex), 1 lower or only
    int64_t x;          // of the current row
    int64_t step;       // per row
    int rows;           // left in the current segment
    int64_t lowerX, lowerStep;
    int lowerRows;
};

struct TexelPlane {
    int xa, ya;              // reference pixel
    Fixed18 ua, va;          // its texel coordinates
    Fixed18 dudx, dvdx, dudy, dvdy;
};

struct TriangleSetup {
    BlitSetup rules;         // table rows, parameter, palette, transparent colour
    uint8_t* target;         // first pixel
    ptrdiff_t targetPitch;
    const uint8_t* source;   // first texel, or null for a flat fill
    ptrdiff_t sourcePitch;
    uint32_t boundU, boundV; // width << 18, height << 18, compared unsigned
    const uint8_t* graph;    // blend graph's first byte, or null
    ptrdiff_t graphPitch;
    uint32_t colour;         // flat fill: the tinted colour
    int clip[4];             // left, top, right, bottom
    TriangleEdge left, right;
    int yTop, yMid;
    TexelPlane plane;
    // The other triangle of a quadrilateral, the two lying on either side
    // of their shared diagonal, or null: of the pixels both would draw
    // (those the diagonal passes) each leaves out those the other owns, so
    // that each is drawn once.
    const TriangleSetup* partner;
    bool second;             // the quadrilateral's second triangle: it owns ties
    // Also the bottom vertex's row: the triangles of a picture mapped whole,
    // whose texel bounds decide which of its first and last rows show as
    // they decide its first and last columns.
    bool bottomRow;
};

// The rows a triangle covers, in rising order, each once: the walk steps
// both edges a row at a time from the top vertex's row to the one above
// the bottom vertex's (or to that row itself, bottomRow); when the left
// edge takes over its lower segment the row counter goes back to the
// middle vertex's row, and a row already visited (a top vertex above row 0
// truncates one row low) is stepped through without being given again.
class TriangleRows {
public:
    explicit TriangleRows(const TriangleSetup& t)
        : left_(t.left), right_(t.right), y_(t.yTop), yMid_(t.yMid), bottomRow_(t.bottomRow) {}

    // The next row and its span's ends, both drawn, before clipping; false
    // after the last row.
    [[gnu::always_inline]] bool Next(int* y, int* xl, int* xr) {
        while (!done_) {
            const int row = y_;
            const int l = IntPartFixed18(left_.x), r = IntPartFixed18(right_.x);
            if (atBottom_)
                done_ = true;
            else
                Step();
            if (row < firstUnvisited_) continue;
            firstUnvisited_ = row + 1;
            *y = row, *xl = l, *xr = r;
            return true;
        }
        return false;
    }

private:
    [[gnu::always_inline]] void Step() {
        left_.x += left_.step;
        right_.x += right_.step;
        --left_.rows;
        --right_.rows;
        ++y_;
        if (left_.rows <= 0) {
            if (left_.segment == 1) {
                End();
                return;
            }
            left_ = {1, left_.lowerX, left_.lowerStep, left_.lowerRows, 0, 0, 0};
            y_ = yMid_;
        }
        if (right_.rows <= 0) {
            if (right_.segment == 1) {
                End();
                return;
            }
            right_ = {1, right_.lowerX, right_.lowerStep, right_.lowerRows, 0, 0, 0};
        }
    }

    // Both edges have reached the bottom vertex's row.
    [[gnu::always_inline]] void End() {
        if (bottomRow_)
            atBottom_ = true;
        else
            done_ = true;
    }

    TriangleEdge left_, right_;
    int y_, yMid_;
    bool bottomRow_;
    int firstUnvisited_ = INT32_MIN;
    bool atBottom_ = false, done_ = false;
};

// Of a row's span xl..xr, the pixels the partner triangle owns: those both
// cover belong to the triangle whose span lies further right (starts
// further right, or ends further right from the same start; the second
// triangle on a full tie), as a top-left rule gives them to the triangle
// whose left edge the shared diagonal is. Follows the partner's rows as the
// walk goes down.
class PartnerSpans {
public:
    explicit PartnerSpans(const TriangleSetup& t) : rows_(t.partner ? *t.partner : t), active_(t.partner != nullptr),
                                                    second_(t.second) {}

    // Cuts the partner's pixels out of the span xl..xr of row y; what is
    // left are the spans ends[0..1], and ends[2..3] when the partner's
    // pixels lie inside it (a rounding step past the diagonal). The count.
    [[gnu::always_inline]] int Cut(int y, int xl, int xr, int ends[4]) {
        ends[0] = xl, ends[1] = xr;
        return active_ ? CutOwned(y, xl, xr, ends) : 1;
    }

private:
    // Out of line, once a row and for a quadrilateral's triangles only:
    // every loop inlines the walk, and would otherwise carry a copy of the
    // partner's walk too.
    int CutOwned(int y, int xl, int xr, int ends[4]);

    TriangleRows rows_;
    bool active_, second_;
    bool more_ = true;
    int y_ = INT32_MIN, pl_ = 0, pr_ = 0;
};

// Hands the span xl..xr of row y, clipped to the draw area, to drawSpan as
// (y, first x, count >= 1) unless nothing of it is left.
template <typename DrawSpan>
[[gnu::always_inline]] inline void DrawClippedSpan(const TriangleSetup& t, int y, int xl, int xr, DrawSpan& drawSpan) {
    int count = xr - xl + 1;
    if (xl < t.clip[0]) {
        count -= t.clip[0] - xl;
        xl = t.clip[0];
    }
    if (xl >= t.clip[2] || count <= 0) return;
    if (count > t.clip[2] - xl) count = t.clip[2] - xl;
    drawSpan(y, xl, count);
}

// Walks the triangle's rows inside the draw area and hands each clipped
// span to drawSpan, leaving out the pixels a partner triangle owns.
template <typename DrawSpan>
[[gnu::always_inline]] inline void WalkTriangleRows(const TriangleSetup& t, DrawSpan&& drawSpan) {
    TriangleRows rows(t);
    PartnerSpans partner(t);
    int y, xl, xr, ends[4];
    while (rows.Next(&y, &xl, &xr)) {
        if (y < t.clip[1]) continue;
        if (y >= t.clip[3]) return;
        // One call of the span loop, so that it is inlined once.
        const int pieces = partner.Cut(y, xl, xr, ends);
        for (int i = 0; i < pieces; ++i) DrawClippedSpan(t, y, ends[2 * i], ends[2 * i + 1], drawSpan);
    }
}

// The textured loops: pixel kind x source class x mode x (graph, tint,
// transparent), as KernelConfig spells them; the flat loops: kind x mode.
using TriangleLoop = void (*)(const TriangleSetup&);
constexpr int kTexturedTriangleLoopsPerKind = KernelTableSize(kKernelSwitchesBasic);
constexpr int kFlatTriangleLoopsPerKind = kKernelModeCount;
constexpr int kTriangleLoopCount = 2 * (kTexturedTriangleLoopsPerKind + kFlatTriangleLoopsPerKind);

constexpr int TexturedTriangleLoopIndex(const KernelConfig& c) { return KernelIndex(c, kKernelSwitchesBasic); }
constexpr KernelConfig TexturedTriangleConfigAt(int kind, int index) {
    return KernelConfigOf(kind, index, kKernelSwitchesBasic);
}

// Slot of a loop in TriangleLoopRuns: textured 16, textured 32, flat 16,
// flat 32.
constexpr int TexturedTriangleRunSlot(int kind, int index) { return kind * kTexturedTriangleLoopsPerKind + index; }
constexpr int FlatTriangleRunSlot(int kind, int mode) {
    return 2 * kTexturedTriangleLoopsPerKind + kind * kFlatTriangleLoopsPerKind + mode;
}

// Calls of each loop since start-up (one count per call, never per pixel),
// so that tests can show every specialised loop has run.
extern uint32_t TriangleLoopRuns[kTriangleLoopCount];

extern const std::array<TriangleLoop, kTexturedTriangleLoopsPerKind> kTexturedTriangleLoops16;
extern const std::array<TriangleLoop, kTexturedTriangleLoopsPerKind> kTexturedTriangleLoops32;
extern const std::array<TriangleLoop, kFlatTriangleLoopsPerKind> kFlatTriangleLoops16;
extern const std::array<TriangleLoop, kFlatTriangleLoopsPerKind> kFlatTriangleLoops32;
