// Software toon lighting of the fixed-function road: per vertex, the
// diffuse and specular colours and the toon-ramp coordinates that the toon
// texture stages look up, from the enabled lights' light x material
// products.
#pragma once
#include <cstdint>

#include "graphics/device/devicestate.h"

namespace morpotta {

struct ToonLighting {
    const DeviceLightProducts* lights;  // enabled lights in upload order
    int lightCount;
    DeviceColorValue globalAmbient;     // ambient light x material ambient + emissive
    float eye[3];                       // camera position, same space as the vertices
    float power;                        // specular power of the material
    int drawType;                       // 1 or 2
};

struct ToonVertexResult {
    uint32_t diffuse;   // 0xAARRGGBB
    uint32_t specular;
    float toon1;        // texture set 1
    float toon2;        // texture set 2 (drawing type 1 only)
};

// Colour bytes r, g, b, a.
void ComputeToonVertex(const ToonLighting* lighting, const float position[3], const float normal[3],
                       const uint8_t diffuse[4], const uint8_t specular[4], ToonVertexResult* out);

// Divides by the largest component; (1, 1, 1) for a black sum or a grey one.
void ScaleColorToUnitMax(float r, float g, float b, float* outR, float* outG, float* outB);

// A material colour component as a byte: x 255, truncated, clamped to 0..255.
uint8_t MaterialColorByte(float value);

// Fills `lighting` from the device layer's enabled lights, products and
// global ambient for the current material.
void GatherToonLighting(ToonLighting* lighting, const float eye[3], float power, int drawType);

// Lights a run of vertices of the fixed-function vertex copy in place:
// position at byte 0, normal at 12, diffuse at 24, specular at 28, texture
// set i at 32 + 16 i. `transform` (row-major 4x4 for row vectors) takes
// position and normal to world space (the normal always renormalised);
// null: the copy is in world space already. Vertex colours come from
// `vertexColors` (diffuse, specular bytes per vertex, stride 8) where the
// use flags say so, else from the material bytes.
struct ToonVertexRun {
    unsigned char* vertices;
    int stride;
    int count;
    const uint8_t* vertexColors;  // per vertex diffuse rgba then specular rgba; may be null
    int useVertexDiffuse, useVertexSpecular;
    uint8_t materialDiffuse[4], materialSpecular[4];
};
void ComputeToonVertexColors(const ToonLighting* lighting, const ToonVertexRun* run, int renormalise,
                             const float transform[16]);

}  // namespace morpotta
