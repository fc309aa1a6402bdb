// The input module's life cycle and its refresh by the message processing:
// events of the window go to the input back end as they arrive; every pass
// then takes the keyboard and mouse state over in one step.
#include "engine/input.h"

#include "engine/lifecycle.h"
#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "foundation/input_internal.h"
#include "foundation/subsystems.h"
#include "platform/lasting_state.h"

using namespace morpotta;

int SetInputBackend(const char* name) {
    const PublicCall call("SetInputBackend");
    return ChooseBackend(platform::SelectInputBackend, name, IsEngineInitialized());
}

namespace morpotta::subsystems {

int InitializeInput() {
    InputState& s = InputModuleState();
    s = InputState{};
    if (platform::Input().open() != 0) return WriteLogFormat("Input start-up failed (%s)", platform::Input().name);
    s.started = true;
    WriteLogFormat("Input: %s, %d joypads", platform::Input().name, CountJoypads());
    return 0;
}

void TerminateInput() {
    InputState& s = InputModuleState();
    if (s.started) platform::Input().close();
    s = InputState{};
}

void HandleInputEvent(const platform::Event& event) {
    if (InputModuleState().started) platform::Input().handleEvent(event);
}

void UpdateInput() {
    InputState& s = InputModuleState();
    if (!s.started) return;
    platform::Input().update();
    platform::Input().readKeys(s.keys);
    platform::MouseReading mouse;
    platform::Input().readMouse(&mouse);
    MapWindowPointToScreen(mouse.x, mouse.y, &s.mouseX, &s.mouseY);
    s.mouseButtons = mouse.buttons & (MOUSE_BUTTON_LEFT | MOUSE_BUTTON_RIGHT | MOUSE_BUTTON_MIDDLE);
    s.wheel += mouse.wheel;
}

}  // namespace morpotta::subsystems
