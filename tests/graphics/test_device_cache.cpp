// The cached setters and the draw-state block on the recording device:
// what reaches the device, and what does not.
#include "graphics/device/recording/recording.h"
#include "graphics/graph_internal.h"
#include "graphics_test_util.h"

#include <functional>

using namespace morpotta;

namespace {

int CountState(int kind, int a, int b = -1) {
    int n = 0;
    for (const DeviceCall& c : GetRecordedDeviceCalls())
        if (c.kind == kind && c.a == a && (b < 0 || c.b == b)) ++n;
    return n;
}

uint64_t LastValue(int kind, int a, int b = -1) {
    uint64_t v = ~0ull;
    for (const DeviceCall& c : GetRecordedDeviceCalls())
        if (c.kind == kind && c.a == a && (b < 0 || c.b == b)) v = c.value;
    return v;
}

int flushes = 0;
int CountFlush() { return ++flushes; }

using DeviceCacheTest = RecordingDeviceTest;

TEST_F(DeviceCacheTest, UnchangedValuesSendNothingAndChangedOnesFlushFirst) {
    flushes = 0;
    SetPendingDrawFlusher(CountFlush);
    ClearRecordedDeviceCalls();
    EXPECT_EQ(SetDeviceZEnable(1), 0);
    EXPECT_EQ(SetDeviceZEnable(1), 0);
    EXPECT_EQ(SetDeviceZWriteEnable(0), 0);
    EXPECT_EQ(SetDeviceZWriteEnable(0), 0);
    EXPECT_EQ(SetDeviceZFunc(DEVICE_CMP_LESSEQUAL), 0);
    EXPECT_EQ(SetDeviceZFunc(DEVICE_CMP_LESSEQUAL), 0);
    EXPECT_EQ(SetStageMaxAnisotropy(1, 4), 0);
    EXPECT_EQ(SetStageMaxAnisotropy(1, 4), 0);
    EXPECT_EQ(CountState(DEVICE_CALL_RENDER_STATE, DEVICE_RS_ZENABLE), 1);
    EXPECT_EQ(CountState(DEVICE_CALL_RENDER_STATE, DEVICE_RS_ZWRITEENABLE), 1);
    EXPECT_EQ(CountState(DEVICE_CALL_RENDER_STATE, DEVICE_RS_ZFUNC), 1);
    EXPECT_EQ(CountState(DEVICE_CALL_SAMPLER_STATE, 1, DEVICE_SAMP_MAXANISOTROPY), 1);
    EXPECT_EQ(flushes, 4);

    // The forced refresh sends even unchanged values.
    GetDeviceStateCache()->forceRefresh = 1;
    SetDeviceZEnable(1);
    GetDeviceStateCache()->forceRefresh = 0;
    EXPECT_EQ(CountState(DEVICE_CALL_RENDER_STATE, DEVICE_RS_ZENABLE), 2);
    SetPendingDrawFlusher(nullptr);
}

TEST_F(DeviceCacheTest, CullModesMapToDeviceWindingsAndBadValuesAreRefused) {
    ClearRecordedDeviceCalls();
    EXPECT_EQ(SetDeviceCullMode(0), 0);
    EXPECT_EQ(LastValue(DEVICE_CALL_RENDER_STATE, DEVICE_RS_CULLMODE), uint64_t(DEVICE_CULL_NONE));
    EXPECT_EQ(SetDeviceCullMode(1), 0);
    EXPECT_EQ(LastValue(DEVICE_CALL_RENDER_STATE, DEVICE_RS_CULLMODE), uint64_t(DEVICE_CULL_CCW));
    EXPECT_EQ(SetDeviceCullMode(2), 0);
    EXPECT_EQ(LastValue(DEVICE_CALL_RENDER_STATE, DEVICE_RS_CULLMODE), uint64_t(DEVICE_CULL_CW));
    EXPECT_EQ(SetDeviceCullMode(3), -1);
    EXPECT_EQ(SetDeviceCullMode(-1), -1);
    EXPECT_EQ(CountState(DEVICE_CALL_RENDER_STATE, DEVICE_RS_CULLMODE), 3);
}

TEST_F(DeviceCacheTest, FillColourSourcesLightingAndFilterSelectorsReachTheirStates) {
    ClearRecordedDeviceCalls();
    SetDeviceFillMode(DEVICE_FILL_WIREFRAME);
    SetDeviceDiffuseFromVertexColor(0);
    SetDeviceSpecularFromVertexColor(1);
    SetDeviceLighting(0);
    EXPECT_EQ(LastValue(DEVICE_CALL_RENDER_STATE, DEVICE_RS_FILLMODE), uint64_t(DEVICE_FILL_WIREFRAME));
    EXPECT_EQ(LastValue(DEVICE_CALL_RENDER_STATE, DEVICE_RS_DIFFUSEMATERIALSOURCE), uint64_t(DEVICE_MCS_MATERIAL));
    EXPECT_EQ(LastValue(DEVICE_CALL_RENDER_STATE, DEVICE_RS_SPECULARMATERIALSOURCE), uint64_t(DEVICE_MCS_COLOR2));
    EXPECT_EQ(LastValue(DEVICE_CALL_RENDER_STATE, DEVICE_RS_LIGHTING), 0u);
    SetLightingEnabled(1);
    EXPECT_EQ(GetDeviceStateCache()->lightingOff, 0);
    EXPECT_EQ(LastValue(DEVICE_CALL_RENDER_STATE, DEVICE_RS_LIGHTING), 1u);
    SetLightingEnabled(0);
    EXPECT_EQ(GetDeviceStateCache()->lightingOff, 1);

    GetDeviceStateCache()->filterMode = 1;
    EXPECT_EQ(SetStageFilterState(2, DEVICE_STAGE_MINFILTER, DEVICE_FILTER_ANISOTROPIC), 0);
    EXPECT_EQ(SetStageFilterState(2, DEVICE_STAGE_MAGFILTER, DEVICE_FILTER_LINEAR), 0);
    EXPECT_EQ(SetStageFilterState(2, DEVICE_STAGE_MIPFILTER, DEVICE_FILTER_LINEAR), 0);
    EXPECT_EQ(SetStageFilterState(2, 99, 1), -1);
    EXPECT_EQ(GetDeviceStateCache()->filterMode, -1);
    EXPECT_EQ(LastValue(DEVICE_CALL_SAMPLER_STATE, 2, DEVICE_SAMP_MINFILTER), uint64_t(DEVICE_FILTER_ANISOTROPIC));
    EXPECT_EQ(LastValue(DEVICE_CALL_SAMPLER_STATE, 2, DEVICE_SAMP_MAGFILTER), uint64_t(DEVICE_FILTER_LINEAR));
    EXPECT_EQ(LastValue(DEVICE_CALL_SAMPLER_STATE, 2, DEVICE_SAMP_MIPFILTER), uint64_t(DEVICE_FILTER_LINEAR));

    SetDeviceTextureAddress(DEVICE_ADDRESS_CLAMP, DEVICE_ADDRESS_MIRROR, DEVICE_ADDRESS_WRAP, 3);
    EXPECT_EQ(LastValue(DEVICE_CALL_SAMPLER_STATE, 3, DEVICE_SAMP_ADDRESSU), uint64_t(DEVICE_ADDRESS_CLAMP));
    EXPECT_EQ(LastValue(DEVICE_CALL_SAMPLER_STATE, 3, DEVICE_SAMP_ADDRESSV), uint64_t(DEVICE_ADDRESS_MIRROR));
    EXPECT_EQ(LastValue(DEVICE_CALL_SAMPLER_STATE, 3, DEVICE_SAMP_ADDRESSW), uint64_t(DEVICE_ADDRESS_WRAP));
}

TEST_F(DeviceCacheTest, AlphaTestFogAndTexCoordIndicesFollowTheLayer) {
    ClearRecordedDeviceCalls();
    EXPECT_EQ(SetDeviceAlphaTest(DEVICE_CMP_GREATER, 300), 0);
    EXPECT_EQ(LastValue(DEVICE_CALL_RENDER_STATE, DEVICE_RS_ALPHAREF), 255u);
    EXPECT_EQ(LastValue(DEVICE_CALL_RENDER_STATE, DEVICE_RS_ALPHATESTENABLE), 1u);
    EXPECT_EQ(SetDeviceAlphaTest(0, 0), -1);

    SetDeviceFogEnable(1);
    SetDeviceRenderState(DEVICE_RS_FOGENABLE, 0);  // someone else turned it off
    ClearRecordedDeviceCalls();
    RestoreDeviceFogEnable();
    RestoreDeviceFogEnable();
    EXPECT_EQ(CountState(DEVICE_CALL_RENDER_STATE, DEVICE_RS_FOGENABLE), 1);
    EXPECT_EQ(LastValue(DEVICE_CALL_RENDER_STATE, DEVICE_RS_FOGENABLE), 1u);

    ClearRecordedDeviceCalls();
    ResetTexCoordIndices();
    EXPECT_EQ(CountRecordedDeviceCalls(DEVICE_CALL_STAGE_STATE), 8);
    ResetTexCoordIndices();
    EXPECT_EQ(CountRecordedDeviceCalls(DEVICE_CALL_STAGE_STATE), 8);
    for (int s = 0; s < 8; ++s) EXPECT_EQ(LastValue(DEVICE_CALL_STAGE_STATE, s, DEVICE_TSS_TEXCOORDINDEX), uint64_t(s));
}

TEST_F(DeviceCacheTest, MaterialIsSentOnceAndKeepsTheLightProducts) {
    DeviceLight light = {};
    light.type = DEVICE_LIGHT_POINT;
    light.diffuse = {0.5f, 1.0f, 0.25f, 1.0f};
    light.specular = {1.0f, 0.5f, 0.0f, 1.0f};
    light.ambient = {0.2f, 0.2f, 0.2f, 1.0f};
    light.attenuation0 = 1.0f;
    light.attenuation1 = 0.5f;
    light.attenuation2 = 0.25f;
    ASSERT_EQ(SetDeviceLight(3, &light), 0);
    ASSERT_EQ(EnableDeviceLight(3, 1), 0);
    SetDeviceAmbientLight(0.1f, 0.2f, 0.3f, 1.0f);
    const float material[17] = {0.8f, 0.6f, 0.4f, 1.0f, 0.5f, 0.5f, 0.5f, 1.0f,
                                1.0f, 1.0f, 1.0f, 1.0f, 0.1f, 0.0f, 0.0f, 0.0f, 8.0f};
    ClearRecordedDeviceCalls();
    ASSERT_EQ(SetDeviceMaterial(material), 0);
    GetDeviceStateCache()->materialChanged = 1;
    ASSERT_EQ(SetDeviceMaterial(material), 0);
    EXPECT_EQ(CountRecordedDeviceCalls(DEVICE_CALL_MATERIAL), 1);

    const DeviceStateCache* c = GetDeviceStateCache();
    ASSERT_EQ(c->enabledLightCount, 1);
    const DeviceLightProducts& p = c->lightProducts[0];
    EXPECT_FLOAT_EQ(p.diffuse.r, 0.4f);
    EXPECT_FLOAT_EQ(p.diffuse.g, 0.6f);
    EXPECT_FLOAT_EQ(p.diffuse.b, 0.1f);
    EXPECT_FLOAT_EQ(p.specular.g, 0.5f);
    EXPECT_FLOAT_EQ(p.ambient.r, 0.1f);
    EXPECT_FLOAT_EQ(p.attenuation2, 0.25f);
    EXPECT_FLOAT_EQ(c->globalAmbient.r, 0.1f * 0.5f + 0.1f);
    EXPECT_FLOAT_EQ(c->globalAmbient.b, 0.3f * 0.5f);

    EnableDeviceLight(3, 0);
    EXPECT_EQ(c->enabledLightCount, 0);
}

TEST_F(DeviceCacheTest, DrawStateBlockLeavesMarkedFieldsAndResolvesGraphs) {
    BASEIMAGE image;
    ASSERT_EQ(CreateBaseImageXrgb32(4, 4, &image), 0);
    int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    FreeBaseImagePixels(&image);
    ASSERT_NE(graph, -1);

    DeviceDrawStateBlock block = {};
    block.blendEnable = 1;
    block.factorColor = 0x7FFFFFFF;
    block.sourceBlend = DEVICE_BLEND_SRCALPHA;
    block.destinationBlend = DEVICE_BLEND_INVSRCALPHA;
    block.blendOp = DEVICE_BLENDOP_ADD;
    block.stageCount = 2;
    block.stages[0] = {graph, 0, 0, DEVICE_TA_TEXTURE, DEVICE_TA_DIFFUSE, DEVICE_TOP_MODULATE,
                       DEVICE_TA_TEXTURE, DEVICE_TA_DIFFUSE, DEVICE_TOP_MODULATE};
    block.stages[1] = {-1, -1, -1, kDeviceStageLeave, kDeviceStageLeave, DEVICE_TOP_DISABLE,
                       kDeviceStageLeave, kDeviceStageLeave, DEVICE_TOP_DISABLE};
    ClearRecordedDeviceCalls();
    ASSERT_EQ(ApplyDeviceDrawState(&block, 0, 1), 0);
    EXPECT_EQ(LastValue(DEVICE_CALL_RENDER_STATE, DEVICE_RS_TEXTUREFACTOR), 0x7FFFFFFFu);
    EXPECT_EQ(LastValue(DEVICE_CALL_RENDER_STATE, DEVICE_RS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(LastValue(DEVICE_CALL_TEXTURE, 0), uint64_t(reinterpret_cast<uintptr_t>(GetGraphTexture(graph))));
    EXPECT_EQ(LastValue(DEVICE_CALL_STAGE_STATE, 0, DEVICE_TSS_COLOROP), uint64_t(DEVICE_TOP_MODULATE));
    EXPECT_EQ(CountState(DEVICE_CALL_STAGE_STATE, 1, DEVICE_TSS_COLORARG1), 0);
    EXPECT_EQ(CountState(DEVICE_CALL_STAGE_STATE, 1, DEVICE_TSS_TEXCOORDINDEX), 0);
    EXPECT_EQ(LastValue(DEVICE_CALL_STAGE_STATE, 1, DEVICE_TSS_COLOROP), uint64_t(DEVICE_TOP_DISABLE));

    // The same block again sends nothing; a stale graph leaves the stage untextured.
    ClearRecordedDeviceCalls();
    ApplyDeviceDrawState(&block, 0, 1);
    EXPECT_EQ(GetRecordedDeviceCalls().size(), 0u);
    DeleteGraphHandle(graph, 0);
    ApplyDeviceDrawState(&block, 0, 1);
    EXPECT_EQ(GetDeviceState().textures[0], nullptr);
    EXPECT_EQ(GetDeviceStateCache()->textures[0], nullptr);
}

TEST_F(DeviceCacheTest, ReleasedObjectsLeaveTheCache) {
    DeviceTexture* t = CreateDeviceTexture(4, 4, 1, 0, DEVICE_FMT_A8R8G8B8, 0);
    DeviceVertexBuffer* vb = CreateDeviceVertexBuffer(64, 0, 0, 0);
    DeviceIndexBuffer* ib = CreateDeviceIndexBuffer(64, 0, DEVICE_FMT_INDEX16, 0);
    SetDeviceTexture(2, t);
    SetDeviceStreamSource(vb, 0, 16);
    SetDeviceIndices(ib);
    ReleaseDeviceTexture(t);
    ReleaseDeviceVertexBuffer(vb);
    ReleaseDeviceIndexBuffer(ib);
    // A new object at a freed address must still reach the device.
    EXPECT_EQ(GetDeviceStateCache()->textures[2], nullptr);
    EXPECT_EQ(GetDeviceStateCache()->streamSource, nullptr);
    EXPECT_EQ(GetDeviceStateCache()->indexBuffer, nullptr);
}

// Whoever drew from memory in between (the 2-D batch, a billboard, a model
// on the fixed-function road), the same buffers set again reach the device
// and the draw from them is made.
bool batchPending = false;
int memoryDraws = 0;
int DrawPendingFromMemory() {
    if (!batchPending) return 0;
    batchPending = false;
    const ScreenVertex v[3] = {};
    ++memoryDraws;
    return DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLELIST, 1, v, sizeof(ScreenVertex));
}

TEST_F(DeviceCacheTest, EveryDrawFromMemoryLeavesStreamAndIndicesUnset) {
    DeviceVertexBuffer* vb = CreateDeviceVertexBuffer(3 * sizeof(ScreenVertex), 0, kScreenVertexFvf, 0);
    DeviceIndexBuffer* ib = CreateDeviceIndexBuffer(6, 0, DEVICE_FMT_INDEX16, 0);
    ASSERT_TRUE(vb && ib);
    SetDeviceFvf(kScreenVertexFvf);
    const ScreenVertex vertices[3] = {};
    const uint16_t indices[3] = {0, 1, 2};
    auto drawFromBuffers = [&] {
        SetDeviceStreamSource(vb, 0, sizeof(ScreenVertex));
        SetDeviceIndices(ib);
        return DrawDeviceIndexedPrimitive(DEVICE_PT_TRIANGLELIST, 0, 0, 3, 0, 1);
    };
    const std::function<int()> memoryDrawsOfEachKind[] = {
        [&] { return DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLELIST, 1, vertices, sizeof(ScreenVertex)); },
        [&] {
            return DrawDeviceIndexedPrimitiveUP(DEVICE_PT_TRIANGLELIST, 0, 3, 1, indices, DEVICE_FMT_INDEX16,
                                                vertices, sizeof(ScreenVertex));
        },
    };
    ASSERT_EQ(drawFromBuffers(), 0);
    for (const auto& drawFromMemory : memoryDrawsOfEachKind) {
        ASSERT_EQ(drawFromMemory(), 0);
        EXPECT_EQ(GetDeviceState().stream, nullptr);
        EXPECT_EQ(GetDeviceState().indices, nullptr);
        EXPECT_EQ(GetDeviceStateCache()->streamSource, nullptr);
        EXPECT_EQ(GetDeviceStateCache()->indexBuffer, nullptr);
        EXPECT_EQ(drawFromBuffers(), 0);
    }

    // A batch still pending when the stream is set is drawn first, so it
    // cannot unset the stream behind the setter's back.
    memoryDraws = 0;
    batchPending = true;
    SetPendingDrawFlusher(DrawPendingFromMemory);
    EXPECT_EQ(drawFromBuffers(), 0);
    SetPendingDrawFlusher(nullptr);
    EXPECT_EQ(memoryDraws, 1);
    EXPECT_EQ(GetDeviceState().stream, vb);
    EXPECT_EQ(GetDeviceState().indices, ib);
    ReleaseDeviceVertexBuffer(vb);
    ReleaseDeviceIndexBuffer(ib);
}

TEST_F(DeviceCacheTest, ProgrammableShadersReportOff) {
    EXPECT_EQ(SelectVertexShader(0), 0);
    EXPECT_EQ(SelectPixelShader(13824), 0);
    EXPECT_EQ(UploadShaderConstants(0), 0);
    EXPECT_EQ(HardwareRenderingActive(), 1);
    DeviceSurface* surface = reinterpret_cast<DeviceSurface*>(1);
    ASSERT_NE(Direct3DDevice9Object(), nullptr);
    EXPECT_EQ(Direct3DDevice9Object()->CreateOffscreenPlainSurface(64, 32, DEVICE_FMT_X8R8G8B8, 0, &surface, nullptr), -1);
    EXPECT_EQ(surface, nullptr);
}

TEST(DeviceAbsentTest, SettersFailCleanlyWithoutADevice) {
    SetLogOutput(0);
    ResetDeviceStateCache();
    EXPECT_EQ(HardwareRenderingActive(), 0);
    EXPECT_EQ(SetDeviceZEnable(1), -1);
    EXPECT_EQ(CreateDeviceVertexBuffer(64, DEVICE_USAGE_WRITEONLY, 0, 0), nullptr);
    EXPECT_EQ(CreateDeviceIndexBuffer(64, DEVICE_USAGE_WRITEONLY, DEVICE_FMT_INDEX16, 0), nullptr);
    EXPECT_EQ(Direct3DDevice9Object(), nullptr);
    EXPECT_EQ(DrawDevicePrimitive(DEVICE_PT_TRIANGLELIST, 0, 1), -1);
    EXPECT_EQ(CreateGraphicsDevice("no such device"), -1);
}

}  // namespace
