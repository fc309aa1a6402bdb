// Field turns carry the grid, the cats, the lists and the camera along.
#include "play_fixture.h"

#include <gtest/gtest.h>

namespace {

// A stage of 10 columns and 6 rows with something in every list.
Stage Turnable(TestData& t) {
    Stage st = StageOnGrid({"          ", " B1  K  a ", " r  BB  G ", " u zB   l ", " BBBBBBBB ", "          "}, t, 4,
                           100, 40);
    st.enemies.emplace_back(-1, 8, 3, 3, 850.0f, nullptr, &t.data);
    st.startColumn = 2;
    st.startRow = 3;
    st.bumpedBlocks.push_back({5, 1, 3, 2});
    st.turnTiles.push_back({1, 2, 10, 3});
    st.darts.push_back({8, 1, 200, 50, Dart::kDown, false, 0});
    st.gemSpawns.push_back({6, 3, 5});
    return st;
}

struct Snapshot {
    std::vector<int32_t> cells;
    int columns, rows;
    std::vector<int> positions;  // cats, riders, enemies: x, y, startX, startY
    std::vector<int> listCells;
    int angle, flipped;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const Stage& st) {
    Snapshot s{st.grid.cells, st.grid.columns, st.grid.rows, {}, {}, st.rotation, st.flipped};
    auto cat = [&](const CatActor& c) { s.positions.insert(s.positions.end(), {c.x, c.y, c.startX, c.startY}); };
    cat(*st.Cat(0));
    cat(*st.Cat(0)->rider);
    for (const CatActor& e : st.enemies) cat(e);
    s.listCells = {st.startColumn, st.startRow, st.bumpedBlocks[0].column, st.bumpedBlocks[0].row,
                   st.turnTiles[0].column, st.turnTiles[0].row, st.darts[0].column, st.darts[0].row,
                   st.gemSpawns[0].column, st.gemSpawns[0].row};
    return s;
}

TEST(FieldTurn, FourClockwiseTurnsAndTwoFlipsAreTheIdentity) {
    TestData t;
    Stage st = Turnable(t);
    const Snapshot before = Take(st);
    st.RotateClockwise();
    EXPECT_EQ(st.grid.columns, 6);
    EXPECT_EQ(st.grid.rows, 10);
    EXPECT_EQ(st.grid.cells.size(), 60u);
    EXPECT_NE(Take(st), before);
    for (int k = 0; k < 3; ++k) st.RotateClockwise();
    EXPECT_EQ(Take(st), before);
    EXPECT_EQ(st.rotation, 0);
    st.FlipVertical();
    EXPECT_EQ(st.rotation, 180);
    EXPECT_TRUE(st.flipped);
    st.FlipVertical();
    EXPECT_EQ(Take(st), before);
    for (int k = 0; k < 4; ++k) st.RotateCounterClockwise();
    EXPECT_EQ(Take(st), before);
}

TEST(FieldTurn, CellsMoveAsTheTableSays) {
    TestData t;
    Stage st = Turnable(t);
    // Clockwise: new(r', c') = old(R - 1 - c', r'); a cell (c, r) goes to
    // (C - 1 - r, c) with C the new column count.
    const TileGrid old = st.grid;
    st.RotateClockwise();
    for (int r = 0; r < old.rows; ++r) {
        for (int c = 0; c < old.columns; ++c) EXPECT_EQ(st.grid.At(st.grid.columns - 1 - r, c), old.At(c, r));
    }
    EXPECT_EQ(st.startColumn, 6 - 1 - 3);
    EXPECT_EQ(st.startRow, 2);
    EXPECT_EQ(st.Cat(0)->x, 6 * 32 - 40 - 20);
    EXPECT_EQ(st.Cat(0)->y, 100);
    // Flying darts keep their pixels; only their trap cell moves.
    EXPECT_EQ(st.darts[0].x, 200);
    EXPECT_EQ(st.darts[0].column, 6 - 1 - 1);
    EXPECT_EQ(st.darts[0].row, 8);
}

TEST(FieldTurn, ClockwiseThenCounterClockwiseRestoresTheGridWithCatsFivePixelsOff) {
    TestData t;
    Stage st = Turnable(t);
    const Snapshot before = Take(st);
    st.RotateClockwise();
    st.RotateCounterClockwise();
    const Snapshot after = Take(st);
    EXPECT_EQ(after.cells, before.cells);
    EXPECT_EQ(after.listCells, before.listCells);
    for (size_t k = 0; k < before.positions.size(); k += 2) {
        EXPECT_EQ(after.positions[k], before.positions[k]);
        EXPECT_EQ(after.positions[k + 1], before.positions[k + 1] - 5);  // offsets 20 and 25
    }
    EXPECT_EQ(st.rotation, 0);
}

TEST(FieldTurn, CameraJumpsToItsTargetAndRolls) {
    TestData t;
    for (auto [turn, roll] : {std::pair{0, 30.0f}, {1, -30.0f}, {2, 42.0f}}) {
        Stage st = Turnable(t);
        st.camera.current[0] = 10;
        st.camera.target[0] = 300;
        if (turn == 0) st.RotateClockwise();
        if (turn == 1) st.RotateCounterClockwise();
        if (turn == 2) st.FlipVertical();
        EXPECT_EQ(st.camera.roll, roll);
        EXPECT_EQ(st.camera.current[0], 300);
    }
}

TEST(FieldTurn, TouchingATurnTileTurnsOnceAndTheTileComesBack) {
    TestData t;
    SoundLog sounds;
    // The cat walks right into an 'r' tile.
    Stage st = StageOnGrid({"BBBBBBBB", "B      B", "B    r B", "BBBBBBBB"}, t, 1, 3 * 32, StandingY(3));
    Pad pad(1);
    pad.buttons.held[input::kRight] = 1;
    int turnsAt = -1;
    for (int f = 0; f < 40 && turnsAt < 0; ++f) {
        st.UpdatePlay(pad.arrays);
        if (st.rotation != 0) turnsAt = f;
    }
    ASSERT_GE(turnsAt, 0);
    EXPECT_EQ(sounds.Count(kSeSlash), 1);
    ASSERT_EQ(st.turnTiles.size(), 1u);
    EXPECT_EQ(st.grid.columns, 4);
    pad.buttons.held[input::kRight] = 0;
    const auto [c, r] = std::pair{st.turnTiles[0].column, st.turnTiles[0].row};
    EXPECT_EQ(st.grid.At(c, r), tile::kEmpty);
    for (int f = 0; f < 180; ++f) st.UpdatePlay(pad.arrays);
    EXPECT_EQ(st.grid.At(c, r), tile::kEmpty);
    st.UpdatePlay(pad.arrays);  // older than 180 frames
    EXPECT_EQ(st.grid.At(c, r), tile::kTurnRight);
    EXPECT_TRUE(st.turnTiles.empty());
}

}  // namespace
