// The triangle fill's and the quadrilateral blit's worked numbers: the
// walk's rows and spans, the shared diagonal, the per-pixel rules drawn on
// one pixel, and the draws that are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "softblit/triangle_setup.h"
#include "softblit_reference_triangle.h"
#include "softblit_test_util.h"

using namespace morpotta;

using softtest::Image;

namespace {

uint32_t C16(uint32_t r, uint32_t g, uint32_t b) { return (r << 11) | (g << 5) | b; }
uint32_t C32(uint32_t r, uint32_t g, uint32_t b, uint32_t top = 0) { return (top << 24) | (r << 16) | (g << 8) | b; }

void SetTriangleState(int mode, int p, int area = 64, uint32_t tint = 0xFFFFFF) {
    BuildBlendTables();
    SetBlendModeParam(mode, p);
    SetDrawTintPacked(tint);
    DrawArea[0] = DrawArea[1] = 0;
    DrawArea[2] = DrawArea[3] = area;
}

uint32_t PixelOf(const Image& img, int x, int y) {
    const int bytes = img.m.base->pixelKind == MEMIMG_KIND_32BIT ? 4 : 2;
    uint32_t v = 0;
    std::memcpy(&v, img.m.pixels + static_cast<ptrdiff_t>(y) * img.m.base->pitch + x * bytes, bytes);
    return v;
}

void Fill(Image& img, uint32_t word) {
    for (int y = 0; y < img.m.height; ++y)
        for (int x = 0; x < img.m.width; ++x) {
            const int bytes = img.m.base->pixelKind == MEMIMG_KIND_32BIT ? 4 : 2;
            std::memcpy(img.m.pixels + static_cast<ptrdiff_t>(y) * img.m.base->pitch + x * bytes, &word, bytes);
        }
}

// Pixels of a 32-bit target that differ from zero, as a mask.
std::vector<int> Covered(const Image& img) {
    std::vector<int> out;
    for (int y = 0; y < img.m.height; ++y)
        for (int x = 0; x < img.m.width; ++x) out.push_back(PixelOf(img, x, y) != 0);
    return out;
}

int CountRow(const Image& img, int y) {
    int n = 0;
    for (int x = 0; x < img.m.width; ++x) n += PixelOf(img, x, y) != 0;
    return n;
}

// Options of a one-texel draw.
struct Texel {
    int sourceClass = 1;  // 0 palette (index 1 holds the word), 1 plain, 2 alpha
    uint32_t word = 0;
    uint32_t alpha = 255;  // 16-bit alpha source: the alpha byte (32-bit: the word's top byte)
    int trans = 0;
    uint32_t transColor = 0xFFFFFFFFu;
    int level = -1;  // blend-graph level, -1: no graph
    uint32_t tint = 0xFFFFFF;
};

// Draws one texel over pixel (0, 0) of a target filled with dst; a
// triangle whose texel coordinates are all (0, 0).
uint32_t DrawTexel(int kind, const Texel& t, uint32_t dst, int mode, int p) {
    SetTriangleState(mode, p, 64, t.tint);
    Image source(1, 1, kind, t.sourceClass == 0, t.sourceClass == 2, t.transColor);
    Image target(4, 4, kind, 0, 0);
    Image graph(1, 1, MEMIMG_KIND_8BIT, 0, 0);
    Fill(target, dst);
    if (t.sourceClass == 0) {
        source.m.pixels[0] = 1;
        if (kind == 1) source.m.base->palette32[1] = t.word;
        else source.m.base->palette16[1] = static_cast<uint16_t>(t.word);
    } else {
        std::memcpy(source.m.pixels, &t.word, kind == 1 ? 4 : 2);
        if (kind == 0 && t.sourceClass == 2) source.m.pixels[2] = static_cast<uint8_t>(t.alpha);
    }
    if (t.level >= 0) {
        graph.m.pixels[0] = 77;
        BlendLevelTable[77] = static_cast<uint8_t>(t.level);
    }
    const int vt[12] = {0, 0, 0, 0, 3, 0, 0, 0, 0, 3, 0, 0};
    FillTexturedTriangleMemImg(&target.m, &source.m, vt, t.trans, t.level >= 0 ? &graph.m : nullptr, 0);
    return PixelOf(target, 0, 0);
}

uint32_t DrawFlat(int kind, uint32_t colour, uint32_t dst, int mode, int p, uint32_t tint = 0xFFFFFF) {
    SetTriangleState(mode, p, 64, tint);
    Image target(4, 4, kind, 0, 0);
    Fill(target, dst);
    const int vt[12] = {0, 0, 0, 0, 3, 0, 0, 0, 0, 3, 0, 0};
    FillTexturedTriangleMemImg(&target.m, nullptr, vt, 0, nullptr, colour);
    return PixelOf(target, 0, 0);
}

// --- The walk -------------------------------------------------------------------

TEST(TriangleWalk, RowsFromTopToAboveBottomWithBothSpanEnds) {
    SetTriangleState(0, 255);
    Image target(16, 16, MEMIMG_KIND_32BIT, 0, 0);
    const int vt[12] = {0, 0, 0, 0, 10, 0, 0, 0, 0, 10, 0, 0};
    FillTexturedTriangleMemImg(&target.m, nullptr, vt, 0, nullptr, 0xFFFFFF);
    int total = 0;
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(CountRow(target, k), 11 - k) << "row " << k;
        EXPECT_NE(PixelOf(target, 10 - k, k), 0u);
        total += CountRow(target, k);
    }
    EXPECT_EQ(total, 65);
    EXPECT_EQ(CountRow(target, 10), 0);
}

