// The graphics device the game starts on as a player starts it (no device
// chosen): GL on a window that has a GL context, and there its cats are
// drawn; the software path on a window without one, which draws no 3-D
// models and says so in the log rather than failing quietly.
#include "engine/camera.h"
#include "engine/log.h"
#include "engine/model.h"
#include "game_fixture.h"

namespace {

class GameDeviceTest : public GameTest {
protected:
    void TearDown() override {
        GameTest::TearDown();
        SetLogOutput(previousLog_);
    }
    // The first cat's model alone, 300 units in front of the camera, on a
    // cleared screen; DrawModel's result in `result`.
    std::vector<uint32_t> DrawCat(int* result) {
        const int cat = app_->data->catModels[0][0];
        EXPECT_GE(cat, 0);
        return DrawnScreen([cat, result] {
            const float eye[3] = {0, 0, -300}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0};
            SetCameraEyeTargetUp(eye, target, up);
            SetModelPosition(cat, 0, 0, 0);
            *result = DrawModel(cat);
        });
    }
    static int Lit(const std::vector<uint32_t>& shot, int x1, int y1, int x2, int y2) {
        int n = 0;
        for (int y = y1; y < y2; ++y)
            for (int x = x1; x < x2; ++x) n += shot[size_t(y) * 640 + size_t(x)] != 0;
        return n;
    }

    int previousLog_ = GetLogOutput();
};

TEST_F(GameDeviceTest, AWindowWithGlGivesTheGlDeviceAndTheCatIsDrawn) {
    ASSERT_EQ(SetWindowBackend("sdl2"), 0);
    Start();
    ASSERT_EQ(HardwareRenderingActive(), 1);
    int result = -1;
    const std::vector<uint32_t> shot = DrawCat(&result);
    SaveScreenPng("device_cat_gl.png");
    EXPECT_EQ(result, 0);
    // The cat stands in the middle of the screen, and nowhere else.
    const int all = Lit(shot, 0, 0, 640, 480);
    EXPECT_GT(Lit(shot, 220, 140, 420, 340), 3000);
    EXPECT_EQ(Lit(shot, 220, 140, 420, 340), all);
}

TEST_F(GameDeviceTest, AWindowWithoutGlTakesTheSoftwarePathWhichDrawsNoModelAndSaysSo) {
    SetLogOutput(1);
    Start();
    ASSERT_EQ(HardwareRenderingActive(), 0);
    int result = -1;
    const std::vector<uint32_t> shot = DrawCat(&result);
    EXPECT_EQ(result, 0);  // the instance is brought up to date all the same
    EXPECT_EQ(Lit(shot, 0, 0, 640, 480), 0);
    const std::string log = ScopedTempDir::ReadFile(dir_.path() / "Log.txt");
    EXPECT_NE(log.find("drawing takes the software path, which draws no 3-D models"), std::string::npos) << log;
}

}  // namespace
