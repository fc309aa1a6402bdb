// Device enumeration, the per-frame gathering of the six arrays, the F12
// edge, the Wii remotes' change callback and shut-down.
#include "game/input/input_manager.h"

#include <algorithm>
#include <memory>

#include "engine/input.h"
#include "engine/window.h"
#include "wiiremote/wiimote.h"

namespace {

// Extensions whose arrival turns the IR camera on (basic mode): nunchuk,
// classic controller, balance board, MotionPlus.
constexpr uint32_t kExtensionArrived = WiimoteChange::NunchukConnected | WiimoteChange::ClassicConnected |
                                       WiimoteChange::BalanceBoardConnected |
                                       WiimoteChange::MotionPlusConnected;

// Entries from the first empty slot on are null; so is an entry whose
// device lacks the block. Stops at the first empty slot.
template <typename Block, typename Read>
Block** Gather(Block** entries, InputDevice* const* devices, Read read) {
    int slot = 0;
    for (; slot < input::kSlotCount && devices[slot]; ++slot) entries[slot] = read(*devices[slot]);
    for (; slot < input::kSlotCount; ++slot) entries[slot] = nullptr;
    return entries;
}

}  // namespace

InputManager::InputManager(const int32_t (*keyRows)[3]) : keyRows(keyRows) {}

InputManager::~InputManager() { Shutdown(); }

bool InputManager::AddDevice(InputDevice* device) {
    std::unique_ptr<InputDevice> owned(device);
    if (deviceCount >= input::kSlotCount) return false;
    devices[deviceCount++] = owned.release();
    return true;
}

int InputManager::EnumerateDevices() {
    Shutdown();
    ConnectRemotes();

    for (int index = 0; index < kMaxGamePads; ++index) {
        GamePadInput state;
        if (QueryGamePadState(index, &state) != 0) continue;
        auto* pad = new InputDevice(index, input::kXInputPad, keyRows);
        pad->padState = state;
        pad->padConnected = 1;
        AddDevice(pad);
    }

    const int joysticks = std::min(CountJoypads(), kMaxJoysticks);
    for (int i = 0; i < joysticks; ++i) AddDevice(new InputDevice(i, input::kJoystick, keyRows));

    AddDevice(new InputDevice(0, input::kKeyboard, keyRows));
    AddDevice(new InputDevice(0, input::kMouse, keyRows));
    SetMouseCursorVisible(1);

    ShowDeviceBlocks();
    return deviceCount;
}

// Remotes 1..4 in the driver's order; one that does not connect gets no
// slot. A remote with its nunchuk in is held upright (type 3), otherwise
// sideways (type 2).
void InputManager::ConnectRemotes() {
    for (int n = 1; n <= kMaxRemotes; ++n) {
        auto remote = std::make_unique<Wiimote>();
        if (!remote->Connect(n)) continue;
        remote->SetLedBits(uint8_t(1 << (n - 1)));  // LED n
        remote->StartTimedRumble();
        const bool nunchuk = remote->CurrentExtension() == ExtensionNunchuk;
        SetRemoteReportMode(*remote, nunchuk ? 0x35 : 0x31);
        Wiimote& driver = *remote;
        auto* device = new InputDevice(deviceCount, nunchuk ? input::kWiiRemoteNunchuk : input::kWiiRemote, keyRows);
        device->AttachRemote(std::move(remote));
        if (!AddDevice(device)) return;
        driver.CallbackMask = kRemoteChangeMask;
        driver.ChangeCallback = &InputManager::OnWiiRemoteChange;
    }
}

// Until the first frame's gathering, every slot shows its device's own
// (zero) blocks.
void InputManager::ShowDeviceBlocks() {
    arrays = input::InputArrays{};
    for (int slot = 0; slot < deviceCount; ++slot) {
        InputDevice& d = *devices[slot];
        arrays.buttons[slot] = &d.buttonBlock;
        if (d.type == input::kWiiRemote) arrays.actions[slot] = d.actionBlock;
        if (d.type == input::kWiiRemoteNunchuk) arrays.slopes[slot] = d.slopeBlock;
        if (d.type == input::kXInputPad) arrays.analogs[slot] = d.analogBlock;
        if (d.type == input::kMouse) arrays.mice[slot] = d.mouseBlock;
        if (d.type == input::kKeyboard) arrays.keyboards[slot] = d.keyboardBlock;
    }
}

input::ButtonBlock** InputManager::GatherButtons() {
    return Gather(arrays.buttons, devices, [](InputDevice& d) { return d.Poll(); });
}

int32_t** InputManager::GatherActions() {
    return Gather(arrays.actions, devices,
                  [](InputDevice& d) { return d.type == input::kWiiRemote ? d.ReadTiltAction() : nullptr; });
}

float** InputManager::GatherSlopes() {
    return Gather(arrays.slopes, devices,
                  [](InputDevice& d) { return d.type == input::kWiiRemoteNunchuk ? d.ReadSlope() : nullptr; });
}

int32_t** InputManager::GatherAnalog() {
    return Gather(arrays.analogs, devices,
                  [](InputDevice& d) { return d.type == input::kXInputPad ? d.ReadXInputAnalog() : nullptr; });
}

int32_t** InputManager::GatherMouse() {
    return Gather(arrays.mice, devices, [](InputDevice& d) { return d.type == input::kMouse ? d.ReadMouse() : nullptr; });
}

int32_t** InputManager::GatherKeyboard() {
    return Gather(arrays.keyboards, devices,
                  [](InputDevice& d) { return d.type == input::kKeyboard ? d.ReadKeyboard() : nullptr; });
}

bool InputManager::ReadF12Press() {
    const int down = QueryKeyState(KEYCODE_F12);
    if (f12Down == 0 && down == 1) {
        f12Down = 1;
        return true;
    }
    if (down == 0) f12Down = 0;
    return false;
}

void InputManager::Shutdown() {
    for (InputDevice*& device : devices) {
        if (device && device->remote && device->remote->Connected) device->remote->Disconnect();
        delete device;
        device = nullptr;
    }
    deviceCount = 0;
    arrays = input::InputArrays{};
}

void InputManager::OnWiiRemoteChange(Wiimote& remote, uint32_t changed) {
    if (changed & WiimoteChange::MotionPlusDetected) {
        if (!remote.MotionPlusEnabled) remote.EnableMotionPlus();
    } else if (changed & WiimoteChange::MotionPlusExtensionConnected) {
        if (remote.MotionPlusEnabled) remote.DisableMotionPlus();
    } else if (changed & WiimoteChange::MotionPlusExtensionDisconnected) {
        if (remote.MotionPlusDetected) remote.EnableMotionPlus();
    } else if (changed & kExtensionArrived) {
        SetRemoteReportMode(remote, 0x37);
    } else if (changed & WiimoteChange::ExtensionDisconnected) {
        SetRemoteReportMode(remote, 0x33);
    }
}
