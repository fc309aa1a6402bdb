// Text without a graphics device: the same strings drawn on the GL device
// and on the software screen of an engine started with device "none" look
// alike (both saved as PNG, into $FONTS_PNG_DIR when set), and the blend
// modes treat a glyph's coverage as its opacity.
#include "draw_test_util.h"

#include "engine/engine.h"
#include "engine/font.h"
#include "graphics/software/softwarepath.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "scoped_temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace morpotta;

namespace {

// "日本語のテキスト" and "あいう" in code page 932.
const char kJapanese[] = "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67";
const char kHiraganaAiu[] = "\x82\xa0\x82\xa2\x82\xa4";

using Frame = std::vector<uint32_t>;

std::filesystem::path PictureDir(const ScopedTempDir& fallback) {
    const char* dir = std::getenv("FONTS_PNG_DIR");
    return dir && *dir ? std::filesystem::path(dir) : fallback.path();
}

// The text scene: edged kanji, the default font, formatted text, text
// blended over a box, tinted text and a vertical line of kana.
void DrawTextScene() {
    ClearDrawScreenToBackColor(nullptr);
    const int edged = CreateFontToHandle(nullptr, 32, -1, kFontTypeAntialias | kFontTypeEdge, -1, 2, 0, -1, -1);
    const int bold = CreateFontToHandle(nullptr, 24, 8, kFontTypeAntialias, -1, -1, 0, -1, -1);
    const int mono = CreateFontToHandle(nullptr, 20, -1, 0, -1, -1, 0, -1, -1);
    EXPECT_EQ(DrawTextWithFont(20, 20, kJapanese, 0xFFFFFFFFu, edged, 0xFF2040C0u, 0), 0);
    EXPECT_EQ(DrawTextAt(20, 80, "Score 0123456789", 0xFFFFFF40u, 0), 0);
    EXPECT_EQ(DrawFormattedText(20, 110, 0xFF40FF40u, "%d pts / %s", 42, "ok"), 0);
    EXPECT_EQ(DrawFormattedTextWithFont(20, 140, 0xFFFF8040u, bold, "Bold %03d", 7), 0);
    EXPECT_EQ(DrawTextWithFont(20, 180, "On/off pixels", 0xFFC0C0FFu, mono, 0, 0), 0);
    EXPECT_EQ(DrawRectangle(300, 60, 600, 200, MakeScreenColor(160, 0, 0), 1), 0);
    SetBlendModeParam(BlendAlpha, 128);
    EXPECT_EQ(DrawTextWithFont(310, 70, kHiraganaAiu, 0xFFFFFFFFu, edged, 0xFF000000u, 0), 0);
    SetBlendModeParam(BlendAdd, 200);
    EXPECT_EQ(DrawTextWithFont(310, 120, "Add", 0xFF4080FFu, bold, 0, 0), 0);
    SetBlendModeParam(BlendCopy, 255);
    SetDrawTint(255, 128, 0);
    EXPECT_EQ(DrawTextWithFont(20, 220, "Tinted", 0xFFFFFFFFu, bold, 0, 0), 0);
    SetDrawTint(255, 255, 255);
    EXPECT_EQ(DrawTextWithFont(600, 230, kHiraganaAiu, 0xFFFFFFFFu, edged, 0xFF808080u, 1), 0);
}

Frame DrawOnGl(const std::filesystem::path& png) {
    Frame frame(size_t(640 * 480));
    SetLogOutput(0);
    EXPECT_TRUE(platform::SelectWindowBackend("sdl2"));
    platform::WindowDesc desc;
    desc.withGl = true;
    desc.visible = false;
    if (platform::Window().open(desc) != 0) return {};
    ResetDeviceStateCache();
    EXPECT_EQ(CreateGraphicsDevice("gl"), 0);
    DeviceViewport vp = {0, 0, kDeviceTargetWidth, kDeviceTargetHeight, 0.0f, 1.0f};
    SendDeviceViewport(&vp);
    BuildBlendTables();
    ResetSoftwareDrawState();
    ResetDraw2DSettings();
    SelectDrawTargetScreen(kDrawScreenBack);
    DrawTextScene();
    EXPECT_EQ(ReadDrawScreenPixels(frame.data()), 0);
    EXPECT_EQ(SaveDrawScreenToPng(png.c_str()), 0);
    DeleteAllFonts();
    FlushPendingDraws();
    Forget2DBatchState();
    ReleaseGraphicsDevice();
    ResetDeviceStateCache();
    platform::Window().close();
    return frame;
}

class SoftwareEngine {
public:
    SoftwareEngine() {
        platform::UseVirtualClock(true);
        SetLogOutput(0);
        ok = SetWindowBackend("headless") == 0 && SetGraphicsDeviceChoice("none") == 0 && InitializeEngine() == 0 &&
             HardwareRenderingActive() == 0;
    }
    ~SoftwareEngine() {
        ShutdownEngine();
        SetGraphicsDeviceChoice("auto");
        SetWindowBackend("sdl2");
        platform::UseVirtualClock(false);
    }
    ScopedTempDir folder;  // the engine's own: tests run side by side
    bool ok;
};

Frame Presented() {
    const uint32_t* pixels = nullptr;
    int w = 0, h = 0;
    if (!platform::HeadlessPresentedPixels(&pixels, &w, &h)) return {};
    Frame frame(pixels, pixels + w * h);
    for (uint32_t& p : frame) p |= 0xFF000000u;
    return frame;
}

int MaxChannelDifference(uint32_t a, uint32_t b) {
    int most = 0;
    for (int shift : {16, 8, 0}) most = std::max(most, std::abs(ChannelOf(a, shift) - ChannelOf(b, shift)));
    return most;
}

int Inked(const Frame& f) {
    int n = 0;
    for (uint32_t p : f) n += (p & 0xFFFFFF) != 0 ? 1 : 0;
    return n;
}

TEST(SoftwareText, LooksLikeTheDevicePathAndIsPresented) {
    ScopedTempDir temp;
    const std::filesystem::path dir = PictureDir(temp);
    const Frame gl = DrawOnGl(dir / "text_gl.png");
    ASSERT_EQ(gl.size(), size_t(640 * 480)) << "no off-screen GL window";

    SoftwareEngine engine;
    ASSERT_TRUE(engine.ok);
    DrawTextScene();
    Frame read(size_t(640 * 480));
    ASSERT_EQ(ReadDrawScreenPixels(read.data()), 0);
    ASSERT_EQ(SaveDrawScreenToPng((dir / "text_software.png").c_str()), 0);
    ASSERT_EQ(PresentFrame(), 0);
    const Frame shown = Presented();
    ASSERT_EQ(shown.size(), read.size());
    EXPECT_TRUE(shown == read);

    // Loosely alike: the same ink, and few pixels that differ at all.
    const int inkGl = Inked(gl), inkSoftware = Inked(read);
    EXPECT_GT(inkGl, 20000);
    EXPECT_NEAR(inkSoftware, inkGl, inkGl / 50);
    int far = 0, near = 0;
    for (size_t i = 0; i < gl.size(); ++i) {
        const int d = MaxChannelDifference(gl[i], read[i]);
        far += d > 24 ? 1 : 0;
        near += d > 3 ? 1 : 0;
    }
    // Both place each glyph texel on a pixel centre; only rounding differs.
    EXPECT_LT(far, inkGl / 1000) << near << " pixels differ by more than 3";
    EXPECT_LT(near, inkGl / 200);
}

}  // namespace

