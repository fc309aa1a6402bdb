// Player cats per kind, from the movement rules' own numbers.
#include "engine/camera.h"
#include "engine/random.h"
#include "game/play/follow_camera.h"
#include "play_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(CatMovement, JoystickAcceleratesToSevenAndBrakesOneStepPerFrame) {
    TestData t;
    struct Case {
        int button, sign;
    };
    for (Case c : {Case{input::kRight, 1}, Case{input::kLeft, -1}}) {
        CatActor cat(0, 1, 3, 3, 850, nullptr, &t.data);
        input::ButtonBlock b{};
        b.held[c.button] = 1;
        std::vector<int> speeds;
        for (int f = 0; f < 10; ++f) {
            cat.UpdatePlayer(&b, nullptr, nullptr, nullptr, nullptr, nullptr);
            speeds.push_back(cat.vx * c.sign);
        }
        EXPECT_EQ(speeds, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 7, 7, 7})) << c.button;
        EXPECT_EQ(cat.facing, c.sign);
        b.held[c.button] = 0;
        for (int expect = 6; expect >= 0; --expect) {
            cat.UpdatePlayer(&b, nullptr, nullptr, nullptr, nullptr, nullptr);
            EXPECT_EQ(cat.vx * c.sign, expect);
        }
    }
}

TEST(CatMovement, FallingSpeedTopsOutAtNineAndAtTwoWhileSlidingOnAWall) {
    TestData t;
    input::ButtonBlock b{};
    int32_t analog[8] = {};
    for (int kind : {1, 2, 4}) {
        CatActor cat(0, kind, 3, 3, 850, nullptr, &t.data);
        int top = 0;
        for (int f = 0; f < 40; ++f) {
            cat.UpdatePlayer(&b, nullptr, nullptr, kind == 4 ? analog : nullptr, nullptr, nullptr);
            top = std::max(top, cat.vy);
        }
        EXPECT_EQ(top, 9) << kind;
        EXPECT_EQ(cat.vy, 9) << kind;
    }
    CatActor slider(0, 1, 3, 3, 850, nullptr, &t.data);
    for (int f = 0; f < 20; ++f) {
        slider.sidePush = -1;  // the grid pass found a wall this frame
        slider.UpdatePlayer(&b, nullptr, nullptr, nullptr, nullptr, nullptr);
        EXPECT_LE(slider.vy, 2);
    }
}

// Frames from a jump press until the cat stands again, and the height.
struct JumpResult {
    int peak, airFrames;
};

JumpResult Jump(int heldFrames) {
    TestData t;
    Stage st = StageOnGrid(Box(), t, 1, 96, StandingY(9));
    Pad pad(1);
    for (int f = 0; f < 5; ++f) st.UpdatePlay(pad.arrays);  // settle: landed, then ready
    const int floorY = st.Cat(0)->y;
    JumpResult r{0, 0};
    for (int f = 1; f <= 80; ++f) {
        pad.buttons.held[input::kJump] = f <= heldFrames ? 1 : 0;
        st.UpdatePlay(pad.arrays);
        r.peak = std::max(r.peak, floorY - st.Cat(0)->y);
        if (st.Cat(0)->jumpState == -2 && r.airFrames == 0 && f > 1) r.airFrames = f;
    }
    EXPECT_EQ(st.Cat(0)->y, floorY);
    return r;
}

TEST(CatMovement, HeldJumpRisesEightPixelsForTenFramesThenCoasts) {
    // Ten frames at -8, then gravity from -7: 80 + 28 pixels; down again by
    // 1, 2, ... 9, 9, ... pixels a frame.
    const JumpResult full = Jump(30);
    EXPECT_EQ(full.peak, 108);
    EXPECT_EQ(full.airFrames, 35);
    // A tap: one frame at -8, then the jump is cut.
    const JumpResult tap = Jump(1);
    EXPECT_EQ(tap.peak, 36);
    const JumpResult half = Jump(5);
    EXPECT_EQ(half.peak, 5 * 8 + 28);
}

