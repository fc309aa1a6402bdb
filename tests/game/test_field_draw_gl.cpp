// The play field drawn on headless GL: a set stage, a versus stage with
// four cats, the pause screen and the result screens, saved as PNG for a
// look (build tree, "field_frames") and checked where the HUD and the field
// must be, with tolerances rather than whole-frame goldens; and the HUD's
// jewel column drawn on GL and on the software path alike.
#include "field_fixture.h"
#include "pixel_channels.h"
#include "play_setup.h"

#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/lifecycle.h"
#include "game/data/game_text.h"
#include "game/draw/session_screens.h"
#include "game/play/game_modes.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

struct Rect {
    int left, top, right, bottom;  // right and bottom exclusive
};

uint32_t At(const std::vector<uint32_t>& p, int x, int y) { return p[size_t(y) * 640 + size_t(x)] & 0xFFFFFF; }

int Count(const std::vector<uint32_t>& p, Rect r, const std::function<bool(uint32_t)>& match) {
    int n = 0;
    for (int y = std::max(r.top, 0); y < std::min(r.bottom, 480); ++y)
        for (int x = std::max(r.left, 0); x < std::min(r.right, 640); ++x) n += match(At(p, x, y));
    return n;
}

// The box around every pixel that differs between two frames.
Rect Difference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    Rect r{640, 480, 0, 0};
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (At(a, x, y) != At(b, x, y)) {
                r.left = std::min(r.left, x), r.top = std::min(r.top, y);
                r.right = std::max(r.right, x + 1), r.bottom = std::max(r.bottom, y + 1);
            }
    return r;
}

class FieldGl : public FieldTest {
protected:
    void SetUp() override {
        FieldTest::SetUp();
        StartOn("gl");
    }
    // Set 0's second stage for one keyboard player, run right and jumped.
    Stage& SetStage(int difficulty) {
        playsim::Setup setup;
        setup.stageNumber = 1;
        setup.difficulty = difficulty;
        setup.deviceTypes = {6};
        Stage& st = MakeStage(setup, 0);
        Play(200, "130-200 right\n170-180 jump\n");
        return st;
    }
};

TEST_F(FieldGl, SetStageTheClockAndTheBlocksStandWhereTheyBelong) {
    Stage& st = SetStage(1);
    const std::vector<uint32_t> frame = DrawFrame();
    SavePng("set_stage");

    // The clock is the only difference to the easy game, which has none:
    // "タイム:" at (10, 10) and the time at (90, 10), one line of large text.
    st.gameData->save->difficulty = 0;
    const std::vector<uint32_t> easy = DrawFrame();
    const Rect clock = Difference(frame, easy);
    EXPECT_GE(clock.left, 8);
    EXPECT_LE(clock.left, 16);
    EXPECT_GE(clock.top, 6);
    EXPECT_LE(clock.bottom, 46);
    EXPECT_GT(clock.right, 150);
    EXPECT_LT(clock.right, 240);
    const auto yellow = [](uint32_t c) { return R(c) > 200 && G(c) > 200 && B(c) < 90; };
    EXPECT_GT(Count(frame, {10, 10, 80, 40}, yellow), 40);  // the label in yellow

    // Every block whose middle is on screen covers it; with the blocks
    // gone the open cells stay as they were.
    TileGrid blocks = st.grid;
    for (int32_t& code : st.grid.cells)
        if (code == tile::kBlock) code = tile::kEmpty;
    const std::vector<uint32_t> open = DrawFrame();
    st.grid = blocks;
    int covered = 0, checked = 0;
    for (int r = 0; r < blocks.rows; ++r)
        for (int c = 0; c < blocks.columns; ++c) {
            const float world[3] = {c * 80.0f, 700.0f - r * 80.0f, st.FieldDepth()};
            const Vector3 s = WorldToScreenPos(world);
            const int x = int(s.x), y = int(s.y);
            if (x < 2 || y < 50 || x >= 600 || y >= 478) continue;  // off screen or under the HUD
            if (blocks.At(c, r) == tile::kBlock) {
                ++checked;
                covered += At(frame, x, y) != At(open, x, y);
            } else if (blocks.At(c, r) == tile::kEmpty) {
                bool quiet = true;  // nothing but open cells and blocks around, no cat near
                for (int dr = -1; dr <= 1; ++dr)
                    for (int dc = -1; dc <= 1; ++dc) {
                        const int code = blocks.At(c + dc, r + dr);
                        quiet = quiet && (code == tile::kEmpty || code == tile::kBlock || code == tile::kOutside);
                    }
                const CatActor& cat = *st.cats[0];
                quiet = quiet && (std::abs(cat.x / 32 - c) > 2 || std::abs(cat.y / 32 - r) > 2);
                if (quiet) {
                    EXPECT_EQ(At(frame, x, y), At(open, x, y)) << c << ", " << r;
                }
            }
        }
    EXPECT_GT(checked, 20);
    EXPECT_EQ(covered, checked);
}

