// Whole frames: one with a picture, a turned sprite, Japanese text with an
// edge and a lit billboard saved as PNG and checked at known pixels, and
// the same frame drawn again after a forced device loss.
#include "draw_test_util.h"

#include "engine/font.h"
#include "graphics/graph_internal.h"
#include "graphics/screen/device_restore.h"
#include "scoped_temp_dir.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace morpotta;

namespace {

// "モルポッタ" in code page 932.
const char kTitle[] = "\x83\x82\x83\x8b\x83\x7c\x83\x62\x83\x5e";

struct Scene {
    int picture = -1, sprite = -1, font = -1;
};

Scene MakeScene() {
    Scene s;
    // A 200 x 150 picture: a red to blue gradient across, green rising downward.
    s.picture = MakeGraphOf(200, 150, [](int x, int y) {
        return PackArgb(255, 255 - x * 255 / 199, y * 255 / 149, x * 255 / 199);
    });
    // A 64 x 32 sprite: yellow with a transparent corner square.
    s.sprite = MakeGraphOf(64, 32, [](int x, int y) {
        return x < 12 && y < 12 ? 0x00000000u : (x < 32 ? 0xFFFFFF00u : 0xFF00FFFFu);
    });
    s.font = CreateFontToHandle(nullptr, 40, -1, kFontTypeAntialias | kFontTypeEdge, -1, 2, 0, -1, -1);
    return s;
}

void DrawScene(const Scene& s) {
    ClearDrawScreenToBackColor(nullptr);
    DrawRectangle(0, 0, 640, 480, MakeScreenColor(24, 32, 48), 1);
    DrawGraphAt(20, 20, s.picture, 0);
    DrawGraphRotatedAt(420, 100, 2.0, 3.14159265 / 6, s.sprite, 1, 0);
    DrawTextWithFont(40, 400, kTitle, MakeScreenColor(255, 255, 255), s.font, MakeScreenColor(255, 0, 0), 0);
    const float eye[3] = {0, 30, -120}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0};
    SetCameraEyeTargetUp(eye, target, up);
    SetLightingEnabled(1);
    SetDefaultLightDirection(1, -0.3f, 0.5f);  // from the side: partly lit
    const float position[3] = {20, -10, 0};
    DrawGraphBillboard3D(position, 0.5f, 0.5f, 40, 0, s.picture, 0, 0);
}

// Reads an RGB PNG written by SaveDrawScreenToPng into 0xFFRRGGBB rows.
std::vector<uint32_t> ReadPng(const std::string& path, int* width, int* height) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    std::vector<uint32_t> out;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
    image.format = PNG_FORMAT_BGRA;
    out.resize(size_t(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, out.data(), 0, nullptr)) out.clear();
    *width = int(image.width), *height = int(image.height);
    return out;
}

