// The software path inside the engine: started headless without a device,
// a scene of pictures, keyed sprites, rotated, mirrored, mapped, stretched
// and wiped graphs, boxes, a filled quadrilateral and lines is drawn through the drawing functions' software forms
// and presented to the window; the picture the window got must equal the
// same scene drawn by the reference model from the same pixels. Both are
// saved as PNG ($SOFTBLIT_PNG_DIR when set, else a temporary folder).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "engine/engine.h"
#include "engine/graph.h"
#include "graphics/device/device.h"
#include "graphics/software/softwarepath.h"
#include "memimg_png.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "scoped_temp_dir.h"
#include "softblit_reference_rotate.h"
#include "softblit_test_util.h"

using namespace morpotta;

using softtest::Image;

namespace {

constexpr int kW = 640, kH = 480;

// A picture as ARGB words, kept for both the engine and the model.
struct Picture {
    int w, h;
    std::vector<uint32_t> argb;
    Picture(int w_, int h_) : w(w_), h(h_), argb(static_cast<size_t>(w_) * h_) {}
    uint32_t& At(int x, int y) { return argb[static_cast<size_t>(y) * w + x]; }
    // A graph of it; transparency keys out the transparent colour.
    int MakeGraph(int transparency) const {
        PixelFormatDesc format;
        SetPixelFormatArgb32(&format);
        BASEIMAGE image;
        if (CreateBaseImageWithFormat(w, h, &format, &image) != 0) return -1;
        for (int y = 0; y < h; ++y)
            std::memcpy(static_cast<uint8_t*>(image.pixels) + y * image.pitch, &argb[static_cast<size_t>(y) * w],
                        static_cast<size_t>(w) * 4);
        const int graph = MakeGraphFromBaseImage(&image, nullptr, transparency);
        FreeBaseImagePixels(&image);
        return graph;
    }
    // The model's image: keyed pictures as keyed words, the rest with alpha.
    void Fill(Image& m, uint32_t key, bool keyed) const {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint32_t v = argb[static_cast<size_t>(y) * w + x];
                if (keyed) v = (v & 0xFFFFFF) == key ? key : v | 0xFF000000u;
                std::memcpy(m.m.pixels + y * m.m.base->pitch + 4 * x, &v, 4);
            }
    }
};

constexpr uint32_t kMagenta = 0xFF00FF;

Picture Background() {
    Picture p(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            p.At(x, y) = 0xFF000000u | ((20 + y / 4) << 16) | ((40 + y / 3) << 8) | (120 + (x * 100) / kW);
    return p;
}

Picture Sprite() {
    Picture p(32, 24);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) {
            const double d = std::hypot((x - 15.5) / 16.0, (y - 11.5) / 12.0);
            p.At(x, y) = d < 1.0 ? 0xFF000000u | ((255 - 5 * y) << 16) | ((60 + 6 * x) << 8) | 40 : 0xFF000000u | kMagenta;
        }
    // An arrow in the corner, so that turns and mirrors show.
    for (int i = 0; i < 8; ++i) p.At(2 + i, 2) = p.At(2, 2 + i) = 0xFF102040u;
    return p;
}

Picture Wipe() {
    Picture p(160, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 160; ++x) p.At(x, y) = 0xFF000000u | static_cast<uint32_t>((x * 255) / 159);
    return p;
}

Picture Checker() {
    Picture p(160, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 160; ++x) p.At(x, y) = ((x / 10 + y / 10) & 1) ? 0xFFF0E0D0u : 0xFF303860u;
    return p;
}

constexpr int kQuad[8] = {380, 20, 470, 40, 360, 100, 460, 120};
constexpr int kFilledQuad[8] = {500, 20, 620, 30, 520, 110, 600, 90};

// The scene's fixed draw list: the engine side.
void DrawWithEngine(int bg, int sprite, int wipe, int wipeMask) {
    DrawGraphAtSoftware(0, 0, bg, 0);
    for (int i = 0; i < 5; ++i) DrawGraphAtSoftware(20 + 50 * i, 30 + 7 * i, sprite, 1);
    DrawGraphAtSoftware(300, 30, sprite, 0);
    SetBlendModeParam(BlendAlpha, 180);
    for (int i = 0; i < 6; ++i)
        DrawGraphRotatedAtSoftware(80.7 + 90 * i, 160.2, 1.0 + 0.5 * i, 0.45 * i - 0.6, sprite, 1, 0);
    for (int i = 0; i < 3; ++i) DrawGraphRotatedAtSoftware(110.0 + 80 * i, 232.9, 1.2, 0.4 * i, sprite, 1, 1);
    SetBlendModeParam(BlendCopy, 255);
    DrawGraphQuadSoftware(kQuad, sprite, 1);
    FillQuadrilateralSoftware(kFilledQuad, 0x80C0F0);
    SetDrawTint(255, 200, 120);
    DrawGraphStretchedSoftware(40, 260, 200, 380, sprite, 1);
    SetDrawTint(255, 255, 255);
    DrawGraphWithBlendGraphSoftware(420, 260, wipe, 0, wipeMask, 128, 64);
    DrawRectangleSoftware(240, 260, 380, 300, 0xC03020, 1);
    DrawRectangleSoftware(250, 320, 370, 400, 0x20E040, 0);
    SetBlendModeParam(BlendAdd, 160);
    DrawRectangleSoftware(300, 280, 420, 360, 0x4060A0, 1);
    SetBlendModeParam(BlendAlpha, 128);
    for (int y = 0; y < 20; ++y) DrawLineSegmentSoftware(0, 440 + y, 640, 440 + y, 0x0000FF + (y * 12 << 8), 1);
    SetBlendModeParam(BlendCopy, 255);
    DrawLineSegmentSoftware(20, 470, 620, 400, 0xFFFFFF, 1);
    DrawLineSegmentSoftware(600, 250, 560, 470, 0xFFFF00, 2);
}

