// The play camera: its fit over the cats, the field's edges, the easing and
// the roll after a field turn.
#include "engine/camera.h"
#include "game/play/follow_camera.h"
#include "play_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

FollowCamera Camera(float depth = 850) {
    FollowCamera c{};
    c.fieldDepth = depth;
    return c;
}

TEST(FollowCamera, TwoCatsFourHundredPixelsApartPullTheCameraBack) {
    TestData t;
    CatActor a(0, 1, 10, 5, 850, nullptr, &t.data), b(1, 1, 10, 5, 850, nullptr, &t.data);
    a.x = 400;
    b.x = 800;
    a.y = b.y = 300;
    const CatActor* cats[4] = {&a, &b, nullptr, nullptr};
    FollowCamera cam = Camera();
    // Wide field: the depth limit 850 - 60 x 0.75 x 72 lies far behind.
    FitCameraToCats(cats, cam, 60, 20, 0.0f);
    EXPECT_NEAR(cam.target[2], (0.75 * 400 * 400 - 1024) * -0.0016, 1e-3);  // -190.36
    EXPECT_NEAR(cam.target[0], (400 + 800) * 80.0 / 32.0 * 0.5, 1e-3);
    // A small field holds the camera closer: z = max(z, D - e x 72).
    FitCameraToCats(cats, cam, 14, 20, 0.0f);
    EXPECT_NEAR(cam.target[2], 850 - 14 * 0.75 * 72, 1e-3);
    // The pull-back of the session's closing frames adds on top.
    FitCameraToCats(cats, cam, 60, 20, 400.0f);
    EXPECT_NEAR(cam.target[2], -190.3616 + 400, 1e-3);
}

TEST(FollowCamera, OneCatIsFollowedWithinTheFieldsEdges) {
    TestData t;
    CatActor cat(0, 1, 0, 0, 850, nullptr, &t.data);
    const CatActor* cats[4] = {&cat, nullptr, nullptr, nullptr};
    FollowCamera cam = Camera();
    const int columns = 40, rows = 30;
    const double xmin = 850 * 0.7, ymax = 700 - 850 * 0.525;
    struct Case {
        int x, y;
        double tx, ty;
    };
    const double width = (columns - 1) * 80.0, height = (rows - 1) * 80.0;
    const double xmax = width - xmin, ymin = (700 - height) + (700 - ymax);
    const Case cases[] = {
        {0, 0, xmin, ymax},                                         // top-left corner: both edges
        {600, 400, 600 * 2.5, 700 - 400 * 2.5},                     // free
        {40 * 32, 30 * 32, xmax, ymin},                             // bottom-right corner
    };
    for (const Case& c : cases) {
        cat.x = c.x;
        cat.y = c.y;
        FitCameraToCats(cats, cam, columns, rows, 0.0f);
        EXPECT_NEAR(cam.target[0], c.tx, 1e-2) << c.x;
        EXPECT_NEAR(cam.target[1], c.ty, 1e-2) << c.y;
        EXPECT_LE(cam.target[2], 0.0f);
    }
    // A field narrower and lower than the view is centred (15 columns: the
    // camera stands at z 40, the edges at 564.2 and 555.8 cross).
    FitCameraToCats(cats, cam, 15, 6, 0.0f);
    EXPECT_NEAR(cam.target[2], 850 - 15 * 0.75 * 72, 1e-3);
    EXPECT_NEAR(cam.target[0], 14 * 80 * 0.5, 1e-3);
    EXPECT_NEAR(cam.target[1], 700 - 5 * 80 * 0.5, 1e-3);
}

TEST(FollowCamera, EasesEightPercentAndSnapsWithinATenth) {
    FollowCamera cam = Camera();
    cam.target[0] = 100;
    UpdateCameraFollow(cam);
    EXPECT_FLOAT_EQ(cam.current[0], 8);
    cam.current[1] = 0.05f;
    UpdateCameraFollow(cam);
    EXPECT_FLOAT_EQ(cam.current[1], 0);
    EXPECT_FLOAT_EQ(cam.current[0], 8 + 92 * 0.08f);
    // The engine camera looks straight at the field from the current point.
    cam.current[0] = cam.target[0] = 400;
    cam.current[1] = cam.target[1] = 300;
    cam.current[2] = cam.target[2] = -100;
    UpdateCameraFollow(cam);
    const float onAxis[3] = {400, 300, 850};
    const Vector3 s = WorldToScreenPos(onAxis);
    EXPECT_NEAR(s.x, 320, 1e-3);
    EXPECT_NEAR(s.y, 240, 1e-3);
}

TEST(FollowCamera, RollsBackToUprightOverThirtyFramesAfterAQuarterTurn) {
    TestData t;
    Stage st = StageOnGrid(Box(12, 10), t, 1, 96, StandingY(9));
    st.RotateClockwise();
    std::vector<float> angles;
    for (int f = 0; f < 32; ++f) {
        UpdateCameraFollow(st.camera);
        angles.push_back(st.camera.rollAngle);
    }
    EXPECT_FLOAT_EQ(angles[0], 90);
    EXPECT_FLOAT_EQ(angles[15], 15.0f * 15.0f / 900.0f * 90.0f);
    EXPECT_FLOAT_EQ(angles[29], 1.0f / 900.0f * 90.0f);
    EXPECT_FLOAT_EQ(angles[30], 0);
    for (size_t k = 1; k < 30; ++k) EXPECT_LT(angles[k], angles[k - 1]);
    // At 90 degrees of roll the screen's up is the world's +x: a point to
    // the right of the centre shows above it.
    st.camera.rollAngle = 90;
    ApplyFollowCamera(st.camera);
    const float right[3] = {st.camera.current[0] + 100, st.camera.current[1], 850};
    EXPECT_LT(WorldToScreenPos(right).y, 240);
    st.RotateCounterClockwise();
    UpdateCameraFollow(st.camera);
    EXPECT_FLOAT_EQ(st.camera.rollAngle, -90);
}

}  // namespace