TEST_F(FieldGl, VersusStageFourCatsWearTheirPlayerColours) {
    Stage& st = MakeStage(benchplay::VersusSetup(), 2);
    Play(200, benchplay::VersusInput());
    const std::vector<uint32_t> frame = DrawFrame();
    SavePng("versus_stage");
    const std::function<bool(uint32_t)> colours[4] = {
        [](uint32_t c) { return R(c) > 190 && G(c) < 70 && B(c) < 70; },
        [](uint32_t c) { return B(c) > 190 && R(c) < 70 && G(c) < 70; },
        [](uint32_t c) { return R(c) > 200 && G(c) > 140 && G(c) < 220 && B(c) < 120; },
        [](uint32_t c) { return G(c) > 190 && R(c) < 70 && B(c) < 70; },
    };
    for (int slot = 0; slot < 4; ++slot) {
        const Vector3 s = st.cats[size_t(slot)]->ScreenPosition();
        // "%dP" at (sx - 5, sy - 55) in the slot's colour.
        const Rect label{int(s.x) - 5, int(s.y) - 55, int(s.x) + 25, int(s.y) - 35};
        EXPECT_GT(Count(frame, label, colours[slot]), 8) << "slot " << slot;
    }
}

// A gem's sparkle is light around it: it lies whole over the faces beside
// and below its gem (set 0's first stage has gems on steps; one is put in a
// pit of one block, one becomes a versus gem about to appear, which shows
// its sparkle alone), yet a cat and a block standing nearer to the camera
// than the gem still hide it. The glow alone, drawn on black without a
// depth test, says where it must show: there the frame differs from the
// same frame with the sparkles left out, but for the gems themselves, the
// cat and the nearer block.
TEST_F(FieldGl, AGemsGlowLiesWholeOverTheFacesAroundItButUnderWhatStandsNearer) {
    playsim::Setup setup;
    setup.stageNumber = 0;
    setup.deviceTypes = {6};
    Stage& st = MakeStage(setup, 0);
    Play(140);  // past the ready and go pictures
    GameData& d = *st.gameData;
    const float D = st.FieldDepth();
    CatActor& cat = *st.cats[0];
    const int catX = cat.x, catY = cat.y;
    cat.x = cat.y = -1000 * 32;  // far off; the camera stays where it was

    struct Gem {
        int column, row;
    };
    std::vector<Gem> onBlocks;
    for (int r = 0; r < st.grid.rows; ++r)
        for (int c = 0; c < st.grid.columns; ++c)
            if ((st.grid.At(c, r) == tile::kGem || st.grid.At(c, r) == tile::kGemSlot) &&
                st.grid.At(c, r + 1) == tile::kBlock)
                onBlocks.push_back({c, r});
    ASSERT_GE(onBlocks.size(), 3u);
    // The lowest of them stands in a pit, the others on their steps; the
    // second of those is about to appear.
    const Gem pit = *std::max_element(onBlocks.begin(), onBlocks.end(),
                                      [](const Gem& a, const Gem& b) { return a.row < b.row; });
    st.grid.Set(pit.column - 1, pit.row, tile::kBlock);
    st.grid.Set(pit.column + 1, pit.row, tile::kBlock);
    std::vector<Gem> others;
    for (const Gem& g : onBlocks)
        if (g.row != pit.row || g.column != pit.column) others.push_back(g);
    const Gem stepGem = others[0], waiting = others[1];
    st.grid.Set(waiting.column, waiting.row, tile::kGemWait1);
    const TileGrid withGems = st.grid;
    auto gemCentre = [&](const Gem& g) { return Vector3{g.column * 80.0f, 700.0f - g.row * 80.0f, D}; };

    // A block of the field 150 nearer to the camera than the gems, over the
    // right half of a step's gem, drawn before the stage.
    Vector3 nearerAt = gemCentre(stepGem);
    nearerAt.x += 35.0f, nearerAt.z -= 150.0f;
    auto frame = [&](bool sparkles, bool gems, bool nearer) {
        const int pieces[3] = {d.flashPics[0], d.flashPics[1], d.flashPics[2]};
        if (!sparkles) d.flashPics[0] = d.flashPics[1] = d.flashPics[2] = 0;
        if (!gems)
            for (int32_t& code : st.grid.cells)
                if (code == tile::kGem || code == tile::kGemSlot || code == tile::kGemWait1) code = tile::kEmpty;
        ClearDrawScreenToBackColor(nullptr);
        if (nearer) gamedraw::Model(d.blockModels[1][0], nearerAt);
        st.Draw();
        std::copy(pieces, pieces + 3, d.flashPics);
        st.grid = withGems;
        return Pixels();
    };

    const std::vector<uint32_t> lit = frame(true, true, false);
    SavePng("glow_over_step_and_pit");
    const std::vector<uint32_t> unlit = frame(false, true, false);
    const std::vector<uint32_t> bare = frame(false, false, false);
    // The sparkles alone, uncut, where the game draws them.
    ClearDrawScreenToBackColor(nullptr);
    SetDepthTestEnabled(0);
    for (const Gem& g : onBlocks) {
        const Vector3 c = gemCentre(g);
        const float at[3] = {c.x, c.y, c.z};
        DrawGraphBillboard3D(at, 0.5f, 0.5f, 120.0f, 0.0f, d.flashPics[(st.frameCounter / 10) % 3], 1, 0);
    }
    SetDepthTestEnabled(1);
    const std::vector<uint32_t> glows = Pixels();
    SavePng("glow_alone");
    auto glowing = [&](int x, int y) { return std::max({R(At(glows, x, y)), G(At(glows, x, y)), B(At(glows, x, y))}) > 24; };

    // Each gem's glow on screen, whole: around the gem in the pit, and on
    // its step.
    int seen = 0;
    for (const Gem& g : onBlocks) {
        const Vector3 c = gemCentre(g);
        const float at[3] = {c.x, c.y, c.z};
        const Vector3 s = WorldToScreenPos(at);
        if (s.x < 0 || s.x >= 590 || s.y < 48 || s.y >= 480) continue;  // off screen or under the HUD
        ++seen;
        const Rect around{int(s.x) - 90, int(s.y) - 110, int(s.x) + 90, int(s.y) + 110};
        int shown = 0, cut = 0;
        for (int y = std::max(around.top, 48); y < std::min(around.bottom, 480); ++y)
            for (int x = std::max(around.left, 0); x < std::min(around.right, 590); ++x) {
                if (!glowing(x, y) || At(unlit, x, y) != At(bare, x, y)) continue;  // no glow, or the gem itself
                ++shown;
                cut += At(lit, x, y) == At(unlit, x, y);
            }
        const char* where = g.row == pit.row && g.column == pit.column               ? "in its pit"
                            : g.row == waiting.row && g.column == waiting.column ? "about to appear on its step"
                                                                                 : "on its step";
        ASSERT_GT(shown, 400) << "the gem at " << g.column << ", " << g.row << " " << where;
        EXPECT_LE(cut, shown / 200) << "of " << shown << " pixels of the glow of the gem " << where << " at "
                                    << g.column << ", " << g.row;
    }
    EXPECT_GE(seen, 3);

    // A cat at a gem covers its glow: its pixels are those it has whether
    // the sparkles are drawn or not.
    cat.x = stepGem.column * 32, cat.y = stepGem.row * 32;
    const std::vector<uint32_t> catLit = frame(true, true, false);
    SavePng("glow_under_cat");
    const std::vector<uint32_t> catUnlit = frame(false, true, false);
    int catPixels = 0, catLitOver = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (At(catUnlit, x, y) != At(unlit, x, y) && glowing(x, y)) {
                ++catPixels;
                catLitOver += At(catLit, x, y) != At(catUnlit, x, y);
            }
    ASSERT_GT(catPixels, 100);
    EXPECT_EQ(catLitOver, 0) << "of " << catPixels << " pixels of the cat over the glow";
    cat.x = catX, cat.y = catY;

    // The nearer block hides the glow where it stands (its pixels: the
    // block alone), and only there.
    cat.x = cat.y = -1000 * 32;
    ClearDrawScreenToBackColor(nullptr);
    gamedraw::Model(d.blockModels[1][0], nearerAt);
    const std::vector<uint32_t> block = Pixels();
    const std::vector<uint32_t> hiddenLit = frame(true, true, true);
    SavePng("glow_behind_nearer_block");
    const std::vector<uint32_t> hiddenUnlit = frame(false, true, true);
    int behind = 0, showing = 0, beside = 0, dark = 0;
    for (int y = 48; y < 480; ++y)
        for (int x = 0; x < 590; ++x) {
            if (!glowing(x, y) || At(unlit, x, y) != At(bare, x, y)) continue;
            const bool differs = At(hiddenLit, x, y) != At(hiddenUnlit, x, y);
            if (At(block, x, y) != 0) {
                ++behind;
                showing += differs;
            } else {
                ++beside;
                dark += !differs;
            }
        }
    ASSERT_GT(behind, 200);
    EXPECT_EQ(showing, 0) << "of " << behind << " pixels of glow behind the nearer block";
    EXPECT_LE(dark, beside / 200) << "of " << beside << " pixels of glow beside it";
}