TEST_F(Draw2DTest, AFrameWithPictureSpriteTextAndBillboardSavedAsPng) {
    Scene s = MakeScene();
    ASSERT_NE(s.picture, -1);
    ASSERT_NE(s.font, -1);
    DrawScene(s);
    ScopedTempDir dir;
    const char* keep = std::getenv("MORPOTTA_SCREENSHOT_DIR");
    const std::string path = (keep ? std::string(keep) : dir.path().string()) + "/frame.png";
    ASSERT_EQ(SaveDrawScreenToPng(path.c_str()), 0);
    int w = 0, h = 0;
    std::vector<uint32_t> png = ReadPng(path, &w, &h);
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 480);
    auto at = [&](int x, int y) { return png[size_t(y) * 640 + size_t(x)] | 0xFF000000u; };
    // The saved file holds what the screen holds.
    for (int y = 0; y < 480; y += 37)
        for (int x = 0; x < 640; x += 41) ASSERT_EQ(at(x, y), Px(x, y)) << x << "," << y;
    // Background, and the picture's corners and middle from its gradient.
    EXPECT_TRUE(ColorNear(at(5, 5), 0xFF182030u, 0));
    EXPECT_TRUE(ColorNear(at(20, 20), 0xFFFF0000u, 0));
    EXPECT_TRUE(ColorNear(at(219, 20), 0xFF0000FFu, 0));
    EXPECT_TRUE(ColorNear(at(20, 169), 0xFFFF0000u | 0xFF00u, 0));
    EXPECT_TRUE(ColorNear(at(120, 95), PackArgb(255, 255 - 100 * 255 / 199, 75 * 255 / 149, 100 * 255 / 199), 1));
    // The sprite, twice the size and turned 30 degrees about (420, 100):
    // sprite point (sx, sy) from its centre lands at centre + R(2 * (sx, sy)).
    auto sprite = [](double sx, double sy, int* x, int* y) {
        const double c = std::cos(3.14159265 / 6), s = std::sin(3.14159265 / 6);
        *x = int(std::lround(420 + 2 * (sx * c - sy * s)));
        *y = int(std::lround(100 + 2 * (sx * s + sy * c)));
    };
    int x = 0, y = 0;
    sprite(-10, 5, &x, &y);
    EXPECT_TRUE(ColorNear(at(x, y), 0xFFFFFF00u, 0));  // yellow half
    sprite(20, 5, &x, &y);
    EXPECT_TRUE(ColorNear(at(x, y), 0xFF00FFFFu, 0));  // cyan half
    sprite(-27, -11, &x, &y);
    EXPECT_TRUE(ColorNear(at(x, y), 0xFF182030u, 0));  // the transparent corner
    // The text: white strokes inside a red edge.
    int white = 0, red = 0;
    for (int yy = 395; yy < 450; ++yy)
        for (int xx = 35; xx < 260; ++xx) {
            white += ColorNear(at(xx, yy), 0xFFFFFFFFu, 10) ? 1 : 0;
            red += ColorNear(at(xx, yy), 0xFFFF0000u, 10) ? 1 : 0;
        }
    EXPECT_GT(white, 400);
    EXPECT_GT(red, 400);
    // The billboard: the picture at the projected point, lit (darker than the
    // picture itself, brighter than the light's ambient alone).
    const float position[3] = {20, -10, 0};
    const Vector3 c = WorldToScreenPos(position);
    const uint32_t mid = at(int(c.x), int(c.y));
    const uint32_t flat = PackArgb(255, 255 - 100 * 255 / 199, 75 * 255 / 149, 100 * 255 / 199);
    EXPECT_LT(ChannelOf(mid, 16), ChannelOf(flat, 16));
    EXPECT_GT(ChannelOf(mid, 16), ChannelOf(flat, 16) / 3);
    EXPECT_GT(ChannelOf(mid, 8), 40);
    DeleteFontHandle(s.font);
}

std::vector<std::string> calls;
int hookPicture = -1;
int ReleaseBuffers() { return calls.push_back("release buffers"), 0; }
int RecreateBuffers() { return calls.push_back("recreate buffers"), 0; }
int RestoreTextures() {
    // Graph textures are back before the model textures are refilled.
    calls.push_back(GetGraphTexture(hookPicture) ? "model textures" : "model textures before the graphs");
    return 0;
}
void OnRestore() { calls.push_back("game callback"); }

TEST_F(Draw2DTest, AForcedDeviceLossGivesTheSamePictureAndCallsTheHooksInOrder) {
    Scene s = MakeScene();
    DrawScene(s);
    std::vector<uint32_t> before(640 * 480), after(640 * 480);
    ASSERT_EQ(ReadDrawScreenPixels(before.data()), 0);

    hookPicture = s.picture;
    const ModelDeviceLossHooks hooks = {ReleaseBuffers, RecreateBuffers, RestoreTextures};
    SetModelDeviceLossHooks(&hooks);
    SetGraphRestoreHandler(OnRestore);
    calls.clear();
    ASSERT_EQ(RestoreLostGraphicsDevice(), 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"release buffers", "recreate buffers", "model textures",
                                               "game callback"}));
    EXPECT_NE(GetGraphTexture(s.picture), nullptr);
    DrawScene(s);
    ASSERT_EQ(ReadDrawScreenPixels(after.data()), 0);
    int differing = 0;
    for (size_t i = 0; i < before.size(); ++i) differing += before[i] != after[i] ? 1 : 0;
    EXPECT_EQ(differing, 0);
    SetModelDeviceLossHooks(nullptr);
    SetGraphRestoreHandler(nullptr);
    DeleteFontHandle(s.font);
}

TEST(DeviceLoss, NothingToRestoreWithoutADevice) {
    SetLogOutput(0);
    EXPECT_EQ(RestoreLostGraphicsDevice(), -1);
}

}  // namespace
