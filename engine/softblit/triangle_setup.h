// Per-call state of the triangle fill and the row walk every triangle loop
// shares. Positions are Fixed18 (18 fraction bits); integer parts truncate
// toward zero, so the centre of pixel -3 (-2.5) lands on row -2.
#pragma once
#include <array>
#include <cstddef>
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
};

// Walks rows from yTop, hands each clipped span (y, first x, count >= 1)
// to drawSpan. A row is visited once: when the left edge takes over its
// lower segment the row counter goes back to the middle vertex's row, and
// a row already drawn (a top vertex above row 0 truncates one row low) is
// stepped through without drawing again.
template <typename DrawSpan>
[[gnu::always_inline]] inline void WalkTriangleRows(const TriangleSetup& t, DrawSpan&& drawSpan) {
    TriangleEdge left = t.left, right = t.right;
    int y = t.yTop;
    int firstUnvisited = y;
    for (;;) {
        if (y >= firstUnvisited) {
            firstUnvisited = y + 1;
            if (y >= t.clip[1] && y < t.clip[3]) {
                int xl = IntPartFixed18(left.x);
                const int xr = IntPartFixed18(right.x);
                int count = xr - xl + 1;
                if (xl < t.clip[0]) {
                    count -= t.clip[0] - xl;
                    xl = t.clip[0];
                }
                if (xl < t.clip[2] && count > 0) {
                    if (count > t.clip[2] - xl) count = t.clip[2] - xl;
                    drawSpan(y, xl, count);
                }
            }
        }
        left.x += left.step;
        right.x += right.step;
        --left.rows;
        --right.rows;
        ++y;
        if (left.rows <= 0) {
            if (left.segment == 1) return;
            left = {1, left.lowerX, left.lowerStep, left.lowerRows, 0, 0, 0};
            y = t.yMid;
        }
        if (right.rows <= 0) {
            if (right.segment == 1) return;
            right = {1, right.lowerX, right.lowerStep, right.lowerRows, 0, 0, 0};
        }
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