// A versus round's last faded frame stays behind its result: near the
// end of the fade (the draw period may keep a frame two before it) the
// winner's line, the clock and the gems with their sparkles have faded with
// the field, so it differs little from the same field without them.
TEST_F(FieldGl, AtTheEndOfItsFadeAVersusRoundShowsNothingOverItsField) {
    Stage& st = MakeStage(benchplay::VersusSetup(), 2);
    Play(200, benchplay::VersusInput());
    st.finished = st.roundOver = 1;
    st.isLastOfRun = 0;  // a round with more to come: no closing darkness
    st.phaseCounter = 101;
    st.results[0] = 1;
    for (auto& cat : st.cats)
        if (cat) cat->vx = cat->vy = 0, cat->turnState = 0;  // the same pose in both frames
    const float opacity = 2.0f / 30.0f;
    const std::vector<uint32_t> faded = DrawFrame(opacity);
    SavePng("versus_round_faded");
    st.results[0] = 0;
    st.elapsed = 0;  // another time on the clock
    for (int32_t& code : st.grid.cells)
        if (code == tile::kGemSlot || (code >= tile::kGemWait1 && code <= tile::kGemWait3)) code = tile::kEmpty;
    const std::vector<uint32_t> bare = DrawFrame(opacity);
    int apart = 0;  // channels more than a faint gem apart
    for (size_t i = 0; i < faded.size(); ++i)
        for (int shift : {0, 8, 16})
            apart += std::abs(int(faded[i] >> shift & 0xFF) - int(bare[i] >> shift & 0xFF)) > 40;
    EXPECT_EQ(apart, 0);
}

