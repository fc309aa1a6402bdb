// Polling of one input device by its type, and the blocks its type adds
// to the buttons.
#include "game/input/input_device.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "engine/input.h"
#include "game/draw/screen_basics.h"
#include "wiiremote/wiimote.h"

namespace {

constexpr int kKeyRowCount = 4;

// Wii remote button bits.
constexpr int kRemoteLeft = 0, kRemoteRight = 1, kRemoteDown = 2, kRemoteUp = 3, kRemotePlus = 4;
constexpr int kRemoteTwo = 8, kRemoteOne = 9, kRemoteB = 10, kRemoteA = 11;

// A nunchuk stick counts as pushed past this much of its travel.
constexpr float kNunchukStickThreshold = 0.2f;

// The 49 keys of the keyboard block: the four rows of a Japanese keyboard
// and the space bar.
constexpr uint8_t kKeyboardBlockKeys[input::kKeyboardWords] = {
    0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x90, 0x7D,  // 1..0 - ^ yen
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x91, 0x1A,        // Q..P @ [
    0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x92, 0x1B,        // A..; : ]
    0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x2B,              // Z../ backslash
    0x39,                                                                          // space
};

int32_t Bit(uint32_t bits, int index) { return int32_t((bits >> index) & 1u); }

// value x 10 truncated toward zero; out-of-range readings saturate rather
// than reach an undefined conversion.
int32_t Tenths(float value) {
    if (std::isnan(value)) return 0;
    return int32_t(std::clamp(value * 10.0f, -1.0e6f, 1.0e6f));
}

int32_t DeadZoned(int value) { return std::fabs(float(value)) > kStickDeadZone ? value : 0; }

}  // namespace

int32_t LowestButtonBit(int32_t padBits) {
    for (int32_t bit = 32; bit <= 4096; bit <<= 1)
        if (padBits & bit) return bit;
    return padBits & 8192;
}

InputDevice::InputDevice(int32_t number, int32_t type, const int32_t (*keyRows)[3])
    : number(number), type(type), keyRow(input::kDefaultKeyRow) {
    if (type == input::kJoystick && keyRows && number >= 0 && number < kKeyRowCount) keyRow = keyRows[number];
}

InputDevice::~InputDevice() = default;

void InputDevice::AttachRemote(std::unique_ptr<Wiimote> connected) { remote = std::move(connected); }

input::ButtonBlock* InputDevice::Poll() {
    switch (type) {
    case input::kJoystick: PollJoystick(); break;
    case input::kWiiRemote: PollRemoteSideways(); break;
    case input::kWiiRemoteNunchuk: PollRemoteUpright(); break;
    case input::kXInputPad: PollGamePad(); break;
    case input::kMouse: PollMouse(); break;
    case input::kKeyboard: PollKeyboard(); break;
    default: break;
    }
    return &buttonBlock;
}

void InputDevice::PollJoystick() {
    const uint32_t p = uint32_t(QueryPadButtons(number + 1));
    int32_t* held = buttonBlock.held;
    held[input::kUp] = Bit(p, 3);
    held[input::kRight] = Bit(p, 2);
    held[input::kDown] = Bit(p, 0);
    held[input::kLeft] = Bit(p, 1);
    held[input::kAction] = (p & uint32_t(keyRow[1])) != 0;
    held[input::kJump] = (p & uint32_t(keyRow[0])) != 0;
    held[input::kPause] = (p & uint32_t(keyRow[2])) != 0;
}

