// The fixed-function pipeline as generated GLSL: one program per state key
// (vertex format, lighting set-up, texture-stage cascade, fog, alpha test),
// made on first use and kept for the life of the device. Lighting is done
// per vertex in view space as the fixed-function rules define it.
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

// The last keys looked up: a frame's draws alternate between a few
// programs, and these find them without making a map key. The map's
// entries do not move, so the pointers hold until the programs go.
struct RecentProgram {
    GlProgramKey key;
    const GlProgram* entry;
};
constexpr int kRecentPrograms = 4;

struct GlProgramModule {
    std::unordered_map<std::string, GlProgram> programs;
    RecentProgram recent[kRecentPrograms];
    int recentCount = 0;
    int recentNext = 0;
};

GlProgramModule& GlProgramState() {
    return platform::LastingState<GlProgramModule>();
}

const GlProgram* FindRecentProgram(const GlProgramKey& key) {
    for (int i = 0; i < GlProgramState().recentCount; ++i)
        if (std::memcmp(&GlProgramState().recent[i].key, &key, sizeof key) == 0) return GlProgramState().recent[i].entry;
    return nullptr;
}

void RememberRecentProgram(const GlProgramKey& key, const GlProgram* entry) {
    GlProgramState().recent[GlProgramState().recentNext] = {key, entry};
    GlProgramState().recentNext = (GlProgramState().recentNext + 1) % kRecentPrograms;
    if (GlProgramState().recentCount < kRecentPrograms) ++GlProgramState().recentCount;
}

std::string KeyBytes(const GlProgramKey& key) { return std::string(reinterpret_cast<const char*>(&key), sizeof key); }

// Table fog wins over vertex fog when both are set.
int FogModeOf(const DeviceState& s) {
    int table = int(s.renderStates[DEVICE_RS_FOGTABLEMODE]);
    return table != DEVICE_FOG_NONE ? table : int(s.renderStates[DEVICE_RS_FOGVERTEXMODE]);
}

// ---- GLSL text ----

// Row vector p times a row-major 4x4.
void TransformPoint(const float m[16], const DeviceVector& p, float w, float out[3]) {
    for (int c = 0; c < 3; ++c) out[c] = p.x * m[c] + p.y * m[4 + c] + p.z * m[8 + c] + w * m[12 + c];
}

}  // namespace

std::string GlLightSumsText(const uint8_t lightType[kDeviceLightCount], bool specular) {
    std::string s;
    for (int i = 0; i < kDeviceLightCount; ++i) {
        int type = lightType[i];
        if (!type) continue;
        std::string n = GlslInt(i);
        s += "  {\n    vec3 L; float atten = 1.0; float spot = 1.0;\n";
        if (type == DEVICE_LIGHT_DIRECTIONAL) {
            s += "    L = -normalize(uLightDirection[" + n + "]);\n";
        } else {
            s += "    vec3 toLight = uLightPosition[" + n + "] - P;\n    float d = length(toLight);\n";
            s += "    L = d > 0.0 ? toLight / d : vec3(0.0, 0.0, 1.0);\n";
            s += "    vec4 at = uLightAttenuation[" + n + "];\n";
            s += "    float q = at.x + at.y * d + at.z * d * d;\n";
            s += "    atten = (d > at.w) ? 0.0 : (q > 0.0 ? 1.0 / q : 1.0);\n";
            if (type == DEVICE_LIGHT_SPOT) {
                s += "    vec4 sp = uLightSpot[" + n + "];\n";
                s += "    float rho = dot(normalize(uLightDirection[" + n + "]), -L);\n";
                s += "    spot = rho > sp.x ? 1.0 : (rho <= sp.y ? 0.0 : pow((rho - sp.y) / (sp.x - sp.y), sp.z));\n";
            }
        }
        s += "    float f = atten * spot;\n";
        s += "    diffuseSum += uLightDiffuse[" + n + "].rgb * max(dot(N, L), 0.0) * f;\n";
        s += "    ambientSum += uLightAmbient[" + n + "].rgb * f;\n";
        if (specular) {
            s += "    vec3 H = normalize(V + L);\n";
            s += "    float nh = max(dot(N, H), 0.0);\n";
            s += "    specularSum += uLightSpecular[" + n + "].rgb * (nh > 0.0 ? pow(nh, uMatPower) : 0.0) * f;\n";
        }
        s += "  }\n";
    }
    return s;
}

