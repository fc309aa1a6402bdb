// Cached device setters: each remembers the value last sent and reaches the
// device only when the new value differs (or under the forced refresh),
// flushing the pending 2-D batch first so earlier draws keep their state.
#include "graphics/device/devicestate.h"

#include "graphics/device/device_internal.h"

#include "engine/log.h"
#include "engine/screen.h"
#include "foundation/engine_thread.h"
#include "graphics/graph_internal.h"
#include "platform/lasting_state.h"

#include <cstring>

using namespace morpotta;

namespace morpotta {

namespace {

struct DeviceCacheModule {
    DeviceStateCache cache = {};
    PendingDrawFlusher flusher = nullptr;
    int shadersAllowed = 1;  // the engine setting; kept across device rebuilds
};

DeviceCacheModule& DeviceCacheState() {
    return platform::LastingState<DeviceCacheModule>();
}

bool CachedStateDiffers(uint8_t known, uint32_t cached, uint32_t value) {
    return DeviceCacheState().cache.forceRefresh || !known || cached != value;
}

DeviceColorValue Multiply(const DeviceColorValue& a, const DeviceColorValue& b) {
    return {a.r * b.r, a.g * b.g, a.b * b.b, a.a * b.a};
}

void ComputeLightProducts() {
    const DeviceMaterial& m = DeviceCacheState().cache.material;
    int n = 0;
    for (int i = 0; i < kDeviceLightCount; ++i) {
        if (!DeviceCacheState().cache.lightEnabled[i]) continue;
        DeviceLightProducts& p = DeviceCacheState().cache.lightProducts[n++];
        const DeviceLight& l = DeviceCacheState().cache.lights[i];
        p.light = l;
        p.diffuse = Multiply(l.diffuse, m.diffuse);
        p.specular = Multiply(l.specular, m.specular);
        p.ambient = Multiply(l.ambient, m.ambient);
        p.attenuation0 = l.attenuation0;
        p.attenuation1 = l.attenuation1;
        p.attenuation2 = l.attenuation2;
    }
    DeviceCacheState().cache.enabledLightCount = n;
    const DeviceColorValue& a = DeviceCacheState().cache.ambientLight;
    DeviceCacheState().cache.globalAmbient = {a.r * m.ambient.r + m.emissive.r, a.g * m.ambient.g + m.emissive.g,
                           a.b * m.ambient.b + m.emissive.b, a.a * m.ambient.a + m.emissive.a};
}

}  // namespace

DeviceStateCache* GetDeviceStateCache() { return &DeviceCacheState().cache; }

void ResetDeviceStateCache() {
    std::memset(&DeviceCacheState().cache, 0, sizeof DeviceCacheState().cache);
    DeviceCacheState().cache.filterMode = -1;
    DeviceCacheState().cache.alphaTestFunc = DEVICE_CMP_ALWAYS;
    DeviceCacheState().cache.layerAlphaTestFunc = DEVICE_CMP_ALWAYS;
    DeviceCacheState().cache.vertexShader = -1;
    DeviceCacheState().cache.pixelShader = -1;
    DeviceCacheState().cache.hasTempRegister = 1;
}

void SetPendingDrawFlusher(PendingDrawFlusher f) { DeviceCacheState().flusher = f; }

int FlushPendingDraws() {
    if (DeviceCacheState().flusher) DeviceCacheState().flusher();
    return 0;
}

int SetDeviceRenderState(int state, uint32_t value) {
    if (!HardwareRenderingActive() || state < 0 || state >= kDeviceRenderStateCount) return -1;
    if (!CachedStateDiffers(DeviceCacheState().cache.renderStateKnown[state], DeviceCacheState().cache.renderStates[state], value)) return 0;
    FlushPendingDraws();
    if (SendDeviceRenderState(state, value) != 0) return -1;
    DeviceCacheState().cache.renderStates[state] = value;
    DeviceCacheState().cache.renderStateKnown[state] = 1;
    return 0;
}

int SetDeviceStageState(int stage, int state, uint32_t value) {
    if (!HardwareRenderingActive() || stage < 0 || stage >= kDeviceStageCount || state < 0 ||
        state >= kDeviceStageStateCount)
        return -1;
    if (!CachedStateDiffers(DeviceCacheState().cache.stageStateKnown[stage][state], DeviceCacheState().cache.stageStates[stage][state], value)) return 0;
    FlushPendingDraws();
    if (SendDeviceStageState(stage, state, value) != 0) return -1;
    DeviceCacheState().cache.stageStates[stage][state] = value;
    DeviceCacheState().cache.stageStateKnown[stage][state] = 1;
    return 0;
}

int SetDeviceSamplerState(int sampler, int state, uint32_t value) {
    if (!HardwareRenderingActive() || sampler < 0 || sampler >= kDeviceSamplerCount || state < 0 ||
        state >= kDeviceSamplerStateCount)
        return -1;
    if (!CachedStateDiffers(DeviceCacheState().cache.samplerStateKnown[sampler][state], DeviceCacheState().cache.samplerStates[sampler][state], value)) return 0;
    FlushPendingDraws();
    if (SendDeviceSamplerState(sampler, state, value) != 0) return -1;
    DeviceCacheState().cache.samplerStates[sampler][state] = value;
    DeviceCacheState().cache.samplerStateKnown[sampler][state] = 1;
    return 0;
}

int SetDeviceTexture(int stage, DeviceTexture* texture) {
    if (!HardwareRenderingActive() || stage < 0 || stage >= kDeviceStageCount) return -1;
    if (!DeviceCacheState().cache.forceRefresh && DeviceCacheState().cache.textures[stage] == texture) return 0;
    FlushPendingDraws();
    if (SendDeviceTexture(stage, texture) != 0) return -1;
    DeviceCacheState().cache.textures[stage] = texture;
    return 0;
}

int SetDeviceFvf(uint32_t fvf) {
    if (!HardwareRenderingActive()) return -1;
    if (!DeviceCacheState().cache.forceRefresh && DeviceCacheState().cache.fvf == fvf && fvf != 0) return 0;
    FlushPendingDraws();
    if (SendDeviceFvf(fvf) != 0) return -1;
    DeviceCacheState().cache.fvf = fvf;
    return 0;
}

int SetDeviceStreamSource(DeviceVertexBuffer* buffer, int offset, int stride) {
    if (!HardwareRenderingActive()) return -1;
    // The pending batch is drawn from memory, which unsets the stream: drawn
    // first, so the comparison sees what the device holds for the next draw.
    FlushPendingDraws();
    if (!DeviceCacheState().cache.forceRefresh && buffer && DeviceCacheState().cache.streamSource == buffer && DeviceCacheState().cache.streamOffset == offset &&
        DeviceCacheState().cache.streamStride == stride)
        return 0;
    if (SendDeviceStreamSource(buffer, offset, stride) != 0) return -1;
    DeviceCacheState().cache.streamSource = buffer;
    DeviceCacheState().cache.streamOffset = offset;
    DeviceCacheState().cache.streamStride = stride;
    return 0;
}

int SetDeviceIndices(DeviceIndexBuffer* buffer) {
    if (!HardwareRenderingActive()) return -1;
    FlushPendingDraws();  // as for the stream
    if (!DeviceCacheState().cache.forceRefresh && buffer && DeviceCacheState().cache.indexBuffer == buffer) return 0;
    if (SendDeviceIndices(buffer) != 0) return -1;
    DeviceCacheState().cache.indexBuffer = buffer;
    return 0;
}

int SetDeviceZEnable(int v) { return SetDeviceRenderState(DEVICE_RS_ZENABLE, uint32_t(v)); }
int SetDeviceZWriteEnable(int v) { return SetDeviceRenderState(DEVICE_RS_ZWRITEENABLE, uint32_t(v)); }
int SetDeviceZFunc(int v) { return SetDeviceRenderState(DEVICE_RS_ZFUNC, uint32_t(v)); }
int SetDeviceDepthBias(int v) { return SetDeviceRenderState(DEVICE_RS_DEPTHBIAS, uint32_t(v)); }
int SetDeviceShadeMode(int v) { return SetDeviceRenderState(DEVICE_RS_SHADEMODE, uint32_t(v)); }
int SetDeviceFillMode(int v) { return SetDeviceRenderState(DEVICE_RS_FILLMODE, uint32_t(v)); }
int SetDeviceSpecularEnable(int v) { return SetDeviceRenderState(DEVICE_RS_SPECULARENABLE, uint32_t(v)); }

int SetDeviceCullMode(int v) {
    static const uint32_t kCull[3] = {DEVICE_CULL_NONE, DEVICE_CULL_CCW, DEVICE_CULL_CW};
    if (v < 0 || v > 2) return -1;
    return SetDeviceRenderState(DEVICE_RS_CULLMODE, kCull[v]);
}

int SetDeviceDiffuseFromVertexColor(int v) {
    return SetDeviceRenderState(DEVICE_RS_DIFFUSEMATERIALSOURCE, v ? DEVICE_MCS_COLOR1 : DEVICE_MCS_MATERIAL);
}

int SetDeviceSpecularFromVertexColor(int v) {
    return SetDeviceRenderState(DEVICE_RS_SPECULARMATERIALSOURCE, v ? DEVICE_MCS_COLOR2 : DEVICE_MCS_MATERIAL);
}

int SetDeviceLighting(int flag) { return SetDeviceRenderState(DEVICE_RS_LIGHTING, flag ? 1u : 0u); }

int SetLightingEnabled(int flag) {
    DeviceCacheState().cache.lightingOff = flag ? 0 : 1;
    SetDeviceLighting(flag);
    return 0;
}

int SetDeviceAlphaTest(int compareFunction, int reference) {
    if (compareFunction < DEVICE_CMP_NEVER || compareFunction > DEVICE_CMP_ALWAYS) return -1;
    if (reference < 0) reference = 0;
    if (reference > 255) reference = 255;
    if (SetDeviceRenderState(DEVICE_RS_ALPHATESTENABLE, compareFunction != DEVICE_CMP_ALWAYS) != 0) return -1;
    SetDeviceRenderState(DEVICE_RS_ALPHAFUNC, uint32_t(compareFunction));
    SetDeviceRenderState(DEVICE_RS_ALPHAREF, uint32_t(reference));
    DeviceCacheState().cache.alphaTestFunc = compareFunction;
    DeviceCacheState().cache.alphaTestRef = reference;
    return 0;
}

namespace {
int SetTransform(int kind, const float m[16]) {
    if (!HardwareRenderingActive() || !m) return -1;
    FlushPendingDraws();
    return SendDeviceTransform(kind, m);
}
}  // namespace

int SetDeviceWorldMatrix(const float m[16]) { return SetTransform(DEVICE_TS_WORLD, m); }
int SetDeviceViewMatrix(const float m[16]) { return SetTransform(DEVICE_TS_VIEW, m); }
int SetDeviceProjectionMatrix(const float m[16]) { return SetTransform(DEVICE_TS_PROJECTION, m); }

int SetDeviceAmbientLight(float r, float g, float b, float a) {
    DeviceCacheState().cache.ambientLight = {r, g, b, a};
    ComputeLightProducts();
    auto byte = [](float v) { return uint32_t(v <= 0 ? 0 : v >= 1 ? 255 : int(v * 255.0f + 0.5f)); };
    return SetDeviceRenderState(DEVICE_RS_AMBIENT, byte(a) << 24 | byte(r) << 16 | byte(g) << 8 | byte(b));
}

int SetDeviceLight(int index, const DeviceLight* light) {
    if (!HardwareRenderingActive() || index < 0 || index >= kDeviceLightCount || !light) return -1;
    if (!DeviceCacheState().cache.forceRefresh && std::memcmp(&DeviceCacheState().cache.lights[index], light, sizeof *light) == 0) return 0;
    FlushPendingDraws();
    if (SendDeviceLight(index, light) != 0) return -1;
    DeviceCacheState().cache.lights[index] = *light;
    ComputeLightProducts();
    return 0;
}

int EnableDeviceLight(int index, int enable) {
    if (!HardwareRenderingActive() || index < 0 || index >= kDeviceLightCount) return -1;
    enable = enable ? 1 : 0;
    if (!DeviceCacheState().cache.forceRefresh && DeviceCacheState().cache.lightEnabled[index] == enable) return 0;
    FlushPendingDraws();
    if (SendDeviceLightEnable(index, enable) != 0) return -1;
    DeviceCacheState().cache.lightEnabled[index] = enable;
    ComputeLightProducts();
    return 0;
}

int SetDeviceMaterial(const float v[17]) {
    if (!HardwareRenderingActive() || !v) return -1;
    DeviceMaterial m;
    std::memcpy(&m.diffuse, v, 16);
    std::memcpy(&m.ambient, v + 4, 16);
    std::memcpy(&m.specular, v + 8, 16);
    std::memcpy(&m.emissive, v + 12, 16);
    m.power = v[16];
    bool same = DeviceCacheState().cache.materialKnown && std::memcmp(&DeviceCacheState().cache.material, &m, sizeof m) == 0;
    if (same && !DeviceCacheState().cache.forceRefresh) {
        if (DeviceCacheState().cache.materialChanged) ComputeLightProducts();
        DeviceCacheState().cache.materialChanged = 0;
        return 0;
    }
    FlushPendingDraws();
    if (SendDeviceMaterial(&m) != 0) return -1;
    DeviceCacheState().cache.material = m;
    DeviceCacheState().cache.materialKnown = 1;
    DeviceCacheState().cache.materialChanged = 0;
    ComputeLightProducts();
    return 0;
}

int SetDeviceFogEnable(int flag) {
    DeviceCacheState().cache.fogEnable = flag ? 1 : 0;
    return SetDeviceRenderState(DEVICE_RS_FOGENABLE, uint32_t(DeviceCacheState().cache.fogEnable));
}

int RestoreDeviceFogEnable() {
    if (!HardwareRenderingActive()) return -1;
    if (DeviceCacheState().cache.renderStateKnown[DEVICE_RS_FOGENABLE] &&
        DeviceCacheState().cache.renderStates[DEVICE_RS_FOGENABLE] == uint32_t(DeviceCacheState().cache.fogEnable) && !DeviceCacheState().cache.forceRefresh)
        return 0;
    return SetDeviceRenderState(DEVICE_RS_FOGENABLE, uint32_t(DeviceCacheState().cache.fogEnable));
}

int SetDeviceTextureAddress(int modeU, int modeV, int modeW, int sampler) {
    if (SetDeviceSamplerState(sampler, DEVICE_SAMP_ADDRESSU, uint32_t(modeU)) != 0) return -1;
    SetDeviceSamplerState(sampler, DEVICE_SAMP_ADDRESSV, uint32_t(modeV));
    SetDeviceSamplerState(sampler, DEVICE_SAMP_ADDRESSW, uint32_t(modeW));
    return 0;
}

int SetStageFilterState(int stage, int which, int value) {
    int state = which == DEVICE_STAGE_MAGFILTER   ? DEVICE_SAMP_MAGFILTER
                : which == DEVICE_STAGE_MINFILTER ? DEVICE_SAMP_MINFILTER
                : which == DEVICE_STAGE_MIPFILTER ? DEVICE_SAMP_MIPFILTER
                                                  : -1;
    if (state < 0) return -1;
    DeviceCacheState().cache.filterMode = -1;
    return SetDeviceSamplerState(stage, state, uint32_t(value)) != 0 ? -1 : 0;
}

int SetStageMaxAnisotropy(int stage, int value) {
    return SetDeviceSamplerState(stage, DEVICE_SAMP_MAXANISOTROPY, uint32_t(value)) != 0 ? -1 : 0;
}

int ResetTexCoordIndices() {
    for (int s = 0; s < kDeviceStageCount; ++s) SetDeviceStageState(s, DEVICE_TSS_TEXCOORDINDEX, uint32_t(s));
    return 0;
}

int ApplyDeviceDrawState(const DeviceDrawStateBlock* block, int, int resolveGraphs) {
    if (!block || !HardwareRenderingActive()) return -1;
    FlushPendingDraws();
    if (block->blendEnable) {
        SetDeviceRenderState(DEVICE_RS_ALPHABLENDENABLE, 1);
        SetDeviceRenderState(DEVICE_RS_SRCBLEND, uint32_t(block->sourceBlend));
        SetDeviceRenderState(DEVICE_RS_DESTBLEND, uint32_t(block->destinationBlend));
        SetDeviceRenderState(DEVICE_RS_BLENDOP, uint32_t(block->blendOp));
    } else {
        SetDeviceRenderState(DEVICE_RS_ALPHABLENDENABLE, 0);
    }
    SetDeviceRenderState(DEVICE_RS_TEXTUREFACTOR, block->factorColor);
    int count = block->stageCount < 0 ? 0 : block->stageCount > kDeviceStageCount ? kDeviceStageCount : block->stageCount;
    for (int i = 0; i < count; ++i) {
        const DeviceDrawStage& st = block->stages[i];
        // An invalid graph leaves the stage untextured.
        SetDeviceTexture(i, resolveGraphs && st.graph >= 0 ? GetGraphTexture(st.graph) : nullptr);
        if (st.texCoordIndex != -1) SetDeviceStageState(i, DEVICE_TSS_TEXCOORDINDEX, uint32_t(st.texCoordIndex));
        if (st.resultToTemp != -1 && DeviceCacheState().cache.hasTempRegister)
            SetDeviceStageState(i, DEVICE_TSS_RESULTARG, st.resultToTemp ? DEVICE_TA_TEMP : DEVICE_TA_CURRENT);
        const struct {
            uint16_t value;
            int state;
        } ops[] = {{st.alphaArg1, DEVICE_TSS_ALPHAARG1}, {st.alphaArg2, DEVICE_TSS_ALPHAARG2},
                   {st.alphaOp, DEVICE_TSS_ALPHAOP},     {st.colorArg1, DEVICE_TSS_COLORARG1},
                   {st.colorArg2, DEVICE_TSS_COLORARG2}, {st.colorOp, DEVICE_TSS_COLOROP}};
        for (const auto& op : ops)
            if (op.value != kDeviceStageLeave) SetDeviceStageState(i, op.state, op.value);
    }
    for (int i = count; i < kDeviceStageCount; ++i) SetDeviceTexture(i, nullptr);
    return 0;
}

int DeviceShadersAvailable() {
    return HardwareRenderingActive() && DeviceCacheState().shadersAllowed && DeviceBackendHasShaders() ? 1 : 0;
}

namespace {

// kind 0 vertex, 1 pixel: 1 when the shader is current afterwards.
int SelectShader(int kind, int index, int* current) {
    if (!DeviceShadersAvailable() || index < 0) return 0;
    if (*current == index && !DeviceCacheState().cache.forceRefresh) return 1;
    if (PrepareDeviceShader(kind, index) != 0) return 0;
    FlushPendingDraws();
    if (SendDeviceShader(kind, index) != 0) return 0;
    *current = index;
    return 1;
}

}  // namespace

int SelectVertexShader(int index) {
    int before = DeviceCacheState().cache.vertexShader;
    int selected = SelectShader(0, index, &DeviceCacheState().cache.vertexShader);
    if (selected && before != index) DeviceCacheState().cache.vertexDeclaration = nullptr;
    return selected;
}

int SelectPixelShader(int index) { return SelectShader(1, index, &DeviceCacheState().cache.pixelShader); }

void ClearDeviceShaders() {
    DeviceStateCache& c = DeviceCacheState().cache;
    if (c.vertexShader != -1) {
        FlushPendingDraws();
        SendDeviceShader(0, -1);
        c.vertexShader = -1;
        c.vertexDeclaration = nullptr;
        c.fvf = 0;
    }
    if (c.pixelShader != -1) {
        SendDeviceShader(1, -1);
        c.pixelShader = -1;
    }
}

int SetDeviceShaderConstants(int kind, int firstRegister, const float* values, int registerCount) {
    if (!HardwareRenderingActive()) return -1;
    FlushPendingDraws();
    return SendDeviceShaderConstants(kind, firstRegister, values, registerCount);
}

// Constants reach the device as they are set: nothing waits.
int UploadShaderConstants(int) { return 0; }

int GetVertexShaderBase() {
    const DeviceStateCache& c = DeviceCacheState().cache;
    int base = c.lightingOff ? 0 : kVsLighting;
    if (c.fogEnable) {
        uint32_t table = c.renderStates[DEVICE_RS_FOGTABLEMODE];
        uint32_t mode = table != DEVICE_FOG_NONE ? table : c.renderStates[DEVICE_RS_FOGVERTEXMODE];
        if (mode <= DEVICE_FOG_LINEAR) base += int(mode) << kVsFogShift;
    }
    return base;
}

int GetPixelShaderBase() { return 0; }

}  // namespace morpotta

int SetProgrammableShaderUse(int use) {
    const PublicCall call("SetProgrammableShaderUse");
    if (!AllowOnlyOnEngineThread()) return -1;
    DeviceCacheState().shadersAllowed = use ? 1 : 0;
    return 0;
}

int GetProgrammableShaderUse() {
    const PublicCall call("GetProgrammableShaderUse");
    if (!AllowOnlyOnEngineThread()) return -1;
    return DeviceCacheState().shadersAllowed;
}
