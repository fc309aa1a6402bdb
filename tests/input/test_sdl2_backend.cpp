// The SDL back end without devices: its keyboard path from window events
// and a clean start and end of its joystick service.
#include "platform/input.h"

#include <gtest/gtest.h>

#include <array>

using namespace morpotta;

namespace {

TEST(Sdl2InputTest, KeyEventsArriveAsKeyNumbers) {
    ASSERT_TRUE(platform::SelectInputBackend("sdl2"));
    const platform::InputBackend& in = platform::Input();
    ASSERT_EQ(in.open(), 0);
    in.handleEvent({platform::EventType::KeyDown, 69});   // F12
    in.handleEvent({platform::EventType::KeyDown, 137});  // yen
    in.handleEvent({platform::EventType::KeyDown, 9999}); // no such scancode
    in.update();
    std::array<uint8_t, platform::kKeyCount> keys{};
    in.readKeys(keys.data());
    EXPECT_EQ(keys[0x58], 1);
    EXPECT_EQ(keys[0x7D], 1);
    in.handleEvent({platform::EventType::KeyUp, 69});
    in.readKeys(keys.data());
    EXPECT_EQ(keys[0x58], 0);
    EXPECT_EQ(keys[0x7D], 1);
    in.close();
}

TEST(Sdl2InputTest, MouseEventsAndWheelAreTaken) {
    ASSERT_TRUE(platform::SelectInputBackend("sdl2"));
    const platform::InputBackend& in = platform::Input();
    ASSERT_EQ(in.open(), 0);
    in.handleEvent({platform::EventType::MouseMove, 0, 30, 40});
    in.handleEvent({platform::EventType::MouseButtonDown, 1, 31, 41});
    in.handleEvent({platform::EventType::MouseWheel, 0, 0, 1});
    in.handleEvent({platform::EventType::MouseWheel, 0, 0, 1});
    platform::MouseReading m;
    in.readMouse(&m);
    EXPECT_EQ(m.x, 31);
    EXPECT_EQ(m.y, 41);
    EXPECT_EQ(m.buttons, platform::kMouseLeft);
    EXPECT_EQ(m.wheel, 2);
    in.readMouse(&m);
    EXPECT_EQ(m.wheel, 0);
    in.close();
}

TEST(Sdl2InputTest, EmptySlotsReadNothing) {
    ASSERT_TRUE(platform::SelectInputBackend("sdl2"));
    const platform::InputBackend& in = platform::Input();
    ASSERT_EQ(in.open(), 0);
    in.update();
    platform::JoystickReading j;
    platform::ControllerReading c;
    EXPECT_FALSE(in.readJoystick(platform::kMaxJoysticks, &j));
    EXPECT_FALSE(in.readJoystick(-1, &j));
    EXPECT_FALSE(in.readController(platform::kMaxGamePads, &c));
    in.close();
    EXPECT_EQ(in.joystickSlots(), 0);
    EXPECT_FALSE(in.readJoystick(0, &j));
}

}  // namespace
