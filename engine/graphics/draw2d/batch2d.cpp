// The 2-D batch: vertices collect while texture and blend state stay the
// same; any cached device setter flushes them first, so model drawing never
// inherits half a batch.
#include "graphics/draw2d/batch2d.h"

#include "engine/draw2d.h"
#include "graphics/device/devicestate.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/softimage/drawstate.h"
#include "platform/lasting_state.h"

namespace morpotta {

namespace {

constexpr int kBatchVertices = 6 * 1024;

struct BatchModule {
    Vertex2D vertices[kBatchVertices] = {};
    int vertexCount = 0;
    bool flushing = false;
    bool registered = false;
    int viewportSent[4] = {-1, -1, -1, -1};
};

BatchModule& Batch2DState() {
    return platform::LastingState<BatchModule>();
}

struct BlendStates {
    uint32_t enable, source, destination, op;
};

BlendStates StatesOf(int blend) {
    switch (blend) {
    case DRAW2D_BLEND_ALPHA: return {1, DEVICE_BLEND_SRCALPHA, DEVICE_BLEND_INVSRCALPHA, DEVICE_BLENDOP_ADD};
    case DRAW2D_BLEND_ADD: return {1, DEVICE_BLEND_SRCALPHA, DEVICE_BLEND_ONE, DEVICE_BLENDOP_ADD};
    case DRAW2D_BLEND_SUBTRACT: return {1, DEVICE_BLEND_SRCALPHA, DEVICE_BLEND_ONE, DEVICE_BLENDOP_REVSUBTRACT};
    case DRAW2D_BLEND_MULTIPLY:
    case DRAW2D_BLEND_MULALPHA: return {1, DEVICE_BLEND_ZERO, DEVICE_BLEND_SRCCOLOR, DEVICE_BLENDOP_ADD};
    default: return {0, DEVICE_BLEND_ONE, DEVICE_BLEND_ZERO, DEVICE_BLENDOP_ADD};
    }
}

void ApplyStages(const Draw2DState& s) {
    const uint32_t texArg = DEVICE_TA_TEXTURE | (s.invertTexture ? DEVICE_TA_COMPLEMENT : 0);
    if (s.texture) {
        SetDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_MODULATE);
        SetDeviceStageState(0, DEVICE_TSS_COLORARG1, texArg);
        SetDeviceStageState(0, DEVICE_TSS_COLORARG2, DEVICE_TA_DIFFUSE);
        SetDeviceStageState(0, DEVICE_TSS_ALPHAOP, DEVICE_TOP_MODULATE);
        SetDeviceStageState(0, DEVICE_TSS_ALPHAARG1, DEVICE_TA_TEXTURE);
        SetDeviceStageState(0, DEVICE_TSS_ALPHAARG2, DEVICE_TA_DIFFUSE);
    } else {
        SetDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
        SetDeviceStageState(0, DEVICE_TSS_COLORARG1, DEVICE_TA_DIFFUSE);
        SetDeviceStageState(0, DEVICE_TSS_ALPHAOP, DEVICE_TOP_SELECTARG1);
        SetDeviceStageState(0, DEVICE_TSS_ALPHAARG1, DEVICE_TA_DIFFUSE);
    }
    SetDeviceStageState(0, DEVICE_TSS_TEXCOORDINDEX, 0);
    SetDeviceStageState(0, DEVICE_TSS_RESULTARG, DEVICE_TA_CURRENT);
    if (s.blend == DRAW2D_BLEND_MULALPHA) {
        // Towards white by the weight, so the multiply fades out with it.
        SetDeviceRenderState(DEVICE_RS_TEXTUREFACTOR, 0xFFFFFFFFu);
        SetDeviceStageState(1, DEVICE_TSS_COLOROP, DEVICE_TOP_BLENDCURRENTALPHA);
        SetDeviceStageState(1, DEVICE_TSS_COLORARG1, DEVICE_TA_CURRENT);
        SetDeviceStageState(1, DEVICE_TSS_COLORARG2, DEVICE_TA_TFACTOR);
        SetDeviceStageState(1, DEVICE_TSS_ALPHAOP, DEVICE_TOP_SELECTARG1);
        SetDeviceStageState(1, DEVICE_TSS_ALPHAARG1, DEVICE_TA_CURRENT);
        SetDeviceTexture(1, nullptr);
    } else {
        SetDeviceStageState(1, DEVICE_TSS_COLOROP, DEVICE_TOP_DISABLE);
        SetDeviceStageState(1, DEVICE_TSS_ALPHAOP, DEVICE_TOP_DISABLE);
    }
}

}  // namespace

void Apply2DViewport(const int area[4]) {
    bool same = true;
    for (int i = 0; i < 4; ++i) same = same && Batch2DState().viewportSent[i] == area[i];
    if (same) return;
    FlushPendingDraws();
    // Screen-space vertices keep their pixel positions; the viewport clips them.
    const DeviceViewport viewport = {area[0], area[1], area[2] - area[0], area[3] - area[1], 0.0f, 1.0f};
    if (SendDeviceViewport(&viewport) != 0) return;
    for (int i = 0; i < 4; ++i) Batch2DState().viewportSent[i] = area[i];
}