TEST(TriangleWalk, CollinearOrEqualVerticesDrawNothing) {
    SetTriangleState(0, 255);
    Image target(16, 16, MEMIMG_KIND_32BIT, 0, 0);
    const int lines[][12] = {{1, 1, 0, 0, 5, 5, 0, 0, 9, 9, 0, 0},
                             {3, 3, 0, 0, 3, 3, 0, 0, 3, 3, 0, 0},
                             {2, 0, 0, 0, 2, 7, 0, 0, 2, 12, 0, 0},
                             {0, 4, 0, 0, 9, 4, 0, 0, 5, 4, 0, 0}};
    for (const auto& vt : lines) FillTexturedTriangleMemImg(&target.m, nullptr, vt, 0, nullptr, 0xFFFFFF);
    const std::vector<int> covered = Covered(target);
    EXPECT_EQ(std::count(covered.begin(), covered.end(), 1), 0);
}

TEST(TriangleWalk, EveryVertexOrderCoversTheSamePixels) {
    const int triangles[][12] = {{3, 1, 0, 0, 20, 9, 0, 0, 7, 22, 0, 0},
                                 {3, 1, 0, 0, 3, 20, 0, 0, 18, 12, 0, 0},
                                 {15, -3, 0, 0, 1, 6, 0, 0, 22, 25, 0, 0},
                                 {0, 5, 0, 0, 20, 5, 0, 0, 10, 18, 0, 0},
                                 {2, 19, 0, 0, 21, 19, 0, 0, 11, 2, 0, 0}};
    const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (const auto& vt : triangles) {
        std::vector<int> first;
        for (const auto& o : orders) {
            SetTriangleState(0, 255, 24);
            Image target(24, 24, MEMIMG_KIND_32BIT, 0, 0);
            int pv[12];
            for (int i = 0; i < 3; ++i) std::copy(vt + 4 * o[i], vt + 4 * o[i] + 4, pv + 4 * i);
            FillTexturedTriangleMemImg(&target.m, nullptr, pv, 0, nullptr, 0xFFFFFF);
            if (first.empty()) first = Covered(target);
            EXPECT_EQ(Covered(target), first) << "order " << o[0] << o[1] << o[2];
        }
    }
}

// The centre of pixel -3 truncates to row -2, so the walk starts there and
// the whole triangle lands one row low.
TEST(TriangleWalk, TopVertexAboveRowZeroStartsAtTruncatedRow) {
    SetTriangleState(0, 255);
    Image target(16, 16, MEMIMG_KIND_32BIT, 0, 0);
    const int vt[12] = {0, -3, 0, 0, 10, -3, 0, 0, 0, 7, 0, 0};
    FillTexturedTriangleMemImg(&target.m, nullptr, vt, 0, nullptr, 0xFFFFFF);
    EXPECT_EQ(CountRow(target, 0), 9);
    EXPECT_EQ(CountRow(target, 7), 2);
    EXPECT_EQ(CountRow(target, 8), 0);
}

// When the left edge bends at a middle vertex and the top lies above row 0,
// going back to the middle vertex's row would blend that row twice.
TEST(TriangleWalk, EachRowIsBlendedOnce) {
    SetTriangleState(2, 255);
    for (const auto& vt : {std::array<int, 12>{5, -3, 0, 0, 0, 2, 0, 0, 10, 10, 0, 0},
                           std::array<int, 12>{9, -7, 0, 0, 1, 0, 0, 0, 14, 12, 0, 0},
                           std::array<int, 12>{6, -1, 0, 0, 0, 5, 0, 0, 12, 9, 0, 0}}) {
        Image target(16, 16, MEMIMG_KIND_32BIT, 0, 0);
        FillTexturedTriangleMemImg(&target.m, nullptr, vt.data(), 0, nullptr, C32(0, 0, 1));
        int drawn = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                EXPECT_LE(PixelOf(target, x, y), 1u) << x << "," << y;
                drawn += PixelOf(target, x, y) != 0;
            }
        EXPECT_GT(CountRow(target, vt[5]), 0);
        EXPECT_GT(drawn, 20);
    }
}

// --- Quadrilaterals ---------------------------------------------------------------

