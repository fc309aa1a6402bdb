// Shared between the GL device and its fixed-function program generator.
#pragma once
#include "graphics/device/device_internal.h"

#include <epoxy/gl.h>

// Everything that changes the generated program; compared as bytes.
struct GlProgramKey {
    uint8_t pretransformed, hasNormal, hasDiffuse, hasSpecular, texSets;
    uint8_t lighting, normalize, specularEnable, colorVertex;
    uint8_t diffuseSource, specularSource, ambientSource, emissiveSource;
    uint8_t flatShade, fogMode, alphaFunc, stageCount;
    uint8_t lightType[kDeviceLightCount];
    struct Stage {
        uint8_t colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
        uint8_t texCoordSet, resultTemp, hasTexture;
    } stages[kDeviceStageCount];
};

struct GlProgram {
    GLuint program;
    GLint worldView, projection, normalMatrix, viewport, clipShift, flipY;
    GLint matDiffuse, matAmbient, matSpecular, matEmissive, matPower, ambient;
    GLint lightDiffuse, lightSpecular, lightAmbient, lightPosition, lightDirection, lightAttenuation, lightSpot;
    GLint textureFactor, fogColor, fogParams, alphaRef;
    GLint samplers[kDeviceStageCount];
};

// Fixed-function fog modes of the key beyond the device ones.
constexpr int kGlFogFromSpecularAlpha = 4;

// Builds the key of the current state for a draw with this vertex format.
GlProgramKey MakeGlProgramKey(const DeviceState& state, uint32_t fvf);
// The program for a key, made and cached on first use; null when the
// driver refuses it.
const GlProgram* FindGlProgram(const GlProgramKey& key);
void ReleaseGlPrograms();
int CountGlPrograms();
// Sends every uniform the program reads from the state.
void UploadGlUniforms(const GlProgram& program, const GlProgramKey& key, const DeviceState& state, bool flipY);
