// Slow, independent model of the software blits, written from the blend
// rules as arithmetic on channel values: real division instead of tables,
// per-channel descriptions of the packed add and subtract instead of their
// bit recipes, and the column mapping instead of accumulator stepping. The
// tests draw with the engine and with this model and compare every byte.
// Header-only so that every test program of the software renderer can use
// it.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "softblit/softblit.h"

using namespace morpotta;

namespace softref {

// The draw state the model reads (what drawstate.h holds for the engine).
struct State {
    int mode = 0;
    int param = 255;
    int tintRed = 255, tintGreen = 255, tintBlue = 255;
    int area[4] = {0, 0, 0, 0};
    uint8_t level[256] = {};
};

inline void BuildLevel(State& state, int threshold, int edgeWidth) {
    threshold = std::clamp(threshold, 0, 255);
    edgeWidth = std::clamp(edgeWidth, 0, 255);
    const int d = edgeWidth + 1;
    const int off = 256 - ((65536 / d + 256) * threshold) / 256;
    for (int i = 0; i < 256; ++i) state.level[i] = static_cast<uint8_t>(std::clamp(256 * i / d + off, 0, 255));
}

// floor(a * k / 255) by division.
inline int64_t Product(int64_t a, int64_t k) { return a * k / 255; }
// k * p / 255 truncated toward zero (C++ division truncates).
inline int64_t SignedProduct(int64_t p, int64_t k) { return k * p / 255; }

inline int Chan32(uint32_t w, int i) { return static_cast<int>((w >> (8 * i)) & 0xFF); }  // 0 blue, 1 green, 2 red
inline uint32_t Pack32(const int c[3], uint32_t top) {
    return static_cast<uint32_t>(c[0]) | (static_cast<uint32_t>(c[1]) << 8) | (static_cast<uint32_t>(c[2]) << 16) |
           (top << 24);
}
inline int Chan16(uint32_t w, int i) {
    return i == 0 ? static_cast<int>(w & 31) : i == 1 ? static_cast<int>((w >> 5) & 63) : static_cast<int>((w >> 11) & 31);
}
inline uint32_t Pack16(const int c[3]) {
    return static_cast<uint32_t>(c[0]) | (static_cast<uint32_t>(c[1]) << 5) | (static_cast<uint32_t>(c[2]) << 11);
}
constexpr int kMax16[3] = {31, 63, 31};
constexpr int kWidth16[3] = {5, 6, 5};

// --- Packed add and subtract by their channel descriptions ---------------

// 32-bit add; lossy drops the inputs' lowest green and red bits.
inline uint32_t Add888(uint32_t d, uint32_t t, bool lossy) {
    const int b = Chan32(d, 0) + Chan32(t, 0);
    const bool blueSat = b >= 256;
    const int g = (Chan32(d, 1) & 0xFE) + (Chan32(t, 1) & 0xFE);
    const bool greenSat = g >= 256;
    const int r = (Chan32(d, 2) & 0xFE) + (Chan32(t, 2) & 0xFE);
    const bool redSat = r >= 256;
    const bool gOdd = !lossy && ((Chan32(d, 1) | Chan32(t, 1)) & 1);
    const bool rOdd = !lossy && ((Chan32(d, 2) | Chan32(t, 2)) & 1);
    int c[3];
    c[0] = blueSat ? 255 : b;
    c[1] = greenSat ? 255 : (g | ((gOdd || blueSat) ? 1 : 0));
    c[2] = redSat ? 255 : (r | ((rOdd || greenSat) ? 1 : 0));
    return Pack32(c, redSat ? 1 : 0);
}

inline uint32_t Sub888(uint32_t d, uint32_t t) {
    int c[3];
    c[0] = std::max(Chan32(d, 0) - Chan32(t, 0), 0);
    const int g = (Chan32(d, 1) >> 1) - (Chan32(t, 1) >> 1);
    c[1] = g < 0 ? 0 : 2 * g + (Chan32(d, 0) >= Chan32(t, 0) ? 1 : 0);
    const int r = (Chan32(d, 2) >> 1) - (Chan32(t, 2) >> 1);
    c[2] = r < 0 ? 0 : 2 * r + (g >= 0 ? 1 : 0);
    return Pack32(c, 0);
}

// 16-bit add of one pixel. withOddInputs false: the paired recipe's first
// pixel (the inputs' lowest bits are not ORed in).
inline uint32_t Add565(uint32_t d, uint32_t x, bool withOddInputs) {
    int c[3];
    const int b = Chan16(d, 0) + Chan16(x, 0);
    c[0] = std::min(b, 31);
    const int gS = (Chan16(d, 1) >> 1) + (Chan16(x, 1) >> 1);
    const bool g0 = (withOddInputs && ((Chan16(d, 1) | Chan16(x, 1)) & 1)) || b > 31;
    c[1] = gS > 31 ? 62 + g0 : 2 * gS + g0;
    const int rS = (Chan16(d, 2) >> 1) + (Chan16(x, 2) >> 1);
    const bool r0 = (withOddInputs && ((Chan16(d, 2) | Chan16(x, 2)) & 1)) || gS > 31;
    c[2] = rS > 15 ? 31 : 2 * rS + r0;
    return Pack16(c);
}

inline uint32_t Sub565(uint32_t d, uint32_t x) {
    int c[3];
    c[0] = std::max(Chan16(d, 0) - Chan16(x, 0), 0);
    const int gU = (Chan16(d, 1) >> 1) - (Chan16(x, 1) >> 1);
    c[1] = gU >= 0 ? 2 * gU : 0;
    const int rU = (Chan16(d, 2) >> 1) - (Chan16(x, 2) >> 1);
    c[2] = rU >= 0 ? 2 * rU + (gU >= 0 ? 1 : 0) : 0;
    return Pack16(c);
}

// Both pixels of the paired add: d0/x0 first (low half), d1/x1 second.
inline void PairAdd565(uint32_t d0, uint32_t x0, uint32_t d1, uint32_t x1, uint32_t& out0, uint32_t& out1) {
    out0 = Add565(d0, x0, false);
    const bool firstRedOver = (Chan16(d0, 2) >> 1) + (Chan16(x0, 2) >> 1) > 15;
    int c[3];
    const int bS = (Chan16(d1, 0) >> 1) + (Chan16(x1, 0) >> 1);
    c[0] = bS > 15 ? 31 : 2 * bS + (firstRedOver ? 1 : 0);
    const int gS = (Chan16(d1, 1) >> 1) + (Chan16(x1, 1) >> 1);
    const bool g0 = bS > 15;
    c[1] = gS > 31 ? 62 + g0 : 2 * gS + g0;
    const int rS = (Chan16(d1, 2) >> 1) + (Chan16(x1, 2) >> 1);
    c[2] = rS > 15 ? 31 : 2 * rS + (gS > 31 ? 1 : 0);
    out1 = Pack16(c);
}

inline void PairSub565(uint32_t d0, uint32_t x0, uint32_t d1, uint32_t x1, uint32_t& out0, uint32_t& out1) {
    out0 = Sub565(d0, x0);
    const bool firstRedOk = (Chan16(d0, 2) >> 1) - (Chan16(x0, 2) >> 1) >= 0;
    int c[3];
    const int bU = (Chan16(d1, 0) >> 1) - (Chan16(x1, 0) >> 1);
    c[0] = bU >= 0 ? 2 * bU + (firstRedOk ? 1 : 0) : 0;
    const int gU = (Chan16(d1, 1) >> 1) - (Chan16(x1, 1) >> 1);
    c[1] = gU >= 0 ? 2 * gU : 0;
    const int rU = (Chan16(d1, 2) >> 1) - (Chan16(x1, 2) >> 1);
    c[2] = rU >= 0 ? 2 * rU + (gU >= 0 ? 1 : 0) : 0;
    out1 = Pack16(c);
}

// --- One pixel ------------------------------------------------------------

// Everything fixed for one draw.
struct Draw {
    int kind;        // 0 16-bit, 1 32-bit
    bool palette;
    bool alpha;      // source carries alpha
    int mode;        // after p = 255 BlendAlpha became BlendCopy
    int p;
    bool tinted;
    int tint[3];     // blue, green, red
    bool blend;
    bool trans;
    bool scaled;
    uint32_t transColor;
};

struct Source {
    uint32_t colour;  // palette entry or colour word
    int index;        // palette index
    int a;            // alpha, when the source has it
};

inline bool UsesP(int mode) { return mode == 1 || mode == 2 || mode == 3 || mode == 10 || mode == 11; }

// The keying decision: nullopt when skipped, else whether the alpha is a
// weight for this pixel.
inline std::optional<bool> AlphaWeight(const Draw& g, const Source& s) {
    if (!g.trans) return g.alpha;
    if (!g.alpha) {
        if (g.palette) {
            if (static_cast<uint32_t>(s.index) == g.transColor) return std::nullopt;
        } else {
            const uint32_t key = (g.kind == 0 && g.scaled) ? (g.transColor & 0xFFFF) : g.transColor;
            if (s.colour == key) return std::nullopt;
        }
        return false;
    }
    if (s.a == 0) return std::nullopt;  // a clear texel changes nothing, whatever the mode
    return s.a != 255;
}

// floor((W * X + (2^(8n) - W) * d) / 2^(8n)).
inline int Mix(int x, int d, int64_t w, int n) {
    if (n == 0) return x;
    const int64_t full = int64_t{1} << (8 * n);
    return static_cast<int>((w * x + (full - w) * d) / full);
}

inline std::optional<uint32_t> Pixel32(const Draw& g, const Source& s, int b, uint32_t d) {
    const auto aw = AlphaWeight(g, s);
    if (!aw) return std::nullopt;
    const bool useA = *aw;
    if (g.mode == 0 && !g.tinted && !g.blend) {
        if (!g.alpha || !useA) return s.colour;
        if (!g.trans && !g.scaled) return s.colour;
    }
    if (!g.scaled && !g.tinted && !g.blend && !g.alpha) {
        if (g.mode == 1 && g.p == 128) {
            int c[3];
            for (int i = 0; i < 3; ++i) c[i] = Chan32(s.colour, i) / 2 + Chan32(d, i) / 2;
            return Pack32(c, 0);
        }
        if (g.mode == 2 && g.p == 255) return Add888(d, s.colour & 0xFFFFFF, true);
    }
    int64_t w = 1;
    int n = 0;
    if (g.blend) w *= b, ++n;
    if (useA) w *= s.a, ++n;
    int S[3];
    for (int i = 0; i < 3; ++i) {
        int v = Chan32(s.colour, i);
        if (g.mode == 10) v = 255 - v;
        if (g.tinted) v = static_cast<int>(Product(g.tint[i], v));
        S[i] = v;
    }
    const uint32_t top = d >> 24;
    int c[3];
    if (g.mode == 4) {
        for (int i = 0; i < 3; ++i) c[i] = static_cast<int>(int64_t{Chan32(d, i)} * S[i] * w >> (8 * (n + 1)));
        return Pack32(c, top);
    }
    const int nw = n + 1;  // p joins the weights of every other mode
    const int64_t ww = w * g.p;
    if (g.mode == 2 || g.mode == 3) {
        int t[3];
        for (int i = 0; i < 3; ++i)
            t[i] = n == 0 ? static_cast<int>(Product(g.p, S[i])) : static_cast<int>(S[i] * ww >> (8 * nw));
        const uint32_t tw = Pack32(t, 0);
        return g.mode == 2 ? Add888(d, tw, false) : Sub888(d, tw);
    }
    for (int i = 0; i < 3; ++i) {
        const int dc = Chan32(d, i);
        int x = S[i];
        if (g.mode == 11) x = dc * x / 256;
        c[i] = g.mode == 0 ? Mix(x, dc, w, n) : Mix(x, dc, ww, nw);
    }
    return Pack32(c, top);
}

// Move d toward v by w over 2^k.
inline int Move(int d, int v, int64_t w, int k) {
    return static_cast<int>(((int64_t{d} << k) + (v - d) * w) / (int64_t{1} << k));
}

inline std::optional<uint32_t> Pixel16(const Draw& g, const Source& s, int b, uint32_t d) {
    const auto aw = AlphaWeight(g, s);
    if (!aw) return std::nullopt;
    const bool useA = *aw;
    const int A = s.a;
    const int p = g.p;
    if (g.mode == 0 && !g.tinted && !g.blend) {
        if (!useA) return s.colour;
        if (!g.trans && !g.scaled) return s.colour;
    }
    int x[3], raw[3], dc[3], out[3];
    for (int i = 0; i < 3; ++i) {
        raw[i] = Chan16(s.colour, i);
        dc[i] = Chan16(d, i);
        x[i] = g.mode == 10 ? kMax16[i] - raw[i] : raw[i];
        if (g.tinted) x[i] = static_cast<int>(Product(g.tint[i], x[i]));
    }
    switch (g.mode) {
    case 2:
    case 3: {
        int xs[3];
        for (int i = 0; i < 3; ++i) {
            int64_t v;
            if (g.blend) v = useA ? int64_t{x[i]} * A * b >> 16 : int64_t{x[i]} * b >> 8;
            else if (useA && g.tinted) v = Product(g.tint[i], raw[i] * A >> 8);
            else v = useA ? x[i] * A >> 8 : x[i];
            xs[i] = static_cast<int>(Product(p, v));
        }
        return g.mode == 2 ? Add565(d, Pack16(xs), true) : Sub565(d, Pack16(xs));
    }
    case 4:
        for (int i = 0; i < 3; ++i) {
            int64_t prod = int64_t{x[i]} * dc[i];
            int shift = kWidth16[i];
            if (g.blend) prod *= b, shift += 8;
            if (useA) prod *= A, shift += 8;
            out[i] = static_cast<int>(prod >> shift);
        }
        return Pack16(out);
    default: break;
    }
    int v[3];
    for (int i = 0; i < 3; ++i) v[i] = g.mode == 11 ? x[i] * dc[i] >> kWidth16[i] : x[i];
    const bool useP = g.mode != 0;
    for (int i = 0; i < 3; ++i) {
        if (g.blend || useA) {
            int64_t w = 1;
            int k = 0;
            if (g.blend) w *= b, k += 8;
            if (useA) w *= A, k += 8;
            if (useP) w *= p, k += 8;
            out[i] = Move(dc[i], v[i], w, k);
            if (i == 1 && g.mode == 11 && useA && !g.blend && !g.tinted) {
                const int u = (x[1] * 32) * (dc[1] * 32) >> 11;
                out[1] = static_cast<int>(((int64_t{dc[1]} << 21) + int64_t{u - 32 * dc[1]} * A * p) >> 21);
            }
        } else if (!useP) {
            out[i] = v[i];
        } else if (g.mode == 1 && !g.tinted && !g.alpha && !g.scaled) {
            if (p == 128) out[i] = raw[i] / 2 + dc[i] / 2;
            else out[i] = ((p / 4) * v[i] + (63 - p / 4) * dc[i]) / 63;
        } else {
            out[i] = dc[i] + static_cast<int>(SignedProduct(p, v[i] - dc[i]));
        }
    }
    return Pack16(out);
}

// --- Images ---------------------------------------------------------------

inline int BytesPerPixel(const MEMIMG* m) {
    const MEMIMG_BASE* b = m->base;
    if (b->usePalette || b->pixelKind == MEMIMG_KIND_8BIT) return 1;
    if (b->pixelKind == MEMIMG_KIND_32BIT) return 4;
    return b->useAlpha ? 4 : 2;
}
inline uint8_t* PixelAt(const MEMIMG* m, int x, int y) {
    return m->pixels + static_cast<ptrdiff_t>(y) * m->base->pitch + static_cast<ptrdiff_t>(x) * BytesPerPixel(m);
}
inline uint32_t ReadBytes(const uint8_t* p, int n) {
    uint32_t v = 0;
    std::memcpy(&v, p, n);
    return v;
}
inline void WriteBytes(uint8_t* p, uint32_t v, int n) { std::memcpy(p, &v, n); }

inline Source ReadSource(const MEMIMG* src, int i, int j) {
    const MEMIMG_BASE* b = src->base;
    const uint8_t* p = PixelAt(src, i, j);
    Source s{};
    if (b->usePalette) {
        s.index = *p;
        s.colour = b->pixelKind == MEMIMG_KIND_32BIT ? b->palette32[s.index] : b->palette16[s.index];
    } else if (b->pixelKind == MEMIMG_KIND_32BIT) {
        s.colour = ReadBytes(p, 4);
        s.a = static_cast<int>(s.colour >> 24);
    } else {
        s.colour = ReadBytes(p, 2);
        s.a = b->useAlpha ? p[2] : 0;
    }
    return s;
}

// The draw's fixed values, or nullopt when the draw puts nothing down.
inline std::optional<Draw> Prepare(const MEMIMG* target, const MEMIMG* source, bool blend, int transparent,
                                   bool scaled, const State& st) {
    const MEMIMG_BASE* t = target->base;
    const MEMIMG_BASE* s = source->base;
    if (s->pixelKind != t->pixelKind || t->usePalette || t->useAlpha) return std::nullopt;
    if (s->pixelKind != 0 && s->pixelKind != 1) return std::nullopt;
    const int m = st.mode;
    if (!(m >= 0 && m <= 4) && m != 10 && m != 11) return std::nullopt;
    Draw g{};
    g.kind = s->pixelKind;
    g.palette = s->usePalette;
    g.alpha = s->useAlpha && !s->usePalette;
    g.p = st.param;
    if ((m == 1 || m == 2) && g.p == 0) return std::nullopt;
    if (m == 3 && g.p == 0 && !g.palette) return std::nullopt;
    g.mode = (m == 1 && g.p == 255) ? 0 : m;
    g.tinted = !(st.tintRed == 255 && st.tintGreen == 255 && st.tintBlue == 255);
    g.tint[0] = st.tintBlue;
    g.tint[1] = st.tintGreen;
    g.tint[2] = st.tintRed;
    g.blend = blend;
    g.trans = transparent != 0;
    g.scaled = scaled;
    g.transColor = s->transColor;
    return g;
}

inline void Clip(const MEMIMG* target, const State& st, int64_t c[4]) {
    c[0] = std::clamp<int64_t>(st.area[0], 0, target->width);
    c[1] = std::clamp<int64_t>(st.area[1], 0, target->height);
    c[2] = std::clamp<int64_t>(st.area[2], c[0], target->width);
    c[3] = std::clamp<int64_t>(st.area[3], c[1], target->height);
}

inline std::optional<uint32_t> PixelFor(const Draw& g, const Source& s, int b, uint32_t d) {
    return g.kind == 1 ? Pixel32(g, s, b, d) : Pixel16(g, s, b, d);
}

// The plain blit.
inline void Blit(MEMIMG* target, const MEMIMG* source, int x, int y, int transparent, const MEMIMG* blendImage,
                 const State& st) {
    const auto prepared = Prepare(target, source, blendImage != nullptr, transparent, false, st);
    if (!prepared) return;
    const Draw& g = *prepared;
    int64_t c[4];
    Clip(target, st, c);
    const int64_t left = std::max<int64_t>(x, c[0]), right = std::min<int64_t>(int64_t{x} + source->width, c[2]);
    const int64_t top = std::max<int64_t>(y, c[1]), bottom = std::min<int64_t>(int64_t{y} + source->height, c[3]);
    if (right <= left || bottom <= top) return;
    if (blendImage && (blendImage->width < right - x || blendImage->height < bottom - y)) return;
    const int tb = g.kind == 1 ? 4 : 2;
    const bool paired = g.kind == 0 && !g.tinted && !g.blend && !g.alpha && g.p == 255 && (g.mode == 2 || g.mode == 3);
    for (int64_t ty = top; ty < bottom; ++ty) {
        const int j = static_cast<int>(ty - y);
        for (int64_t tx = left; tx < right; ++tx) {
            const int i = static_cast<int>(tx - x);
            uint8_t* dp = PixelAt(target, static_cast<int>(tx), static_cast<int>(ty));
            const Source s = ReadSource(source, i, j);
            const int b = blendImage ? st.level[*PixelAt(blendImage, i, j)] : 0;
            if (paired) {
                const bool first = (tx - left) % 2 == 0;
                const bool hasPartner = first ? tx + 1 < right : true;
                if (!first) continue;  // handled with its first
                const bool draw0 = AlphaWeight(g, s).has_value();
                const uint32_t d0 = ReadBytes(dp, 2);
                if (!hasPartner) {
                    if (draw0) WriteBytes(dp, g.mode == 2 ? Add565(d0, s.colour, false) : Sub565(d0, s.colour), 2);
                    continue;
                }
                const Source s1 = ReadSource(source, i + 1, j);
                const bool draw1 = AlphaWeight(g, s1).has_value();
                const uint32_t d1 = ReadBytes(dp + 2, 2);
                if (draw0 && draw1) {
                    uint32_t o0, o1;
                    if (g.mode == 2) PairAdd565(d0, s.colour, d1, s1.colour, o0, o1);
                    else PairSub565(d0, s.colour, d1, s1.colour, o0, o1);
                    WriteBytes(dp, o0, 2);
                    WriteBytes(dp + 2, o1, 2);
                } else if (draw0) {
                    WriteBytes(dp, g.mode == 2 ? Add565(d0, s.colour, false) : Sub565(d0, s.colour), 2);
                } else if (draw1) {
                    WriteBytes(dp + 2, g.mode == 2 ? Add565(d1, s1.colour, false) : Sub565(d1, s1.colour), 2);
                }
                continue;
            }
            const auto out = PixelFor(g, s, b, ReadBytes(dp, tb));
            if (out) WriteBytes(dp, *out, tb);
        }
    }
}

// Source index shown by destination index k (from the unclipped edge).
inline int64_t MapIndex(int64_t k, int64_t scale, int size, bool mirrored) {
    const int64_t i = k * 65536 / scale;
    return mirrored ? size - 1 - i : i;
}

// The scaled blit.
inline void StretchBlit(MEMIMG* target, const MEMIMG* source, const int rect[4], int transparent,
                        const MEMIMG* blendImage, const State& st) {
    const int64_t left = std::min(rect[0], rect[2]), right = std::max(rect[0], rect[2]);
    const int64_t top = std::min(rect[1], rect[3]), bottom = std::max(rect[1], rect[3]);
    const bool mirrorX = rect[0] > rect[2], mirrorY = rect[1] > rect[3];
    const int64_t w = right - left, h = bottom - top;
    if (w == 0 || h == 0) return;
    if (w == source->width && h == source->height && !mirrorX && !mirrorY) {
        Blit(target, source, static_cast<int>(left), static_cast<int>(top), transparent, blendImage, st);
        return;
    }
    const auto prepared = Prepare(target, source, blendImage != nullptr, transparent, true, st);
    if (!prepared) return;
    const Draw& g = *prepared;
    const int64_t hScale = w * 65536 / source->width, vScale = h * 65536 / source->height;
    int64_t c[4];
    Clip(target, st, c);
    const int64_t cl = std::max(left, c[0]), cr = std::min(right, c[2]);
    const int64_t ct = std::max(top, c[1]), cb = std::min(bottom, c[3]);
    if (cr <= cl || cb <= ct) return;
    if (blendImage) {
        for (int64_t tx = cl; tx < cr; ++tx)
            if (MapIndex(tx - left, hScale, source->width, mirrorX) >= blendImage->width) return;
        for (int64_t ty = ct; ty < cb; ++ty)
            if (MapIndex(ty - top, vScale, source->height, mirrorY) >= blendImage->height) return;
    }
    const int tb = g.kind == 1 ? 4 : 2;
    for (int64_t ty = ct; ty < cb; ++ty) {
        const int j = static_cast<int>(MapIndex(ty - top, vScale, source->height, mirrorY));
        for (int64_t tx = cl; tx < cr; ++tx) {
            const int i = static_cast<int>(MapIndex(tx - left, hScale, source->width, mirrorX));
            uint8_t* dp = PixelAt(target, static_cast<int>(tx), static_cast<int>(ty));
            const int b = blendImage ? st.level[*PixelAt(blendImage, i, j)] : 0;
            const auto out = PixelFor(g, ReadSource(source, i, j), b, ReadBytes(dp, tb));
            if (out) WriteBytes(dp, *out, tb);
        }
    }
}

}  // namespace softref
