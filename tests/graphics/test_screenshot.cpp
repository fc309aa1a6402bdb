// A lit, textured scene on the GL back end, saved as a PNG and checked at
// points whose colours follow from the lighting rules.
#include "graphics_test_util.h"

#include <cmath>
#include <vector>

namespace {

struct SceneVertex {
    float x, y, z, nx, ny, nz, u, v;
};
constexpr uint32_t kSceneFvf = DEVICE_FVF_XYZ | DEVICE_FVF_NORMAL | DeviceFvfTexCount(1);

void Perspective(float fovY, float aspect, float zn, float zf, float m[16]) {
    float ys = 1.0f / std::tan(fovY / 2), xs = ys / aspect;
    const float p[16] = {xs, 0, 0, 0, 0, ys, 0, 0, 0, 0, zf / (zf - zn), 1, 0, 0, -zn * zf / (zf - zn), 0};
    for (int i = 0; i < 16; ++i) m[i] = p[i];
}

DeviceTexture* Checker(int cells, uint32_t a, uint32_t b) {
    DeviceTexture* t = CreateDeviceTexture(cells, cells, 1, 0, DEVICE_FMT_X8R8G8B8, 0);
    void* bits = nullptr;
    int pitch = 0;
    LockDeviceTexture(t, 0, &bits, &pitch);
    for (int y = 0; y < cells; ++y)
        for (int x = 0; x < cells; ++x) static_cast<uint32_t*>(bits)[y * pitch / 4 + x] = ((x + y) & 1) ? b : a;
    UnlockDeviceTexture(t, 0);
    return t;
}

// A unit cube's faces turned by angle about y and x, moved to (cx, cy, cz).
std::vector<SceneVertex> Cube(float cx, float cy, float cz, float ay, float ax) {
    std::vector<SceneVertex> out;
    const float faces[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    auto turn = [&](float v[3]) {
        float x = v[0] * std::cos(ay) + v[2] * std::sin(ay), z = -v[0] * std::sin(ay) + v[2] * std::cos(ay);
        float y = v[1] * std::cos(ax) - z * std::sin(ax);
        z = v[1] * std::sin(ax) + z * std::cos(ax);
        v[0] = x, v[1] = y, v[2] = z;
    };
    for (auto& f : faces) {
        // Two axes across the face, chosen so the corners run clockwise seen from outside.
        float n[3] = {f[0], f[1], f[2]};
        float a[3], b[3];
        if (n[2] != 0) a[0] = -n[2], a[1] = 0, a[2] = 0, b[0] = 0, b[1] = 1, b[2] = 0;
        else if (n[0] != 0) a[0] = 0, a[1] = 0, a[2] = n[0], b[0] = 0, b[1] = 1, b[2] = 0;
        else a[0] = 1, a[1] = 0, a[2] = 0, b[0] = 0, b[1] = 0, b[2] = n[1];
        const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
        SceneVertex quad[4];
        for (int i = 0; i < 4; ++i) {
            float p[3], nn[3] = {n[0], n[1], n[2]};
            for (int k = 0; k < 3; ++k) p[k] = 0.5f * (n[k] + corners[i][0] * a[k] + corners[i][1] * b[k]);
            turn(p);
            turn(nn);
            quad[i] = {p[0] + cx, p[1] + cy, p[2] + cz, nn[0], nn[1], nn[2], (corners[i][0] + 1) / 2, (1 - corners[i][1]) / 2};
        }
        for (int i : {0, 1, 2, 2, 1, 3}) out.push_back(quad[i]);
    }
    return out;
}

using GlSceneTest = GlDeviceTest;

TEST_F(GlSceneTest, LitTexturedSceneMatchesItsExpectedPixels) {
    ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, 0xFF182028u, 1.0f);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float projection[16];
    Perspective(3.14159265f / 3, 4.0f / 3.0f, 1.0f, 100.0f, projection);
    SendDeviceTransform(DEVICE_TS_WORLD, identity);
    SendDeviceTransform(DEVICE_TS_VIEW, identity);
    SendDeviceTransform(DEVICE_TS_PROJECTION, projection);
    SendDeviceRenderState(DEVICE_RS_AMBIENT, 0xFF202020u);
    SendDeviceRenderState(DEVICE_RS_DIFFUSEMATERIALSOURCE, DEVICE_MCS_MATERIAL);
    SendDeviceRenderState(DEVICE_RS_NORMALIZENORMALS, 1);
    DeviceMaterial material = {{0.8f, 0.8f, 0.8f, 1}, {1, 1, 1, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, 1};
    SendDeviceMaterial(&material);
    DeviceLight sun = {};
    sun.type = DEVICE_LIGHT_DIRECTIONAL;
    sun.diffuse = {1, 1, 1, 1};
    sun.direction = {0, 0, 1};
    SendDeviceLight(0, &sun);
    SendDeviceLightEnable(0, 1);
    DeviceTexture* checker = Checker(4, 0xFFFFFFFFu, 0xFFE02020u);
    SendDeviceTexture(0, checker);
    SendDeviceSamplerState(0, DEVICE_SAMP_ADDRESSU, DEVICE_ADDRESS_CLAMP);
    SendDeviceSamplerState(0, DEVICE_SAMP_ADDRESSV, DEVICE_ADDRESS_CLAMP);
    SendDeviceStageState(0, DEVICE_TSS_COLORARG2, DEVICE_TA_DIFFUSE);
    SendDeviceFvf(kSceneFvf);

    // A wall facing the camera at z = 5.
    SceneVertex wall[4] = {{-2, 2, 5, 0, 0, -1, 0, 0}, {2, 2, 5, 0, 0, -1, 1, 0},
                           {-2, -2, 5, 0, 0, -1, 0, 1}, {2, -2, 5, 0, 0, -1, 1, 1}};
    ASSERT_EQ(DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLESTRIP, 2, wall, sizeof(SceneVertex)), 0);

    // Two turned cubes in front, lit by a warm point light and a spot as well.
    DeviceLight lamp = {};
    lamp.type = DEVICE_LIGHT_POINT;
    lamp.diffuse = {1.0f, 0.7f, 0.3f, 1};
    lamp.position = {2.5f, 2.0f, 1.5f};
    lamp.range = 50;
    lamp.attenuation0 = 0.3f;
    lamp.attenuation1 = 0.2f;
    SendDeviceLight(1, &lamp);
    SendDeviceLightEnable(1, 1);
    DeviceLight spot = {};
    spot.type = DEVICE_LIGHT_SPOT;
    spot.diffuse = {0.3f, 0.5f, 1.0f, 1};
    spot.position = {-3, 0, 0};
    spot.direction = {1, 0, 1};
    spot.range = 50;
    spot.attenuation0 = 1;
    spot.theta = 0.3f;
    spot.phi = 0.9f;
    spot.falloff = 1;
    SendDeviceLight(2, &spot);
    SendDeviceLightEnable(2, 1);
    sun.direction = {0.4f, -0.6f, 1};
    SendDeviceLight(0, &sun);
    DeviceTexture* fine = Checker(8, 0xFFF0F0F0u, 0xFF3050C0u);
    SendDeviceTexture(0, fine);
    for (auto cube : {Cube(-1.3f, -0.9f, 3.2f, 0.6f, 0.5f), Cube(1.4f, -0.7f, 3.6f, -0.4f, 0.3f)})
        ASSERT_EQ(DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLELIST, int(cube.size() / 3), cube.data(), sizeof(SceneVertex)), 0);

