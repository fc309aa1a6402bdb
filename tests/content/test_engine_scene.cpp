// A generated cat standing on generated blocks, loaded by file name and
// drawn through the engine's public functions on the GL device as the game
// draws them (toon type 1, outline 3.0), saved as PNG for a look
// ($CONTENT_PNG_DIR when set, else a temporary folder).
#include "engine/camera.h"
#include "engine/engine.h"
#include "engine/model.h"
#include "engine/screen.h"
#include "generated_tree.h"
#include "graphics/device/device.h"
#include "graphics/device/devicestate.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <vector>

using namespace morpotta;

namespace {

int LoadAsTheGameDoes(const char* path) {
    int model = LoadModelFile(path);
    if (model < 0) return -1;
    for (int m = 0; m < GetModelMaterialCount(model); ++m) {
        SetModelMaterialType(model, m, 1);
        SetModelMaterialOutlineWidth(model, m, 3.0f);
    }
    return model;
}

TEST(EngineScene, GeneratedCatOnBlocksDrawsOnTheDevice) {
    SetLogOutput(0);
    const std::filesystem::path previous = std::filesystem::current_path();
    ScopedTempDir output;
    std::filesystem::current_path(ContentTreeRoot());  // game paths start with "tpa\"
    SetDoubleStartCheck(0);  // other tests start the engine in the tree too
    ASSERT_EQ(SetWindowBackend("sdl2"), 0);
    ASSERT_EQ(SetGraphicsDeviceChoice("gl"), 0);
    ASSERT_EQ(InitializeEngine(), 0);
    ASSERT_EQ(HardwareRenderingActive(), 1);

    const int cat = LoadAsTheGameDoes("tpa\\neko3D\\nekom_0.mqo");
    ASSERT_GE(cat, 0);
    std::vector<int> blocks;
    for (int i = 0; i < 3; ++i) {
        const int block = LoadAsTheGameDoes("tpa\\mapblock3D\\map_block0_0.mqo");
        ASSERT_GE(block, 0);
        SetModelPosition(block, (i - 1) * 80.0f, -80.0f, 0.0f);
        blocks.push_back(block);
    }
    SetModelPosition(cat, 0.0f, 0.0f, 0.0f);

    const float eye[3] = {60.0f, 120.0f, -320.0f}, target[3] = {0.0f, 0.0f, 0.0f}, up[3] = {0.0f, 1.0f, 0.0f};
    ASSERT_EQ(SetCameraEyeTargetUp(eye, target, up), 0);
    SetDefaultLightDirection(0.2f, -0.7f, 1.0f);

    ASSERT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
    for (int block : blocks) ASSERT_EQ(DrawModel(block), 0);
    ASSERT_EQ(DrawModel(cat), 0);
    std::vector<uint32_t> pixels(640 * 480);
    ASSERT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
    const char* dir = std::getenv("CONTENT_PNG_DIR");
    const std::filesystem::path png = (dir ? std::filesystem::path(dir) : output.path()) / "cat_on_blocks.png";
    EXPECT_EQ(SaveDrawScreenToPng(png.string().c_str()), 0);

    // The lit models cover a good part of the frame below its middle, in
    // more than a few colours (toon bands, block faces, the cat).
    int covered = 0;
    std::set<uint32_t> colours;
    for (int y = 240; y < 480; ++y)
        for (int x = 160; x < 560; ++x) {
            const uint32_t p = pixels[size_t(y) * 640 + size_t(x)] & 0xFFFFFF;
            if (p == 0) continue;
            ++covered;
            colours.insert(p);
        }
    EXPECT_GT(covered, 400 * 240 / 4);
    EXPECT_GT(colours.size(), 8u);

    ShutdownEngine();
    SetGraphicsDeviceChoice("auto");
    SetDoubleStartCheck(1);
    std::filesystem::current_path(previous);
    SetLogOutput(1);
}

// The field draws a model at its cell's grid position (a cat: at its box's
// corner, (x / 32 * 80, 700 - y / 32 * 80)) and turns it about the model's
// origin: a cat facing left is turned half round y, a cat crawling a
// ceiling half round z. Turned or not, it must be drawn in its own cell.
struct ScreenBox {
    int left = 640, top = 480, right = -1, bottom = -1;
    void Add(int x, int y) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
    }
    float CentreX() const { return (left + right) / 2.0f; }
};

class TurnedCat : public ::testing::Test {
protected:
    static constexpr float kDepth = 850.0f;

    void SetUp() override {
        SetLogOutput(0);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(ContentTreeRoot());
        SetDoubleStartCheck(0);  // other tests start the engine in the tree too
        ASSERT_EQ(SetWindowBackend("sdl2"), 0);
        ASSERT_EQ(SetGraphicsDeviceChoice("gl"), 0);
        ASSERT_EQ(InitializeEngine(), 0);
        cat_ = LoadAsTheGameDoes("tpa\\neko3D\\nekox_0.mqo");
        block_ = LoadAsTheGameDoes("tpa\\mapBlock3D\\map_block1_0.mqo");
        ASSERT_GE(cat_, 0);
        ASSERT_GE(block_, 0);
        // Looking straight at cell (4, 6) of the field from in front.
        const float eye[3] = {320, 220, kDepth - 450}, target[3] = {320, 220, kDepth}, up[3] = {0, 1, 0};
        ASSERT_EQ(SetCameraEyeTargetUp(eye, target, up), 0);
        SetDefaultLightDirection(0.2f, -0.7f, 1.0f);
    }
    void TearDown() override {
        ShutdownEngine();
        SetGraphicsDeviceChoice("auto");
        std::filesystem::current_path(previous_);
        SetDoubleStartCheck(1);
        SetLogOutput(1);
    }

