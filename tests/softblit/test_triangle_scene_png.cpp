// A scene of filled triangles and quadrilateral blits (turned, sheared,
// blended, tinted, keyed, faded through a blend graph), saved as PNG into
// $SOFTBLIT_PNG_DIR when set, else a temporary folder, for a look by eye.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "scoped_temp_dir.h"
#include "memimg_png.h"
#include "softblit_test_util.h"

using softtest::Colour;
using softtest::Image;
using softtest::ReadPixel;
using softtest::SavePng;
using softtest::WritePixel;

namespace {


void Triangle(MEMIMG* target, int x0, int y0, int x1, int y1, int x2, int y2, uint32_t colour) {
    const int vt[12] = {x0, y0, 0, 0, x1, y1, 0, 0, x2, y2, 0, 0};
    FillTexturedTriangleMemImg(target, nullptr, vt, 0, nullptr, colour);
}

// Corners of a w x h image turned by angle about (cx, cy), in quad order.
void TurnedCorners(double cx, double cy, double w, double h, double angle, int corners[8]) {
    const double c = std::cos(angle), s = std::sin(angle);
    const double local[4][2] = {{-w / 2, -h / 2}, {w / 2, -h / 2}, {-w / 2, h / 2}, {w / 2, h / 2}};
    for (int i = 0; i < 4; ++i) {
        corners[2 * i] = static_cast<int>(std::lround(cx + local[i][0] * c - local[i][1] * s));
        corners[2 * i + 1] = static_cast<int>(std::lround(cy + local[i][0] * s + local[i][1] * c));
    }
}

void DrawTriangleScene(Image& target) {
    const int kind = target.m.base->pixelKind;
    MEMIMG* t = &target.m;
    BuildBlendTables();
    SetSoftwareDrawTarget(t);
    ResetSoftwareDrawState();

    // Ground and sky as two triangles each.
    Triangle(t, 0, 0, 320, 0, 0, 150, Colour(kind, 40, 70, 140));
    Triangle(t, 320, 0, 0, 150, 320, 150, Colour(kind, 40, 70, 140));
    Triangle(t, 0, 150, 320, 150, 0, 240, Colour(kind, 60, 110, 50));
    Triangle(t, 320, 150, 0, 240, 320, 240, Colour(kind, 60, 110, 50));
    // Additive light beams.
    SetBlendModeParam(BlendAdd, 90);
    Triangle(t, 160, -20, 40, 240, 110, 240, Colour(kind, 255, 230, 120));
    Triangle(t, 160, -20, 250, 240, 300, 240, Colour(kind, 255, 230, 120));
    SetBlendModeParam(BlendCopy, 255);

    // A checker turned by 30 degrees.
    Image checker(32, 32, kind, 0, 0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            WritePixel(checker.m, x, y,
                       ((x / 8 + y / 8) & 1) ? Colour(kind, 240, 240, 240) : Colour(kind, 200, 40, 40 + 6 * x));
    int corners[8];
    TurnedCorners(60, 60, 64, 64, 0.5236, corners);
    QuadBlitMemImg(t, &checker.m, corners, 0, nullptr);

    // A ball with alpha, sheared, keyed.
    Image ball(32, 32, kind, 0, 1);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const double d = std::hypot(x - 15.5, y - 15.5) / 16.0;
            const uint32_t a = d >= 1.0 ? 0 : static_cast<uint32_t>(255 * (1.0 - d * d));
            const uint32_t c = Colour(kind, 255, 200 - 5 * y, 60 + 6 * x);
            WritePixel(ball.m, x, y, kind == MEMIMG_KIND_32BIT ? c | (a << 24) : c | (a << 16));
        }
    const int sheared[8] = {150, 30, 214, 30, 130, 94, 194, 94};
    QuadBlitMemImg(t, &ball.m, sheared, 1, nullptr);

    // A palette stripe, tinted and half blended, turned the other way.
    Image stripes(16, 16, kind, 1, 0, 2);
    const uint32_t entries[3][3] = {{250, 250, 80}, {40, 40, 200}, {255, 0, 255}};
    for (int i = 0; i < 3; ++i) {
        const uint32_t c = Colour(kind, entries[i][0], entries[i][1], entries[i][2]);
        if (kind == MEMIMG_KIND_32BIT) stripes.m.base->palette32[i] = c;
        else stripes.m.base->palette16[i] = static_cast<uint16_t>(c);
    }
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) stripes.m.pixels[y * stripes.m.base->pitch + x] = (x + y) % 6 < 2 ? 2 : (y / 4) & 1;
    SetBlendModeParam(BlendAlpha, 160);
    SetDrawTint(255, 200, 160);
    TurnedCorners(260, 70, 72, 48, -0.35, corners);
    QuadBlitMemImg(t, &stripes.m, corners, 1, nullptr);
    SetDrawTint(255, 255, 255);

    // A picture faded in through a blend graph (a diagonal wipe).
    Image picture(64, 48, kind, 0, 0);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) WritePixel(picture.m, x, y, Colour(kind, 4 * x, 255 - 5 * y, 128));
    Image wipe(64, 48, MEMIMG_KIND_8BIT, 0, 0);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) wipe.m.pixels[y * wipe.m.base->pitch + x] = static_cast<uint8_t>(x * 3 + y);
    SetBlendModeParam(BlendCopy, 255);
    SetDrawBlendMemImg(&wipe.m, 128, 80);
    const int perspective[8] = {40, 160, 140, 170, 20, 230, 150, 225};
    QuadBlitMemImg(t, &picture.m, perspective, 0, &wipe.m);
    SetDrawBlendMemImg(nullptr, 0, 0);

    // Multiplied shadow, clipped by a draw area.
    SetBlendModeParam(BlendMul, 0);
    SetSoftwareDrawArea(180, 150, 300, 235);
    Triangle(t, 170, 230, 310, 160, 300, 240, Colour(kind, 120, 120, 140));
    ResetSoftwareDrawState();
    SetSoftwareDrawTarget(nullptr);
}

TEST(TriangleScene, DrawsAndSavesBothPixelKinds) {
    ScopedTempDir temp;
    const char* dir = std::getenv("SOFTBLIT_PNG_DIR");
    const std::filesystem::path folder = dir ? std::filesystem::path(dir) : temp.path();
    for (int kind : {MEMIMG_KIND_32BIT, MEMIMG_KIND_RGB565}) {
        Image target(320, 240, kind, 0, 0);
        DrawTriangleScene(target);
        const std::filesystem::path file =
            folder / (kind == MEMIMG_KIND_32BIT ? "softblit_triangles32.png" : "softblit_triangles16.png");
        ASSERT_TRUE(SavePng(target.m, file));
        EXPECT_GT(std::filesystem::file_size(file), 1000u);
        // The turned checker's centre shows a checker texel, not the sky.
        const uint32_t sky = ReadPixel(target.m, 5, 140);
        EXPECT_NE(ReadPixel(target.m, 60, 60), sky);
        // The ball's clear corners leave the sky; its centre covers it.
        EXPECT_EQ(ReadPixel(target.m, 212, 32), ReadPixel(target.m, 225, 15));
        EXPECT_NE(ReadPixel(target.m, 172, 62), ReadPixel(target.m, 225, 15));
        // The shadow stops at its draw area.
        EXPECT_EQ(ReadPixel(target.m, 305, 200), ReadPixel(target.m, 315, 200));
    }
}

}  // namespace
