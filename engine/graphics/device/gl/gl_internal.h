// Shared between the GL device and its fixed-function program generator.
#pragma once
#include "graphics/device/device_internal.h"

#include <epoxy/gl.h>

#include <string>

namespace morpotta {

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

struct GlLightUniforms {
    GLint diffuse, specular, ambient, position, direction, attenuation, spot;
};

// The uniforms both generators' programs read: material, ambient light,
// lights, texture factor, fog, alpha reference and the stage samplers.
struct GlCommonUniforms {
    GLint matDiffuse, matAmbient, matSpecular, matEmissive, matPower, ambient;
    GlLightUniforms lights;
    GLint textureFactor, fogColor, fogParams, alphaRef;
    GLint samplers[kDeviceStageCount];
};

struct GlProgram {
    GLuint program;
    GLint worldView, projection, normalMatrix, viewport, clipShift, flipY;
    GlCommonUniforms common;
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

// Shared by the fixed-function and the programmable generators: GLSL that
// adds every enabled light into diffuseSum, ambientSum and (with specular)
// specularSum, from P, N and V in one space and the uLight* uniforms.
std::string GlLightSumsText(const uint8_t lightType[kDeviceLightCount], bool specular);
GlLightUniforms FindGlLightUniforms(GLuint program);
// Looks the common uniforms up in a program (made current) and points its
// samplers at their texture units.
GlCommonUniforms FindGlCommonUniforms(GLuint program);
void UploadGlMaterial(const GlCommonUniforms& uniforms, const DeviceMaterial& material);
// toSpace: the row-major matrix that takes the lights' world positions and
// directions into the lighting space (null: world space).
void UploadGlLights(const GlLightUniforms& uniforms, const DeviceState& state,
                    const uint8_t lightType[kDeviceLightCount], const float* toSpace);

// Compiles and links a program from GLSL text; 0 (logged) when the driver
// refuses it.
GLuint MakeGlProgramFromText(const std::string& vertexText, const std::string& fragmentText);
// An integer as it stands in GLSL text.
inline std::string GlslInt(int v) { return std::to_string(v); }
// The end of a fragment shader: fog by mode (from vFogDepth) and the alpha
// test by compare function (0: none), on `current`.
std::string GlFogAndAlphaTestText(int fogMode, int alphaFunc);
// 0xAARRGGBB as four floats; a colour into a vec4 uniform (skipped at -1).
void GlColorOf(uint32_t argb, float out[4]);
void SetGlColor(GLint at, const DeviceColorValue& c);

// ---- Programmable shaders (gl_shader_program.cpp) ----
// Texture stages the model shaders read: diffuse, normal map, second
// layer, the two toon ramps.
constexpr int kGlShaderStages = 5;
// Vertex attributes: 0 position, 1 normal, 2 diffuse, 3 specular, 4 texture
// set 0, 5-8 weights and bone slots, then tangent and binormal.
constexpr GLuint kGlTangentAttribute = 12;
constexpr GLuint kGlBinormalAttribute = 13;
constexpr GLuint kGlShaderAttributes = 14;
// One program per pair of shader indices with the light types, alpha test
// and normalisation of the draw.
struct GlShaderKey {
    int32_t vertexShader, pixelShader;
    uint8_t lightType[kDeviceLightCount];
    uint8_t alphaFunc, normalize, pad[2];
};

struct GlShaderProgram {
    GLuint program;
    int skin;  // vertex layout: 0 rigid, 1 four weights, 2 eight weights
    bool tangents;  // and the tangent data of the second layout
    int fogMode, alphaFunc;
    bool outlineBranch;  // a first pass: it also draws its mesh's outline (uPass)
    GLint pass;
    GLint matrices, texTransform, outline, renormalise, normalMatrix, view, projection, clipShift, flipY, eye;
    GLint modes, stageTextures;
    GlCommonUniforms common;
    // What the program's uniforms hold: a draw sends only what differs.
    struct Held {
        bool valid;
        float matrices[12], texTransform[8], outline[4], renormalise[4];
        float view[16], projection[16], clip[3];
        DeviceMaterial material;
        uint32_t ambient, factor, fogColor, fogParams[3], alphaRef;
        DeviceLight lights[kDeviceLightCount];
        float modes[4], stageTextures[kGlShaderStages], pass;
    } held;
};

// 0 when the shader of that kind (0 vertex, 1 pixel) and index can be made.
int PrepareGlShader(int kind, int index);
GlShaderKey MakeGlShaderKey(const DeviceState& state);
// Made and cached on first use; null when the driver refuses it.
GlShaderProgram* FindGlShaderProgram(const GlShaderKey& key);
// The program a draw runs in: an outline draw runs in the program of the
// first pass before it when that one has its skinning, fog and alpha test
// (*outlinePass then says so), else in its own.
GlShaderProgram* FindGlShaderProgramForDraw(const GlShaderKey& key, bool* outlinePass);
void ReleaseGlShaderPrograms();
int CountGlShaderPrograms();
void UploadGlShaderUniforms(GlShaderProgram* program, const GlShaderKey& key, const DeviceState& state, bool flipY,
                            bool outlinePass);

}  // namespace morpotta
