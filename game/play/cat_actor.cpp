// The cat record's life cycle and the small queries the movement, contact
// and drawing code share.
#include "game/play/cat_actor.h"

#include "engine/camera.h"
#include "engine/draw2d.h"
#include "game/data/game_data.h"
#include "game/data/game_sound.h"

#include <algorithm>

CatActor::CatActor(int player_, int kind_, int tileX, int tileY, float depth_, int32_t* lives_, GameData* gameData_,
                   bool isUpper_)
    : player(player_),
      kind(kind_),
      depth(depth_),
      lives(lives_),
      gameData(gameData_),
      isUpper(isUpper_ ? 1 : 0),
      startX((player_ > 0 ? tileX + player_ : tileX) * cat::kCellPixels),
      startY(tileY * cat::kCellPixels) {
    if (kind == 4 && !isUpper)
        rider = DeepPtr<CatActor>::Make(player_, kind_, tileX, tileY, depth_, lives_, gameData_, true);
    Reset();
}

void CatActor::Reset() {
    dirX = 0;
    dirY = 1;
    x = markX = startX;
    y = markY = startY;
    facing = 1;
    stepX = stepY = 1;
    chargeTime = vx = vy = jumpState = charge = turnState = walkFrame = holdTime = knockedOut = sidePush = gems =
        tick = flashTime = frame = target = pulse = hits = 0;
    heading = -1;
    spin = 180;
    sideLatch = steerLatch = carried = shot = attacking = 0;
    mode = -1;
    timer = 30;
    keyBuffer.fill(0);
}

void CatActor::PlaySound(int GameData::*sound) const {
    if (gameData) gamesound::PlayHandle(gameData->*sound, 1, 1);
}

int CatActor::StackCount() const { return gems + (rider ? rider->StackCount() : 0); }

void CatActor::MarkStack(int n) {
    CatActor* top = this;
    for (CatActor* c = this; c; c = c->rider.get()) {
        c->flashTime = 1;
        top = c;
    }
    top->gems += n;
}

void CatActor::KnockOut() {
    if (knockedOut >= 1) return;
    PlaySound(IsEnemy() ? &GameData::seDeath1 : &GameData::seDeath0);
    dirX = 0;
    dirY = 1;
    knockedOut = 1;
    heading = -1;
    frame = 0;
}

namespace {

// This cat's body box (x + 5 .. x + 26, y + 6 .. y + 28) against the other's
// core box (x + 13 .. x + 18, y + 14 .. y + 20), bounds inclusive.
bool BodyTouchesCore(const CatActor& self, const CatActor& other) {
    return self.x + 5 <= other.x + 18 && other.x + 13 <= self.x + 26 && self.y + 6 <= other.y + 20 &&
           other.y + 14 <= self.y + 28;
}

}  // namespace

bool CatActor::CheckCatContact(CatActor* const cats[4], bool countHits) {
    for (int i = 0; i < 4 && cats[i]; ++i) {
        CatActor* pair[2] = {cats[i], cats[i]->rider.get()};
        for (CatActor* other : pair) {
            if (!other || other->knockedOut != 0 || !BodyTouchesCore(*this, *other)) continue;
            if (knockedOut == 0 && !attacking) {
                ++hits;
                if (!countHits) hits = std::min(hits, 1);
                KnockOut();
                return true;
            }
            if (attacking) {
                other->KnockOut();
                return false;
            }
        }
    }
    return false;
}

void CatActor::ChooseStartCell(const TileGrid& grid) {
    // The walk visits the inner cells column by column, taking 5 from a
    // counter that starts at tick per cell visited, and takes the first
    // empty cell above a block once the counter is below 1, starting over
    // as often as needed. The counter drops below 1 at visit v0; from there
    // the first suitable cell in walk order (wrapping) is the answer.
    const int innerColumns = grid.columns - 2, innerRows = grid.rows - 2;
    if (innerColumns <= 0 || innerRows <= 0) return;
    auto suitable = [&](int i) {
        int c = 1 + i / innerRows, r = 1 + i % innerRows;
        return grid.At(c, r) == tile::kEmpty && grid.At(c, r + 1) == tile::kBlock;
    };
    const int cells = innerColumns * innerRows;
    const int64_t v0 = tick <= 0 ? 1 : int64_t(tick - 1) / 5 + 1;  // first visit with tick - 5 v < 1
    const int first = int((v0 - 1) % cells);
    for (int k = 0; k < cells; ++k) {
        int i = (first + k) % cells;
        if (!suitable(i)) continue;
        startX = (1 + i / innerRows) * cat::kCellPixels;
        startY = (1 + i % innerRows) * cat::kCellPixels;
        return;
    }
}

bool CatActor::CountKnockOut() {
    ++knockedOut;
    if (knockedOut <= cat::kKnockOutFrames) return false;
    knockedOut = vx = vy = 0;
    if (IsEnemy()) {
        x = startX;
        y = startY;
    } else {
        // A player comes back player cells right of its start, which is
        // itself player cells right of the stage start.
        x = startX + player * cat::kCellPixels;
        y = startY;
    }
    return true;
}

Vector3 PixelToWorld(int px, int py, float depth) {
    return {float(px) / float(cat::kCellPixels) * cat::kCellWorld,
            cat::kWorldTop - float(py) / float(cat::kCellPixels) * cat::kCellWorld, depth};
}

Vector3 CatActor::WorldPosition() const { return PixelToWorld(x, y, depth); }

Vector3 CatActor::ScreenPosition() const {
    const Vector3 w = WorldPosition();
    const float p[3] = {w.x, w.y, w.z};
    return WorldToScreenPos(p);
}

void CatActor::AdvanceDrawCounters() {
    if (vx != 0 || vy != 0) walkFrame = walkFrame >= 100000 ? 0 : walkFrame + 1;
    if (turnState != 0 && turnState != 10) turnState = turnState >= 19 ? 0 : turnState + 1;
}

uint32_t PlayerColor(int player) {
    switch (player) {
    case 0: return MakeScreenColor(255, 0, 0);
    case 1: return MakeScreenColor(0, 0, 255);
    case 2: return MakeScreenColor(255, 183, 76);
    case 3: return MakeScreenColor(0, 255, 0);
    default: return MakeScreenColor(255, 255, 255);
    }
}
