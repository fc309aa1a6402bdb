// SDL2 input back end: stands in for the keyboard, mouse and joystick
// devices of the host's input service and for its game-pad service. Keys
// and mouse come from the window's events; joysticks and game controllers
// are polled once per message pass, and their attach and detach are found
// by that poll too, so they need no events (SDL's joystick events are
// switched off: a moving stick would otherwise flood the window's queue,
// which is drained only a few events per pass).
// Limits: the first hat of each joystick, 8 axes and 32 buttons; 16
// joysticks, 4 game controllers. Without a joystick service the keyboard
// and mouse still work.
// Depends on: SDL2.
#include "input_slots.h"
#include "platform/warning.h"
#include "platform/input.h"
#include "sdl2/input_sdl2.h"

#include <SDL.h>

#include <algorithm>
#include <vector>

namespace morpotta::platform {
namespace {

struct OpenDevice {
    SDL_JoystickID id = -1;
    SDL_Joystick* joystick = nullptr;
    SDL_GameController* controller = nullptr;
    std::string identity;
};

struct Sdl2Input {
    bool joysticksStarted = false;
    bool held[SDL_NUM_SCANCODES] = {};
    MouseReading mouse;
    std::vector<OpenDevice> devices;
    DeviceSlots joystickSlots{kMaxJoysticks, {}};
    DeviceSlots controllerSlots{kMaxGamePads, {}};
};

Sdl2Input state;

std::string IdentityOf(int deviceIndex) {
    char guid[33] = {};
    SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(deviceIndex), guid, sizeof guid);
    const char* name = SDL_JoystickNameForIndex(deviceIndex);
    return std::string(guid) + "/" + (name ? name : "");
}

void CloseDevice(OpenDevice& d) {
    DetachDevice(state.joystickSlots, d.id);
    DetachDevice(state.controllerSlots, d.id);
    if (d.controller) SDL_GameControllerClose(d.controller);
    if (d.joystick) SDL_JoystickClose(d.joystick);
    d.controller = nullptr;
    d.joystick = nullptr;
}

void OpenNewDevice(int deviceIndex) {
    OpenDevice d;
    d.joystick = SDL_JoystickOpen(deviceIndex);
    if (!d.joystick) {
        Warn("joystick %d cannot be opened: %s", deviceIndex, SDL_GetError());
        return;
    }
    d.id = SDL_JoystickInstanceID(d.joystick);
    d.identity = IdentityOf(deviceIndex);
    if (SDL_IsGameController(deviceIndex)) d.controller = SDL_GameControllerOpen(deviceIndex);
    if (AttachDevice(state.joystickSlots, d.id, d.identity) < 0)
        Warn("more than %d joysticks; one is left out", kMaxJoysticks);
    state.devices.push_back(d);
}

// Closes what went away and opens what arrived; a game controller that
// found every user index taken tries again on each pass.
void ReconcileDevices() {
    for (OpenDevice& d : state.devices)
        if (!SDL_JoystickGetAttached(d.joystick)) CloseDevice(d);
    std::erase_if(state.devices, [](const OpenDevice& d) { return !d.joystick; });
    int count = SDL_NumJoysticks();
    for (int i = 0; i < count; ++i) {
        SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
        bool known = std::any_of(state.devices.begin(), state.devices.end(),
                                 [id](const OpenDevice& d) { return d.id == id; });
        if (id >= 0 && !known) OpenNewDevice(i);
    }
    for (OpenDevice& d : state.devices)
        if (d.controller && FindDeviceSlot(state.controllerSlots, d.id) < 0)
            AttachDevice(state.controllerSlots, d.id, d.identity);
}

const OpenDevice* DeviceById(int64_t id) {
    for (const OpenDevice& d : state.devices)
        if (d.id == id) return &d;
    return nullptr;
}

int OpenInput() {
    state = Sdl2Input{};
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0) {
        Warn("no joystick service (%s); keyboard and mouse only", SDL_GetError());
        return 0;
    }
    state.joysticksStarted = true;
    SDL_JoystickEventState(SDL_IGNORE);
    SDL_GameControllerEventState(SDL_IGNORE);
    SDL_JoystickUpdate();
    ReconcileDevices();
    return 0;
}

void CloseInput() {
    for (OpenDevice& d : state.devices) CloseDevice(d);
    if (state.joysticksStarted) SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
    state = Sdl2Input{};
}

