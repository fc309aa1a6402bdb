// Slow, independent model of the triangle fill and the quadrilateral blit:
// the edge walk in 64-bit arithmetic, texel coordinates computed afresh for
// every pixel from the plane, and the blend rules as weighted sums with real
// division (W = level x alpha over 65536 on 16 bits, weight over 2^n on 32
// bits) instead of the engine's tables and shared kernels.
#pragma once
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "softblit_reference.h"

namespace softref {

// floor(n / d) for d > 0.
inline int64_t FloorDiv(int64_t n, int64_t d) { return n >= 0 ? n / d : -((-n + d - 1) / d); }

inline int64_t Fixed18IntPart(int64_t v) { return v / 262144; }

struct TrianglePlane {
    int64_t xa, ya;
    uint32_t ua, va, dudx, dvdx, dudy, dvdy;
};

inline int32_t TruncToInt(double v) {
    if (v >= 2147483648.0) return INT32_MAX;
    if (v <= -2147483649.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// The first and last x of every row a triangle's walk covers, unclipped.
using RowSpans = std::map<int64_t, std::pair<int64_t, int64_t>>;

// Visits (x, y, u, v) for every pixel the walk draws inside clip, each row
// once; with bottomRow also the bottom vertex's row. With spans, only notes
// the rows' spans there. false for collinear vertices.
template <typename Visit>
bool WalkTriangle(const int vt[12], const int64_t clip[4], Visit visit, bool bottomRow = false,
                  RowSpans* spans = nullptr) {
    int64_t X[3], Y[3], U[3], V[3];
    for (int i = 0; i < 3; ++i) {
        X[i] = int64_t{vt[4 * i]} * 262144 + 131072;
        Y[i] = int64_t{vt[4 * i + 1]} * 262144 + 131072;
        U[i] = int64_t{vt[4 * i + 2]} * 262144;
        V[i] = int64_t{vt[4 * i + 3]} * 262144;
    }
    auto sorted = [](const int64_t* key) {
        std::array<int, 3> o{0, 1, 2};
        std::stable_sort(o.begin(), o.end(), [&](int l, int r) { return key[l] < key[r]; });
        return o;
    };
    const auto bx = sorted(X);
    const int a = bx[0], b = bx[1], c = bx[2];
    const int64_t dxba = vt[4 * b] - vt[4 * a], dyba = vt[4 * b + 1] - vt[4 * a + 1];
    const int64_t dxca = vt[4 * c] - vt[4 * a], dyca = vt[4 * c + 1] - vt[4 * a + 1];
    const int64_t duba = vt[4 * b + 2] - vt[4 * a + 2], dvba = vt[4 * b + 3] - vt[4 * a + 3];
    const int64_t duca = vt[4 * c + 2] - vt[4 * a + 2], dvca = vt[4 * c + 3] - vt[4 * a + 3];
    const int64_t det = dyba * dxca - dyca * dxba;
    if (det == 0) return false;
    TrianglePlane pl{};
    pl.xa = Fixed18IntPart(X[a]);
    pl.ya = Fixed18IntPart(Y[a]);
    pl.ua = static_cast<uint32_t>(U[a]);
    pl.va = static_cast<uint32_t>(V[a]);
    auto grad = [&](int64_t num) { return static_cast<uint32_t>(TruncToInt(static_cast<double>(num) * 262144.0 / det)); };
    pl.dudx = grad(dyba * duca - dyca * duba);
    pl.dudy = grad(duba * dxca - dxba * duca);
    pl.dvdx = grad(dyba * dvca - dyca * dvba);
    pl.dvdy = grad(dvba * dxca - dvca * dxba);

    const auto by = sorted(Y);
    const int top = by[0], mid = by[1], bot = by[2];
    // Edge x at each row index k (0 = the top vertex's row) of a segment.
    struct Seg {
        int64_t x0, step, rows;
    };
    auto seg = [](int64_t xs, int64_t xe, int64_t rows) { return Seg{xs, (xe - xs) / rows, rows}; };
    const int64_t all = Fixed18IntPart(Y[bot] - Y[top]);
    Seg l1{}, l2{}, r1{}, r2{};
    bool leftBends = false, rightBends = false;
    if (Y[top] == Y[mid]) {
        const int l = X[top] <= X[mid] ? top : mid, r = l == top ? mid : top;
        l2 = seg(X[l], X[bot], all);
        r2 = seg(X[r], X[bot], all);
    } else if (Y[mid] == Y[bot]) {
        const int l = X[mid] > X[bot] ? bot : mid, r = l == bot ? mid : bot;
        l2 = seg(X[top], X[l], all);
        r2 = seg(X[top], X[r], all);
    } else {
        const double q1 = static_cast<double>(X[mid] - X[top]) / (static_cast<double>(Y[mid] - Y[top]) / 262144.0);
        const double q2 = static_cast<double>(X[bot] - X[top]) / (static_cast<double>(Y[bot] - Y[top]) / 262144.0);
        const int64_t up = Fixed18IntPart(Y[mid] - Y[top]), low = Fixed18IntPart(Y[bot] - Y[mid]);
        if (q1 < q2) {
            leftBends = true;
            l1 = seg(X[top], X[mid], up);
            l2 = seg(X[mid], X[bot], low);
            r2 = seg(X[top], X[bot], all);
        } else {
            rightBends = true;
            r1 = seg(X[top], X[mid], up);
            r2 = seg(X[mid] + 1, X[bot], low);
            l2 = seg(X[top], X[bot], all);
        }
    }
    const int64_t upRows = leftBends ? l1.rows : rightBends ? r1.rows : 0;
    auto edgeAt = [&](bool bends, const Seg& s1, const Seg& s2, int64_t k) {
        if (!bends) return s2.x0 + k * s2.step;
        if (k < s1.rows) return s1.x0 + k * s1.step;
        return s2.x0 + (k - s1.rows) * s2.step;
    };
    // Row of walk step k: the top vertex's row, counted on; when the left
    // edge bends the lower part is counted from the middle vertex's row.
    const int64_t yTop = Fixed18IntPart(Y[top]), yMid = Fixed18IntPart(Y[mid]);
    int64_t lastRow = INT64_MIN;
    for (int64_t k = 0; k < all + (bottomRow ? 1 : 0); ++k) {
        const int64_t y = (leftBends && k >= upRows) ? yMid + (k - upRows) : yTop + k;
        if (y <= lastRow) continue;
        lastRow = y;
        if (y < clip[1] || y >= clip[3]) continue;
        const int64_t xl = Fixed18IntPart(edgeAt(leftBends, l1, l2, k));
        const int64_t xr = Fixed18IntPart(edgeAt(rightBends, r1, r2, k));
        if (spans) {
            (*spans)[y] = {xl, xr};
            continue;
        }
        for (int64_t x = std::max(xl, clip[0]); x <= xr && x < clip[2]; ++x) {
            const uint32_t dx = static_cast<uint32_t>(x - pl.xa), dy = static_cast<uint32_t>(y - pl.ya);
            visit(static_cast<int>(x), static_cast<int>(y), pl.ua + dx * pl.dudx + dy * pl.dudy,
                  pl.va + dx * pl.dvdx + dy * pl.dvdy);
        }
    }
    return true;
}

// --- Textured pixels --------------------------------------------------------

// Whether a texel is drawn and, if so, whether its alpha weighs it.
inline std::optional<bool> TriangleAlphaFactor(const Draw& g, const Source& s) {
    if (g.palette) {
        if (g.trans && static_cast<uint32_t>(s.index) == g.transColor) return std::nullopt;
        return false;
    }
    if (!g.alpha) {
        if (g.trans && s.colour == g.transColor) return std::nullopt;
        return false;
    }
    if (!g.trans) return true;
    if (s.a == 0) return std::nullopt;  // a clear texel changes nothing, whatever the mode
    return s.a != 255;
}

inline int TintOf(const Draw& g, int k, int c) { return g.tinted ? static_cast<int>(Product(g.tint[k], c)) : c; }

inline uint32_t TrianglePixel16(const Draw& g, const Source& s, bool useA, int level, uint32_t dw) {
    const int64_t A = useA ? s.a : 256, L = g.blend ? level : 256, W = L * A;
    const int64_t p = g.p;
    int out[3];
    if (g.mode == 0 && !g.tinted && W == 65536) return s.colour & 0xFFFF;
    if (g.mode == 2 || g.mode == 3) {
        int x[3];
        for (int k = 0; k < 3; ++k) {
            const int sk = Chan16(s.colour, k);
            const int64_t v = g.blend ? TintOf(g, k, sk) * L * A / 65536 : TintOf(g, k, static_cast<int>(sk * A / 256));
            x[k] = static_cast<int>(Product(p, v));
        }
        return g.mode == 2 ? Add565(dw, Pack16(x), true) : Sub565(dw, Pack16(x));
    }
    for (int k = 0; k < 3; ++k) {
        const int64_t d = Chan16(dw, k), sk = Chan16(s.colour, k), n = kWidth16[k];
        if (g.mode == 0) {
            out[k] = static_cast<int>(FloorDiv(d * 65536 + (TintOf(g, k, static_cast<int>(sk)) - d) * W, 65536));
        } else if (g.mode == 4) {
            out[k] = static_cast<int>(d * TintOf(g, k, static_cast<int>(sk)) * W / ((int64_t{1} << n) * 65536));
        } else {
            int64_t x;
            if (g.mode == 1) x = TintOf(g, k, static_cast<int>(sk));
            else if (g.mode == 10) x = TintOf(g, k, kMax16[k] - static_cast<int>(sk));
            else x = TintOf(g, k, static_cast<int>(sk)) * d >> n;
            if (g.mode == 11 && k == 1 && !g.blend && !g.tinted && useA) {
                const int64_t q = sk * d / 2;
                out[k] = static_cast<int>(FloorDiv(d * (1 << 21) + (q - 32 * d) * s.a * p, 1 << 21));
            } else if (!g.blend && !useA) {
                out[k] = static_cast<int>(d + SignedProduct(p, x - d));
            } else if (g.blend && useA) {
                out[k] = static_cast<int>(FloorDiv(d * (int64_t{1} << 24) + (x - d) * level * s.a * p, int64_t{1} << 24));
            } else {
                const int64_t f = g.blend ? level : s.a;
                out[k] = static_cast<int>(FloorDiv(d * 65536 + (x - d) * f * p, 65536));
            }
        }
    }
    return Pack16(out);
}

inline uint32_t TrianglePixel32(const Draw& g, const Source& s, bool useA, int level, uint32_t dw) {
    const int64_t p = g.p;
    const int64_t lg = level, a = s.a;
    if (g.mode == 0 && !g.tinted && !g.blend && !useA) return s.colour;
    // Each mode fills one of the two; zeroed, as g++ cannot tell which when
    // this is inlined with other callers into one translation unit.
    int out[3] = {};
    int contribution[3] = {};
    for (int k = 0; k < 3; ++k) {
        const int64_t d = Chan32(dw, k), m = TintOf(g, k, Chan32(s.colour, k));
        if (g.mode == 0) {
            if (!g.blend && !useA) out[k] = static_cast<int>(m);
            else if (!g.blend) out[k] = static_cast<int>((m * a + d * (256 - a)) / 256);
            else if (!useA) out[k] = static_cast<int>((m * lg + d * (256 - lg)) / 256);
            else out[k] = static_cast<int>((m * lg * a + d * (65536 - lg * a)) / 65536);
        } else if (g.mode == 2 || g.mode == 3) {
            if (!g.blend && !useA) contribution[k] = static_cast<int>(Product(p, m));
            else if (!g.blend) contribution[k] = static_cast<int>(m * a * p / 65536);
            else if (!useA) contribution[k] = static_cast<int>(m * lg * p / 65536);
            else contribution[k] = static_cast<int>(m * lg * a * p / (int64_t{1} << 24));
        } else if (g.mode == 4) {
            int64_t f = 1, n = 8;
            if (g.blend) f *= lg, n += 8;
            if (useA) f *= a, n += 8;
            out[k] = static_cast<int>(m * d * f >> n);
        } else {
            int64_t x = m;
            if (g.mode == 10) x = TintOf(g, k, 255 - Chan32(s.colour, k));
            if (g.mode == 11) x = m * d / 256;
            int64_t w = p, n = 8;
            if (g.blend) w *= lg, n += 8;
            if (useA) w *= a, n += 8;
            const int64_t full = int64_t{1} << n;
            out[k] = static_cast<int>((x * w + d * (full - w)) / full);
        }
    }
    if (g.mode == 2) return Add888(dw, Pack32(contribution, 0), false);
    if (g.mode == 3) return Sub888(dw, Pack32(contribution, 0));
    return Pack32(out, dw >> 24);
}

// --- Flat pixels -------------------------------------------------------------

inline uint32_t FlatColour(int kind, uint32_t colour, const State& st) {
    const int tint[3] = {st.tintBlue, st.tintGreen, st.tintRed};
    int c[3];
    if (kind == 0) {
        colour &= 0xFFFF;
        for (int k = 0; k < 3; ++k) c[k] = static_cast<int>(Product(tint[k], Chan16(colour, k)));
        return Pack16(c);
    }
    for (int k = 0; k < 3; ++k) c[k] = static_cast<int>(Product(tint[k], Chan32(colour, k)));
    return Pack32(c, colour >> 24);
}

inline uint32_t FlatPixel(int kind, int mode, int64_t p, uint32_t s, uint32_t dw) {
    int out[3];
    if (mode == 0) return s;
    if (mode == 2 || mode == 3) {
        for (int k = 0; k < 3; ++k) out[k] = static_cast<int>(Product(p, kind == 0 ? Chan16(s, k) : Chan32(s, k)));
        if (kind == 0) return mode == 2 ? Add565(dw, Pack16(out), true) : Sub565(dw, Pack16(out));
        return mode == 2 ? Add888(dw, Pack32(out, 0), false) : Sub888(dw, Pack32(out, 0));
    }
    for (int k = 0; k < 3; ++k) {
        const int64_t d = kind == 0 ? Chan16(dw, k) : Chan32(dw, k);
        const int64_t sk = kind == 0 ? Chan16(s, k) : Chan32(s, k);
        const int64_t n = kind == 0 ? kWidth16[k] : 8, max = kind == 0 ? kMax16[k] : 255;
        if (mode == 4) {
            out[k] = static_cast<int>(sk * d >> n);
            continue;
        }
        int64_t t = sk;
        if (mode == 10) t = max - sk;
        if (mode == 11) t = sk * d >> n;
        out[k] = static_cast<int>(kind == 0 ? d + SignedProduct(p, t - d) : FloorDiv(d * 256 + (t - d) * p, 256));
    }
    return kind == 0 ? Pack16(out) : Pack32(out, dw >> 24);
}

// --- Entry points --------------------------------------------------------------

inline bool TriangleCoordinatesInRange(const int vt[12], bool textured) {
    for (int i = 0; i < 12; ++i) {
        if (!textured && (i % 4) >= 2) continue;
        if (vt[i] < -8192 || vt[i] > 8191) return false;
    }
    return true;
}

inline RowSpans SpansOf(const int vt[12], bool bottomRow) {
    RowSpans spans;
    const int64_t everywhere[4] = {INT64_MIN, INT64_MIN, INT64_MAX, INT64_MAX};
    WalkTriangle(vt, everywhere, [](int, int, uint32_t, uint32_t) {}, bottomRow, &spans);
    return spans;
}

// Whether a triangle of a quadrilateral draws pixel (x, y); none: every
// pixel of its own.
using Owned = std::function<bool(int64_t x, int64_t y)>;

// One triangle, or with owned the pixels of it that a quadrilateral leaves
// to it.
inline void FillTriangle(MEMIMG* target, const MEMIMG* source, const int vt[12], int transparent, const MEMIMG* graph,
                         uint32_t colour, const State& st, bool bottomRow = false, const Owned& owned = nullptr) {
    const MEMIMG_BASE* tb = target->base;
    if (source && source->base->pixelKind != tb->pixelKind) return;
    if (tb->usePalette || tb->useAlpha || (tb->pixelKind != 0 && tb->pixelKind != 1)) return;
    if (!TriangleCoordinatesInRange(vt, source != nullptr)) return;
    if (source && (source->width > 8192 || source->height > 8192)) return;
    if (source && graph && (graph->width < source->width || graph->height < source->height)) return;
    int64_t clip[4];
    Clip(target, st, clip);
    const int kind = tb->pixelKind;
    const int tbytes = kind == 1 ? 4 : 2;
    if (!source) {
        const int m = st.mode;
        if (!(m >= 0 && m <= 4) && m != 10 && m != 11) return;
        if ((m == 1 || m == 2 || m == 3) && st.param == 0) return;
        const int mode = (m == 1 && st.param == 255) ? 0 : m;
        const uint32_t s = FlatColour(kind, colour, st);
        WalkTriangle(vt, clip, [&](int x, int y, uint32_t, uint32_t) {
            if (owned && !owned(x, y)) return;
            uint8_t* p = target->pixels + static_cast<ptrdiff_t>(y) * tb->pitch + static_cast<ptrdiff_t>(x) * tbytes;
            WriteBytes(p, FlatPixel(kind, mode, st.param, s, ReadBytes(p, tbytes)), tbytes);
        }, bottomRow);
        return;
    }
    const auto prepared = Prepare(target, source, graph != nullptr, transparent, false, st);
    if (!prepared) return;
    const Draw& g = *prepared;
    const uint32_t boundU = static_cast<uint32_t>(source->width) << 18, boundV = static_cast<uint32_t>(source->height) << 18;
    WalkTriangle(vt, clip, [&](int x, int y, uint32_t u, uint32_t v) {
        if (u >= boundU || v >= boundV || (owned && !owned(x, y))) return;
        const int i = static_cast<int>(u >> 18), j = static_cast<int>(v >> 18);
        const Source s = ReadSource(source, i, j);
        const auto useA = TriangleAlphaFactor(g, s);
        if (!useA) return;
        const int level = graph ? st.level[graph->pixels[static_cast<ptrdiff_t>(j) * graph->base->pitch + i]] : 0;
        uint8_t* p = target->pixels + static_cast<ptrdiff_t>(y) * tb->pitch + static_cast<ptrdiff_t>(x) * tbytes;
        const uint32_t d = ReadBytes(p, tbytes);
        WriteBytes(p, kind == 1 ? TrianglePixel32(g, s, *useA, level, d) : TrianglePixel16(g, s, *useA, level, d),
                   tbytes);
    }, bottomRow);
}

// The span of row y clipped to clip's columns, if any.
inline std::optional<std::pair<int64_t, int64_t>> ClippedSpan(const RowSpans& spans, int64_t y, const int64_t clip[4]) {
    const auto row = spans.find(y);
    if (row == spans.end() || y < clip[1] || y >= clip[3]) return std::nullopt;
    const int64_t l = std::max(row->second.first, clip[0]), r = std::min(row->second.second, clip[2] - 1);
    if (l > r) return std::nullopt;
    return std::make_pair(l, r);
}

// The triangles (0, 1, 2) and (1, 2, 3) of vertices {x, y, u, v} x 4; with a
// source the bottom vertices' rows too. When corners 0 and 3 lie on either
// side of the diagonal from corner 1 to corner 2, a pixel both would draw is
// drawn once: in the rows both draw from the diagonal's upper end to its
// lower end's, by the triangle on the pixel's side of the diagonal's own x
// on the row (stepped from its upper end); a level diagonal's row by the
// lower triangle alone. A quadrilateral reaching above row 0 shares out the
// pixels of each row both draw (clipped) by their spans instead: a span
// that holds the other keeps them, else the one lying right keeps the
// overlap, and the second keeps a span both draw alike. A bow-tie's
// triangles both draw their overlap.
inline void FillQuad(MEMIMG* target, const MEMIMG* source, const int v[16], int transparent, const MEMIMG* graph,
                     uint32_t colour, const State& st) {
    bool bottomRow[2] = {source != nullptr, source != nullptr};
    auto side = [&](int k) {
        return (double(v[8]) - v[4]) * (double(v[4 * k + 1]) - v[5]) - (double(v[9]) - v[5]) * (double(v[4 * k]) - v[4]);
    };
    const bool apart = side(0) * side(3) < 0 && TriangleCoordinatesInRange(v, source) &&
                       TriangleCoordinatesInRange(v + 4, source);
    const RowSpans spans[2] = {SpansOf(v, bottomRow[0]), SpansOf(v + 4, bottomRow[1])};
    Owned owned[2];
    if (apart && !spans[0].empty() && !spans[1].empty()) {
        int64_t clip[4];
        Clip(target, st, clip);
        const int* upper = v[5] <= v[9] ? v + 4 : v + 8;
        const int* lower = upper == v + 4 ? v + 8 : v + 4;
        if (std::min({v[1], v[5], v[9], v[13]}) < 0) {
            for (int i = 0; i < 2; ++i)
                owned[i] = [&spans, clip0 = clip[0], clip1 = clip[1], clip2 = clip[2], clip3 = clip[3], i](int64_t x,
                                                                                                          int64_t y) {
                    const int64_t c[4] = {clip0, clip1, clip2, clip3};
                    const auto mine = ClippedSpan(spans[i], y, c), other = ClippedSpan(spans[1 - i], y, c);
                    if (!mine || !other || x < other->first || x > other->second) return true;
                    const bool holds = mine->first <= other->first && other->second <= mine->second;
                    const bool held = other->first <= mine->first && mine->second <= other->second;
                    if (holds && held) return i == 1;
                    return holds || (!held && mine->first > other->first);
                };
        } else if (upper[1] == lower[1]) {
            bottomRow[v[1] < v[13] ? 0 : 1] = false;
        } else {
            const int64_t x0 = int64_t{upper[0]} * 262144 + 131072, x1 = int64_t{lower[0]} * 262144 + 131072;
            const int64_t rows = lower[1] - upper[1], step = (x1 - x0) / rows;
            const int64_t top = Fixed18IntPart(int64_t{upper[1]} * 262144 + 131072);
            const int64_t from = std::max({top, spans[0].begin()->first, spans[1].begin()->first});
            const int64_t to = std::min({top + rows, spans[0].rbegin()->first, spans[1].rbegin()->first});
            for (int i = 0; i < 2; ++i) {
                // The third corner's side: left when it lies left of the line.
                const int* third = v + (i == 0 ? 0 : 12);
                const double lineX = upper[0] + double(lower[0] - upper[0]) * (third[1] - upper[1]) / double(rows);
                const bool left = third[0] < lineX;
                owned[i] = [=](int64_t x, int64_t y) {
                    if (y < from || y > to) return true;
                    const int64_t xd = Fixed18IntPart(x0 + (y - top) * step);
                    return left ? x < xd : x >= xd;
                };
            }
        }
    }
    FillTriangle(target, source, v, transparent, graph, colour, st, bottomRow[0], owned[0]);
    FillTriangle(target, source, v + 4, transparent, graph, colour, st, bottomRow[1], owned[1]);
}

inline void QuadBlit(MEMIMG* target, const MEMIMG* source, const int c[8], int transparent, const MEMIMG* graph,
                     const State& st) {
    int64_t l = c[0], t = c[1], r = c[0], b = c[1];
    for (int i = 1; i < 4; ++i) {
        l = std::min<int64_t>(l, c[2 * i]);
        r = std::max<int64_t>(r, c[2 * i]);
        t = std::min<int64_t>(t, c[2 * i + 1]);
        b = std::max<int64_t>(b, c[2 * i + 1]);
    }
    // The widened box against the draw area, as half-open ranges.
    if (std::min<int64_t>(r + 4, st.area[2]) <= std::max<int64_t>(l - 2, st.area[0]) ||
        std::min<int64_t>(b + 4, st.area[3]) <= std::max<int64_t>(t - 2, st.area[1]))
        return;
    const int w = source->width, h = source->height;
    const int vertices[16] = {c[0], c[1], 0, 0, c[2], c[3], w, 0, c[4], c[5], 0, h, c[6], c[7], w, h};
    FillQuad(target, source, vertices, transparent, graph, 0, st);
}

}  // namespace softref