TEST(CatMovement, FullTriggerChargeOfAPadPushesFourteenFramesAfterTheRelease) {
    TestData t;
    Stage st = StageOnGrid(Box(), t, 4, 96, StandingY(9));
    Pad pad(4);
    for (int f = 0; f < 5; ++f) st.UpdatePlay(pad.arrays);
    CatActor& lower = *st.Cat(0);
    ASSERT_TRUE(lower.rider);
    EXPECT_TRUE(lower.rider->carried);  // the pair starts stacked
    EXPECT_EQ(lower.rider->y, lower.y - 12 + lower.rider->vy);  // put on top, then its own frame
    pad.analog[input::kLeftTrigger] = 255;
    for (int f = 0; f < 6; ++f) st.UpdatePlay(pad.arrays);
    EXPECT_EQ(lower.vy, 0);  // charging on the ground
    pad.analog[input::kLeftTrigger] = 0;
    int pushes = 0;
    for (int f = 0; f < 40; ++f) {
        st.UpdatePlay(pad.arrays);
        pushes += lower.vy == -12;
    }
    EXPECT_EQ(pushes, 1 + 255 / 18);
}

TEST(CatMovement, UpperPadCatSnapsOnlyWithinFifteenAndTwelvePixels) {
    TestData t;
    struct Case {
        int dx, dy;
        bool snaps;
    };
    for (Case c : {Case{15, 12, true}, Case{-15, -12, true}, Case{16, 0, false}, Case{0, 13, false}}) {
        CatActor lower(0, 4, 3, 3, 850, nullptr, &t.data);
        lower.rider->x = lower.x + c.dx;
        lower.rider->y = lower.y + c.dy;
        int32_t analog[8] = {};
        input::ButtonBlock b{};
        const int lx = lower.x, ly = lower.y;
        lower.UpdatePlayer(&b, nullptr, nullptr, analog, nullptr, nullptr);
        EXPECT_EQ(bool(lower.rider->carried), c.snaps) << c.dx << "," << c.dy;
        if (c.snaps) {
            // Put 12 px above the lower cat, then moved by its own update.
            EXPECT_EQ(lower.rider->x, lx + lower.rider->vx);
            EXPECT_EQ(lower.rider->y, ly - 12 + lower.rider->vy);
        }
    }
}

TEST(CatMovement, KeyboardFlapsTwoFramesPerPressAndTheSlowKeyHalvesTheSpeed) {
    TestData t;
    SoundLog sounds;
    CatActor cat(0, 6, 3, 3, 850, nullptr, &t.data);
    int32_t keys[49] = {};
    keys[7] = 1;  // any of the 25 jump keys
    cat.UpdatePlayer(nullptr, nullptr, nullptr, nullptr, nullptr, keys);
    EXPECT_EQ(cat.vy, -6);
    cat.UpdatePlayer(nullptr, nullptr, nullptr, nullptr, nullptr, keys);  // held: the second push
    EXPECT_EQ(cat.vy, -6);
    EXPECT_EQ(cat.jumpState, 0);
    cat.UpdatePlayer(nullptr, nullptr, nullptr, nullptr, nullptr, keys);  // held on: no new push
    cat.UpdatePlayer(nullptr, nullptr, nullptr, nullptr, nullptr, keys);  // gravity, every third tick
    EXPECT_EQ(cat.vy, -5);
    EXPECT_EQ(sounds.Count(kSeShoot), 1);

    struct Case {
        std::vector<int> held;
        int vx;
    };
    const Case cases[] = {{{31}, 2},        {{31, 48}, 1},     {{31, 32, 43}, 6}, {{31, 32, 33, 34}, 6},
                          {{25, 37}, -4},   {{25, 48}, -1},    {{31, 25}, 0},     {{42}, 0}};
    for (const Case& c : cases) {
        int32_t k[49] = {};
        for (int i : c.held) k[i] = 1;
        cat.UpdatePlayer(nullptr, nullptr, nullptr, nullptr, nullptr, k);
        EXPECT_EQ(cat.vx, c.vx) << c.held.front();
    }
}

