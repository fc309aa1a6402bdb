#include "scripted_engine_fixture.h"

namespace {

using namespace script;

class MouseTest : public ScriptedEngineTest {
protected:
    void TearDown() override {
        ScriptedEngineTest::TearDown();
        SetScreenMode(640, 480, 32, 60);
    }
    std::pair<int, int> PositionAfterMove(int x, int y) {
        AtFrame(platform::ScriptedInputFrame(), MouseMove(x, y));
        Pass();
        int sx = -1, sy = -1;
        EXPECT_EQ(GetMousePosition(&sx, &sy), 0);
        return {sx, sy};
    }
};

using Point = std::pair<int, int>;

TEST_F(MouseTest, AWindowOfTheScreensSizeMapsOneToOne) {
    Start();
    EXPECT_EQ(PositionAfterMove(0, 0), Point(0, 0));
    EXPECT_EQ(PositionAfterMove(639, 479), Point(639, 479));
    EXPECT_EQ(PositionAfterMove(123, 45), Point(123, 45));
}

TEST_F(MouseTest, AScaledWindowMapsIntoTheLogicalScreen) {
    Start();
    platform::HeadlessSetWindowSize(1280, 960);
    EXPECT_EQ(PositionAfterMove(0, 0), Point(0, 0));
    EXPECT_EQ(PositionAfterMove(1279, 959), Point(639, 479));
    EXPECT_EQ(PositionAfterMove(640, 480), Point(320, 240));
    EXPECT_EQ(PositionAfterMove(641, 481), Point(320, 240));
    platform::HeadlessSetWindowSize(320, 240);
    EXPECT_EQ(PositionAfterMove(319, 239), Point(638, 478));
}

// The draw screen is shown stretched over the whole client area, whatever
// its shape (there are no bars), so the pointer maps by each axis's ratio.
TEST_F(MouseTest, AWindowOfAnotherShapeMapsAsTheScreenIsStretchedOverIt) {
    Start();
    platform::HeadlessSetWindowSize(1920, 1080);  // 3 window pixels a screen pixel across, 2.25 down
    EXPECT_EQ(PositionAfterMove(0, 0), Point(0, 0));
    EXPECT_EQ(PositionAfterMove(1919, 1079), Point(639, 479));
    EXPECT_EQ(PositionAfterMove(960, 540), Point(320, 240));
    EXPECT_EQ(PositionAfterMove(100, 540), Point(33, 240));
    platform::HeadlessSetWindowSize(640, 960);
    EXPECT_EQ(PositionAfterMove(639, 959), Point(639, 479));
    EXPECT_EQ(PositionAfterMove(-1, 961), Point(-1, 480));  // outside the window: outside the screen
}

// A screen mode larger than the draw screen only makes the window larger:
// pointer moves and clicks still come in draw-screen points.
TEST_F(MouseTest, ALargerScreenModeStillReportsDrawScreenPoints) {
    ASSERT_EQ(SetScreenMode(1280, 960, 32, 60), 0);
    Start();
    EXPECT_EQ(PositionAfterMove(1200, 900), Point(600, 450));
    EXPECT_EQ(PositionAfterMove(1279, 959), Point(639, 479));
    platform::HeadlessPushEvent({platform::EventType::MouseButtonDown, 1, 641, 481});
    Pass();
    EXPECT_EQ(ReadMouseButtons(), MOUSE_BUTTON_LEFT);
    int x = -1, y = -1;
    GetMousePosition(&x, &y);
    EXPECT_EQ(Point(x, y), Point(320, 240));
}

TEST_F(MouseTest, ButtonsAreBits) {
    Start();
    AtFrame(0, MouseButton(platform::kMouseLeft, true));
    Pass();
    EXPECT_EQ(ReadMouseButtons(), MOUSE_BUTTON_LEFT);
    AtFrame(1, MouseButton(platform::kMouseMiddle, true));
    Pass();
    EXPECT_EQ(ReadMouseButtons(), MOUSE_BUTTON_LEFT | MOUSE_BUTTON_MIDDLE);
    AtFrame(2, MouseButton(platform::kMouseLeft, false));
    AtFrame(2, MouseButton(platform::kMouseRight, true));
    Pass();
    EXPECT_EQ(ReadMouseButtons(), MOUSE_BUTTON_RIGHT | MOUSE_BUTTON_MIDDLE);
}

TEST_F(MouseTest, WindowButtonEventsMapToBits) {
    Start();
    platform::HeadlessPushEvent({platform::EventType::MouseButtonDown, 3, 10, 20});
    platform::HeadlessPushEvent({platform::EventType::MouseButtonDown, 2, 10, 20});
    Pass();
    EXPECT_EQ(ReadMouseButtons(), MOUSE_BUTTON_RIGHT | MOUSE_BUTTON_MIDDLE);
    platform::HeadlessPushEvent({platform::EventType::MouseButtonUp, 3, 11, 21});
    Pass();
    EXPECT_EQ(ReadMouseButtons(), MOUSE_BUTTON_RIGHT);
    int x = 0, y = 0;
    GetMousePosition(&x, &y);
    EXPECT_EQ(x, 11);
    EXPECT_EQ(y, 21);
}

TEST_F(MouseTest, WheelNotchesAddUpUntilCleared) {
    Start();
    AtFrame(0, Wheel(1));
    AtFrame(1, Wheel(2));
    AtFrame(2, Wheel(-1));
    Pass();
    Pass();
    EXPECT_EQ(GetMouseWheelCount(0), 3);
    EXPECT_EQ(GetMouseWheelCount(0), 3);  // not cleared without the flag
    Pass();
    EXPECT_EQ(GetMouseWheelCount(1), 2);
    EXPECT_EQ(GetMouseWheelCount(1), 0);
    Pass();
    EXPECT_EQ(GetMouseWheelCount(1), 0);
    platform::HeadlessPushEvent({platform::EventType::MouseWheel, 0, 0, -2});
    Pass();
    EXPECT_EQ(GetMouseWheelCount(1), -2);
}

TEST_F(MouseTest, NullOutputsAreSkipped) {
    Start();
    EXPECT_EQ(GetMousePosition(nullptr, nullptr), 0);
}

}  // namespace
