// Without a graphics device the public drawing functions draw through the
// software path: the frame they present equals the same draws made with
// the software forms directly, and clearing and presenting work.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/baseimage.h"
#include "engine/draw2d.h"
#include "engine/engine.h"
#include "engine/graph.h"
#include "engine/screen.h"
#include "graphics/device/device.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/softimage/drawstate.h"
#include "graphics/software/softwarepath.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "software_engine_fixture.h"

using namespace morpotta;

namespace {

int MakeGradientGraph(int w, int h) {
    BASEIMAGE image;
    if (CreateBaseImageXrgb32(w, h, &image) != 0) return -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            static_cast<uint32_t*>(image.pixels)[y * (image.pitch / 4) + x] =
                0xFF000000u | uint32_t(x * 255 / w) << 16 | uint32_t(y * 255 / h) << 8 | 0x40;
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    FreeBaseImagePixels(&image);
    return graph;
}

std::vector<uint32_t> Presented() {
    const uint32_t* pixels = nullptr;
    int w = 0, h = 0;
    if (!platform::HeadlessPresentedPixels(&pixels, &w, &h)) return {};
    return std::vector<uint32_t>(pixels, pixels + w * h);
}

class SoftwarePublicDraw : public SoftwareEngineTest {};

TEST_F(SoftwarePublicDraw, PublicFunctionsDrawLikeTheSoftwareForms) {
    const int picture = MakeGradientGraph(64, 48), mask = MakeGradientGraph(64, 48);
    ASSERT_NE(picture, -1);
    ASSERT_NE(mask, -1);

    ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
    SetBlendModeParam(1, 160);
    EXPECT_EQ(DrawGraphAt(10, 20, picture, 0), 0);
    EXPECT_EQ(DrawGraphRotatedAt(200, 120, 1.5, 0.6, picture, 0, 0), 0);
    EXPECT_EQ(DrawGraphRotatedAt(400, 120, 1.0, 0.0, picture, 0, 1), 0);
    EXPECT_EQ(DrawGraphWithBlendGraph(300, 300, picture, 0, mask, 128, 32), 0);
    SetBlendModeParam(0, 255);
    EXPECT_EQ(DrawRectangle(500, 400, 540, 440, MakeScreenColor(255, 0, 0), 1), 0);
    EXPECT_EQ(DrawLineSegment(0, 470, 600, 470, MakeScreenColor(0, 255, 0), 1), 0);
    ASSERT_EQ(PresentFrame(), 0);
    const std::vector<uint32_t> viaPublic = Presented();
    ASSERT_EQ(viaPublic.size(), size_t(640 * 480));
    EXPECT_EQ(viaPublic[420 * 640 + 520] & 0xFFFFFF, 0xFF0000u);  // inside the box
    EXPECT_EQ(viaPublic[440 * 640 + 540] & 0xFFFFFF, 0u);         // right and bottom excluded

    const int whole[4] = {0, 0, 640, 480};
    ASSERT_EQ(GetSoftwareDraw2DPath()->clearScreen(whole, 0), 0);
    SetBlendModeParam(1, 160);
    DrawGraphAtSoftware(10, 20, picture, 0);
    DrawGraphRotatedAtSoftware(200, 120, 1.5, 0.6, picture, 0, 0);
    DrawGraphRotatedAtSoftware(400, 120, 1.0, 0.0, picture, 0, 1);
    DrawGraphWithBlendGraphSoftware(300, 300, picture, 0, mask, 128, 32);
    SetBlendModeParam(0, 255);
    DrawRectangleSoftware(500, 400, 540, 440, 0xFF0000, 1);
    DrawLineSegmentSoftware(0, 470, 600, 470, 0x00FF00, 1);
    ASSERT_EQ(PresentSoftwareScreen(), 0);
    EXPECT_TRUE(Presented() == viaPublic);

    EXPECT_EQ(DrawGraphAt(0, 0, picture + 999, 0), -1);
}

// A thick line at half weight from ends far off the screen, as the software
// path draws it: it crosses the whole screen (the part that can show is
// cut out before the walk), and where the squares of its points overlap
// each pixel is still blended once.
TEST_F(SoftwarePublicDraw, AFarThickLineDrawsAndBlendsEachPixelOnce) {
    ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
    SetBlendModeParam(BlendAlpha, 128);
    EXPECT_EQ(DrawLineSegment(-400000, -300000, 400000, 300000, MakeScreenColor(200, 200, 200), 4), 0);
    EXPECT_EQ(DrawLineSegment(-1000000, 100, 1000000, 101, MakeScreenColor(200, 200, 200), 3), 0);
    std::vector<uint32_t> pixels(640 * 480);
    ASSERT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
    std::vector<int> rows(480, 0);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t p = pixels[i] & 0xFFFFFF;
        if (!p) continue;
        ++rows[i / 640];
        // Where the two lines cross, blended twice; elsewhere once.
        const bool crossing = i / 640 >= 98 && i / 640 <= 106;
        if (!crossing) {
            ASSERT_EQ(p, 0x646464u) << i % 640 << "," << i / 640;
        }
    }
    EXPECT_EQ(std::count(rows.begin(), rows.end(), 0), 0) << "the diagonal crosses every row";
    EXPECT_GE(rows[102], 600) << "the long flat line crosses the screen";
}

}  // namespace