GlCommonUniforms FindGlCommonUniforms(GLuint program) {
    auto at = [program](const char* name) { return glGetUniformLocation(program, name); };
    GlCommonUniforms u;
    u.matDiffuse = at("uMatDiffuse");
    u.matAmbient = at("uMatAmbient");
    u.matSpecular = at("uMatSpecular");
    u.matEmissive = at("uMatEmissive");
    u.matPower = at("uMatPower");
    u.ambient = at("uAmbient");
    u.lights = FindGlLightUniforms(program);
    u.textureFactor = at("uTextureFactor");
    u.fogColor = at("uFogColor");
    u.fogParams = at("uFogParams");
    u.alphaRef = at("uAlphaRef");
    glUseProgram(program);
    for (int i = 0; i < kDeviceStageCount; ++i) {
        const std::string name = "uSampler" + std::to_string(i);
        u.samplers[i] = at(name.c_str());
        if (u.samplers[i] >= 0) glUniform1i(u.samplers[i], i);
    }
    return u;
}

void UploadGlMaterial(const GlCommonUniforms& u, const DeviceMaterial& m) {
    SetGlColor(u.matDiffuse, m.diffuse);
    SetGlColor(u.matAmbient, m.ambient);
    SetGlColor(u.matSpecular, m.specular);
    SetGlColor(u.matEmissive, m.emissive);
    if (u.matPower >= 0) glUniform1f(u.matPower, m.power);
}

GlLightUniforms FindGlLightUniforms(GLuint program) {
    auto at = [program](const char* name) { return glGetUniformLocation(program, name); };
    return {at("uLightDiffuse"), at("uLightSpecular"), at("uLightAmbient"), at("uLightPosition"),
            at("uLightDirection"), at("uLightAttenuation"), at("uLightSpot")};
}

void UploadGlLights(const GlLightUniforms& u, const DeviceState& s, const uint8_t lightType[kDeviceLightCount],
                    const float* toSpace) {
    float diffuse[32] = {}, specular[32] = {}, amb[32] = {}, pos[24] = {}, dir[24] = {}, att[32] = {}, spot[32] = {};
    for (int i = 0; i < kDeviceLightCount; ++i) {
        if (!lightType[i]) continue;
        const DeviceLight& l = s.lights[i];
        std::memcpy(&diffuse[i * 4], &l.diffuse, 16);
        std::memcpy(&specular[i * 4], &l.specular, 16);
        std::memcpy(&amb[i * 4], &l.ambient, 16);
        if (toSpace) {
            TransformPoint(toSpace, l.position, 1.0f, &pos[i * 3]);
            TransformPoint(toSpace, l.direction, 0.0f, &dir[i * 3]);
        } else {
            std::memcpy(&pos[i * 3], &l.position, 12);
            std::memcpy(&dir[i * 3], &l.direction, 12);
        }
        att[i * 4 + 0] = l.attenuation0;
        att[i * 4 + 1] = l.attenuation1;
        att[i * 4 + 2] = l.attenuation2;
        att[i * 4 + 3] = l.range > 0.0f ? l.range : 3.4e38f;
        spot[i * 4 + 0] = std::cos(l.theta * 0.5f);
        spot[i * 4 + 1] = std::cos(l.phi * 0.5f);
        spot[i * 4 + 2] = l.falloff;
    }
    if (u.diffuse >= 0) glUniform4fv(u.diffuse, 8, diffuse);
    if (u.specular >= 0) glUniform4fv(u.specular, 8, specular);
    if (u.ambient >= 0) glUniform4fv(u.ambient, 8, amb);
    if (u.position >= 0) glUniform3fv(u.position, 8, pos);
    if (u.direction >= 0) glUniform3fv(u.direction, 8, dir);
    if (u.attenuation >= 0) glUniform4fv(u.attenuation, 8, att);
    if (u.spot >= 0) glUniform4fv(u.spot, 8, spot);
}

