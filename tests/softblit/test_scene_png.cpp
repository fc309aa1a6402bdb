// A small scene drawn with every kind of software draw, saved as PNG (into
// $SOFTBLIT_PNG_DIR when set, else a temporary folder) for a look by eye,
// with checks of what must hold in it.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
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


// Draws the scene on target: gradient sky (stretched), soft balls with
// alpha, tinted and mirrored copies, additive glow, a palette checker with
// keying, and a wipe through a blend image.
void DrawScene(Image& target) {
    const int kind = target.m.base->pixelKind;
    BuildBlendTables();
    SetSoftwareDrawTarget(&target.m);
    ResetSoftwareDrawState();

    Image sky(1, 60, kind, 0, 0);
    for (int y = 0; y < 60; ++y) WritePixel(sky.m, 0, y, Colour(kind, 20 + y, 40 + 2 * y, 120 + 2 * y));
    const int skyRect[4] = {0, 0, target.m.width, target.m.height};
    StretchBlitToDrawMemImg(&sky.m, skyRect, 0);

    Image ball(32, 32, kind, 0, 1);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const double d = std::hypot(x - 15.5, y - 15.5) / 16.0;
            const uint32_t a = d >= 1.0 ? 0 : static_cast<uint32_t>(255 * (1.0 - d * d));
            const uint32_t c = Colour(kind, 255, 160 - 4 * y, 40 + 6 * x);
            if (kind == MEMIMG_KIND_32BIT) {
                WritePixel(ball.m, x, y, c | (a << 24));
            } else {
                WritePixel(ball.m, x, y, c | (a << 16));
            }
        }
    for (int i = 0; i < 4; ++i) BlitToDrawMemImg(&ball.m, 10 + 40 * i, 10, 1);
    SetDrawTint(120, 255, 160);
    BlitToDrawMemImg(&ball.m, 10, 50, 1);
    SetDrawTint(255, 255, 255);
    const int big[4] = {90, 50, 154, 114};
    StretchBlitToDrawMemImg(&ball.m, big, 1);
    const int mirrored[4] = {218, 50, 170, 98};
    StretchBlitToDrawMemImg(&ball.m, mirrored, 1);

    SetBlendModeParam(BlendAdd, 200);
    BlitToDrawMemImg(&ball.m, 230, 20, 1);
    BlitToDrawMemImg(&ball.m, 245, 30, 1);
    SetBlendModeParam(BlendCopy, 255);

    Image checker(16, 16, kind, 1, 0, 2);
    for (int i = 0; i < 3; ++i) {
        const uint32_t colours[3][3] = {{250, 250, 250}, {30, 30, 30}, {255, 0, 255}};
        const uint32_t c = Colour(kind, colours[i][0], colours[i][1], colours[i][2]);
        if (kind == MEMIMG_KIND_32BIT) checker.m.base->palette32[i] = c;
        else checker.m.base->palette16[i] = static_cast<uint16_t>(c);
    }
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) checker.m.pixels[y * checker.m.base->pitch + x] = (x / 4 + y / 4) % 2 ? 1 : (x + y) % 7 ? 0 : 2;
    const int checkerRect[4] = {10, 120, 74, 184};
    SetBlendModeParam(BlendAlpha, 128);
    StretchBlitToDrawMemImg(&checker.m, checkerRect, 1);

    Image stripe(120, 40, kind, 0, 0);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x) WritePixel(stripe.m, x, y, Colour(kind, 255 - 2 * x, 2 * x, (y * 6) & 0xFF));
    Image wipe(120, 40, MEMIMG_KIND_8BIT, 0, 0);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x) wipe.m.pixels[y * wipe.m.base->pitch + x] = static_cast<uint8_t>((x * 2 + y) & 0xFF);
    SetBlendModeParam(BlendCopy, 255);
    SetDrawBlendMemImg(&wipe.m, 128, 64);
    BlitToDrawMemImg(&stripe.m, 100, 130, 0);
    SetDrawBlendMemImg(nullptr, 0, 0);

    SetBlendModeParam(BlendMul, 0);
    SetSoftwareDrawArea(230, 120, 300, 200);
    const int shade[4] = {200, 110, 320, 220};
    StretchBlitToDrawMemImg(&stripe.m, shade, 0);
    ResetSoftwareDrawState();
    SetSoftwareDrawTarget(nullptr);
}

std::filesystem::path OutputFolder(const ScopedTempDir& temp) {
    const char* dir = std::getenv("SOFTBLIT_PNG_DIR");
    return dir ? std::filesystem::path(dir) : temp.path();
}

TEST(SoftwareScene, DrawsAndSavesBothPixelKinds) {
    ScopedTempDir temp;
    for (int kind : {MEMIMG_KIND_32BIT, MEMIMG_KIND_RGB565}) {
        Image target(320, 240, kind, 0, 0);
        DrawScene(target);
        const std::filesystem::path file =
            OutputFolder(temp) / (kind == MEMIMG_KIND_32BIT ? "softblit_scene32.png" : "softblit_scene16.png");
        ASSERT_TRUE(SavePng(target.m, file));
        EXPECT_GT(std::filesystem::file_size(file), 1000u);
        // The multiply stays inside its draw area: the sky is one colour
        // along a row beside it, darker inside it.
        EXPECT_EQ(ReadPixel(target.m, 229, 150), ReadPixel(target.m, 305, 150));
        EXPECT_NE(ReadPixel(target.m, 231, 150), ReadPixel(target.m, 229, 150));
        // Keyed palette index 2 leaves the sky; index 0 blends half white.
        EXPECT_EQ(ReadPixel(target.m, 10, 120), ReadPixel(target.m, 5, 120));
        EXPECT_NE(ReadPixel(target.m, 14, 120), ReadPixel(target.m, 5, 120));
    }
}

}  // namespace
