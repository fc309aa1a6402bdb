// Keys of the toon lighting reuse: raw bytes of every input, compared
// bitwise, so a hit gives exactly the colours a fresh lighting would.
#include "model/draw/model_toon_cache.h"

#include <cstring>

namespace morpotta {

namespace {

// The per-vertex specular term is finite and non-negative for these
// powers, so a zero specular product adds exactly zero.
bool SpecularVanishes(const ToonLighting* lighting) {
    if (!(lighting->power >= 0.0f && lighting->power <= 1e6f)) return false;
    for (int i = 0; i < lighting->lightCount; ++i) {
        const DeviceLightProducts& p = lighting->lights[i];
        if (p.light.type != DEVICE_LIGHT_DIRECTIONAL) return false;
        if (p.specular.r != 0.0f || p.specular.g != 0.0f || p.specular.b != 0.0f) return false;
    }
    return true;
}

}  // namespace

int BuildToonLitKey(const ToonLighting* lighting, const ToonVertexRun* run, int renormalise,
                    const float transform[16], int positionsFixed, ToonLitKey* key) {
    if (!transform || lighting->lightCount < 0 || lighting->lightCount > kDeviceLightCount) return 0;
    const bool positionFree = SpecularVanishes(lighting);
    if (!positionFree && !positionsFixed) return 0;
    ToonLitHead& h = key->head;
    std::memset(&h, 0, sizeof h);
    h.valid = 1;
    h.drawType = lighting->drawType;
    h.lightCount = lighting->lightCount;
    h.positionFree = positionFree ? 1 : 0;
    h.renormalise = renormalise;
    h.useVertexDiffuse = run->useVertexDiffuse;
    h.useVertexSpecular = run->useVertexSpecular;
    h.power = lighting->power;
    std::memcpy(h.materialDiffuse, run->materialDiffuse, 4);
    std::memcpy(h.materialSpecular, run->materialSpecular, 4);
    h.globalAmbient = lighting->globalAmbient;
    if (positionFree) {
        for (int row = 0; row < 3; ++row) std::memcpy(h.transform + row * 4, transform + row * 4, 12);
    } else {
        std::memcpy(h.eye, lighting->eye, sizeof h.eye);
        std::memcpy(h.transform, transform, sizeof h.transform);
    }
    std::memcpy(key->lights, lighting->lights, sizeof(DeviceLightProducts) * size_t(lighting->lightCount));
    return 1;
}

int ToonLitKeyMatches(const ToonLitKey* stored, const ToonLitKey* key) {
    if (!stored->head.valid || std::memcmp(&stored->head, &key->head, sizeof key->head) != 0) return 0;
    return std::memcmp(stored->lights, key->lights, sizeof(DeviceLightProducts) * size_t(key->head.lightCount)) == 0;
}

void StoreToonLitKey(ToonLitKey* stored, const ToonLitKey* key) {
    stored->head = key->head;
    std::memcpy(stored->lights, key->lights, sizeof(DeviceLightProducts) * size_t(key->head.lightCount));
}

void ForgetToonLitKey(ToonLitKey* stored) { stored->head.valid = 0; }

}  // namespace morpotta