namespace {

// Pixels of the area whose colour is exactly c.
int CountExactly(const Frame& f, int x0, int y0, int x1, int y1, uint32_t c) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += (f[size_t(y) * 640 + size_t(x)] & 0xFFFFFF) == (c & 0xFFFFFF) ? 1 : 0;
    return n;
}

int CountNear(const Frame& f, int x0, int y0, int x1, int y1, uint32_t c, int tolerance) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += ColorNear(f[size_t(y) * 640 + size_t(x)], c, tolerance) ? 1 : 0;
    return n;
}

Frame Screen() {
    Frame f(size_t(640 * 480));
    EXPECT_EQ(ReadDrawScreenPixels(f.data()), 0);
    return f;
}

TEST(SoftwareText, BlendModesWeightColourByCoverage) {
    SoftwareEngine engine;
    ASSERT_TRUE(engine.ok);
    const int font = CreateFontToHandle(nullptr, 32, -1, kFontTypeAntialias, -1, -1, 0, -1, -1);
    ASSERT_NE(font, -1);
    const uint32_t grey = MakeScreenColor(200, 200, 200);
    const int width = GetStringWidthWithFont(kHiraganaAiu, -1, font);
    ASSERT_EQ(width, 96);

    // Multiply: only the strokes darken; the glyphs' boxes keep the grey.
    ASSERT_EQ(DrawTextWithFont(100, 100, kHiraganaAiu, 0xFFFFFFFFu, font, 0, 0), 0);
    const int ink = width * 36 - CountExactly(Screen(), 100, 100, 100 + width, 136, 0);
    DrawRectangle(0, 0, 640, 480, grey, 1);
    SetBlendModeParam(BlendMul, 255);
    ASSERT_EQ(DrawTextWithFont(100, 100, kHiraganaAiu, MakeScreenColor(0, 0, 255), font, 0, 0), 0);
    SetBlendModeParam(BlendCopy, 255);
    Frame f = Screen();
    const int box = width * 36;
    const int untouched = CountExactly(f, 100, 100, 100 + width, 136, grey);
    EXPECT_NEAR(untouched, box - ink, 16);  // the faintest coverage draws nothing on black
    EXPECT_GT(CountNear(f, 100, 100, 100 + width, 136, MakeScreenColor(0, 0, 200), 2), 100);  // full strokes

    // Inverse: the colour is inverted, not the white of the glyph image.
    ClearDrawScreenToBackColor(nullptr);
    SetBlendModeParam(BlendInvert, 255);
    ASSERT_EQ(DrawTextWithFont(100, 100, kHiraganaAiu, MakeScreenColor(255, 255, 0), font, 0, 0), 0);
    SetBlendModeParam(BlendCopy, 255);
    f = Screen();
    EXPECT_GT(CountExactly(f, 100, 100, 100 + width, 136, MakeScreenColor(0, 0, 255)), 100);
    EXPECT_EQ(CountExactly(f, 100, 100, 100 + width, 136, MakeScreenColor(255, 255, 0)), 0);

    // The draw area clips text; the tint and mode are left as they were.
    ClearDrawScreenToBackColor(nullptr);
    SetDrawTint(0, 255, 0);
    SetDrawArea(0, 0, 116, 480);
    ASSERT_EQ(DrawTextWithFont(100, 100, kHiraganaAiu, 0xFFFFFFFFu, font, 0, 0), 0);
    SetDrawArea(0, 0, 640, 480);
    f = Screen();
    EXPECT_GT(CountExactly(f, 100, 100, 116, 136, MakeScreenColor(0, 255, 0)), 10);
    EXPECT_EQ(CountExactly(f, 116, 0, 640, 480, 0), 640 * 480 - 116 * 480);
    EXPECT_EQ(DrawTint, 0x00FF00u);
    EXPECT_EQ(BlendMode, BlendCopy);

    EXPECT_EQ(DrawTextWithFont(0, 0, "x", 0xFFFFFFFFu, font + 12345, 0, 0), -1);
}

}  // namespace
