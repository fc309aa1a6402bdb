// The 2-D batch on the recording device: draws sharing texture and state
// become one device draw; a change of either, a cached state setter or a
// present draws what is pending first.
#include "draw_test_util.h"
#include "graphics/device/recording/recording.h"

using namespace morpotta;

namespace {

class Draw2DBatchTest : public RecordingDeviceTest {
protected:
    void SetUp() override {
        RecordingDeviceTest::SetUp();
        BuildBlendTables();
        ResetSoftwareDrawState();
        ResetDraw2DSettings();
        a = MakeSolidGraph(4, 4, 0xFFFFFFFFu);
        b = MakeSolidGraph(4, 4, 0xFF000000u);
        FlushPendingDraws();
        ClearRecordedDeviceCalls();
    }
    void TearDown() override {
        Forget2DBatchState();
        RecordingDeviceTest::TearDown();
    }
    static int Draws() { return CountRecordedDeviceCalls(DEVICE_CALL_DRAW); }
    int a = -1, b = -1;
};

TEST_F(Draw2DBatchTest, SameTextureAndStateMakeOneDraw) {
    for (int i = 0; i < 100; ++i) DrawGraphAt(i, i, a, 1);
    EXPECT_EQ(Draws(), 0);  // still pending
    FlushPendingDraws();
    ASSERT_EQ(Draws(), 1);
    EXPECT_EQ(GetRecordedDraws().back().draw.primitiveCount, 200);
    FlushPendingDraws();
    EXPECT_EQ(Draws(), 1);  // nothing left to draw
}

TEST_F(Draw2DBatchTest, TextureBlendOrOutsideStateChangesDrawThePendingFirst) {
    DrawGraphAt(0, 0, a, 1);
    DrawGraphAt(0, 0, b, 1);  // another texture
    EXPECT_EQ(Draws(), 1);
    SetBlendModeParam(BlendAdd, 255);
    DrawGraphAt(0, 0, b, 1);  // another blend
    EXPECT_EQ(Draws(), 2);
    SetBlendModeParam(BlendAdd, 100);
    DrawGraphAt(0, 0, b, 1);  // only the vertex alpha differs: the same batch
    EXPECT_EQ(Draws(), 2);
    SetDeviceZEnable(1);  // model drawing changes state: the batch goes first
    EXPECT_EQ(Draws(), 3);
    DrawRectangle(0, 0, 8, 8, 0xFFFFFFFFu, 1);
    PresentFrame();
    EXPECT_EQ(Draws(), 4);
    EXPECT_EQ(CountRecordedDeviceCalls(DEVICE_CALL_PRESENT), 1);
}

}  // namespace
