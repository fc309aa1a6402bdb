// 2-D drawing on the GL device read back: each blend mode against its
// formula, tint, turned and mirrored pictures, box and line edges, the
// wipe through a blend graph, capture, and the seam to the software path.
#include "draw_test_util.h"

#include "graphics/draw2d/draw2d_internal.h"
#include "platform/clock.h"

#include <cmath>

using namespace morpotta;

namespace {

constexpr uint32_t kBack = 0xFF6496C8u;  // 100, 150, 200
constexpr int kP = 128;

int Mix(int s, int d, int w) { return d + (s - d) * w / 255; }

struct BlendCase {
    int mode, param;
    uint32_t source;
    uint32_t expected;
};

TEST_F(Draw2DTest, EachBlendModeFollowsItsFormula) {
    const int s[3] = {200, 100, 50}, d[3] = {100, 150, 200};
    auto rgb = [](auto f) {
        int c[3];
        for (int i = 0; i < 3; ++i) c[i] = f(i);
        return PackArgb(255, c[0], c[1], c[2]);
    };
    const BlendCase cases[] = {
        {BlendCopy, 255, 0xFFC86432u, 0xFFC86432u},
        {BlendAlpha, kP, 0xFFC86432u, rgb([&](int i) { return Mix(s[i], d[i], kP); })},
        {BlendAdd, kP, 0xFFC86432u, rgb([&](int i) { return std::min(255, d[i] + s[i] * kP / 255); })},
        {BlendAdd, 255, 0xFFC8C8C8u, rgb([&](int i) { return std::min(255, d[i] + 200); })},  // saturates
        {BlendSub, kP, 0xFFC86432u, rgb([&](int i) { return std::max(0, d[i] - s[i] * kP / 255); })},
        {BlendSub, 255, 0xFFC8C8C8u, rgb([&](int i) { return std::max(0, d[i] - 200); })},  // floors at 0
        {BlendMul, 77, 0xFFC86432u, rgb([&](int i) { return d[i] * s[i] / 255; })},  // the parameter is not read
        {BlendInvert, 255, 0xFFC86432u, rgb([&](int i) { return 255 - s[i]; })},
        {BlendInvert, kP, 0xFFC86432u, rgb([&](int i) { return Mix(255 - s[i], d[i], kP); })},
        {BlendMulAlpha, kP, 0xFFC86432u, rgb([&](int i) { return Mix(d[i] * s[i] / 255, d[i], kP); })},
        {BlendMulAlpha, 0, 0xFFC86432u, kBack},
    };
    int x = 0;
    for (const BlendCase& c : cases) {
        SetBlendModeParam(BlendCopy, 255);
        DrawRectangle(x, 0, x + 16, 16, kBack, 1);
        int g = MakeSolidGraph(8, 8, c.source);
        ASSERT_NE(g, -1);
        SetBlendModeParam(c.mode, c.param);
        EXPECT_EQ(DrawGraphAt(x + 4, 4, g, 0), 0);
        EXPECT_TRUE(ColorNear(Px(x + 8, 8), c.expected, 2)) << "mode " << c.mode << " param " << c.param;
        EXPECT_TRUE(ColorNear(Px(x + 1, 1), kBack, 0)) << "outside the picture, mode " << c.mode;
        x += 16;
    }
    // Modes without a drawing form draw nothing.
    SetBlendModeParam(BlendCopy, 255);
    DrawRectangle(300, 0, 316, 16, kBack, 1);
    int g = MakeSolidGraph(8, 8, 0xFFFFFFFFu);
    for (int mode : {5, 9, 12, -1}) {
        SetBlendModeParam(mode, 255);
        EXPECT_EQ(DrawGraphAt(304, 4, g, 0), 0);
    }
    EXPECT_TRUE(ColorNear(Px(308, 8), kBack, 0));
}

TEST_F(Draw2DTest, PictureAlphaIsAWeightWhenTransparent) {
    DrawRectangle(0, 0, 32, 32, kBack, 1);
    int g = MakeGraphOf(16, 16, [](int x, int) { return x < 8 ? 0x00FF0000u : 0x80FF0000u; });
    SetBlendModeParam(BlendAlpha, 255);
    DrawGraphAt(8, 8, g, 1);
    EXPECT_TRUE(ColorNear(Px(10, 10), kBack, 0));  // alpha 0 leaves the screen alone
    EXPECT_TRUE(ColorNear(Px(20, 10), PackArgb(255, Mix(255, 100, 128), Mix(0, 150, 128), Mix(0, 200, 128)), 2));
}

TEST_F(Draw2DTest, TintMultipliesEveryDrawAndWhiteRestores) {
    int g = MakeSolidGraph(8, 8, 0xFFFFFFFFu);
    SetDrawTint(255, 128, 0);
    DrawGraphAt(0, 0, g, 0);
    DrawRectangle(10, 0, 18, 8, 0xFF808080u, 1);
    EXPECT_TRUE(ColorNear(Px(4, 4), 0xFFFF8000u, 1));
    EXPECT_TRUE(ColorNear(Px(14, 4), PackArgb(255, 128, 64, 0), 1));
    SetDrawTint(300, -5, 255);  // clamped
    EXPECT_EQ(DrawTint, 0xFF00FFu);
    SetDrawTint(255, 255, 255);
    DrawGraphAt(20, 0, g, 0);
    EXPECT_TRUE(ColorNear(Px(24, 4), 0xFFFFFFFFu, 0));
}

TEST_F(Draw2DTest, RotatedScaledAndMirroredPictures) {
    // 20 x 10: red left half, blue right half.
    int g = MakeGraphOf(20, 10, [](int x, int) { return x < 10 ? 0xFFFF0000u : 0xFF0000FFu; });
    ASSERT_EQ(DrawGraphRotatedAt(100, 100, 1.0, 0.0, g, 0, 0), 0);
    EXPECT_TRUE(ColorNear(Px(92, 100), 0xFFFF0000u, 0));
    EXPECT_TRUE(ColorNear(Px(108, 100), 0xFF0000FFu, 0));
    EXPECT_TRUE(ColorNear(Px(100, 106), 0xFF000000u, 0));  // below the picture
    // Mirrored: blue on the left.
    DrawGraphRotatedAt(200, 100, 1.0, 0.0, g, 0, 1);
    EXPECT_TRUE(ColorNear(Px(192, 100), 0xFF0000FFu, 0));
    EXPECT_TRUE(ColorNear(Px(208, 100), 0xFFFF0000u, 0));
    // A quarter turn clockwise: the left half goes up, the picture stands 20 high.
    DrawGraphRotatedAt(300, 100, 1.0, 3.14159265 / 2, g, 0, 0);
    EXPECT_TRUE(ColorNear(Px(300, 92), 0xFFFF0000u, 0));
    EXPECT_TRUE(ColorNear(Px(300, 108), 0xFF0000FFu, 0));
    EXPECT_TRUE(ColorNear(Px(308, 100), 0xFF000000u, 0));
    // Twice the size: 40 wide.
    DrawGraphRotatedAt(400, 100, 2.0, 0.0, g, 0, 0);
    EXPECT_TRUE(ColorNear(Px(382, 100), 0xFFFF0000u, 0));
    EXPECT_TRUE(ColorNear(Px(418, 100), 0xFF0000FFu, 0));
    EXPECT_TRUE(ColorNear(Px(378, 100), 0xFF000000u, 0));
    EXPECT_EQ(DrawGraphRotatedAt(0, 0, NAN, 0.0, g, 0, 0), -1);
}

TEST_F(Draw2DTest, FilterModeChoosesNearestOrBilinearTexels) {
    int g = MakeGraphOf(2, 1, [](int x, int) { return x == 0 ? 0xFFFF0000u : 0xFF0000FFu; });
    SetDrawFilterMode(0);
    DrawGraphRotatedAt(100, 100, 32.0, 0.0, g, 0, 0);  // 64 x 32, each texel 32 wide
    EXPECT_TRUE(ColorNear(Px(95, 100), 0xFFFF0000u, 0));
    EXPECT_TRUE(ColorNear(Px(104, 100), 0xFF0000FFu, 0));
    SetDrawFilterMode(1);
    DrawGraphRotatedAt(300, 100, 32.0, 0.0, g, 0, 0);
    const uint32_t mid = Px(300, 100);
    EXPECT_NEAR(ChannelOf(mid, 16), 128, 12);  // halfway between the texel centres
    EXPECT_NEAR(ChannelOf(mid, 0), 128, 12);
    EXPECT_EQ(GetDrawFilterMode(), 1);
}

TEST_F(Draw2DTest, BoxesAndLinesLeaveRightAndBottomOut) {
    const uint32_t white = MakeScreenColor(255, 255, 255);
    EXPECT_EQ(white, 0xFFFFFFFFu);
    EXPECT_EQ(MakeScreenColor(300, -4, 16), 0xFFFF0010u);
    DrawRectangle(10, 10, 20, 20, white, 1);
    EXPECT_TRUE(ColorNear(Px(10, 10), white, 0));
    EXPECT_TRUE(ColorNear(Px(19, 19), white, 0));
    EXPECT_TRUE(ColorNear(Px(20, 19), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(Px(19, 20), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(Px(9, 10), 0xFF000000u, 0));
    // The outline: one pixel on each side, the inside untouched.
    DrawRectangle(40, 10, 50, 20, white, 0);
    EXPECT_TRUE(ColorNear(Px(40, 15), white, 0));
    EXPECT_TRUE(ColorNear(Px(49, 15), white, 0));
    EXPECT_TRUE(ColorNear(Px(45, 10), white, 0));
    EXPECT_TRUE(ColorNear(Px(45, 19), white, 0));
    EXPECT_TRUE(ColorNear(Px(45, 15), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(Px(50, 15), 0xFF000000u, 0));
    // An outline drawn at half weight counts each pixel once, corners included.
    SetBlendModeParam(BlendAlpha, 128);
    DrawRectangle(60, 10, 70, 20, white, 0);
    EXPECT_TRUE(ColorNear(Px(60, 10), PackArgb(255, 128, 128, 128), 2));
    SetBlendModeParam(BlendCopy, 255);
    // Lines from centre to centre, the end pixel left out.
    DrawLineSegment(10, 30, 20, 30, white, 1);
    EXPECT_TRUE(ColorNear(Px(10, 30), white, 0));
    EXPECT_TRUE(ColorNear(Px(19, 30), white, 0));
    EXPECT_TRUE(ColorNear(Px(20, 30), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(Px(15, 29), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(Px(15, 31), 0xFF000000u, 0));
    DrawLineSegment(30, 40, 30, 50, 0xFF00FF00u, 1);
    EXPECT_TRUE(ColorNear(Px(30, 40), 0xFF00FF00u, 0));
    EXPECT_TRUE(ColorNear(Px(30, 49), 0xFF00FF00u, 0));
    EXPECT_TRUE(ColorNear(Px(30, 50), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(Px(31, 45), 0xFF000000u, 0));
    DrawLineSegment(50, 60, 60, 60, white, 3);  // three rows thick
    EXPECT_TRUE(ColorNear(Px(55, 59), white, 0));
    EXPECT_TRUE(ColorNear(Px(55, 61), white, 0));
    EXPECT_TRUE(ColorNear(Px(55, 62), 0xFF000000u, 0));
}

TEST_F(Draw2DTest, WipeThroughABlendGraphAtThresholds) {
    // The blend graph's byte is its x; the picture is white on black.
    int blend = MakeGraphOf(256, 4, [](int x, int) { return 0xFF000000u | uint32_t(x) * 0x010101u; });
    int picture = MakeSolidGraph(256, 4, 0xFFFFFFFFu);
    ASSERT_EQ(DrawGraphWithBlendGraph(0, 0, picture, 1, blend, 0, 0), 0);
    EXPECT_TRUE(ColorNear(Px(0, 1), 0xFFFFFFFFu, 0));  // threshold 0 shows everything
    EXPECT_TRUE(ColorNear(Px(255, 1), 0xFFFFFFFFu, 0));
    ASSERT_EQ(DrawGraphWithBlendGraph(0, 10, picture, 1, blend, 128, 0), 0);
    EXPECT_TRUE(ColorNear(Px(127, 11), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(Px(128, 11), 0xFF808080u, 1));  // the edge level 128
    EXPECT_TRUE(ColorNear(Px(129, 11), 0xFFFFFFFFu, 0));
    ASSERT_EQ(DrawGraphWithBlendGraph(0, 20, picture, 1, blend, 255, 0), 0);
    EXPECT_TRUE(ColorNear(Px(254, 21), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(Px(255, 21), 0xFF010101u, 1));  // level 1 at most
    // A wide edge ramps: at threshold 128, edge 63 the levels climb over 64 bytes.
    ASSERT_EQ(DrawGraphWithBlendGraph(0, 30, picture, 1, blend, 128, 63), 0);
    const int d = 64, off = 256 - ((65536 / d + 256) * 128) / 256;
    for (int x : {80, 100, 120, 140}) {
        const int level = std::clamp(256 * x / d + off, 0, 255);
        EXPECT_TRUE(ColorNear(Px(x, 31), PackArgb(255, level, level, level), 1)) << x;
    }
    // The setting before the call comes back; a deleted blend graph is refused.
    EXPECT_EQ(GetDrawBlendGraph(), -1);
    EXPECT_EQ(DrawGraphWithBlendGraph(0, 0, picture, 1, 0x7777, 0, 0), -1);
    int small = MakeSolidGraph(4, 4, 0xFFFFFFFFu);
    EXPECT_EQ(DrawGraphWithBlendGraph(0, 0, picture, 1, small, 0, 0), -1);
}

TEST_F(Draw2DTest, CaptureRoundTripAndSizeMismatch) {
    DrawRectangle(0, 0, 320, 480, 0xFFFF0000u, 1);
    DrawLineSegment(0, 100, 640, 100, 0xFF00FF00u, 1);
    int capture = MakeBlankGraph(640, 480, 0);
    ASSERT_NE(capture, -1);
    ASSERT_EQ(CaptureScreenToGraph(0, 0, 640, 480, capture, 1), 0);
    ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
    EXPECT_TRUE(ColorNear(Px(10, 10), 0xFF000000u, 0));
    DrawGraphAt(0, 0, capture, 0);
    EXPECT_TRUE(ColorNear(Px(10, 10), 0xFFFF0000u, 0));
    EXPECT_TRUE(ColorNear(Px(400, 100), 0xFF00FF00u, 0));
    EXPECT_TRUE(ColorNear(Px(400, 101), 0xFF000000u, 0));
    int small = MakeBlankGraph(100, 100, 0);
    EXPECT_EQ(CaptureScreenToGraph(0, 0, 640, 480, small, 1), -1);
    EXPECT_EQ(CaptureScreenToGraph(600, 0, 700, 100, small, 1), -1);  // leaves the screen
    EXPECT_EQ(CaptureScreenToGraph(0, 0, 100, 100, small, 1), 0);
    EXPECT_EQ(CaptureScreenToGraph(0, 0, 100, 100, 0x5555, 1), -1);
    // A part of the screen cleared keeps the rest.
    const DrawRect area = {0, 0, 10, 10};
    ClearDrawScreenToBackColor(&area);
    EXPECT_TRUE(ColorNear(Px(5, 5), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(Px(15, 15), 0xFFFF0000u, 0));
}

TEST_F(Draw2DTest, TheDrawAreaClipsPicturesAndBoxes) {
    ASSERT_EQ(SetDrawArea(100, 100, 200, 150), 0);
    DrawRectangle(0, 0, 640, 480, 0xFFFFFFFFu, 1);
    int g = MakeSolidGraph(64, 64, 0xFFFF0000u);
    DrawGraphAt(180, 130, g, 0);
    EXPECT_TRUE(ColorNear(Px(100, 100), 0xFFFFFFFFu, 0));
    EXPECT_TRUE(ColorNear(Px(150, 149), 0xFFFFFFFFu, 0));
    EXPECT_TRUE(ColorNear(Px(99, 120), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(Px(150, 150), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(Px(199, 149), 0xFFFF0000u, 0));
    EXPECT_TRUE(ColorNear(Px(200, 140), 0xFF000000u, 0));  // the picture is cut at the right edge
    // Reversed corners are put in order, and the screen clear is never clipped.
    SetDrawArea(640, 480, 600, 400);
    DrawRectangle(0, 0, 640, 480, 0xFF00FF00u, 1);
    EXPECT_TRUE(ColorNear(Px(620, 420), 0xFF00FF00u, 0));
    EXPECT_TRUE(ColorNear(Px(150, 120), 0xFFFFFFFFu, 0));
    ClearDrawScreenToBackColor(nullptr);
    EXPECT_TRUE(ColorNear(Px(150, 120), 0xFF000000u, 0));
    SetDrawArea(0, 0, 640, 480);
}

TEST_F(Draw2DTest, BadHandlesAndScreensAreRefused) {
    EXPECT_EQ(DrawGraphAt(0, 0, 0x1234, 0), -1);
    EXPECT_EQ(DrawGraphRotatedAt(0, 0, 1, 0, -1, 0, 0), -1);
    int g = MakeSolidGraph(4, 4, 0xFFFFFFFFu);
    DeleteGraphHandle(g, 0);
    EXPECT_EQ(DrawGraphAt(0, 0, g, 0), -1);  // stale
    EXPECT_EQ(SelectDrawTargetScreen(5), -1);
    EXPECT_EQ(SelectDrawTargetScreen(kDrawScreenBack), 0);
    EXPECT_EQ(SetDrawBlendGraph(0x4444, 0, 0), -1);
}

TEST_F(Draw2DTest, PresentWaitsForTheNextSixtiethOfASecond) {
    platform::UseVirtualClock(true);
    PresentFrame();
    const uint64_t start = platform::ClockMicroseconds();
    PresentFrame();
    const uint64_t one = platform::ClockMicroseconds() - start;
    EXPECT_GE(one, 16000u);
    EXPECT_LE(one, 18000u);
    // A late frame does not make the next one hurry.
    platform::AdvanceVirtualClock(50000);
    const uint64_t late = platform::ClockMicroseconds();
    PresentFrame();
    EXPECT_EQ(platform::ClockMicroseconds(), late);
    PresentFrame();
    EXPECT_GE(platform::ClockMicroseconds() - late, 16000u);
    platform::UseVirtualClock(false);
}

// Without a device the draws reach the software path's entries.
int softwareCalls = 0;
int SoftwareDrawGraph(int, int, int, int) { return ++softwareCalls, 0; }

TEST(Draw2DSoftwareSeam, DrawsWithoutADeviceGoToTheSoftwarePath) {
    SetLogOutput(0);
    ReleaseGraphicsDevice();
    ScopedSoftwareScreen screen;
    int g = MakeBlankGraph(4, 4, 0);
    ASSERT_NE(g, -1);
    SetSoftwareDraw2DPath(nullptr);
    EXPECT_EQ(DrawGraphAt(0, 0, g, 0), -1);  // nothing to draw with
    SoftwareDraw2DPath path = {};
    path.drawGraph = SoftwareDrawGraph;
    SetSoftwareDraw2DPath(&path);
    EXPECT_EQ(DrawGraphAt(0, 0, g, 0), 0);
    EXPECT_EQ(softwareCalls, 1);
    EXPECT_EQ(DrawRectangle(0, 0, 4, 4, 0, 1), -1);  // no entry for boxes
    EXPECT_EQ(DrawGraphAt(0, 0, 0x999, 0), -1);      // handles are checked first
    EXPECT_EQ(softwareCalls, 1);
    SetSoftwareDraw2DPath(nullptr);
    DeleteAllGraphs();
}

}  // namespace
