// One player's input for one frame: the six blocks of the player's device,
// any of which may be absent (null) when the device has no such block, the
// player has no device, or a replay holds no stream of that kind.
#pragma once
#include "game/input/input_blocks.h"

#include <cstdint>

struct PlayerInput {
    input::ButtonBlock* buttons = nullptr;
    int32_t* actions = nullptr;   // input::kActionWords counters
    float* slope = nullptr;       // input::kSlopeWords
    int32_t* analog = nullptr;    // input::kAnalogWords, see input::AnalogIndex
    int32_t* mouse = nullptr;     // cursor x, y
    int32_t* keyboard = nullptr;  // input::kKeyboardWords

    bool AllNull() const { return !buttons && !actions && !slope && !analog && !mouse && !keyboard; }

    // The blocks of device slot `slot` in the per-frame arrays; all null for
    // a slot outside 0..14 (a player without a device).
    static PlayerInput FromArrays(const input::InputArrays& arrays, int slot) {
        PlayerInput in;
        if (slot < 0 || slot >= input::kSlotCount) return in;
        in.buttons = arrays.buttons[slot];
        in.actions = arrays.actions[slot];
        in.slope = arrays.slopes[slot];
        in.analog = arrays.analogs[slot];
        in.mouse = arrays.mice[slot];
        in.keyboard = arrays.keyboards[slot];
        return in;
    }
};