TEST(QuadBlit, UnscaledSourceLandsTexelForPixelAndDrawsEachPixelOnce) {
    Image source(32, 32, MEMIMG_KIND_32BIT, 0, 0);
    for (int j = 0; j < 32; ++j)
        for (int i = 0; i < 32; ++i) {
            const uint32_t w = C32(i, j, 1);
            std::memcpy(source.m.pixels + j * source.m.base->pitch + 4 * i, &w, 4);
        }
    const int corners[8] = {10, 10, 42, 10, 10, 42, 42, 42};
    SetTriangleState(0, 255);
    Image target(64, 64, MEMIMG_KIND_32BIT, 0, 0);
    Fill(target, C32(0, 0, 0, 9));
    QuadBlitMemImg(&target.m, &source.m, corners, 0, nullptr);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool inside = x >= 10 && x < 42 && y >= 10 && y < 42;
            EXPECT_EQ(PixelOf(target, x, y), inside ? C32(x - 10, y - 10, 1) : C32(0, 0, 0, 9)) << x << "," << y;
        }

    SetTriangleState(2, 255);
    Image added(64, 64, MEMIMG_KIND_32BIT, 0, 0);
    QuadBlitMemImg(&added.m, &source.m, corners, 0, nullptr);
    // Added, the diagonal the two triangles share shows no seam.
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool inside = x >= 10 && x < 42 && y >= 10 && y < 42;
            EXPECT_EQ(PixelOf(added, x, y) & 0xFF, inside ? 1u : 0u) << x << "," << y;
        }
}

// Turned and skewed quadrilaterals, also past the target's edges, added at
// weight 1: each pixel the two triangles would draw alone shows once, flat
// or textured (textured, the bottom corners' rows show as well).
TEST(QuadFill, DrawsEachPixelOfItsTwoTrianglesOnce) {
    std::mt19937 rng(63);
    std::uniform_real_distribution<double> centre(-8.0, 72.0), half(3.0, 30.0), turn(0.0, 6.3);
    std::uniform_int_distribution<int> nudge(-1, 1);
    Image one(64, 64, MEMIMG_KIND_32BIT, 0, 0);  // texels well inside: no bound leaves one out
    Fill(one, C32(0, 0, 1));
    for (int n = 0; n < 300; ++n) {
        const double cx = centre(rng), cy = centre(rng), hw = half(rng), hh = half(rng), a = turn(rng);
        int v[16];
        for (int k = 0; k < 4; ++k) {
            const double ox = k & 1 ? hw : -hw, oy = k & 2 ? hh : -hh;
            v[4 * k] = static_cast<int>(std::lround(cx + ox * std::cos(a) - oy * std::sin(a))) + nudge(rng);
            v[4 * k + 1] = static_cast<int>(std::lround(cy + ox * std::sin(a) + oy * std::cos(a))) + nudge(rng);
            v[4 * k + 2] = k & 1 ? 40 : 24;
            v[4 * k + 3] = k & 2 ? 40 : 24;
        }
        for (const MEMIMG* source : {static_cast<const MEMIMG*>(nullptr), static_cast<const MEMIMG*>(&one.m)}) {
            Image alone(64, 64, MEMIMG_KIND_32BIT, 0, 0), quad(64, 64, MEMIMG_KIND_32BIT, 0, 0);
            SetTriangleState(2, 255);
            FillTexturedTriangleMemImg(&alone.m, source, v, 0, nullptr, C32(0, 0, 1));
            FillTexturedTriangleMemImg(&alone.m, source, v + 4, 0, nullptr, C32(0, 0, 1));
            FillTexturedQuadMemImg(&quad.m, source, v, 0, nullptr, C32(0, 0, 1));
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 64; ++x) {
                    const uint32_t times = PixelOf(quad, x, y), drawn = std::min(PixelOf(alone, x, y), 1u);
                    ASSERT_TRUE(times == drawn || (source && times == 1)) << n << ": " << x << "," << y;
                }
        }
    }
}

TEST(QuadBlit, BoxOutsideTheAreaSkipsTheTriangles) {
    Image source(8, 8, MEMIMG_KIND_32BIT, 0, 0);
    Fill(source, C32(200, 200, 200));
    Image target(64, 64, MEMIMG_KIND_32BIT, 0, 0);
    SetTriangleState(0, 255);
    DrawArea[0] = 30;
    const uint32_t* runs = TriangleLoopRuns;
    const int slot = TexturedTriangleRunSlot(1, TexturedTriangleLoopIndex(KernelConfig{1, SourcePlain, KernelCopy, false, false, false, false, false}));
    const uint32_t before = runs[slot];
    const int farLeft[8] = {0, 0, 20, 0, 0, 20, 20, 20};  // box right 24 < 30
    QuadBlitMemImg(&target.m, &source.m, farLeft, 0, nullptr);
    EXPECT_EQ(runs[slot], before);
    const int margin[8] = {0, 0, 27, 0, 0, 20, 27, 20};  // reaches 30 only by its margin of 4
    QuadBlitMemImg(&target.m, &source.m, margin, 0, nullptr);
    EXPECT_EQ(runs[slot], before + 2);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(PixelOf(target, x, y), 0u);
}

