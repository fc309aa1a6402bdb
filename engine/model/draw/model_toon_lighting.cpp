// Toon lighting in software. Type 1 keeps the chroma of the light sum and
// leaves its brightness to the toon ramp coordinates; type 2 lights the
// colour directly and gives the ramp only the directional N.L sum.
#include "model/draw/model_toon_lighting.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace morpotta {

namespace {

struct Rgb {
    float r = 0, g = 0, b = 0;
    void Add(const DeviceColorValue& c, float k) {
        r += c.r * k;
        g += c.g * k;
        b += c.b * k;
    }
    float Max() const { return std::max(r, std::max(g, b)); }
};

float Dot(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Normalise(float v[3]) {
    float len = std::sqrt(Dot(v, v));
    if (len > 0.0f) {
        v[0] /= len;
        v[1] /= len;
        v[2] /= len;
    }
}

uint32_t PackColor(uint8_t a, float r, float g, float b) {
    auto byte = [](float v) { return uint32_t(std::clamp(v, 0.0f, 255.0f)); };
    return uint32_t(a) << 24 | byte(r) << 16 | byte(g) << 8 | byte(b);
}

// What a light contributes that does not depend on the vertex.
struct PreparedLight {
    const DeviceLightProducts* products;
    int type;
    float dir[3];  // unit direction of the light
    float cosPhi, cosTheta;
};

struct LightTerms {
    float L[3];
    float scale;  // attenuation x spot factor
};

PreparedLight Prepare(const DeviceLightProducts& p) {
    PreparedLight out;
    out.products = &p;
    out.type = p.light.type;
    out.dir[0] = p.light.direction.x;
    out.dir[1] = p.light.direction.y;
    out.dir[2] = p.light.direction.z;
    Normalise(out.dir);
    out.cosPhi = std::cos(p.light.phi * 0.5f);
    out.cosTheta = std::cos(p.light.theta * 0.5f);
    return out;
}

LightTerms DirectionTo(const PreparedLight& pl, const float position[3]) {
    LightTerms t = {{-pl.dir[0], -pl.dir[1], -pl.dir[2]}, 1.0f};
    if (pl.type == DEVICE_LIGHT_DIRECTIONAL) return t;
    const DeviceLightProducts& p = *pl.products;
    t.L[0] = p.light.position.x - position[0];
    t.L[1] = p.light.position.y - position[1];
    t.L[2] = p.light.position.z - position[2];
    float d = std::sqrt(Dot(t.L, t.L));
    Normalise(t.L);
    float denominator = p.attenuation0 + p.attenuation1 * d + p.attenuation2 * d * d;
    t.scale = denominator > 0.0f ? 1.0f / denominator : 1.0f;
    if (pl.type == DEVICE_LIGHT_SPOT) {
        float rho = -Dot(pl.dir, t.L);
        float spot = 1.0f;
        if (rho < pl.cosPhi)
            spot = 0.0f;
        else if (rho <= pl.cosTheta)
            spot = pl.cosTheta > pl.cosPhi ? (rho - pl.cosPhi) / (pl.cosTheta - pl.cosPhi) : 1.0f;
        t.scale *= spot;
    }
    return t;
}

void LightVertex(const ToonLighting* lighting, const PreparedLight* lights, const float position[3],
                 const float normal[3], const uint8_t diffuse[4], const uint8_t specular[4], ToonVertexResult* out);

}  // namespace

void ScaleColorToUnitMax(float r, float g, float b, float* outR, float* outG, float* outB) {
    float hi = std::max(r, std::max(g, b)), lo = std::min(r, std::min(g, b));
    if (r + g + b <= 1e-5f || hi - lo < 1e-5f || !(hi > 0.0f)) {
        *outR = *outG = *outB = 1.0f;
        return;
    }
    *outR = r / hi;
    *outG = g / hi;
    *outB = b / hi;
}

uint8_t MaterialColorByte(float value) {
    float v = value * 255.0f;
    if (!(v > 0.0f)) return 0;
    return v >= 255.0f ? 255 : uint8_t(v);
}

namespace {

void LightVertex(const ToonLighting* lighting, const PreparedLight* lights, const float position[3],
                 const float normal[3], const uint8_t diffuse[4], const uint8_t specular[4], ToonVertexResult* out) {
    Rgb S, T, Sp, D, A;
    float NL = 0.0f;
    float V[3] = {lighting->eye[0] - position[0], lighting->eye[1] - position[1], lighting->eye[2] - position[2]};
    Normalise(V);
    for (int i = 0; i < lighting->lightCount; ++i) {
        const DeviceLightProducts& p = lighting->lights[i];
        LightTerms t = DirectionTo(lights[i], position);
        float f = std::max(0.0f, Dot(normal, t.L));
        bool directional = p.light.type == DEVICE_LIGHT_DIRECTIONAL;
        if (lighting->drawType == 1) {
            S.Add(p.diffuse, t.scale * f);
            T.Add(p.diffuse, t.scale * f);
            T.Add(p.ambient, t.scale);
        } else if (directional) {
            NL += f;
            D.Add(p.diffuse, 1.0f);
            A.Add(p.ambient, 1.0f);
        } else {
            D.Add(p.diffuse, t.scale * f);
            D.Add(p.ambient, t.scale);
        }
        float H[3] = {V[0] + t.L[0], V[1] + t.L[1], V[2] + t.L[2]};
        Normalise(H);
        // A negative N.H raised to a fractional power has no value: clamp first.
        float s = std::pow(std::max(0.0f, Dot(normal, H)), lighting->power);
        Sp.Add(p.specular, directional ? s : t.scale * s);
    }
    const DeviceColorValue& G = lighting->globalAmbient;
    if (lighting->drawType == 1) {
        T.Add(G, 1.0f);
        Rgb c, sc;
        ScaleColorToUnitMax(S.r, S.g, S.b, &c.r, &c.g, &c.b);
        ScaleColorToUnitMax(Sp.r, Sp.g, Sp.b, &sc.r, &sc.g, &sc.b);
        out->diffuse = PackColor(diffuse[3], diffuse[0] * c.r, diffuse[1] * c.g, diffuse[2] * c.b);
        out->specular = PackColor(specular[3], specular[0] * sc.r, specular[1] * sc.g, specular[2] * sc.b);
        out->toon1 = T.Max();
        out->toon2 = Sp.Max();
        return;
    }
    A.Add(G, 1.0f);
    auto lit = [](uint8_t byte, float d, float a) { return std::clamp(byte * d + a * 255.0f, 0.0f, 254.9999f); };
    out->diffuse = PackColor(diffuse[3], lit(diffuse[0], D.r, A.r), lit(diffuse[1], D.g, A.g),
                             lit(diffuse[2], D.b, A.b));
    // The specular sum may exceed 1; its byte product is clamped to 255.
    auto spec = [](uint8_t byte, float s) { return byte * std::clamp(s, 0.0f, 254.9999f); };
    out->specular = PackColor(specular[3], spec(specular[0], Sp.r), spec(specular[1], Sp.g), spec(specular[2], Sp.b));
    out->toon1 = NL;
    out->toon2 = 0.0f;
}

int PrepareLights(const ToonLighting* lighting, PreparedLight out[kDeviceLightCount]) {
    int count = std::clamp(lighting->lightCount, 0, kDeviceLightCount);
    for (int i = 0; i < count; ++i) out[i] = Prepare(lighting->lights[i]);
    return count;
}

}  // namespace

void ComputeToonVertex(const ToonLighting* lighting, const float position[3], const float normal[3],
                       const uint8_t diffuse[4], const uint8_t specular[4], ToonVertexResult* out) {
    PreparedLight lights[kDeviceLightCount];
    ToonLighting bounded = *lighting;
    bounded.lightCount = PrepareLights(lighting, lights);
    LightVertex(&bounded, lights, position, normal, diffuse, specular, out);
}

void GatherToonLighting(ToonLighting* lighting, const float eye[3], float power, int drawType) {
    const DeviceStateCache* cache = GetDeviceStateCache();
    lighting->lights = cache->lightProducts;
    lighting->lightCount = std::clamp(cache->enabledLightCount, 0, kDeviceLightCount);
    lighting->globalAmbient = cache->globalAmbient;
    std::memcpy(lighting->eye, eye, sizeof(lighting->eye));
    lighting->power = power;
    lighting->drawType = drawType;
}

void ComputeToonVertexColors(const ToonLighting* lighting, const ToonVertexRun* run, int renormalise,
                             const float transform[16]) {
    PreparedLight lights[kDeviceLightCount];
    ToonLighting bounded = *lighting;
    bounded.lightCount = PrepareLights(lighting, lights);
    unsigned char* v = run->vertices;
    for (int i = 0; i < run->count; ++i, v += run->stride) {
        float p[3], n[3];
        std::memcpy(p, v, sizeof(p));
        std::memcpy(n, v + 12, sizeof(n));
        if (transform) {
            const float* m = transform;
            float tp[3], tn[3];
            for (int c = 0; c < 3; ++c) {
                tp[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
                tn[c] = n[0] * m[c] + n[1] * m[4 + c] + n[2] * m[8 + c];
            }
            std::memcpy(p, tp, sizeof(p));
            std::memcpy(n, tn, sizeof(n));
            Normalise(n);
        } else if (renormalise) {
            Normalise(n);
        }
        const uint8_t* vc = run->vertexColors ? run->vertexColors + 8 * i : nullptr;
        const uint8_t* diffuse = run->useVertexDiffuse && vc ? vc : run->materialDiffuse;
        const uint8_t* specular = run->useVertexSpecular && vc ? vc + 4 : run->materialSpecular;
        ToonVertexResult r;
        LightVertex(&bounded, lights, p, n, diffuse, specular, &r);
        std::memcpy(v + 24, &r.diffuse, 4);
        std::memcpy(v + 28, &r.specular, 4);
        const float set1[4] = {r.toon1, r.toon1, 1.0f, 1.0f};
        const float set2[4] = {r.toon2, r.toon2, 1.0f, 1.0f};
        std::memcpy(v + 32 + 16, set1, sizeof(set1));
        if (lighting->drawType == 1) std::memcpy(v + 32 + 32, set2, sizeof(set2));
    }
}

}  // namespace morpotta
