// Reuse of software toon lighting. A rigid list's lit colours stay in its
// fixed-function vertex copy; while every input of the lighting is the
// same as when they were written, the next draw keeps them. When all
// lights are directional and carry no specular, the result depends on the
// rotation/scale part of the world transform only, so instances that
// differ by translation share one lighting.
#pragma once
#include "graphics/device/devicestate.h"
#include "model/draw/model_toon_lighting.h"

namespace morpotta {

struct ToonLitHead {
    int valid;
    int drawType;
    int lightCount;
    int positionFree;
    int renormalise;
    int useVertexDiffuse;
    int useVertexSpecular;
    float power;
    uint8_t materialDiffuse[4];
    uint8_t materialSpecular[4];
    float eye[3];           // zero when positionFree
    float transform[16];    // only the 3x3 part when positionFree
    DeviceColorValue globalAmbient;
};

struct ToonLitKey {
    ToonLitHead head;
    DeviceLightProducts lights[kDeviceLightCount];  // the first head.lightCount are set
};

// Fills `key` from the lighting inputs of one rigid list. `transform` takes
// the list to world space; `positionsFixed`: the copy's positions are the
// same on every draw. Returns 0 when the result cannot be keyed.
int BuildToonLitKey(const ToonLighting* lighting, const ToonVertexRun* run, int renormalise,
                    const float transform[16], int positionsFixed, ToonLitKey* key);

// Whether `stored` was written from the same inputs as `key`.
int ToonLitKeyMatches(const ToonLitKey* stored, const ToonLitKey* key);

void StoreToonLitKey(ToonLitKey* stored, const ToonLitKey* key);
void ForgetToonLitKey(ToonLitKey* stored);

}  // namespace morpotta