// --- Texel stepping ---------------------------------------------------------------

TEST(TriangleTexels, SpanClippedOnTheLeftTakesItsOwnTexelsAndStopsAtTheRight) {
    Image source(8, 8, MEMIMG_KIND_32BIT, 0, 0);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) {
            const uint32_t w = C32(i + 1, j, 0);
            std::memcpy(source.m.pixels + j * source.m.base->pitch + 4 * i, &w, 4);
        }
    const int vt[12] = {10, 0, 0, 0, 14, 0, 4, 0, 10, 4, 0, 4};
    Image target(32, 8, MEMIMG_KIND_32BIT, 0, 0);
    SetTriangleState(0, 255);
    DrawArea[0] = 11;
    DrawArea[2] = 13;
    FillTexturedTriangleMemImg(&target.m, &source.m, vt, 0, nullptr, 0);
    EXPECT_EQ(PixelOf(target, 10, 0), 0u);
    EXPECT_EQ(PixelOf(target, 11, 0), C32(2, 0, 0));
    EXPECT_EQ(PixelOf(target, 12, 0), C32(3, 0, 0));
    EXPECT_EQ(PixelOf(target, 13, 0), 0u);
}

TEST(TriangleTexels, TexelsPastTheSourceLeaveTheirPixels) {
    Image source(5, 5, MEMIMG_KIND_RGB565, 0, 0);
    Fill(source, C16(31, 0, 0));
    const int vt[12] = {0, 0, 3, 0, 3, 0, 6, 0, 0, 3, 3, 3};
    Image target(8, 8, MEMIMG_KIND_RGB565, 0, 0);
    SetTriangleState(0, 255);
    FillTexturedTriangleMemImg(&target.m, &source.m, vt, 0, nullptr, 0);
    EXPECT_EQ(PixelOf(target, 0, 0), C16(31, 0, 0));
    EXPECT_EQ(PixelOf(target, 1, 0), C16(31, 0, 0));
    EXPECT_EQ(PixelOf(target, 2, 0), 0u);
    EXPECT_EQ(PixelOf(target, 3, 0), 0u);
}

// --- Flat colour -----------------------------------------------------------------

TEST(FlatTriangle, WorkedNumbers) {
    EXPECT_EQ(DrawFlat(1, C32(128, 128, 128), C32(255, 128, 64), 2, 255), C32(255, 255, 192, 1));
    EXPECT_EQ(DrawFlat(1, C32(255, 255, 255), C32(255, 255, 255), 2, 255), C32(255, 255, 255, 1));
    EXPECT_EQ(DrawFlat(1, C32(1, 2, 3), C32(16, 32, 48), 2, 255), C32(17, 34, 51));
    EXPECT_EQ(DrawFlat(1, C32(128, 128, 128), C32(255, 128, 64, 7), 3, 255), C32(127, 0, 0));
    EXPECT_EQ(DrawFlat(1, C32(1, 2, 3), C32(16, 32, 48), 3, 255), C32(17, 31, 45));
    EXPECT_EQ(DrawFlat(1, C32(255, 255, 255), C32(255, 255, 255), 3, 255), C32(1, 1, 0));
    EXPECT_EQ(DrawFlat(0, C16(0, 0, 1), C16(0, 0, 31), 2, 255), C16(0, 1, 31));
    EXPECT_EQ(DrawFlat(0, C16(16, 32, 16), C16(16, 32, 16), 2, 255), C16(31, 63, 31));
    EXPECT_EQ(DrawFlat(0, C16(31, 63, 31), C16(31, 63, 31), 3, 255), C16(1, 0, 0));
    EXPECT_EQ(DrawFlat(0, 0xFFFF, 0xFFFF, 4, 9), C16(30, 62, 30));
    EXPECT_EQ(DrawFlat(1, C32(255, 255, 255, 5), C32(255, 255, 255, 6), 4, 9), C32(254, 254, 254, 6));
    // p = 0: mode 1 leaves the target, and so do 10 and 11, which still run.
    for (int mode : {1, 10, 11}) {
        EXPECT_EQ(DrawFlat(1, C32(9, 99, 199), C32(50, 60, 70, 3), mode, 0), C32(50, 60, 70, 3)) << mode;
        EXPECT_EQ(DrawFlat(0, C16(9, 40, 3), C16(20, 30, 10), mode, 0), C16(20, 30, 10)) << mode;
    }
    // A black tint: mode 0 stores black, keeping the colour's top byte.
    EXPECT_EQ(DrawFlat(1, C32(200, 100, 50, 0xAB), C32(1, 2, 3, 4), 0, 255, 0), C32(0, 0, 0, 0xAB));
    EXPECT_EQ(DrawFlat(0, C16(31, 63, 31), C16(1, 2, 3), 0, 255, 0), 0u);
    // Modes 1, 4, 10 and 11 keep the top byte; 0 writes the colour's, 3 clears it.
    for (int mode : {1, 4, 10, 11}) EXPECT_EQ(DrawFlat(1, C32(9, 9, 9, 1), C32(90, 90, 90, 0x5A), mode, 100) >> 24, 0x5Au);
    EXPECT_EQ(DrawFlat(1, C32(9, 9, 9, 1), C32(90, 90, 90, 0x5A), 0, 100) >> 24, 1u);
    EXPECT_EQ(DrawFlat(1, C32(9, 9, 9, 1), C32(90, 90, 90, 0x5A), 3, 100) >> 24, 0u);
    // 32-bit mode 1 divides by 256, 16-bit by 255 with truncation.
    EXPECT_EQ(DrawFlat(1, C32(200, 0, 0), C32(100, 0, 0), 1, 128), C32(150, 0, 0));
    EXPECT_EQ(DrawFlat(0, C16(0, 0, 0), C16(31, 63, 31), 1, 128), C16(16, 32, 16));
}

