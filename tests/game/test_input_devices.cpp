// The input manager with the keyboard, the mouse, joysticks and game pads
// (scripted input; the Wii remotes are in the threads program).
#include <gtest/gtest.h>

#include "input_test_support.h"

namespace {

using namespace script;
using input::kAction;
using input::kDown;
using input::kExtra;
using input::kJump;
using input::kLeft;
using input::kPause;
using input::kRight;
using input::kUp;

using Words = std::vector<int32_t>;
Words HeldWords(const int32_t* held) { return Words(held, held + 8); }

class InputDevicesTest : public GameInputTest {};

TEST_F(InputDevicesTest, WithoutPadsOrRemotesTheKeyboardAndTheMouseTakeTwoSlots) {
    EXPECT_EQ(StartAndEnumerate(), 2);
    EXPECT_EQ(Type(0), input::kKeyboard);
    EXPECT_EQ(Type(1), input::kMouse);
    for (int slot = 2; slot < input::kSlotCount; ++slot) EXPECT_EQ(manager->devices[slot], nullptr);
    // Before the first frame each slot shows its device's zero blocks.
    EXPECT_EQ(Blocks(0), "100001");
    EXPECT_EQ(Blocks(1), "100010");
    EXPECT_EQ(HeldWords(Held(0)), Words(8, 0));
    Frame();
    EXPECT_EQ(Blocks(0), "100001");
    EXPECT_EQ(Blocks(1), "100010");
    EXPECT_EQ(Blocks(2), "000000");
}

// Game pads first, then at most four joysticks, then keyboard and mouse;
// every type fills exactly its own blocks.
TEST_F(InputDevicesTest, EnumerationOrderAndTheBlocksOfEachType) {
    AtFrame(0, PadAttach(70));
    AtFrame(0, PadAttach(71));
    for (int stick = 1; stick <= 5; ++stick) AtFrame(0, StickAttach(stick));
    EXPECT_EQ(StartAndEnumerate(), 8);
    const int types[] = {4, 4, 1, 1, 1, 1, 6, 5};
    const int numbers[] = {0, 1, 0, 1, 2, 3, 0, 0};
    for (int slot = 0; slot < 8; ++slot) {
        EXPECT_EQ(Type(slot), types[slot]) << slot;
        EXPECT_EQ(manager->devices[slot]->number, numbers[slot]) << slot;
    }
    EXPECT_EQ(manager->deviceCount, 8);
    Frame();
    EXPECT_EQ(Blocks(0), "100100");
    EXPECT_EQ(Blocks(1), "100100");
    for (int slot = 2; slot < 6; ++slot) EXPECT_EQ(Blocks(slot), "100000") << slot;
    EXPECT_EQ(Blocks(6), "100001");
    EXPECT_EQ(Blocks(7), "100010");
    for (int slot = 8; slot < input::kSlotCount; ++slot) EXPECT_EQ(Blocks(slot), "000000") << slot;
}

TEST_F(InputDevicesTest, KeyboardButtonsAddUpAndItsBlockFollowsTheKeyRows) {
    StartAndEnumerate();
    Next(Key(KEYCODE_BACKSPACE, true));
    Next(Key(KEYCODE_DELETE, true));
    Next(Key(KEYCODE_LEFTSHIFT, true));
    Next(Key(KEYCODE_UP, true));
    Next(Key(KEYCODE_ENTER, true));
    Frame();
    EXPECT_EQ(HeldWords(Held(0)), Words({1, 0, 0, 0, 2, 1, 1, 0}));
    Next(Key(KEYCODE_DELETE, false));
    Next(Key(KEYCODE_RIGHTSHIFT, true));
    Next(Key(KEYCODE_UP, false));
    Next(Key(KEYCODE_ENTER, false));
    Next(Key(KEYCODE_ESCAPE, true));
    Next(Key(KEYCODE_RIGHT, true));
    Next(Key(KEYCODE_DOWN, true));
    Next(Key(KEYCODE_LEFT, true));
    Frame();
    EXPECT_EQ(HeldWords(Held(0)), Words({0, 1, 1, 1, 1, 2, 0, 1}));

    // One key at a time: each of the 49 words answers to its own key only.
    const int keys[input::kKeyboardWords] = {
        0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x90, 0x7D, 0x10, 0x11, 0x12, 0x13,
        0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x91, 0x1A, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26,
        0x27, 0x92, 0x1B, 0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x2B, 0x39};
    for (int word = 0; word < input::kKeyboardWords; ++word) {
        Next(Key(keys[word], true));
        Frame();
        const int32_t* block = Arrays().keyboards[0];
        for (int i = 0; i < input::kKeyboardWords; ++i) ASSERT_EQ(block[i], i == word ? 1 : 0) << word << " " << i;
        Next(Key(keys[word], false));
    }
    // Keys outside the rows leave the block at rest.
    Next(Key(KEYCODE_F1, true));
    Next(Key(KEYCODE_KEYPAD_5, true));
    Frame();
    EXPECT_EQ(Words(Arrays().keyboards[0], Arrays().keyboards[0] + 49), Words(49, 0));
}

TEST_F(InputDevicesTest, MouseButtonsWheelAndPosition) {
    StartAndEnumerate();
    const int32_t* held = nullptr;
    auto frame = [&] {
        Frame();
        held = Held(1);
    };
    Next(MouseButton(MOUSE_BUTTON_LEFT, true));
    Next(Wheel(2));
    Next(MouseMove(123, 45));
    frame();
    EXPECT_EQ(HeldWords(held), Words({1, 0, 0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(Arrays().mice[1][0], 123);
    EXPECT_EQ(Arrays().mice[1][1], 45);
    // The wheel counts once; two buttons together are neither.
    Next(MouseButton(MOUSE_BUTTON_RIGHT, true));
    frame();
    EXPECT_EQ(HeldWords(held), Words(8, 0));
    Next(MouseButton(MOUSE_BUTTON_LEFT, false));
    Next(Wheel(-1));
    frame();
    EXPECT_EQ(HeldWords(held), Words({0, 0, 1, 0, 1, 0, 0, 0}));
    Next(MouseButton(MOUSE_BUTTON_RIGHT, false));
    Next(MouseButton(MOUSE_BUTTON_MIDDLE, true));
    frame();
    EXPECT_EQ(HeldWords(held), Words({0, 0, 0, 0, 0, 0, 0, 1}));
    // A cursor outside the frame is held at its edge.
    Next(MouseMove(700, -5));
    frame();
    EXPECT_EQ(Arrays().mice[1][0], 639);
    EXPECT_EQ(Arrays().mice[1][1], 0);
}

TEST_F(InputDevicesTest, JoystickDirectionsAndTheKeyRows) {
    AtFrame(0, StickAttach(1));
    AtFrame(0, StickAttach(2));
    StartAndEnumerate();
    ASSERT_EQ(Type(0), input::kJoystick);
    ASSERT_EQ(Type(1), input::kJoystick);
    Next(StickHat(1, platform::kHatUp | platform::kHatRight));
    Next(StickButton(1, 0, true));   // 16: jump in the default row
    Next(StickButton(1, 1, true));   // 32: action
    Next(StickButton(1, 8, true));   // 4096: pause
    Next(StickAxis(2, 1, 32767));    // stick down
    Next(StickAxis(2, 0, -32768));   // stick left
    Frame();
    EXPECT_EQ(HeldWords(Held(0)), Words({1, 1, 0, 0, 1, 0, 1, 1}));
    EXPECT_EQ(HeldWords(Held(1)), Words({0, 0, 1, 1, 0, 0, 0, 0}));

    // The key rows are read live: pad 2 reads row 2.
    save.keyRows[0][0] = PadButtonBit(3);
    save.keyRows[0][1] = PadButtonBit(4);
    save.keyRows[0][2] = PadButtonBit(5);
    save.keyRows[1][0] = PadButtonBit(1);
    save.keyRows[1][1] = PadButtonBit(2);
    Next(StickButton(2, 1, true));
    Frame();
    EXPECT_EQ(HeldWords(Held(0)), Words({1, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(HeldWords(Held(1)), Words({0, 0, 1, 1, 0, 0, 1, 0}));
    Next(StickButton(1, 3, true));
    Next(StickButton(1, 4, true));
    Next(StickButton(1, 5, true));
    Frame();
    EXPECT_EQ(HeldWords(Held(0)), Words({1, 1, 0, 0, 1, 0, 1, 1}));
}

TEST_F(InputDevicesTest, LowestButtonBitSkipsTheFirstButton) {
    EXPECT_EQ(LowestButtonBit(0), 0);
    EXPECT_EQ(LowestButtonBit(16), 0);
    EXPECT_EQ(LowestButtonBit(16 | 64 | 1024), 64);
    EXPECT_EQ(LowestButtonBit(4096 | 8192), 4096);
    EXPECT_EQ(LowestButtonBit(8192 | 1 | 2), 8192);
    EXPECT_EQ(LowestButtonBit(16384), 0);
}

// The dead zone is 32767 x 0.24 = 7864.08: 7864 is inside, 7865 outside,
// for the direction buttons and the analog block alike. The host's stick y
// grows downward; the pad's grows upward.
TEST_F(InputDevicesTest, PadDeadZoneBoundaryAndTwoSourcesInOneWord) {
    AtFrame(0, PadAttach(9));
    StartAndEnumerate();
    ASSERT_EQ(Type(0), input::kXInputPad);
    Next(PadAxis(9, 0, 7864));
    Next(PadAxis(9, 1, -7864));
    Next(PadAxis(9, 2, -7864));
    Next(PadAxis(9, 3, 7864));
    Frame();
    EXPECT_EQ(HeldWords(Held(0)), Words(8, 0));
    EXPECT_EQ(Words(Arrays().analogs[0], Arrays().analogs[0] + 8), Words(8, 0));

    Next(PadAxis(9, 0, 7865));
    Next(PadAxis(9, 1, -7865));
    Next(PadAxis(9, 2, -7865));
    Next(PadAxis(9, 3, 7865));
    Next(PadAxis(9, 4, 32767));
    Next(PadAxis(9, 5, 16384));
    Next(PadButton(9, GAMEPAD_LEFT_SHOULDER, true));
    Next(PadButton(9, GAMEPAD_DPAD_UP, true));
    Next(PadButton(9, GAMEPAD_A, true));
    Frame();
    EXPECT_EQ(HeldWords(Held(0)), Words({2, 1, 0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(Words(Arrays().analogs[0], Arrays().analogs[0] + 8),
              Words({7865, 7865, 255, 1, -7865, -7865, 128, 0}));

    Next(PadAxis(9, 0, -32768));
    Next(PadAxis(9, 1, 32767));
    Next(PadButton(9, GAMEPAD_DPAD_UP, false));
    Next(PadButton(9, GAMEPAD_DPAD_DOWN, true));
    Next(PadButton(9, GAMEPAD_B, true));
    Next(PadButton(9, GAMEPAD_START, true));
    Next(PadButton(9, GAMEPAD_RIGHT_SHOULDER, true));
    Frame();
    EXPECT_EQ(HeldWords(Held(0)), Words({0, 0, 2, 1, 1, 0, 1, 1}));
    EXPECT_EQ(Arrays().analogs[0][input::kLeftX], -32767);
    EXPECT_EQ(Arrays().analogs[0][input::kRightShoulder], 1);
}

// A pad or joystick pulled out mid-game keeps its slot and reads as
// released; plugged in again it answers again.
TEST_F(InputDevicesTest, AnUnpluggedPadReadsReleasedAndKeepsItsSlot) {
    AtFrame(0, PadAttach(9));
    AtFrame(0, StickAttach(3));
    StartAndEnumerate();
    Next(PadButton(9, GAMEPAD_A, true));
    Next(PadAxis(9, 0, 30000));
    Next(PadAxis(9, 4, 32767));
    Next(StickButton(3, 0, true));
    Next(StickHat(3, platform::kHatLeft));
    Frame();
    EXPECT_EQ(HeldWords(Held(0)), Words({0, 1, 0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(HeldWords(Held(1)), Words({0, 0, 0, 1, 0, 0, 1, 0}));

    Next(PadDetach(9));
    Next(StickDetach(3));
    Frame();
    EXPECT_EQ(manager->deviceCount, 4);
    EXPECT_EQ(Type(0), input::kXInputPad);
    EXPECT_EQ(Type(1), input::kJoystick);
    EXPECT_EQ(HeldWords(Held(0)), Words(8, 0));
    EXPECT_EQ(HeldWords(Held(1)), Words(8, 0));
    EXPECT_EQ(Words(Arrays().analogs[0], Arrays().analogs[0] + 8), Words(8, 0));
    EXPECT_EQ(manager->devices[0]->padConnected, 0);

    Next(PadAttach(9));
    Next(PadButton(9, GAMEPAD_START, true));
    Frame();
    EXPECT_EQ(HeldWords(Held(0)), Words({0, 0, 0, 0, 0, 0, 0, 1}));
}

}  // namespace
