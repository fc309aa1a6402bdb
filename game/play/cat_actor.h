// One character on the play field: a player's cat (kinds 1..6, one per
// input device type; an XInput pad's cat carries a second, upper cat as its
// rider) or an enemy (kinds 8..13). Positions are whole pixels of the grid,
// 32 to a cell, y downward; the cell of a pixel coordinate p is p / 32,
// truncated toward zero.
//
// The record is plain logic: its drawing lives with the field's drawing
// (game/draw/), and its sounds go through the game's sound road
// (game/data/game_sound.h).
#pragma once
#include "engine/vecmath.h"
#include "game/play/deep_ptr.h"
#include "game/play/player_input.h"
#include "game/play/tile_grid.h"

#include <array>
#include <cstdint>

struct GameData;

namespace cat {
constexpr int kCellPixels = 32;
constexpr float kCellWorld = 80.0f;      // world units per cell
constexpr float kWorldTop = 700.0f;      // world y of row 0
constexpr int kKnockOutFrames = 60;      // frames until a knocked-out cat comes back
constexpr int kFlashFrames = 60;
constexpr int kMaxCharge = 50;           // mouse and enemy charge frames
constexpr int kKeyBufferBytes = 49;
constexpr int kFirstEnemyKind = 8;
}  // namespace cat

class CatActor {
public:
    // Player slot 0..3 (-1 for an enemy), kind, start cell, z in the scene,
    // the shared lives counter (null when the cat costs no life). A kind-4
    // lower cat makes its upper cat as its rider.
    CatActor(int player, int kind, int tileX, int tileY, float depth, int32_t* lives, GameData* gameData,
             bool isUpper = false);
    // Copies copy the rider too.

    // Back to the start position with every movement value cleared.
    void Reset();

    int HorizontalDirection() const { return vx > 0 ? 1 : vx < 0 ? -1 : 0; }
    int VerticalDirection() const { return vy > 0 ? 1 : vy < 0 ? -1 : 0; }
    bool IsEnemy() const { return kind >= cat::kFirstEnemyKind; }
    // Gems of this cat and of every cat up its rider chain.
    int StackCount() const;
    // A pick-up: flashes the whole chain and adds n gems to its topmost cat.
    void MarkStack(int n);
    void KnockOut();
    // Contact of this cat (an enemy) with the player cats (stopping at the
    // first null) and their riders. True when this cat was beaten.
    bool CheckCatContact(CatActor* const cats[4], bool countHits);
    // A new start cell for an enemy: an empty cell above a block, chosen by
    // the cat's tick. With no such cell the start cell stays.
    void ChooseStartCell(const TileGrid& grid);

    // Where the cat stands in the 3-D scene, and where that is on screen
    // through the engine's current camera.
    Vector3 WorldPosition() const;
    Vector3 ScreenPosition() const;

    // One frame of a player cat (recursive over the rider).
    void UpdatePlayer(const PlayerInput& input);
    void UpdatePlayer(input::ButtonBlock* buttons, int32_t* actions, float* slope, int32_t* analog, int32_t* mouse,
                      int32_t* keyboard);
    // One frame of an enemy. The grid is passed on every call (a field turn
    // rebuilds it); pendingScratch is the stage's count of hazard sounds
    // still to play.
    void UpdateEnemy(CatActor* const players[4], TileGrid& grid, int& pendingScratch);

    // A knocked-out cat's frame: counts up and, past the knock-out time,
    // brings the cat back. True when it came back this frame.
    bool CountKnockOut();
    // The kind's fall step alone (the ready phase and the game-over fade).
    void FallOnly();

    // The movement steps that player and enemy updates share.
    void ApplyGravity();
    void ApplyFriction();
    void Accelerate(int delta, int limit);
    void SetSpeedFromAnalog(int value);
    void EndJumpState(int action);
    void HandleJumpAction(int value, bool shortJump);
    void StartSideJump();
    void ChargeJump(int value, bool button);
    void Dash(int value);
    void SteerBySlope(bool aim, float sx = 0, float sy = 0);
    void MoveAlongDirection(int delta, bool moving);
    void SteerBySlopeAndAnalog(bool charge, bool steer, Vector3 from, Vector3 to);
    void SpeedFromKeys(const int32_t* keys);
    void DetectButtonEdges(const int32_t* keys);
    void StepActionState(int side);
    void RotateAboutPivot(int corner);
    // The surface sector of the steering vector: 0 ceiling above, 1 wall on
    // the right, 2 floor below, 3 wall on the left (the heading it gives).
    int SteerSector() const;

    // Counters that drawing advances once per drawn frame: the walk cycle
    // and a running turn. Movement never reads them.
    void AdvanceDrawCounters();

    // ---- drawing (game/draw/) ----
    // The cat's model in its pose (with a trail copy while `mode` runs),
    // its labels in the stage's mode, its charge effects, then its rider;
    // advances the draw counters. opacity: the model's frame opacity, below
    // 1 while the stage fades out at its end (the labels and effects fade
    // twice as fast).
    void Draw(int stageMode, float opacity);
    // The charge and aim effects around the cat (additive billboards), their
    // alphas scaled by share (0..255) while the stage fades out.
    void DrawLabel(int share = 255);

    int32_t player;
    int32_t kind;
    float depth;
    float dirX = 0, dirY = 1;
    int32_t chargeTime = 0;
    int32_t gems = 0;
    int32_t* lives;
    int32_t facing = 1;
    int32_t heading = -1;
    int32_t jumpState = 0;
    int32_t charge = 0;
    int32_t turnState = 0;
    int32_t spin = 180;
    int32_t flashTime = 0;
    int32_t walkFrame = 0;
    int32_t holdTime = 0;
    int32_t knockedOut = 0;
    int32_t sidePush = 0;
    int32_t sideDir = 0;
    uint8_t sideLatch = 0;
    uint8_t steerLatch = 0;
    // The last state of the 25 jump keys (keyboard cats and kind 13); kept
    // for every cat and cleared on reset.
    std::array<uint8_t, cat::kKeyBufferBytes> keyBuffer{};
    uint8_t carried = 0;
    int32_t markX = 0, markY = 0;
    int32_t mode = -1;
    uint8_t shot = 0;
    int32_t hits = 0;
    int32_t timer = 30;
    int32_t stepX = 1, stepY = 1;
    uint8_t attacking = 0;
    int32_t frame = 0;
    int32_t target = 0;
    GameData* gameData;
    uint8_t isUpper;
    int32_t tick = 0;
    int32_t x = 0, y = 0;
    int32_t startX, startY;
    int32_t vx = 0, vy = 0;
    int32_t pulse = 0;
    DeepPtr<CatActor> rider;  // the upper cat of an XInput pair

private:
    void PlaySound(int GameData::*sound) const;
    void UpdateEnemyKind(CatActor* const players[4], TileGrid& grid, int& pendingScratch);
    void EnemyCrawler(TileGrid& grid);
    void EnemyDropper(TileGrid& grid);
    void EnemyLeaper(CatActor* const players[4]);
    void EnemyHopper();
    void EnemyBouncer(const TileGrid& grid);
    void EnemyRunner(CatActor* const players[4], TileGrid& grid, int& pendingScratch);
    void TurnAtWalls(const TileGrid& grid);
    void WeakHop();
};

// Colour of a player slot's labels: red, blue, orange, green, else white.
uint32_t PlayerColor(int player);
// World position of a pixel position at a depth.
Vector3 PixelToWorld(int x, int y, float depth);
