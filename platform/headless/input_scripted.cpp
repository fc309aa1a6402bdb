// Scripted input back end: stands in for every input device in tests.
// Keys, mouse, joysticks and game controllers change only by the steps of
// a script, each due at a frame number (message passes since the reset) or
// at a time on the platform clock (virtual in tests). Key and mouse events
// of the window are taken as well, a key event's code being the key number
// itself (the headless host has no scancodes of its own).
// Limits: none beyond the interface's. Depends on: nothing.
#include "headless/input_scripted.h"

#include "input_slots.h"
#include "platform/clock.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

namespace morpotta::platform {
namespace {

struct Step {
    bool byTime = false;
    int64_t frame = 0;
    uint64_t microseconds = 0;
    ScriptedInput input;
};

struct ScriptState {
    std::vector<Step> steps;
    int64_t frame = 0;
    uint64_t origin = 0;
    uint8_t keys[kKeyCount] = {};
    MouseReading mouse;
    std::map<int, JoystickReading> joysticks;      // by the script's device id, attached only
    std::map<int, ControllerReading> controllers;
    DeviceSlots joystickSlots{kMaxJoysticks, {}};
    DeviceSlots controllerSlots{kMaxGamePads, {}};
};

std::mutex scriptMutex;
ScriptState script;

void SetBit(uint32_t& bits, uint32_t bit, bool on) { bits = on ? bits | bit : bits & ~bit; }

int* ControllerAxis(ControllerReading& r, int index) {
    int* axes[] = {&r.leftX, &r.leftY, &r.rightX, &r.rightY, &r.leftTrigger, &r.rightTrigger};
    return index >= 0 && index < 6 ? axes[index] : nullptr;
}

std::string Identity(int device) { return "script/" + std::to_string(device); }

void ApplyJoystickStep(const ScriptedInput& s) {
    auto it = script.joysticks.find(s.device);
    switch (s.kind) {
    case ScriptedInputKind::JoystickAttach: {
        if (it != script.joysticks.end()) return;
        JoystickReading r;
        r.axisCount = std::clamp(s.index, 0, kJoystickAxes);
        r.buttonCount = std::clamp(s.value, 0, kJoystickButtons);
        if (AttachDevice(script.joystickSlots, s.device, Identity(s.device)) >= 0) script.joysticks[s.device] = r;
        return;
    }
    case ScriptedInputKind::JoystickDetach:
        DetachDevice(script.joystickSlots, s.device);
        if (it != script.joysticks.end()) script.joysticks.erase(it);
        return;
    default: break;
    }
    if (it == script.joysticks.end()) return;
    JoystickReading& r = it->second;
    if (s.kind == ScriptedInputKind::JoystickAxis && s.index >= 0 && s.index < r.axisCount)
        r.axes[s.index] = std::clamp(s.value, -32768, 32767);
    if (s.kind == ScriptedInputKind::JoystickHat) r.hat = s.value & 15;
    if (s.kind == ScriptedInputKind::JoystickButton && s.index >= 0 && s.index < r.buttonCount)
        SetBit(r.buttons, 1u << s.index, s.value != 0);
}

void ApplyControllerStep(const ScriptedInput& s) {
    auto it = script.controllers.find(s.device);
    if (s.kind == ScriptedInputKind::ControllerAttach) {
        if (it == script.controllers.end() && AttachDevice(script.controllerSlots, s.device, Identity(s.device)) >= 0)
            script.controllers[s.device] = ControllerReading{};
        return;
    }
    if (s.kind == ScriptedInputKind::ControllerDetach) {
        DetachDevice(script.controllerSlots, s.device);
        if (it != script.controllers.end()) script.controllers.erase(it);
        return;
    }
    if (it == script.controllers.end()) return;
    if (s.kind == ScriptedInputKind::ControllerAxis) {
        if (int* axis = ControllerAxis(it->second, s.index)) *axis = s.value;
    } else if (s.kind == ScriptedInputKind::ControllerButton) {
        uint32_t bits = it->second.buttons;
        SetBit(bits, uint32_t(s.index) & 0xFFFF, s.value != 0);
        it->second.buttons = uint16_t(bits);
    }
}

void ApplyStep(const ScriptedInput& s) {
    switch (s.kind) {
    case ScriptedInputKind::Key:
        if (s.index >= 0 && s.index < kKeyCount) script.keys[s.index] = s.value ? 1 : 0;
        break;
    case ScriptedInputKind::MouseMove:
        script.mouse.x = s.value;
        script.mouse.y = s.value2;
        break;
    case ScriptedInputKind::MouseButton: {
        uint32_t bits = uint32_t(script.mouse.buttons);
        SetBit(bits, uint32_t(s.index) & 7, s.value != 0);
        script.mouse.buttons = int(bits);
        break;
    }
    case ScriptedInputKind::MouseWheel: script.mouse.wheel += s.value; break;
    case ScriptedInputKind::JoystickAttach:
    case ScriptedInputKind::JoystickDetach:
    case ScriptedInputKind::JoystickAxis:
    case ScriptedInputKind::JoystickHat:
    case ScriptedInputKind::JoystickButton: ApplyJoystickStep(s); break;
    default: ApplyControllerStep(s); break;
    }
}

// Applies the steps due at the current frame and time, in the order added.
void ApplyDueSteps() {
    uint64_t elapsed = ClockMicroseconds() - script.origin;
    auto due = [&](const Step& s) { return s.byTime ? s.microseconds <= elapsed : s.frame <= script.frame; };
    for (const Step& s : script.steps)
        if (due(s)) ApplyStep(s.input);
    std::erase_if(script.steps, due);
}

int ScriptedOpen() {
    std::lock_guard<std::mutex> lock(scriptMutex);
    ApplyDueSteps();
    return 0;
}

void ScriptedClose() {}

void ScriptedHandleEvent(const Event& e) {
    std::lock_guard<std::mutex> lock(scriptMutex);
    switch (e.type) {
    case EventType::KeyDown:
    case EventType::KeyUp:
        if (e.code >= 0 && e.code < kKeyCount) script.keys[e.code] = e.type == EventType::KeyDown;
        break;
    case EventType::MouseMove:
    case EventType::MouseButtonDown:
    case EventType::MouseButtonUp: {
        script.mouse.x = e.x;
        script.mouse.y = e.y;
        if (e.type == EventType::MouseMove) break;
        uint32_t bits = uint32_t(script.mouse.buttons);
        SetBit(bits, e.code == 1 ? kMouseLeft : e.code == 2 ? kMouseRight : kMouseMiddle,
               e.type == EventType::MouseButtonDown);
        script.mouse.buttons = int(bits);
        break;
    }
    case EventType::MouseWheel: script.mouse.wheel += e.y; break;
    default: break;
    }
}

void ScriptedUpdate() {
    std::lock_guard<std::mutex> lock(scriptMutex);
    ApplyDueSteps();
    ++script.frame;
}

void ScriptedReadKeys(uint8_t keys[kKeyCount]) {
    std::lock_guard<std::mutex> lock(scriptMutex);
    std::copy(script.keys, script.keys + kKeyCount, keys);
}

void ScriptedReadMouse(MouseReading* out) {
    std::lock_guard<std::mutex> lock(scriptMutex);
    *out = script.mouse;
    script.mouse.wheel = 0;
}

int ScriptedJoystickSlots() {
    std::lock_guard<std::mutex> lock(scriptMutex);
    return int(script.joystickSlots.slots.size());
}

bool ScriptedReadJoystick(int slot, JoystickReading* out) {
    std::lock_guard<std::mutex> lock(scriptMutex);
    auto it = script.joysticks.find(int(DeviceAtSlot(script.joystickSlots, slot)));
    if (DeviceAtSlot(script.joystickSlots, slot) < 0 || it == script.joysticks.end()) return false;
    *out = it->second;
    return true;
}

bool ScriptedReadController(int userIndex, ControllerReading* out) {
    std::lock_guard<std::mutex> lock(scriptMutex);
    auto it = script.controllers.find(int(DeviceAtSlot(script.controllerSlots, userIndex)));
    if (DeviceAtSlot(script.controllerSlots, userIndex) < 0 || it == script.controllers.end()) return false;
    *out = it->second;
    return true;
}

}  // namespace

const InputBackend kScriptedInputBackend = {
    "scripted", ScriptedOpen, ScriptedClose, ScriptedHandleEvent, ScriptedUpdate, ScriptedReadKeys, ScriptedReadMouse, ScriptedJoystickSlots, ScriptedReadJoystick, ScriptedReadController,
};

void ResetInputScript() {
    std::lock_guard<std::mutex> lock(scriptMutex);
    script = ScriptState{};
    script.origin = ClockMicroseconds();
}

void ScriptInputAtFrame(int64_t frame, const ScriptedInput& step) {
    std::lock_guard<std::mutex> lock(scriptMutex);
    script.steps.push_back(Step{false, frame, 0, step});
}

void ScriptInputAtTime(uint64_t microseconds, const ScriptedInput& step) {
    std::lock_guard<std::mutex> lock(scriptMutex);
    script.steps.push_back(Step{true, 0, microseconds, step});
}

int64_t ScriptedInputFrame() {
    std::lock_guard<std::mutex> lock(scriptMutex);
    return script.frame;
}

}  // namespace morpotta::platform
