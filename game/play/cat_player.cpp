// One frame of a player's cat from its player's input. An absent input
// block reads as released (no button, no key, no stick, no pulse), so a
// replay without a stream or a device without a block never reaches
// memory that is not there.
#include "game/play/cat_actor.h"

#include "game/data/game_data.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool Held(const input::ButtonBlock* buttons, int index) { return buttons && buttons->held[index] != 0; }
int Word(const int32_t* block, int index) { return block ? block[index] : 0; }

}  // namespace

void CatActor::UpdatePlayer(input::ButtonBlock* buttons, int32_t* actions, float* slope, int32_t* analog,
                            int32_t* mouse, int32_t* keyboard) {
    PlayerInput in;
    in.buttons = buttons;
    in.actions = actions;
    in.slope = slope;
    in.analog = analog;
    in.mouse = mouse;
    in.keyboard = keyboard;
    UpdatePlayer(in);
}

void CatActor::FallOnly() {
    if (kind >= 1 && kind <= 4)
        ApplyGravity();
    else if (kind == 5)
        ApplyFriction();
    else if (kind == 6 && tick % 3 == 0)
        ApplyGravity();
}

void CatActor::UpdatePlayer(const PlayerInput& in) {
    if (knockedOut != 0) {
        CountKnockOut();
        return;
    }
    // A Wii remote's cat follows its nunchuk being plugged in or out.
    if (kind == 2 && in.buttons && !in.actions && in.slope) {
        kind = 3;
        Reset();
        return;
    }
    if (kind == 3 && in.buttons && in.actions && !in.slope) {
        kind = 2;
        Reset();
        return;
    }

    const input::ButtonBlock* b = in.buttons;
    // Fall step.
    if (kind == 3) {
        if (in.slope)
            SteerBySlope(Held(b, input::kAction) && Held(b, input::kJump), -in.slope[0], in.slope[2]);
        else
            ApplyGravity();
    } else {
        FallOnly();
    }

    if (!in.AllNull()) {
        const bool jumpHeld = Held(b, input::kJump);
        if (kind == 1 || kind == 2) {
            if (Held(b, input::kRight)) {
                facing = 1;
                if (turnState == 10) turnState = 11;
                vx = std::clamp(vx, -6, 6) + 1;
            } else if (Held(b, input::kLeft)) {
                facing = -1;
                Accelerate(-1, 6);
            } else {
                vx = vx > 0 ? vx - 1 : vx < 0 ? vx + 1 : 0;
            }
            if (jumpHeld) {
                HandleJumpAction(0, false);  // a jump from ready, and its held push
            } else {
                EndJumpState(Word(in.actions, 0));
            }
        }
        if (kind == 2 && in.actions) {
            int32_t* a = in.actions;
            // A shake counts only with both hold buttons down and a full gauge.
            if (!(Held(b, input::kAction) && Held(b, input::kExtra) && spin >= 180)) {
                holdTime = 0;
                for (int k = 0; k < input::kActionWords; ++k) {
                    if (a[k] == 30) a[k] = 0;
                }
            } else {
                ++holdTime;
            }
            if (a[0] != 0) HandleJumpAction(a[0], false);
            if (a[1] != 0) Dash(a[1]);
            if (a[2] != 0) Dash(a[2]);
            for (int k = 0; k < input::kActionWords; ++k) a[k] = std::max(a[k] - 1, 0);
            if (spin < 540) {
                ++spin;
                if (spin == 180) PlaySound(&GameData::sePower1);
            }
        }
        if (kind == 1) {
            // The wall jump: one per press, away from the wall touched.
            if (!jumpHeld) {
                sideLatch = 0;
            } else if (!sideLatch) {
                StartSideJump();
                sideLatch = 1;
            }
            sidePush /= 2;
        }
        if (kind == 3) {
            if (Held(b, input::kAction) && Held(b, input::kJump)) {
                ++holdTime;
                if (holdTime == 1) PlaySound(&GameData::seShoot);
            } else {
                if (Held(b, input::kRight))
                    MoveAlongDirection(1, true);
                else if (Held(b, input::kLeft))
                    MoveAlongDirection(-1, true);
                else
                    MoveAlongDirection(0, false);
                holdTime = 0;
            }
        }
        if (kind == 4 && !isUpper && rider) {
            rider->carried = 0;
            if (std::abs(x - rider->x) < 16 && std::abs(y - rider->y) < 13) {
                rider->y = y - 12;
                rider->x = x;
                rider->vx = vx;
                rider->vy = vy;
                rider->carried = 1;
                rider->StepActionState(2);
            }
            SetSpeedFromAnalog(Word(in.analog, input::kLeftX));
            ChargeJump(Word(in.analog, input::kLeftTrigger), Word(in.analog, input::kLeftShoulder) != 0);
            rider->UpdatePlayer(in.buttons, nullptr, nullptr, in.analog, nullptr, nullptr);
        } else if (kind == 4 && isUpper) {
            if (!carried) SetSpeedFromAnalog(Word(in.analog, input::kRightX));
            ChargeJump(Word(in.analog, input::kRightTrigger), Word(in.analog, input::kRightShoulder) != 0);
        }
        if (kind == 5) {
            const Vector3 from = ScreenPosition();
            // Without a mouse block the cursor stands on the cat: no pull.
            const Vector3 to = in.mouse ? Vector3{float(in.mouse[0]), float(in.mouse[1]), 0.0f} : from;
            SteerBySlopeAndAnalog(Held(b, input::kJump), Held(b, input::kAction), from, to);
        }
        if (kind == 6) {
            DetectButtonEdges(in.keyboard);
            SpeedFromKeys(in.keyboard);
        }
        ++tick;
        if (flashTime != 0 && ++flashTime > cat::kFlashFrames) flashTime = 0;
    }
    x += vx;
    y += vy;
}
