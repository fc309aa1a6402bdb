// Per-call state of the triangle fill and the row walk every triangle loop
// shares. Positions are Fixed18 (18 fraction bits); integer parts truncate
// toward zero, so the centre of pixel -3 (-2.5) lands on row -2.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "softblit/blit_setup.h"

namespace morpotta {

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
    // Pixels the right edge's span end gives up in the current and in the
    // lower segment: 1 where a quadrilateral's left triangle runs along the
    // diagonal it shares.
    int trim, lowerTrim;
};

struct TexelPlane {
    int xa, ya;              // reference pixel
    Fixed18 ua, va;          // its texel coordinates
    Fixed18 dudx, dvdx, dudy, dvdy;
};

// How a quadrilateral's triangle shares out the pixels it draws with the
// other one by their spans (triangle_frame.cpp).
struct PartnerCut;

struct TriangleSetup {
    BlitSetup rules;         // table rows, parameter, palette, transparent colour
    uint8_t* target;         // first pixel
    ptrdiff_t targetPitch;
    MappedSource source;     // its pixels null for a flat fill
    uint32_t colour;         // flat fill: the tinted colour
    int clip[4];             // left, top, right, bottom
    TriangleEdge left, right;
    // The rows of the top and the middle vertex, and the row the walk ends
    // on: that of the bottom vertex as the walk counts it.
    int yTop, yMid, yEnd;
    // The right edge's segment that is the diagonal a quadrilateral's two
    // triangles share: 0 none, 1 the first, 2 the lower.
    int diagonalOnRight;
    TexelPlane plane;
    // A quadrilateral reaching above row 0 walks its two triangles' rows
    // from vertices whose rows truncate apart (one may be drawn a row lower
    // than the other), so that the diagonal's x cannot share out the pixels
    // both draw: there they go by the other's spans (non-null).
    const PartnerCut* partner;
    // Also the bottom vertex's row: the triangles of a picture mapped whole,
    // whose texel bounds decide which of its first and last rows show as
    // they decide its first and last columns.
    bool bottomRow;
};

// The first and last x of a span.
struct SpanEnds {
    int first, last;
};
// Out of line, for the rare quadrilateral above row 0: of row y's span,
// what this triangle keeps of the pixels both draw (one piece, maybe none).
// The setup itself is not handed over, so that the loops keep its fields in
// registers across their stores.
SpanEnds CutByPartner(const PartnerCut& cut, int y, SpanEnds span);

// Walks rows from yTop, hands each clipped span (y, first x, count >= 1)
// to drawSpan. A row is visited once: when the left edge takes over its
// lower segment the row counter goes back to the middle vertex's row, and
// a row already drawn (a top vertex above row 0 truncates one row low) is
// stepped through without drawing again. Once both edges reach the bottom
// vertex's row, that row is drawn too with bottomRow. The right end gives
// up the pixels its edge trims.
template <typename DrawSpan>
[[gnu::always_inline]] inline void WalkTriangleRows(const TriangleSetup& t, DrawSpan&& drawSpan) {
    TriangleEdge left = t.left, right = t.right;
    int y = t.yTop;
    int firstUnvisited = y;
    bool bottomRowLeft = t.bottomRow;
    for (;;) {
        if (y >= firstUnvisited) {
            firstUnvisited = y + 1;
            if (y >= t.clip[1] && y < t.clip[3]) {
                int xl = IntPartFixed18(left.x);
                int xr = IntPartFixed18(right.x) - right.trim;
                if (t.partner) {
                    const SpanEnds kept = CutByPartner(*t.partner, y, {xl, xr});
                    xl = kept.first, xr = kept.last;
                }
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
        // The right edge first: a quadrilateral's left triangle may take
        // its lower segment on the bottom row.
        if (right.rows <= 0) {
            if (right.segment == 1) {
                if (!bottomRowLeft) return;
                bottomRowLeft = false;
                continue;
            }
            right = {1, right.lowerX, right.lowerStep, right.lowerRows, 0, 0, 0, right.lowerTrim, 0};
        }
        if (left.rows <= 0) {
            if (left.segment == 1) {
                if (!bottomRowLeft) return;
                bottomRowLeft = false;
                continue;
            }
            left = {1, left.lowerX, left.lowerStep, left.lowerRows, 0, 0, 0, 0, 0};
            y = t.yMid;
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

}  // namespace morpotta
