// An engine on the headless window with the scripted input back end, on
// the virtual clock, in a temporary directory; and short makers of script
// steps.
#pragma once
#include "engine/engine.h"
#include "engine/input.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/window.h"
#include "scoped_temp_dir.h"

#include <gtest/gtest.h>

using namespace morpotta;

class ScriptedEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SetWindowBackend("headless"), 0);
        ASSERT_EQ(SetInputBackend("scripted"), 0);
        platform::UseVirtualClock(true);
        platform::ResetInputScript();
    }
    void TearDown() override {
        if (IsEngineInitialized()) ShutdownEngine();
        platform::UseVirtualClock(false);
        SetInputBackend("sdl2");
        SetWindowBackend("sdl2");
    }
    void Start() { ASSERT_EQ(InitializeEngine(), 0); }
    // One message pass: one scripted frame.
    void Pass() { ASSERT_EQ(ProcessWindowMessages(), 0); }
    void AtFrame(int64_t frame, const platform::ScriptedInput& step) { platform::ScriptInputAtFrame(frame, step); }

    ScopedTempDir dir_;
};

namespace script {

using platform::ScriptedInput;
using platform::ScriptedInputKind;

inline ScriptedInput Key(int key, bool down) { return {ScriptedInputKind::Key, 0, key, down ? 1 : 0, 0}; }
inline ScriptedInput MouseMove(int x, int y) { return {ScriptedInputKind::MouseMove, 0, 0, x, y}; }
inline ScriptedInput MouseButton(int bit, bool down) { return {ScriptedInputKind::MouseButton, 0, bit, down ? 1 : 0, 0}; }
inline ScriptedInput Wheel(int notches) { return {ScriptedInputKind::MouseWheel, 0, 0, notches, 0}; }
inline ScriptedInput StickAttach(int device, int axes = 2, int buttons = 32) {
    return {ScriptedInputKind::JoystickAttach, device, axes, buttons, 0};
}
inline ScriptedInput StickDetach(int device) { return {ScriptedInputKind::JoystickDetach, device, 0, 0, 0}; }
inline ScriptedInput StickAxis(int device, int axis, int value) {
    return {ScriptedInputKind::JoystickAxis, device, axis, value, 0};
}
inline ScriptedInput StickHat(int device, int bits) { return {ScriptedInputKind::JoystickHat, device, 0, bits, 0}; }
inline ScriptedInput StickButton(int device, int button, bool down) {
    return {ScriptedInputKind::JoystickButton, device, button, down ? 1 : 0, 0};
}
inline ScriptedInput PadAttach(int device) { return {ScriptedInputKind::ControllerAttach, device, 0, 0, 0}; }
inline ScriptedInput PadDetach(int device) { return {ScriptedInputKind::ControllerDetach, device, 0, 0, 0}; }
inline ScriptedInput PadAxis(int device, int axis, int value) {
    return {ScriptedInputKind::ControllerAxis, device, axis, value, 0};
}
inline ScriptedInput PadButton(int device, int bit, bool down) {
    return {ScriptedInputKind::ControllerButton, device, bit, down ? 1 : 0, 0};
}

}  // namespace script
