// OpenGL 3.3 core back end: stands in for the fixed-function graphics
// adapter. Everything renders into a 640x480 off-screen target that the
// present scales to the window; draws from user memory stream through ring
// buffers; the fixed-function pipeline comes from gl_program.cpp.
// Programmable shaders: the mesh-drawing table of gl_shader_program.cpp.
// Limits: anisotropy only where the driver offers it; a stage without a
// texture reads white.
// Depends on: libepoxy and the GL context of the platform window.
#include "graphics/device/gl/gl_internal.h"

#include "engine/log.h"
#include "engine/memory.h"
#include "foundation/subsystems.h"
#include "platform/allocator.h"
#include "platform/lasting_state.h"
#include "platform/window.h"

#include <cstring>
#include <vector>

namespace morpotta {

namespace {

constexpr GLsizeiptr kVertexRingBytes = 4 << 20;
constexpr GLsizeiptr kIndexRingBytes = 1 << 20;
constexpr int kGlRasterStates = 10;
constexpr GLsizeiptr kIndexBufferTailBytes = 16;
// A software rasteriser bins a frame's triangles in memory it takes in
// small blocks and frees once the frame is drawn: some 10 MB for a busy
// field. Heap trimmed back after each frame, the next one would fault all
// of it in again, page by page (a fifth of the main thread's time).
constexpr size_t kFrameHeapBytes = 32u << 20;

struct GlTarget {
    GLuint framebuffer = 0, color = 0, depth = 0;
};

struct GlState {
    bool open = false;
    GlTarget main;
    GLuint vertexArray = 0;
    GLuint samplers[kDeviceStageCount] = {};
    GLuint vertexRing = 0, indexRing = 0;
    GLsizeiptr vertexRingPos = 0, indexRingPos = 0;
    bool anisotropy = false;
    GLuint boundFramebuffer = 0;
    // The viewport and the raster states last given to GL (valid false:
    // not known), so a draw sends only what differs.
    bool viewportKnown = false;
    GLint viewport[4] = {};
    float depthRange[2] = {};
    bool rasterKnown = false;
    uint32_t raster[kGlRasterStates] = {};
    // What the texture units and samplers hold, so a draw sends only what
    // differs (kUnknown: not known).
    GLuint unitTexture[kDeviceStageCount];
    GLint samplerParams[kDeviceStageCount][6];
    bool samplerKnown[kDeviceStageCount];
    // The attribute layout of the last shader draw (buffer, layout, stride, start).
    struct ShaderAttributes {
        bool valid;
        GLuint buffer;
        int skin;
        bool tangents;
        int stride;
        GLintptr base;
    } shaderAttributes;
};

constexpr GLuint kUnknownTexture = ~GLuint(0);

struct GlModule {
    GlState gl = {};
};

GlModule& GlDeviceState() {
    return platform::LastingState<GlModule>();
}

void ForgetUnits() {
    for (GLuint& t : GlDeviceState().gl.unitTexture) t = kUnknownTexture;
    for (bool& k : GlDeviceState().gl.samplerKnown) k = false;
    GlDeviceState().gl.shaderAttributes.valid = false;
}

struct GlTexture {
    GLuint name;
    GLuint framebuffer;  // render targets: made on first use with a depth buffer of their size
    GLuint depth;
};

struct GlFormat {
    GLint internal;
    GLenum format, type;
};

bool FormatOf(int format, GlFormat* out) {
    switch (format) {
    case DEVICE_FMT_A8R8G8B8:
    case DEVICE_FMT_X8R8G8B8: *out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV}; return true;
    case DEVICE_FMT_R5G6B5: *out = {GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5}; return true;
    case DEVICE_FMT_A1R5G5B5: *out = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV}; return true;
    case DEVICE_FMT_A4R4G4B4: *out = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV}; return true;
    default: return false;
    }
}

bool MakeTarget(GlTarget* t) {
    glGenFramebuffers(1, &t->framebuffer);
    glGenRenderbuffers(1, &t->color);
    glGenRenderbuffers(1, &t->depth);
    glBindRenderbuffer(GL_RENDERBUFFER, t->color);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kDeviceTargetWidth, kDeviceTargetHeight);
    glBindRenderbuffer(GL_RENDERBUFFER, t->depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, kDeviceTargetWidth, kDeviceTargetHeight);
    glBindFramebuffer(GL_FRAMEBUFFER, t->framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, t->color);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, t->depth);
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

void DropTarget(GlTarget* t) {
    if (t->framebuffer) glDeleteFramebuffers(1, &t->framebuffer);
    if (t->color) glDeleteRenderbuffers(1, &t->color);
    if (t->depth) glDeleteRenderbuffers(1, &t->depth);
    *t = GlTarget{};
}

