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

#include <cstdlib>
#include <filesystem>
#include <set>
#include <vector>

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
    std::filesystem::current_path(previous);
    SetLogOutput(1);
}

}  // namespace
