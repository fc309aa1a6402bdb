// Scripted input for the play simulator: which buttons, keys, sticks,
// pulses and positions each player's device holds on which frames.
//
// One line per held range, '#' starts a comment:
//     FRAMES [pN] TOKEN ...
// FRAMES is a frame F or a range F-L (inclusive); frames count from 1, the
// first simulated frame. pN names the player (1..4, default 1). Tokens:
//     up right down left action extra jump pause   the button words; on a
//                       keyboard they also hold the cat's keys (right,
//                       left, jump), on an XInput pad right and left push
//                       the left stick and jump pulls the left trigger
//     slow              the keyboard's slow key
//     button=N key=N    any button word 0..7, any keyboard word 0..48
//     lx= ly= lt= lb= rx= ry= rt= rb=   XInput analog words
//     mouse=X,Y         the cursor (kept until moved again)
//     slope=X,Y,Z       a nunchuk remote's tilt (kept until changed)
//     shake=K           a shake pulse on action word K (0..2) when the
//                       remote's action words are all at rest
// Lines that cover the same frame add up.
#pragma once
#include "game/input/input_blocks.h"

#include <cstdint>
#include <string>
#include <vector>

namespace playsim {

// The blocks of one simulated input device.
struct DeviceBlocks {
    input::ButtonBlock buttons{};
    int32_t actions[3] = {};
    float slope[3] = {0, 0, 1};
    int32_t analog[8] = {};
    int32_t mouse[2] = {};
    int32_t keyboard[49] = {};

    // Puts these blocks in device slot `slot` of the per-frame arrays as a
    // device of `type` (1..6) has them: the buttons and its own kind of block.
    void Attach(int type, int slot, input::InputArrays& arrays) {
        arrays.buttons[slot] = &buttons;
        arrays.actions[slot] = type == input::kWiiRemote ? actions : nullptr;
        arrays.slopes[slot] = type == input::kWiiRemoteNunchuk ? slope : nullptr;
        arrays.analogs[slot] = type == input::kXInputPad ? analog : nullptr;
        arrays.mice[slot] = type == input::kMouse ? mouse : nullptr;
        arrays.keyboards[slot] = type == input::kKeyboard ? keyboard : nullptr;
    }
};

class InputScript {
public:
    // False with a message in *error for a line that cannot be read.
    bool Parse(const std::string& text, std::string* error);
    // Sets the blocks of player `player` (0..3), whose device has the given
    // type (1..6), for frame `frame`: the held words are cleared first;
    // positions, tilts and pulses carry over.
    void Apply(int frame, int player, int deviceType, DeviceBlocks& blocks) const;
    bool empty() const { return entries_.empty(); }

private:
    enum class Kind { kButton, kKey, kAnalog, kMouse, kSlope, kShake, kRight, kLeft, kJump };
    struct Entry {
        int first, last, player;
        Kind kind;
        int index;
        float values[3];
    };
    std::vector<Entry> entries_;
};

}  // namespace playsim