// What an attribute a vertex source lacks reads: no normal, a white diffuse
// colour, a black specular one, texture coordinates (0, 0, 0, 1). Set once:
// a value set before every draw would make the driver look at its vertex
// arrays again for every draw.
void SetAbsentAttributeValues() {
    glVertexAttrib3f(1, 0, 0, 0);
    glVertexAttrib4f(2, 1, 1, 1, 1);
    glVertexAttrib4f(3, 0, 0, 0, 0);
    for (GLuint i = 4; i < 12; ++i) glVertexAttrib4f(i, 0, 0, 0, 1);
}

// A context that is current on the calling thread: at the process's end
// the engine may end on another thread than the one it is current on.
bool ContextPresent() {
    const platform::WindowBackend& w = platform::Window();
    return OnContextThread() && w.glGetProcAddress && w.glGetProcAddress("glGetString") != nullptr && w.isOpen && w.isOpen();
}

void GlClose();

// The driver sets up its shader compiler at its first draw, and with it
// exit handlers of its own (its JIT's debugger listener, its code
// generator's tables). One draw here, before the engine's end at the
// process's end is arranged for the last time, puts those handlers before
// that end, so that they run after it (ArrangeEndAtExitAfterTheDriver says
// why).
void WarmUpDriver() {
    const GLuint program = MakeGlProgramFromText(
        "#version 330 core\nvoid main() { gl_Position = vec4(float(gl_VertexID & 1), float(gl_VertexID >> 1), 0.0, "
        "1.0); }\n",
        "#version 330 core\nout vec4 colour;\nvoid main() { colour = vec4(0.0); }\n");
    if (!program) return;
    glUseProgram(program);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glFinish();
    glUseProgram(0);
    glDeleteProgram(program);
}

int GlOpen() {
    if (!ContextPresent()) return WriteLogText("No GL context: the window was opened without one");
    if (epoxy_gl_version() < 33) return WriteLogFormat("GL 3.3 is needed, the context offers %d", epoxy_gl_version());
    GlDeviceState().gl = GlState{};
    platform::KeepFreeHeapTop(kFrameHeapBytes);
    if (!MakeTarget(&GlDeviceState().gl.main)) {
        DropTarget(&GlDeviceState().gl.main);
        return WriteLogText("The off-screen target could not be made");
    }
    GlDeviceState().gl.boundFramebuffer = GlDeviceState().gl.main.framebuffer;
    ForgetUnits();
    glGenVertexArrays(1, &GlDeviceState().gl.vertexArray);
    glBindVertexArray(GlDeviceState().gl.vertexArray);
    glGenSamplers(kDeviceStageCount, GlDeviceState().gl.samplers);
    SetAbsentAttributeValues();
    glGenBuffers(1, &GlDeviceState().gl.vertexRing);
    glBindBuffer(GL_ARRAY_BUFFER, GlDeviceState().gl.vertexRing);
    glBufferData(GL_ARRAY_BUFFER, kVertexRingBytes, nullptr, GL_STREAM_DRAW);
    glGenBuffers(1, &GlDeviceState().gl.indexRing);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, GlDeviceState().gl.indexRing);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, kIndexRingBytes, nullptr, GL_STREAM_DRAW);
    GlDeviceState().gl.anisotropy = epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
                    epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic");
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    glViewport(0, 0, kDeviceTargetWidth, kDeviceTargetHeight);
    WarmUpDriver();
    ArrangeEndAtExitAfterTheDriver(DriverStage::kCompilerRun);
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    GlDeviceState().gl.open = true;
    if (glGetError() != GL_NO_ERROR) {
        GlClose();
        return WriteLogText("GL reported an error while the device was set up");
    }
    return 0;
}

void GlClose() {
    if (!ContextPresent()) {
        GlDeviceState().gl = GlState{};
        return;
    }
    ReleaseGlPrograms();
    ReleaseGlShaderPrograms();
    DropTarget(&GlDeviceState().gl.main);
    if (GlDeviceState().gl.vertexArray) glDeleteVertexArrays(1, &GlDeviceState().gl.vertexArray);
    glDeleteSamplers(kDeviceStageCount, GlDeviceState().gl.samplers);
    if (GlDeviceState().gl.vertexRing) glDeleteBuffers(1, &GlDeviceState().gl.vertexRing);
    if (GlDeviceState().gl.indexRing) glDeleteBuffers(1, &GlDeviceState().gl.indexRing);
    GlDeviceState().gl = GlState{};
}

void GlNoteCall(const DeviceCall&) {}

