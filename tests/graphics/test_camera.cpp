// The camera and lights: the look-at view and screen projection against an
// independent computation, billboards facing the camera and lit by the
// default light, and the light records kept for the software toon lighting.
#include "draw_test_util.h"
#include "graphics/camera/camera_internal.h"

#include <cmath>

using namespace morpotta;

namespace {

struct Expected {
    double x, y, z;
};

// The projection worked out in double from the camera axes, not from matrices.
Expected Project(const double eye[3], const double target[3], const double up[3], const double p[3]) {
    double z[3], y[3], x[3];
    double len = 0;
    for (int i = 0; i < 3; ++i) z[i] = target[i] - eye[i], len += z[i] * z[i];
    for (double& v : z) v /= std::sqrt(len);
    const double along = up[0] * z[0] + up[1] * z[1] + up[2] * z[2];
    len = 0;
    for (int i = 0; i < 3; ++i) y[i] = up[i] - along * z[i], len += y[i] * y[i];
    for (double& v : y) v /= std::sqrt(len);
    x[0] = y[1] * z[2] - y[2] * z[1], x[1] = y[2] * z[0] - y[0] * z[2], x[2] = y[0] * z[1] - y[1] * z[0];
    double d[3] = {p[0] - eye[0], p[1] - eye[1], p[2] - eye[2]};
    const double cx = d[0] * x[0] + d[1] * x[1] + d[2] * x[2];
    const double cy = d[0] * y[0] + d[1] * y[1] + d[2] * y[2];
    const double cz = d[0] * z[0] + d[1] * z[1] + d[2] * z[2];
    const double ys = 1 / std::tan(3.14159265358979 / 6), xs = ys * 480 / 640;
    const double zn = 10, zf = 10000;
    return {320 + 320 * cx * xs / cz, 240 - 240 * cy * ys / cz, (cz - zn) * zf / (zf - zn) / cz};
}

TEST_F(Draw2DTest, WorldToScreenPosAgreesWithAnIndependentProjection) {
    const double cameras[][3][3] = {
        {{0, 0, -100}, {0, 0, 0}, {0, 1, 0}},
        {{30, 40, -50}, {10, 0, 20}, {0, 1, 0}},
        {{-70, 120, 35}, {5, -10, 0}, {0.3, 1, -0.2}},  // up not square to the view: turned square
    };
    const double points[][3] = {{0, 0, 0}, {12, -7, 30}, {-20, 15, 5}, {3, 3, -8}};
    for (const auto& c : cameras) {
        const float eye[3] = {float(c[0][0]), float(c[0][1]), float(c[0][2])};
        const float target[3] = {float(c[1][0]), float(c[1][1]), float(c[1][2])};
        const float up[3] = {float(c[2][0]), float(c[2][1]), float(c[2][2])};
        ASSERT_EQ(SetCameraEyeTargetUp(eye, target, up), 0);
        for (const auto& p : points) {
            const float fp[3] = {float(p[0]), float(p[1]), float(p[2])};
            const Vector3 s = WorldToScreenPos(fp);
            const Expected e = Project(c[0], c[1], c[2], p);
            EXPECT_NEAR(s.x, e.x, 0.01);
            EXPECT_NEAR(s.y, e.y, 0.01);
            EXPECT_NEAR(s.z, e.z, 1e-4);
        }
    }
    // The target lands in the middle of the screen.
    const float eye[3] = {30, 40, -50}, target[3] = {10, 0, 20}, up[3] = {0, 1, 0};
    SetCameraEyeTargetUp(eye, target, up);
    const Vector3 middle = WorldToScreenPos(target);
    EXPECT_NEAR(middle.x, 320, 1e-3);
    EXPECT_NEAR(middle.y, 240, 1e-3);
}

TEST_F(Draw2DTest, ViewMatricesAreKeptAndDegenerateCamerasRefused) {
    float view[16];
    const float eye[3] = {0, 0, -10}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0}, tilted[3] = {0, 1, 5};
    ASSERT_EQ(SetCameraEyeTargetUp(eye, target, up), 0);
    CopyViewMatrix(view);
    const float expected[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 10, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(view[i], expected[i], 1e-6) << i;
    ASSERT_EQ(SetCameraEyeTargetUp(eye, target, tilted), 0);  // the same camera once up is squared
    CopyViewMatrix(view);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(view[i], expected[i], 1e-6) << i;
    EXPECT_EQ(SetCameraEyeTargetUp(eye, eye, up), -1);
    const float along[3] = {0, 0, 3};
    EXPECT_EQ(SetCameraEyeTargetUp(eye, target, along), -1);
    const float user[16] = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 2, 3, 1};
    ASSERT_EQ(ApplyUserViewMatrix(user), 0);
    CopyViewMatrix(view);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(view[i], user[i]);
    EXPECT_EQ(SetCameraPerspective(0, 1, 10), -1);
    EXPECT_EQ(SetCameraPerspective(1, 10, 5), -1);
}

