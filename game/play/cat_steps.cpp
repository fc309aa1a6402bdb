// The small movement steps that the player and enemy updates are built
// from. All speeds are whole pixels per frame, y downward.
#include "game/play/cat_actor.h"

#include "engine/vecmath.h"
#include "game/data/game_data.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

int StepTowardZero(int v) { return v > 0 ? v - 1 : v < 0 ? v + 1 : 0; }

// The turn animation starts when the cat's speed points against its facing.
void StartTurn(int32_t& turnState, int delta) {
    if (turnState == 0 && delta < 0) turnState = 1;
    if (turnState == 10 && delta > 0) turnState = 11;
}

// Unit vector of (x, y, z); a zero vector stays zero (a cat sitting on its
// target has no direction).
Vector3 UnitOrZero(float x, float y, float z) {
    const float length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0)) return {0, 0, 0};
    return {x / length, y / length, z / length};
}

// Whole pixels of a float speed, truncated toward zero, kept within what a
// speed can be even for an absurd input.
int32_t TruncatedSpeed(float v) { return int32_t(std::clamp(v, -1.0e6f, 1.0e6f)); }

bool KeyHeld(const int32_t* keys, int index) { return keys && keys[index] != 0; }

}  // namespace

void CatActor::ApplyGravity() {
    vy = std::min(vy, kind == 1 && sidePush != 0 ? 1 : 8);
    vy += 1;
}

void CatActor::ApplyFriction() {
    if (tick % 4 != 0) return;
    vx = StepTowardZero(vx);
    vy = StepTowardZero(vy);
}

void CatActor::Accelerate(int delta, int limit) {
    StartTurn(turnState, delta);
    if (kind == 6) {
        vx = delta;
        return;
    }
    if (vx >= 7)
        vx = limit;
    else if (vx <= -7)
        vx = -limit;
    vx += delta;
}

void CatActor::SetSpeedFromAnalog(int value) {
    if (rider && rider->carried) {
        vx = value * 6 / 32767;
        return;
    }
    // Alone, the upper cat faces right and the lower cat left; each runs
    // twice as fast forward as backward.
    turnState = isUpper ? 0 : 10;
    const bool forward = isUpper ? value > 0 : value < 0;
    vx = value * (forward ? 8 : 4) / 32767;
}

void CatActor::EndJumpState(int action) {
    if (jumpState == -2) jumpState = -1;
    if (jumpState != -1 && action == 0) jumpState = 0;
    if (vy > 2) jumpState = 0;
}

void CatActor::HandleJumpAction(int value, bool shortJump) {
    if (value == 30) {
        PlaySound(&GameData::seSlash2);
        PlaySound(&GameData::seShoot);
        spin -= 180;
        vy = -18;
        jumpState = 15;
    }
    if (jumpState == -1 && value == 0) {
        PlaySound(&GameData::seShoot);
        vy = -8;
        jumpState = shortJump ? 3 : 9;
    } else if (jumpState >= 1) {
        vy = value != 0 ? -18 : -8;
        jumpState -= 1;
    }
}

void CatActor::StartSideJump() {
    if (sidePush == 0) return;
    vx = sidePush >= 1 ? 5 : -5;
    sideDir = sidePush >= 1 ? 1 : -1;
    PlaySound(&GameData::seScratch);
    sidePush = 0;
    PlaySound(&GameData::seShoot);
    jumpState = 3;
    vy = -8;
}

void CatActor::ChargeJump(int value, bool button) {
    if (jumpState == -2) {
        if (value != 0) charge = std::max(charge, value);
        if (button) charge = 4;
    }
    if (jumpState >= 1) {
        vy = -12;
        jumpState -= 1;
    }
    if (charge != 0 && value == 0 && jumpState == -2) {
        PlaySound(&GameData::seShoot);
        vy = -12;
        jumpState = charge == 255 ? charge / 18 : charge / 40;
        charge = 0;
    }
    if (vy > 2) jumpState = 0;
}

void CatActor::Dash(int value) {
    vx = value >= 1 ? 18 : -18;
    if (value == 30 || value == -30) {
        spin -= 180;
        PlaySound(&GameData::seSlash2);
    }
}

int CatActor::SteerSector() const {
    const Vector3 n = UnitOrZero(dirX, dirY, 0);
    const float angle = dirY >= 0 ? 90 + 90 * n.x : 270 - 90 * n.x;
    const int a = int(angle);
    if (a >= 46 && a <= 135) return 2;   // floor below
    if (a >= 136 && a <= 225) return 1;  // wall on the right
    if (a >= 226 && a <= 315) return 0;  // ceiling above
    return 3;                            // wall on the left
}

void CatActor::SteerBySlope(bool aim, float sx, float sy) {
    if (aim) {
        heading = -1;
        dirX = sx;
        dirY = sy;
        vx = vy = 0;
        return;
    }
    switch (SteerSector()) {
    case 2: vy += 2; break;
    case 1: vx += 2; break;
    case 0: vy -= 2; break;
    default: vx -= 2; break;
    }
    vx = std::clamp(vx, -10, 10);
    vy = std::clamp(vy, -10, 10);
}