int GlCreateBuffer(DeviceBufferRecord* b) {
    GLuint name = 0;
    glGenBuffers(1, &name);
    GLenum target = b->isIndex ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER;
    glBindBuffer(target, name);
    const GLenum usage = (b->usage & DEVICE_USAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW;
    if (b->isIndex) {
        // A software driver takes its quick road (each vertex of the range
        // shaded once, no per-index cache) only for a draw that ends short
        // of the end of its index buffer: a spare tail no draw reads keeps
        // the last range of a buffer, a mesh's outline, on that road.
        glBufferData(target, b->length + kIndexBufferTailBytes, nullptr, usage);
        glBufferSubData(target, 0, b->length, b->bytes);
    } else {
        glBufferData(target, b->length, b->bytes, usage);
    }
    b->backendData = name;
    return 0;
}

void GlUploadBuffer(DeviceBufferRecord* b, int offset, int size) {
    GLenum target = b->isIndex ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER;
    glBindBuffer(target, GLuint(b->backendData));
    glBufferSubData(target, offset, size, b->bytes + offset);
}

// Objects released after the window closed went with its context: there
// is nothing left to delete, and no GL call may be made.
void GlReleaseBuffer(DeviceBufferRecord* b) {
    GLuint name = GLuint(b->backendData);
    if (GlDeviceState().gl.shaderAttributes.buffer == name) GlDeviceState().gl.shaderAttributes.valid = false;
    if (name && ContextPresent()) glDeleteBuffers(1, &name);
    b->backendData = 0;
}

int GlCreateTexture(DeviceTexture* t) {
    GlFormat f;
    if (!FormatOf(t->format, &f)) return -1;
    auto* record = static_cast<GlTexture*>(ENGINE_ALLOC_ZERO(sizeof(GlTexture)));
    if (!record) return -1;
    glGenTextures(1, &record->name);
    glBindTexture(GL_TEXTURE_2D, record->name);
    GlDeviceState().gl.unitTexture[0] = record->name;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, t->levels - 1);
    if (t->format == DEVICE_FMT_X8R8G8B8) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    for (int l = 0; l < t->levels; ++l)
        glTexImage2D(GL_TEXTURE_2D, l, f.internal, t->level[l].width, t->level[l].height, 0, f.format, f.type,
                     t->level[l].bytes);
    t->backendData = reinterpret_cast<uintptr_t>(record);
    return 0;
}

void GlUploadTexture(DeviceTexture* t, int level) {
    GlFormat f;
    if (!FormatOf(t->format, &f)) return;
    auto* record = reinterpret_cast<GlTexture*>(t->backendData);
    glBindTexture(GL_TEXTURE_2D, record->name);
    GlDeviceState().gl.unitTexture[0] = record->name;
    const DeviceTextureLevel& lv = t->level[level];
    glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, lv.width, lv.height, f.format, f.type, lv.bytes);
}

void GlReleaseTexture(DeviceTexture* t) {
    auto* record = reinterpret_cast<GlTexture*>(t->backendData);
    if (!record) return;
    if (!ContextPresent()) {
        FreeMemory(record);
        t->backendData = 0;
        return;
    }
    if (record->framebuffer) {
        if (GlDeviceState().gl.boundFramebuffer == record->framebuffer) GlDeviceState().gl.boundFramebuffer = 0;
        glDeleteFramebuffers(1, &record->framebuffer);
        glDeleteRenderbuffers(1, &record->depth);
    }
    // A deleted texture leaves its units empty; a later one may take its name.
    for (GLuint& unit : GlDeviceState().gl.unitTexture)
        if (unit == record->name) unit = kUnknownTexture;
    glDeleteTextures(1, &record->name);
    FreeMemory(record);
    t->backendData = 0;
}

