// Mouse queries, and the mapping of window points into the logical screen.
#include "engine/input.h"

#include "engine/window.h"
#include "foundation/engine_thread.h"
#include "foundation/input_internal.h"
#include "platform/window.h"

#include <algorithm>
#include <cmath>

void MapWindowPointToScreen(int windowX, int windowY, int* screenX, int* screenY) {
    int windowWidth = 0, windowHeight = 0, screenWidth = 0, screenHeight = 0;
    platform::Window().windowSize(&windowWidth, &windowHeight);
    GetScreenMode(&screenWidth, &screenHeight, nullptr, nullptr);
    if (windowWidth <= 0 || windowHeight <= 0 || screenWidth <= 0 || screenHeight <= 0) {
        *screenX = windowX;
        *screenY = windowY;
        return;
    }
    double scale = std::min(double(windowWidth) / screenWidth, double(windowHeight) / screenHeight);
    double left = (windowWidth - screenWidth * scale) / 2;
    double top = (windowHeight - screenHeight * scale) / 2;
    *screenX = int(std::floor((windowX - left) / scale));
    *screenY = int(std::floor((windowY - top) / scale));
}

int GetMousePosition(int* x, int* y) {
    if (!AllowOnlyOnEngineThread("GetMousePosition")) return -1;
    const InputState& s = InputModuleState();
    if (x) *x = s.mouseX;
    if (y) *y = s.mouseY;
    return 0;
}

int ReadMouseButtons() {
    if (!AllowOnlyOnEngineThread("ReadMouseButtons")) return -1;
    return InputModuleState().mouseButtons;
}

int GetMouseWheelCount(int clear) {
    if (!AllowOnlyOnEngineThread("GetMouseWheelCount")) return -1;
    InputState& s = InputModuleState();
    int count = s.wheel;
    if (clear) s.wheel = 0;
    return count;
}
