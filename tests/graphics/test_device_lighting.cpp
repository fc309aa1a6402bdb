// Fixed-function lighting on the GL back end against a CPU evaluation of
// the lighting rules: directional, point and spot lights with attenuation,
// material colours from the vertex, specular highlights.
#include "graphics_test_util.h"

#include <algorithm>
#include <cmath>

namespace {

using GlLightingTest = GlDeviceTest;

struct V3 {
    float x, y, z;
};
V3 Sub(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 Add(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Norm(V3 a) {
    float l = std::sqrt(Dot(a, a));
    return {a.x / l, a.y / l, a.z / l};
}

struct NormalVertex {
    float x, y, z, nx, ny, nz;
    uint32_t diffuse;
};
constexpr uint32_t kFvf = DEVICE_FVF_XYZ | DEVICE_FVF_NORMAL | DEVICE_FVF_DIFFUSE;

// The lit colour of one vertex in view space (identity transforms).
uint32_t ReferenceLighting(const DeviceMaterial& m, const DeviceLight& l, V3 p, V3 n, float ambient[3],
                           bool specular) {
    V3 L;
    float att = 1, spot = 1;
    if (l.type == DEVICE_LIGHT_DIRECTIONAL) {
        L = Norm({-l.direction.x, -l.direction.y, -l.direction.z});
    } else {
        V3 d = Sub({l.position.x, l.position.y, l.position.z}, p);
        float dist = std::sqrt(Dot(d, d));
        L = Norm(d);
        att = 1.0f / (l.attenuation0 + l.attenuation1 * dist + l.attenuation2 * dist * dist);
        if (l.type == DEVICE_LIGHT_SPOT) {
            float rho = Dot(Norm({l.direction.x, l.direction.y, l.direction.z}), {-L.x, -L.y, -L.z});
            float ct = std::cos(l.theta / 2), cp = std::cos(l.phi / 2);
            spot = rho > ct ? 1 : rho <= cp ? 0 : std::pow((rho - cp) / (ct - cp), l.falloff);
        }
    }
    float nl = std::max(0.0f, Dot(n, L));
    float f = att * spot;
    V3 H = Norm(Add(Norm({-p.x, -p.y, -p.z}), L));
    float s = specular ? std::pow(std::max(0.0f, Dot(n, H)), m.power) * f : 0;
    float out[3];
    const float md[3] = {m.diffuse.r, m.diffuse.g, m.diffuse.b}, ma[3] = {m.ambient.r, m.ambient.g, m.ambient.b},
                ms[3] = {m.specular.r, m.specular.g, m.specular.b}, me[3] = {m.emissive.r, m.emissive.g, m.emissive.b};
    const float ld[3] = {l.diffuse.r, l.diffuse.g, l.diffuse.b}, la[3] = {l.ambient.r, l.ambient.g, l.ambient.b},
                ls[3] = {l.specular.r, l.specular.g, l.specular.b};
    for (int i = 0; i < 3; ++i) {
        float lit = me[i] + ma[i] * (ambient[i] + la[i] * f) + md[i] * ld[i] * nl * f;
        out[i] = std::clamp(lit, 0.0f, 1.0f) + std::clamp(ms[i] * ls[i] * s, 0.0f, 1.0f);
    }
    auto b = [](float v) { return int(std::floor(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f)); };
    return PackArgb(255, b(out[0]), b(out[1]), b(out[2]));
}

class LightingCase : public GlLightingTest {
protected:
    void SetUp() override {
        GlLightingTest::SetUp();
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        SendDeviceTransform(DEVICE_TS_WORLD, identity);
        SendDeviceTransform(DEVICE_TS_VIEW, identity);
        SendDeviceTransform(DEVICE_TS_PROJECTION, identity);
        SendDeviceRenderState(DEVICE_RS_CULLMODE, DEVICE_CULL_NONE);
        SendDeviceRenderState(DEVICE_RS_SHADEMODE, DEVICE_SHADE_FLAT);  // the first vertex's colour everywhere
        SendDeviceRenderState(DEVICE_RS_DIFFUSEMATERIALSOURCE, DEVICE_MCS_MATERIAL);
        SendDeviceRenderState(DEVICE_RS_AMBIENT, 0xFF202020u);
        SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
        SendDeviceStageState(0, DEVICE_TSS_COLORARG1, DEVICE_TA_DIFFUSE);
        SendDeviceFvf(kFvf);
        material_ = {{0.8f, 0.6f, 0.4f, 1}, {0.5f, 0.5f, 0.5f, 1}, {0.9f, 0.9f, 0.9f, 1}, {0.05f, 0, 0, 0}, 12.0f};
        SendDeviceMaterial(&material_);
    }
    // A small triangle whose first vertex is at p with normal n, drawn at the screen centre of p.
    uint32_t DrawAt(V3 p, V3 n) {
        ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, 0xFF000000u, 1.0f);
        NormalVertex v[3] = {{p.x, p.y, p.z, n.x, n.y, n.z, 0xFFFFFFFFu},
                             {p.x + 0.1f, p.y, p.z, n.x, n.y, n.z, 0xFFFFFFFFu},
                             {p.x, p.y - 0.1f, p.z, n.x, n.y, n.z, 0xFFFFFFFFu}};
        EXPECT_EQ(DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLELIST, 1, v, sizeof(NormalVertex)), 0);
        int sx = int((p.x + 1) * 320) + 3, sy = int((1 - p.y) * 240) + 3;
        return PixelAt(sx, sy);
    }
    void Check(const DeviceLight& light, V3 p, V3 n, bool specular) {
        SendDeviceRenderState(DEVICE_RS_SPECULARENABLE, specular ? 1 : 0);
        SendDeviceLight(0, &light);
        SendDeviceLightEnable(0, 1);
        float ambient[3] = {0x20 / 255.0f, 0x20 / 255.0f, 0x20 / 255.0f};
        uint32_t expected = ReferenceLighting(material_, light, p, Norm(n), ambient, specular);
        EXPECT_TRUE(ColorNear(DrawAt(p, Norm(n)), expected, 2))
            << "light type " << light.type << " at " << p.x << "," << p.y << "," << p.z;
    }
    DeviceMaterial material_;
};

DeviceLight MakeLight(int type) {
    DeviceLight l = {};
    l.type = type;
    l.diffuse = {1.0f, 0.9f, 0.7f, 1};
    l.specular = {0.6f, 0.6f, 0.6f, 1};
    l.ambient = {0.1f, 0.2f, 0.1f, 1};
    l.range = 1000;
    l.attenuation0 = 1;
    return l;
}

TEST_F(LightingCase, DirectionalLightAtSeveralAngles) {
    DeviceLight l = MakeLight(DEVICE_LIGHT_DIRECTIONAL);
    for (V3 dir : {V3{0, 0, 1}, V3{0.5f, -0.3f, 1}, V3{-1, 0, 0.2f}, V3{0, 0, -1}}) {
        l.direction = {dir.x, dir.y, dir.z};
        Check(l, {-0.5f, 0.5f, 0.5f}, {0, 0, -1}, false);
        Check(l, {0.2f, -0.2f, 0.5f}, {0.3f, 0.2f, -1}, true);
    }
}

TEST_F(LightingCase, PointLightWithAttenuation) {
    DeviceLight l = MakeLight(DEVICE_LIGHT_POINT);
    l.position = {0.0f, 0.0f, -0.5f};
    l.attenuation0 = 0.5f;
    l.attenuation1 = 0.4f;
    l.attenuation2 = 0.3f;
    Check(l, {-0.5f, 0.5f, 0.5f}, {0, 0, -1}, false);
    Check(l, {0.4f, -0.3f, 0.7f}, {0, 0, -1}, true);
    l.range = 0.5f;  // beyond the range the light adds nothing
    SendDeviceLight(0, &l);
    SendDeviceLightEnable(0, 1);
    SendDeviceRenderState(DEVICE_RS_SPECULARENABLE, 0);
    // emissive + material ambient x global ambient only
    int r = int(std::floor((0.05f + 0.5f * 0x20 / 255.0f) * 255 + 0.5f)), g = int(std::floor(0.5f * 0x20 + 0.5f));
    EXPECT_TRUE(ColorNear(DrawAt({-0.5f, 0.5f, 0.5f}, {0, 0, -1}), PackArgb(255, r, g, g), 2));
}

TEST_F(LightingCase, SpotLightInsideThePenumbraAndOutsideTheCone) {
    DeviceLight l = MakeLight(DEVICE_LIGHT_SPOT);
    l.position = {0.0f, 0.0f, -1.0f};
    l.direction = {0.0f, 0.0f, 1.0f};
    l.theta = 0.4f;
    l.phi = 1.2f;
    l.falloff = 1.0f;
    l.attenuation1 = 0.2f;
    Check(l, {0.0f, 0.0f, 0.5f}, {0, 0, -1}, true);      // in the inner cone
    Check(l, {0.5f, 0.0f, 0.5f}, {0, 0, -1}, false);     // in the penumbra
    Check(l, {0.9f, 0.9f, 0.0f}, {0, 0, -1}, false);     // outside the cone
}

TEST_F(LightingCase, DiffuseFromTheVertexColourWhenAsked) {
    SendDeviceRenderState(DEVICE_RS_DIFFUSEMATERIALSOURCE, DEVICE_MCS_COLOR1);
    DeviceLight l = MakeLight(DEVICE_LIGHT_DIRECTIONAL);
    l.direction = {0, 0, 1};
    l.ambient = {0, 0, 0, 1};
    SendDeviceLight(0, &l);
    SendDeviceLightEnable(0, 1);
    SendDeviceRenderState(DEVICE_RS_AMBIENT, 0);
    material_.emissive = {0, 0, 0, 0};
    SendDeviceMaterial(&material_);
    ClearDevice(DEVICE_CLEAR_TARGET, 0xFF000000u, 1.0f);
    NormalVertex v[3] = {{-0.5f, 0.5f, 0.5f, 0, 0, -1, 0xFF00FF80u},
                         {-0.4f, 0.5f, 0.5f, 0, 0, -1, 0xFF00FF80u},
                         {-0.5f, 0.4f, 0.5f, 0, 0, -1, 0xFF00FF80u}};
    DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLELIST, 1, v, sizeof(NormalVertex));
    EXPECT_TRUE(ColorNear(PixelAt(163, 123), PackArgb(255, 0, int(0.9f * 255 + 0.5f), int(0.7f * 128 + 0.5f)), 2));
}

}  // namespace