GLenum CompareOf(uint32_t v) {
    static const GLenum kCompare[] = {GL_ALWAYS, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL,
                                      GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return v <= 8 ? kCompare[v] : GL_ALWAYS;
}

GLenum BlendOf(uint32_t v) {
    switch (v) {
    case DEVICE_BLEND_ZERO: return GL_ZERO;
    case DEVICE_BLEND_ONE: return GL_ONE;
    case DEVICE_BLEND_SRCCOLOR: return GL_SRC_COLOR;
    case DEVICE_BLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case DEVICE_BLEND_SRCALPHA: return GL_SRC_ALPHA;
    case DEVICE_BLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case DEVICE_BLEND_DESTALPHA: return GL_DST_ALPHA;
    case DEVICE_BLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case DEVICE_BLEND_DESTCOLOR: return GL_DST_COLOR;
    case DEVICE_BLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    default: return GL_ONE;
    }
}

GLenum BlendEquationOf(uint32_t v) {
    switch (v) {
    case DEVICE_BLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case DEVICE_BLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case DEVICE_BLENDOP_MIN: return GL_MIN;
    case DEVICE_BLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}

GLint AddressOf(uint32_t v) {
    switch (v) {
    case DEVICE_ADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case DEVICE_ADDRESS_CLAMP:
    case DEVICE_ADDRESS_MIRRORONCE: return GL_CLAMP_TO_EDGE;
    case DEVICE_ADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    default: return GL_REPEAT;
    }
}

GLint MinFilterOf(uint32_t min, uint32_t mip) {
    bool linear = min == DEVICE_FILTER_LINEAR || min == DEVICE_FILTER_ANISOTROPIC;
    if (mip == DEVICE_FILTER_POINT) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    if (mip == DEVICE_FILTER_LINEAR || mip == DEVICE_FILTER_ANISOTROPIC)
        return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    return linear ? GL_LINEAR : GL_NEAREST;
}

bool TargetFlipped(const DeviceState& s) { return s.renderTarget != nullptr; }

// Binds the framebuffer of the state's target; texture targets get one on first use.
bool BindTarget(const DeviceState& s) {
    GLuint fb = GlDeviceState().gl.main.framebuffer;
    if (s.renderTarget) {
        auto* record = reinterpret_cast<GlTexture*>(s.renderTarget->backendData);
        if (!record) return false;
        if (!record->framebuffer) {
            glGenFramebuffers(1, &record->framebuffer);
            glGenRenderbuffers(1, &record->depth);
            glBindRenderbuffer(GL_RENDERBUFFER, record->depth);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, s.renderTarget->width, s.renderTarget->height);
            glBindFramebuffer(GL_FRAMEBUFFER, record->framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, record->name, 0);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, record->depth);
            if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
                WriteLogText("A texture target could not be bound");
                return false;
            }
        }
        fb = record->framebuffer;
    }
    GlState& gl = GlDeviceState().gl;
    if (gl.boundFramebuffer != fb) {
        glBindFramebuffer(GL_FRAMEBUFFER, fb);
        gl.boundFramebuffer = fb;
    }
    int th = s.renderTarget ? s.renderTarget->height : kDeviceTargetHeight;
    const DeviceViewport& v = s.viewport;
    // Flipped targets keep the top row first; the main target is read back flipped.
    const GLint box[4] = {v.x, TargetFlipped(s) ? v.y : th - v.y - v.height, v.width, v.height};
    const float range[2] = {v.minZ, v.maxZ};
    if (gl.viewportKnown && std::memcmp(gl.viewport, box, sizeof box) == 0 &&
        std::memcmp(gl.depthRange, range, sizeof range) == 0)
        return true;
    glViewport(box[0], box[1], box[2], box[3]);
    glDepthRange(v.minZ, v.maxZ);
    std::memcpy(gl.viewport, box, sizeof box);
    std::memcpy(gl.depthRange, range, sizeof range);
    gl.viewportKnown = true;
    return true;
}

// The culling of a draw as GL sees it: 0 none, 1 drop clockwise, 2 drop
// counter-clockwise (the winding on the screen, turned for a target
// rendered upside down).
int GlCullOf(const DeviceState& s) {
    uint32_t cull = s.renderStates[DEVICE_RS_CULLMODE];
    if (cull != DEVICE_CULL_CW && cull != DEVICE_CULL_CCW) return 0;
    bool dropScreenCw = cull == DEVICE_CULL_CW;
    return dropScreenCw != TargetFlipped(s) ? 1 : 2;
}