    static float WorldX(float pixelX) { return pixelX / 32.0f * 80.0f; }
    static float WorldY(float pixelY) { return 700.0f - pixelY / 32.0f * 80.0f; }
    static Vector3 Screen(float x, float y, float z = kDepth) {
        const float p[3] = {x, y, z};
        return WorldToScreenPos(p);
    }

    std::vector<uint32_t> Frame(int blockColumn, int blockRow, bool withCat) {
        EXPECT_EQ(ClearDrawScreenToBackColor(nullptr), 0);
        SetModelPosition(block_, blockColumn * 80.0f, 700.0f - blockRow * 80.0f, kDepth);
        EXPECT_EQ(DrawModel(block_), 0);
        if (withCat) {
            EXPECT_EQ(DrawModel(cat_), 0);
        }
        std::vector<uint32_t> pixels(640 * 480);
        EXPECT_EQ(ReadDrawScreenPixels(pixels.data()), 0);
        return pixels;
    }

    // Where the cat at box corner (x, y) pixels, turned by yaw and roll,
    // covers the screen beyond the block.
    ScreenBox CatOnScreen(int x, int y, float yaw, float roll, int blockColumn, int blockRow) {
        const std::vector<uint32_t> without = Frame(blockColumn, blockRow, false);
        SetModelPosition(cat_, WorldX(float(x)), WorldY(float(y)), kDepth);
        SetModelRotation(cat_, 0.0f, yaw, roll);
        const std::vector<uint32_t> with = Frame(blockColumn, blockRow, true);
        if (const char* dir = std::getenv("CONTENT_PNG_DIR")) {  // for a look
            const std::string name = "turned_cat_" + std::to_string(int(yaw * 10)) + "_" + std::to_string(int(roll * 10));
            SaveDrawScreenToPng((std::filesystem::path(dir) / (name + ".png")).string().c_str());
        }
        ScreenBox box;
        for (int py = 0; py < 480; ++py)
            for (int px = 0; px < 640; ++px)
                if (with[size_t(py) * 640 + size_t(px)] != without[size_t(py) * 640 + size_t(px)]) box.Add(px, py);
        return box;
    }

    std::filesystem::path previous_;
    int cat_ = -1, block_ = -1;
};

TEST_F(TurnedCat, FacingLeftOrRightItStandsInItsCellOnTheBlock) {
    // Column 4 over a block in row 6: a standing cat's box reaches 27 of its
    // 32 pixels above the block's top.
    const int x = 4 * 32, y = 6 * 32 - 27;
    const ScreenBox right = CatOnScreen(x, y, 0.0f, 0.0f, 4, 6);
    const ScreenBox left = CatOnScreen(x, y, float(M_PI), 0.0f, 4, 6);
    const Vector3 cellLeft = Screen(WorldX(x) - 40, 0), cellRight = Screen(WorldX(x) + 40, 0);
    // Seen from the block's height, its front face's top edge hides the feet.
    const Vector3 blockTop = Screen(0, 700.0f - 6 * 80 + 40, kDepth - 40);
    for (const ScreenBox& cat : {right, left}) {
        ASSERT_GT(cat.right, cat.left);
        EXPECT_GE(cat.left, cellLeft.x - 6);
        EXPECT_LE(cat.right, cellRight.x + 6);
        EXPECT_NEAR(cat.bottom, blockTop.y, 6.0f);  // the feet on the block
    }
    EXPECT_NEAR(right.CentreX(), left.CentreX(), 8.0f);
    // Mirror images of each other about the cell's middle.
    EXPECT_NEAR(right.left - cellLeft.x, cellRight.x - left.right, 6.0f);
}

TEST_F(TurnedCat, UpsideDownItHangsInTheCellUnderTheCeiling) {
    // A cat pushed out of a ceiling block in row 5 hangs with its box's top
    // 26 pixels into the next row, turned half round z.
    const int x = 4 * 32, y = 5 * 32 + 26;
    const ScreenBox cat = CatOnScreen(x, y, 0.0f, float(M_PI), 4, 5);
    const Vector3 ceiling = Screen(0, 700.0f - 5 * 80 - 40), cellBottom = Screen(0, 700.0f - 6 * 80 - 40);
    ASSERT_GT(cat.bottom, cat.top);
    EXPECT_NEAR(cat.top, ceiling.y, 6.0f);  // the feet on the ceiling
    EXPECT_LT(cat.bottom, cellBottom.y);
    EXPECT_GE(cat.left, Screen(WorldX(x) - 40, 0).x - 6);
    EXPECT_LE(cat.right, Screen(WorldX(x) + 40, 0).x + 6);
}

}  // namespace
