// One play frame on headless GL, drawn by the game's own drawing code, of a
// stage made here that holds every tile code, every gem and every enemy
// kind the content uses, and the first frame of a versus stage with its
// four gems: every cell the field drawing draws must show lit pixels of
// what it draws there, counted per cell (and per cat), so a model left out
// after a picture or a billboard of the same frame is caught. The frames
// are saved under "field_frames" for a look.
#include "field_fixture.h"

#include "engine/camera.h"
#include "engine/model.h"
#include "game/play/follow_camera.h"
#include "game/play/game_modes.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>

namespace {

struct PixelBox {
    int left, top, right, bottom;  // right and bottom exclusive
};

using Frame = std::vector<uint32_t>;

// Pixels of the box that `frame` shows lit (not black: the black cat is
// dark, an unlit model black) and `without` shows otherwise: what the
// one thing missing from `without` put there.
int LitChanges(const Frame& frame, const Frame& without, PixelBox b) {
    int n = 0;
    for (int y = std::max(b.top, 0); y < std::min(b.bottom, 480); ++y)
        for (int x = std::max(b.left, 0); x < std::min(b.right, 640); ++x) {
            const uint32_t p = frame[size_t(y) * 640 + size_t(x)] & 0xFFFFFF;
            const uint32_t q = without[size_t(y) * 640 + size_t(x)] & 0xFFFFFF;
            const int lit = std::max({int(p >> 16 & 0xFF), int(p >> 8 & 0xFF), int(p & 0xFF)});
            n += p != q && lit > 16;
        }
    return n;
}

// Where a thing is checked: a cell of the grid or a cat.
struct Spot {
    std::string what;
    PixelBox box;
};

class FieldFramesGl : public FieldTest {
protected:
    void SetUp() override {
        FieldTest::SetUp();
        StartOn("gl");
    }

    // The screen box of a cell: its 80-unit square on the field plane.
    static PixelBox CellBox(const Stage& st, int column, int row) {
        const float x = float(column) * 80.0f, y = 700.0f - float(row) * 80.0f, z = st.FieldDepth();
        const float topLeft[3] = {x - 40.0f, y + 40.0f, z}, bottomRight[3] = {x + 40.0f, y - 40.0f, z};
        const Vector3 a = WorldToScreenPos(topLeft), b = WorldToScreenPos(bottomRight);
        return {int(a.x), int(a.y), int(b.x), int(b.y)};
    }
    // The box of a cat: a cell's size about its screen position.
    static PixelBox CatBox(const Stage& st, const CatActor& cat) {
        const PixelBox cell = CellBox(st, 0, 0);
        const int half = (cell.right - cell.left) / 2;
        const Vector3 s = cat.ScreenPosition();
        return {int(s.x) - half, int(s.y) - half, int(s.x) + half, int(s.y) + half};
    }