// The scene under every kernel form.
class SoftwarePathScene : public ::testing::TestWithParam<KernelPath> {};

TEST_P(SoftwarePathScene, ThroughTheEngineMatchesTheModel) {
    softtest::ActivePath active(GetParam());
    if (!active.ok()) GTEST_SKIP() << "no " << KernelPathName(GetParam()) << " on this processor";
    platform::UseVirtualClock(true);
    SetLogOutput(0);
    ScopedTempDir dir;
    ASSERT_EQ(SetWindowBackend("headless"), 0);
    ASSERT_EQ(SetGraphicsDeviceChoice("none"), 0);
    ASSERT_EQ(InitializeEngine(), 0);
    ASSERT_EQ(HardwareRenderingActive(), 0);
    ASSERT_NE(GetSoftwareScreen(), nullptr);
    EXPECT_EQ(DrawTargetMemImg, GetSoftwareScreen());

    const Picture bgPic = Background(), spritePic = Sprite(), wipePic = Wipe(), checkerPic = Checker();
    SetTransparentColorRGB(255, 0, 255);
    const int bg = bgPic.MakeGraph(0), sprite = spritePic.MakeGraph(1), wipe = checkerPic.MakeGraph(0);
    const int wipeMask = wipePic.MakeGraph(0);
    ASSERT_NE(bg, -1);
    ASSERT_NE(sprite, -1);
    ASSERT_NE(wipeMask, -1);
    DrawWithEngine(bg, sprite, wipe, wipeMask);
    ASSERT_EQ(PresentSoftwareScreen(), 0);
    const uint32_t* shown = nullptr;
    int w = 0, h = 0;
    ASSERT_TRUE(platform::HeadlessPresentedPixels(&shown, &w, &h));
    ASSERT_EQ(w, kW);
    ASSERT_EQ(h, kH);
    const std::vector<uint32_t> engine(shown, shown + kW * kH);

    // Bad handles and missing targets are refused.
    EXPECT_EQ(DrawGraphAtSoftware(0, 0, -1, 0), -1);
    EXPECT_EQ(DrawGraphRotatedAtSoftware(0, 0, 1, 0, bg + 12345, 0, 0), -1);
    DeleteGraphHandle(sprite, 0);
    EXPECT_EQ(DrawGraphAtSoftware(0, 0, sprite, 0), -1);
    ASSERT_EQ(ShutdownEngine(), 0);
    EXPECT_EQ(GetSoftwareScreen(), nullptr);
    SetGraphicsDeviceChoice("auto");
    SetWindowBackend("sdl2");
    platform::UseVirtualClock(false);

    // The model: the same draws from the same pixels.
    Image screen(kW, kH, 1, 0, 0), bgImg(kW, kH, 1, 0, 0), spriteImg(32, 24, 1, 0, 0, kMagenta);
    Image wipeImg(160, 100, 1, 0, 0), maskImg(160, 100, MEMIMG_KIND_8BIT, 0, 0);
    bgPic.Fill(bgImg, 0, false);
    checkerPic.Fill(wipeImg, 0, false);
    spritePic.Fill(spriteImg, kMagenta, true);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 160; ++x) maskImg.m.pixels[y * maskImg.m.base->pitch + x] = static_cast<uint8_t>(wipePic.argb[y * 160 + x]);
    BuildBlendTables();
    softref::State st;
    st.area[2] = kW, st.area[3] = kH;
    auto box = [&](int x1, int y1, int x2, int y2, uint32_t colour) {
        Image pixel(1, 1, 1, 0, 0);
        std::memcpy(pixel.m.pixels, &colour, 4);
        const int rect[4] = {x1, y1, x2, y2};
        softref::StretchBlit(&screen.m, &pixel.m, rect, 0, nullptr, st);
    };
    softref::Blit(&screen.m, &bgImg.m, 0, 0, 0, nullptr, st);
    for (int i = 0; i < 5; ++i) softref::Blit(&screen.m, &spriteImg.m, 20 + 50 * i, 30 + 7 * i, 1, nullptr, st);
    softref::Blit(&screen.m, &spriteImg.m, 300, 30, 0, nullptr, st);
    st.mode = 1, st.param = 180;
    for (int i = 0; i < 6; ++i)
        softref::RotateBlit(&screen.m, &spriteImg.m, static_cast<int>(80.7 + 90 * i), 160,
                            static_cast<float>(0.45 * i - 0.6), static_cast<float>(1.0 + 0.5 * i), 1, nullptr, st);
    for (int i = 0; i < 3; ++i) {
        const auto m = softref::MapRotation(&screen.m, &spriteImg.m, 110 + 80 * i, 232, 0.4f * static_cast<float>(i),
                                            1.2f, st, true);
        ASSERT_TRUE(m);
        const int order[4] = {3, 0, 2, 1};
        int corners[8];
        for (int k = 0; k < 4; ++k) corners[2 * k] = m->corner[order[k]][0] / 262144, corners[2 * k + 1] = m->corner[order[k]][1] / 262144;
        softref::QuadBlit(&screen.m, &spriteImg.m, corners, 1, nullptr, st);
    }
    st.mode = 0, st.param = 255;
    softref::QuadBlit(&screen.m, &spriteImg.m, kQuad, 1, nullptr, st);
    const int filled[16] = {500, 20, 0, 0, 620, 30, 0, 0, 520, 110, 0, 0, 600, 90, 0, 0};
    softref::FillQuad(&screen.m, nullptr, filled, 0, nullptr, 0x80C0F0, st);
    st.tintGreen = 200, st.tintBlue = 120;
    const int stretch[4] = {40, 260, 200, 380};
    softref::StretchBlit(&screen.m, &spriteImg.m, stretch, 1, nullptr, st);
    st.tintGreen = st.tintBlue = 255;
    softref::BuildLevel(st, 128, 64);
    softref::Blit(&screen.m, &wipeImg.m, 420, 260, 0, &maskImg.m, st);
    box(240, 260, 380, 300, 0xC03020);
    box(250, 320, 370, 321, 0x20E040);
    box(250, 399, 370, 400, 0x20E040);
    box(250, 321, 251, 399, 0x20E040);
    box(369, 321, 370, 399, 0x20E040);
    st.mode = 2, st.param = 160;
    box(300, 280, 420, 360, 0x4060A0);
    st.mode = 1, st.param = 128;
    for (int y = 0; y < 20; ++y) box(0, 440 + y, 640, 441 + y, 0x0000FF + (y * 12 << 8));
    st.mode = 0, st.param = 255;
    // Lines by the model's own walk: every point from the start toward the end.
    auto line = [&](int x1, int y1, int x2, int y2, uint32_t colour, int t) {
        const int n = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
        int x = x1, y = y1, err = std::abs(x2 - x1) - std::abs(y2 - y1);
        for (int k = 0; k < n * 2 && (x != x2 || y != y2); ++k) {
            box(x, y, x + t, y + t, colour);
            const int e2 = 2 * err;
            if (e2 >= -std::abs(y2 - y1)) err -= std::abs(y2 - y1), x += x1 < x2 ? 1 : -1;
            if (e2 <= std::abs(x2 - x1)) err += std::abs(x2 - x1), y += y1 < y2 ? 1 : -1;
        }
    };
    line(20, 470, 620, 400, 0xFFFFFF, 1);
    line(600, 250, 560, 470, 0xFFFF00, 2);
    std::vector<uint32_t> model(kW * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            uint32_t v;
            std::memcpy(&v, screen.m.pixels + y * screen.m.base->pitch + 4 * x, 4);
            model[y * kW + x] = v & 0xFFFFFF;
        }

    const char* env = std::getenv("SOFTBLIT_PNG_DIR");
    const std::filesystem::path out = env ? std::filesystem::path(env) : dir.path();
    Image shownImg(kW, kH, 1, 0, 0);
    for (int y = 0; y < kH; ++y) std::memcpy(shownImg.m.pixels + y * shownImg.m.base->pitch, &engine[y * kW], kW * 4);
    EXPECT_TRUE(softtest::SavePng(shownImg.m, out / ("software_path_scene_" + softtest::PathLabel(GetParam()) + ".png")));
    EXPECT_TRUE(softtest::SavePng(screen.m, out / "software_path_expected.png"));
    long mismatches = 0, first = -1;
    for (int i = 0; i < kW * kH; ++i)
        if (engine[i] != model[i] && mismatches++ == 0) first = i;
    EXPECT_EQ(mismatches, 0) << "first at " << first % kW << "," << first / kW << ": engine " << std::hex
                             << engine[first] << " model " << model[first];
}

INSTANTIATE_TEST_SUITE_P(AllForms, SoftwarePathScene, ::testing::ValuesIn(softtest::kKernelPaths),
                         [](const ::testing::TestParamInfo<KernelPath>& info) { return softtest::PathLabel(info.param); });

}  // namespace
