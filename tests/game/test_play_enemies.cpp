// Enemy kinds 8..13: respawn, the crawler, the hazard cap, the bouncer, the
// periodic field turn, and enemies at or beyond the grid's edge.
#include "engine/camera.h"
#include "game/play/follow_camera.h"
#include "play_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Updates one enemy alone on a grid, with its contact pass as in play.
void RunEnemy(Stage& st, CatActor& enemy, int frames) {
    const std::array<CatActor*, 4> slots = st.CatSlots();
    for (int f = 0; f < frames; ++f) {
        enemy.UpdateEnemy(slots.data(), st.grid, st.pendingScratch);
        st.UpdateCatOnGrid(enemy);
    }
}

TEST(Enemies, KnockedOutEnemyReturnsToItsStartOnTheSixtyFirstFrame) {
    TestData t;
    for (int kind = 8; kind <= 13; ++kind) {
        Stage st = StageOnGrid(Box(12, 10), t, 0, 0, 0);
        CatActor enemy(-1, kind, 3, 8, 850, nullptr, &t.data);
        enemy.x += 40;
        enemy.vx = 5;
        enemy.KnockOut();  // frame 1
        RunEnemy(st, enemy, 59);
        EXPECT_EQ(enemy.knockedOut, 60) << kind;
        EXPECT_EQ(enemy.x, 3 * 32 + 40) << kind;  // knocked out: no movement
        RunEnemy(st, enemy, 1);                        // frame 61
        EXPECT_EQ(enemy.knockedOut, 0) << kind;
        EXPECT_EQ(enemy.x, 96) << kind;
        EXPECT_EQ(enemy.y, 8 * 32) << kind;
        EXPECT_EQ(enemy.vx, 0) << kind;
        EXPECT_EQ(enemy.vy, 0) << kind;
    }
}

TEST(Enemies, CrawlerReversesWithEachHit) {
    TestData t;
    for (int hits : {0, 1, 2, 3}) {
        Stage st = StageOnGrid(Box(20, 10), t, 0, 0, 0);
        CatActor crawler(-1, 8, 9, 8, 850, nullptr, &t.data);
        crawler.hits = hits;
        const int x0 = crawler.x;
        RunEnemy(st, crawler, 40);
        const int moved = crawler.x - x0;
        EXPECT_EQ(moved > 0, hits % 2 == 0) << hits << " moved " << moved;
        EXPECT_NE(moved, 0);
    }
}

TEST(Enemies, CrawlerNeverMakesASixthHazardCell) {
    TestData t;
    SoundLog sounds;
    for (int existing : {4, 5}) {
        Stage st = StageOnGrid(Box(20, 10), t, 0, 0, 0);
        for (int k = 0; k < existing; ++k) st.grid.Set(2 + k, 2, tile::kDropped);
        CatActor crawler(-1, 8, 9, 8, 850, nullptr, &t.data);
        crawler.hits = 3;  // drops every 45 frames
        sounds.Clear();
        RunEnemy(st, crawler, 400);
        EXPECT_EQ(st.grid.Count(tile::kDropped), 5) << existing;
        EXPECT_EQ(sounds.Count(kSeScratch), 5 - existing) << existing;
    }
}

TEST(Enemies, BouncerMovesStrengthPlusThreeAndTurnsAtTheBorder) {
    TestData t;
    Stage st = StageOnGrid({"            ", "            ", "            ", "            ", "            ",
                            "            ", "            "},
                           t, 0, 0, 0);
    CatActor bouncer(-1, 12, 5, 3, 850, nullptr, &t.data);
    bouncer.hits = 2;
    int turnsX = 0, turnsY = 0;
    for (int f = 0; f < 300; ++f) {
        const int x0 = bouncer.x, y0 = bouncer.y, sx = bouncer.stepX, sy = bouncer.stepY;
        RunEnemy(st, bouncer, 1);
        EXPECT_EQ(std::abs(bouncer.x - x0), 5);
        EXPECT_EQ(std::abs(bouncer.y - y0), 5);
        turnsX += bouncer.stepX != sx;
        turnsY += bouncer.stepY != sy;
        // Inside the border cells: columns 1..columns-2 hold its box.
        ASSERT_GE(bouncer.x + 5, 32 - 10) << f;
        ASSERT_LE(bouncer.x + 26, (st.grid.columns - 1) * 32 + 10) << f;
        ASSERT_GE(bouncer.y + 6, 32 - 10) << f;
        ASSERT_LE(bouncer.y + 26, (st.grid.rows - 1) * 32 + 10) << f;
    }
    EXPECT_GT(turnsX, 3);
    EXPECT_GT(turnsY, 3);
}

