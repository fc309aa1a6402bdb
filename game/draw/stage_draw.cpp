// One drawn frame of a stage: the turned background, the block field with
// its solid items, darts and rising gems, then the field's see-through
// pictures, the gems over their glows, the cats, the HUD, the phase
// pictures and the screen transition over them.
#include "game/data/game_data.h"
#include "game/draw/draw_calls.h"
#include "game/draw/screen_basics.h"
#include "game/draw/stage_hud.h"
#include "game/play/follow_camera.h"
#include "game/play/stage.h"

#include "engine/draw2d.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kTurnTileSize = 64.0f;
constexpr float kDoorSize = 180.0f;
constexpr float kFlashSize = 120.0f;
constexpr int kDarkenFrames = 60;  // a kind-13 enemy's charge darkens the screen over this
constexpr int kBumpFirstModelAge = 11;
constexpr int kGemRiseFrames = 60;
constexpr float kGemRiseHeight = 520.0f;

enum BlockPart { kCentre = 0, kRightFace = 1, kLeftFace = 2, kLowerFace = 3, kUpperFace = 4 };

Vector3 CellPosition(int column, int row, float depth) {
    return {float(column) * 80.0f, 700.0f - float(row) * 80.0f, depth};
}

void DrawBackground(const Stage& st) {
    gamedraw::Box(0, 0, kScreenWidth, kScreenHeight, MakeScreenColor(0, 0, 0));
    if (st.background <= 0) return;
    const int angle = ((st.rotation % 360) + 360) % 360;
    const double scale = angle == 90 || angle == 270 ? 4.0 / 3.0 : 1.0;
    gamedraw::RotatedGraph(kScreenWidth / 2, kScreenHeight / 2, scale, angle * kPi / 180.0, st.background,
                           st.flipped != 0);
}

int BumpedAge(const Stage& st, int column, int row) {
    for (const BumpedBlock& b : st.bumpedBlocks)
        if (b.column == column && b.row == row) return b.age;
    return kBumpFirstModelAge;  // the entry is gone: long since bumped
}

// A block: its body, and a face on each side whose neighbour is no block.
void DrawBlock(const TileGrid& g, const int* blocks, int column, int row, Vector3 at) {
    gamedraw::Model(blocks[kCentre], at);
    if (g.At(column + 1, row) != tile::kBlock) gamedraw::Model(blocks[kRightFace], at);
    if (g.At(column - 1, row) != tile::kBlock) gamedraw::Model(blocks[kLeftFace], at);
    if (g.At(column, row + 1) != tile::kBlock) gamedraw::Model(blocks[kLowerFace], at);
    if (g.At(column, row - 1) != tile::kBlock) gamedraw::Model(blocks[kUpperFace], at);
}

// What a cell shows that hides what lies behind it: blocks and the solid
// items but the gems. Drawn for the whole field before any see-through
// picture.
void DrawSolidCell(const Stage& st, const GameData& d, int column, int row, int32_t code, float depth) {
    const Vector3 at = CellPosition(column, row, depth);
    const int frame = st.frameCounter;
    switch (code) {
    case tile::kBlock:
        if (st.blockSet) DrawBlock(st.grid, st.blockSet, column, row, at);
        break;
    case tile::kSpike: gamedraw::Model(d.spikeModel, at); break;
    case tile::kDartTrap:
    case tile::kDropped: gamedraw::Model(d.appleModel, at, 0.0f, float(frame) * kPi / 45.0f, 0.0f); break;
    default: break;
    }
}

