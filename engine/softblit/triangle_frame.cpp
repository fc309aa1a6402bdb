// The triangle fill's frame: refuses what it cannot draw, orders the
// vertices, sets up the texel plane and the two edges, and runs one loop.
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/log.h"
#include "engine/numbers.h"
#include "graphics/softimage/drawstate.h"
#include "softblit/blit_frame_common.h"
#include "softblit/kernel_paths.h"
#include "softblit/softblit.h"
#include "softblit/triangle_setup.h"

namespace morpotta {

uint32_t TriangleLoopRuns[kTriangleLoopCount];

// The clipped span of every row of the draw area a triangle draws.
struct PartnerSpans {
    int top;                                 // the draw area's first row
    std::vector<std::pair<int, int>> rows;  // first and last x, or (1, 0): none
};

struct PartnerCut {
    const PartnerSpans* other;
    int clipLeft, clipRight;  // the draw area's columns, the right one past it
    bool ownsTies;            // keeps a span both draw alike
};

namespace {

// Fixed18 holds -8192..8191 and a fraction; beyond that positions wrap.
constexpr int kCoordinateMin = -8192;
constexpr int kCoordinateMax = 8191;
// Texel columns and rows of 8192 or more would come out negative.
constexpr int kSourceSideMax = 8192;

struct Vertices {
    int64_t x[3], y[3], u[3], v[3];  // Fixed18 values, held wider so differences are exact
};

bool InRange(int v) { return v >= kCoordinateMin && v <= kCoordinateMax; }

// A pixel coordinate as the Fixed18 position of the pixel's centre.
int64_t PixelCentre(int v) { return int64_t{v} * kFixed18One + 0x20000; }

bool CoordinatesInRange(const int vertices[12], bool textured) {
    for (int i = 0; i < 3; ++i) {
        const int* vx = vertices + 4 * i;
        if (!InRange(vx[0]) || !InRange(vx[1])) return false;
        if (textured && (!InRange(vx[2]) || !InRange(vx[3]))) return false;
    }
    return true;
}

// Exchange sort of {0, 1, 2} by key; equal keys keep their order.
void SortIndexes(const int64_t key[3], int idx[3]) {
    for (int i = 0; i < 2; ++i)
        for (int j = i + 1; j < 3; ++j)
            if (key[idx[i]] > key[idx[j]]) std::swap(idx[i], idx[j]);
}

TriangleEdge Segment(int segment, int64_t xs, int64_t xe, int rows) {
    return {segment, xs, (xe - xs) / rows, rows, 0, 0, 0, 0, 0};
}

// False for collinear vertices.
bool SetUpPlane(const Vertices& vt, TexelPlane* plane) {
    int byX[3] = {0, 1, 2};
    SortIndexes(vt.x, byX);
    const int a = byX[0], b = byX[1], c = byX[2];
    const int dxba = IntPartFixed18(vt.x[b] - vt.x[a]), dyba = IntPartFixed18(vt.y[b] - vt.y[a]);
    const int duba = IntPartFixed18(vt.u[b] - vt.u[a]), dvba = IntPartFixed18(vt.v[b] - vt.v[a]);
    const int dxca = IntPartFixed18(vt.x[c] - vt.x[a]), dyca = IntPartFixed18(vt.y[c] - vt.y[a]);
    const int duca = IntPartFixed18(vt.u[c] - vt.u[a]), dvca = IntPartFixed18(vt.v[c] - vt.v[a]);
    const int det = dyba * dxca - dyca * dxba;
    if (det == 0) return false;
    auto gradient = [det](int numerator) { return TruncateDoubleToInt(numerator * 262144.0 / det); };
    plane->dudx = gradient(dyba * duca - dyca * duba);
    plane->dudy = gradient(duba * dxca - dxba * duca);
    plane->dvdx = gradient(dyba * dvca - dyca * dvba);
    plane->dvdy = gradient(dvba * dxca - dvca * dxba);
    plane->xa = IntPartFixed18(vt.x[a]);
    plane->ya = IntPartFixed18(vt.y[a]);
    plane->ua = static_cast<Fixed18>(vt.u[a]);
    plane->va = static_cast<Fixed18>(vt.v[a]);
    return true;
}

// diagonal: the two of the vertices {0, 1, 2} that a quadrilateral's two
// triangles share as their diagonal, a bit each (0 for a lone triangle).
void SetUpEdges(const Vertices& vt, int diagonal, TriangleSetup* t) {
    int byY[3] = {0, 1, 2};
    SortIndexes(vt.y, byY);
    const int top = byY[0], mid = byY[1], bot = byY[2];
    const int64_t* X = vt.x;
    const int64_t* Y = vt.y;
    auto isDiagonal = [diagonal](int a, int b) { return diagonal == (1 << a | 1 << b); };
    t->yTop = IntPartFixed18(Y[top]);
    t->yMid = IntPartFixed18(Y[mid]);
    if (Y[top] == Y[mid]) {
        const int rows = IntPartFixed18(Y[bot] - Y[top]);
        const int l = X[top] <= X[mid] ? top : mid;
        const int r = l == top ? mid : top;
        t->left = Segment(1, X[l], X[bot], rows);
        t->right = Segment(1, X[r], X[bot], rows);
        t->yEnd = t->yTop + rows;
        t->diagonalOnRight = isDiagonal(r, bot) ? 1 : 0;
        return;
    }
    if (Y[mid] == Y[bot]) {
        const int rows = IntPartFixed18(Y[bot] - Y[top]);
        const int l = X[mid] > X[bot] ? bot : mid;
        const int r = l == bot ? mid : bot;
        t->left = Segment(1, X[top], X[l], rows);
        t->right = Segment(1, X[top], X[r], rows);
        t->yEnd = t->yTop + rows;
        t->diagonalOnRight = isDiagonal(top, r) ? 1 : 0;
        return;
    }
    const int upperRows = IntPartFixed18(Y[mid] - Y[top]);
    const int lowerRows = IntPartFixed18(Y[bot] - Y[mid]);
    const int allRows = IntPartFixed18(Y[bot] - Y[top]);
    const double q1 = static_cast<double>(X[mid] - X[top]) / (static_cast<double>(Y[mid] - Y[top]) / 262144.0);
    const double q2 = static_cast<double>(X[bot] - X[top]) / (static_cast<double>(Y[bot] - Y[top]) / 262144.0);
    TriangleEdge twoSegments = Segment(0, X[top], X[mid], upperRows);
    const TriangleEdge single = Segment(1, X[top], X[bot], allRows);
    // The middle vertex left of the long edge: the left side bends there.
    const int64_t lowerStart = q1 < q2 ? X[mid] : X[mid] + 1;
    const TriangleEdge lower = Segment(1, lowerStart, X[bot], lowerRows);
    twoSegments.lowerX = lower.x;
    twoSegments.lowerStep = lower.step;
    twoSegments.lowerRows = lower.rows;
    t->left = q1 < q2 ? twoSegments : single;
    t->right = q1 < q2 ? single : twoSegments;
    // A left edge that bends takes the walk back to the middle vertex's row.
    t->yEnd = q1 < q2 ? t->yMid + lowerRows : t->yTop + allRows;
    if (q1 < q2)
        t->diagonalOnRight = isDiagonal(top, bot) ? 1 : 0;
    else
        t->diagonalOnRight = isDiagonal(top, mid) ? 1 : isDiagonal(mid, bot) ? 2 : 0;
}

// The flat colour tinted once; on a 16-bit target only its low 16 bits are
// a pixel (higher bits would index past a table row).
uint32_t TintFlatColour(int kind, uint32_t colour) {
    const uint32_t* red = BlendProductTable[(DrawTint >> 16) & 0xFF];
    const uint32_t* green = BlendProductTable[(DrawTint >> 8) & 0xFF];
    const uint32_t* blue = BlendProductTable[DrawTint & 0xFF];
    if (kind == MEMIMG_KIND_RGB565) {
        colour &= 0xFFFF;
        return (red[colour >> 11] << 11) | (green[(colour >> 5) & 63] << 5) | blue[colour & 31];
    }
    return (colour & 0xFF000000u) | (red[(colour >> 16) & 0xFF] << 16) | (green[(colour >> 8) & 0xFF] << 8) |
           blue[colour & 0xFF];
}

TriangleLoop PrepareFlat(TriangleSetup& t, int kind, uint32_t colour) {
    int mode = KernelModeOf(BlendMode);
    if (mode < 0) return nullptr;
    const int p = std::clamp(BlendParam, 0, 255);
    if ((mode == KernelAlpha || mode == KernelAdd || mode == KernelSub) && p == 0) return nullptr;
    if (mode == KernelAlpha && p == 255) mode = KernelCopy;
    if (!AreBlendTablesBuilt()) BuildBlendTables();
    softblit::FillRuleTables(p, &t.rules);
    t.colour = TintFlatColour(kind, colour);
    return ActiveKernels(kind).flat[mode];
}

TriangleLoop PrepareTextured(TriangleSetup& t, const MEMIMG* target, const MEMIMG* source, const MEMIMG* blendGraph,
                             int transparent) {
    KernelConfig config;
    if (!softblit::ChooseKernel(source, blendGraph != nullptr, transparent, true, &config)) return nullptr;
    softblit::FillRuleTables(std::clamp(BlendParam, 0, 255), &t.rules);
    t.rules.transColor = source->base->transColor;
    t.rules.scalarOnly = source->base == target->base;
    // The palette is read in place.
    t.rules.palette16 = source->base->palette16;
    t.rules.palette32 = source->base->palette32;
    t.source.pixels = source->pixels;
    t.source.pitch = source->base->pitch;
    t.source.boundU = static_cast<uint32_t>(source->width) << 18;
    t.source.boundV = static_cast<uint32_t>(source->height) << 18;
    if (blendGraph) {
        t.source.graph = blendGraph->pixels;
        t.source.graphPitch = blendGraph->base->pitch;
    }
    return ActiveKernels(config.kind).textured[TexturedTriangleLoopIndex(config)];
}

bool CheckImages(const MEMIMG* target, const MEMIMG* source, const MEMIMG* blendGraph) {
    if (CheckMemImg(target) != 0 || (source && CheckMemImg(source) != 0) ||
        (source && blendGraph && CheckMemImg(blendGraph) != 0)) {
        WriteLogText("FillTexturedTriangleMemImg: invalid software image");
        return false;
    }
    if (!source) return true;
    if (source->width > kSourceSideMax || source->height > kSourceSideMax) {
        WriteLogFormat("FillTexturedTriangleMemImg: source of %dx%d is larger than %d texels a side", source->width,
                       source->height, kSourceSideMax);
        return false;
    }
    if (blendGraph && (blendGraph->width < source->width || blendGraph->height < source->height)) {
        WriteLogFormat("FillTexturedTriangleMemImg: blend graph of %dx%d is smaller than its %dx%d source",
                       blendGraph->width, blendGraph->height, source->width, source->height);
        return false;
    }
    return true;
}

// The refusals shared by a triangle and a quadrilateral: false when nothing
// is drawn.
bool CanFill(const char* caller, const int* vertices, const MEMIMG* target, const MEMIMG* source,
             const MEMIMG* blendGraph) {
    if (!vertices) {
        WriteLogFormat("%s: no vertices", caller);
        return false;
    }
    if (!CheckImages(target, source, blendGraph)) return false;
    const MEMIMG_BASE* tb = target->base;
    if (source && source->base->pixelKind != tb->pixelKind) return false;
    if (tb->usePalette || tb->useAlpha) return false;
    return tb->pixelKind == MEMIMG_KIND_RGB565 || tb->pixelKind == MEMIMG_KIND_32BIT;
}

// The edges and texel plane of one triangle of vertices {x, y, u, v} x 3
// (diagonal as SetUpEdges takes it); false (with a log line for far
// coordinates) when it draws nothing.
bool SetUpTriangle(const MEMIMG* target, const int vertices[12], bool textured, int diagonal, TriangleSetup* t) {
    if (!CoordinatesInRange(vertices, textured)) {
        WriteLogFormat("FillTexturedTriangleMemImg: coordinates outside %d..%d", kCoordinateMin, kCoordinateMax);
        return false;
    }
    Vertices vt;
    for (int i = 0; i < 3; ++i) {
        const int* vx = vertices + 4 * i;
        vt.x[i] = PixelCentre(vx[0]);
        vt.y[i] = PixelCentre(vx[1]);
        vt.u[i] = textured ? int64_t{vx[2]} * kFixed18One : 0;
        vt.v[i] = textured ? int64_t{vx[3]} * kFixed18One : 0;
    }
    *t = TriangleSetup{};
    if (!SetUpPlane(vt, &t->plane)) return false;
    SetUpEdges(vt, diagonal, t);
    t->target = target->pixels;
    t->targetPitch = target->base->pitch;
    softblit::TargetClip(target, t->clip);
    return true;
}

// Fills in what the loop reads of the blend state, the source and the
// colour; the loop that draws, or null when the blend draws nothing.
TriangleLoop Prepare(TriangleSetup& t, const MEMIMG* target, const MEMIMG* source, const MEMIMG* blendGraph,
                     int transparent, uint32_t colour) {
    if (source) return PrepareTextured(t, target, source, blendGraph, transparent);
    return PrepareFlat(t, target->base->pixelKind, colour);
}

// What Prepare filled in, for the other triangle of a quadrilateral.
void CopyPrepared(const TriangleSetup& from, TriangleSetup* to) {
    to->rules = from.rules;
    to->source = from.source;
    to->colour = from.colour;
}

// Corners 1 and 2 of a quadrilateral, the ends of its diagonal, the upper
// one first.
struct DiagonalEnds {
    const int* upper;
    const int* lower;
};
DiagonalEnds EndsOfTheDiagonal(const int v[16]) {
    return v[5] <= v[9] ? DiagonalEnds{v + 4, v + 8} : DiagonalEnds{v + 8, v + 4};
}

// Where corner p lies of the diagonal from corner 1 to corner 2 run from its
// upper end down: > 0 left of it, < 0 right, 0 on its line.
int64_t SideOfTheDiagonal(const int v[16], const int* p) {
    const auto [upper, lower] = EndsOfTheDiagonal(v);
    const int64_t dx = int64_t{lower[0]} - upper[0], dy = int64_t{lower[1]} - upper[1];
    return dx * (int64_t{p[1]} - upper[1]) - dy * (int64_t{p[0]} - upper[0]);
}

// The last row a triangle's walk draws.
int LastRow(const TriangleSetup& t) { return t.bottomRow ? t.yEnd : t.yEnd - 1; }

// The spans of a triangle not yet given a partner.
void NoteSpansOf(const TriangleSetup& t, PartnerSpans* spans) {
    spans->top = t.clip[1];
    spans->rows.assign(size_t(std::max(t.clip[3] - t.clip[1], 0)), {1, 0});
    WalkTriangleRows(t, [&](int y, int x, int count) { spans->rows[size_t(y - spans->top)] = {x, x + count - 1}; });
}

// The left one of a quadrilateral's triangles gives up, on each row it
// draws along the diagonal, the pixel at the diagonal's own x, where the
// right one's span begins (its left edge runs exactly along the
// diagonal). Its right edge is made to run exactly along it too: a lower
// segment starts a step of x right of its middle vertex. When the diagonal
// is its right edge's upper segment and the right one draws the diagonal's
// lower end's row too, the segment reaches that row.
void GiveUpTheDiagonal(TriangleSetup* left, const TriangleSetup& right, int64_t x0, int64_t step, int lowerEndRow) {
    TriangleEdge& edge = left->right;
    if (left->diagonalOnRight == 2) {
        edge.lowerX = x0;
        edge.lowerStep = step;
        edge.lowerTrim = 1;
        return;
    }
    edge.trim = 1;
    if (edge.segment == 0 && LastRow(right) >= lowerEndRow) {
        ++edge.rows;
        edge.lowerX += edge.lowerStep;
        --edge.lowerRows;
    }
}

// When corners 0 and 3 lie on either side of the diagonal, so that the
// triangles meet only along it, a pixel both draw on a row both draw along
// it goes to the one on its side of the diagonal's x on that row; above
// row 0, by the other's spans (noted in the spans given). Those of a
// bow-tie lie on one side and overlap, and both draw the overlap, as two
// triangles drawn apart would. A level diagonal is both triangles' edge
// row: it is left to the lower one.
void ShareTheDiagonal(const int v[16], TriangleSetup* first, TriangleSetup* second, PartnerSpans spans[2],
                      PartnerCut cuts[2]) {
    const int64_t firstSide = SideOfTheDiagonal(v, v), secondSide = SideOfTheDiagonal(v, v + 12);
    if (!((firstSide < 0 && secondSide > 0) || (firstSide > 0 && secondSide < 0))) return;
    if (std::min({v[1], v[5], v[9], v[13]}) < 0) {
        NoteSpansOf(*first, &spans[0]);
        NoteSpansOf(*second, &spans[1]);
        // The second owns ties.
        cuts[0] = {&spans[1], first->clip[0], first->clip[2], false};
        cuts[1] = {&spans[0], second->clip[0], second->clip[2], true};
        first->partner = &cuts[0];
        second->partner = &cuts[1];
        return;
    }
    const auto [upper, lower] = EndsOfTheDiagonal(v);
    const int64_t x0 = PixelCentre(upper[0]), x1 = PixelCentre(lower[0]);
    const int64_t y0 = PixelCentre(upper[1]), y1 = PixelCentre(lower[1]);
    const int rows = IntPartFixed18(y1 - y0);
    if (rows == 0) {
        (v[1] < v[13] ? first : second)->bottomRow = false;
        return;
    }
    TriangleSetup* left = firstSide > 0 ? first : second;
    const TriangleSetup* right = left == first ? second : first;
    if (left->diagonalOnRight == 0) return;
    GiveUpTheDiagonal(left, *right, x0, (x1 - x0) / rows, IntPartFixed18(y1));
}

}  // namespace

// Of the pixels both draw, a triangle keeps those of a span that holds the
// other's, and the overlap where it lies right of the other; the one that
// owns ties keeps a span both draw alike. One piece is left either way.
SpanEnds CutByPartner(const PartnerCut& cut, int y, SpanEnds span) {
    const PartnerSpans& other = *cut.other;
    const int a1 = std::max(span.first, cut.clipLeft), a2 = std::min(span.last, cut.clipRight - 1);
    const auto [b1, b2] = other.rows[size_t(y - other.top)];
    if (a1 > a2 || b1 > b2 || b1 > a2 || a1 > b2) return span;
    const bool holds = a1 <= b1 && b2 <= a2, held = b1 <= a1 && a2 <= b2;
    if (holds && held ? cut.ownsTies : holds || (!held && a1 > b1)) return span;
    return {span.first, held ? span.first - 1 : b1 - 1};
}

void FillTexturedTriangleMemImg(MEMIMG* target, const MEMIMG* source, const int vertices[12], int transparent,
                                const MEMIMG* blendGraph, uint32_t colour) {
    if (!CanFill("FillTexturedTriangleMemImg", vertices, target, source, blendGraph)) return;
    TriangleSetup t;
    if (!SetUpTriangle(target, vertices, source != nullptr, 0, &t)) return;
    if (const TriangleLoop loop = Prepare(t, target, source, blendGraph, transparent, colour)) loop(t);
}

void FillTexturedQuadMemImg(MEMIMG* target, const MEMIMG* source, const int vertices[16], int transparent,
                            const MEMIMG* blendGraph, uint32_t colour) {
    if (!CanFill("FillTexturedQuadMemImg", vertices, target, source, blendGraph)) return;
    // Triangles (0, 1, 2) and (1, 2, 3): the second starts at corner 1.
    TriangleSetup first, second;
    // The diagonal is the first's vertices 1 and 2, the second's 0 and 1.
    const bool drawsFirst = SetUpTriangle(target, vertices, source != nullptr, 0b110, &first);
    const bool drawsSecond = SetUpTriangle(target, vertices + 4, source != nullptr, 0b011, &second);
    // The texel bounds keep the picture's own rows: without its last row a
    // picture turned upside down would lose its first.
    first.bottomRow = second.bottomRow = source != nullptr;
    PartnerSpans spans[2];
    PartnerCut cuts[2];
    if (drawsFirst && drawsSecond) ShareTheDiagonal(vertices, &first, &second, spans, cuts);
    if (!drawsFirst && !drawsSecond) return;
    // Both draw with the same loop and blend state.
    TriangleSetup& prepared = drawsFirst ? first : second;
    const TriangleLoop loop = Prepare(prepared, target, source, blendGraph, transparent, colour);
    if (!loop) return;
    if (drawsFirst) loop(first);
    if (drawsSecond) {
        if (drawsFirst) CopyPrepared(first, &second);
        loop(second);
    }
}

}  // namespace morpotta
