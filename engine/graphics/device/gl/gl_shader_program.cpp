// The programmable shaders of mesh drawing as generated GLSL. A vertex- and
// a pixel-shader index (graphics/device/shader_index.h) together with the
// draw's light types, alpha test and normalisation make one program, made
// on first use and kept for the life of the device. The programs compute
// what the fixed-function road computes for the same mesh: lighting per
// vertex in world space (the toon types exactly as the software toon
// lighting, colour bytes truncated the same way), then the texture-stage
// cascade of that road, the opacity factor, fog and the alpha test. World
// or bone matrices come from vertex registers 94 on, the texture-coordinate
// transform from 88 and 89, the outline width from 42. An outline runs in
// the program of its mesh, so a software rasteriser need not switch
// programs between the two. Culling is GL's own, before any fragment is
// made (a fragment stage that discards by its facing costs every dropped
// triangle's setup, binning and shading, and the early depth test of every
// draw): no program discards but for the alpha test.
// Normal maps and second texture layers draw on this road alone (the
// fixed-function road has no stages for them): a normal-mapped mesh is lit
// per pixel from the normal map in the frame of its vertices' tangent
// data; a second layer lies over the first texture by its own alpha.
#include "graphics/device/gl/gl_internal.h"

#include "engine/log.h"
#include "engine/vecmath.h"
#include "platform/lasting_state.h"
#include "foundation/vecmath_internal.h"

#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