// The flat fill tints the colour first, so mode 10 inverts the tinted
// colour (the textured paths invert the texel, then tint).
TEST(FlatTriangle, InvertAppliesToTheTintedColour) {
    EXPECT_EQ(DrawFlat(1, C32(255, 255, 255), C32(0, 0, 0), 10, 255, 0x000000), C32(254, 254, 254));
    Texel t;
    t.word = C32(255, 255, 255);
    t.tint = 0x000000;
    EXPECT_EQ(DrawTexel(1, t, C32(0, 0, 0), 10, 255), C32(0, 0, 0));
    EXPECT_EQ(DrawFlat(0, C16(31, 63, 31), 0, 10, 255, 0x000000), C16(31, 63, 31));
}

TEST(FlatTriangle, SixteenBitColourKeepsItsLowWord) {
    for (uint32_t colour : {0x12345u, 0xFFFF0000u | C16(3, 4, 5), 0xABCD0000u}) {
        EXPECT_EQ(DrawFlat(0, colour, 0x1111, 0, 255, 0x808080), DrawFlat(0, colour & 0xFFFF, 0x1111, 0, 255, 0x808080));
        EXPECT_EQ(DrawFlat(0, colour, 0x1111, 2, 200), DrawFlat(0, colour & 0xFFFF, 0x1111, 2, 200));
    }
}

// --- 16-bit textured rules ----------------------------------------------------------

