#include "scripted_engine_fixture.h"

namespace {

using namespace script;
using platform::ControllerReading;
using platform::GamePadState;
using platform::GamePadStateFromController;
using platform::GetGamePadState;

TEST(GamePadConversionTest, SticksTurnUpPositiveAndStaySymmetric) {
    ControllerReading r;
    r.leftX = -32768;
    r.leftY = -32768;  // pushed fully up
    r.rightX = 32767;
    r.rightY = 32767;  // pushed fully down
    GamePadState s = GamePadStateFromController(r);
    EXPECT_EQ(s.leftX, -32767);
    EXPECT_EQ(s.leftY, 32767);
    EXPECT_EQ(s.rightX, 32767);
    EXPECT_EQ(s.rightY, -32767);
    r = ControllerReading{};
    r.leftX = 1000;
    r.leftY = 1000;
    s = GamePadStateFromController(r);
    EXPECT_EQ(s.leftX, 1000);
    EXPECT_EQ(s.leftY, -1000);
    EXPECT_EQ(s.rightX, 0);
    EXPECT_EQ(s.rightY, 0);
}

TEST(GamePadConversionTest, TriggersScaleIntoAByte) {
    const std::pair<int, int> cases[] = {{0, 0}, {32767, 255}, {16384, 128}, {128, 1}, {64, 0}, {-500, 0}, {40000, 255}};
    for (auto [raw, expected] : cases) {
        ControllerReading r;
        r.leftTrigger = raw;
        r.rightTrigger = raw;
        GamePadState s = GamePadStateFromController(r);
        EXPECT_EQ(s.leftTrigger, expected) << raw;
        EXPECT_EQ(s.rightTrigger, expected) << raw;
    }
}

TEST(GamePadConversionTest, ButtonsPassThrough) {
    ControllerReading r;
    r.buttons = platform::kPadA | platform::kPadStart | platform::kPadDpadLeft | platform::kPadY;
    EXPECT_EQ(GamePadStateFromController(r).buttons, r.buttons);
}

class GamePadTest : public ScriptedEngineTest {};

TEST_F(GamePadTest, StateQueryReportsScriptedPads) {
    AtFrame(0, PadAttach(5));
    AtFrame(0, PadAxis(5, 1, -32768));
    AtFrame(0, PadAxis(5, 5, 32767));
    AtFrame(0, PadButton(5, platform::kPadB, true));
    Start();
    Pass();
    GamePadState s;
    ASSERT_EQ(GetGamePadState(0, &s), platform::kGamePadSuccess);
    EXPECT_EQ(s.leftY, 32767);
    EXPECT_EQ(s.rightTrigger, 255);
    EXPECT_EQ(s.buttons, platform::kPadB);
    EXPECT_EQ(GetGamePadState(1, &s), platform::kGamePadNotConnected);
}

TEST_F(GamePadTest, BadArgumentsAreRefused) {
    Start();
    GamePadState s;
    EXPECT_EQ(GetGamePadState(4, &s), platform::kGamePadBadArguments);
    EXPECT_EQ(GetGamePadState(0, nullptr), platform::kGamePadBadArguments);
}

TEST_F(GamePadTest, PacketNumberMovesOnlyWhenTheStateChanges) {
    AtFrame(0, PadAttach(1));
    Start();
    Pass();
    GamePadState a, b, c;
    ASSERT_EQ(GetGamePadState(0, &a), 0u);
    Pass();
    ASSERT_EQ(GetGamePadState(0, &b), 0u);
    EXPECT_EQ(a.packetNumber, b.packetNumber);
    AtFrame(platform::ScriptedInputFrame(), PadAxis(1, 0, 9000));
    Pass();
    ASSERT_EQ(GetGamePadState(0, &c), 0u);
    EXPECT_NE(c.packetNumber, b.packetNumber);
    EXPECT_EQ(c.leftX, 9000);
}

TEST_F(GamePadTest, RemovedPadIsNotConnectedAndReturnsToItsIndex) {
    AtFrame(0, PadAttach(1));
    AtFrame(0, PadAttach(2));
    AtFrame(1, PadDetach(1));
    AtFrame(2, PadAttach(1));
    AtFrame(2, PadButton(1, platform::kPadX, true));
    Start();
    GamePadState s;
    Pass();
    EXPECT_EQ(GetGamePadState(0, &s), 0u);
    EXPECT_EQ(GetGamePadState(1, &s), 0u);
    Pass();
    s.buttons = 0x7777;
    EXPECT_EQ(GetGamePadState(0, &s), platform::kGamePadNotConnected);
    EXPECT_EQ(s.buttons, 0x7777);  // left untouched
    EXPECT_EQ(GetGamePadState(1, &s), 0u);
    Pass();
    ASSERT_EQ(GetGamePadState(0, &s), 0u);
    EXPECT_EQ(s.buttons, platform::kPadX);
}

TEST_F(GamePadTest, UserIndicesGoInOrderOfArrivalUpToFour) {
    for (int d = 1; d <= 5; ++d) {
        AtFrame(0, PadAttach(d));
        AtFrame(0, PadAxis(d, 0, d * 100));
    }
    Start();
    Pass();
    GamePadState s;
    for (uint32_t i = 0; i < 4; ++i) {
        ASSERT_EQ(GetGamePadState(i, &s), 0u) << i;
        EXPECT_EQ(s.leftX, int(i + 1) * 100);
    }
    EXPECT_EQ(GetGamePadState(4, &s), platform::kGamePadBadArguments);
}

}  // namespace
