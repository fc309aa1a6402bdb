// The game-pad state query over the selected input back end: the host's
// controller ranges turned into the pad's (sticks up positive and
// symmetric, triggers in a byte) and a packet number that moves on
// whenever the state changes.
#include "platform/input.h"

#include <algorithm>

namespace morpotta::platform {
namespace {

struct PadRecord {
    bool connected = false;
    GamePadState last;
};

PadRecord pads[kMaxGamePads];

int16_t StickAxis(int value) { return int16_t(std::clamp(value, -32767, 32767)); }

// The host's y grows downward; -(-32768) does not fit and clamps.
int16_t StickAxisUp(int value) { return StickAxis(-value); }

uint8_t Trigger(int value) {
    int v = std::clamp(value, 0, 32767);
    return uint8_t((v * 255 + 16383) / 32767);
}

bool SameReading(const GamePadState& a, const GamePadState& b) {
    return a.buttons == b.buttons && a.leftTrigger == b.leftTrigger && a.rightTrigger == b.rightTrigger &&
           a.leftX == b.leftX && a.leftY == b.leftY && a.rightX == b.rightX && a.rightY == b.rightY;
}

}  // namespace

GamePadState GamePadStateFromController(const ControllerReading& r) {
    GamePadState s;
    s.buttons = r.buttons;
    s.leftTrigger = Trigger(r.leftTrigger);
    s.rightTrigger = Trigger(r.rightTrigger);
    s.leftX = StickAxis(r.leftX);
    s.leftY = StickAxisUp(r.leftY);
    s.rightX = StickAxis(r.rightX);
    s.rightY = StickAxisUp(r.rightY);
    return s;
}

uint32_t GetGamePadState(uint32_t userIndex, GamePadState* state) {
    if (!state || userIndex >= uint32_t(kMaxGamePads)) return kGamePadBadArguments;
    PadRecord& pad = pads[userIndex];
    ControllerReading reading;
    if (!Input().readController(int(userIndex), &reading)) {
        pad.connected = false;
        return kGamePadNotConnected;
    }
    GamePadState now = GamePadStateFromController(reading);
    if (!pad.connected) {
        now.packetNumber = pad.last.packetNumber + 1;
    } else {
        now.packetNumber = pad.last.packetNumber + (SameReading(now, pad.last) ? 0 : 1);
    }
    pad.connected = true;
    pad.last = now;
    *state = now;
    return kGamePadSuccess;
}

}  // namespace morpotta::platform
