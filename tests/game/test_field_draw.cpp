// What the field drawing asks of the engine, watched through the game's
// draw calls while the game runs on the recording device: which block
// faces a small stage draws, the items and cats, the HUD strings of each
// mode, the order of the phase pictures, the minimap and the session's
// screens.
#include "field_fixture.h"

#include "engine/draw2d.h"
#include "game/data/game_text.h"
#include "game/draw/minimap.h"
#include "game/draw/session_screens.h"
#include "game/draw/stage_hud.h"
#include "game/play/game_modes.h"
#include "graphics/device/recording/recording.h"
#include "play_fixture.h"

#include <algorithm>
#include <cmath>

using namespace morpotta;

namespace {

using gamedraw::Call;

class FieldDraw : public FieldTest {
protected:
    void SetUp() override {
        FieldTest::SetUp();
        StartOn("recording");
        Data().transitionCount = 30;
        gamedraw::SetRecorder([this](const Call& c) { calls_.push_back(c); });
    }

    // A stage on exactly these rows, in world 0, out of its ready phase.
    Stage HandStage(const std::vector<std::string>& rows, int mode = gamemode::kNormal) {
        Stage st;
        st.mode = mode;
        st.grid = GridFromRows(rows);
        st.gameData = &Data();
        st.blockSet = Data().blockModels[0];
        st.background = Data().sceneBackgrounds[0];
        st.ready = 0;
        st.timeLimit = 60000;
        st.camera.fieldDepth = st.FieldDepth();
        const float c[3] = {st.grid.columns * 40.0f, 700.0f - st.grid.rows * 40.0f, -400.0f};
        std::copy(c, c + 3, st.camera.current);
        std::copy(c, c + 3, st.camera.target);
        return st;
    }
    void AddCat(Stage& st, int slot, int kind, int x, int y, int32_t* lives = nullptr) {
        st.cats[size_t(slot)] = DeepPtr<CatActor>::Make(slot, kind, 0, 0, st.FieldDepth(), lives, &Data(), false);
        for (CatActor* c = st.cats[size_t(slot)].get(); c; c = c->rider.get()) {
            c->x = x;
            c->y = y;
            c->jumpState = -2;  // standing
        }
        st.playerActive[slot] = 1;
    }

    std::vector<Call> Of(Call::Kind kind) const {
        std::vector<Call> out;
        for (const Call& c : calls_)
            if (c.kind == kind) out.push_back(c);
        return out;
    }
    std::vector<Call> ModelsOf(int handle) const {
        std::vector<Call> out;
        for (const Call& c : Of(Call::kModel))
            if (c.handle == handle) out.push_back(c);
        return out;
    }
    // The first text call with this UTF-8 text, or null.
    const Call* FindText(const char* utf8) const {
        const std::string text = GameText(utf8);
        for (const Call& c : calls_)
            if (c.kind == Call::kText && c.text == text) return &c;
        return nullptr;
    }
    // Index of the first call of this kind drawing this handle (-1: none).
    int IndexOf(Call::Kind kind, int handle) const {
        for (size_t i = 0; i < calls_.size(); ++i)
            if (calls_[i].kind == kind && calls_[i].handle == handle) return int(i);
        return -1;
    }