void SetMouseButton(int code, bool down) {
    int bit = code == 1 ? kMouseLeft : code == 2 ? kMouseRight : kMouseMiddle;
    state.mouse.buttons = down ? state.mouse.buttons | bit : state.mouse.buttons & ~bit;
}

void HandleEvent(const Event& e) {
    switch (e.type) {
    case EventType::KeyDown:
    case EventType::KeyUp:
        if (e.code >= 0 && e.code < SDL_NUM_SCANCODES) state.held[e.code] = e.type == EventType::KeyDown;
        break;
    case EventType::MouseMove:
        state.mouse.x = e.x;
        state.mouse.y = e.y;
        break;
    case EventType::MouseButtonDown:
    case EventType::MouseButtonUp:
        state.mouse.x = e.x;
        state.mouse.y = e.y;
        SetMouseButton(e.code, e.type == EventType::MouseButtonDown);
        break;
    case EventType::MouseWheel: state.mouse.wheel += e.y; break;
    default: break;
    }
}

void Update() {
    if (!state.joysticksStarted) return;
    SDL_JoystickUpdate();
    ReconcileDevices();
}

void ReadKeys(uint8_t keys[kKeyCount]) {
    std::fill(keys, keys + kKeyCount, 0);
    for (int s = 0; s < SDL_NUM_SCANCODES; ++s) {
        int key = KeyNumberFromSdlScancode(s);
        if (state.held[s] && key) keys[key] = 1;
    }
}

void ReadMouse(MouseReading* out) {
    *out = state.mouse;
    state.mouse.wheel = 0;
}

int JoystickSlots() { return int(state.joystickSlots.slots.size()); }

bool ReadJoystick(int slot, JoystickReading* out) {
    const OpenDevice* d = DeviceById(DeviceAtSlot(state.joystickSlots, slot));
    if (!d) return false;
    JoystickReading r;
    r.axisCount = std::clamp(SDL_JoystickNumAxes(d->joystick), 0, kJoystickAxes);
    for (int i = 0; i < r.axisCount; ++i) r.axes[i] = SDL_JoystickGetAxis(d->joystick, i);
    if (SDL_JoystickNumHats(d->joystick) > 0) r.hat = SDL_JoystickGetHat(d->joystick, 0);
    r.buttonCount = std::clamp(SDL_JoystickNumButtons(d->joystick), 0, kJoystickButtons);
    for (int i = 0; i < r.buttonCount; ++i)
        if (SDL_JoystickGetButton(d->joystick, i)) r.buttons |= 1u << i;
    *out = r;
    return true;
}

constexpr struct {
    SDL_GameControllerButton button;
    uint16_t bit;
} kControllerButtons[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_UP, kPadDpadUp},       {SDL_CONTROLLER_BUTTON_DPAD_DOWN, kPadDpadDown},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, kPadDpadLeft},   {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, kPadDpadRight},
    {SDL_CONTROLLER_BUTTON_START, kPadStart},          {SDL_CONTROLLER_BUTTON_BACK, kPadBack},
    {SDL_CONTROLLER_BUTTON_LEFTSTICK, kPadLeftThumb},  {SDL_CONTROLLER_BUTTON_RIGHTSTICK, kPadRightThumb},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, kPadLeftShoulder},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, kPadRightShoulder},
    {SDL_CONTROLLER_BUTTON_A, kPadA}, {SDL_CONTROLLER_BUTTON_B, kPadB},
    {SDL_CONTROLLER_BUTTON_X, kPadX}, {SDL_CONTROLLER_BUTTON_Y, kPadY},
};

bool ReadController(int userIndex, ControllerReading* out) {
    const OpenDevice* d = DeviceById(DeviceAtSlot(state.controllerSlots, userIndex));
    if (!d || !d->controller) return false;
    SDL_GameController* c = d->controller;
    ControllerReading r;
    r.leftX = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
    r.leftY = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY);
    r.rightX = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTX);
    r.rightY = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTY);
    r.leftTrigger = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT);
    r.rightTrigger = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    for (const auto& b : kControllerButtons)
        if (SDL_GameControllerGetButton(c, b.button)) r.buttons |= b.bit;
    *out = r;
    return true;
}

}  // namespace

const InputBackend kSdl2InputBackend = {
    "sdl2", OpenInput, CloseInput, HandleEvent, Update, ReadKeys, ReadMouse, JoystickSlots, ReadJoystick, ReadController,
};

}  // namespace morpotta::platform
