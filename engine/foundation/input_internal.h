// The input module's state, shared by its files.
#pragma once
#include "platform/input.h"

#include <cstdint>

struct InputState {
    bool started = false;
    uint8_t keys[platform::kKeyCount] = {};
    int mouseX = 0, mouseY = 0;  // logical screen
    int mouseButtons = 0;
    int wheel = 0;               // notches since the last clear
};

InputState& InputModuleState();

// The window point in the logical screen, the screen being shown scaled to
// fit the window with its aspect kept and centred.
void MapWindowPointToScreen(int windowX, int windowY, int* screenX, int* screenY);