namespace morpotta {

namespace {

struct GlShaderModule {
    std::unordered_map<std::string, GlShaderProgram> programs;
    // The last key looked up: consecutive draws mostly use one program.
    GlShaderKey lastKey;
    GlShaderProgram* lastProgram = nullptr;
    // The program of the last first pass: its mesh's outline pass runs in it.
    GlShaderProgram* lastFirstPass = nullptr;
};

GlShaderModule& GlShaderState() {
    return platform::LastingState<GlShaderModule>();
}

const char* const kMaterialAndLightUniforms =
    "uniform vec4 uMatDiffuse;\nuniform vec4 uMatAmbient;\nuniform vec4 uMatSpecular;\nuniform vec4 uMatEmissive;\n"
    "uniform float uMatPower;\nuniform vec4 uAmbient;\n"
    "uniform vec4 uLightDiffuse[8];\nuniform vec4 uLightSpecular[8];\nuniform vec4 uLightAmbient[8];\n"
    "uniform vec3 uLightPosition[8];\nuniform vec3 uLightDirection[8];\n"
    "uniform vec4 uLightAttenuation[8];\nuniform vec4 uLightSpot[8];\n";

// The software toon lighting of one vertex: sums S, T (type 1) or NL, D, A
// (type 2) and the specular sum Sp over the enabled lights.
std::string ToonLightSumsText(const uint8_t lightType[kDeviceLightCount], int drawType) {
    std::string s;
    for (int i = 0; i < kDeviceLightCount; ++i) {
        const int type = lightType[i];
        if (!type) continue;
        const std::string n = GlslInt(i);
        s += "  {\n    vec3 L; float scale = 1.0;\n";
        if (type == DEVICE_LIGHT_DIRECTIONAL) {
            s += "    L = -SafeNormalize(uLightDirection[" + n + "]);\n";
        } else {
            s += "    vec3 toLight = uLightPosition[" + n + "] - P;\n    float d = length(toLight);\n";
            s += "    L = SafeNormalize(toLight);\n    vec4 at = uLightAttenuation[" + n + "];\n";
            s += "    float q = at.x + at.y * d + at.z * d * d;\n    scale = q > 0.0 ? 1.0 / q : 1.0;\n";
            if (type == DEVICE_LIGHT_SPOT) {
                s += "    vec4 sp = uLightSpot[" + n + "];\n";
                s += "    float rho = -dot(SafeNormalize(uLightDirection[" + n + "]), L);\n";
                s += "    float spot = 1.0;\n    if (rho < sp.y) spot = 0.0;\n";
                s += "    else if (rho <= sp.x) spot = sp.x > sp.y ? (rho - sp.y) / (sp.x - sp.y) : 1.0;\n";
                s += "    scale *= spot;\n";
            }
        }
        s += "    vec3 Kd = uLightDiffuse[" + n + "].rgb * uMatDiffuse.rgb;\n";
        s += "    vec3 Ka = uLightAmbient[" + n + "].rgb * uMatAmbient.rgb;\n";
        s += "    vec3 Ks = uLightSpecular[" + n + "].rgb * uMatSpecular.rgb;\n";
        s += "    float f = max(0.0, dot(N, L));\n";
        if (drawType == 1)
            s += "    S += Kd * (scale * f);\n    T += Kd * (scale * f);\n    T += Ka * scale;\n";
        else if (type == DEVICE_LIGHT_DIRECTIONAL)
            s += "    NL += f;\n    D += Kd;\n    A += Ka;\n";
        else
            s += "    D += Kd * (scale * f);\n    D += Ka * scale;\n";
        s += "    vec3 H = SafeNormalize(V + L);\n    float nh = max(0.0, dot(N, H));\n";
        s += "    float s = uMatPower == 0.0 ? 1.0 : (nh > 0.0 ? pow(nh, uMatPower) : 0.0);\n";
        s += type == DEVICE_LIGHT_DIRECTIONAL ? "    Sp += Ks * s;\n" : "    Sp += Ks * (scale * s);\n";
        s += "  }\n";
    }
    return s;
}

// One weighted bone of a skinned vertex; a slot past the palette (a bone
// the list's palette lacks) counts for nothing, as in software skinning.
std::string BoneText(const char* weight, const char* slot, bool always, bool tangents) {
    std::string s = always ? "  {\n" : std::string("  if (") + weight + " != 0.0) {\n";
    s += std::string("    int r = int(") + slot + " + 0.5);\n";
    s += "    if (r < " + GlslInt(kVsPaletteBones) + ") {\n      r *= 3;\n";
    s += std::string("      P += ") + weight + " * Place(r, p);\n      Nm += " + weight + " * Turn(r, aNormal);\n";
    if (tangents)
        s += std::string("      Tm += ") + weight + " * Turn(r, aTangent);\n      Bm += " + weight +
             " * Turn(r, aBinormal);\n";
    s += "    }\n  }\n";
    return s;
}

const char* const kHelperFunctions =
    "vec3 SafeNormalize(vec3 a) { return dot(a, a) > 0.0 ? normalize(a) : a; }\n"
    "vec3 UnitMax(vec3 c) {\n  float hi = max(c.r, max(c.g, c.b)), lo = min(c.r, min(c.g, c.b));\n"
    "  if (c.r + c.g + c.b <= 1e-5 || hi - lo < 1e-5 || !(hi > 0.0)) return vec3(1.0);\n  return c / hi;\n}\n";

// Where the lighting of a first pass reads its colour sources and writes
// its results: the vertex stage (per vertex), or the pixel stage of a
// normal-mapped mesh (per pixel, from the perturbed normal).
struct LightingPlace {
    const char* vertexDiffuse;   // the vertex colours, as inputs of that stage
    const char* vertexSpecular;
    const char* diffuse;         // the results
    const char* specular;
    const char* toon;
};

// Lighting of a first pass from P, V and the normal N (declared before):
// the software toon lighting for the toon types, else the fixed-function
// lighting, else (lighting off) the vertex colours.
std::string LightingText(const VertexShaderBits& v, const PixelShaderBits& px, const GlShaderKey& k,
                         const LightingPlace& at) {
    const std::string diffuse = at.diffuse, specular = at.specular, toon = at.toon;
    std::string s;
    if (px.drawType == 1 || px.drawType == 2) {
        s += v.vertexDiffuse ? std::string("  vec4 db = floor(") + at.vertexDiffuse + " * 255.0 + 0.5);\n"
                             : "  vec4 db = floor(clamp(uMatDiffuse * 255.0, 0.0, 255.0));\n";
        s += v.vertexSpecular ? std::string("  vec4 sb = floor(") + at.vertexSpecular + " * 255.0 + 0.5);\n"
                              : "  vec4 sb = floor(clamp(uMatSpecular * 255.0, 0.0, 255.0));\n";
        s += "  vec3 S = vec3(0.0), T = vec3(0.0), Sp = vec3(0.0), D = vec3(0.0), A = vec3(0.0);\n  float NL = 0.0;\n";
        s += ToonLightSumsText(k.lightType, px.drawType);
        s += "  vec3 G = uAmbient.rgb * uMatAmbient.rgb + uMatEmissive.rgb;\n";
        if (px.drawType == 1) {
            s += "  T += G;\n";
            s += "  " + diffuse + " = vec4(floor(clamp(db.rgb * UnitMax(S), 0.0, 255.0)) / 255.0, db.a / 255.0);\n";
            s += "  " + specular + " = vec4(floor(clamp(sb.rgb * UnitMax(Sp), 0.0, 255.0)) / 255.0, sb.a / 255.0);\n";
            s += "  " + toon + " = vec2(max(T.r, max(T.g, T.b)), max(Sp.r, max(Sp.g, Sp.b)));\n";
        } else {
            s += "  A += G;\n";
            s += "  " + diffuse + " = vec4(floor(clamp(db.rgb * D + A * 255.0, 0.0, 254.9999)) / 255.0, db.a / 255.0);\n";
            s += "  " + specular +
                 " = vec4(floor(clamp(sb.rgb * clamp(Sp, 0.0, 254.9999), 0.0, 255.0)) / 255.0, sb.a / 255.0);\n";
            s += "  " + toon + " = vec2(NL, 0.0);\n";
        }
    } else if (!v.lighting) {
        s += "  " + diffuse + " = " + at.vertexDiffuse + ";\n  " + specular + " = " + at.vertexSpecular + ";\n";
    } else {
        s += v.vertexDiffuse ? std::string("  vec4 cd = ") + at.vertexDiffuse + ";\n" : "  vec4 cd = uMatDiffuse;\n";
        s += v.vertexSpecular ? std::string("  vec4 cs = ") + at.vertexSpecular + ";\n" : "  vec4 cs = uMatSpecular;\n";
        s += "  vec3 ambientSum = uAmbient.rgb;\n  vec3 diffuseSum = vec3(0.0);\n  vec3 specularSum = vec3(0.0);\n";
        s += GlLightSumsText(k.lightType, v.specular);
        s += "  " + diffuse +
             " = vec4(clamp(uMatEmissive.rgb + uMatAmbient.rgb * ambientSum + cd.rgb * diffuseSum, 0.0, 1.0), cd.a);\n";
        s += "  " + specular + " = vec4(clamp(cs.rgb * specularSum, 0.0, 1.0), cs.a);\n";
    }
    return s;
}

// A normal map changes the lighting only where there is lighting: then it
// is computed per pixel.
bool LightsPerPixel(const VertexShaderBits& v, const PixelShaderBits& px) {
    return v.normalMap && px.normalMap && !v.outline && (px.drawType != 0 || v.lighting);
}

std::string VertexText(const VertexShaderBits& v, const PixelShaderBits& px, const GlShaderKey& k) {
    const bool perPixel = LightsPerPixel(v, px);
    std::string s = "#version 330 core\n";
    s += "layout(location=0) in vec3 aPosition;\nlayout(location=1) in vec3 aNormal;\n";
    s += "layout(location=2) in vec4 aDiffuse;\nlayout(location=3) in vec4 aSpecular;\n";
    s += "layout(location=4) in vec4 aTex0;\n";
    if (v.skin >= 1) s += "layout(location=5) in vec4 aWeights0;\nlayout(location=6) in vec4 aBones0;\n";
    if (v.skin == 2) s += "layout(location=7) in vec4 aWeights1;\nlayout(location=8) in vec4 aBones1;\n";
    if (perPixel)
        s += "layout(location=" + GlslInt(int(kGlTangentAttribute)) + ") in vec3 aTangent;\nlayout(location=" +
             GlslInt(int(kGlBinormalAttribute)) + ") in vec3 aBinormal;\n";
    s += "uniform vec4 uMatrices[" + GlslInt(v.skin ? 3 * kVsPaletteBones : 3) + "];\n";
    s += "uniform vec4 uTexTransform[2];\nuniform vec4 uOutline;\nuniform vec4 uRenormalise;\n";
    s += "uniform mat3 uNormalMatrix;\nuniform mat4 uView;\nuniform mat4 uProjection;\n";
    s += "uniform vec2 uClipShift;\nuniform float uFlipY;\nuniform vec3 uEye;\n";
    s += kMaterialAndLightUniforms;
    s += "out vec4 vDiffuse;\nout vec4 vSpecular;\nout vec2 vTex0;\nout vec2 vToon;\nout float vFogDepth;\n";
    if (perPixel)
        s += "out vec3 vPosition;\nout vec3 vNormal;\nout vec3 vTangent;\nout vec3 vBinormal;\n"
             "out vec4 vVertexDiffuse;\nout vec4 vVertexSpecular;\n";
    const bool branch = !v.outline;  // a first pass carries its mesh's outline pass
    if (branch) s += "uniform vec4 uPass;\nflat out float vPass;\n";
    s += "vec3 Place(int r, vec4 p) { return vec3(dot(uMatrices[r], p), dot(uMatrices[r + 1], p), dot(uMatrices[r + 2], p)); }\n";
    s += "vec3 Turn(int r, vec3 n) {\n"
         "  return vec3(dot(uMatrices[r].xyz, n), dot(uMatrices[r + 1].xyz, n), dot(uMatrices[r + 2].xyz, n));\n}\n";
    s += kHelperFunctions;
    s += "void main() {\n  vec4 p = vec4(aPosition, 1.0);\n";
    if (v.skin == 0) {
        s += "  vec3 P = Place(0, p);\n  vec3 Nm = Turn(0, aNormal);\n";
        if (perPixel) s += "  vec3 Tm = Turn(0, aTangent);\n  vec3 Bm = Turn(0, aBinormal);\n";
    } else {
        s += "  vec3 P = vec3(0.0);\n  vec3 Nm = vec3(0.0);\n";
        if (perPixel) s += "  vec3 Tm = vec3(0.0);\n  vec3 Bm = vec3(0.0);\n";
        const char* w0[4] = {"aWeights0.x", "aWeights0.y", "aWeights0.z", "aWeights0.w"};
        const char* b0[4] = {"aBones0.x", "aBones0.y", "aBones0.z", "aBones0.w"};
        const char* w1[4] = {"aWeights1.x", "aWeights1.y", "aWeights1.z", "aWeights1.w"};
        const char* b1[4] = {"aBones1.x", "aBones1.y", "aBones1.z", "aBones1.w"};
        for (int i = 0; i < 4; ++i) s += BoneText(w0[i], b0[i], i == 0, perPixel);
        if (v.skin == 2)
            for (int i = 0; i < 4; ++i) s += BoneText(w1[i], b1[i], false, perPixel);
    }
    if (v.outline) s += "  P += Nm * uOutline.x;\n";
    if (branch) {
        s += "  bool outlinePass = uPass.x > 0.5;\n  vPass = uPass.x;\n";
        s += "  if (outlinePass) P += Nm * uOutline.x;\n";
    }
    s += "  vec4 viewP = uView * vec4(P, 1.0);\n  vec4 clip = uProjection * viewP;\n";
    s += "  clip.z = clip.z * 2.0 - clip.w;\n  clip.xy += uClipShift * clip.w;\n  clip.y *= uFlipY;\n";
    s += "  gl_Position = clip;\n  vFogDepth = viewP.z;\n";
    s += "  vec4 uv = vec4(aTex0.xy, 1.0, 0.0);\n";
    s += "  vTex0 = vec2(dot(uv, uTexTransform[0]), dot(uv, uTexTransform[1]));\n  vToon = vec2(0.0);\n";
    s += "  vec3 V = SafeNormalize(uEye - P);\n";
    const bool toon = !v.outline && (px.drawType == 1 || px.drawType == 2);
    // The outline colour is the device material's diffuse, as bytes.
    const char* outlineColours =
        "  vDiffuse = vec4(floor(clamp(uMatDiffuse.rgb * 255.0, 0.0, 255.0)) / 255.0, 1.0);\n"
        "  vSpecular = vec4(0.0);\n";
    if (v.outline) {
        s += outlineColours;
        s += "}\n";
        return s;
    }
    s += std::string("  if (outlinePass) {\n") + outlineColours + "    return;\n  }\n";
    // The normal the lighting reads: the toon types' world normal made unit
    // length (skinned ones only when asked), else the rigid normal matrix's
    // or the skinned normal.
    std::string normal;
    if (toon) {
        normal = v.skin == 0 ? "SafeNormalize(Nm)" : "(uRenormalise.x > 0.5 ? SafeNormalize(Nm) : Nm)";
    } else {
        normal = v.skin == 0 ? "uNormalMatrix * aNormal" : "Nm";
        if (k.normalize) normal = "SafeNormalize(" + normal + ")";
    }
    if (perPixel) {
        // The pixel stage lights from the normal map in this frame.
        s += "  vPosition = P;\n  vNormal = " + normal + ";\n  vTangent = Tm;\n  vBinormal = Bm;\n";
        s += "  vVertexDiffuse = aDiffuse;\n  vVertexSpecular = aSpecular;\n";
        s += "  vDiffuse = aDiffuse;\n  vSpecular = aSpecular;\n}\n";
        return s;
    }
    if (toon || v.lighting) s += "  vec3 N = " + normal + ";\n";
    s += LightingText(v, px, k, LightingPlace{"aDiffuse", "aSpecular", "vDiffuse", "vSpecular", "vToon"});
    s += "}\n";
    return s;
}

// The texture-stage cascade of the fixed-function road on the lit colours:
// stage 0 (with the second layer laid over it by its alpha) times the
// diffuse colour, the toon ramps of the toon types, the opacity factor,
// specular, fog and the alpha test. A normal-mapped mesh is lit here first.
std::string PixelText(const VertexShaderBits& v, const PixelShaderBits& px, const GlShaderKey& k) {
    const bool perPixel = LightsPerPixel(v, px);
    std::string s = "#version 330 core\n";
    s += "in vec4 vDiffuse;\nin vec4 vSpecular;\nin vec2 vTex0;\nin vec2 vToon;\nin float vFogDepth;\n";
    s += "uniform sampler2D uSampler0;\nuniform sampler2D uSampler3;\nuniform sampler2D uSampler4;\n";
    if (px.secondLayer && !v.outline) s += "uniform sampler2D uSampler2;\n";
    s += "uniform float uStageTextures[" + GlslInt(kGlShaderStages) + "];\n";
    s += "uniform vec4 uModes;\nuniform vec4 uTextureFactor;\n";
    s += "uniform vec4 uFogColor;\nuniform vec3 uFogParams;\nuniform int uAlphaRef;\nout vec4 fragColor;\n";
    if (perPixel) {
        s += "in vec3 vPosition;\nin vec3 vNormal;\nin vec3 vTangent;\nin vec3 vBinormal;\n"
             "in vec4 vVertexDiffuse;\nin vec4 vVertexSpecular;\n";
        s += "uniform sampler2D uSampler1;\nuniform vec3 uEye;\n";
        s += kMaterialAndLightUniforms;
        s += kHelperFunctions;
    }
    // The pass comes as a flat input: a pass change then changes only the
    // vertex stage's constants.
    const bool branch = !v.outline;
    if (branch) s += "flat in float vPass;\n";
    s += "void main() {\n";
    s += "  vec4 diffuse = vDiffuse, specular = vSpecular;\n  vec2 toonCoords = vToon;\n";
    if (perPixel) {
        // The normal map's colour (0..1) is a direction in the frame of the
        // tangent, the binormal and the normal.
        s += "  if (vPass < 0.5) {\n";
        s += "    vec3 P = vPosition;\n    vec3 V = SafeNormalize(uEye - P);\n";
        s += "    vec3 bump = uStageTextures[1] > 0.5 ? texture(uSampler1, vTex0).xyz * 2.0 - 1.0 : vec3(0.0, 0.0, 1.0);\n";
        s += "    vec3 N = SafeNormalize(bump.x * SafeNormalize(vTangent) + bump.y * SafeNormalize(vBinormal) +\n"
             "                           bump.z * SafeNormalize(vNormal));\n";
        s += LightingText(v, px, k, LightingPlace{"vVertexDiffuse", "vVertexSpecular", "diffuse", "specular", "toonCoords"});
        s += "  }\n";
    }
    s += "  vec4 tex0 = uStageTextures[0] > 0.5 ? texture(uSampler0, vTex0) : vec4(1.0);\n";
    if (px.secondLayer && !v.outline) {
        // The outline pass of a first-pass program reads stage 0 alone.
        s += "  if (vPass < 0.5 && uStageTextures[2] > 0.5) {\n";
        s += "    vec4 layer = texture(uSampler2, vTex0);\n    tex0.rgb = mix(tex0.rgb, layer.rgb, layer.a);\n  }\n";
    }
    s += "  vec4 current = clamp(tex0 * diffuse, 0.0, 1.0);\n";
    const int drawType = v.outline ? 0 : px.drawType;
    // The outline pass of a first-pass program is the plain stage above.
    if (branch) s += "  if (vPass < 0.5) {\n";
    if (drawType == 1 || drawType == 2) {
        s += "  vec4 toon = uStageTextures[3] > 0.5 ? texture(uSampler3, vec2(toonCoords.x)) : vec4(1.0);\n";
        const char* modulate = drawType == 1 ? (px.toonModulate ? "true" : "false") : "uModes.y > 0.5";
        s += std::string("  vec3 toned = ") + modulate + " ? toon.rgb * current.rgb : mix(current.rgb, toon.rgb, toon.a);\n";
        if (drawType == 1) {
            // The toned colour waits in the temporary register while the
            // second ramp lights the specular colour.
            s += "  vec4 temp = vec4(clamp(toned, 0.0, 1.0), current.a);\n";
            s += "  vec4 toon2 = uStageTextures[4] > 0.5 ? texture(uSampler4, vec2(toonCoords.y)) : vec4(1.0);\n";
            s += "  vec3 lit = clamp(toon2.rgb * specular.rgb, 0.0, 1.0);\n";
            const char* add = px.secondToonAdd ? "true" : "uModes.z > 0.5";
            s += std::string("  current = vec4(clamp(") + add + " ? temp.rgb + lit : mix(temp.rgb, lit, current.a), 0.0, 1.0), temp.a);\n";
        } else {
            s += "  current.rgb = clamp(clamp(toned, 0.0, 1.0) + specular.rgb, 0.0, 1.0);\n";
        }
    }
    if (branch) s += "  }\n";
    s += "  if (uModes.x > 0.5) current.rgb = mix(uTextureFactor.rgb, current.rgb, uTextureFactor.a);\n";
    s += "  else current.a *= uTextureFactor.a;\n";
    if (drawType == 0 && !v.outline && px.specular)
        s += "  if (vPass < 0.5) current.rgb = clamp(current.rgb + specular.rgb, 0.0, 1.0);\n";
    s += GlFogAndAlphaTestText(v.fogMode, k.alphaFunc);
    s += "  fragColor = current;\n}\n";
    return s;
}

bool Build(const GlShaderKey& key, GlShaderProgram* out) {
    VertexShaderBits v;
    PixelShaderBits px;
    if (!DecodeVertexShaderIndex(key.vertexShader, &v) || !DecodePixelShaderIndex(key.pixelShader, &px)) return false;
    GLuint p = MakeGlProgramFromText(VertexText(v, px, key), PixelText(v, px, key));
    if (!p) return false;
    GlShaderProgram& g = *out;
    g.program = p;
    g.skin = v.skin;
    g.tangents = v.normalMap;
    g.fogMode = v.fogMode;
    g.alphaFunc = key.alphaFunc;
    g.outlineBranch = !v.outline;
    auto at = [p](const char* name) { return glGetUniformLocation(p, name); };
    g.pass = at("uPass");
    g.matrices = at("uMatrices");
    g.texTransform = at("uTexTransform");
    g.outline = at("uOutline");
    g.renormalise = at("uRenormalise");
    g.normalMatrix = at("uNormalMatrix");
    g.view = at("uView");
    g.projection = at("uProjection");
    g.clipShift = at("uClipShift");
    g.flipY = at("uFlipY");
    g.eye = at("uEye");
    g.modes = at("uModes");
    g.stageTextures = at("uStageTextures");
    g.common = FindGlCommonUniforms(p);
    return true;
}

// The normals of a rigid draw: the inverse transpose of the world matrix's
// 3x3, as a column-major mat3 (which is the inverse read by rows).
void RigidNormalMatrix(const float (*rows)[4], float out[9]) {
    const float a = rows[0][0], b = rows[0][1], c = rows[0][2];
    const float d = rows[1][0], e = rows[1][1], f = rows[1][2];
    const float g = rows[2][0], h = rows[2][1], i = rows[2][2];
    const float A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
    const float det = a * A + b * B + c * C;
    if (!(std::fabs(det) > 1e-20f)) {
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::memcpy(out, identity, sizeof identity);
        return;
    }
    const float inverse[9] = {A / det, -(b * i - c * h) / det, (b * f - c * e) / det,
                              B / det, (a * i - c * g) / det,  -(a * f - c * d) / det,
                              C / det, -(a * h - b * g) / det, (a * e - b * d) / det};
    std::memcpy(out, inverse, sizeof inverse);
}

}  // namespace

int PrepareGlShader(int kind, int index) {
    if (kind == 0) {
        VertexShaderBits v;
        return DecodeVertexShaderIndex(index, &v) ? 0 : -1;
    }
    PixelShaderBits p;
    return DecodePixelShaderIndex(index, &p) ? 0 : -1;
}

GlShaderKey MakeGlShaderKey(const DeviceState& s) {
    GlShaderKey k;
    std::memset(&k, 0, sizeof k);
    k.vertexShader = s.vertexShader;
    k.pixelShader = s.pixelShader;
    for (int i = 0; i < kDeviceLightCount; ++i)
        if (s.lightEnabled[i]) {
            int t = s.lights[i].type;
            k.lightType[i] = uint8_t(t >= DEVICE_LIGHT_POINT && t <= DEVICE_LIGHT_DIRECTIONAL ? t : 0);
        }
    const uint32_t* rs = s.renderStates;
    k.normalize = rs[DEVICE_RS_NORMALIZENORMALS] != 0;
    if (rs[DEVICE_RS_ALPHATESTENABLE]) {
        uint32_t f = rs[DEVICE_RS_ALPHAFUNC];
        if (f >= DEVICE_CMP_NEVER && f < DEVICE_CMP_ALWAYS) k.alphaFunc = uint8_t(f);
    }
    return k;
}

GlShaderProgram* FindGlShaderProgram(const GlShaderKey& key) {
    if (GlShaderState().lastProgram && std::memcmp(&GlShaderState().lastKey, &key, sizeof key) == 0) return GlShaderState().lastProgram;
    const std::string bytes(reinterpret_cast<const char*>(&key), sizeof key);
    auto it = GlShaderState().programs.find(bytes);
    if (it == GlShaderState().programs.end()) {
        GlShaderProgram p{};
        if (!Build(key, &p)) p.program = 0;  // remembered, so a bad key is not rebuilt every draw
        it = GlShaderState().programs.emplace(bytes, p).first;
    }
    if (!it->second.program) return nullptr;
    GlShaderState().lastKey = key;
    GlShaderState().lastProgram = &it->second;
    return &it->second;
}

void ReleaseGlShaderPrograms() {
    for (auto& entry : GlShaderState().programs)
        if (entry.second.program) glDeleteProgram(entry.second.program);
    GlShaderState().programs.clear();
    GlShaderState().lastProgram = nullptr;
    GlShaderState().lastFirstPass = nullptr;
}

GlShaderProgram* FindGlShaderProgramForDraw(const GlShaderKey& key, bool* outlinePass) {
    *outlinePass = false;
    VertexShaderBits v;
    if (!DecodeVertexShaderIndex(key.vertexShader, &v)) return nullptr;
    GlShaderProgram* first = GlShaderState().lastFirstPass;
    if (v.outline && first && first->skin == v.skin && first->tangents == v.normalMap && first->fogMode == v.fogMode &&
        first->alphaFunc == key.alphaFunc) {
        // Switching programs between a mesh and its outline costs the
        // driver more than the branch costs the shaders.
        *outlinePass = true;
        return first;
    }
    GlShaderProgram* program = FindGlShaderProgram(key);
    if (program && program->outlineBranch) GlShaderState().lastFirstPass = program;
    return program;
}

int CountGlShaderPrograms() { return int(GlShaderState().programs.size()); }

namespace {

// Copies `size` bytes into `held` and says whether they differed.
bool HeldUniformChanged(void* held, const void* value, size_t size, bool valid) {
    if (valid && std::memcmp(held, value, size) == 0) return false;
    std::memcpy(held, value, size);
    return true;
}

}  // namespace

void UploadGlShaderUniforms(GlShaderProgram* program, const GlShaderKey& key, const DeviceState& s, bool flipY,
                            bool outlinePass) {
    GlShaderProgram& g = *program;
    GlShaderProgram::Held& h = g.held;
    const bool v = h.valid;
    const float pass = outlinePass ? 1.0f : 0.0f;
    if (HeldUniformChanged(&h.pass, &pass, sizeof pass, v) && g.pass >= 0) glUniform4f(g.pass, pass, 0, 0, 0);
    const float(*c)[4] = s.vertexConstants;
    if (g.skin) {
        glUniform4fv(g.matrices, 3 * kVsPaletteBones, c[kVsRegMatrices]);
    } else if (HeldUniformChanged(h.matrices, c[kVsRegMatrices], sizeof h.matrices, v)) {
        if (g.matrices >= 0) glUniform4fv(g.matrices, 3, c[kVsRegMatrices]);
        if (g.normalMatrix >= 0) {
            float n[9];
            RigidNormalMatrix(&c[kVsRegMatrices], n);
            glUniformMatrix3fv(g.normalMatrix, 1, GL_FALSE, n);
        }
    }
    if (HeldUniformChanged(h.texTransform, c[kVsRegTexTransform], sizeof h.texTransform, v) && g.texTransform >= 0)
        glUniform4fv(g.texTransform, 2, c[kVsRegTexTransform]);
    if (HeldUniformChanged(h.outline, c[kVsRegOutlineWidth], sizeof h.outline, v) && g.outline >= 0)
        glUniform4fv(g.outline, 1, c[kVsRegOutlineWidth]);
    if (HeldUniformChanged(h.renormalise, c[kVsRegRenormalise], sizeof h.renormalise, v) && g.renormalise >= 0)
        glUniform4fv(g.renormalise, 1, c[kVsRegRenormalise]);
    if (HeldUniformChanged(h.view, s.view, sizeof h.view, v)) {
        if (g.view >= 0) glUniformMatrix4fv(g.view, 1, GL_FALSE, s.view);
        if (g.eye >= 0) {
            // The eye is where the view matrix takes the origin from.
            Matrix44 view, inverse;
            std::memcpy(view.m, s.view, sizeof view.m);
            if (!InvertMatrix(view, &inverse)) inverse = MakeIdentityMatrix();
            glUniform3f(g.eye, inverse.m[3][0], inverse.m[3][1], inverse.m[3][2]);
        }
    }
    if (HeldUniformChanged(h.projection, s.projection, sizeof h.projection, v) && g.projection >= 0)
        glUniformMatrix4fv(g.projection, 1, GL_FALSE, s.projection);
    const DeviceViewport& vp = s.viewport;
    const float clip[3] = {1.0f / float(vp.width), -1.0f / float(vp.height), flipY ? -1.0f : 1.0f};
    if (HeldUniformChanged(h.clip, clip, sizeof clip, v)) {
        if (g.clipShift >= 0) glUniform2f(g.clipShift, clip[0], clip[1]);
        if (g.flipY >= 0) glUniform1f(g.flipY, clip[2]);
    }
    if (HeldUniformChanged(&h.material, &s.material, sizeof h.material, v)) {
        UploadGlMaterial(g.common, s.material);
    }
    float colour[4];
    if (HeldUniformChanged(&h.ambient, &s.renderStates[DEVICE_RS_AMBIENT], 4, v) && g.common.ambient >= 0) {
        GlColorOf(s.renderStates[DEVICE_RS_AMBIENT], colour);
        glUniform4fv(g.common.ambient, 1, colour);
    }
    // The program's key fixes which lights are on; their values may move.
    if (HeldUniformChanged(h.lights, s.lights, sizeof h.lights, v)) UploadGlLights(g.common.lights, s, key.lightType, nullptr);
    if (HeldUniformChanged(h.modes, s.pixelConstants[kPsRegModes], sizeof h.modes, v) && g.modes >= 0)
        glUniform4fv(g.modes, 1, s.pixelConstants[kPsRegModes]);
    // An outline pass reads stage 0 alone: the other stages keep what they hold.
    float stages[kGlShaderStages];
    for (int i = 0; i < kGlShaderStages; ++i)
        stages[i] = i > 0 && outlinePass ? h.stageTextures[i] : s.textures[i] ? 1.0f : 0.0f;
    if (HeldUniformChanged(h.stageTextures, stages, sizeof stages, v) && g.stageTextures >= 0)
        glUniform1fv(g.stageTextures, kGlShaderStages, stages);
    if (HeldUniformChanged(&h.factor, &s.renderStates[DEVICE_RS_TEXTUREFACTOR], 4, v) && g.common.textureFactor >= 0) {
        GlColorOf(s.renderStates[DEVICE_RS_TEXTUREFACTOR], colour);
        glUniform4fv(g.common.textureFactor, 1, colour);
    }
    if (HeldUniformChanged(&h.fogColor, &s.renderStates[DEVICE_RS_FOGCOLOR], 4, v) && g.common.fogColor >= 0) {
        GlColorOf(s.renderStates[DEVICE_RS_FOGCOLOR], colour);
        glUniform4fv(g.common.fogColor, 1, colour);
    }
    const uint32_t fog[3] = {s.renderStates[DEVICE_RS_FOGSTART], s.renderStates[DEVICE_RS_FOGEND],
                             s.renderStates[DEVICE_RS_FOGDENSITY]};
    if (HeldUniformChanged(h.fogParams, fog, sizeof fog, v) && g.common.fogParams >= 0)
        glUniform3f(g.common.fogParams, DeviceFloatOfBits(fog[0]), DeviceFloatOfBits(fog[1]), DeviceFloatOfBits(fog[2]));
    const uint32_t alphaRef = s.renderStates[DEVICE_RS_ALPHAREF] & 0xFF;
    if (HeldUniformChanged(&h.alphaRef, &alphaRef, 4, v) && g.common.alphaRef >= 0) glUniform1i(g.common.alphaRef, int(alphaRef));
    h.valid = true;
}

}  // namespace morpotta