    // The frame with every model drawn at opacity 0: the blocks and cats
    // through the stage's own opacity, the items through their models.
    Frame DrawWithModelsHidden() {
        const GameData& d = Data();
        const int items[] = {d.jewelRedModel, d.spikeModel, d.appleModel, d.clearBlockModels[0], d.clearBlockModels[1]};
        for (int m : items) EXPECT_EQ(SetModelFrameOpacity(m, 0, 0.0f), 0);
        Frame frame = DrawFrame(0.0f);
        for (int m : items) SetModelFrameOpacity(m, 0, 1.0f);
        return frame;
    }
    // The frame with the cells of these codes left empty.
    Frame DrawWithout(Stage& st, std::initializer_list<int32_t> codes) {
        const TileGrid kept = st.grid;
        for (int32_t& c : st.grid.cells)
            if (std::find(codes.begin(), codes.end(), c) != codes.end()) c = tile::kEmpty;
        Frame frame = DrawFrame();
        st.grid = kept;
        return frame;
    }
    // Every cell of these codes must show at least `least` lit pixels of its own.
    void ExpectCellsShow(const Stage& st, const Frame& frame, const Frame& without, std::initializer_list<int32_t> codes,
                         int least) {
        for (int r = 0; r < st.grid.rows; ++r)
            for (int c = 0; c < st.grid.columns; ++c) {
                const int32_t code = st.grid.At(c, r);
                if (std::find(codes.begin(), codes.end(), code) == codes.end()) continue;
                ++checked_;
                EXPECT_GE(LitChanges(frame, without, CellBox(st, c, r)), least)
                    << "code " << code << " at cell " << c << ", " << r;
            }
    }
    int checked_ = 0;
};

// Tile codes the field draws: with a model, or with a picture only.
constexpr std::initializer_list<int32_t> kModelCodes = {tile::kBlock, tile::kGem,     tile::kGemSlot, tile::kBumped,
                                                         tile::kSpike, tile::kDartTrap, tile::kDropped};
constexpr std::initializer_list<int32_t> kPictureCodes = {tile::kTurnRight, tile::kTurnFlip, tile::kTurnLeft,
                                                           tile::kGoal,      tile::kGoalOpen, tile::kGemWait1};
// Codes the content uses that draw nothing.
constexpr std::initializer_list<int32_t> kQuietCodes = {tile::kFiller, tile::kGemWait2, tile::kGemWait3, tile::kBump,
                                                         tile::kInert};

TEST_F(FieldFramesGl, EveryTileGemAndEnemyOfAMadeStageShowsInOnePlayFrame) {
    playsim::Setup setup;
    setup.stageNumber = 1;
    setup.difficulty = 1;
    setup.deviceTypes = {6, 1};
    Stage& st = MakeStage(setup, 0);

    // Things stand two cells apart, so no cell's box holds another thing;
    // the codes that draw nothing fill cells between them. Two gem slots
    // share a row with a sparkle drawn between them, as on the field.
    const int32_t rows[3][6] = {
        {tile::kBlock, tile::kGemSlot, tile::kGemSlot, tile::kGem, tile::kGemWait1, tile::kBumped},
        {tile::kTurnRight, tile::kTurnFlip, tile::kTurnLeft, tile::kSpike, tile::kDartTrap, tile::kDropped},
        {tile::kGoal, tile::kGoalOpen, tile::kEmpty, tile::kEmpty, tile::kEmpty, tile::kEmpty},
    };
    st.grid.Reset(13, 11);
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 6; ++k) st.grid.Set(1 + 2 * k, 1 + 2 * r, rows[r][k]);
    int quiet = 0;
    for (int32_t code : kQuietCodes) st.grid.Set(2 + 2 * quiet++, 2, code);
    // Every enemy kind of the content on the last row, the two players
    // at far corners so the camera takes in the whole field.
    const float depth = st.FieldDepth();
    st.enemies.clear();
    for (int kind = 8; kind <= 13; ++kind)
        st.enemies.emplace_back(-1, kind, 1 + 2 * (kind - 8), 7, depth, nullptr, st.gameData, false);
    CatActor& first = *st.cats[0];
    CatActor& second = *st.cats[1];
    first.x = 7 * 32, first.y = 5 * 32;
    second.x = 11 * 32, second.y = 9 * 32;
    const std::array<CatActor*, Stage::kPlayers> slots = st.CatSlots();
    FitCameraToCats(slots.data(), st.camera, st.grid.columns, st.grid.rows, 0.0f);
    std::copy(st.camera.target, st.camera.target + 3, st.camera.current);
    st.ready = 0;  // a frame of play, without the ready band over the field

    const Frame frame = DrawFrame();
    SavePng("every_tile_gem_and_enemy");
    const Frame noModels = DrawWithModelsHidden();
    SavePng("every_tile_gem_and_enemy_models_hidden");
    const Frame noPictures = DrawWithout(st, kPictureCodes);
    const Frame noQuiet = DrawWithout(st, kQuietCodes);
    EXPECT_TRUE(frame == DrawFrame()) << "the same frame drawn twice differs";

    const PixelBox cell = CellBox(st, 1, 1);
    const int area = (cell.right - cell.left) * (cell.bottom - cell.top);
    ASSERT_GT(area, 400) << "the field is too small on screen to tell its cells apart";
    ExpectCellsShow(st, frame, noModels, kModelCodes, area / 10);
    ExpectCellsShow(st, frame, noPictures, kPictureCodes, area / 10);
    EXPECT_EQ(checked_, 14);
    for (const CatActor& e : st.enemies)
        EXPECT_GE(LitChanges(frame, noModels, CatBox(st, e)), area / 10) << "enemy of kind " << e.kind;
    for (const CatActor* c : {&first, &second})
        EXPECT_GE(LitChanges(frame, noModels, CatBox(st, *c)), area / 10) << "player cat of kind " << c->kind;
    EXPECT_TRUE(frame == noQuiet) << "a code that draws nothing drew something";
}

TEST_F(FieldFramesGl, AVersusStageShowsItsFourGemsInItsFirstFrame) {
    playsim::Setup setup;
    setup.stageNumber = 0;
    setup.mode = gamemode::kVersusSingle;
    setup.difficulty = 1;
    setup.deviceTypes = {6, 5};
    setup.lives = -1;
    Stage& st = MakeStage(setup, 0);
    // Two slots open to take, two that sparkle waiting their turn.
    ASSERT_EQ(st.grid.Count(tile::kGemSlot) + st.grid.Count(tile::kGemWait1), 4);

    const Frame frame = DrawFrame();
    SavePng("versus_first_frame");
    const Frame noModels = DrawWithModelsHidden();
    const Frame noPictures = DrawWithout(st, {tile::kGemWait1});
    const PixelBox cell = CellBox(st, 1, 1);
    const int area = (cell.right - cell.left) * (cell.bottom - cell.top);
    ExpectCellsShow(st, frame, noModels, {tile::kGemSlot}, area / 10);
    ExpectCellsShow(st, frame, noPictures, {tile::kGemWait1}, area / 10);
    EXPECT_EQ(checked_, 4);
}

}  // namespace