TEST(TexturedTriangle16, WorkedNumbers) {
    Texel t;
    t.word = 0xFFFF;
    EXPECT_EQ(DrawTexel(0, t, 0, 1, 128), C16(15, 31, 15));
    t.word = 0;
    EXPECT_EQ(DrawTexel(0, t, 0xFFFF, 1, 128), C16(16, 32, 16));
    EXPECT_EQ(DrawTexel(0, t, C16(31, 0, 0), 1, 128), C16(16, 0, 0));
    t.word = 0xFFFF;
    EXPECT_EQ(DrawTexel(0, t, 0xFFFF, 11, 255), C16(30, 62, 30));
    EXPECT_EQ(DrawTexel(0, t, C16(16, 32, 16), 11, 255), C16(15, 31, 15));
    t.word = 0;
    EXPECT_EQ(DrawTexel(0, t, C16(5, 6, 7), 10, 255), C16(31, 63, 31));
    t.word = C16(31, 0, 0);
    EXPECT_EQ(DrawTexel(0, t, 0, 10, 255), C16(0, 63, 31));
    t.tint = 0;
    EXPECT_EQ(DrawTexel(0, t, C16(9, 9, 9), 10, 255), 0u);

    // The alpha byte: a black opaque texel in mode 1 with and without the key.
    Texel a;
    a.sourceClass = 2;
    a.word = 0;
    a.alpha = 255;
    a.trans = 1;
    EXPECT_EQ(DrawTexel(0, a, 0xFFFF, 1, 128), C16(16, 32, 16));
    a.trans = 0;
    EXPECT_EQ(DrawTexel(0, a, 0xFFFF, 1, 128), C16(15, 31, 15));
    // Mode 11's green keeps five more bits with a white tint and an alpha.
    a.word = C16(0, 62, 0);
    a.alpha = 200;
    EXPECT_EQ((DrawTexel(0, a, C16(0, 40, 0), 11, 254) >> 5) & 63, 39u);
    a.tint = 0xFFFFFE;
    EXPECT_EQ((DrawTexel(0, a, C16(0, 40, 0), 11, 254) >> 5) & 63, 38u);
    a.tint = 0xFFFFFF;
    a.word = C16(31, 0, 0);
    a.alpha = 128;
    EXPECT_EQ(DrawTexel(0, a, 0, 1, 200) >> 11, 12u);
    a.level = 255;
    a.alpha = 254;
    EXPECT_EQ(DrawTexel(0, a, 0, 1, 254) >> 11, 30u);
    a.word = 0;
    EXPECT_EQ(DrawTexel(0, a, C16(31, 0, 0), 1, 254) >> 11, 0u);

    // Copy with an alpha source: key on stores the opaque texel, key off mixes it.
    Texel c;
    c.sourceClass = 2;
    c.word = 0xFFFF;
    c.trans = 1;
    EXPECT_EQ(DrawTexel(0, c, 0, 0, 9), 0xFFFFu);
    c.trans = 0;
    EXPECT_EQ(DrawTexel(0, c, 0, 0, 9), C16(30, 62, 30));
    // An alpha-0 texel under the key changes nothing in any mode.
    c.trans = 1;
    c.alpha = 0;
    EXPECT_EQ(DrawTexel(0, c, C16(7, 7, 7), 4, 9), C16(7, 7, 7));
    for (int mode : {0, 2, 3, 10}) EXPECT_EQ(DrawTexel(0, c, C16(7, 7, 7), mode, 200), C16(7, 7, 7)) << mode;
    EXPECT_EQ(DrawTexel(0, c, C16(7, 7, 7), 11, 200), C16(7, 7, 7));

    // Blend-graph level 128 over white, level 0 keeps the pixel.
    Texel g;
    g.word = 0;
    g.level = 128;
    EXPECT_EQ(DrawTexel(0, g, 0xFFFF, 0, 9), C16(15, 31, 15));
    g.level = 0;
    EXPECT_EQ(DrawTexel(0, g, C16(3, 4, 5), 0, 9), C16(3, 4, 5));
    // Tint red 255, green 0, blue 255 copies white as magenta.
    Texel m;
    m.word = 0xFFFF;
    m.tint = 0xFF00FF;
    EXPECT_EQ(DrawTexel(0, m, 0, 0, 9), C16(31, 0, 31));
    m.tint = 0xFFFFFF;
    EXPECT_EQ(DrawTexel(0, m, 0, 2, 128), C16(15, 31, 15));

    // Add with alpha and a tint: the alpha scales before the tint without a
    // graph and after it with one.
    Texel r;
    r.sourceClass = 2;
    r.word = C16(31, 0, 0);
    r.alpha = 200;
    r.tint = 0x80FFFF;
    EXPECT_EQ(DrawTexel(0, r, 0, 2, 255), C16(12, 0, 0));
    r.level = 255;
    EXPECT_EQ(DrawTexel(0, r, 0, 2, 255), C16(11, 0, 0));

    // The key compares the texel before mode 10 inverts it; above 0xFFFF it never matches.
    Texel k;
    k.word = 0x1234;
    k.transColor = 0x1234;
    k.trans = 1;
    EXPECT_EQ(DrawTexel(0, k, 0x0F0F, 10, 255), 0x0F0Fu);
    k.transColor = 0x11234;
    EXPECT_EQ(DrawTexel(0, k, 0x0F0F, 0, 255), 0x1234u);
}

// --- 32-bit textured rules ----------------------------------------------------------

