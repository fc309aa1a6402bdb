// The device front end: mirrors every state sent, checks each draw against
// the memory it reads, and hands calls to the chosen back end. The back end
// is reached from the thread that made the device alone (a GL context is
// current on one thread): draws asked on another thread are refused, and
// the buffers and textures other threads make (device_objects.cpp) reach
// the back end before that thread's next draw.
#include "graphics/device/device_internal.h"

#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "graphics/device/devicestate.h"
#include "graphics/graphics_internal.h"
#include "platform/lasting_state.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <thread>

using namespace morpotta;

namespace morpotta {

namespace {

const DeviceBackend* const kBackends[] = {&kGlDeviceBackend, &kRecordingDeviceBackend};

struct DeviceModule {
    const DeviceBackend* backend = nullptr;
    std::atomic<bool> present{false};  // a back end is open: asked on any thread
    DeviceState state = {};
    bool sceneOpen = false;
    // The least and the greatest index of index ranges drawn lately: a
    // model's lists are drawn from the same ranges frame after frame, and
    // their indices are read once instead of at every draw. Room for the
    // distinct ranges of a busy field (some hundreds, meshes and their
    // outlines) with few of them sharing a slot.
    struct IndexBounds {
        uint32_t serial, version;
        int first, count;
        int64_t low, high;
    };
    static constexpr uint32_t kIndexBoundsSlots = 2048;  // a power of two
    IndexBounds indexBounds[kIndexBoundsSlots] = {};
};

DeviceModule& DeviceLayerState() {
    return platform::LastingState<DeviceModule>();
}

}  // namespace

const DeviceBackend* ActiveDeviceBackend() { return DeviceLayerState().backend; }

// Set on the thread that made the device, where its GL context is current.
static thread_local constinit bool madeTheDevice = false;

bool OnContextThread() { return madeTheDevice; }

bool OnDeviceThread() { return OnContextThread() || (EngineEnding() && OnEngineThread()); }

void NoteDeviceCall(int kind, int a, int b, uint64_t value) {
    if (DeviceLayerState().backend && OnDeviceThread()) DeviceLayerState().backend->noteCall(DeviceCall{kind, a, b, value});
}

void ForgetInDeviceState(const DeviceBufferRecord* buffer) {
    DeviceState& s = DeviceLayerState().state;
    if (s.stream == buffer) s.stream = nullptr;
    if (s.indices == buffer) s.indices = nullptr;
    // A later buffer at the same address must not pass for this one in the cache.
    DeviceStateCache* cache = GetDeviceStateCache();
    if (cache->streamSource == buffer) cache->streamSource = nullptr;
    if (cache->indexBuffer == buffer) cache->indexBuffer = nullptr;
}

void ForgetInDeviceState(const DeviceTexture* texture) {
    DeviceState& s = DeviceLayerState().state;
    for (DeviceTexture*& bound : s.textures)
        if (bound == texture) bound = nullptr;
    for (DeviceTexture*& cached : GetDeviceStateCache()->textures)
        if (cached == texture) cached = nullptr;
    if (s.renderTarget == texture) s.renderTarget = nullptr;
}

namespace {

// A call that needs the GL context, asked on a thread where it is not
// current: refused, in the public call's name, on another thread than the
// engine's; on the thread that ends the engine in the engine's thread's
// place as the process ends, left undone without a word (what it would
// draw is never shown).
bool RefusedOffDeviceThread(const char* work) {
    if (OnContextThread()) return false;
    if (!OnDeviceThread()) Refuse("only the thread that made the graphics device may draw (%s)", work);
    return true;
}

void SetDefaultState() {
    std::memset(&DeviceLayerState().state, 0, sizeof DeviceLayerState().state);
    uint32_t* rs = DeviceLayerState().state.renderStates;
    rs[DEVICE_RS_ZENABLE] = 1;
    rs[DEVICE_RS_FILLMODE] = DEVICE_FILL_SOLID;
    rs[DEVICE_RS_SHADEMODE] = DEVICE_SHADE_GOURAUD;
    rs[DEVICE_RS_ZWRITEENABLE] = 1;
    rs[DEVICE_RS_SRCBLEND] = DEVICE_BLEND_ONE;
    rs[DEVICE_RS_DESTBLEND] = DEVICE_BLEND_ZERO;
    rs[DEVICE_RS_CULLMODE] = DEVICE_CULL_CCW;
    rs[DEVICE_RS_ZFUNC] = DEVICE_CMP_LESSEQUAL;
    rs[DEVICE_RS_ALPHAFUNC] = DEVICE_CMP_ALWAYS;
    rs[DEVICE_RS_FOGEND] = DeviceBitsOfFloat(1.0f);
    rs[DEVICE_RS_FOGDENSITY] = DeviceBitsOfFloat(1.0f);
    rs[DEVICE_RS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    rs[DEVICE_RS_LIGHTING] = 1;
    rs[DEVICE_RS_COLORVERTEX] = 1;
    rs[DEVICE_RS_DIFFUSEMATERIALSOURCE] = DEVICE_MCS_COLOR1;
    rs[DEVICE_RS_SPECULARMATERIALSOURCE] = DEVICE_MCS_COLOR2;
    rs[DEVICE_RS_BLENDOP] = DEVICE_BLENDOP_ADD;
    for (int s = 0; s < kDeviceStageCount; ++s) {
        uint32_t* ts = DeviceLayerState().state.stageStates[s];
        ts[DEVICE_TSS_COLOROP] = s == 0 ? DEVICE_TOP_MODULATE : DEVICE_TOP_DISABLE;
        ts[DEVICE_TSS_ALPHAOP] = s == 0 ? DEVICE_TOP_SELECTARG1 : DEVICE_TOP_DISABLE;
        ts[DEVICE_TSS_COLORARG1] = DEVICE_TA_TEXTURE;
        ts[DEVICE_TSS_COLORARG2] = DEVICE_TA_CURRENT;
        ts[DEVICE_TSS_ALPHAARG1] = DEVICE_TA_TEXTURE;
        ts[DEVICE_TSS_ALPHAARG2] = DEVICE_TA_CURRENT;
        ts[DEVICE_TSS_TEXCOORDINDEX] = uint32_t(s);
        ts[DEVICE_TSS_RESULTARG] = DEVICE_TA_CURRENT;
        uint32_t* ss = DeviceLayerState().state.samplerStates[s];
        ss[DEVICE_SAMP_ADDRESSU] = ss[DEVICE_SAMP_ADDRESSV] = ss[DEVICE_SAMP_ADDRESSW] = DEVICE_ADDRESS_WRAP;
        ss[DEVICE_SAMP_MAGFILTER] = ss[DEVICE_SAMP_MINFILTER] = DEVICE_FILTER_POINT;
        ss[DEVICE_SAMP_MIPFILTER] = DEVICE_FILTER_NONE;
        ss[DEVICE_SAMP_MAXANISOTROPY] = 1;
    }
    for (float* m : {DeviceLayerState().state.world, DeviceLayerState().state.view, DeviceLayerState().state.projection})
        for (int i = 0; i < 4; ++i) m[i * 5] = 1.0f;
    DeviceLayerState().state.material.diffuse = {1, 1, 1, 1};
    DeviceLayerState().state.viewport = {0, 0, kDeviceTargetWidth, kDeviceTargetHeight, 0.0f, 1.0f};
    DeviceLayerState().state.vertexShader = DeviceLayerState().state.pixelShader = -1;
}

int VerticesOfPrimitives(int type, int count) {
    switch (type) {
    case DEVICE_PT_POINTLIST: return count;
    case DEVICE_PT_LINELIST: return count * 2;
    case DEVICE_PT_LINESTRIP: return count + 1;
    case DEVICE_PT_TRIANGLELIST: return count * 3;
    case DEVICE_PT_TRIANGLESTRIP:
    case DEVICE_PT_TRIANGLEFAN: return count + 2;
    default: return -1;
    }
}

bool ValidCount(int type, int count) {
    return count > 0 && count <= (1 << 24) && VerticesOfPrimitives(type, count) > 0;
}

// A draw the device does not make: the public call's refusal, or, when
// the engine draws on its own, the device step's. -1.
int RefuseDraw(const char* step, const char* why) {
    const PublicCall call(step);
    return Refuse("%s", why);
}

// The common checks of every draw; null when they pass, else why not.
const char* DrawArgumentsFault(int type, int primitiveCount) {
    if (!DeviceLayerState().backend) return "no graphics device";
    if (!ValidCount(type, primitiveCount)) return "an unknown primitive type or a bad primitive count";
    return nullptr;
}

// The least and the greatest of count indices from first on.
void ExtentOfIndices(const void* indices, int format, int first, int count, int64_t* low, int64_t* high) {
    int64_t lo = INT64_MAX, hi = INT64_MIN;
    for (int i = 0; i < count; ++i) {
        const int64_t v = format == DEVICE_FMT_INDEX32 ? int64_t(static_cast<const uint32_t*>(indices)[first + i])
                                                       : int64_t(static_cast<const uint16_t*>(indices)[first + i]);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    *low = lo;
    *high = hi;
}

// Every index, moved by base, must name a vertex inside [firstVertex, firstVertex + vertexCount).
bool ExtentInRange(int64_t low, int64_t high, int64_t base, int64_t firstVertex, int vertexCount) {
    return low + base >= firstVertex && high + base < firstVertex + vertexCount;
}

// The least and the greatest index of a range of an index buffer.
void BoundsOfIndices(const DeviceBufferRecord* ib, int first, int count, int64_t* low, int64_t* high) {
    DeviceModule::IndexBounds& slot =
        DeviceLayerState().indexBounds[(ib->serial * 40503u + uint32_t(first) * 9u + uint32_t(count)) &
                            (DeviceModule::kIndexBoundsSlots - 1)];
    if (slot.serial != ib->serial || slot.version != ib->version || slot.first != first || slot.count != count) {
        slot = {ib->serial, ib->version, first, count, 0, 0};
        ExtentOfIndices(ib->bytes, ib->format, first, count, &slot.low, &slot.high);
    }
    *low = slot.low;
    *high = slot.high;
}

// A draw from memory leaves stream 0 and the index buffer unset, on the
// device and in the state cache alike: the next draw from buffers sets them
// again through the cached setters, whoever drew from memory in between.
void UnsetBuffersAfterMemoryDraw() {
    DeviceLayerState().state.stream = nullptr;
    DeviceLayerState().state.streamOffset = 0;
    DeviceLayerState().state.streamStride = 0;
    DeviceLayerState().state.indices = nullptr;
    DeviceStateCache* cache = GetDeviceStateCache();
    cache->streamSource = nullptr;
    cache->streamOffset = 0;
    cache->streamStride = 0;
    cache->indexBuffer = nullptr;
}

int Draw(const DeviceDraw& d) {
    if (!DeviceLayerState().backend || RefusedOffDeviceThread("a draw")) return -1;
    SendWaitingDeviceObjects();
    NoteDeviceCall(DEVICE_CALL_DRAW, d.type, d.primitiveCount, uint64_t(d.indexed));
    return DeviceLayerState().backend->draw(DeviceLayerState().state, d);
}

DeviceObject deviceObject = {CreateDeviceOffscreenSurface};

}  // namespace

float DeviceFloatOfBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}
uint32_t DeviceBitsOfFloat(float value) {
    uint32_t b;
    std::memcpy(&b, &value, 4);
    return b;
}

int DeviceFvfStride(uint32_t fvf) {
    int size = 0;
    switch (fvf & DEVICE_FVF_POSITION_MASK) {
    case DEVICE_FVF_XYZ: size = 12; break;
    case DEVICE_FVF_XYZRHW: size = 16; break;
    default: return 0;
    }
    if (fvf & DEVICE_FVF_NORMAL) size += 12;
    if (fvf & DEVICE_FVF_DIFFUSE) size += 4;
    if (fvf & DEVICE_FVF_SPECULAR) size += 4;
    int sets = int((fvf & DEVICE_FVF_TEXCOUNT_MASK) >> DEVICE_FVF_TEXCOUNT_SHIFT);
    if (sets > 8) return 0;
    static const int kSetBytes[4] = {8, 12, 16, 4};
    for (int i = 0; i < sets; ++i) size += kSetBytes[(fvf >> (16 + 2 * i)) & 3];
    return size;
}

int CountDeviceMipLevels(int width, int height, int levels) {
    int full = 1;
    for (int w = width, h = height; w > 1 || h > 1; w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1) ++full;
    if (levels <= 0 || levels > full) return full;
    return levels;
}

int BytesPerDevicePixel(int format) {
    switch (format) {
    case DEVICE_FMT_A8R8G8B8:
    case DEVICE_FMT_X8R8G8B8: return 4;
    case DEVICE_FMT_R5G6B5:
    case DEVICE_FMT_A1R5G5B5:
    case DEVICE_FMT_A4R4G4B4: return 2;
    default: return 0;
    }
}

const DeviceState& GetDeviceState() { return DeviceLayerState().state; }

int GetDeviceViewTransform(float view[16], float projection[16], DeviceViewport* viewport) {
    if (view) std::memcpy(view, DeviceLayerState().state.view, sizeof(DeviceLayerState().state.view));
    if (projection) std::memcpy(projection, DeviceLayerState().state.projection, sizeof(DeviceLayerState().state.projection));
    if (viewport) *viewport = DeviceLayerState().state.viewport;
    return 0;
}

int CreateGraphicsDevice(const char* name) {
    if (DeviceLayerState().backend) return WriteLogText("A graphics device exists already");
    for (const DeviceBackend* b : kBackends) {
        if (!name || std::strcmp(b->name, name) != 0) continue;
        SetDefaultState();
        madeTheDevice = true;
        if (b->open() != 0) {
            madeTheDevice = false;
            return WriteLogFormat("Graphics device \"%s\" could not be created", name);
        }
        DeviceLayerState().backend = b;
        DeviceLayerState().sceneOpen = false;
        DeviceLayerState().present.store(true);
        return 0;
    }
    return WriteLogFormat("Unknown graphics device \"%s\"", name ? name : "");
}

void ReleaseGraphicsDevice() {
    if (!DeviceLayerState().backend) return;
    if (!OnDeviceThread()) {
        Refuse("only the thread that made the graphics device may release it");
        return;
    }
    if (!OnContextThread())
        WriteLogText("The graphics device ends on another thread than the one its GL context is current on: what "
                     "the context holds goes with the process");
    ReleaseAllDeviceObjects();
    DeviceLayerState().present.store(false);
    DeviceLayerState().backend->close();
    madeTheDevice = false;
    DeviceLayerState().backend = nullptr;
    SetDefaultState();
}

}  // namespace morpotta

int HardwareRenderingActive() { return DeviceLayerState().present.load() ? 1 : 0; }

namespace morpotta {

const char* GetDeviceBackendName() { return DeviceLayerState().backend ? DeviceLayerState().backend->name : ""; }
DeviceObject* Direct3DDevice9Object() { return DeviceLayerState().backend ? &deviceObject : nullptr; }

int SendDeviceRenderState(int s, uint32_t value) {
    if (!DeviceLayerState().backend || s < 0 || s >= kDeviceRenderStateCount) return -1;
    DeviceLayerState().state.renderStates[s] = value;
    NoteDeviceCall(DEVICE_CALL_RENDER_STATE, s, 0, value);
    return 0;
}

int SendDeviceStageState(int stage, int s, uint32_t value) {
    if (!DeviceLayerState().backend || stage < 0 || stage >= kDeviceStageCount || s < 0 || s >= kDeviceStageStateCount) return -1;
    DeviceLayerState().state.stageStates[stage][s] = value;
    NoteDeviceCall(DEVICE_CALL_STAGE_STATE, stage, s, value);
    return 0;
}

int SendDeviceSamplerState(int sampler, int s, uint32_t value) {
    if (!DeviceLayerState().backend || sampler < 0 || sampler >= kDeviceSamplerCount || s < 0 || s >= kDeviceSamplerStateCount)
        return -1;
    DeviceLayerState().state.samplerStates[sampler][s] = value;
    NoteDeviceCall(DEVICE_CALL_SAMPLER_STATE, sampler, s, value);
    return 0;
}

int SendDeviceTexture(int stage, DeviceTexture* texture) {
    if (!DeviceLayerState().backend || stage < 0 || stage >= kDeviceStageCount) return -1;
    DeviceLayerState().state.textures[stage] = texture;
    NoteDeviceCall(DEVICE_CALL_TEXTURE, stage, 0, reinterpret_cast<uintptr_t>(texture));
    return 0;
}

int SendDeviceTransform(int kind, const float matrix[16]) {
    if (!DeviceLayerState().backend || !matrix) return -1;
    float* target = kind == DEVICE_TS_WORLD ? DeviceLayerState().state.world
                    : kind == DEVICE_TS_VIEW ? DeviceLayerState().state.view
                    : kind == DEVICE_TS_PROJECTION ? DeviceLayerState().state.projection
                                                   : nullptr;
    if (!target) return -1;
    std::memcpy(target, matrix, sizeof(float) * 16);
    NoteDeviceCall(DEVICE_CALL_TRANSFORM, kind, 0, 0);
    return 0;
}

int SendDeviceMaterial(const DeviceMaterial* material) {
    if (!DeviceLayerState().backend || !material) return -1;
    DeviceLayerState().state.material = *material;
    NoteDeviceCall(DEVICE_CALL_MATERIAL, 0, 0, 0);
    return 0;
}

int SendDeviceLight(int index, const DeviceLight* light) {
    if (!DeviceLayerState().backend || !light || index < 0 || index >= kDeviceLightCount) return -1;
    DeviceLayerState().state.lights[index] = *light;
    NoteDeviceCall(DEVICE_CALL_LIGHT, index, 0, uint64_t(light->type));
    return 0;
}

int SendDeviceLightEnable(int index, int enable) {
    if (!DeviceLayerState().backend || index < 0 || index >= kDeviceLightCount) return -1;
    DeviceLayerState().state.lightEnabled[index] = enable ? 1 : 0;
    NoteDeviceCall(DEVICE_CALL_LIGHT_ENABLE, index, 0, uint64_t(enable ? 1 : 0));
    return 0;
}

int SendDeviceViewport(const DeviceViewport* v) {
    if (!DeviceLayerState().backend || !v || v->width <= 0 || v->height <= 0 || v->x < 0 || v->y < 0) return -1;
    DeviceLayerState().state.viewport = *v;
    NoteDeviceCall(DEVICE_CALL_VIEWPORT, v->width, v->height, 0);
    return 0;
}

int SendDeviceFvf(uint32_t fvf) {
    if (!DeviceLayerState().backend) return -1;
    DeviceLayerState().state.fvf = fvf;
    NoteDeviceCall(DEVICE_CALL_FVF, 0, 0, fvf);
    return 0;
}

int SendDeviceStreamSource(DeviceVertexBuffer* buffer, int offset, int stride) {
    if (!DeviceLayerState().backend || offset < 0 || stride < 0) return -1;
    DeviceLayerState().state.stream = buffer;
    DeviceLayerState().state.streamOffset = offset;
    DeviceLayerState().state.streamStride = stride;
    NoteDeviceCall(DEVICE_CALL_STREAM_SOURCE, offset, stride, reinterpret_cast<uintptr_t>(buffer));
    return 0;
}

int SendDeviceIndices(DeviceIndexBuffer* buffer) {
    if (!DeviceLayerState().backend) return -1;
    DeviceLayerState().state.indices = buffer;
    NoteDeviceCall(DEVICE_CALL_INDICES, 0, 0, reinterpret_cast<uintptr_t>(buffer));
    return 0;
}

int SetDeviceRenderTarget(DeviceTexture* texture) {
    if (!DeviceLayerState().backend || RefusedOffDeviceThread("SetDeviceRenderTarget")) return -1;
    SendWaitingDeviceObjects();
    if (texture && !(texture->usage & DEVICE_USAGE_RENDERTARGET)) return Refuse("the texture is no render target");
    DeviceLayerState().state.renderTarget = texture;
    int w = texture ? texture->width : kDeviceTargetWidth;
    int h = texture ? texture->height : kDeviceTargetHeight;
    DeviceLayerState().state.viewport = {0, 0, w, h, 0.0f, 1.0f};
    NoteDeviceCall(DEVICE_CALL_RENDER_TARGET, w, h, reinterpret_cast<uintptr_t>(texture));
    return 0;
}

int DeviceBackendHasShaders() { return DeviceLayerState().backend && DeviceLayerState().backend->prepareShader ? 1 : 0; }

int PrepareDeviceShader(int kind, int index) {
    if (!DeviceBackendHasShaders() || (kind != 0 && kind != 1) || RefusedOffDeviceThread("PrepareDeviceShader")) return -1;
    return DeviceLayerState().backend->prepareShader(kind, index);
}

int SendDeviceShader(int kind, int index) {
    if (!DeviceLayerState().backend || (kind != 0 && kind != 1)) return -1;
    (kind == 0 ? DeviceLayerState().state.vertexShader : DeviceLayerState().state.pixelShader) = index < 0 ? -1 : index;
    NoteDeviceCall(DEVICE_CALL_SHADER, kind, 0, uint64_t(int64_t(index)));
    return 0;
}

int SendDeviceShaderConstants(int kind, int first, const float* values, int count) {
    const int limit = kind == 0 ? kVsRegisterCount : kind == 1 ? kPsRegisterCount : 0;
    if (!DeviceLayerState().backend || !values || first < 0 || count < 0 || first + count > limit) return -1;
    float(*registers)[4] = kind == 0 ? DeviceLayerState().state.vertexConstants : DeviceLayerState().state.pixelConstants;
    std::memcpy(registers[first], values, sizeof(float) * 4 * size_t(count));
    NoteDeviceCall(DEVICE_CALL_SHADER_CONSTANTS, kind, first, uint64_t(count));
    return 0;
}

namespace {

// Bytes one vertex must hold for the current vertex format or vertex shader.
int CurrentVertexBytes() {
    const DeviceState& s = DeviceLayerState().state;
    if (s.vertexShader >= 0) {
        VertexShaderBits bits;
        return DecodeVertexShaderIndex(s.vertexShader, &bits) ? ShaderVertexBytes(bits.skin, bits.normalMap) : 0;
    }
    return DeviceFvfStride(s.fvf);
}

}  // namespace

int DrawDevicePrimitive(int type, int startVertex, int primitiveCount) {
    if (const char* fault = DrawArgumentsFault(type, primitiveCount)) return RefuseDraw("DrawDevicePrimitive", fault);
    if (startVertex < 0) return RefuseDraw("DrawDevicePrimitive", "a negative start vertex");
    const DeviceVertexBuffer* vb = DeviceLayerState().state.stream;
    int stride = DeviceLayerState().state.streamStride;
    int count = VerticesOfPrimitives(type, primitiveCount);
    if (!vb || stride < DeviceFvfStride(DeviceLayerState().state.fvf) || stride == 0)
        return RefuseDraw("DrawDevicePrimitive", "no vertex stream, or a stride below the vertex format's");
    if (int64_t(DeviceLayerState().state.streamOffset) + (int64_t(startVertex) + count) * stride > vb->length)
        return RefuseDraw("DrawDevicePrimitive", "it reads past the end of its vertex buffer");
    DeviceDraw d{};
    d.type = type;
    d.primitiveCount = primitiveCount;
    d.vertexCount = count;
    d.vertexBuffer = vb;
    d.vertexOffset = DeviceLayerState().state.streamOffset + startVertex * stride;
    d.stride = stride;
    d.startVertex = startVertex;
    return Draw(d);
}

int DrawDeviceIndexedPrimitive(int type, int baseVertex, int minIndex, int vertexCount, int startIndex,
                               int primitiveCount) {
    if (const char* fault = DrawArgumentsFault(type, primitiveCount))
        return RefuseDraw("DrawDeviceIndexedPrimitive", fault);
    if (startIndex < 0 || minIndex < 0 || vertexCount <= 0)
        return RefuseDraw("DrawDeviceIndexedPrimitive", "a negative start or minimum index, or no vertices");
    const DeviceVertexBuffer* vb = DeviceLayerState().state.stream;
    const DeviceIndexBuffer* ib = DeviceLayerState().state.indices;
    int stride = DeviceLayerState().state.streamStride;
    if (!vb || !ib || stride == 0 || stride < CurrentVertexBytes())
        return RefuseDraw("DrawDeviceIndexedPrimitive",
                          "no vertex stream or index buffer, or a stride below the vertex format's");
    int indexCount = VerticesOfPrimitives(type, primitiveCount);
    int isize = DeviceIndexSize(ib->format);
    if ((int64_t(startIndex) + indexCount) * isize > ib->length)
        return RefuseDraw("DrawDeviceIndexedPrimitive", "it reads past the end of its index buffer");
    int64_t firstVertex = int64_t(baseVertex) + minIndex;
    if (firstVertex < 0 || DeviceLayerState().state.streamOffset + (firstVertex + vertexCount) * stride > vb->length)
        return RefuseDraw("DrawDeviceIndexedPrimitive", "it reads past the end of its vertex buffer");
    int64_t lowIndex = 0, highIndex = 0;
    BoundsOfIndices(ib, startIndex, indexCount, &lowIndex, &highIndex);
    if (!ExtentInRange(lowIndex, highIndex, baseVertex, firstVertex, vertexCount))
        return RefuseDraw("DrawDeviceIndexedPrimitive", "it has indices outside its vertex range");
    DeviceDraw d{};
    d.type = type;
    d.primitiveCount = primitiveCount;
    d.vertexCount = vertexCount;
    d.vertexBuffer = vb;
    d.vertexOffset = DeviceLayerState().state.streamOffset;
    d.stride = stride;
    d.indexed = true;
    d.indexBuffer = ib;
    d.indexFormat = ib->format;
    d.startIndex = startIndex;
    d.baseVertex = baseVertex;
    d.minIndex = minIndex;
    return Draw(d);
}

int DrawDevicePrimitiveUP(int type, int primitiveCount, const void* vertices, int stride) {
    if (const char* fault = DrawArgumentsFault(type, primitiveCount)) return RefuseDraw("DrawDevicePrimitiveUP", fault);
    if (!vertices || stride <= 0 || stride < DeviceFvfStride(DeviceLayerState().state.fvf))
        return RefuseDraw("DrawDevicePrimitiveUP", "no vertices, or a stride below the vertex format's");
    DeviceDraw d{};
    d.type = type;
    d.primitiveCount = primitiveCount;
    d.vertexCount = VerticesOfPrimitives(type, primitiveCount);
    d.vertexMemory = static_cast<const unsigned char*>(vertices);
    d.stride = stride;
    UnsetBuffersAfterMemoryDraw();
    return Draw(d);
}

int DrawDeviceIndexedPrimitiveUP(int type, int minIndex, int vertexCount, int primitiveCount, const void* indices,
                                 int indexFormat, const void* vertices, int stride) {
    if (const char* fault = DrawArgumentsFault(type, primitiveCount))
        return RefuseDraw("DrawDeviceIndexedPrimitiveUP", fault);
    if (!indices || !vertices || DeviceIndexSize(indexFormat) == 0 || stride <= 0 || stride < DeviceFvfStride(DeviceLayerState().state.fvf) ||
        minIndex < 0 || vertexCount <= 0)
        return RefuseDraw("DrawDeviceIndexedPrimitiveUP",
                          "no indices or vertices, an unknown index format, a bad stride or no vertex range");
    int indexCount = VerticesOfPrimitives(type, primitiveCount);
    int64_t lowIndex = 0, highIndex = 0;
    ExtentOfIndices(indices, indexFormat, 0, indexCount, &lowIndex, &highIndex);
    if (!ExtentInRange(lowIndex, highIndex, 0, minIndex, vertexCount))
        return RefuseDraw("DrawDeviceIndexedPrimitiveUP", "it has indices outside its vertex range");
    DeviceDraw d{};
    d.type = type;
    d.primitiveCount = primitiveCount;
    d.vertexCount = vertexCount;
    d.vertexMemory = static_cast<const unsigned char*>(vertices);
    d.stride = stride;
    d.indexed = true;
    d.indexMemory = indices;
    d.indexFormat = indexFormat;
    d.minIndex = minIndex;
    UnsetBuffersAfterMemoryDraw();
    return Draw(d);
}

int ClearDevice(int flags, uint32_t argb, float z) {
    if (!DeviceLayerState().backend || RefusedOffDeviceThread("ClearDevice")) return -1;
    SendWaitingDeviceObjects();
    NoteDeviceCall(DEVICE_CALL_CLEAR, flags, 0, argb);
    return DeviceLayerState().backend->clear(DeviceLayerState().state, flags, argb, z);
}

int BeginDeviceScene() {
    if (!DeviceLayerState().backend) return -1;
    if (DeviceLayerState().sceneOpen) return 0;
    DeviceLayerState().sceneOpen = true;
    NoteDeviceCall(DEVICE_CALL_BEGIN_SCENE, 0, 0, 0);
    return 0;
}

int EndDeviceScene() {
    if (!DeviceLayerState().backend || !DeviceLayerState().sceneOpen) return -1;
    DeviceLayerState().sceneOpen = false;
    NoteDeviceCall(DEVICE_CALL_END_SCENE, 0, 0, 0);
    return 0;
}

int PresentDevice() {
    if (!DeviceLayerState().backend || RefusedOffDeviceThread("PresentDevice")) return -1;
    SendWaitingDeviceObjects();
    if (DeviceLayerState().sceneOpen) EndDeviceScene();
    NoteDeviceCall(DEVICE_CALL_PRESENT, 0, 0, 0);
    const int result = DeviceLayerState().backend->present();
    ReleaseDoomedDeviceObjects();
    return result;
}

int FinishDevice() {
    if (!DeviceLayerState().backend || RefusedOffDeviceThread("FinishDevice")) return -1;
    if (DeviceLayerState().backend->finish) DeviceLayerState().backend->finish();
    return 0;
}

int ReadDevicePixels(int x, int y, int width, int height, uint32_t* out) {
    if (!DeviceLayerState().backend || !out || x < 0 || y < 0 || width <= 0 || height <= 0) return -1;
    if (RefusedOffDeviceThread("ReadDevicePixels")) return -1;
    SendWaitingDeviceObjects();
    int tw = DeviceLayerState().state.renderTarget ? DeviceLayerState().state.renderTarget->width : kDeviceTargetWidth;
    int th = DeviceLayerState().state.renderTarget ? DeviceLayerState().state.renderTarget->height : kDeviceTargetHeight;
    if (x + width > tw || y + height > th) return -1;
    return DeviceLayerState().backend->readPixels(DeviceLayerState().state, x, y, width, height, out);
}

}  // namespace morpotta