void Begin2DBatch(const Draw2DState& s) {
    if (!Batch2DState().registered) {
        SetPendingDrawFlusher(Flush2DBatch);
        Batch2DState().registered = true;
    }
    BeginDeviceScene();
    Apply2DViewport(GetScreenDrawArea());
    const BlendStates b = StatesOf(s.blend);
    SetDeviceRenderState(DEVICE_RS_ALPHABLENDENABLE, b.enable);
    SetDeviceRenderState(DEVICE_RS_SRCBLEND, b.source);
    SetDeviceRenderState(DEVICE_RS_DESTBLEND, b.destination);
    SetDeviceRenderState(DEVICE_RS_BLENDOP, b.op);
    SetDeviceRenderState(DEVICE_RS_ZENABLE, 0);
    SetDeviceRenderState(DEVICE_RS_ZWRITEENABLE, 0);
    SetDeviceRenderState(DEVICE_RS_CULLMODE, DEVICE_CULL_NONE);
    SetDeviceAlphaTest(s.dropsClearTexels ? DEVICE_CMP_GREATER : DEVICE_CMP_ALWAYS, 0);
    SetDeviceRenderState(DEVICE_RS_FOGENABLE, 0);
    SetDeviceRenderState(DEVICE_RS_FILLMODE, DEVICE_FILL_SOLID);
    SetDeviceRenderState(DEVICE_RS_SHADEMODE, DEVICE_SHADE_GOURAUD);
    SetDeviceRenderState(DEVICE_RS_SPECULARENABLE, 0);
    ApplyStages(s);
    SetDeviceTexture(0, s.texture);
    if (s.texture) Apply2DFilter();
    SetDeviceSamplerState(0, DEVICE_SAMP_ADDRESSU, DEVICE_ADDRESS_CLAMP);
    SetDeviceSamplerState(0, DEVICE_SAMP_ADDRESSV, DEVICE_ADDRESS_CLAMP);
    SetDeviceFvf(kVertex2DFvf);
}

void Append2DTriangles(const Vertex2D* v, int count) {
    while (count > 0) {
        if (Batch2DState().vertexCount + 3 > kBatchVertices) Flush2DBatch();
        int room = (kBatchVertices - Batch2DState().vertexCount) / 3 * 3;
        int n = count < room ? count : room;
        for (int i = 0; i < n; ++i) Batch2DState().vertices[Batch2DState().vertexCount++] = v[i];
        v += n;
        count -= n;
    }
}

void Append2DQuad(const float xs[4], const float ys[4], const float us[4], const float vs[4], uint32_t diffuse) {
    Vertex2D q[6];
    const int order[6] = {0, 1, 2, 2, 1, 3};
    for (int i = 0; i < 6; ++i) {
        const int k = order[i];
        q[i] = {xs[k], ys[k], 0.0f, 1.0f, diffuse, us[k], vs[k]};
    }
    Append2DTriangles(q, 6);
}

int Flush2DBatch() {
    if (Batch2DState().flushing || Batch2DState().vertexCount == 0) return 0;
    Batch2DState().flushing = true;
    const int count = Batch2DState().vertexCount;
    Batch2DState().vertexCount = 0;
    int result = HardwareRenderingActive()
                     ? DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLELIST, count / 3, Batch2DState().vertices, sizeof(Vertex2D))
                     : 0;
    Batch2DState().flushing = false;
    return result;
}

void Forget2DBatchState() {
    Batch2DState().vertexCount = 0;
    for (int& v : Batch2DState().viewportSent) v = -1;
    Batch2DState().registered = false;
    SetPendingDrawFlusher(nullptr);
}

bool Resolve2DBlend(int transparent, bool textured, Draw2DState* state, uint32_t* diffuse) {
    int alpha = BlendParam;
    state->invertTexture = 0;
    // Most blends weigh by the alpha and so leave the screen alone where it
    // is 0; BlendMul would multiply by the clear texels' colour.
    state->dropsClearTexels = transparent && textured ? 1 : 0;
    switch (BlendMode) {
    case BlendCopy:
        // Transparent pictures keep their keyed-out and alpha pixels out.
        state->blend = transparent && textured ? DRAW2D_BLEND_ALPHA : DRAW2D_BLEND_NONE;
        alpha = 255;
        break;
    case BlendAlpha: state->blend = DRAW2D_BLEND_ALPHA; break;
    case BlendAdd: state->blend = DRAW2D_BLEND_ADD; break;
    case BlendSub: state->blend = DRAW2D_BLEND_SUBTRACT; break;
    case BlendMul: state->blend = DRAW2D_BLEND_MULTIPLY; alpha = 255; break;
    case BlendInvert:
        state->blend = DRAW2D_BLEND_ALPHA;
        state->invertTexture = textured ? 1 : 0;
        break;
    case BlendMulAlpha: state->blend = DRAW2D_BLEND_MULALPHA; break;
    default: return false;
    }
    *diffuse = uint32_t(alpha) << 24 | (DrawTint & 0xFFFFFF);
    return true;
}

}  // namespace morpotta
