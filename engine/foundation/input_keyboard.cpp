// Keyboard queries over the state the last message pass took.
#include "engine/input.h"

#include "engine/lifecycle.h"
#include "engine/log.h"
#include "engine/window.h"
#include "foundation/engine_thread.h"
#include "foundation/input_internal.h"
#include "foundation/window_internal.h"

#include <algorithm>

using namespace morpotta;

namespace {

// The message processing does not return while the window is inactive, so
// this waits until it is active again (or gone).
void WaitWhileWindowInactive() {
    if (MessagesWaitWhileInactive() && IsEngineInitialized()) ProcessWindowMessages();
}

}  // namespace

int QueryKeyState(int keyCode) {
    const EngineThreadCall call("QueryKeyState");
    if (!call.allowed()) return -1;
    if (keyCode < 0 || keyCode >= platform::kKeyCount) {
        Refuse("key number %d, not 0 to %d", keyCode, platform::kKeyCount - 1);
        return 0;
    }
    WaitWhileWindowInactive();
    return InputModuleState().keys[keyCode];
}

int QueryAllKeyStates(unsigned char* keys) {
    const EngineThreadCall call("QueryAllKeyStates");
    if (!call.allowed()) return -1;
    if (!keys) return RefuseNull("place for the keys");
    const InputState& s = InputModuleState();
    std::copy(s.keys, s.keys + platform::kKeyCount, keys);
    return 0;
}