TEST(Enemies, StrongDropperTurnsTheFieldOnceEveryHundredEightyFrames) {
    TestData t;
    SoundLog sounds;
    Stage st = StageOnGrid(Box(12, 12), t, 1, 64, StandingY(11));
    st.enemies.emplace_back(-1, 9, 6, 6, 850.0f, nullptr, &t.data);
    st.enemies.back().hits = 3;
    Pad pad(1);
    // It glides by screen positions: the camera follows as in play.
    const std::array<CatActor*, 4> slots = st.CatSlots();
    FitCameraToCats(slots.data(), st.camera, st.grid.columns, st.grid.rows, 0.0f);
    for (int k = 0; k < 3; ++k) st.camera.current[k] = st.camera.target[k];
    int turns = 0, angle = st.rotation;
    for (int f = 0; f < 540; ++f) {
        st.UpdatePlay(pad.arrays);
        UpdateCameraFollow(st.camera);
        turns += st.rotation != angle;
        angle = st.rotation;
    }
    EXPECT_EQ(turns, 3);
    EXPECT_EQ(st.rotation, 270);
    EXPECT_EQ(st.enemies[0].knockedOut, 0);
}

TEST(Enemies, LeaperOnTopOfItsTargetSteersNowhere) {
    TestData t;
    const float eye[3] = {400, 400, 0}, at[3] = {400, 400, 850}, up[3] = {0, 1, 0};
    SetCameraEyeTargetUp(eye, at, up);
    CatActor player(0, 1, 5, 5, 850, nullptr, &t.data);
    CatActor* players[4] = {&player, nullptr, nullptr, nullptr};
    TileGrid grid = GridFromRows(Box(12, 12));
    int pending = 0;
    CatActor leaper(-1, 10, 5, 5, 850, nullptr, &t.data);
    leaper.hits = 2;
    for (int f = 0; f < 400; ++f) {
        leaper.x = player.x;  // sits right on the player: a zero direction
        leaper.y = player.y;
        leaper.UpdateEnemy(players, grid, pending);
        ASSERT_TRUE(std::isfinite(leaper.dirX));
        ASSERT_LT(std::abs(leaper.vx), 100);
        ASSERT_LT(std::abs(leaper.vy), 100);
    }
}

// Enemies at the edge of the grid or beyond it read and write only cells
// of the grid (ASan watches the rest).
TEST(Enemies, HazardsNearOrBeyondTheEdgeStayInsideTheGrid) {
    TestData t;
    SoundLog sounds;
    const std::pair<int, int> places[] = {{0, 0}, {-40, -40}, {-200, 50}, {300, 300}, {5000, -5000}, {10, 150}};
    for (auto [px, py] : places) {
        for (int kind = 8; kind <= 13; ++kind) {
            Stage st = StageOnGrid({"    ", "    ", "    ", "    ", "    "}, t, 1, 32, 32);
            CatActor enemy(-1, kind, 0, 0, 850, nullptr, &t.data);
            enemy.hits = 3;
            const std::array<CatActor*, 4> slots = st.CatSlots();
            for (int f = 0; f < 600; ++f) {
                enemy.x = px;
                enemy.y = py;
                enemy.frame = f % 2 ? 120 : 0;  // the hazard phases of kinds 8, 9 and 13
                enemy.UpdateEnemy(slots.data(), st.grid, st.pendingScratch);
                st.UpdateCatOnGrid(enemy);
                st.UpdateDartTraps(enemy);
            }
            EXPECT_EQ(st.grid.cells.size(), size_t(20));
        }
    }
}

TEST(Enemies, RunnerScattersHazardsAroundItselfAndJumpsAbout) {
    TestData t;
    SoundLog sounds;
    Stage st = StageOnGrid(Box(12, 10), t, 1, 64, StandingY(9));
    CatActor runner(-1, 13, 5, 4, 850, nullptr, &t.data);
    runner.hits = 2;
    runner.frame = 120;  // the first phase of its attack window
    st.grid.Set(9, 2, tile::kDropped);
    const std::array<CatActor*, 4> slots = st.CatSlots();
    runner.UpdateEnemy(slots.data(), st.grid, st.pendingScratch);
    EXPECT_EQ(st.grid.At(9, 2), tile::kEmpty);  // old hazards cleared first
    EXPECT_EQ(st.grid.Count(tile::kDropped), 4);
    for (auto [c, r] : {std::pair{6, 4}, {4, 4}, {5, 5}, {5, 3}}) EXPECT_EQ(st.grid.At(c, r), tile::kDropped);
    EXPECT_EQ(sounds.Count(kSeSlash2), 1);
    EXPECT_EQ(st.pendingScratch, 3);  // one of the four spent on this tick
    EXPECT_EQ(sounds.Count(kSeScratch), 1);
    // Then it jumps to cell (tick % (columns - 2) + 1, tick % (rows - 2) + 1).
    EXPECT_EQ(runner.x, 32);
    EXPECT_EQ(runner.y, 32);
}

}  // namespace