// What a cell shows through: the pictures with soft or clear edges (turn
// tiles, doors, the gems' sparkles) and the glassy bumped blocks. Their
// see-through parts write no depth, so a block drawn after them would
// paint over them where it lies behind; drawn after every solid thing,
// they lie whole over what is behind them. A gem's sparkle is its glow:
// nothing within its reach of the gem cuts it. alpha: the field's fade.
void DrawSeeThroughCell(const Stage& st, const GameData& d, int column, int row, int32_t code, float depth,
                        int alpha) {
    const Vector3 at = CellPosition(column, row, depth);
    const int frame = st.frameCounter;
    const int blend = gamedraw::BlendFor(alpha);
    switch (code) {
    case tile::kTurnRight:
    case tile::kTurnFlip:
    case tile::kTurnLeft: {
        const int pictures[3] = {d.turnRightPic, d.turnUpDownPic, d.turnLeftPic};
        const float rock = -std::fabs(std::sin(float(frame) * kPi / 60.0f));
        gamedraw::Billboard(pictures[code - tile::kTurnRight], {at.x, at.y, depth - 20.0f}, kTurnTileSize, rock, blend,
                            alpha);
        break;
    }
    case tile::kGoal:
    case tile::kGoalOpen:
        gamedraw::Billboard(d.doorPics[code == tile::kGoal ? 0 : 1], {at.x, at.y + 50.0f, depth + 40.0f}, kDoorSize,
                            0.0f, blend, alpha);
        break;
    case tile::kGem:
    case tile::kGemSlot:
    case tile::kGemWait1:  // a versus gem about to appear: its glow alone
        gamedraw::Glow(d.flashPics[(frame / 10) % 3], at, kFlashSize, blend, alpha);
        break;
    case tile::kBumped:
        gamedraw::Model(d.clearBlockModels[BumpedAge(st, column, row) < kBumpFirstModelAge ? 0 : 1], at);
        break;
    default: break;
    }
}

// A gem, bobbing. Drawn after every glow: a glow writes no depth, so the
// gem stands whole in front of its light.
void DrawGem(const Stage& st, const GameData& d, int column, int row, int32_t code, float depth) {
    if (code != tile::kGem && code != tile::kGemSlot) return;
    const Vector3 at = CellPosition(column, row, depth);
    gamedraw::Model(d.jewelRedModel, {at.x, at.y - float(st.frameCounter % 32) + 32.0f, depth});
}

template <class DrawOne>
void ForEachCell(const TileGrid& grid, DrawOne draw) {
    for (int row = 0; row < grid.rows; ++row)
        for (int column = 0; column < grid.columns; ++column) {
            const int32_t code = grid.cells[size_t(row) * size_t(grid.columns) + size_t(column)];
            if (code != tile::kEmpty) draw(column, row, code);
        }
}

}  // namespace

void Stage::Draw(float opacity, bool withTransition) {
    if (!gameData) return;
    GameData& d = *gameData;
    const float depth = FieldDepth();
    // The view this stage was last updated with (a copied or previewed
    // stage may not be the one that set the engine's camera last).
    ApplyFollowCamera(camera);

    DrawBackground(*this);
    for (const CatActor& e : enemies)
        gamedraw::Box(0, 0, kScreenWidth, kScreenHeight, MakeScreenColor(0, 0, 0),
                      std::min(e.pulse, kDarkenFrames) * 255 / kDarkenFrames);

    // Everything on the field fades with its blocks as the stage ends, so
    // the picture kept behind a versus round's result holds no item at
    // full strength.
    if (blockSet)
        for (int k = 0; k < GameData::kBlockKinds; ++k) gamedraw::ModelOpacity(blockSet[k], opacity);
    for (int model : {d.jewelRedModel, d.spikeModel, d.appleModel, d.clearBlockModels[0], d.clearBlockModels[1]})
        if (model > 0) gamedraw::ModelOpacity(model, opacity);
    ForEachCell(grid, [&](int column, int row, int32_t code) { DrawSolidCell(*this, d, column, row, code, depth); });

    for (const Dart& dart : darts)
        if (dart.done == 0) gamedraw::Model(d.appleModel, PixelToWorld(dart.x, dart.y, depth));
    for (const GemSpawn& gem : gemSpawns) {
        Vector3 at = CellPosition(gem.column, gem.row, depth);
        at.y += kGemRiseHeight * std::sin(float(gem.age) * kPi / float(kGemRiseFrames));
        gamedraw::Model(d.jewelRedModel, at);
    }

    const int fade = std::clamp(int(std::lround(opacity * 255.0f)), 0, 255);
    ForEachCell(grid, [&](int column, int row, int32_t code) {
        DrawSeeThroughCell(*this, d, column, row, code, depth, fade);
    });
    ForEachCell(grid, [&](int column, int row, int32_t code) { DrawGem(*this, d, column, row, code, depth); });

    for (int slot = 0; slot < kPlayers; ++slot)
        if (playerActive[slot] && cats[size_t(slot)]) cats[size_t(slot)]->Draw(mode, opacity);
    for (CatActor& e : enemies) e.Draw(mode, opacity);

    const int share = OverFieldShare(opacity);
    DrawStageHud(*this, share);
    DrawStagePhasePictures(*this, share);
    if (withTransition) d.DrawScreenTransition(-1);
}
