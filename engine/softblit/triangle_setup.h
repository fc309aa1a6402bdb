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

// The rows the other triangle of a quadrilateral draws, with their spans
// (triangle_frame.cpp).
struct PartnerSpans;

// The diagonal a quadrilateral's two triangles share, when they lie on
// either side of it: in the rows both draw along it, the pixels left of its
// own x on the row belong to the triangle on its left and the rest to the
// one on its right, so the pixels both would draw (those it passes) are
// drawn once. A quadrilateral reaching above row 0 walks its triangles'
// rows from vertices whose rows truncate apart (one may be drawn a row
// lower than the other): there the pixels both draw are shared out by the
// other triangle's spans.
struct DiagonalCut {
    int side;       // 0 a lone triangle; 1 this one lies right of it, -1 left
    int from, to;   // the rows both draw along it
    int y;          // its upper end's row
    int64_t x;      // its x on row y
    int64_t step;   // per row
    const PartnerSpans* partner;  // non-null: shared out by the other's spans
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
    // The rows of the top and the middle vertex, and the row the walk ends
    // on: that of the bottom vertex as the walk counts it.
    int yTop, yMid, yEnd;
    TexelPlane plane;
    DiagonalCut cut;
    // Also the bottom vertex's row: the triangles of a picture mapped whole,
    // whose texel bounds decide which of its first and last rows show as
    // they decide its first and last columns.
    bool bottomRow;
};

// Out of line, for the rare quadrilateral above row 0: of the pixels of row
// y that both triangles draw, the part this one owns.
void CutByPartner(const TriangleSetup& t, int y, int* xl, int* xr);

// Of a quadrilateral's triangle, the part of row y's span xl..xr on its own
// side of the diagonal.
[[gnu::always_inline]] inline void CutAtDiagonal(const TriangleSetup& t, int y, int* xl, int* xr) {
    const DiagonalCut& cut = t.cut;
    if (cut.partner) {
        CutByPartner(t, y, xl, xr);
        return;
    }
    if (static_cast<uint32_t>(y - cut.from) > static_cast<uint32_t>(cut.to - cut.from)) return;
    const int xd = IntPartFixed18(cut.x + int64_t{y - cut.y} * cut.step);
    if (cut.side > 0) {
        if (*xl < xd) *xl = xd;
    } else if (*xr >= xd) {
        *xr = xd - 1;
    }
}

// Walks rows from yTop, hands each clipped span (y, first x, count >= 1)
// to drawSpan. A row is visited once: when the left edge takes over its
// lower segment the row counter goes back to the middle vertex's row, and
// a row already drawn (a top vertex above row 0 truncates one row low) is
// stepped through without drawing again. Once both edges reach the bottom
// vertex's row, that row is drawn too with bottomRow.
template <typename DrawSpan>
[[gnu::always_inline]] inline void WalkTriangleRows(const TriangleSetup& t, DrawSpan&& drawSpan) {
    TriangleEdge left = t.left, right = t.right;
    int y = t.yTop;
    int firstUnvisited = y;
    bool bottom = false;
    for (;;) {
        if (y >= firstUnvisited) {
            firstUnvisited = y + 1;
            if (y >= t.clip[1] && y < t.clip[3]) {
                int xl = IntPartFixed18(left.x);
                int xr = IntPartFixed18(right.x);
                if (t.cut.side != 0) CutAtDiagonal(t, y, &xl, &xr);
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
        if (bottom) return;
        left.x += left.step;
        right.x += right.step;
        --left.rows;
        --right.rows;
        ++y;
        if (left.rows <= 0) {
            if (left.segment == 1) {
                if (!t.bottomRow) return;
                bottom = true;
                continue;
            }
            left = {1, left.lowerX, left.lowerStep, left.lowerRows, 0, 0, 0};
            y = t.yMid;
        }
        if (right.rows <= 0) {
            if (right.segment == 1) {
                if (!t.bottomRow) return;
                bottom = true;
                continue;
            }
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