void ApplyRasterState(const DeviceState& s) {
    const uint32_t* rs = s.renderStates;
    const uint32_t key[kGlRasterStates] = {rs[DEVICE_RS_ZENABLE],        rs[DEVICE_RS_ZWRITEENABLE],
                                           rs[DEVICE_RS_ZFUNC],          rs[DEVICE_RS_DEPTHBIAS],
                                           rs[DEVICE_RS_ALPHABLENDENABLE], rs[DEVICE_RS_SRCBLEND],
                                           rs[DEVICE_RS_DESTBLEND],      rs[DEVICE_RS_BLENDOP],
                                           uint32_t(GlCullOf(s)),        rs[DEVICE_RS_FILLMODE]};
    GlState& gl = GlDeviceState().gl;
    if (gl.rasterKnown && std::memcmp(gl.raster, key, sizeof key) == 0) return;
    std::memcpy(gl.raster, key, sizeof key);
    gl.rasterKnown = true;
    if (rs[DEVICE_RS_ZENABLE]) glEnable(GL_DEPTH_TEST); else glDisable(GL_DEPTH_TEST);
    glDepthMask(rs[DEVICE_RS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    glDepthFunc(CompareOf(rs[DEVICE_RS_ZFUNC]));
    float bias = DeviceFloatOfBits(rs[DEVICE_RS_DEPTHBIAS]);
    if (bias != 0.0f) {
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(0.0f, bias * 16777215.0f);
    } else {
        glDisable(GL_POLYGON_OFFSET_FILL);
    }
    if (rs[DEVICE_RS_ALPHABLENDENABLE]) {
        glEnable(GL_BLEND);
        glBlendFunc(BlendOf(rs[DEVICE_RS_SRCBLEND]), BlendOf(rs[DEVICE_RS_DESTBLEND]));
        glBlendEquation(BlendEquationOf(rs[DEVICE_RS_BLENDOP]));
    } else {
        glDisable(GL_BLEND);
    }
    const int cull = GlCullOf(s);
    if (cull) {
        glEnable(GL_CULL_FACE);
        glFrontFace(cull == 1 ? GL_CCW : GL_CW);
        glCullFace(GL_BACK);
    } else {
        glDisable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
    }
    uint32_t fill = rs[DEVICE_RS_FILLMODE];
    glPolygonMode(GL_FRONT_AND_BACK, fill == DEVICE_FILL_WIREFRAME ? GL_LINE : fill == DEVICE_FILL_POINT ? GL_POINT : GL_FILL);
}

void BindStage(const DeviceState& s, int i) {
    GlState& gl = GlDeviceState().gl;
    auto* record = reinterpret_cast<GlTexture*>(s.textures[i]->backendData);
    const GLuint name = record ? record->name : 0;
    const uint32_t* ss = s.samplerStates[i];
    uint32_t mip = s.textures[i]->levels > 1 ? ss[DEVICE_SAMP_MIPFILTER] : uint32_t(DEVICE_FILTER_NONE);
    float anisotropy = ss[DEVICE_SAMP_MINFILTER] == DEVICE_FILTER_ANISOTROPIC ? float(ss[DEVICE_SAMP_MAXANISOTROPY]) : 1.0f;
    const GLint params[6] = {AddressOf(ss[DEVICE_SAMP_ADDRESSU]), AddressOf(ss[DEVICE_SAMP_ADDRESSV]),
                             AddressOf(ss[DEVICE_SAMP_ADDRESSW]), MinFilterOf(ss[DEVICE_SAMP_MINFILTER], mip),
                             ss[DEVICE_SAMP_MAGFILTER] == DEVICE_FILTER_POINT || ss[DEVICE_SAMP_MAGFILTER] == 0
                                 ? GL_NEAREST
                                 : GL_LINEAR,
                             GLint(anisotropy < 1.0f ? 1.0f : anisotropy)};
    const bool textureSame = gl.unitTexture[i] == name;
    const bool samplerSame = gl.samplerKnown[i] && std::memcmp(gl.samplerParams[i], params, sizeof params) == 0;
    if (textureSame && samplerSame) return;
    glActiveTexture(GLenum(GL_TEXTURE0 + i));
    if (!textureSame) {
        glBindTexture(GL_TEXTURE_2D, name);
        gl.unitTexture[i] = name;
    }
    if (samplerSame) return;
    GLuint sm = gl.samplers[i];
    glBindSampler(GLuint(i), sm);
    glSamplerParameteri(sm, GL_TEXTURE_WRAP_S, params[0]);
    glSamplerParameteri(sm, GL_TEXTURE_WRAP_T, params[1]);
    glSamplerParameteri(sm, GL_TEXTURE_WRAP_R, params[2]);
    glSamplerParameteri(sm, GL_TEXTURE_MIN_FILTER, params[3]);
    glSamplerParameteri(sm, GL_TEXTURE_MAG_FILTER, params[4]);
    if (gl.anisotropy) glSamplerParameterf(sm, GL_TEXTURE_MAX_ANISOTROPY_EXT, float(params[5]));
    std::memcpy(gl.samplerParams[i], params, sizeof params);
    gl.samplerKnown[i] = true;
}

void BindTextures(const DeviceState& s, const GlProgramKey& key) {
    for (int i = 0; i < key.stageCount; ++i)
        if (key.stages[i].hasTexture) BindStage(s, i);
    glActiveTexture(GL_TEXTURE0);
}

// The model shaders read the diffuse texture (stage 0), the normal map
// (1), the second layer (2) and the two toon ramps (3 and 4).
void BindShaderTextures(const DeviceState& s) {
    for (int i = 0; i < kGlShaderStages; ++i)
        if (s.textures[i]) BindStage(s, i);
    glActiveTexture(GL_TEXTURE0);
}

// Points the attributes at a vertex source of the given format.
void SetAttributes(uint32_t fvf, int stride, GLintptr base) {
    GlDeviceState().gl.shaderAttributes.valid = false;
    GLintptr offset = base;
    bool rhw = (fvf & DEVICE_FVF_POSITION_MASK) == DEVICE_FVF_XYZRHW;
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, rhw ? 4 : 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offset));
    offset += rhw ? 16 : 12;
    auto toggle = [&](GLuint index, bool present, GLint size, GLenum type, GLboolean norm, int bytes) {
        if (present) {
            glEnableVertexAttribArray(index);
            glVertexAttribPointer(index, size, type, norm, stride, reinterpret_cast<void*>(offset));
            offset += bytes;
        } else {
            glDisableVertexAttribArray(index);
        }
    };
    toggle(1, fvf & DEVICE_FVF_NORMAL, 3, GL_FLOAT, GL_FALSE, 12);
    toggle(2, fvf & DEVICE_FVF_DIFFUSE, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    toggle(3, fvf & DEVICE_FVF_SPECULAR, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    int sets = int((fvf & DEVICE_FVF_TEXCOUNT_MASK) >> DEVICE_FVF_TEXCOUNT_SHIFT);
    static const int kFloats[4] = {2, 3, 4, 1};
    for (int i = 0; i < 8; ++i) {
        int n = kFloats[(fvf >> (16 + 2 * i)) & 3];
        toggle(GLuint(4 + i), i < sets, n, GL_FLOAT, GL_FALSE, n * 4);
    }
    glDisableVertexAttribArray(kGlTangentAttribute);
    glDisableVertexAttribArray(kGlBinormalAttribute);
}

// Points the attributes at vertices of a model shader's layout: rigid
// position, normal, diffuse, specular, texture set 0; skinned lists their
// source layout, then diffuse, specular and texture set 0. Vertices with
// tangent data carry tangent and binormal after the rigid position (the
// normal follows them) or after the skinned source vertex.
void SetShaderAttributes(GLuint buffer, int skin, bool tangents, int stride, GLintptr base) {
    GlState::ShaderAttributes& last = GlDeviceState().gl.shaderAttributes;
    if (last.valid && last.buffer == buffer && last.skin == skin && last.tangents == tangents &&
        last.stride == stride && last.base == base)
        return;
    last = {true, buffer, skin, tangents, stride, base};
    struct Attribute {
        GLuint index;
        GLint size;
        GLenum type;
        GLboolean normalised;
        int offset;
    };
    // The source part of each layout; the colours follow it.
    static const Attribute kRigid[] = {{0, 3, GL_FLOAT, GL_FALSE, 0}, {1, 3, GL_FLOAT, GL_FALSE, 12}};
    static const Attribute kRigidTangents[] = {{0, 3, GL_FLOAT, GL_FALSE, 0},
                                               {kGlTangentAttribute, 3, GL_FLOAT, GL_FALSE, 12},
                                               {kGlBinormalAttribute, 3, GL_FLOAT, GL_FALSE, 24},
                                               {1, 3, GL_FLOAT, GL_FALSE, 36}};
    static const Attribute kFour[] = {{5, 4, GL_FLOAT, GL_FALSE, 0}, {0, 3, GL_FLOAT, GL_FALSE, 16},
                                      {1, 3, GL_FLOAT, GL_FALSE, 32}, {6, 4, GL_UNSIGNED_BYTE, GL_FALSE, 44}};
    static const Attribute kEight[] = {{5, 4, GL_FLOAT, GL_FALSE, 0},  {7, 4, GL_FLOAT, GL_FALSE, 16},
                                       {1, 3, GL_FLOAT, GL_FALSE, 32}, {6, 4, GL_UNSIGNED_BYTE, GL_FALSE, 44},
                                       {0, 3, GL_FLOAT, GL_FALSE, 48}, {8, 4, GL_UNSIGNED_BYTE, GL_FALSE, 60}};
    const Attribute* list = skin == 1 ? kFour : skin == 2 ? kEight : tangents ? kRigidTangents : kRigid;
    const int count = skin == 1 ? 4 : skin == 2 ? 6 : tangents ? 4 : 2;
    for (GLuint i = 0; i < kGlShaderAttributes; ++i) glDisableVertexAttribArray(i);
    auto point = [stride, base](const Attribute& a) {
        glEnableVertexAttribArray(a.index);
        glVertexAttribPointer(a.index, a.size, a.type, a.normalised, stride, reinterpret_cast<void*>(base + a.offset));
    };
    for (int i = 0; i < count; ++i) point(list[i]);
    const int colours = ShaderVertexBytes(skin, tangents) - 8;
    if (tangents && skin) {
        point({kGlTangentAttribute, 3, GL_FLOAT, GL_FALSE, colours - 24});
        point({kGlBinormalAttribute, 3, GL_FLOAT, GL_FALSE, colours - 12});
    }
    point({2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, colours});
    point({3, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, colours + 4});
    const int texOffset = colours + 8;
    if (stride >= texOffset + 8) {
        glEnableVertexAttribArray(4);
        glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(base + texOffset));
    }
}

GLenum ModeOf(int type) {
    switch (type) {
    case DEVICE_PT_POINTLIST: return GL_POINTS;
    case DEVICE_PT_LINELIST: return GL_LINES;
    case DEVICE_PT_LINESTRIP: return GL_LINE_STRIP;
    case DEVICE_PT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case DEVICE_PT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
    }
}

int IndexCountOf(int type, int primitives) {
    switch (type) {
    case DEVICE_PT_POINTLIST: return primitives;
    case DEVICE_PT_LINELIST: return primitives * 2;
    case DEVICE_PT_LINESTRIP: return primitives + 1;
    case DEVICE_PT_TRIANGLELIST: return primitives * 3;
    default: return primitives + 2;
    }
}

// Copies bytes into a ring; the buffer is orphaned when the ring wraps so
// the draws still reading the old contents are not disturbed.
GLintptr StreamIntoRing(GLenum target, GLuint ring, GLsizeiptr capacity, GLsizeiptr* pos, const void* data,
                        GLsizeiptr size) {
    glBindBuffer(target, ring);
    GLsizeiptr start = (*pos + 15) & ~GLsizeiptr(15);
    if (size > capacity) {
        glBufferData(target, size, data, GL_STREAM_DRAW);
        *pos = capacity;  // next use orphans back to the ring size
        return 0;
    }
    if (start + size > capacity) {
        glBufferData(target, capacity, nullptr, GL_STREAM_DRAW);
        start = 0;
    }
    glBufferSubData(target, start, size, data);
    *pos = start + size;
    return start;
}

// Uses the program of the draw (a model shader pair, else the generated
// fixed-function one) and returns how to point the attributes, or false.
struct DrawProgram {
    bool shaders;
    int skin;
    bool tangents;
    uint32_t fvf;
    void Attributes(GLuint buffer, int stride, GLintptr base) const {
        if (shaders)
            SetShaderAttributes(buffer, skin, tangents, stride, base);
        else
            SetAttributes(fvf, stride, base);
    }
};

bool UseProgram(const DeviceState& s, DrawProgram* out) {
    if (s.vertexShader >= 0 && s.pixelShader >= 0) {
        const GlShaderKey key = MakeGlShaderKey(s);
        bool outlinePass = false;
        GlShaderProgram* program = FindGlShaderProgramForDraw(key, &outlinePass);
        if (!program || !BindTarget(s)) return false;
        glUseProgram(program->program);
        UploadGlShaderUniforms(program, key, s, TargetFlipped(s), outlinePass);
        ApplyRasterState(s);
        BindShaderTextures(s);
        *out = {true, program->skin, program->tangents, 0};
    } else {
        GlProgramKey key = MakeGlProgramKey(s, s.fvf);
        const GlProgram* program = FindGlProgram(key);
        if (!program || !BindTarget(s)) return false;
        glUseProgram(program->program);
        UploadGlUniforms(*program, key, s, TargetFlipped(s));
        ApplyRasterState(s);
        BindTextures(s, key);
        *out = {false, 0, false, s.fvf};
    }
    return true;
}

int GlDraw(const DeviceState& s, const DeviceDraw& d) {
    if (!GlDeviceState().gl.open) return -1;
    DrawProgram program;
    if (!UseProgram(s, &program)) return -1;
    GLenum mode = ModeOf(d.type);
    int indexCount = IndexCountOf(d.type, d.primitiveCount);
    if (d.vertexBuffer) {
        glBindBuffer(GL_ARRAY_BUFFER, GLuint(d.vertexBuffer->backendData));
        program.Attributes(GLuint(d.vertexBuffer->backendData), d.stride, d.vertexOffset);
        if (!d.indexed) {
            glDrawArrays(mode, 0, d.vertexCount);
        } else {
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, GLuint(d.indexBuffer->backendData));
            int isize = d.indexFormat == DEVICE_FMT_INDEX32 ? 4 : 2;
            // The range, checked by the device layer, spares the driver a
            // scan of the indices for their bounds.
            glDrawRangeElementsBaseVertex(mode, GLuint(d.minIndex), GLuint(d.minIndex + d.vertexCount - 1), indexCount,
                                          isize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                          reinterpret_cast<void*>(GLintptr(d.startIndex) * isize), d.baseVertex);
        }
    } else {
        // From user memory: only the vertices the draw names go through the ring.
        const unsigned char* first = d.vertexMemory + size_t(d.minIndex) * size_t(d.stride);
        GLintptr at = StreamIntoRing(GL_ARRAY_BUFFER, GlDeviceState().gl.vertexRing, kVertexRingBytes, &GlDeviceState().gl.vertexRingPos, first,
                                     GLsizeiptr(d.vertexCount) * d.stride);
        program.Attributes(GlDeviceState().gl.vertexRing, d.stride, at);
        if (!d.indexed) {
            glDrawArrays(mode, 0, d.vertexCount);
        } else {
            int isize = d.indexFormat == DEVICE_FMT_INDEX32 ? 4 : 2;
            GLintptr iat = StreamIntoRing(GL_ELEMENT_ARRAY_BUFFER, GlDeviceState().gl.indexRing, kIndexRingBytes, &GlDeviceState().gl.indexRingPos,
                                          d.indexMemory, GLsizeiptr(indexCount) * isize);
            glDrawRangeElementsBaseVertex(mode, GLuint(d.minIndex), GLuint(d.minIndex + d.vertexCount - 1), indexCount,
                                          isize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, reinterpret_cast<void*>(iat),
                                          -d.minIndex);
        }
    }
    return 0;
}