    std::vector<uint32_t> frame(size_t(kDeviceTargetWidth) * kDeviceTargetHeight);
    ASSERT_EQ(ReadDevicePixels(0, 0, kDeviceTargetWidth, kDeviceTargetHeight, frame.data()), 0);
    ASSERT_EQ(WritePngFile("graphics_lit_scene.png", frame.data(), kDeviceTargetWidth, kDeviceTargetHeight, false), 0);

    // Wall cells above the cubes: lit = 0.8 diffuse + ambient 32/255, the
    // sun straight on; cell (0, 0) white, cell (1, 0) red.
    auto at = [&](float x, float y) {
        float ys = 1.0f / std::tan(3.14159265f / 6), xs = ys * 0.75f;
        int sx = int((x * xs / 5 + 1) * 320), sy = int((1 - y * ys / 5) * 240);
        return frame[size_t(sy) * kDeviceTargetWidth + size_t(sx)];
    };
    int lit = int(std::floor((0.8f + 32 / 255.0f) * 255 + 0.5f));
    EXPECT_TRUE(ColorNear(at(-1.5f, 1.5f), PackArgb(255, lit, lit, lit), 3));
    EXPECT_TRUE(ColorNear(at(-0.5f, 1.5f), PackArgb(255, lit * 0xE0 / 255, lit * 0x20 / 255, lit * 0x20 / 255), 3));
    EXPECT_TRUE(ColorNear(at(1.5f, 0.5f), PackArgb(255, lit, lit, lit), 3));
    // The background stays the clear colour; the cubes cover the wall below.
    EXPECT_TRUE(ColorNear(frame[10 * kDeviceTargetWidth + 10], 0xFF182028u, 0));
    EXPECT_FALSE(ColorNear(at(-1.3f * 5 / 3.2f, -0.9f * 5 / 3.2f), PackArgb(255, lit, lit, lit), 3));
    ReleaseDeviceTexture(checker);
    ReleaseDeviceTexture(fine);
}

}  // namespace
