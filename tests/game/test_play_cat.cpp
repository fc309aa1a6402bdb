// The cat record: start positions, riders, gems, knock-outs, contacts
// between cats and the enemies' start cells.
#include "play_fixture.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(CatActor, PlayersStartSideBySideAndComeBackOneCellFurther) {
    TestData t;
    for (int slot = 0; slot < 4; ++slot) {
        CatActor cat(slot, 1, 5, 7, 850, nullptr, &t.data);
        EXPECT_EQ(cat.x, (5 + slot) * 32);
        EXPECT_EQ(cat.y, 7 * 32);
        cat.KnockOut();
        for (int f = 0; f < 60; ++f) cat.UpdatePlayer(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(cat.knockedOut, 0);
        EXPECT_EQ(cat.x, (5 + 2 * slot) * 32) << slot;
    }
}

TEST(CatActor, PadCatCarriesItsRiderAndCopiesCopyTheRider) {
    TestData t;
    CatActor lower(1, 4, 2, 3, 850, nullptr, &t.data);
    ASSERT_TRUE(lower.rider);
    EXPECT_TRUE(lower.rider->isUpper);
    EXPECT_FALSE(lower.rider->rider);
    EXPECT_EQ(lower.rider->x, lower.x);
    EXPECT_FALSE(CatActor(0, 1, 2, 3, 850, nullptr, &t.data).rider);

    CatActor copy = lower;
    copy.rider->gems = 5;
    EXPECT_EQ(lower.rider->gems, 0);
    EXPECT_NE(copy.rider.get(), lower.rider.get());
}

TEST(CatActor, GemsGoToTheTopOfThePairAndFlashTheWholePair) {
    TestData t;
    CatActor lone(0, 1, 2, 3, 850, nullptr, &t.data);
    lone.MarkStack(2);
    EXPECT_EQ(lone.StackCount(), 2);
    EXPECT_EQ(lone.flashTime, 1);

    CatActor pair(0, 4, 2, 3, 850, nullptr, &t.data);
    pair.gems = 1;
    pair.MarkStack(3);
    EXPECT_EQ(pair.gems, 1);
    EXPECT_EQ(pair.rider->gems, 3);
    EXPECT_EQ(pair.StackCount(), 4);
    EXPECT_EQ(pair.flashTime, 1);
    EXPECT_EQ(pair.rider->flashTime, 1);
}

TEST(CatActor, KnockOutPlaysItsSoundOnce) {
    TestData t;
    SoundLog sounds;
    CatActor player(0, 3, 2, 3, 850, nullptr, &t.data);
    player.dirX = 1;
    player.heading = 2;
    player.KnockOut();
    player.KnockOut();
    EXPECT_EQ(sounds.Count(kSeDeath0), 1);
    EXPECT_EQ(player.knockedOut, 1);
    EXPECT_EQ(player.heading, -1);
    EXPECT_EQ(player.dirX, 0);
    EXPECT_EQ(player.dirY, 1);
    CatActor enemy(-1, 9, 2, 3, 850, nullptr, &t.data);
    enemy.KnockOut();
    EXPECT_EQ(sounds.Count(kSeDeath1), 1);
}

TEST(CatActor, EnemiesAreBeatenByTouchingAndBeatWhileAttacking) {
    TestData t;
    CatActor player(0, 1, 4, 4, 850, nullptr, &t.data);
    CatActor* none[4] = {nullptr, &player, nullptr, nullptr};
    CatActor enemy(-1, 8, 4, 4, 850, nullptr, &t.data);
    EXPECT_FALSE(enemy.CheckCatContact(none, true));  // the list ends at the first empty slot

    CatActor* slots[4] = {&player, nullptr, nullptr, nullptr};
    // Body box x+5..x+26 against the core box x+13..x+18, bounds inclusive.
    for (int dx : {-14, 14}) {
        enemy.x = player.x + dx;
        EXPECT_FALSE(enemy.CheckCatContact(slots, true)) << dx;
    }
    for (int dx : {-13, 13}) {
        CatActor e = enemy;
        e.x = player.x + dx;
        EXPECT_TRUE(e.CheckCatContact(slots, true)) << dx;
        EXPECT_EQ(e.hits, 1);
        EXPECT_EQ(e.knockedOut, 1);
    }
    // In the easy game the strength stays at most 1.
    CatActor strong = enemy;
    strong.x = player.x;
    strong.hits = 3;
    EXPECT_TRUE(strong.CheckCatContact(slots, false));
    EXPECT_EQ(strong.hits, 1);
    // An attacking enemy knocks the player out instead.
    CatActor attacker = enemy;
    attacker.x = player.x;
    attacker.attacking = 1;
    EXPECT_FALSE(attacker.CheckCatContact(slots, true));
    EXPECT_EQ(player.knockedOut, 1);
    EXPECT_EQ(attacker.knockedOut, 0);
    // A knocked-out player is not touched.
    CatActor late = enemy;
    late.x = player.x;
    EXPECT_FALSE(late.CheckCatContact(slots, true));

    // The rider of a pair counts too.
    CatActor pair(0, 4, 4, 4, 850, nullptr, &t.data);
    pair.x += 200;
    CatActor* pairSlots[4] = {&pair, nullptr, nullptr, nullptr};
    CatActor e2 = enemy;
    e2.x = pair.rider->x;
    e2.y = pair.rider->y;
    pair.rider->x = e2.x;
    EXPECT_TRUE(e2.CheckCatContact(pairSlots, true));
}

TEST(CatActor, EnemyStartCellIsAnEmptyCellAboveABlockChosenByItsTick) {
    TestData t;
    const TileGrid grid = GridFromRows({
        "      ",
        "  1   ",
        " B  B ",
        "      ",
    });
    // Inner cells walk column by column: (1,1) (1,2) (2,1) (2,2) (3,1)
    // (3,2) (4,1) (4,2). Above a block: (1,1) index 0 and (4,1) index 6.
    // The counter loses 5 per visit and must be below 1 at the taken cell;
    // the walk starts over as often as it takes.
    struct Case {
        int tick, column;
    };
    for (Case c : {Case{0, 1}, Case{5, 1}, Case{6, 4}, Case{31, 4}, Case{36, 1}, Case{40, 1}, Case{INT_MAX, 4}}) {
        CatActor enemy(-1, 8, 3, 3, 850, nullptr, &t.data);
        enemy.tick = c.tick;
        enemy.ChooseStartCell(grid);
        EXPECT_EQ(enemy.startX, c.column * 32) << c.tick;
        EXPECT_EQ(enemy.startY, 32) << c.tick;
    }
    // No cell qualifies: the start cell stays.
    CatActor stuck(-1, 8, 3, 3, 850, nullptr, &t.data);
    stuck.tick = 1000;
    stuck.ChooseStartCell(GridFromRows({"    ", "    ", "    "}));
    stuck.ChooseStartCell(TileGrid{});
    EXPECT_EQ(stuck.startX, 96);
    EXPECT_EQ(stuck.startY, 96);
}

TEST(CatActor, WorldPositionFollowsThePixelsNotTheCell) {
    TestData t;
    CatActor cat(0, 1, 2, 3, 850, nullptr, &t.data);
    cat.x = 16;
    cat.y = 48;
    const Vector3 w = cat.WorldPosition();
    EXPECT_FLOAT_EQ(w.x, 40.0f);
    EXPECT_FLOAT_EQ(w.y, 700.0f - 120.0f);
    EXPECT_FLOAT_EQ(w.z, 850.0f);
}

}  // namespace