TEST(TexturedTriangle32, WorkedNumbers) {
    Texel t;
    t.word = C32(0, 0, 200, 0x11);
    EXPECT_EQ(DrawTexel(1, t, C32(0, 0, 100, 0x22), 1, 128), C32(0, 0, 150, 0x22));
    t.word = C32(0, 0, 55);
    EXPECT_EQ(DrawTexel(1, t, 0, 10, 128) & 0xFF, 100u);
    t.word = C32(0, 0, 128);
    EXPECT_EQ(DrawTexel(1, t, C32(0, 0, 200), 11, 255) & 0xFF, 100u);
    t.word = 0;
    EXPECT_EQ(DrawTexel(1, t, 0, 10, 255) & 0xFF, 254u);
    t.word = C32(0, 0, 255);
    EXPECT_EQ(DrawTexel(1, t, C32(0, 0, 255), 11, 255) & 0xFF, 254u);
    EXPECT_EQ(DrawTexel(1, t, 0, 1, 254) & 0xFF, 253u);

    Texel a;
    a.sourceClass = 2;
    a.word = C32(0, 0, 255, 128);
    EXPECT_EQ(DrawTexel(1, a, 0, 1, 200) & 0xFF, 99u);
    a.word = C32(0, 0, 0, 254);
    a.level = 255;
    EXPECT_EQ(DrawTexel(1, a, C32(0, 0, 200), 1, 254) & 0xFF, 3u);
    a.word = C32(0, 0, 255, 254);
    EXPECT_EQ(DrawTexel(1, a, C32(0, 0, 255), 1, 254) & 0xFF, 255u);

    // Mode 0: graph 255 gives 254; alpha 255 copies under the key and mixes without it.
    Texel g;
    g.word = C32(0, 0, 255);
    g.level = 255;
    EXPECT_EQ(DrawTexel(1, g, 0, 0, 9) & 0xFF, 254u);
    g.level = 0;
    EXPECT_EQ(DrawTexel(1, g, C32(1, 2, 3, 4), 0, 9), C32(1, 2, 3, 4));
    Texel c;
    c.sourceClass = 2;
    c.word = C32(0, 0, 255, 255);
    EXPECT_EQ(DrawTexel(1, c, 0, 0, 9), C32(0, 0, 254));
    c.trans = 1;
    EXPECT_EQ(DrawTexel(1, c, 0, 0, 9), C32(0, 0, 255, 255));
    // Mode 0 copies the texel's top byte with a white tint, keeps the target's with another.
    Texel w;
    w.word = C32(10, 20, 30, 0x77);
    EXPECT_EQ(DrawTexel(1, w, C32(0, 0, 0, 0x33), 0, 9), C32(10, 20, 30, 0x77));
    w.tint = 0xFFFFFE;
    EXPECT_EQ(DrawTexel(1, w, C32(0, 0, 0, 0x33), 0, 9) >> 24, 0x33u);

    // Mode 2: alpha 255 without the key adds 253 for 255, with it 255.
    Texel add;
    add.sourceClass = 2;
    add.word = C32(0, 0, 255, 255);
    EXPECT_EQ(DrawTexel(1, add, 0, 2, 255) & 0xFF, 253u);
    add.trans = 1;
    EXPECT_EQ(DrawTexel(1, add, 0, 2, 255) & 0xFF, 255u);
    // A contribution of 0 keeps the colours and clears the top byte.
    Texel zero;
    zero.word = C32(200, 200, 200);
    zero.level = 0;
    EXPECT_EQ(DrawTexel(1, zero, C32(5, 6, 7, 0x44), 2, 255), C32(5, 6, 7));

    // Mode 4: 255 x 255 = 254, 128 over 200 = 100; alpha 0 under the key leaves the pixel.
    Texel m;
    m.word = C32(255, 255, 128);
    EXPECT_EQ(DrawTexel(1, m, C32(255, 255, 200), 4, 9), C32(254, 254, 100));
    Texel m0;
    m0.sourceClass = 2;
    m0.word = C32(255, 255, 255, 0);
    m0.trans = 1;
    EXPECT_EQ(DrawTexel(1, m0, C32(9, 9, 9, 0x66), 4, 9), C32(9, 9, 9, 0x66));
    for (int mode : {0, 1, 2, 3}) EXPECT_EQ(DrawTexel(1, m0, C32(9, 9, 9, 0x66), mode, 200), C32(9, 9, 9, 0x66));
    for (int mode : {10, 11}) EXPECT_EQ(DrawTexel(1, m0, C32(9, 9, 9, 0x66), mode, 200), C32(9, 9, 9, 0x66));

    // The key is the whole word: the same colour with another top byte is drawn.
    Texel k;
    k.word = C32(1, 2, 3, 0x10);
    k.transColor = C32(1, 2, 3, 0x20);
    k.trans = 1;
    EXPECT_EQ(DrawTexel(1, k, 0, 0, 9), C32(1, 2, 3, 0x10));
    k.transColor = k.word;
    EXPECT_EQ(DrawTexel(1, k, 0, 0, 9), 0u);
}

// --- Palette sources -----------------------------------------------------------------

TEST(PaletteTriangle, SubtractAtParameterZeroStillDraws) {
    Texel t;
    t.sourceClass = 0;
    t.word = C16(20, 20, 20);
    EXPECT_EQ(DrawTexel(0, t, 0, 3, 0), C16(1, 0, 0));
    EXPECT_EQ(DrawTexel(0, t, 0xFFFF, 3, 0), C16(31, 62, 31));
    t.word = C32(20, 20, 20);
    EXPECT_EQ(DrawTexel(1, t, C32(100, 50, 25, 0x99), 3, 0), C32(101, 51, 25));
    // Not for a plain source.
    Texel plain;
    plain.word = C32(20, 20, 20);
    EXPECT_EQ(DrawTexel(1, plain, C32(100, 50, 25, 0x99), 3, 0), C32(100, 50, 25, 0x99));
}