TEST(CatMovement, WiiShakeCountsOnlyWithBothHoldButtonsAndAFullGauge) {
    TestData t;
    input::ButtonBlock b{};
    int32_t actions[3] = {30, 0, 0};
    CatActor cat(0, 2, 3, 3, 850, nullptr, &t.data);
    cat.UpdatePlayer(&b, actions, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(cat.vy, -18);  // discarded
    EXPECT_EQ(actions[0], 0);

    b.held[input::kAction] = b.held[input::kExtra] = 1;
    actions[0] = 30;
    cat.spin = 179;  // the gauge is not full
    cat.UpdatePlayer(&b, actions, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(cat.vy, -18);

    SoundLog sounds;
    actions[0] = 30;
    ASSERT_EQ(cat.spin, 180);
    cat.UpdatePlayer(&b, actions, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(cat.vy, -18);
    EXPECT_EQ(cat.spin, 1);  // spent 180, then refills by one
    EXPECT_EQ(actions[0], 29);
    EXPECT_EQ(sounds.Count(kSeSlash2), 1);

    // Tilt dashes need no gauge: any non-zero second or third word.
    int32_t tilt[3] = {0, 5, 0};
    cat.UpdatePlayer(&b, tilt, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(cat.vx, 18);
    EXPECT_EQ(tilt[1], 4);
}

TEST(CatMovement, NunchukRemoteBecomesItsOwnKindAndBack) {
    TestData t;
    input::ButtonBlock b{};
    int32_t actions[3] = {};
    float slope[3] = {0, 0, 1};
    CatActor cat(0, 2, 3, 3, 850, nullptr, &t.data);
    cat.x += 40;
    cat.UpdatePlayer(&b, nullptr, slope, nullptr, nullptr, nullptr);
    EXPECT_EQ(cat.kind, 3);
    EXPECT_EQ(cat.x, cat.startX);  // reset
    cat.UpdatePlayer(&b, actions, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(cat.kind, 2);
}

TEST(CatMovement, AbsentBlocksReadAsReleased) {
    TestData t;
    // All six absent: the cat only falls and moves.
    for (int kind = 1; kind <= 6; ++kind) {
        CatActor cat(0, kind, 3, 3, 850, nullptr, &t.data);
        cat.vx = 3;
        cat.UpdatePlayer(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(cat.x, cat.startX + (kind == 5 ? 2 : 3)) << kind;  // the mouse cat's friction
        EXPECT_EQ(cat.tick, 0) << kind;
    }
    // A device with only some blocks (a replay stream missing): no crash,
    // and nothing pressed.
    int32_t keys[49] = {};
    for (int kind = 1; kind <= 6; ++kind) {
        CatActor cat(0, kind, 3, 3, 850, nullptr, &t.data);
        for (int f = 0; f < 5; ++f) cat.UpdatePlayer(nullptr, nullptr, nullptr, nullptr, nullptr, keys);
        EXPECT_EQ(cat.vx, 0) << kind;
        EXPECT_GE(cat.vy, 0) << kind;
    }
}

TEST(CatMovement, MouseChargeBuildsForFiftyFramesAndFlingsTowardTheCursor) {
    TestData t;
    SoundLog sounds;
    CatActor cat(0, 5, 4, 4, 850, nullptr, &t.data);
    const Vector3 w = cat.WorldPosition();
    const float eye[3] = {w.x, w.y, 0}, at[3] = {w.x, w.y, 850}, up[3] = {0, 1, 0};
    ASSERT_EQ(SetCameraEyeTargetUp(eye, at, up), 0);
    const Vector3 s = cat.ScreenPosition();
    input::ButtonBlock b{};
    int32_t mouse[2] = {int32_t(s.x) + 200, int32_t(s.y)};  // straight to the right
    b.held[input::kJump] = 1;
    for (int f = 0; f < 70; ++f) cat.UpdatePlayer(&b, nullptr, nullptr, nullptr, mouse, nullptr);
    EXPECT_EQ(cat.chargeTime, 50);
    EXPECT_EQ(sounds.Count(kSePower0), 1);
    EXPECT_EQ(cat.jumpState, -2);
    b.held[input::kJump] = 0;
    cat.UpdatePlayer(&b, nullptr, nullptr, nullptr, mouse, nullptr);
    // A full charge counts 75: 75 x 0.25 = 18.75 along the unit vector.
    EXPECT_EQ(cat.vx, 18);
    EXPECT_EQ(cat.vy, 0);
    EXPECT_EQ(cat.chargeTime, 0);
    EXPECT_EQ(sounds.Count(kSeSlash2), 1);

    // A short charge plays the shot and flings by its own count.
    CatActor quick(0, 5, 4, 4, 850, nullptr, &t.data);
    b.held[input::kJump] = 1;
    for (int f = 0; f < 20; ++f) quick.UpdatePlayer(&b, nullptr, nullptr, nullptr, mouse, nullptr);
    b.held[input::kJump] = 0;
    quick.UpdatePlayer(&b, nullptr, nullptr, nullptr, mouse, nullptr);
    EXPECT_EQ(quick.vx, 4);  // 20 x 0.25 = 5 along a vector a hair under 1
}

TEST(CatMovement, MouseCursorOnTheCatGivesNoDirection) {
    TestData t;
    CatActor cat(0, 5, 4, 4, 850, nullptr, &t.data);
    const Vector3 w = cat.WorldPosition();
    const float eye[3] = {w.x, w.y, 850 - 1e-3f}, at[3] = {w.x, w.y, 850}, up[3] = {0, 1, 0};
    SetCameraEyeTargetUp(eye, at, up);
    // The cat's screen point and the cursor coincide in all three
    // components: the steer has no direction and must not make one up.
    const Vector3 s = cat.ScreenPosition();
    cat.SteerBySlopeAndAnalog(false, true, s, s);
    EXPECT_EQ(cat.vx, 0);
    EXPECT_EQ(cat.vy, 0);
    EXPECT_EQ(cat.steerLatch, 1);
}

TEST(CatMovement, PivotsTurnTheHeadingAndTheSteeringVectorAQuarter) {
    struct Case {
        int heading, corner, next;
        float dirX, dirY;  // the vector after starting from the heading's own
    };
    // Headings 0 ceiling (0,-1), 1 right wall (1,0), 2 floor (0,1), 3 left
    // wall (-1,0); 4..7 the same surfaces facing left.
    const Case cases[] = {
        {1, 1, 0, 0, -1}, {2, 3, 1, 1, 0},  {3, 5, 2, 0, 1},  {0, 7, 3, -1, 0}, {4, 1, 5, 1, 0},
        {5, 3, 6, 0, 1},  {6, 5, 7, -1, 0}, {7, 7, 4, 0, -1}, {2, -1, -1, -1, 0}, {6, -1, -1, 1, 0},
        {2, 1, 2, 0, 1},  {-1, -1, -1, 0, 1},
    };
    const float kDir[8][2] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}};
    for (const Case& c : cases) {
        TestData t;
        CatActor cat(0, 3, 3, 3, 850, nullptr, &t.data);
        cat.heading = c.heading;
        if (c.heading >= 0) {
            cat.dirX = kDir[c.heading][0];
            cat.dirY = kDir[c.heading][1];
        }
        cat.vx = cat.vy = 4;
        cat.RotateAboutPivot(c.corner);
        EXPECT_EQ(cat.heading, c.next) << c.heading << " " << c.corner;
        EXPECT_EQ(cat.dirX, c.dirX) << c.heading << " " << c.corner;
        EXPECT_EQ(cat.dirY, c.dirY) << c.heading << " " << c.corner;
        const bool changed = c.next != c.heading;
        EXPECT_EQ(cat.vx, changed ? 0 : 4);
    }
    TestData t;
    CatActor joystick(0, 1, 3, 3, 850, nullptr, &t.data);
    joystick.heading = 1;
    joystick.RotateAboutPivot(1);
    EXPECT_EQ(joystick.heading, 1);  // only steering kinds pivot
}

TEST(CatMovement, NunchukCatCrawlsAlongTheSurfaceOfItsSector) {
    struct Case {
        float dirX, dirY;
        int delta, vx, vy;
    };
    // Floor: delta along x; right wall: -delta along y; ceiling: -delta
    // along x; left wall: delta along y.
    const Case cases[] = {{0, 1, 1, 1, 0}, {1, 0, 1, 0, -1}, {0, -1, 1, -1, 0}, {-1, 0, 1, 0, 1}, {0, 1, -1, -1, 0}};
    for (const Case& c : cases) {
        TestData t;
        CatActor cat(0, 3, 3, 3, 850, nullptr, &t.data);
        cat.dirX = c.dirX;
        cat.dirY = c.dirY;
        cat.MoveAlongDirection(c.delta, true);
        EXPECT_EQ(cat.vx, c.vx);
        EXPECT_EQ(cat.vy, c.vy);
        EXPECT_EQ(cat.facing, c.delta);
    }
}

// Random input for every kind and every enemy on a field with blocks,
// hazards and turn tiles: whatever happens, no value becomes NaN or runs
// away, and nothing reads outside a block or the grid (under ASan).
TEST(CatMovementProperty, TenThousandFramesOfRandomInputKeepEveryValueFinite) {
    const std::vector<std::string> rows = {
        "                          ", " BBBBBBBBBBBBBBBBBBBBBBBB ", " B    1   K   r   a    B ",
        " B  zx    BB   cv   mb  B ", " B   BBB      BBB   n   B ", " B 1   l  u      1     B ",
        " B BB    BBBB    BB  G  B ", " B    n      a      BB  B ", " BBBBBBBBBBBBBBBBBBBBBBBB ",
        "                          ",
    };
    for (const std::vector<int>& kinds : {std::vector<int>{1, 2, 3, 4}, std::vector<int>{5, 6, 3, 2}}) {
        TestData t;
        Stage st = StageOnGrid(rows, t, 0, 0, 0, 0);
        for (size_t i = 0; i < kinds.size(); ++i) {
            st.cats[i] = DeepPtr<CatActor>::Make(int(i), kinds[i], 3, 3, 850.0f, nullptr, &t.data, false);
            st.playerActive[i] = 1;
            st.playerEntries[i] = int(i);
        }
        for (size_t r = 0; r < rows.size(); ++r) {
            for (size_t c = 0; c < rows[r].size(); ++c) {
                if (int kind = EnemyKindOf(rows[r][c])) st.enemies.emplace_back(-1, kind, int(c), int(r), 850.0f, nullptr, &t.data);
            }
        }
        for (CatActor& e : st.enemies) e.hits = 3;  // the strong patterns
        input::ButtonBlock buttons[4];
        int32_t actions[4][3] = {}, analog[4][8] = {}, mouse[4][2] = {}, keys[4][49] = {};
        float slope[4][3] = {};
        input::InputArrays arrays;
        for (int i = 0; i < 4; ++i) {
            arrays.buttons[i] = &buttons[i];
            arrays.actions[i] = actions[i];
            arrays.slopes[i] = slope[i];
            arrays.analogs[i] = analog[i];
            arrays.mice[i] = mouse[i];
            arrays.keyboards[i] = keys[i];
        }
        SoundLog sounds;
        SeedRandom(99);
        for (int f = 0; f < 10000; ++f) {
            for (int i = 0; i < 4; ++i) {
                for (int& w : buttons[i].held) w = GetRandomUpTo(3) == 0;
                for (int& w : actions[i]) w = GetRandomUpTo(40) == 0 ? 30 : w;
                for (float& v : slope[i]) v = float(GetRandomUpTo(4) - 2) * 0.5f;  // often all zero
                for (int& w : analog[i]) w = GetRandomUpTo(65534) - 32767;
                analog[i][2] = GetRandomUpTo(255);
                mouse[i][0] = GetRandomUpTo(700) - 30;
                mouse[i][1] = GetRandomUpTo(540) - 30;
                for (int& w : keys[i]) w = GetRandomUpTo(8) == 0;
            }
            if (f % 50 == 0) {
                for (int i = 0; i < 4; ++i) {
                    // The cursor right on the cat: a zero direction.
                    if (!st.Cat(i)) continue;
                    const Vector3 s = st.Cat(i)->ScreenPosition();
                    mouse[i][0] = int(s.x);
                    mouse[i][1] = int(s.y);
                }
            }
            st.UpdatePlay(arrays);
            UpdateCameraFollow(st.camera);
            sounds.Clear();
            auto check = [&](const CatActor& c) {
                ASSERT_TRUE(std::isfinite(c.dirX) && std::isfinite(c.dirY)) << "frame " << f;
                ASSERT_LT(std::abs(c.vx), 100) << "frame " << f;
                ASSERT_LT(std::abs(c.vy), 100) << "frame " << f;
                ASSERT_LT(std::abs(c.x), 100000) << "frame " << f;
            };
            for (int i = 0; i < 4; ++i) {
                for (const CatActor* c = st.Cat(i); c; c = c->rider.get()) check(*c);
            }
            for (const CatActor& e : st.enemies) check(e);
            for (float v : st.camera.current) ASSERT_TRUE(std::isfinite(v));
            if (st.finished) st.finished = 0;  // keep playing
        }
    }
}

}  // namespace