// Takes the frame's snapshot of the remote and copies what the game reads.
// While the remote's change callback is installed the read thread writes
// the public record too, so it is read under the state lock.
void InputDevice::ReadRemote() {
    reading_ = RemoteReading{};
    if (!remote) return;
    std::lock_guard lock(remote->StateLock);
    remote->TakeStateSnapshot();
    if (!remote->Connected) return;
    const WiimoteState& s = remote->State;
    reading_.connected = true;
    reading_.nunchuk = s.ExtensionConnected && s.ExtensionType == ExtensionNunchuk;
    reading_.buttons = s.Buttons;
    reading_.accel[0] = s.Accel.X;
    reading_.accel[1] = s.Accel.Y;
    reading_.accel[2] = s.Accel.Z;
    reading_.stickX = s.NunchukStick.X;
    reading_.stickY = s.NunchukStick.Y;
    reading_.c = s.NunchukC;
    reading_.z = s.NunchukZ;
    reading_.nunchukAccel[0] = s.NunchukAccel.X;
    reading_.nunchukAccel[1] = s.NunchukAccel.Y;
    reading_.nunchukAccel[2] = s.NunchukAccel.Z;
}

// Held sideways the pad is turned a quarter: its right is up.
void InputDevice::PollRemoteSideways() {
    ReadRemote();
    const uint32_t b = reading_.buttons;
    int32_t* held = buttonBlock.held;
    held[input::kUp] = Bit(b, kRemoteRight);
    held[input::kRight] = Bit(b, kRemoteDown);
    held[input::kDown] = Bit(b, kRemoteLeft);
    held[input::kLeft] = Bit(b, kRemoteUp);
    held[input::kAction] = Bit(b, kRemoteOne);
    held[input::kExtra] = Bit(b, kRemoteB);
    held[input::kJump] = Bit(b, kRemoteTwo);
    held[input::kPause] = Bit(b, kRemotePlus);
    if (reading_.nunchuk) {
        if (reading_.connected) SetRemoteReportMode(*remote, 0x37);
        type = input::kWiiRemoteNunchuk;
    }
}

void InputDevice::PollRemoteUpright() {
    ReadRemote();
    const uint32_t b = reading_.buttons;
    const float x = reading_.stickX, y = reading_.stickY;
    int32_t* held = buttonBlock.held;
    held[input::kUp] = Bit(b, kRemoteUp) + (y > kNunchukStickThreshold);
    held[input::kRight] = Bit(b, kRemoteRight) + (x > kNunchukStickThreshold);
    held[input::kDown] = Bit(b, kRemoteDown) + (y < -kNunchukStickThreshold);
    held[input::kLeft] = Bit(b, kRemoteLeft) + (x < -kNunchukStickThreshold);
    held[input::kAction] = Bit(b, kRemoteB) + reading_.c;
    // Upright the remote has no extra button; the sideways poll may have
    // left B held here when the nunchuk went in.
    held[input::kExtra] = 0;
    held[input::kJump] = Bit(b, kRemoteA) + reading_.z;
    held[input::kPause] = Bit(b, kRemotePlus);
    if (!reading_.nunchuk) {
        if (reading_.connected) SetRemoteReportMode(*remote, 0x31);
        type = input::kWiiRemote;
    }
}

// A pad that does not answer reads as released.
bool InputDevice::ReadGamePad() {
    padConnected = QueryGamePadState(number, &padState) == 0;
    if (!padConnected) padState = GamePadInput{};
    return padConnected;
}

void InputDevice::PollGamePad() {
    ReadGamePad();
    const uint32_t w = padState.buttons;
    const float lx = padState.leftX, ly = padState.leftY;
    int32_t* held = buttonBlock.held;
    held[input::kUp] = ((w & GAMEPAD_DPAD_UP) != 0) + (ly > kStickDeadZone);
    held[input::kRight] = ((w & GAMEPAD_DPAD_RIGHT) != 0) + (lx > kStickDeadZone);
    held[input::kDown] = ((w & GAMEPAD_DPAD_DOWN) != 0) + (ly < -kStickDeadZone);
    held[input::kLeft] = ((w & GAMEPAD_DPAD_LEFT) != 0) + (lx < -kStickDeadZone);
    held[input::kAction] = (w & GAMEPAD_B) != 0;
    held[input::kJump] = (w & GAMEPAD_A) != 0;
    held[input::kPause] = (w & GAMEPAD_START) != 0;
}