TEST_F(FieldGl, PauseDimsThePausedFrameAndResultsStandOverIt) {
    SetStage(1);
    const std::vector<uint32_t> play = DrawFrame();
    GameData& d = Data();
    ASSERT_EQ(CaptureScreenToGraph(0, 0, 640, 480, d.workGraph, 1), 0);

    ClearDrawScreenToBackColor(nullptr);
    sessiondraw::DrawPause(d);
    const std::vector<uint32_t> pause = Pixels();
    SavePng("pause");
    const auto white = [](uint32_t c) { return R(c) > 230 && G(c) > 230 && B(c) > 230; };
    EXPECT_GT(Count(pause, {250, 160, 340, 200}, white), 100);  // "PAUSE"
    // Away from the texts the paused frame shows at half brightness.
    for (int y = 300; y < 480; y += 37)
        for (int x = 0; x < 640; x += 53) {
            const uint32_t was = At(play, x, y), now = At(pause, x, y);
            EXPECT_NEAR(R(now), R(was) * 127 / 255, 3) << x << ", " << y;
            EXPECT_NEAR(G(now), G(was) * 127 / 255, 3) << x << ", " << y;
        }

    sessiondraw::TimeAttackResult ta;
    ta.phaseTimer = 30;
    ta.frameCounter = 40;
    ta.record = 41230;
    ta.clearTime = 38410;
    ta.newRecord = true;
    ClearDrawScreenToBackColor(nullptr);
    sessiondraw::DrawTimeAttackResult(d, ta);
    const std::vector<uint32_t> result = Pixels();
    SavePng("time_attack_result");
    // The new clear time in yellow at (220, 230).
    const auto yellow = [](uint32_t c) { return R(c) > 200 && G(c) > 200 && B(c) < 90; };
    EXPECT_GT(Count(result, {220, 230, 330, 260}, yellow), 40);

    sessiondraw::VersusResult versus;
    versus.phase = 6;
    versus.background = d.workGraph;
    versus.frameCounter = 40;
    versus.phaseTimer = 20;
    versus.catKinds[0] = 1, versus.catKinds[1] = 6, versus.catKinds[2] = 4, versus.catKinds[3] = 5;
    versus.wins[0] = 2, versus.wins[1] = 1, versus.wins[3] = 1;
    versus.roundWinners[0] = 1;
    ClearDrawScreenToBackColor(nullptr);
    sessiondraw::DrawVersusResult(d, versus);
    SavePng("versus_result");
    EXPECT_GT(Count(Pixels(), {280, 60, 400, 100}, white), 100);  // "RESULT"

    sessiondraw::SetEnd end;
    end.face = d.catFaces[0];
    static const std::string name = GameText("はじまりのセット");
    end.setName = name.c_str();
    end.bonusShown = 10000;
    end.lives = 3;
    end.frameCounter = 40;
    ClearDrawScreenToBackColor(nullptr);
    sessiondraw::DrawSetEnd(d, end);
    sessiondraw::ScorePanel panel;
    panel.score = 123450;
    panel.hasLives = true;
    panel.lives = 3;
    panel.face = d.catFaces[0];
    sessiondraw::DrawScorePanel(d, panel);
    SavePng("set_end");
    const auto orange = [](uint32_t c) { return R(c) > 200 && G(c) > 90 && G(c) < 160 && B(c) < 60; };
    EXPECT_GT(Count(Pixels(), {20, 190, 200, 215}, orange), 60);  // the set's name
}

