// The SDL back end with virtual devices inside SDL: discovery, hot-plug,
// joypad bits and the game-pad state through the real SDL readings.
#include "scripted_engine_fixture.h"
#include "sdl2/input_sdl2.h"

using namespace morpotta;

namespace {

class Sdl2DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SetWindowBackend("headless"), 0);
        ASSERT_EQ(SetInputBackend("sdl2"), 0);
        ASSERT_EQ(InitializeEngine(), 0);
    }
    void TearDown() override {
        for (int64_t id : attached_) platform::Sdl2DetachVirtualDevice(id);
        ShutdownEngine();
        SetWindowBackend("sdl2");
    }
    int64_t Attach(bool controller, int axes, int buttons, int hats) {
        int64_t id = platform::Sdl2AttachVirtualDevice(controller, axes, buttons, hats);
        EXPECT_GE(id, 0);
        attached_.push_back(id);
        Pass();  // found by the next pass
        return id;
    }
    void Detach(int64_t id) {
        EXPECT_TRUE(platform::Sdl2DetachVirtualDevice(id));
        std::erase(attached_, id);
        Pass();
    }
    void Pass() { ASSERT_EQ(ProcessWindowMessages(), 0); }

    ScopedTempDir dir_;
    std::vector<int64_t> attached_;
};

TEST_F(Sdl2DeviceTest, JoystickHatAxisAndButtonsBecomePadBits) {
    EXPECT_EQ(CountJoypads(), 0);
    int64_t id = Attach(false, 2, 26, 1);
    ASSERT_EQ(CountJoypads(), 1);
    ASSERT_TRUE(platform::Sdl2SetVirtualHat(id, 0, platform::kHatUp | platform::kHatRight));
    Pass();
    EXPECT_EQ(QueryPadButtons(1), PAD_UP | PAD_RIGHT);
    platform::Sdl2SetVirtualHat(id, 0, 0);
    platform::Sdl2SetVirtualAxis(id, 1, 32767);
    platform::Sdl2SetVirtualButton(id, 0, true);
    platform::Sdl2SetVirtualButton(id, 23, true);
    platform::Sdl2SetVirtualButton(id, 25, true);
    Pass();
    EXPECT_EQ(QueryPadButtons(1), PAD_DOWN | PadButtonBit(0) | PadButtonBit(23));
}

TEST_F(Sdl2DeviceTest, UnpluggedJoystickReadsZeroAndReturnsToItsNumber) {
    int64_t first = Attach(false, 2, 4, 0);
    int64_t second = Attach(false, 2, 4, 0);
    platform::Sdl2SetVirtualButton(second, 1, true);
    Pass();
    EXPECT_EQ(QueryPadButtons(2), PadButtonBit(1));
    Detach(first);
    EXPECT_EQ(QueryPadButtons(1), 0);
    EXPECT_EQ(QueryPadButtons(2), PadButtonBit(1));
    EXPECT_EQ(CountJoypads(), 2);
    int64_t again = Attach(false, 2, 4, 0);
    platform::Sdl2SetVirtualButton(again, 2, true);
    Pass();
    EXPECT_EQ(QueryPadButtons(1), PadButtonBit(2));
    EXPECT_EQ(CountJoypads(), 2);
}

TEST_F(Sdl2DeviceTest, GameControllerSticksAndTriggersInThePadsRanges) {
    platform::GamePadState s;
    EXPECT_EQ(platform::GetGamePadState(0, &s), platform::kGamePadNotConnected);
    int64_t id = Attach(true, 6, 15, 0);
    ASSERT_EQ(platform::GetGamePadState(0, &s), platform::kGamePadSuccess);
    platform::Sdl2SetVirtualAxis(id, 1, -32768);  // left stick fully up
    platform::Sdl2SetVirtualAxis(id, 0, 12345);
    platform::Sdl2SetVirtualAxis(id, 5, 32767);   // right trigger fully in
    Pass();
    ASSERT_EQ(platform::GetGamePadState(0, &s), platform::kGamePadSuccess);
    EXPECT_EQ(s.leftY, 32767);
    EXPECT_EQ(s.leftX, 12345);
    EXPECT_EQ(s.rightTrigger, 255);
    Detach(id);
    EXPECT_EQ(platform::GetGamePadState(0, &s), platform::kGamePadNotConnected);
}

}  // namespace
