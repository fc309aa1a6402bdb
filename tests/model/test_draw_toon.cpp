// Software toon lighting against a plain reference for directional, point
// and spot lights, and the clamps that keep odd inputs finite.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model/draw/model_toon_lighting.h"

using namespace morpotta;

namespace {

DeviceLightProducts Light(int type, float px, float py, float pz, float dx, float dy, float dz) {
    DeviceLightProducts p = {};
    p.light.type = type;
    p.light.position = {px, py, pz};
    p.light.direction = {dx, dy, dz};
    p.light.theta = 0.5f;
    p.light.phi = 1.2f;
    p.diffuse = {0.8f, 0.6f, 0.4f, 1};
    p.specular = {0.3f, 0.3f, 0.3f, 1};
    p.ambient = {0.1f, 0.05f, 0.0f, 1};
    p.attenuation0 = 1.0f;
    p.attenuation1 = 0.01f;
    p.attenuation2 = 0.001f;
    return p;
}

struct Sums {
    double S[3] = {}, T[3] = {}, Sp[3] = {}, D[3] = {}, A[3] = {}, NL = 0;
};

double Dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
void Unit(double v[3]) {
    double l = std::sqrt(Dot(v, v));
    for (int i = 0; i < 3; ++i) v[i] /= l;
}

// The lighting written out once more, light by light, in doubles.
Sums ReferenceSums(const ToonLighting& L, const float pos[3], const float nrm[3]) {
    Sums s;
    double n[3] = {nrm[0], nrm[1], nrm[2]};
    double V[3] = {L.eye[0] - pos[0], L.eye[1] - pos[1], L.eye[2] - pos[2]};
    Unit(V);
    for (int i = 0; i < L.lightCount; ++i) {
        const DeviceLightProducts& p = L.lights[i];
        double dir[3] = {p.light.direction.x, p.light.direction.y, p.light.direction.z};
        Unit(dir);
        double l[3], att = 1, spot = 1;
        if (p.light.type == DEVICE_LIGHT_DIRECTIONAL) {
            for (int c = 0; c < 3; ++c) l[c] = -dir[c];
        } else {
            double lp[3] = {p.light.position.x, p.light.position.y, p.light.position.z};
            for (int c = 0; c < 3; ++c) l[c] = lp[c] - pos[c];
            double d = std::sqrt(Dot(l, l));
            Unit(l);
            att = 1.0 / (p.attenuation0 + p.attenuation1 * d + p.attenuation2 * d * d);
            if (p.light.type == DEVICE_LIGHT_SPOT) {
                double rho = -Dot(dir, l), cp = std::cos(p.light.phi / 2), ct = std::cos(p.light.theta / 2);
                spot = rho < cp ? 0 : rho > ct ? 1 : (rho - cp) / (ct - cp);
            }
        }
        double f = std::max(0.0, Dot(n, l));
        const float kd[3] = {p.diffuse.r, p.diffuse.g, p.diffuse.b}, ka[3] = {p.ambient.r, p.ambient.g, p.ambient.b},
                    ks[3] = {p.specular.r, p.specular.g, p.specular.b};
        double h[3] = {V[0] + l[0], V[1] + l[1], V[2] + l[2]};
        Unit(h);
        double sp = std::pow(std::max(0.0, Dot(n, h)), double(L.power));
        for (int c = 0; c < 3; ++c) {
            s.S[c] += att * spot * f * kd[c];
            s.T[c] += att * spot * (f * kd[c] + ka[c]);
            s.Sp[c] += att * spot * sp * ks[c];
            if (p.light.type == DEVICE_LIGHT_DIRECTIONAL) {
                s.D[c] += kd[c];
                s.A[c] += ka[c];
            } else {
                s.D[c] += att * spot * (f * kd[c] + ka[c]);
            }
        }
        if (p.light.type == DEVICE_LIGHT_DIRECTIONAL) s.NL += f;
    }
    const float g[3] = {L.globalAmbient.r, L.globalAmbient.g, L.globalAmbient.b};
    for (int c = 0; c < 3; ++c) s.T[c] += g[c], s.A[c] += g[c];
    return s;
}

int Channel(uint32_t color, int c) { return int(color >> (16 - 8 * c)) & 0xFF; }  // c: 0 r, 1 g, 2 b

class ToonLightingTest : public ::testing::TestWithParam<int> {};

TEST_P(ToonLightingTest, ColoursAndRampCoordinatesMatchReference) {
    const int type = GetParam();
    DeviceLightProducts lights[3] = {
        Light(DEVICE_LIGHT_DIRECTIONAL, 0, 0, 0, 0.3f, -1.0f, 0.5f),
        Light(DEVICE_LIGHT_POINT, 5, 8, -3, 0, 0, 0),
        Light(DEVICE_LIGHT_SPOT, -2, 6, -6, 0.2f, -0.6f, 0.7f),
    };
    ToonLighting L = {lights, 3, {0.05f, 0.05f, 0.1f, 1}, {0, 5, -20}, 12.5f, type};
    const uint8_t dif[4] = {200, 150, 100, 180}, spec[4] = {255, 255, 255, 255};
    for (int i = 0; i < 64; ++i) {
        float pos[3] = {float(i % 4) - 1.5f, float(i / 16) * 0.5f, float((i / 4) % 4) - 1.0f};
        float nrm[3] = {std::sin(i * 0.7f), std::cos(i * 0.3f), std::sin(i * 1.3f)};
        float len = std::sqrt(nrm[0] * nrm[0] + nrm[1] * nrm[1] + nrm[2] * nrm[2]);
        for (float& c : nrm) c /= len;
        ToonVertexResult got;
        ComputeToonVertex(&L, pos, nrm, dif, spec, &got);
        Sums s = ReferenceSums(L, pos, nrm);
        EXPECT_EQ(got.diffuse >> 24, 180u);
        if (type == 1) {
            double mx = std::max(s.S[0], std::max(s.S[1], s.S[2]));
            double mn = std::min(s.S[0], std::min(s.S[1], s.S[2]));
            for (int c = 0; c < 3; ++c) {
                double chroma = (s.S[0] + s.S[1] + s.S[2] <= 1e-5 || mx - mn < 1e-5) ? 1.0 : s.S[c] / mx;
                EXPECT_NEAR(Channel(got.diffuse, c), dif[c] * chroma, 1.01) << i;
            }
            EXPECT_NEAR(got.toon1, std::max(s.T[0], std::max(s.T[1], s.T[2])), 1e-4);
            EXPECT_NEAR(got.toon2, std::max(s.Sp[0], std::max(s.Sp[1], s.Sp[2])), 1e-4);
        } else {
            for (int c = 0; c < 3; ++c) {
                double want = std::clamp(dif[c] * s.D[c] + s.A[c] * 255.0, 0.0, 254.9999);
                EXPECT_NEAR(Channel(got.diffuse, c), want, 1.01) << i;
                double sp = std::min(255.0, spec[c] * std::clamp(s.Sp[c], 0.0, 254.9999));
                EXPECT_NEAR(Channel(got.specular, c), sp, 1.01) << i;
            }
            EXPECT_NEAR(got.toon1, s.NL, 1e-4);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(DrawTypes, ToonLightingTest, ::testing::Values(1, 2));

TEST(ToonLighting, ScaleColorToUnitMaxKeepsChromaAndMapsBlackAndGreyToWhite) {
    float r, g, b;
    ScaleColorToUnitMax(0, 0, 0, &r, &g, &b);
    EXPECT_EQ(r + g + b, 3.0f);
    ScaleColorToUnitMax(0.4f, 0.4f, 0.4f, &r, &g, &b);
    EXPECT_EQ(r + g + b, 3.0f);
    ScaleColorToUnitMax(0.5f, 0.25f, 0.0f, &r, &g, &b);
    EXPECT_FLOAT_EQ(r, 1.0f);
    EXPECT_FLOAT_EQ(g, 0.5f);
    EXPECT_FLOAT_EQ(b, 0.0f);
}

TEST(ToonLighting, NegativeHalfVectorFractionalPowerAndBrightSpecularStayFinite) {
    // The light is behind the surface and the eye too: N.H < 0 with a
    // fractional power; type 2 with a strong specular would pass 255.
    DeviceLightProducts light = Light(DEVICE_LIGHT_DIRECTIONAL, 0, 0, 0, 0, 1, 0);
    light.specular = {40, 40, 40, 1};
    ToonLighting L = {&light, 1, {0, 0, 0, 1}, {0, -10, 0}, 2.5f, 1};
    const float pos[3] = {0, 0, 0}, up[3] = {0, 1, 0};
    const uint8_t white[4] = {255, 255, 255, 255};
    ToonVertexResult r;
    ComputeToonVertex(&L, pos, up, white, white, &r);
    EXPECT_FALSE(std::isnan(r.toon2));
    EXPECT_EQ(r.toon2, 0.0f);
    L.drawType = 2;
    const float down[3] = {0, -1, 0};
    ComputeToonVertex(&L, pos, down, white, white, &r);
    EXPECT_EQ(r.specular & 0xFFFFFF, 0xFFFFFFu);
}

TEST(ToonLighting, MaterialBytesClampAndRunWritesRampSets) {
    EXPECT_EQ(MaterialColorByte(1.5f), 255);
    EXPECT_EQ(MaterialColorByte(-0.5f), 0);
    EXPECT_EQ(MaterialColorByte(0.5f), 127);
    DeviceLightProducts light = Light(DEVICE_LIGHT_DIRECTIONAL, 0, 0, 0, 0, -1, 0);
    ToonLighting L = {&light, 1, {0, 0, 0, 1}, {0, 10, 0}, 10.0f, 1};
    // One vertex of a copy with one uv set: 80 bytes; scaled normal renormalised.
    unsigned char v[80] = {};
    const float pn[6] = {0, 0, 0, 0, 3, 0};
    std::memcpy(v, pn, sizeof(pn));
    ToonVertexRun run = {v, 80, 1, nullptr, 0, 0, {255, 255, 255, 255}, {0, 0, 0, 255}};
    ComputeToonVertexColors(&L, &run, 1, nullptr);
    float set1[2];
    std::memcpy(set1, v + 48, 8);
    EXPECT_NEAR(set1[0], 0.8f + 0.1f, 1e-5);  // f = 1 after renormalising: Kd.r + Ka.r
    EXPECT_EQ(set1[0], set1[1]);
}

}  // namespace