// The jewel column of the one-player modes is pictures only (the faint
// jewel at alpha 80, a collected one with a flash piece added over it), so
// the software path must draw it as GL does: the same frames on both, for
// each of the three flash pieces, over the stage's background picture.
class JewelColumnOnBothPaths : public FieldTest {
protected:
    // Frames of set 0's second stage with two of four gems taken: only the
    // background and the cat, whose model stands far off screen.
    std::vector<std::vector<uint32_t>> ColumnFrames() {
        playsim::Setup setup;
        setup.stageNumber = 1;
        setup.difficulty = 1;
        setup.deviceTypes = {6};
        CatActor& cat = *MakeStage(setup, 0).cats[0];
        cat.gems = 2;
        cat.x = cat.y = -1000 * 32;
        std::vector<std::vector<uint32_t>> frames;
        for (int tick : {0, 10, 20}) {  // flash pieces 0, 1 and 2
            cat.tick = tick;
            ClearDrawScreenToBackColor(nullptr);
            EXPECT_EQ(DrawGraphAt(0, 0, Data().sceneBackgrounds[0], 0), 0);
            cat.Draw(gamemode::kNormal, 1.0f);
            frames.push_back(Pixels());
            if (HardwareRenderingActive()) SavePng("jewel_column_gl_" + std::to_string(tick));
            else SavePng("jewel_column_software_" + std::to_string(tick));
        }
        return frames;
    }
};

TEST_F(JewelColumnOnBothPaths, GlAndTheSoftwarePathDrawTheSameColumn) {
    Start();  // the headless window has no GL: the software path
    ASSERT_EQ(HardwareRenderingActive(), 0);
    const std::vector<std::vector<uint32_t>> software = ColumnFrames();
    sim_.reset();
    app_.reset();
    ShutdownEngine();
    StartOn("gl");
    const std::vector<std::vector<uint32_t>> gl = ColumnFrames();
    ASSERT_EQ(gl.size(), software.size());

    const Rect column{596, 56, 640, 200};  // slots at x 610, y 70..160, flash 4 left and 8 up
    for (size_t f = 0; f < gl.size(); ++f) {
        int worst = 0, wx = 0, wy = 0;
        for (int y = column.top; y < column.bottom; ++y)
            for (int x = column.left; x < column.right; ++x) {
                const uint32_t a = At(gl[f], x, y), b = At(software[f], x, y);
                const int d = std::max({std::abs(R(a) - R(b)), std::abs(G(a) - G(b)), std::abs(B(a) - B(b))});
                if (d > worst) worst = d, wx = x, wy = y;
            }
        EXPECT_LE(worst, 8) << "flash piece " << f << " at " << wx << ", " << wy;
    }
    // Not two blank columns: a taken slot's middle is the flash's light,
    // a faint one is the jewel's red thinned over the sky.
    const std::vector<uint32_t>& frame = software[0];
    const uint32_t taken = At(frame, 618, 78), faint = At(frame, 618, 138), sky = At(frame, 630, 138);
    EXPECT_GT(R(taken), 230);
    EXPECT_GT(G(taken), 200);
    EXPECT_GT(R(faint), R(sky) + 30);
    EXPECT_LT(G(faint), G(sky) - 30);
}

}  // namespace