void InputDevice::PollMouse() {
    const int w = GetMouseWheelCount(1);
    int32_t* held = buttonBlock.held;
    held[input::kUp] = w > 0;
    held[input::kDown] = w < 0;
    const int m = ReadMouseButtons();
    held[input::kAction] = m == MOUSE_BUTTON_RIGHT;
    held[input::kJump] = m == MOUSE_BUTTON_LEFT;
    held[input::kPause] = m == MOUSE_BUTTON_MIDDLE;
}

void InputDevice::PollKeyboard() {
    uint8_t keys[256] = {};
    QueryAllKeyStates(keys);
    auto key = [&keys](int code) { return int32_t(keys[code] != 0); };
    int32_t* held = buttonBlock.held;
    held[input::kUp] = key(KEYCODE_UP);
    held[input::kRight] = key(KEYCODE_RIGHT);
    held[input::kDown] = key(KEYCODE_DOWN);
    held[input::kLeft] = key(KEYCODE_LEFT);
    held[input::kAction] = key(KEYCODE_BACKSPACE) + key(KEYCODE_DELETE);
    held[input::kExtra] = key(KEYCODE_RIGHTSHIFT) + key(KEYCODE_LEFTSHIFT);
    held[input::kJump] = key(KEYCODE_ENTER);
    held[input::kPause] = key(KEYCODE_ESCAPE);
}

int32_t* InputDevice::ReadTiltAction() {
    if (actionBlock[0] == 0 && actionBlock[1] == 0 && actionBlock[2] == 0) {
        const int32_t y = Tenths(reading_.accel[1]), z = Tenths(reading_.accel[2]);
        if (z < -10) actionBlock[0] = input::kTiltActionFrames;
        if (y > 10) actionBlock[1] = input::kTiltActionFrames;
        if (y < -10) actionBlock[2] = input::kTiltActionFrames;
    }
    return actionBlock;
}

float* InputDevice::ReadSlope() {
    std::copy(std::begin(reading_.nunchukAccel), std::end(reading_.nunchukAccel), slopeBlock);
    return slopeBlock;
}

int32_t* InputDevice::ReadXInputAnalog() {
    ReadGamePad();
    const uint32_t w = padState.buttons;
    analogBlock[input::kLeftX] = DeadZoned(padState.leftX);
    analogBlock[input::kLeftY] = DeadZoned(padState.leftY);
    analogBlock[input::kLeftTrigger] = padState.leftTrigger;
    analogBlock[input::kLeftShoulder] = (w & GAMEPAD_LEFT_SHOULDER) != 0;
    analogBlock[input::kRightX] = DeadZoned(padState.rightX);
    analogBlock[input::kRightY] = DeadZoned(padState.rightY);
    analogBlock[input::kRightTrigger] = padState.rightTrigger;
    analogBlock[input::kRightShoulder] = (w & GAMEPAD_RIGHT_SHOULDER) != 0;
    return analogBlock;
}

int32_t* InputDevice::ReadMouse() {
    int x = 0, y = 0;
    GetMousePosition(&x, &y);
    mouseBlock[0] = std::clamp(x, 0, kScreenWidth - 1);
    mouseBlock[1] = std::clamp(y, 0, kScreenHeight - 1);
    return mouseBlock;
}

int32_t* InputDevice::ReadKeyboard() {
    uint8_t keys[256] = {};
    QueryAllKeyStates(keys);
    for (int i = 0; i < input::kKeyboardWords; ++i) keyboardBlock[i] = keys[kKeyboardBlockKeys[i]] != 0;
    return keyboardBlock;
}

void SetRemoteReportMode(Wiimote& remote, uint32_t mode) {
    std::lock_guard lock(remote.StateLock);
    // The driver leaves a lost remote and a balance board alone.
    remote.SelectReportMode(mode);
}
