// A cat on the field: its model in the pose of its movement, turned to its
// facing and its surface, a faded trail copy while a steer runs, its
// labels (player number, gems, the enemy mark, the jewel column of the
// single-player modes) and the charge and aim effects.
#include "engine/camera.h"
#include "engine/draw2d.h"
#include "game/data/game_data.h"
#include "game/draw/draw_calls.h"
#include "game/draw/screen_basics.h"
#include "game/draw/stage_hud.h"
#include "game/play/cat_actor.h"
#include "game/play/game_modes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kJumpPose = 3;
constexpr float kTrailOpacity = 0.5f;
constexpr float kTrailStep = 10.0f;     // world units nearer per trail step
constexpr float kCarriedTrailShift = 25.0f;
constexpr int kJewelColumnX = 610, kJewelColumnY = 70, kJewelColumnStep = 30;
constexpr int kFaintJewelAlpha = 80;

int PoseOf(const CatActor& c) {
    if (c.knockedOut != 0 || c.carried) return 0;
    if (c.jumpState >= 0) return kJumpPose;
    static constexpr int kWalkCycle[4] = {0, 1, 2, 1};
    return kWalkCycle[(c.walkFrame / 5) % 4];
}

// The roll that stands the cat on the surface its steering vector points
// to, plus the tumble of a knocked-out cat.
float RollOf(const CatActor& c) {
    const float length = std::sqrt(c.dirX * c.dirX + c.dirY * c.dirY);
    const float nx = length > 0 ? c.dirX / length : 0.0f;
    float roll = c.dirY >= 0 ? nx * kPi / 2 : kPi - nx * kPi / 2;
    if (c.knockedOut != 0) roll += float(c.knockedOut) * 15.0f * (kPi / 2) / 60.0f;
    return roll;
}

bool IsLabelMode(int mode) { return mode == 4 || mode == 5; }
bool HasJewelColumn(int mode) { return mode == 0 || mode == 1 || mode == 9 || mode == 10; }


// A jewel that has been collected: the jewel with the sparkle over it.
void DrawSparklingJewel(const GameData& d, int x, int y, int frame, int share) {
    gamedraw::Graph(x, y, d.jewelPic, gamedraw::BlendFor(share), share);
    const int sparkle = d.flashPics[(frame / 10) % 3];
    gamedraw::Graph(x - 4, y - 8, sparkle, gamedraw::kAdd, share);
}

int Scaled(int alpha, int share) { return alpha * share / 255; }

void DrawLabels(const CatActor& c, int mode, int share) {
    const GameData& d = *c.gameData;
    const Vector3 s = c.ScreenPosition();
    const int sx = int(s.x), sy = int(s.y);
    const int blend = gamedraw::BlendFor(share);
    char text[16];
    if (IsVersusMode(mode)) {
        if (c.player < 0) {
            gamedraw::Text(sx - 20, sy - 55, "ENEMY", MakeScreenColor(230, 90, 255), d.fonts[0], blend, share);
            return;
        }
        std::snprintf(text, sizeof text, "%dP", c.player + 1);
        gamedraw::Text(sx - 5, sy - 55, text, PlayerColor(c.player), d.fonts[0], blend, share);
        if (IsLabelMode(mode)) {
            gamedraw::Graph(sx - 5, sy - 35, d.jewelPic, blend, share);
            std::snprintf(text, sizeof text, " %2d", c.StackCount());
            gamedraw::Text(sx - 5, sy - 35, text, Yellow(), d.fonts[0], blend, share);
            int flash = c.flashTime;
            if (const CatActor* r = c.rider.get()) flash = std::max(flash, r->flashTime);
            if (flash > 0) {
                const double scale = 1.0 + flash * 3.0 / 60.0;
                gamedraw::RotatedGraph(sx - 23 + 8, sy - 40 + 8, scale, 0.0, d.jewelPic, false, gamedraw::kAlpha,
                                       Scaled(155 - flash * 155 / 60, share));
            }
        }
        return;
    }
    if (HasJewelColumn(mode) && c.player >= 0) {
        const int gems = c.StackCount();
        for (int k = 1; k <= 4; ++k) {
            const int y = kJewelColumnY + (k - 1) * kJewelColumnStep;
            if (gems < k)
                gamedraw::Graph(kJewelColumnX, y, d.jewelPic, gamedraw::kAlpha, Scaled(kFaintJewelAlpha, share));
            else
                DrawSparklingJewel(d, kJewelColumnX, y, c.tick, share);
        }
    }
}

bool ShowsEffects(const CatActor& c) {
    if (c.kind == 2 && c.spin > 180) return true;
    if ((c.kind == 5 || (c.kind == 10 && c.hits < 2)) && c.chargeTime > 0) return true;
    return (c.kind == 2 || c.kind == 3 || c.kind == 9 || c.kind == 13) && c.holdTime > 0;
}

}  // namespace

void CatActor::Draw(int stageMode, float opacity) {
    if (lives && *lives < 0) return;
    if (!gameData) return;
    const GameData& d = *gameData;
    const int model = kind >= 1 && kind <= GameData::kCatKinds ? d.catModels[kind - 1][PoseOf(*this)] : 0;
    const float yaw = float(turnState) * kPi / 10.0f;
    const float roll = RollOf(*this);
    const Vector3 at = WorldPosition();
    if (model > 0) {
        if (mode != -1) {
            Vector3 trail = at;
            trail.z = depth - float(mode) * kTrailStep;
            if (carried) trail.x += kCarriedTrailShift;
            gamedraw::ModelOpacity(model, kTrailOpacity);
            gamedraw::Model(model, trail, 0.0f, yaw, roll);
        }
        gamedraw::ModelOpacity(model, opacity);
        gamedraw::Model(model, at, 0.0f, yaw, roll);
    }
    const int share = OverFieldShare(opacity);
    if (share > 0) {
        if (!isUpper) DrawLabels(*this, stageMode, share);
        if (ShowsEffects(*this)) DrawLabel(share);
    }
    AdvanceDrawCounters();
    if (rider) rider->Draw(stageMode, opacity);
}

void CatActor::DrawLabel(int share) {
    if (!gameData) return;
    const GameData& d = *gameData;
    Vector3 at = WorldPosition();
    at.z -= 30.0f;  // in front of the cat
    const float spinAngle = float(tick % 120) * kPi / 60.0f;
    if (kind == 2 && spin > 180) {
        // The power gauge: the plain guide while it fills, the second one full.
        const int guide = spin >= 540 ? d.chargeGuide2Pic : d.chargeGuide1Pic;
        gamedraw::Billboard(guide, at, 110.0f, spinAngle, gamedraw::kAdd, Scaled(255, share));
    }
    if (holdTime > 0 && (kind == 2 || kind == 3 || kind == 9 || kind == 13)) {
        gamedraw::Billboard(d.magicRingPic, at, 150.0f, -spinAngle, gamedraw::kAdd, Scaled(128, share));
        // The aim mark where the steering vector points.
        const Vector3 aim = {at.x + dirX * 110.0f, at.y - dirY * 110.0f, at.z};
        gamedraw::Billboard(d.magicRingGuidePic, aim, 60.0f, 0.0f, gamedraw::kAdd, Scaled(200, share));
    }
    if (chargeTime > 0) {
        const int piece = chargeTime % 15;
        const int anim = IsEnemy() ? d.chargeRedAnim[piece] : d.chargeAnim[piece];
        gamedraw::Billboard(anim, at, 200.0f, 0.0f, gamedraw::kAdd, Scaled(150, share));
    }
}