    std::vector<Call> calls_;
};

struct Cell {
    int column, row;
};
std::vector<Cell> CellsOf(const std::vector<Call>& models) {
    std::vector<Cell> cells;
    for (const Call& c : models)
        cells.push_back({int(std::lround(c.x / 80.0f)), int(std::lround((700.0f - c.y) / 80.0f))});
    return cells;
}
bool operator==(const Cell& a, const Cell& b) { return a.column == b.column && a.row == b.row; }
void PrintTo(const Cell& c, std::ostream* os) { *os << "(" << c.column << ", " << c.row << ")"; }

TEST_F(FieldDraw, EachBlockDrawsItsBodyAndTheFacesTowardOpenNeighbours) {
    Stage st = HandStage({
        "      ",
        " BB   ",
        " B  B ",
        "      ",
    });
    ClearRecordedDeviceCalls();
    st.Draw();
    const int* blocks = Data().blockModels[0];
    // What the game asked for reached the device.
    EXPECT_GE(GetRecordedDraws().size(), Of(Call::kModel).size());
    // Row by row: every block's body, at the cell's place on the field plane.
    EXPECT_EQ(CellsOf(ModelsOf(blocks[0])), (std::vector<Cell>{{1, 1}, {2, 1}, {1, 2}, {4, 2}}));
    for (const Call& c : ModelsOf(blocks[0])) EXPECT_EQ(c.z, Stage::kFieldDepth);
    // Faces: right, left, lower, upper where that neighbour is no block.
    EXPECT_EQ(CellsOf(ModelsOf(blocks[1])), (std::vector<Cell>{{2, 1}, {1, 2}, {4, 2}}));
    EXPECT_EQ(CellsOf(ModelsOf(blocks[2])), (std::vector<Cell>{{1, 1}, {1, 2}, {4, 2}}));
    EXPECT_EQ(CellsOf(ModelsOf(blocks[3])), (std::vector<Cell>{{2, 1}, {1, 2}, {4, 2}}));
    EXPECT_EQ(CellsOf(ModelsOf(blocks[4])), (std::vector<Cell>{{1, 1}, {2, 1}, {4, 2}}));
    // Each block model takes the opacity the session passes, before the field.
    for (int k = 0; k < 5; ++k) {
        const int opacity = IndexOf(Call::kModelOpacity, blocks[k]);
        ASSERT_GE(opacity, 0);
        EXPECT_LT(opacity, IndexOf(Call::kModel, blocks[0]));
    }
}

TEST_F(FieldDraw, ItemsDrawByTheirTileCodes) {
    // Goal, gem slot, turn tile, spike, dart trap; then a bumped block, an
    // open goal and a versus gem waiting its turn.
    Stage st = HandStage({"G1rna", "      "});
    st.grid.Set(0, 1, tile::kBumped);
    st.grid.Set(1, 1, tile::kBumped);
    st.grid.Set(2, 1, tile::kGoalOpen);
    st.grid.Set(3, 1, tile::kGemWait1);
    st.grid.Set(4, 1, tile::kBump);  // hidden until bumped: nothing
    st.bumpedBlocks.push_back({0, 1, 3, 0});
    st.frameCounter = 37;
    st.Draw();
    const GameData& d = Data();
    const float D = Stage::kFieldDepth;
    const std::vector<Call> boards = Of(Call::kBillboard);
    auto board = [&](int graph) {
        auto it = std::find_if(boards.begin(), boards.end(), [graph](const Call& c) { return c.handle == graph; });
        return it == boards.end() ? nullptr : &*it;
    };
    ASSERT_TRUE(board(d.doorPics[0]));
    EXPECT_EQ(board(d.doorPics[0])->y, 700.0f + 50.0f);
    EXPECT_EQ(board(d.doorPics[0])->z, D + 40.0f);
    EXPECT_EQ(board(d.doorPics[0])->scale, 180.0f);
    ASSERT_TRUE(board(d.doorPics[1]));
    EXPECT_EQ(board(d.doorPics[1])->x, 160.0f);
    // The gem bobs by the frame counter; its flash picks piece (37 / 10) mod 3.
    ASSERT_EQ(ModelsOf(d.jewelRedModel).size(), 1u);
    EXPECT_EQ(ModelsOf(d.jewelRedModel)[0].y, 700.0f - 5.0f + 32.0f);
    ASSERT_EQ(std::count_if(boards.begin(), boards.end(), [&](const Call& c) { return c.handle == d.flashPics[0]; }),
              2);  // over the gem slot and the waiting versus gem
    ASSERT_TRUE(board(d.turnRightPic));
    EXPECT_EQ(board(d.turnRightPic)->z, D - 20.0f);
    EXPECT_EQ(board(d.turnRightPic)->scale, 64.0f);
    EXPECT_LE(board(d.turnRightPic)->angle, 0.0f);  // rocks to one side only
    EXPECT_EQ(ModelsOf(d.spikeModel).size(), 1u);
    ASSERT_EQ(ModelsOf(d.appleModel).size(), 1u);
    EXPECT_NE(ModelsOf(d.appleModel)[0].ry, 0.0f);  // turning
    // A freshly bumped block uses the first model, an older one the second.
    EXPECT_EQ(CellsOf(ModelsOf(d.clearBlockModels[0])), (std::vector<Cell>{{0, 1}}));
    EXPECT_EQ(CellsOf(ModelsOf(d.clearBlockModels[1])), (std::vector<Cell>{{1, 1}}));
    EXPECT_EQ(Of(Call::kModel).size(), 5u);
}

TEST_F(FieldDraw, DartsAndRisingGemsAndCatsFollowTheField) {
    Stage st = HandStage(Box(8, 6));
    AddCat(st, 0, 1, 64, StandingY(5));
    st.enemies.emplace_back(-1, 9, 5, 4, Stage::kFieldDepth, nullptr, &Data());
    st.enemies[0].jumpState = -2;
    st.darts.push_back({3, 3, 100, 70, Dart::kRight, false, 0});
    st.darts.push_back({3, 3, 300, 70, Dart::kRight, false, 5});  // stopped: not drawn
    st.gemSpawns.push_back({2, 2, 30});
    st.Draw();
    const GameData& d = Data();
    const std::vector<Call> apples = ModelsOf(d.appleModel);
    ASSERT_EQ(apples.size(), 1u);
    EXPECT_FLOAT_EQ(apples[0].x, 100.0f / 32.0f * 80.0f);
    EXPECT_FLOAT_EQ(apples[0].y, 700.0f - 70.0f / 32.0f * 80.0f);
    const std::vector<Call> gems = ModelsOf(d.jewelRedModel);
    ASSERT_EQ(gems.size(), 1u);
    EXPECT_NEAR(gems[0].y, 700.0f - 2 * 80.0f + 520.0f, 0.01f);  // at the top of its leap halfway through
    // The player's cat, then the enemy, each in its standing pose.
    const int player = IndexOf(Call::kModel, d.catModels[0][0]);
    const int enemy = IndexOf(Call::kModel, d.catModels[8][0]);
    ASSERT_GE(player, 0);
    ASSERT_GT(enemy, player);
    EXPECT_FLOAT_EQ(calls_[size_t(player)].x, 64.0f / 32.0f * 80.0f);
}

TEST_F(FieldDraw, CatPosesTurnsAndDrawCounters) {
    Stage st = HandStage(Box(8, 6));
    AddCat(st, 0, 1, 64, StandingY(5));
    CatActor& cat = *st.cats[0];
    const int* poses = Data().catModels[0];
    auto drawnPose = [&]() {
        calls_.clear();
        st.Draw();
        for (const Call& c : Of(Call::kModel))
            for (int p = 0; p < 4; ++p)
                if (c.handle == poses[p]) return p;
        return -1;
    };
    cat.jumpState = -2;
    cat.vx = 3;
    std::vector<int> walk;
    for (int f = 0; f < 20; ++f) walk.push_back(drawnPose());
    // Walking cycles 0, 1, 2, 1 every five drawn frames.
    EXPECT_EQ(walk, (std::vector<int>{0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1}));
    EXPECT_EQ(cat.walkFrame, 20);
    cat.jumpState = 0;
    EXPECT_EQ(drawnPose(), 3);
    cat.walkFrame = 5;  // pose 1 if it were walking
    cat.knockedOut = 12;
    EXPECT_EQ(drawnPose(), 0);
    cat.knockedOut = 0;
    // A turn to the left runs one step per drawn frame and yaws the model.
    cat.jumpState = -2;
    cat.turnState = 1;
    drawnPose();
    EXPECT_EQ(cat.turnState, 2);
    EXPECT_FLOAT_EQ(Of(Call::kModel).back().ry, float(M_PI) / 10.0f);
    // Crawling a ceiling: upside down.
    cat.dirX = 0, cat.dirY = -1;
    drawnPose();
    EXPECT_FLOAT_EQ(Of(Call::kModel).back().rz, float(M_PI));
    // A cat whose run has no lives left is not drawn.
    int32_t lives = -1;
    cat.lives = &lives;
    EXPECT_EQ(drawnPose(), -1);
}

TEST_F(FieldDraw, VersusLabelsAndTheSinglePlayerJewelColumn) {
    Stage st = HandStage(Box(10, 6), gamemode::kVersusSingle);
    AddCat(st, 0, 1, 64, StandingY(5));
    AddCat(st, 1, 4, 160, StandingY(5));  // an XInput pair: the upper cat has no label of its own
    st.cats[1]->gems = 2;
    st.cats[1]->rider->gems = 1;
    st.cats[1]->rider->flashTime = 30;
    st.enemies.emplace_back(-1, 8, 7, 4, Stage::kVersusFieldDepth, nullptr, &Data());
    st.Draw();
    ASSERT_TRUE(FindText("1P"));
    ASSERT_TRUE(FindText("2P"));
    const Vector3 s = st.cats[0]->ScreenPosition();
    EXPECT_EQ(FindText("1P")->x, int(s.x) - 5);
    EXPECT_EQ(FindText("1P")->y, int(s.y) - 55);
    EXPECT_EQ(FindText("1P")->colour, PlayerColor(0));
    EXPECT_EQ(FindText("2P")->colour, PlayerColor(1));
    EXPECT_TRUE(FindText("  3"));  // the pair's gems together
    EXPECT_TRUE(FindText("ENEMY"));
    // The rider's pick-up flash: the jewel again, grown and fading.
    const GameData& d = Data();
    const std::vector<Call> grown = Of(Call::kRotatedGraph);
    ASSERT_EQ(std::count_if(grown.begin(), grown.end(), [&](const Call& c) { return c.handle == d.jewelPic; }), 1);
    auto flash = std::find_if(grown.begin(), grown.end(), [&](const Call& c) { return c.handle == d.jewelPic; });
    EXPECT_FLOAT_EQ(flash->scale, 2.5f);
    EXPECT_EQ(flash->alpha, 155 - 30 * 155 / 60);
    // 1P, 2P and their gems, ENEMY, and the clock's two texts.
    EXPECT_EQ(Of(Call::kText).size(), 7u);

    // Mode 0: four jewel slots at the right edge, faint beyond the gems held.
    calls_.clear();
    Stage single = HandStage(Box(10, 6));
    Data().save->difficulty = 0;  // no clock
    AddCat(single, 0, 1, 64, StandingY(5));
    single.cats[0]->gems = 1;
    single.Draw();
    std::vector<Call> slots;
    for (const Call& c : Of(Call::kGraph))
        if (c.handle == d.jewelPic) slots.push_back(c);
    ASSERT_EQ(slots.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(slots[size_t(k)].x, 610.0f);
        EXPECT_EQ(slots[size_t(k)].y, 70.0f + 30.0f * k);
        EXPECT_EQ(slots[size_t(k)].alpha, k == 0 ? 255 : 80);
    }
    EXPECT_TRUE(Of(Call::kText).empty());
}

TEST_F(FieldDraw, TheClockOfTheStoryAndVersusModes) {
    Data().save->difficulty = 1;
    const GameData& d = Data();
    Stage st = HandStage(Box(6, 4));
    st.timeLimit = 60000;
    st.elapsed = 21590;
    st.Draw();
    ASSERT_TRUE(FindText("タイム:"));
    EXPECT_EQ(FindText("タイム:")->x, 10.0f);
    EXPECT_EQ(FindText("タイム:")->handle, d.fonts[5]);
    EXPECT_EQ(FindText("タイム:")->colour, MakeScreenColor(255, 255, 0));
    ASSERT_TRUE(FindText("  38'41"));
    EXPECT_EQ(FindText("  38'41")->x, 90.0f);
    EXPECT_EQ(FindText("  38'41")->handle, d.fonts[4]);
    EXPECT_EQ(FindText("  38'41")->colour, MakeScreenColor(255, 255, 255));

    // Under five seconds: warmer each second, and the new second pops.
    calls_.clear();
    st.elapsed = 60000 - 2950;
    st.noTarget = 1;
    st.Draw();
    EXPECT_EQ(FindText("タイム:")->colour, MakeScreenColor(255, 0, 0));  // no target yet
    ASSERT_TRUE(FindText("   2'95"));
    EXPECT_EQ(FindText("   2'95")->colour, MakeScreenColor(255, 35 * 2 + 106, 120));
    EXPECT_EQ(FindText("   2'95")->handle, d.fonts[(950 * 5 - 4500) / 100 + 4]);

    // Past the limit: the overrun in red.
    calls_.clear();
    st.elapsed = 61230;
    st.Draw();
    ASSERT_TRUE(FindText(" -1'23"));
    EXPECT_EQ(FindText(" -1'23")->x, 110.0f);
    EXPECT_EQ(FindText(" -1'23")->colour, MakeScreenColor(255, 0, 0));
    calls_.clear();
    st.mode = gamemode::kVersusSingle;
    st.Draw();
    EXPECT_TRUE(FindText("   0'00"));

    // Sudden death calls for the gem instead.
    calls_.clear();
    st.mode = gamemode::kSuddenDeath;
    st.Draw();
    EXPECT_TRUE(FindText("いちはやく宝石をとれ！！"));
    EXPECT_FALSE(FindText("タイム:"));
}

TEST_F(FieldDraw, TimeAttackRecordsAndTheDemo) {
    GameData& d = Data();
    Stage st = HandStage(Box(6, 4), gamemode::kTimeAttack);
    st.stageNumber = 7;
    st.playerEntries[0] = 0;
    st.deviceTable.types[0] = 6;
    st.elapsed = 12340;
    d.save->bestTime[7] = 20000;
    d.timeTable->target[7][6] = 16000;
    d.timeTable->attempts[7][6] = 4;
    st.Draw();
    EXPECT_EQ(FindText("  12'34")->x, 80.0f);
    EXPECT_EQ(FindText("  20'00")->x, 550.0f);  // the best time
    EXPECT_EQ(FindText("  20'00")->y, 5.0f);
    EXPECT_EQ(FindText("  16'00")->y, 25.0f);   // the target: the best is within five seconds of it
    calls_.clear();
    d.save->bestTime[7] = 21001;
    st.Draw();
    EXPECT_EQ(FindText("  --'--")->y, 25.0f);
    // Against the table: its time as the record, its attempts instead of a target.
    calls_.clear();
    st.mode = gamemode::kReplayDemo;
    st.playFrames = 10;
    st.Draw();
    EXPECT_EQ(FindText("  16'00")->y, 5.0f);
    EXPECT_EQ(FindText("4")->x, 600.0f);
    EXPECT_TRUE(FindText("TAリプレイモード"));
    calls_.clear();
    st.playFrames = 40;
    st.Draw();
    EXPECT_FALSE(FindText("TAリプレイモード"));

    // The attract demo: the logo, and the blinking "G A M E  O V E R".
    calls_.clear();
    st.mode = gamemode::kAttractDemo;
    st.playFrames = 10;
    st.ready = 1;
    st.Draw();
    EXPECT_GE(IndexOf(Call::kGraph, d.titleLogo), 0);
    EXPECT_TRUE(FindText("G A M E  O V E R"));
    EXPECT_EQ(IndexOf(Call::kGraph, d.textReady), -1);  // no phase pictures in the demo
    EXPECT_EQ(IndexOf(Call::kGraph, d.textTimeAttack), -1);
}

TEST_F(FieldDraw, PhasePicturesComeInOrderOverTheField) {
    GameData& d = Data();
    d.save->difficulty = 1;
    Stage st = HandStage(Box(6, 4));
    AddCat(st, 0, 1, 64, StandingY(3));
    st.ready = 1;
    st.phaseCounter = 4;
    d.transitionCount = 0;
    d.CaptureScreen();
    st.Draw();
    // Background first, the field, the cat, the HUD, the band and the
    // sliding ready picture, the transition wipe last.
    const int background = IndexOf(Call::kRotatedGraph, st.background);
    const int block = IndexOf(Call::kModel, d.blockModels[0][0]);
    const int cat = IndexOf(Call::kModel, d.catModels[0][0]);
    const int ready = IndexOf(Call::kGraph, d.textReady);
    ASSERT_GE(background, 1);
    EXPECT_EQ(calls_[0].kind, Call::kBox);  // black under everything
    EXPECT_LT(background, block);
    EXPECT_LT(block, cat);
    ASSERT_GT(ready, cat);
    EXPECT_EQ(calls_[size_t(ready)].x, 640.0f - 47.0f * 4);
    const Call& band = calls_[size_t(ready - 1)];
    EXPECT_EQ(band.kind, Call::kBox);
    EXPECT_EQ(band.y, (60.0f - 4) * 4);
    EXPECT_EQ(band.y2, 243.0f + 4 * 4);
    EXPECT_EQ(band.alpha, 128);
    EXPECT_EQ(calls_.back().kind, Call::kWipe);
    EXPECT_EQ(d.transitionCount, 1);

    // Standing and fading; the last stage of a run shows the final picture.
    calls_.clear();
    st.isLastOfRun = 1;
    st.phaseCounter = 60;
    st.Draw();
    const int final = IndexOf(Call::kGraph, d.textFinal);
    ASSERT_GE(final, 0);
    EXPECT_EQ(calls_[size_t(final)].x, 27.0f);
    EXPECT_EQ(calls_[size_t(final)].alpha, 40 * 255 / 100);
    EXPECT_EQ(calls_[size_t(final - 1)].alpha, 40 * 128 / 100);

    // Go: the picture shaken within 15 pixels.
    calls_.clear();
    st.ready = 0;
    st.go = 1;
    st.Draw();
    const int go = IndexOf(Call::kGraph, d.textGo);
    ASSERT_GE(go, 0);
    EXPECT_GE(calls_[size_t(go)].x, 207.0f);
    EXPECT_LE(calls_[size_t(go)].x, 222.0f);

    // A run lost: the screen darkens, the failure picture slides in and the music fades.
    SoundLog sounds;
    calls_.clear();
    st.go = 0;
    st.finished = 1;
    st.roundOver = 1;
    st.phaseCounter = 5;
    st.Draw();
    const int failure = IndexOf(Call::kGraph, d.textFailure);
    ASSERT_GE(failure, 0);
    EXPECT_EQ(calls_[size_t(failure)].x, 5.0f * 64);
    EXPECT_EQ(calls_[size_t(failure)].y, 190.0f);
    EXPECT_EQ(calls_[size_t(failure - 2)].alpha, 5 * 255 / 100);  // the darkening under the band
    ASSERT_EQ(sounds.calls.size(), 1u);
    EXPECT_EQ(sounds.calls[0].kind, gamesound::Call::kSetMusicVolume);
    EXPECT_EQ(sounds.calls[0].playType, 255 - 5 * 255 / 100);

    // A cleared stage that unlocks its time attack.
    calls_.clear();
    st.isLastOfRun = 0;
    st.roundOver = 0;
    st.unlocked = 1;
    st.Draw();
    EXPECT_EQ(calls_[size_t(IndexOf(Call::kGraph, d.textClear))].x, 640.0f - 47 * 5);
    EXPECT_TRUE(FindText("ゲット タイムアタック！！"));
}

TEST_F(FieldDraw, VersusWinnersAndGameSet) {
    Stage st = HandStage(Box(8, 4), gamemode::kVersus);
    AddCat(st, 0, 1, 64, StandingY(3));
    AddCat(st, 1, 6, 96, StandingY(3));
    AddCat(st, 2, 6, 128, StandingY(3));
    st.finished = st.roundOver = 1;
    st.results[0] = st.results[2] = 1;
    st.phaseCounter = 30;
    st.Draw();
    EXPECT_EQ(calls_[size_t(IndexOf(Call::kGraph, Data().textGameSet))].x, 0.0f);
    ASSERT_TRUE(FindText("1P WIN!"));
    ASSERT_TRUE(FindText("3P WIN!"));
    EXPECT_FALSE(FindText("2P WIN!"));
    EXPECT_EQ(FindText("1P WIN!")->y, 290.0f);
    EXPECT_EQ(FindText("3P WIN!")->y, 320.0f);
    EXPECT_EQ(FindText("3P WIN!")->colour, PlayerColor(2));
}

TEST_F(FieldDraw, TheMinimapHasOneColouredBoxPerCell) {
    Stage st = HandStage({"B r", "G1n", " a "});
    calls_.clear();
    DrawStageMinimap(st);
    const std::vector<Call> boxes = Of(Call::kBox);
    ASSERT_EQ(boxes.size(), 9u);
    EXPECT_EQ(boxes[0].x, 460.0f);
    EXPECT_EQ(boxes[0].y, 210.0f);
    EXPECT_EQ(boxes[0].x2, 463.0f);
    EXPECT_EQ(boxes[5].x, 466.0f);
    EXPECT_EQ(boxes[5].y, 213.0f);
    const uint32_t expected[9] = {
        MakeScreenColor(127, 6, 56),   MakeScreenColor(102, 255, 255), MakeScreenColor(0, 150, 0),
        MakeScreenColor(255, 255, 0),  MakeScreenColor(255, 0, 0),     MakeScreenColor(255, 127, 0),
        MakeScreenColor(102, 255, 255), MakeScreenColor(255, 127, 0),  MakeScreenColor(102, 255, 255),
    };
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(boxes[i].colour, expected[i]) << i;
}

TEST_F(FieldDraw, SessionScreens) {
    const GameData& d = Data();
    sessiondraw::ScorePanel panel;
    panel.score = 4200;
    panel.hasLives = true;
    panel.lives = -1;
    panel.face = d.catFaces[0];
    sessiondraw::DrawScorePanel(d, panel);
    EXPECT_EQ(FindText("00004200")->x, 300.0f);
    EXPECT_EQ(FindText("00004200")->handle, d.fonts[2]);
    EXPECT_EQ(FindText("   0")->colour, MakeScreenColor(255, 0, 0));  // a lost run shows 0 in red
    calls_.clear();
    panel.endless = true;
    sessiondraw::DrawScorePanel(d, panel);
    EXPECT_TRUE(FindText("   ∞"));

    // Pause: the paused picture dimmed, then the tint back, then the texts.
    calls_.clear();
    sessiondraw::DrawPause(d);
    ASSERT_EQ(calls_.size(), 5u);
    EXPECT_EQ(calls_[0].kind, Call::kTint);
    EXPECT_EQ(calls_[0].colour, MakeScreenColor(127, 127, 127));
    EXPECT_EQ(calls_[1].handle, d.workGraph);
    EXPECT_EQ(calls_[2].colour, MakeScreenColor(255, 255, 255));
    EXPECT_EQ(FindText("PAUSE")->handle, d.fonts[9]);
    EXPECT_EQ(FindText("PAUSE")->x, 250.0f);

    // The versus result: the winner named, its row bouncing, the jewels of its wins.
    calls_.clear();
    sessiondraw::VersusResult result;
    result.phase = 7;
    result.winner = 1;
    result.frameCounter = 8;
    result.phaseTimer = 40;
    result.catKinds[0] = 1, result.catKinds[1] = 2;
    result.wins[0] = 1, result.wins[1] = 2;
    result.sessionOver = true;
    sessiondraw::DrawVersusResult(d, result);
    EXPECT_EQ(FindText("2P WIN!")->colour, PlayerColor(1));
    const int bounce = int(std::fabs(std::sin(8 / 5.0) * 30));
    EXPECT_EQ(FindText("2P")->y, 200.0f - bounce);
    EXPECT_EQ(FindText("1P")->y, 150.0f);
    EXPECT_TRUE(FindText("Push PAUSE Key →"));
    int jewels = 0;
    for (const Call& c : Of(Call::kGraph)) jewels += c.handle == d.jewelPic;
    EXPECT_EQ(jewels, 3);

    // The time-attack result marks a new record in yellow.
    calls_.clear();
    sessiondraw::TimeAttackResult ta;
    ta.record = SaveData::kNoTime;
    ta.clearTime = 31000;
    ta.newRecord = true;
    sessiondraw::DrawTimeAttackResult(d, ta);
    EXPECT_EQ(FindText("  --'--")->x, 220.0f);
    EXPECT_EQ(FindText("  31'00")->colour, MakeScreenColor(255, 255, 0));
    EXPECT_GE(IndexOf(Call::kGraph, d.textNewRecord), 0);
}

}  // namespace
