// One input device of a player: a joystick, a Wii remote (held sideways, or
// upright with a nunchuk), a console game pad, the mouse or the keyboard.
// Its type is also the kind of the player's cat. The device owns one block
// of every kind (all zero when made); the input manager hands out those
// that belong to its current type.
#pragma once
#include <cstdint>
#include <memory>

#include "engine/input.h"
#include "game/input/input_blocks.h"

class Wiimote;

// Dead zone of a console pad's stick: an axis counts only when its
// magnitude is above it (32767 x 0.24 in single precision, 7864.08).
constexpr float kStickDeadZone = 32767 * 0.24f;

// The lowest set bit among the pad button bits 32, 64, ..., 4096, else
// bits & 8192: the button a key-assignment press chooses.
int32_t LowestButtonBit(int32_t padBits);

class InputDevice {
public:
    // number: pad index 0..3 of a joystick, user index 0..3 of a game pad,
    // running device number of a Wii remote, 0 for mouse and keyboard.
    // keyRows: the save data's four key rows (jump / decide, action /
    // cancel, pause); a joystick reads row `number`. Null: the default row.
    InputDevice(int32_t number, int32_t type, const int32_t (*keyRows)[3]);
    ~InputDevice();
    InputDevice(const InputDevice&) = delete;
    InputDevice& operator=(const InputDevice&) = delete;

    // Reads the device into its button block. A Wii remote also takes its
    // state snapshot for the frame here and switches between types 2 and 3
    // when the nunchuk is plugged or pulled.
    input::ButtonBlock* Poll();
    // Type 2: starts the tilt action timers from the remote's acceleration
    // while all three are 0 (the cat counts them down).
    int32_t* ReadTiltAction();
    // Type 3: the nunchuk's acceleration of this frame's snapshot.
    float* ReadSlope();
    // Type 4: sticks past the dead zone, triggers and shoulder buttons.
    int32_t* ReadXInputAnalog();
    // Type 5: the cursor in the 640x480 frame.
    int32_t* ReadMouse();
    // Type 6: the 49 keys of the four rows and the space bar.
    int32_t* ReadKeyboard();

    // A Wii remote that connected; the device owns it from then on.
    void AttachRemote(std::unique_ptr<Wiimote> remote);

    int32_t number;
    int32_t type;  // input::DeviceType
    input::ButtonBlock buttonBlock{};
    int32_t actionBlock[input::kActionWords] = {};
    float slopeBlock[input::kSlopeWords] = {};
    int32_t analogBlock[input::kAnalogWords] = {};
    int32_t mouseBlock[input::kMouseWords] = {};
    int32_t keyboardBlock[input::kKeyboardWords] = {};
    const int32_t* keyRow;               // joysticks: their key row
    std::unique_ptr<Wiimote> remote;     // Wii remotes only
    GamePadInput padState{};             // game pads only
    uint8_t padConnected = 0;

private:
    // What the frame's poll read from a Wii remote, copied out of the
    // driver's record under its lock. All zero once the remote is lost.
    struct RemoteReading {
        bool connected = false;
        bool nunchuk = false;  // a nunchuk is plugged in and identified
        uint16_t buttons = 0;
        float accel[3] = {};
        float stickX = 0, stickY = 0;
        bool c = false, z = false;
        float nunchukAccel[3] = {};
    };

    void PollJoystick();
    void PollRemoteSideways();
    void PollRemoteUpright();
    void PollGamePad();
    void PollMouse();
    void PollKeyboard();
    void ReadRemote();
    bool ReadGamePad();

    RemoteReading reading_;
};

// Sets a remote's data-report mode (0x31, 0x33, 0x35, 0x37) with the IR
// camera to match, unless the remote is lost or is a balance board. Takes
// the remote's state lock: the change callback sets modes on the read
// thread while holding it, and two mode changes must not interleave.
void SetRemoteReportMode(Wiimote& remote, uint32_t mode);
