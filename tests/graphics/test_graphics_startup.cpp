// Graphics start-up inside the engine's life cycle: a GL device when the
// window has a GL context, the software path when it has none, and the
// recording device when asked for.
#include "draw_test_util.h"
#include "engine/engine.h"
#include "engine/font.h"
#include "graphics/graph_internal.h"
#include "graphics/graphics_internal.h"
#include "graphics_test_util.h"
#include "model/base/graphics_services.h"
#include "platform/clock.h"
#include "scoped_temp_dir.h"

using namespace morpotta;

namespace {

class GraphicsStartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::UseVirtualClock(true);
        SetLogOutput(0);
    }
    void TearDown() override {
        if (IsEngineInitialized()) ShutdownEngine();
        SetGraphicsDeviceChoice("auto");
        SetWindowBackend("sdl2");
        platform::UseVirtualClock(false);
    }
    ScopedTempDir dir_;
};

TEST_F(GraphicsStartupTest, WindowWithoutGlStartsOnTheSoftwarePath) {
    ASSERT_EQ(SetWindowBackend("headless"), 0);
    ASSERT_EQ(InitializeEngine(), 0);
    EXPECT_EQ(HardwareRenderingActive(), 0);
    EXPECT_EQ(Direct3DDevice9Object(), nullptr);
    EXPECT_NE(MakeBlankGraph(8, 8, 0), -1);
    // The model system's textures reach the graphics layer through its table.
    const ModelGraphicsServices* services = GetModelGraphicsServices();
    EXPECT_EQ(services->ReadImageFromMemory, &ReadImageFromMemoryWithBmp32Alpha);
    EXPECT_EQ(services->MakeGraphFromBaseImage, &MakeGraphFromBaseImage);
    int w = 0, h = 0;
    ASSERT_NE(services->GetDeviceMaxTextureSize, nullptr);
    services->GetDeviceMaxTextureSize(&w, &h);
    EXPECT_GE(w, 2048);
    ASSERT_EQ(ShutdownEngine(), 0);
    EXPECT_EQ(CountGraphs(), 0);
}

TEST_F(GraphicsStartupTest, RecordingDeviceCountsAsPresent) {
    ASSERT_EQ(SetWindowBackend("headless"), 0);
    ASSERT_EQ(SetGraphicsDeviceChoice("recording"), 0);
    ASSERT_EQ(InitializeEngine(), 0);
    EXPECT_EQ(HardwareRenderingActive(), 1);
    EXPECT_STREQ(GetDeviceBackendName(), "recording");
    EXPECT_NE(CreateDeviceVertexBuffer(256, DEVICE_USAGE_WRITEONLY | DEVICE_USAGE_DYNAMIC, 0, 0), nullptr);
    int graph = MakeBlankGraph(8, 8, 0);
    EXPECT_NE(GetGraphTexture(graph), nullptr);
    ASSERT_EQ(ShutdownEngine(), 0);
    EXPECT_EQ(HardwareRenderingActive(), 0);
    EXPECT_EQ(SetGraphicsDeviceChoice("bogus"), -1);
}

TEST_F(GraphicsStartupTest, GlContextGivesTheGlDeviceAndAFramePresents) {
    ASSERT_EQ(SetWindowBackend("sdl2"), 0);
    ASSERT_EQ(InitializeEngine(), 0);
    ASSERT_EQ(HardwareRenderingActive(), 1);
    EXPECT_STREQ(GetDeviceBackendName(), "gl");
    EXPECT_EQ(BeginDeviceScene(), 0);
    EXPECT_EQ(ClearDevice(DEVICE_CLEAR_TARGET, 0xFF102030u, 1.0f), 0);
    EXPECT_EQ(PresentDevice(), 0);
    uint32_t pixel = 0;
    ASSERT_EQ(ReadDevicePixels(320, 240, 1, 1, &pixel), 0);
    EXPECT_EQ(pixel, 0xFF102030u);
    ASSERT_EQ(ShutdownEngine(), 0);
}

}  // namespace

namespace {

TEST_F(GraphicsStartupTest, StartUpResetsTheDrawStateCameraAndFonts) {
    ASSERT_EQ(SetWindowBackend("headless"), 0);
    SetBlendModeParam(BlendAdd, 300);
    EXPECT_EQ(BlendParam, 255);  // clamped
    SetBlendModeParam(BlendAdd, -3);
    EXPECT_EQ(BlendParam, 0);
    SetDrawTint(10, 20, 30);
    SetDepthTestEnabled(1);
    const float eye[3] = {1, 2, 3}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0};
    SetCameraEyeTargetUp(eye, target, up);
    ASSERT_EQ(InitializeEngine(), 0);
    EXPECT_EQ(BlendMode, BlendCopy);
    EXPECT_EQ(BlendParam, 255);
    EXPECT_EQ(DrawTint, 0xFFFFFFu);
    EXPECT_EQ(GetDepthTestEnabled(), 0);
    float view[16];
    CopyViewMatrix(view);
    EXPECT_EQ(view[12], 0.0f);
    EXPECT_EQ(ProductTable[255][100], 100u);  // the blend tables are built
    EXPECT_EQ(GetDrawTargetScreen(), kDrawScreenBack);
    // Without a device the draws need the software path; fonts still measure.
    EXPECT_EQ(GetStringWidth("AB", -1, 0), 16);
    ShutdownEngine();
    EXPECT_EQ(CountFonts(), 0);
}

}  // namespace