TEST(PaletteTriangle, KeyComparesTheIndex) {
    Texel t;
    t.sourceClass = 0;
    t.word = C32(1, 2, 3, 0x40);
    t.trans = 1;
    t.transColor = 1;  // the index the texel holds
    EXPECT_EQ(DrawTexel(1, t, C32(9, 9, 9), 0, 9), C32(9, 9, 9));
    t.transColor = C32(1, 2, 3, 0x40);  // the colour: never an index
    EXPECT_EQ(DrawTexel(1, t, C32(9, 9, 9), 0, 9), C32(1, 2, 3, 0x40));
    t.transColor = 0xFFFF;
    EXPECT_EQ(DrawTexel(0, t, 0, 0, 9), C16(0, 0, 0) | (C32(1, 2, 3, 0x40) & 0xFFFF));
    // Other variants of mode 0 keep the target's top byte.
    t.transColor = 7;
    t.tint = 0xFEFEFE;
    EXPECT_EQ(DrawTexel(1, t, C32(9, 9, 9, 0x55), 0, 9) >> 24, 0x55u);
}

// --- Refused draws ------------------------------------------------------------------

TEST(TriangleRefusals, UnsoundInputDrawsNothing) {
    SetTriangleState(0, 255);
    Image target(16, 16, MEMIMG_KIND_32BIT, 0, 0);
    Image source(4, 4, MEMIMG_KIND_32BIT, 0, 0);
    Fill(source, C32(50, 60, 70));
    const int vt[12] = {0, 0, 0, 0, 12, 0, 4, 0, 0, 12, 0, 4};
    auto untouched = [&] {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (PixelOf(target, x, y) != 0) return false;
        return true;
    };
    // Coordinates that would wrap in 18-bit fixed point, target or texel.
    for (int i : {0, 1, 6, 7}) {
        int far[12];
        std::copy(vt, vt + 12, far);
        far[i] = i < 2 ? 8192 : -8193;
        FillTexturedTriangleMemImg(&target.m, &source.m, far, 0, nullptr, 0);
        EXPECT_TRUE(untouched()) << i;
    }
    // A blend graph smaller than the source.
    Image small(3, 4, MEMIMG_KIND_8BIT, 0, 0);
    FillTexturedTriangleMemImg(&target.m, &source.m, vt, 0, &small.m, 0);
    EXPECT_TRUE(untouched());
    // A source too wide for 18-bit texel columns.
    Image wide(8193, 1, MEMIMG_KIND_32BIT, 0, 0);
    FillTexturedTriangleMemImg(&target.m, &wide.m, vt, 0, nullptr, 0);
    EXPECT_TRUE(untouched());
    // Mismatched kinds, palette and alpha targets, an undrawn mode, a stale image.
    Image source16(4, 4, MEMIMG_KIND_RGB565, 0, 0);
    FillTexturedTriangleMemImg(&target.m, &source16.m, vt, 0, nullptr, 0);
    EXPECT_TRUE(untouched());
    Image alphaTarget(16, 16, MEMIMG_KIND_32BIT, 0, 1);
    FillTexturedTriangleMemImg(&alphaTarget.m, &source.m, vt, 0, nullptr, 0);
    FillTexturedTriangleMemImg(&alphaTarget.m, nullptr, vt, 0, nullptr, 0xFFFFFF);
    for (size_t i = 0; i < alphaTarget.Bytes(); ++i) ASSERT_EQ(alphaTarget.m.base->pixelMemory[i], 0);
    SetBlendModeParam(7, 255);
    FillTexturedTriangleMemImg(&target.m, &source.m, vt, 0, nullptr, 0);
    FillTexturedTriangleMemImg(&target.m, nullptr, vt, 0, nullptr, 0xFFFFFF);
    EXPECT_TRUE(untouched());
    SetBlendModeParam(0, 255);
    MEMIMG stale = source.m;
    stale.magic = 0;
    FillTexturedTriangleMemImg(&target.m, &stale, vt, 0, nullptr, 0);
    QuadBlitMemImg(&target.m, &stale, vt, 0, nullptr);
    FillTexturedTriangleMemImg(&target.m, &source.m, nullptr, 0, nullptr, 0);
    EXPECT_TRUE(untouched());
    // The same draw in range does draw.
    FillTexturedTriangleMemImg(&target.m, &source.m, vt, 0, nullptr, 0);
    EXPECT_EQ(PixelOf(target, 1, 1), C32(50, 60, 70));
}

// A draw area beyond the target is cut to the target's size.
TEST(TriangleRefusals, DrawAreaLargerThanTheTargetStaysInside) {
    Image parent(20, 20, MEMIMG_KIND_RGB565, 0, 0);
    MEMIMG view{};
    ASSERT_EQ(CreateMemImgView(&view, &parent.m, 5, 5, 6, 6), 0);
    SetTriangleState(0, 255, 1000);
    DrawArea[0] = DrawArea[1] = -100;
    const int vt[12] = {-50, -50, 0, 0, 60, -50, 0, 0, -50, 60, 0, 0};
    FillTexturedTriangleMemImg(&view, nullptr, vt, 0, nullptr, 0xFFFF);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inView = x >= 5 && x < 11 && y >= 5 && y < 11;
            EXPECT_EQ(PixelOf(parent, x, y), inView ? 0xFFFFu : 0u) << x << "," << y;
        }
    ReleaseMemImg(&view);
}

}  // namespace