void CatActor::MoveAlongDirection(int delta, bool moving) {
    StartTurn(turnState, delta);
    const int sector = SteerSector();
    // The speed along the surface and its sign relative to delta.
    int32_t& along = sector == 2 || sector == 0 ? vx : vy;
    const int sign = sector == 2 || sector == 3 ? 1 : -1;
    if (moving)
        along += sign * delta;
    else
        along = StepTowardZero(along);
    if (delta != 0) facing = delta > 0 ? 1 : -1;
    vx = std::clamp(vx, -8, 8);
    vy = std::clamp(vy, -10, 10);
}

void CatActor::SteerBySlopeAndAnalog(bool chargeHeld, bool steer, Vector3 from, Vector3 to) {
    if (turnState == 0 && to.x < from.x) turnState = 1;
    if (turnState == 10 && to.x > from.x) turnState = 11;
    const Vector3 n = UnitOrZero(to.x - from.x, to.y - from.y, to.z - from.z);

    if (!steer || std::abs(vx) > 1 || std::abs(vy) > 1) {
        mode = std::max(mode - 1, -1);
        steerLatch = 0;
        if (!chargeHeld && sideLatch) {
            if (chargeTime < cat::kMaxCharge) {
                PlaySound(&GameData::seShoot);
            } else {
                chargeTime = 75;
                PlaySound(&GameData::seSlash2);
            }
            vx += TruncatedSpeed(n.x * float(chargeTime) * 0.25f);
            vy += TruncatedSpeed(n.y * float(chargeTime) * 0.25f);
            chargeTime = 0;
            sideLatch = 0;
        } else if (chargeHeld) {
            if (chargeTime < cat::kMaxCharge) {
                ++chargeTime;
                if (chargeTime == cat::kMaxCharge) PlaySound(&GameData::sePower0);
            }
            sideLatch = 1;
        }
        jumpState = (vx == 0 && vy == 0) || steer ? -2 : 0;
        return;
    }
    const float speed = kind == 12 ? float(hits + 3) : 2.0f;
    vx = TruncatedSpeed(n.x * speed);
    vy = TruncatedSpeed(n.y * speed);
    if (!steerLatch) {
        markX = x;
        markY = y;
    }
    mode = std::min(mode + 1, 10);
    steerLatch = 1;
}

void CatActor::SpeedFromKeys(const int32_t* keys) {
    int right = 0, left = 0;
    for (int k = 25; k <= 30; ++k) left += KeyHeld(keys, k);
    for (int k = 37; k <= 41; ++k) left += KeyHeld(keys, k);
    for (int k = 31; k <= 36; ++k) right += KeyHeld(keys, k);
    for (int k = 43; k <= 47; ++k) right += KeyHeld(keys, k);
    vx = right - left;
    if (!KeyHeld(keys, 48)) vx *= 2;  // the slow key halves the speed
    vx = std::clamp(vx, -6, 6);
    StartTurn(turnState, vx);
}

void CatActor::DetectButtonEdges(const int32_t* keys) {
    bool pressed = false;
    for (int k = 0; k < 25; ++k) {
        const uint8_t down = KeyHeld(keys, k) ? 1 : 0;
        if (down && !keyBuffer[size_t(k)]) {
            PlaySound(&GameData::seShoot);
            jumpState = 1;
            vy = -6;
            pressed = true;
        }
        keyBuffer[size_t(k)] = down;
    }
    if (!pressed && jumpState >= 1) {
        vy = -6;
        jumpState -= 1;
    }
}

void CatActor::StepActionState(int side) {
    if (kind == 3 || kind == 8) {
        if (SteerSector() == side) heading = side;
    } else {
        heading = side;
    }
    if (side == 2 && jumpState != -1) {
        sideDir = 0;
        jumpState = -2;
    }
    if (facing > 0 && heading >= 4 && heading <= 7) heading -= 4;
    if (facing < 0 && heading >= 0 && heading <= 3) heading += 4;
}

void CatActor::RotateAboutPivot(int corner) {
    if (kind != 3 && kind != 8) return;
    int next = heading;
    switch (corner) {
    case 1: next = heading == 1 ? 0 : heading == 4 ? 5 : heading; break;
    case 3: next = heading == 2 ? 1 : heading == 5 ? 6 : heading; break;
    case 5: next = heading == 3 ? 2 : heading == 6 ? 7 : heading; break;
    case 7: next = heading == 0 ? 3 : heading == 7 ? 4 : heading; break;
    case -1: next = heading >= 0 && heading <= 7 ? -1 : heading; break;
    default: break;
    }
    if (next == heading) return;
    vx = vy = 0;
    // A quarter turn about (0, 0, -1): +90 degrees takes (x, y) to (y, -x).
    const bool plus = next == -1 ? heading >= 4 : heading <= 3;
    const float ox = dirX, oy = dirY;
    if (plus) {
        dirX = oy;
        dirY = -ox;
    } else {
        dirX = -oy;
        dirY = ox;
    }
    heading = next;
}