class BillboardTest : public Draw2DTest {
protected:
    void SetUp() override {
        Draw2DTest::SetUp();
        const float eye[3] = {60, 40, -80}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0};
        SetCameraEyeTargetUp(eye, target, up);
        graph = MakeSolidGraph(8, 8, 0xFFFFFFFFu);
    }
    // Lit pixels along the row and the column through a screen point.
    static void Extent(int cx, int cy, int* across, int* down) {
        FlushPendingDraws();
        std::vector<uint32_t> row(640), column(480);
        ReadDevicePixels(0, cy, 640, 1, row.data());
        ReadDevicePixels(cx, 0, 1, 480, column.data());
        *across = *down = 0;
        for (uint32_t c : row) *across += (c & 0xFFFFFF) ? 1 : 0;
        for (uint32_t c : column) *down += (c & 0xFFFFFF) ? 1 : 0;
    }
    int graph = -1;
};

TEST_F(BillboardTest, BillboardsFaceTheCameraWhereverItStands) {
    SetLightingEnabled(0);
    const float origin[3] = {0, 0, 0};
    ASSERT_EQ(DrawGraphBillboard3D(origin, 0.5f, 0.5f, 20, 0, graph, 0, 0), 0);
    const Vector3 c = WorldToScreenPos(origin);
    int across = 0, down = 0;
    Extent(int(c.x), int(c.y), &across, &down);
    EXPECT_GT(across, 60);
    EXPECT_NEAR(across, down, 3);  // a square seen face on, not foreshortened
    // Its size is what the projection gives a square of 20 at that distance.
    const float d = std::sqrt(60.f * 60 + 40 * 40 + 80 * 80);
    const float expected = 20 / d * 240 / std::tan(3.14159265f / 6);
    EXPECT_NEAR(across, expected, 3);
    // The centre fractions pick the point that sits on the position.
    ClearDrawScreenToBackColor(nullptr);
    DrawGraphBillboard3D(origin, 0, 0, 20, 0, graph, 0, 0);  // top-left corner on the position
    EXPECT_TRUE(ColorNear(Px(int(c.x) + 5, int(c.y) + 5), 0xFFFFFFFFu, 0));
    EXPECT_TRUE(ColorNear(Px(int(c.x) - 5, int(c.y) - 5), 0xFF000000u, 0));
    EXPECT_EQ(DrawGraphBillboard3D(origin, 0.5f, 0.5f, 20, 0, 0x4321, 0, 0), -1);
    EXPECT_EQ(DrawGraphBillboard3D(origin, 0.5f, 0.5f, NAN, 0, graph, 0, 0), -1);
}

TEST_F(BillboardTest, DepthSwitchesDecideWhichBillboardShows) {
    SetLightingEnabled(0);
    const int red = MakeSolidGraph(8, 8, 0xFFFF0000u);
    const float near[3] = {0, 0, 0}, far[3] = {-12, -8, 16};  // further along the view, overlapping
    const Vector3 c = WorldToScreenPos(near);
    SetDepthTestEnabled(1);
    SetDepthWriteEnabled(1);
    DrawGraphBillboard3D(near, 0.5f, 0.5f, 20, 0, graph, 0, 0);
    DrawGraphBillboard3D(far, 0.5f, 0.5f, 20, 0, red, 0, 0);
    EXPECT_TRUE(ColorNear(Px(int(c.x), int(c.y)), 0xFFFFFFFFu, 0));  // the far one is hidden
    SetDepthTestEnabled(0);
    DrawGraphBillboard3D(far, 0.5f, 0.5f, 20, 0, red, 0, 0);
    EXPECT_TRUE(ColorNear(Px(int(c.x), int(c.y)), 0xFFFF0000u, 0));  // drawn over without the test
    SetDepthWriteEnabled(0);
}

