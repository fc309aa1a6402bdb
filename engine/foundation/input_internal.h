// The input module's state, shared by its files.
#pragma once
#include "platform/input.h"
#include "platform/lasting_state.h"

#include <cstdint>

namespace morpotta {

struct InputState {
    bool started = false;
    uint8_t keys[platform::kKeyCount] = {};
    int mouseX = 0, mouseY = 0;  // draw screen
    int mouseButtons = 0;
    int wheel = 0;               // notches since the last clear
};

// Made at load, and reached at a fixed address by the key queries.
inline InputState& InputModuleState() { return platform::LastingState<InputState>(); }

// The draw screen every picture is drawn on, whatever the screen mode (the
// screen mode only sizes the window).
constexpr int kDrawScreenWidth = 640;
constexpr int kDrawScreenHeight = 480;

// The window point on the draw screen. Both the GL and the software path
// show the draw screen stretched over the whole client area, whatever its
// size and shape, so each axis maps by its own ratio.
void MapWindowPointToScreen(int windowX, int windowY, int* screenX, int* screenY);

}  // namespace morpotta