namespace {

std::string VertexShader(const GlProgramKey& k) {
    std::string s = "#version 330 core\n";
    s += "layout(location=0) in vec4 aPosition;\nlayout(location=1) in vec3 aNormal;\n";
    s += "layout(location=2) in vec4 aDiffuse;\nlayout(location=3) in vec4 aSpecular;\n";
    for (int i = 0; i < k.texSets; ++i) s += "layout(location=" + GlslInt(4 + i) + ") in vec4 aTex" + GlslInt(i) + ";\n";
    s += "uniform mat4 uWorldView;\nuniform mat4 uProjection;\nuniform mat3 uNormalMatrix;\n";
    s += "uniform vec4 uViewport;\nuniform vec2 uClipShift;\nuniform float uFlipY;\n";
    s += "uniform vec4 uMatDiffuse;\nuniform vec4 uMatAmbient;\nuniform vec4 uMatSpecular;\nuniform vec4 uMatEmissive;\n";
    s += "uniform float uMatPower;\nuniform vec4 uAmbient;\n";
    s += "uniform vec4 uLightDiffuse[8];\nuniform vec4 uLightSpecular[8];\nuniform vec4 uLightAmbient[8];\n";
    s += "uniform vec3 uLightPosition[8];\nuniform vec3 uLightDirection[8];\n";
    s += "uniform vec4 uLightAttenuation[8];\nuniform vec4 uLightSpot[8];\n";
    const char* flat = k.flatShade ? "flat " : "";
    s += std::string(flat) + "out vec4 vDiffuse;\n" + flat + "out vec4 vSpecular;\nout float vFogDepth;\n";
    for (int i = 0; i < k.texSets; ++i) s += "out vec4 vTex" + GlslInt(i) + ";\n";
    s += "void main() {\n";
    if (k.pretransformed) {
        // Screen pixels with centres on whole numbers; w from the reciprocal.
        s += "  float w = aPosition.w > 0.0 ? 1.0 / aPosition.w : 1.0;\n";
        s += "  vec2 ndc = vec2((aPosition.x + 0.5 - uViewport.x) / uViewport.z * 2.0 - 1.0,\n";
        s += "                  1.0 - (aPosition.y + 0.5 - uViewport.y) / uViewport.w * 2.0);\n";
        s += "  gl_Position = vec4(ndc.x * w, ndc.y * w * uFlipY, (aPosition.z * 2.0 - 1.0) * w, w);\n";
        s += "  vec3 P = aPosition.xyz;\n  vFogDepth = 0.0;\n";
    } else {
        s += "  vec3 P = (uWorldView * vec4(aPosition.xyz, 1.0)).xyz;\n";
        s += "  vec4 clip = uProjection * vec4(P, 1.0);\n";
        // Depth 0..w becomes -w..w; whole-number pixel centres.
        s += "  clip.z = clip.z * 2.0 - clip.w;\n";
        s += "  clip.xy += uClipShift * clip.w;\n  clip.y *= uFlipY;\n";
        s += "  gl_Position = clip;\n  vFogDepth = P.z;\n";
    }
    s += k.hasDiffuse ? "  vec4 vertexDiffuse = aDiffuse;\n" : "  vec4 vertexDiffuse = vec4(1.0);\n";
    s += k.hasSpecular ? "  vec4 vertexSpecular = aSpecular;\n" : "  vec4 vertexSpecular = vec4(0.0);\n";
    if (!k.lighting) {
        s += "  vDiffuse = vertexDiffuse;\n  vSpecular = vertexSpecular;\n";
    } else {
        auto source = [&](int src, const char* material) -> std::string {
            if (k.colorVertex && src == DEVICE_MCS_COLOR1 && k.hasDiffuse) return "aDiffuse";
            if (k.colorVertex && src == DEVICE_MCS_COLOR2 && k.hasSpecular) return "aSpecular";
            return material;
        };
        s += "  vec4 cd = " + source(k.diffuseSource, "uMatDiffuse") + ";\n";
        s += "  vec4 cs = " + source(k.specularSource, "uMatSpecular") + ";\n";
        s += "  vec4 ca = " + source(k.ambientSource, "uMatAmbient") + ";\n";
        s += "  vec4 ce = " + source(k.emissiveSource, "uMatEmissive") + ";\n";
        s += k.hasNormal ? "  vec3 N = uNormalMatrix * aNormal;\n" : "  vec3 N = vec3(0.0);\n";
        if (k.normalize) s += "  if (dot(N, N) > 0.0) N = normalize(N);\n";
        s += "  vec3 ambientSum = uAmbient.rgb;\n  vec3 diffuseSum = vec3(0.0);\n  vec3 specularSum = vec3(0.0);\n";
        s += "  vec3 V = length(P) > 0.0 ? normalize(-P) : vec3(0.0, 0.0, -1.0);\n";
        s += GlLightSumsText(k.lightType, k.specularEnable);
        s += "  vDiffuse = vec4(clamp(ce.rgb + ca.rgb * ambientSum + cd.rgb * diffuseSum, 0.0, 1.0), cd.a);\n";
        s += "  vSpecular = vec4(clamp(cs.rgb * specularSum, 0.0, 1.0), cs.a);\n";
    }
    for (int i = 0; i < k.texSets; ++i) s += "  vTex" + GlslInt(i) + " = aTex" + GlslInt(i) + ";\n";
    s += "}\n";
    return s;
}

std::string ArgExpr(int arg, int stage, bool alpha) {
    std::string v;
    switch (arg & DEVICE_TA_SELECTMASK) {
    case DEVICE_TA_DIFFUSE: v = "vDiffuse"; break;
    case DEVICE_TA_CURRENT: v = stage == 0 ? "vDiffuse" : "current"; break;
    case DEVICE_TA_TEXTURE: v = "tex" + GlslInt(stage); break;
    case DEVICE_TA_TFACTOR: v = "uTextureFactor"; break;
    case DEVICE_TA_SPECULAR: v = "vSpecular"; break;
    case DEVICE_TA_TEMP: v = "temp"; break;
    default: v = "vec4(1.0)"; break;
    }
    if (arg & DEVICE_TA_COMPLEMENT) v = "(vec4(1.0) - " + v + ")";
    if ((arg & DEVICE_TA_ALPHAREPLICATE) || alpha) v = v + ".aaaa";
    return v;
}

// The operation on two arguments, on rgb (vec3) or alpha (float).
std::string OpExpr(int op, int stage, const std::string& a1, const std::string& a2, const std::string& sel,
                   const std::string& a1full) {
    std::string ta = "tex" + GlslInt(stage) + ".a";
    std::string ca = stage == 0 ? "vDiffuse.a" : "current.a";
    switch (op) {
    case DEVICE_TOP_SELECTARG1: return a1;
    case DEVICE_TOP_SELECTARG2: return a2;
    case DEVICE_TOP_MODULATE: return a1 + " * " + a2;
    case DEVICE_TOP_MODULATE2X: return a1 + " * " + a2 + " * 2.0";
    case DEVICE_TOP_MODULATE4X: return a1 + " * " + a2 + " * 4.0";
    case DEVICE_TOP_ADD: return a1 + " + " + a2;
    case DEVICE_TOP_ADDSIGNED: return a1 + " + " + a2 + " - 0.5";
    case DEVICE_TOP_ADDSIGNED2X: return "(" + a1 + " + " + a2 + " - 0.5) * 2.0";
    case DEVICE_TOP_SUBTRACT: return a1 + " - " + a2;
    case DEVICE_TOP_ADDSMOOTH: return a1 + " + " + a2 + " - " + a1 + " * " + a2;
    case DEVICE_TOP_BLENDDIFFUSEALPHA: return "mix(" + a2 + ", " + a1 + ", vDiffuse.a)";
    case DEVICE_TOP_BLENDTEXTUREALPHA: return "mix(" + a2 + ", " + a1 + ", " + ta + ")";
    case DEVICE_TOP_BLENDFACTORALPHA: return "mix(" + a2 + ", " + a1 + ", uTextureFactor.a)";
    case DEVICE_TOP_BLENDTEXTUREALPHAPM: return a1 + " + " + a2 + " * (1.0 - " + ta + ")";
    case DEVICE_TOP_BLENDCURRENTALPHA: return "mix(" + a2 + ", " + a1 + ", " + ca + ")";
    case DEVICE_TOP_MODULATEALPHA_ADDCOLOR: return a1 + " + " + a1full + ".a * " + a2;
    case DEVICE_TOP_MODULATECOLOR_ADDALPHA: return a1 + " * " + a2 + " + " + a1full + ".a";
    case DEVICE_TOP_MODULATEINVALPHA_ADDCOLOR: return a1 + " + (1.0 - " + a1full + ".a) * " + a2;
    case DEVICE_TOP_MODULATEINVCOLOR_ADDALPHA: return "(1.0 - " + a1 + ") * " + a2 + " + " + a1full + ".a";
    case DEVICE_TOP_DOTPRODUCT3:
        return sel + "(dot(" + a1full + ".rgb * 2.0 - 1.0, " + "(" + a2 + ")" + " * 2.0 - 1.0))";
    default: return a1;
    }
}

std::string CompareExpr(int func) {
    switch (func) {
    case DEVICE_CMP_NEVER: return "false";
    case DEVICE_CMP_LESS: return "a < uAlphaRef";
    case DEVICE_CMP_EQUAL: return "a == uAlphaRef";
    case DEVICE_CMP_LESSEQUAL: return "a <= uAlphaRef";
    case DEVICE_CMP_GREATER: return "a > uAlphaRef";
    case DEVICE_CMP_NOTEQUAL: return "a != uAlphaRef";
    case DEVICE_CMP_GREATEREQUAL: return "a >= uAlphaRef";
    default: return "true";
    }
}

GLuint CompileGlShader(GLenum kind, const std::string& text) {
    GLuint shader = glCreateShader(kind);
    const char* src = text.c_str();
    glShaderSource(shader, 1, &src, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char info[1024] = {};
        glGetShaderInfoLog(shader, sizeof info - 1, nullptr, info);
        WriteLogFormat("Generated shader failed to compile: %s", info);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

GLuint MakeGlProgramFromText(const std::string& vertexText, const std::string& fragmentText) {
    GLuint vs = CompileGlShader(GL_VERTEX_SHADER, vertexText);
    GLuint fs = vs ? CompileGlShader(GL_FRAGMENT_SHADER, fragmentText) : 0;
    if (!vs || !fs) {
        if (vs) glDeleteShader(vs);
        return 0;
    }
    GLuint p = glCreateProgram();
    glAttachShader(p, vs);
    glAttachShader(p, fs);
    glLinkProgram(p);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        char info[1024] = {};
        glGetProgramInfoLog(p, sizeof info - 1, nullptr, info);
        WriteLogFormat("Generated program failed to link: %s", info);
        glDeleteProgram(p);
        return 0;
    }
    return p;
}

std::string GlFogAndAlphaTestText(int fogMode, int alphaFunc) {
    std::string s;
    if (fogMode) {
        s += "  float z = abs(vFogDepth);\n  float fog = 1.0;\n";
        switch (fogMode) {
        case DEVICE_FOG_LINEAR:
            s += "  if (uFogParams.y != uFogParams.x) fog = (uFogParams.y - z) / (uFogParams.y - uFogParams.x);\n";
            break;
        case DEVICE_FOG_EXP: s += "  fog = exp(-uFogParams.z * z);\n"; break;
        case DEVICE_FOG_EXP2: s += "  fog = exp(-(uFogParams.z * z) * (uFogParams.z * z));\n"; break;
        default: s += "  fog = vSpecular.a;\n"; break;
        }
        s += "  current.rgb = mix(uFogColor.rgb, current.rgb, clamp(fog, 0.0, 1.0));\n";
    }
    if (alphaFunc) {
        s += "  int a = int(floor(current.a * 255.0 + 0.5));\n";
        s += "  if (!(" + CompareExpr(alphaFunc) + ")) discard;\n";
    }
    return s;
}

void GlColorOf(uint32_t argb, float out[4]) {
    out[0] = float((argb >> 16) & 0xFF) / 255.0f;
    out[1] = float((argb >> 8) & 0xFF) / 255.0f;
    out[2] = float(argb & 0xFF) / 255.0f;
    out[3] = float(argb >> 24) / 255.0f;
}

void SetGlColor(GLint at, const DeviceColorValue& c) {
    if (at >= 0) glUniform4f(at, c.r, c.g, c.b, c.a);
}

namespace {

std::string FragmentShader(const GlProgramKey& k) {
    std::string s = "#version 330 core\n";
    const char* flat = k.flatShade ? "flat " : "";
    s += std::string(flat) + "in vec4 vDiffuse;\n" + flat + "in vec4 vSpecular;\nin float vFogDepth;\n";
    for (int i = 0; i < k.texSets; ++i) s += "in vec4 vTex" + GlslInt(i) + ";\n";
    for (int i = 0; i < k.stageCount; ++i)
        if (k.stages[i].hasTexture) s += "uniform sampler2D uSampler" + GlslInt(i) + ";\n";
    s += "uniform vec4 uTextureFactor;\nuniform vec4 uFogColor;\nuniform vec3 uFogParams;\nuniform int uAlphaRef;\n";
    s += "out vec4 fragColor;\nvoid main() {\n  vec4 current = vDiffuse;\n  vec4 temp = vec4(0.0);\n";
    for (int i = 0; i < k.stageCount; ++i) {
        const GlProgramKey::Stage& st = k.stages[i];
        std::string n = GlslInt(i);
        if (st.hasTexture) {
            std::string coords = st.texCoordSet < k.texSets ? "vTex" + GlslInt(st.texCoordSet) + ".xy" : "vec2(0.0)";
            s += "  vec4 tex" + n + " = texture(uSampler" + n + ", " + coords + ");\n";
        } else {
            // A stage without a texture reads white, so it leaves the colour as it is.
            s += "  vec4 tex" + n + " = vec4(1.0);\n";
        }
        std::string c1 = ArgExpr(st.colorArg1, i, false), c2 = ArgExpr(st.colorArg2, i, false);
        std::string rgb = OpExpr(st.colorOp, i, "(" + c1 + ").rgb", "(" + c2 + ").rgb", "vec3", "(" + c1 + ")");
        std::string alpha;
        std::string prevAlpha = i == 0 ? "vDiffuse.a" : "current.a";
        if (st.alphaOp == DEVICE_TOP_DISABLE) {
            alpha = prevAlpha;
        } else {
            std::string a1 = ArgExpr(st.alphaArg1, i, true), a2 = ArgExpr(st.alphaArg2, i, true);
            alpha = OpExpr(st.alphaOp, i, "(" + a1 + ").a", "(" + a2 + ").a", "float", "(" + a1 + ")");
            if (st.alphaOp == DEVICE_TOP_DOTPRODUCT3) alpha = "(" + a1 + ").a";
        }
        std::string result = "clamp(vec4(" + rgb + ", " + alpha + "), 0.0, 1.0)";
        if (st.colorOp == DEVICE_TOP_DOTPRODUCT3) {
            std::string d = "clamp(dot((" + c1 + ").rgb * 2.0 - 1.0, (" + c2 + ").rgb * 2.0 - 1.0), 0.0, 1.0)";
            result = "vec4(" + d + ")";
        }
        s += "  " + std::string(st.resultTemp ? "temp" : "current") + " = " + result + ";\n";
    }
    if (k.specularEnable) s += "  current.rgb = clamp(current.rgb + vSpecular.rgb, 0.0, 1.0);\n";
    s += GlFogAndAlphaTestText(k.fogMode, k.alphaFunc);
    s += "  fragColor = current;\n}\n";
    return s;
}

bool BuildProgram(const GlProgramKey& key, GlProgram* out) {
    GLuint p = MakeGlProgramFromText(VertexShader(key), FragmentShader(key));
    if (!p) return false;
    GlProgram& g = *out;
    g.program = p;
    auto at = [p](const char* name) { return glGetUniformLocation(p, name); };
    g.worldView = at("uWorldView");
    g.projection = at("uProjection");
    g.normalMatrix = at("uNormalMatrix");
    g.viewport = at("uViewport");
    g.clipShift = at("uClipShift");
    g.flipY = at("uFlipY");
    g.common = FindGlCommonUniforms(p);
    return true;
}


}  // namespace

GlProgramKey MakeGlProgramKey(const DeviceState& s, uint32_t fvf) {
    GlProgramKey k;
    std::memset(&k, 0, sizeof k);
    const uint32_t* rs = s.renderStates;
    k.pretransformed = (fvf & DEVICE_FVF_POSITION_MASK) == DEVICE_FVF_XYZRHW;
    k.hasNormal = (fvf & DEVICE_FVF_NORMAL) != 0;
    k.hasDiffuse = (fvf & DEVICE_FVF_DIFFUSE) != 0;
    k.hasSpecular = (fvf & DEVICE_FVF_SPECULAR) != 0;
    k.texSets = uint8_t((fvf & DEVICE_FVF_TEXCOUNT_MASK) >> DEVICE_FVF_TEXCOUNT_SHIFT);
    k.lighting = !k.pretransformed && rs[DEVICE_RS_LIGHTING] != 0;
    k.specularEnable = rs[DEVICE_RS_SPECULARENABLE] != 0;
    if (k.lighting) {
        k.normalize = rs[DEVICE_RS_NORMALIZENORMALS] != 0;
        k.colorVertex = rs[DEVICE_RS_COLORVERTEX] != 0;
        k.diffuseSource = uint8_t(rs[DEVICE_RS_DIFFUSEMATERIALSOURCE]);
        k.specularSource = uint8_t(rs[DEVICE_RS_SPECULARMATERIALSOURCE]);
        k.ambientSource = uint8_t(rs[DEVICE_RS_AMBIENTMATERIALSOURCE]);
        k.emissiveSource = uint8_t(rs[DEVICE_RS_EMISSIVEMATERIALSOURCE]);
        for (int i = 0; i < kDeviceLightCount; ++i)
            if (s.lightEnabled[i]) {
                int t = s.lights[i].type;
                k.lightType[i] = uint8_t(t >= DEVICE_LIGHT_POINT && t <= DEVICE_LIGHT_DIRECTIONAL ? t : 0);
            }
    }
    k.flatShade = rs[DEVICE_RS_SHADEMODE] == DEVICE_SHADE_FLAT;
    if (rs[DEVICE_RS_FOGENABLE]) {
        int mode = FogModeOf(s);
        if (mode < DEVICE_FOG_EXP || mode > DEVICE_FOG_LINEAR) mode = kGlFogFromSpecularAlpha;
        if (k.pretransformed && rs[DEVICE_RS_FOGTABLEMODE] == DEVICE_FOG_NONE) mode = kGlFogFromSpecularAlpha;
        k.fogMode = uint8_t(mode);
    }
    if (rs[DEVICE_RS_ALPHATESTENABLE]) {
        uint32_t f = rs[DEVICE_RS_ALPHAFUNC];
        k.alphaFunc = uint8_t(f >= DEVICE_CMP_NEVER && f <= DEVICE_CMP_ALWAYS ? f : uint32_t(DEVICE_CMP_ALWAYS));
        if (k.alphaFunc == DEVICE_CMP_ALWAYS) k.alphaFunc = 0;
    }
    int n = 0;
    for (; n < kDeviceStageCount; ++n) {
        const uint32_t* ts = s.stageStates[n];
        if (ts[DEVICE_TSS_COLOROP] == DEVICE_TOP_DISABLE || ts[DEVICE_TSS_COLOROP] == 0) break;
        GlProgramKey::Stage& st = k.stages[n];
        st.colorOp = uint8_t(ts[DEVICE_TSS_COLOROP]);
        st.colorArg1 = uint8_t(ts[DEVICE_TSS_COLORARG1]);
        st.colorArg2 = uint8_t(ts[DEVICE_TSS_COLORARG2]);
        st.alphaOp = uint8_t(ts[DEVICE_TSS_ALPHAOP] ? ts[DEVICE_TSS_ALPHAOP] : uint32_t(DEVICE_TOP_DISABLE));
        st.alphaArg1 = uint8_t(ts[DEVICE_TSS_ALPHAARG1]);
        st.alphaArg2 = uint8_t(ts[DEVICE_TSS_ALPHAARG2]);
        st.texCoordSet = uint8_t(ts[DEVICE_TSS_TEXCOORDINDEX] & 7);
        st.resultTemp = ts[DEVICE_TSS_RESULTARG] == DEVICE_TA_TEMP;
        st.hasTexture = s.textures[n] != nullptr;
    }
    k.stageCount = uint8_t(n);
    return k;
}

const GlProgram* FindGlProgram(const GlProgramKey& key) {
    const GlProgram* entry = FindRecentProgram(key);
    if (!entry) {
        std::string bytes = KeyBytes(key);
        auto it = GlProgramState().programs.find(bytes);
        if (it == GlProgramState().programs.end()) {
            GlProgram p{};
            if (!BuildProgram(key, &p)) p.program = 0;  // remembered, so a bad key is not rebuilt every draw
            it = GlProgramState().programs.emplace(bytes, p).first;
        }
        entry = &it->second;
        RememberRecentProgram(key, entry);
    }
    return entry->program ? entry : nullptr;
}

void ReleaseGlPrograms() {
    for (auto& entry : GlProgramState().programs)
        if (entry.second.program) glDeleteProgram(entry.second.program);
    GlProgramState().programs.clear();
    GlProgramState().recentCount = GlProgramState().recentNext = 0;
}

int CountGlPrograms() { return int(GlProgramState().programs.size()); }

void UploadGlUniforms(const GlProgram& g, const GlProgramKey& key, const DeviceState& s, bool flipY) {
    const DeviceViewport& vp = s.viewport;
    if (g.viewport >= 0) glUniform4f(g.viewport, float(vp.x), float(vp.y), float(vp.width), float(vp.height));
    if (g.flipY >= 0) glUniform1f(g.flipY, flipY ? -1.0f : 1.0f);
    if (key.pretransformed) {
        // Pretransformed draws still read the texture factor, fog and alpha reference below.
    } else {
        Matrix44 world, view, worldView;
        std::memcpy(world.m, s.world, sizeof world.m);
        std::memcpy(view.m, s.view, sizeof view.m);
        BuildProductMatrix(&worldView, &world, &view);
        glUniformMatrix4fv(g.worldView, 1, GL_FALSE, &worldView.m[0][0]);
        glUniformMatrix4fv(g.projection, 1, GL_FALSE, s.projection);
        if (g.clipShift >= 0) glUniform2f(g.clipShift, 1.0f / float(vp.width), -1.0f / float(vp.height));
        if (key.lighting) {
            // Normals go through the inverse transpose of the world-view 3x3.
            Matrix44 inverse;
            if (!InvertMatrix(worldView, &inverse)) inverse = MakeIdentityMatrix();
            float n[9];
            // Row vectors: n' = n x (M^-1)^T; as a column-major mat3 that is M^-1 read by rows.
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) n[r * 3 + c] = inverse.m[c][r];
            glUniformMatrix3fv(g.normalMatrix, 1, GL_FALSE, n);
            UploadGlMaterial(g.common, s.material);
            float ambient[4];
            GlColorOf(s.renderStates[DEVICE_RS_AMBIENT], ambient);
            if (g.common.ambient >= 0) glUniform4fv(g.common.ambient, 1, ambient);
            UploadGlLights(g.common.lights, s, key.lightType, s.view);
        }
    }
    float c[4];
    GlColorOf(s.renderStates[DEVICE_RS_TEXTUREFACTOR], c);
    if (g.common.textureFactor >= 0) glUniform4fv(g.common.textureFactor, 1, c);
    GlColorOf(s.renderStates[DEVICE_RS_FOGCOLOR], c);
    if (g.common.fogColor >= 0) glUniform4fv(g.common.fogColor, 1, c);
    if (g.common.fogParams >= 0)
        glUniform3f(g.common.fogParams, DeviceFloatOfBits(s.renderStates[DEVICE_RS_FOGSTART]),
                    DeviceFloatOfBits(s.renderStates[DEVICE_RS_FOGEND]),
                    DeviceFloatOfBits(s.renderStates[DEVICE_RS_FOGDENSITY]));
    if (g.common.alphaRef >= 0) glUniform1i(g.common.alphaRef, int(s.renderStates[DEVICE_RS_ALPHAREF] & 0xFF));
}

}  // namespace morpotta
