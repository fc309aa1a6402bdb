// The per-frame input blocks that every scene reads and the replay streams
// record. One device fills one slot; a slot's entry in an array is null when
// the device has no block of that kind (or the slot is empty).
#pragma once
#include <cstdint>

namespace input {

constexpr int kSlotCount = 15;

// Device types; a player's cat kind is its device's type.
enum DeviceType : int32_t {
    kJoystick = 1,
    kWiiRemote = 2,          // held sideways
    kWiiRemoteNunchuk = 3,   // held upright with a nunchuk
    kXInputPad = 4,
    kMouse = 5,
    kKeyboard = 6,
};

// Button words: 0 released, 1 or more held (two sources add up).
enum ButtonIndex : int {
    kUp = 0,       // menus: cursor up
    kRight = 1,    // menus: right / page forward
    kDown = 2,     // menus: cursor down
    kLeft = 3,     // menus: left / page back
    kAction = 4,   // menus: cancel
    kExtra = 5,
    kJump = 6,     // menus: decide
    kPause = 7,    // menus: START
};

struct ButtonBlock {
    int32_t held[8];
};

inline bool Held(const ButtonBlock& b, int button) { return b.held[button] > 0; }

// The pad bits a key row starts with: jump, action, pause.
constexpr int32_t kDefaultKeyRow[3] = {16, 32, 4096};

constexpr int kActionWords = 3;     // tilt action timers (type 2)
constexpr int32_t kTiltActionFrames = 30;  // a tilt sets its timer to this; the cat counts it down
constexpr int kSlopeWords = 3;      // floats (type 3)
constexpr int kAnalogWords = 8;     // sticks, triggers, shoulders (type 4)
constexpr int kMouseWords = 2;      // x, y in the 640x480 frame (type 5)
constexpr int kKeyboardWords = 49;  // the four key rows and space (type 6)

// analogBlock layout.
enum AnalogIndex : int {
    kLeftX = 0,
    kLeftY = 1,
    kLeftTrigger = 2,
    kLeftShoulder = 3,
    kRightX = 4,
    kRightY = 5,
    kRightTrigger = 6,
    kRightShoulder = 7,
};

// The six per-frame arrays, one entry per device slot, in the order the
// replay streams use: buttons, actions, slopes, analogs, mice, keyboards.
struct InputArrays {
    ButtonBlock* buttons[kSlotCount] = {};
    int32_t* actions[kSlotCount] = {};
    float* slopes[kSlotCount] = {};
    int32_t* analogs[kSlotCount] = {};
    int32_t* mice[kSlotCount] = {};
    int32_t* keyboards[kSlotCount] = {};
};

}  // namespace input
