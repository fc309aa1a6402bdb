// The game's input manager: finds every device once at start-up (Wii
// remotes, game pads, joysticks, then the keyboard and the mouse) into up
// to 15 slots without gaps, and every frame refreshes the six per-frame
// arrays that the scenes read and the replays record. Everything here runs
// on the main thread except OnWiiRemoteChange, which a remote's read
// thread calls.
#pragma once
#include <cstdint>

#include "game/input/input_blocks.h"
#include "game/input/input_device.h"

class Wiimote;

class InputManager {
public:
    static constexpr int kMaxRemotes = 4;
    static constexpr int kMaxGamePads = 4;
    static constexpr int kMaxJoysticks = 4;
    // The change bits the remotes report to OnWiiRemoteChange.
    static constexpr uint32_t kRemoteChangeMask = 0x3FFFF00;

    // keyRows: the save data's four key rows, read live by the joysticks
    // (null: the default rows).
    explicit InputManager(const int32_t (*keyRows)[3]);
    ~InputManager();  // Shutdown
    InputManager(const InputManager&) = delete;
    InputManager& operator=(const InputManager&) = delete;

    // Finds the devices and returns how many (at most 14). Called once; a
    // second call starts over.
    int EnumerateDevices();

    // Each refreshes its array (slot order, null past the last device and
    // for devices without that block) and returns it.
    input::ButtonBlock** GatherButtons();
    int32_t** GatherActions();
    float** GatherSlopes();
    int32_t** GatherAnalog();
    int32_t** GatherMouse();
    int32_t** GatherKeyboard();

    // True on exactly the frame on which F12 went down.
    bool ReadF12Press();

    // Disconnects the remotes and frees every device; the arrays read empty.
    void Shutdown();

    // The state-change callback of every remote (read thread, with the
    // remote's state lock held): switches MotionPlus as it comes and goes
    // and picks the report mode for a new or removed extension. It touches
    // nothing but its own remote.
    static void OnWiiRemoteChange(Wiimote& remote, uint32_t changed);

    input::InputArrays arrays;           // the six per-frame arrays
    const int32_t (*keyRows)[3];
    InputDevice* devices[input::kSlotCount] = {};  // owned; filled from slot 0 without gaps
    int deviceCount = 0;
    uint8_t f12Down = 0;

private:
    bool AddDevice(InputDevice* device);
    void ConnectRemotes();
    void ShowDeviceBlocks();
};