int GlClear(const DeviceState& s, int flags, uint32_t argb, float z) {
    if (!GlDeviceState().gl.open || !BindTarget(s)) return -1;
    GLbitfield mask = 0;
    if (flags & DEVICE_CLEAR_TARGET) {
        glClearColor(float((argb >> 16) & 0xFF) / 255.0f, float((argb >> 8) & 0xFF) / 255.0f,
                     float(argb & 0xFF) / 255.0f, float(argb >> 24) / 255.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & DEVICE_CLEAR_ZBUFFER) {
        glDepthMask(GL_TRUE);
        GlDeviceState().gl.rasterKnown = false;
        glClearDepth(z);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    // A clear covers the viewport only.
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    glEnable(GL_SCISSOR_TEST);
    glScissor(vp[0], vp[1], vp[2], vp[3]);
    glClear(mask);
    glDisable(GL_SCISSOR_TEST);
    return 0;
}

int GlPresent() {
    if (!GlDeviceState().gl.open) return -1;
    const platform::WindowBackend& w = platform::Window();
    int width = kDeviceTargetWidth, height = kDeviceTargetHeight;
    if (w.glDrawableSize) w.glDrawableSize(&width, &height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GlDeviceState().gl.main.framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    // A window of the target's own size takes the pixels as they are: the
    // driver may then copy them instead of filtering every one (the same
    // pixels either way).
    const bool sameSize = width == kDeviceTargetWidth && height == kDeviceTargetHeight;
    glBlitFramebuffer(0, 0, kDeviceTargetWidth, kDeviceTargetHeight, 0, 0, width, height, GL_COLOR_BUFFER_BIT,
                      sameSize ? GL_NEAREST : GL_LINEAR);
    if (w.glSwapBuffers) w.glSwapBuffers();
    glBindFramebuffer(GL_FRAMEBUFFER, GlDeviceState().gl.main.framebuffer);
    GlDeviceState().gl.boundFramebuffer = GlDeviceState().gl.main.framebuffer;
    ArrangeEndAtExitAfterTheDriver(DriverStage::kFirstFrameDrawn);
    return 0;
}

int GlReadPixels(const DeviceState& s, int x, int y, int width, int height, uint32_t* out) {
    if (!GlDeviceState().gl.open || !BindTarget(s)) return -1;
    int th = s.renderTarget ? s.renderTarget->height : kDeviceTargetHeight;
    bool flipped = TargetFlipped(s);
    int glY = flipped ? y : th - y - height;
    while (glGetError() != GL_NO_ERROR) {
        // Errors of earlier calls are not this read's.
    }
    glReadPixels(x, glY, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, out);
    if (!flipped) {
        std::vector<uint32_t> row(static_cast<size_t>(width));
        for (int r = 0; r < height / 2; ++r) {
            uint32_t* a = out + size_t(r) * size_t(width);
            uint32_t* b = out + size_t(height - 1 - r) * size_t(width);
            std::memcpy(row.data(), a, size_t(width) * 4);
            std::memcpy(a, b, size_t(width) * 4);
            std::memcpy(b, row.data(), size_t(width) * 4);
        }
    }
    return glGetError() == GL_NO_ERROR ? 0 : -1;
}

void GlFinish() {
    if (GlDeviceState().gl.open) glFinish();
}

}  // namespace

const DeviceBackend kGlDeviceBackend = {
    "gl", GlOpen, GlClose, GlNoteCall, GlCreateBuffer, GlUploadBuffer, GlReleaseBuffer, GlCreateTexture,
    GlUploadTexture, GlReleaseTexture, GlDraw, GlClear, GlPresent, GlReadPixels, PrepareGlShader, GlFinish,
};

}  // namespace morpotta
