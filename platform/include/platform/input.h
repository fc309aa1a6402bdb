// Keyboard, mouse, joysticks and game pads of the host. Keys are reported in
// the engine's key numbering (PC keyboard scan codes, extended keys + 0x80,
// Japanese-layout keys by physical position), the mouse in window
// coordinates, joysticks and game pads in the host's own ranges.
// Back ends: sdl2 (the keyboard and mouse from the window's events,
// joysticks and game controllers through SDL, hot-plug included) and
// scripted (everything driven by a script of steps, for tests).
#pragma once
#include "platform/window.h"

#include <cstdint>

namespace morpotta::platform {

constexpr int kKeyCount = 256;
constexpr int kMaxJoysticks = 16;
constexpr int kMaxGamePads = 4;
constexpr int kJoystickAxes = 8;
constexpr int kJoystickButtons = 32;

// Mouse buttons as bits.
constexpr int kMouseLeft = 1;
constexpr int kMouseRight = 2;
constexpr int kMouseMiddle = 4;

// Hat directions as bits; diagonals combine two.
constexpr int kHatUp = 1;
constexpr int kHatRight = 2;
constexpr int kHatDown = 4;
constexpr int kHatLeft = 8;

struct MouseReading {
    int x = 0, y = 0;     // window coordinates
    int buttons = 0;      // kMouseLeft | kMouseRight | kMouseMiddle
    int wheel = 0;        // notches since the last reading, + forward
};

// One joystick: axes -32768..32767 (x right, y down positive), the first hat
// and up to 32 buttons.
struct JoystickReading {
    int axisCount = 0;
    int axes[kJoystickAxes] = {};
    int hat = 0;          // kHat* bits
    int buttonCount = 0;
    uint32_t buttons = 0; // bit i: button i held
};

// One game controller in the host's ranges: sticks -32768..32767 with y down
// positive, triggers 0..32767, buttons already as kPad* bits (below).
struct ControllerReading {
    int leftX = 0, leftY = 0, rightX = 0, rightY = 0;
    int leftTrigger = 0, rightTrigger = 0;
    uint16_t buttons = 0;
};

// One back end: a table of functions registered in one place (backends.cpp).
struct InputBackend {
    const char* name;
    int (*open)();                                       // 0 or -1
    void (*close)();
    void (*handleEvent)(const Event& event);             // key, mouse and device events of the window
    void (*update)();                                    // once per message pass
    void (*readKeys)(uint8_t keys[kKeyCount]);           // 1 per held key
    void (*readMouse)(MouseReading* out);                // takes the wheel notches
    int (*joystickSlots)();                              // slots ever filled, connected or not
    bool (*readJoystick)(int slot, JoystickReading* out);        // false: slot empty
    bool (*readController)(int userIndex, ControllerReading* out);  // false: not connected
};

// Selects the back end by name ("sdl2", "scripted"); false for an unknown
// name. The default is "sdl2".
bool SelectInputBackend(const char* name);
const InputBackend& Input();

// ---- Game pads, shaped after the common console-pad state query ----

// Button bits of GamePadState::buttons.
constexpr uint16_t kPadDpadUp = 0x0001;
constexpr uint16_t kPadDpadDown = 0x0002;
constexpr uint16_t kPadDpadLeft = 0x0004;
constexpr uint16_t kPadDpadRight = 0x0008;
constexpr uint16_t kPadStart = 0x0010;
constexpr uint16_t kPadBack = 0x0020;
constexpr uint16_t kPadLeftThumb = 0x0040;
constexpr uint16_t kPadRightThumb = 0x0080;
constexpr uint16_t kPadLeftShoulder = 0x0100;
constexpr uint16_t kPadRightShoulder = 0x0200;
constexpr uint16_t kPadA = 0x1000;
constexpr uint16_t kPadB = 0x2000;
constexpr uint16_t kPadX = 0x4000;
constexpr uint16_t kPadY = 0x8000;

struct GamePadState {
    uint32_t packetNumber = 0;  // changes whenever the rest changes
    uint16_t buttons = 0;
    uint8_t leftTrigger = 0, rightTrigger = 0;  // 0..255
    int16_t leftX = 0, leftY = 0;               // -32767..32767, y up positive
    int16_t rightX = 0, rightY = 0;
};

constexpr uint32_t kGamePadSuccess = 0;
constexpr uint32_t kGamePadBadArguments = 87;
constexpr uint32_t kGamePadNotConnected = 1167;

// The state of the game pad with user index 0..3: kGamePadSuccess, or
// kGamePadNotConnected (state untouched), or kGamePadBadArguments.
uint32_t GetGamePadState(uint32_t userIndex, GamePadState* state);
// The conversion from the host's ranges (packet number left 0).
GamePadState GamePadStateFromController(const ControllerReading& reading);

// ---- Scripted back end ----

enum class ScriptedInputKind : int {
    Key,               // index: key number, value: 1 down, 0 up
    MouseMove,         // value, value2: window x, y
    MouseButton,       // index: kMouse* bit, value: 1 down, 0 up
    MouseWheel,        // value: notches, + forward
    JoystickAttach,    // device: script's own id; index: axis count, value: button count
    JoystickDetach,    // device
    JoystickAxis,      // device, index: axis, value: -32768..32767
    JoystickHat,       // device, value: kHat* bits
    JoystickButton,    // device, index: button, value: 1 down, 0 up
    ControllerAttach,  // device
    ControllerDetach,  // device
    ControllerAxis,    // device, index: 0 left x, 1 left y, 2 right x, 3 right y, 4 left trigger, 5 right trigger
    ControllerButton,  // device, index: kPad* bit, value: 1 down, 0 up
};

struct ScriptedInput {
    ScriptedInputKind kind = ScriptedInputKind::Key;
    int device = 0;
    int index = 0;
    int value = 0;
    int value2 = 0;
};

// Clears the script and all scripted devices; frame and time count from here.
void ResetInputScript();
// A step applied by the first update whose frame number (updates since the
// reset, from 0) reaches the frame, or whose clock time since the reset
// reaches the microseconds. Steps due together apply in the order added.
void ScriptInputAtFrame(int64_t frame, const ScriptedInput& step);
void ScriptInputAtTime(uint64_t microseconds, const ScriptedInput& step);
int64_t ScriptedInputFrame();   // the frame number the next update has

}  // namespace morpotta::platform