TEST_F(BillboardTest, BillboardsAreLitByTheDefaultLight) {
    const float origin[3] = {0, 0, 0};
    const Vector3 c = WorldToScreenPos(origin);
    // Light running from the camera to the billboard: full diffuse.
    ASSERT_EQ(SetDefaultLightDirection(-60, -40, 80), 0);
    SetLightingEnabled(1);
    DrawGraphBillboard3D(origin, 0.5f, 0.5f, 20, 0, graph, 0, 0);
    EXPECT_TRUE(ColorNear(Px(int(c.x), int(c.y)), 0xFFFFFFFFu, 2));
    // Light from behind: the light's ambient alone (0.33).
    ClearDrawScreenToBackColor(nullptr);
    SetDefaultLightDirection(60, 40, -80);
    DrawGraphBillboard3D(origin, 0.5f, 0.5f, 20, 0, graph, 0, 0);
    EXPECT_TRUE(ColorNear(Px(int(c.x), int(c.y)), PackArgb(255, 84, 84, 84), 3));
    // The global ambient adds to it.
    SetAmbientLightFloat(0.25f, 0.25f, 0.25f, 0);
    DrawGraphBillboard3D(origin, 0.5f, 0.5f, 20, 0, graph, 0, 0);
    EXPECT_TRUE(ColorNear(Px(int(c.x), int(c.y)), PackArgb(255, 148, 148, 148), 3));
    // Lighting off: the picture as it is.
    SetLightingEnabled(0);
    DrawGraphBillboard3D(origin, 0.5f, 0.5f, 20, 0, graph, 0, 0);
    EXPECT_TRUE(ColorNear(Px(int(c.x), int(c.y)), 0xFFFFFFFFu, 0));
}

TEST_F(Draw2DTest, CommittedLightsAreKeptForTheSoftwareToonLighting) {
    ASSERT_EQ(SetDefaultLightDirection(0.2f, -0.7f, 1.0f), 0);
    float d[3];
    GetDefaultLightDirection(d);
    const float n = std::sqrt(0.04f + 0.49f + 1.0f);
    EXPECT_NEAR(d[0], 0.2f / n, 1e-6);
    EXPECT_NEAR(d[1], -0.7f / n, 1e-6);
    EXPECT_NEAR(d[2], 1.0f / n, 1e-6);
    EXPECT_EQ(SetDefaultLightDirection(0, 0, 0), -1);
    SetAmbientLightFloat(0.5f, 0.25f, 0.125f, 1);
    const float material[17] = {0.5f, 0.5f, 0.5f, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    SetDeviceMaterial(material);
    ASSERT_EQ(CommitLightsToDevice(), 0);
    const DeviceStateCache* cache = GetDeviceStateCache();
    ASSERT_EQ(cache->enabledLightCount, 1);
    const DeviceLightProducts& p = cache->lightProducts[0];
    EXPECT_EQ(p.light.type, DEVICE_LIGHT_DIRECTIONAL);
    EXPECT_NEAR(p.light.direction.y, -0.7f / n, 1e-6);
    EXPECT_NEAR(p.diffuse.r, 0.5f, 1e-6);  // light 1 x material 0.5
    EXPECT_NEAR(cache->ambientLight.g, 0.25f, 1e-6);
    EXPECT_NEAR(cache->globalAmbient.r, 0.5f, 1e-6);
    EXPECT_EQ(cache->renderStates[DEVICE_RS_LIGHTING], 1u);
    SetLightingEnabled(0);
    CommitLightsToDevice();
    EXPECT_EQ(cache->renderStates[DEVICE_RS_LIGHTING], 0u);
}

}  // namespace
