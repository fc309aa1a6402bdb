// Mouse queries, and the mapping of window points onto the draw screen.
#include "engine/input.h"

#include "foundation/engine_thread.h"
#include "foundation/input_internal.h"
#include "platform/window.h"

#include <cstdint>

using namespace morpotta;

namespace morpotta {

namespace {

// The draw-screen pixel under a window pixel on one axis: the screen's
// pixels spread evenly over the window's (rounded down, also left of and
// above the window).
int MapAxis(int windowAt, int windowSize, int screenSize) {
    const int64_t scaled = int64_t(windowAt) * screenSize;
    return int(scaled >= 0 ? scaled / windowSize : -((-scaled + windowSize - 1) / windowSize));
}

}  // namespace

void MapWindowPointToScreen(int windowX, int windowY, int* screenX, int* screenY) {
    int windowWidth = 0, windowHeight = 0;
    platform::Window().windowSize(&windowWidth, &windowHeight);
    if (windowWidth <= 0 || windowHeight <= 0) {
        *screenX = windowX;
        *screenY = windowY;
        return;
    }
    *screenX = MapAxis(windowX, windowWidth, kDrawScreenWidth);
    *screenY = MapAxis(windowY, windowHeight, kDrawScreenHeight);
}

}  // namespace morpotta

int GetMousePosition(int* x, int* y) {
    const PublicCall call("GetMousePosition");
    if (!AllowOnlyOnEngineThread()) return -1;
    const InputState& s = InputModuleState();
    if (x) *x = s.mouseX;
    if (y) *y = s.mouseY;
    return 0;
}

int ReadMouseButtons() {
    const PublicCall call("ReadMouseButtons");
    if (!AllowOnlyOnEngineThread()) return -1;
    return InputModuleState().mouseButtons;
}

int GetMouseWheelCount(int clear) {
    const PublicCall call("GetMouseWheelCount");
    if (!AllowOnlyOnEngineThread()) return -1;
    InputState& s = InputModuleState();
    int count = s.wheel;
    if (clear) s.wheel = 0;
    return count;
}
