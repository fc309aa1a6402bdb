// Game pads of the console kind: the platform's pad-state query handed on
// in the engine's own record.
#include "engine/input.h"

#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "foundation/input_internal.h"

using namespace morpotta;

// The buttons pass through unchanged.
static_assert(GAMEPAD_DPAD_UP == platform::kPadDpadUp && GAMEPAD_DPAD_DOWN == platform::kPadDpadDown &&
              GAMEPAD_DPAD_LEFT == platform::kPadDpadLeft && GAMEPAD_DPAD_RIGHT == platform::kPadDpadRight);
static_assert(GAMEPAD_START == platform::kPadStart && GAMEPAD_BACK == platform::kPadBack &&
              GAMEPAD_LEFT_THUMB == platform::kPadLeftThumb && GAMEPAD_RIGHT_THUMB == platform::kPadRightThumb);
static_assert(GAMEPAD_LEFT_SHOULDER == platform::kPadLeftShoulder &&
              GAMEPAD_RIGHT_SHOULDER == platform::kPadRightShoulder);
static_assert(GAMEPAD_A == platform::kPadA && GAMEPAD_B == platform::kPadB && GAMEPAD_X == platform::kPadX &&
              GAMEPAD_Y == platform::kPadY);

int QueryGamePadState(int userIndex, GamePadInput* state) {
    const PublicCall call("QueryGamePadState");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!InputModuleState().started) return RefuseEngineNotRunning();
    if (!state) return RefuseNull("place for the state");
    if (userIndex < 0 || userIndex >= platform::kMaxGamePads)
        return Refuse("game pad %d, not 0 to %d", userIndex, platform::kMaxGamePads - 1);
    // A pad not connected gives -1 without a line: games ask every frame.
    platform::GamePadState pad;
    if (platform::GetGamePadState(uint32_t(userIndex), &pad) != platform::kGamePadSuccess) return -1;
    state->packetNumber = pad.packetNumber;
    state->buttons = pad.buttons;
    state->leftTrigger = pad.leftTrigger;
    state->rightTrigger = pad.rightTrigger;
    state->leftX = pad.leftX;
    state->leftY = pad.leftY;
    state->rightX = pad.rightX;
    state->rightY = pad.rightY;
    return 0;
}
