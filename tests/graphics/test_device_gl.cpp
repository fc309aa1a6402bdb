// The GL back end read back: clears, triangles, textures, the texture-stage
// cascade against a CPU reference, culling, and draws from buffers.
#include "graphics/device/device_internal.h"
#include "graphics/device/gl/gl_internal.h"
#include "graphics_test_util.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

using namespace morpotta;

namespace {

using GlDeviceDrawTest = GlDeviceTest;

TEST_F(GlDeviceDrawTest, ClearAndAScreenTriangleReadBack) {
    ASSERT_EQ(ClearDevice(DEVICE_CLEAR_TARGET, 0xFF204060u, 1.0f), 0);
    EXPECT_TRUE(ColorNear(PixelAt(0, 0), 0xFF204060u, 0));
    EXPECT_TRUE(ColorNear(PixelAt(639, 479), 0xFF204060u, 0));
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
    SendDeviceStageState(0, DEVICE_TSS_COLORARG1, DEVICE_TA_DIFFUSE);
    SendDeviceRenderState(DEVICE_RS_CULLMODE, DEVICE_CULL_NONE);
    ScreenVertex v[3] = {{100, 100, 0.5f, 1, 0xFFFF0000u, 0, 0, 0},
                         {300, 100, 0.5f, 1, 0xFFFF0000u, 0, 0, 0},
                         {100, 300, 0.5f, 1, 0xFFFF0000u, 0, 0, 0}};
    SendDeviceFvf(kScreenVertexFvf);
    ASSERT_EQ(DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLELIST, 1, v, sizeof(ScreenVertex)), 0);
    EXPECT_TRUE(ColorNear(PixelAt(120, 120), 0xFFFF0000u, 0));
    EXPECT_TRUE(ColorNear(PixelAt(290, 290), 0xFF204060u, 0));  // beyond the hypotenuse
    EXPECT_TRUE(ColorNear(PixelAt(99, 150), 0xFF204060u, 0));   // left of the edge
    EXPECT_TRUE(ColorNear(PixelAt(100, 150), 0xFFFF0000u, 0));  // pixel centres on whole numbers
}

TEST_F(GlDeviceDrawTest, TexturedQuadShowsItsTexelsInPlace) {
    DeviceTexture* t = CreateDeviceTexture(2, 2, 1, 0, DEVICE_FMT_A8R8G8B8, 0);
    ASSERT_NE(t, nullptr);
    void* bits = nullptr;
    int pitch = 0;
    ASSERT_EQ(LockDeviceTexture(t, 0, &bits, &pitch), 0);
    uint32_t* p = static_cast<uint32_t*>(bits);
    p[0] = 0xFFFF0000u, p[1] = 0xFF00FF00u;
    p[pitch / 4] = 0xFF0000FFu, p[pitch / 4 + 1] = 0xFFFFFFFFu;
    UnlockDeviceTexture(t, 0);
    SendDeviceTexture(0, t);
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_MODULATE);
    DrawScreenQuad(200, 100, 400, 300, 0xFFFFFFFFu);
    EXPECT_TRUE(ColorNear(PixelAt(250, 150), 0xFFFF0000u, 0));
    EXPECT_TRUE(ColorNear(PixelAt(350, 150), 0xFF00FF00u, 0));
    EXPECT_TRUE(ColorNear(PixelAt(250, 250), 0xFF0000FFu, 0));
    EXPECT_TRUE(ColorNear(PixelAt(350, 250), 0xFFFFFFFFu, 0));
    EXPECT_TRUE(ColorNear(PixelAt(199, 150), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(PixelAt(400, 150), 0xFF000000u, 0));

    // 16-bit formats decode to the same colours.
    DeviceTexture* t565 = CreateDeviceTexture(1, 1, 1, 0, DEVICE_FMT_R5G6B5, 0);
    ASSERT_EQ(LockDeviceTexture(t565, 0, &bits, &pitch), 0);
    *static_cast<uint16_t*>(bits) = 0xF800;  // red
    UnlockDeviceTexture(t565, 0);
    SendDeviceTexture(0, t565);
    DrawScreenQuad(0, 0, 16, 16, 0xFFFFFFFFu);
    EXPECT_TRUE(ColorNear(PixelAt(8, 8), 0xFFFF0000u, 1));
    const struct {
        int format;
        uint16_t texel;
        uint32_t color;
    } sixteen[] = {{DEVICE_FMT_A1R5G5B5, 0x801F, 0xFF0000FFu}, {DEVICE_FMT_A4R4G4B4, 0xF0F0, 0xFF00FF00u}};
    for (const auto& c : sixteen) {
        DeviceTexture* t16 = CreateDeviceTexture(1, 1, 1, 0, c.format, 0);
        ASSERT_EQ(LockDeviceTexture(t16, 0, &bits, &pitch), 0);
        *static_cast<uint16_t*>(bits) = c.texel;
        UnlockDeviceTexture(t16, 0);
        SendDeviceTexture(0, t16);
        DrawScreenQuad(0, 0, 16, 16, 0xFFFFFFFFu);
        EXPECT_TRUE(ColorNear(PixelAt(8, 8), c.color, 1)) << c.format;
        ReleaseDeviceTexture(t16);
    }
    ReleaseDeviceTexture(t);
    ReleaseDeviceTexture(t565);
}

// ---- The stage cascade against a CPU reference ----

struct Rgba {
    float c[4];  // r, g, b, a
};

Rgba FromArgb(uint32_t v) {
    return {{ChannelOf(v, 16) / 255.0f, ChannelOf(v, 8) / 255.0f, ChannelOf(v, 0) / 255.0f, ChannelOf(v, 24) / 255.0f}};
}

uint32_t ToArgb(const Rgba& v) {
    auto b = [](float f) { return int(std::floor(std::clamp(f, 0.0f, 1.0f) * 255.0f + 0.5f)); };
    return PackArgb(b(v.c[3]), b(v.c[0]), b(v.c[1]), b(v.c[2]));
}

struct StageInputs {
    Rgba diffuse, specular, factor, texture, current, temp;
};

Rgba Arg(const StageInputs& in, int arg) {
    Rgba v;
    switch (arg & DEVICE_TA_SELECTMASK) {
    case DEVICE_TA_DIFFUSE: v = in.diffuse; break;
    case DEVICE_TA_CURRENT: v = in.current; break;
    case DEVICE_TA_TEXTURE: v = in.texture; break;
    case DEVICE_TA_TFACTOR: v = in.factor; break;
    case DEVICE_TA_SPECULAR: v = in.specular; break;
    default: v = in.temp; break;
    }
    if (arg & DEVICE_TA_COMPLEMENT)
        for (float& f : v.c) f = 1.0f - f;
    if (arg & DEVICE_TA_ALPHAREPLICATE) v.c[0] = v.c[1] = v.c[2] = v.c[3];
    return v;
}

float Op(int op, float a1, float a2, float a1Alpha, const StageInputs& in) {
    switch (op) {
    case DEVICE_TOP_SELECTARG1: return a1;
    case DEVICE_TOP_SELECTARG2: return a2;
    case DEVICE_TOP_MODULATE: return a1 * a2;
    case DEVICE_TOP_MODULATE2X: return a1 * a2 * 2;
    case DEVICE_TOP_MODULATE4X: return a1 * a2 * 4;
    case DEVICE_TOP_ADD: return a1 + a2;
    case DEVICE_TOP_ADDSIGNED: return a1 + a2 - 0.5f;
    case DEVICE_TOP_ADDSIGNED2X: return (a1 + a2 - 0.5f) * 2;
    case DEVICE_TOP_SUBTRACT: return a1 - a2;
    case DEVICE_TOP_ADDSMOOTH: return a1 + a2 - a1 * a2;
    case DEVICE_TOP_BLENDDIFFUSEALPHA: return a1 * in.diffuse.c[3] + a2 * (1 - in.diffuse.c[3]);
    case DEVICE_TOP_BLENDTEXTUREALPHA: return a1 * in.texture.c[3] + a2 * (1 - in.texture.c[3]);
    case DEVICE_TOP_BLENDFACTORALPHA: return a1 * in.factor.c[3] + a2 * (1 - in.factor.c[3]);
    case DEVICE_TOP_BLENDTEXTUREALPHAPM: return a1 + a2 * (1 - in.texture.c[3]);
    case DEVICE_TOP_BLENDCURRENTALPHA: return a1 * in.current.c[3] + a2 * (1 - in.current.c[3]);
    case DEVICE_TOP_MODULATEALPHA_ADDCOLOR: return a1 + a1Alpha * a2;
    case DEVICE_TOP_MODULATECOLOR_ADDALPHA: return a1 * a2 + a1Alpha;
    case DEVICE_TOP_MODULATEINVALPHA_ADDCOLOR: return (1 - a1Alpha) * a2 + a1;
    case DEVICE_TOP_MODULATEINVCOLOR_ADDALPHA: return (1 - a1) * a2 + a1Alpha;
    default: return 0;
    }
}

Rgba ReferenceStage(const StageInputs& in, int colorOp, int c1, int c2, int alphaOp, int x1, int x2) {
    Rgba out;
    Rgba a = Arg(in, c1), b = Arg(in, c2);
    if (colorOp == DEVICE_TOP_DOTPRODUCT3) {
        float d = 0;
        for (int i = 0; i < 3; ++i) d += (a.c[i] * 2 - 1) * (b.c[i] * 2 - 1);
        d = std::clamp(d, 0.0f, 1.0f);
        return {{d, d, d, d}};
    }
    for (int i = 0; i < 3; ++i) out.c[i] = std::clamp(Op(colorOp, a.c[i], b.c[i], a.c[3], in), 0.0f, 1.0f);
    Rgba p = Arg(in, x1), q = Arg(in, x2);
    out.c[3] = std::clamp(Op(alphaOp, p.c[3], q.c[3], p.c[3], in), 0.0f, 1.0f);
    return out;
}

struct StageCase {
    int colorOp, c1, c2, alphaOp, a1, a2;
};

TEST_F(GlDeviceDrawTest, EachStageOperationAndArgumentMatchesTheReference) {
    const uint32_t diffuse = 0x80C86432u, specular = 0x40204060u, factor = 0xC0106080u, texel = 0xA0804020u;
    DeviceTexture* t = MakeSolidTexture(texel);
    ASSERT_NE(t, nullptr);
    SendDeviceTexture(0, t);
    SendDeviceRenderState(DEVICE_RS_TEXTUREFACTOR, factor);
    const int D = DEVICE_TA_DIFFUSE, T = DEVICE_TA_TEXTURE, F = DEVICE_TA_TFACTOR, S = DEVICE_TA_SPECULAR,
              C = DEVICE_TA_CURRENT, CO = DEVICE_TA_COMPLEMENT, AR = DEVICE_TA_ALPHAREPLICATE;
    const StageCase cases[] = {
        {DEVICE_TOP_SELECTARG1, T, D, DEVICE_TOP_SELECTARG1, T, D},
        {DEVICE_TOP_SELECTARG2, T, D, DEVICE_TOP_SELECTARG2, T, D},
        {DEVICE_TOP_MODULATE, T, D, DEVICE_TOP_MODULATE, T, D},
        {DEVICE_TOP_MODULATE2X, T, D, DEVICE_TOP_MODULATE2X, T, F},
        {DEVICE_TOP_MODULATE4X, S, D, DEVICE_TOP_MODULATE4X, S, D},
        {DEVICE_TOP_ADD, T, S, DEVICE_TOP_ADD, S, D},
        {DEVICE_TOP_ADDSIGNED, T, F, DEVICE_TOP_ADDSIGNED, T, F},
        {DEVICE_TOP_ADDSIGNED2X, T, D, DEVICE_TOP_ADDSIGNED2X, D, S},
        {DEVICE_TOP_SUBTRACT, T, S, DEVICE_TOP_SUBTRACT, F, T},
        {DEVICE_TOP_ADDSMOOTH, T, D, DEVICE_TOP_ADDSMOOTH, T, D},
        {DEVICE_TOP_BLENDDIFFUSEALPHA, T, F, DEVICE_TOP_BLENDDIFFUSEALPHA, T, F},
        {DEVICE_TOP_BLENDTEXTUREALPHA, F, D, DEVICE_TOP_BLENDTEXTUREALPHA, F, D},
        {DEVICE_TOP_BLENDFACTORALPHA, T, D, DEVICE_TOP_BLENDFACTORALPHA, T, D},
        {DEVICE_TOP_BLENDTEXTUREALPHAPM, S, D, DEVICE_TOP_SELECTARG1, D, T},
        {DEVICE_TOP_BLENDCURRENTALPHA, T, F, DEVICE_TOP_SELECTARG1, C, T},
        {DEVICE_TOP_MODULATEALPHA_ADDCOLOR, T, S, DEVICE_TOP_SELECTARG1, T, D},
        {DEVICE_TOP_MODULATECOLOR_ADDALPHA, T, S, DEVICE_TOP_SELECTARG1, T, D},
        {DEVICE_TOP_MODULATEINVALPHA_ADDCOLOR, T, S, DEVICE_TOP_SELECTARG1, T, D},
        {DEVICE_TOP_MODULATEINVCOLOR_ADDALPHA, T, S, DEVICE_TOP_SELECTARG1, T, D},
        {DEVICE_TOP_DOTPRODUCT3, T, F, DEVICE_TOP_SELECTARG1, T, D},
        {DEVICE_TOP_MODULATE, T | CO, D, DEVICE_TOP_MODULATE, T | CO, D},
        {DEVICE_TOP_MODULATE, T | AR, D | CO, DEVICE_TOP_SELECTARG1, F | CO, D},
        {DEVICE_TOP_SELECTARG1, C, D, DEVICE_TOP_SELECTARG1, C, D},
    };
    StageInputs in{FromArgb(diffuse), FromArgb(specular), FromArgb(factor), FromArgb(texel), FromArgb(diffuse), {}};
    int i = 0;
    for (const StageCase& c : cases) {
        SendDeviceStageState(0, DEVICE_TSS_COLOROP, uint32_t(c.colorOp));
        SendDeviceStageState(0, DEVICE_TSS_COLORARG1, uint32_t(c.c1));
        SendDeviceStageState(0, DEVICE_TSS_COLORARG2, uint32_t(c.c2));
        SendDeviceStageState(0, DEVICE_TSS_ALPHAOP, uint32_t(c.alphaOp));
        SendDeviceStageState(0, DEVICE_TSS_ALPHAARG1, uint32_t(c.a1));
        SendDeviceStageState(0, DEVICE_TSS_ALPHAARG2, uint32_t(c.a2));
        int x = (i % 16) * 40, y = (i / 16) * 40;
        DrawScreenQuad(float(x), float(y), float(x + 40), float(y + 40), diffuse, specular);
        uint32_t expected = ToArgb(ReferenceStage(in, c.colorOp, c.c1, c.c2, c.alphaOp, c.a1, c.a2));
        EXPECT_TRUE(ColorNear(PixelAt(x + 20, y + 20), expected, 2, true)) << "case " << i << " op " << c.colorOp;
        ++i;
    }
    ReleaseDeviceTexture(t);
}

TEST_F(GlDeviceDrawTest, TemporaryRegisterSpecularAddAndDisabledStageEndTheCascade) {
    const uint32_t diffuse = 0xFF402010u, specular = 0xFF102030u, texel = 0xFF808080u;
    DeviceTexture* t = MakeSolidTexture(texel);
    SendDeviceTexture(0, t);
    SendDeviceTexture(1, t);
    // Stage 0 writes texture x diffuse into TEMP; stage 1 adds TEMP to the (untouched) current.
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_MODULATE);
    SendDeviceStageState(0, DEVICE_TSS_RESULTARG, DEVICE_TA_TEMP);
    SendDeviceStageState(1, DEVICE_TSS_COLOROP, DEVICE_TOP_ADD);
    SendDeviceStageState(1, DEVICE_TSS_COLORARG1, DEVICE_TA_TEMP);
    SendDeviceStageState(1, DEVICE_TSS_COLORARG2, DEVICE_TA_CURRENT);
    SendDeviceStageState(1, DEVICE_TSS_ALPHAOP, DEVICE_TOP_SELECTARG1);
    SendDeviceStageState(1, DEVICE_TSS_ALPHAARG1, DEVICE_TA_DIFFUSE);
    SendDeviceStageState(2, DEVICE_TSS_COLOROP, DEVICE_TOP_DISABLE);
    SendDeviceStageState(3, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);  // behind the disabled stage
    SendDeviceStageState(3, DEVICE_TSS_COLORARG1, DEVICE_TA_TFACTOR);
    SendDeviceRenderState(DEVICE_RS_SPECULARENABLE, 1);
    DrawScreenQuad(0, 0, 32, 32, diffuse, specular);
    // current = diffuse (stage 0 wrote TEMP), + temp = diffuse x 0.5, + specular.
    int r = 0x40 + (0x40 * 128 + 127) / 255 + 0x10, g = 0x20 + (0x20 * 128 + 127) / 255 + 0x20,
        b = 0x10 + (0x10 * 128 + 127) / 255 + 0x30;
    EXPECT_TRUE(ColorNear(PixelAt(16, 16), PackArgb(255, r, g, b), 2));
    ReleaseDeviceTexture(t);
}

TEST_F(GlDeviceDrawTest, AlphaTestDiscardsAndBlendingMixes) {
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
    SendDeviceStageState(0, DEVICE_TSS_COLORARG1, DEVICE_TA_DIFFUSE);
    SendDeviceStageState(0, DEVICE_TSS_ALPHAOP, DEVICE_TOP_SELECTARG1);
    SendDeviceStageState(0, DEVICE_TSS_ALPHAARG1, DEVICE_TA_DIFFUSE);
    ClearDevice(DEVICE_CLEAR_TARGET, 0xFF0000FFu, 1.0f);
    SendDeviceRenderState(DEVICE_RS_ALPHATESTENABLE, 1);
    SendDeviceRenderState(DEVICE_RS_ALPHAFUNC, DEVICE_CMP_GREATER);
    SendDeviceRenderState(DEVICE_RS_ALPHAREF, 0x80);
    DrawScreenQuad(0, 0, 10, 10, 0x80FF0000u);   // alpha equal to the reference: dropped
    DrawScreenQuad(10, 0, 20, 10, 0x81FF0000u);  // above: drawn
    EXPECT_TRUE(ColorNear(PixelAt(5, 5), 0xFF0000FFu, 0));
    EXPECT_TRUE(ColorNear(PixelAt(15, 5), 0xFFFF0000u, 0));
    SendDeviceRenderState(DEVICE_RS_ALPHATESTENABLE, 0);
    SendDeviceRenderState(DEVICE_RS_ALPHABLENDENABLE, 1);
    SendDeviceRenderState(DEVICE_RS_SRCBLEND, DEVICE_BLEND_SRCALPHA);
    SendDeviceRenderState(DEVICE_RS_DESTBLEND, DEVICE_BLEND_INVSRCALPHA);
    DrawScreenQuad(20, 0, 30, 10, 0x80FF0000u);
    EXPECT_TRUE(ColorNear(PixelAt(25, 5), PackArgb(0, 128, 0, 127), 2));
    SendDeviceRenderState(DEVICE_RS_DESTBLEND, DEVICE_BLEND_ONE);
    SendDeviceRenderState(DEVICE_RS_SRCBLEND, DEVICE_BLEND_ONE);
    DrawScreenQuad(30, 0, 40, 10, 0xFF00FF00u);
    EXPECT_TRUE(ColorNear(PixelAt(35, 5), 0xFF00FFFFu, 0));
}

// ---- Transformed vertices: culling, depth and buffers ----

struct LitNormalVertex {
    float x, y, z;
    float nx, ny, nz;
    uint32_t diffuse;
};
constexpr uint32_t kLitNormalFvf = DEVICE_FVF_XYZ | DEVICE_FVF_NORMAL | DEVICE_FVF_DIFFUSE;

void UseIdentityTransforms() {
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    SendDeviceTransform(DEVICE_TS_WORLD, identity);
    SendDeviceTransform(DEVICE_TS_VIEW, identity);
    SendDeviceTransform(DEVICE_TS_PROJECTION, identity);
}

TEST_F(GlDeviceDrawTest, CullModesDropTheNamedScreenWinding) {
    UseIdentityTransforms();
    SendDeviceRenderState(DEVICE_RS_LIGHTING, 0);
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
    SendDeviceStageState(0, DEVICE_TSS_COLORARG1, DEVICE_TA_DIFFUSE);
    SendDeviceFvf(kLitNormalFvf);
    // Clockwise on the screen (y down): top-left, top-right, bottom-left.
    LitNormalVertex cw[3] = {{-1, 1, 0.5f, 0, 0, 0, 0xFFFF0000u}, {1, 1, 0.5f, 0, 0, 0, 0xFFFF0000u},
                       {-1, -1, 0.5f, 0, 0, 0, 0xFFFF0000u}};
    LitNormalVertex ccw[3] = {cw[0], cw[2], cw[1]};
    for (int i = 0; i < 3; ++i) ccw[i].diffuse = 0xFF00FF00u;
    struct {
        int mode;
        bool cwVisible, ccwVisible;
    } cases[] = {{0, true, true}, {1, true, false}, {2, false, true}};
    for (auto& c : cases) {
        ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, 0xFF000000u, 1.0f);
        ResetDeviceStateCache();
        SetDeviceCullMode(c.mode);
        SendDeviceRenderState(DEVICE_RS_ZENABLE, 0);
        DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLELIST, 1, cw, sizeof(LitNormalVertex));
        uint32_t afterCw = PixelAt(100, 100);
        ClearDevice(DEVICE_CLEAR_TARGET, 0xFF000000u, 1.0f);
        DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLELIST, 1, ccw, sizeof(LitNormalVertex));
        uint32_t afterCcw = PixelAt(100, 100);
        EXPECT_EQ(afterCw == 0xFFFF0000u, c.cwVisible) << "mode " << c.mode;
        EXPECT_EQ(afterCcw == 0xFF00FF00u, c.ccwVisible) << "mode " << c.mode;
    }
}

TEST_F(GlDeviceDrawTest, DepthTestKeepsTheNearerSurface) {
    UseIdentityTransforms();
    SendDeviceRenderState(DEVICE_RS_LIGHTING, 0);
    SendDeviceRenderState(DEVICE_RS_CULLMODE, DEVICE_CULL_NONE);
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
    SendDeviceStageState(0, DEVICE_TSS_COLORARG1, DEVICE_TA_DIFFUSE);
    SendDeviceFvf(kLitNormalFvf);
    auto quad = [](float z, uint32_t c) {
        LitNormalVertex v[4] = {{-1, 1, z, 0, 0, 0, c}, {1, 1, z, 0, 0, 0, c}, {-1, -1, z, 0, 0, 0, c}, {1, -1, z, 0, 0, 0, c}};
        DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLESTRIP, 2, v, sizeof(LitNormalVertex));
    };
    quad(0.3f, 0xFFFF0000u);
    quad(0.6f, 0xFF00FF00u);  // farther: hidden
    EXPECT_TRUE(ColorNear(PixelAt(320, 240), 0xFFFF0000u, 0));
    SendDeviceRenderState(DEVICE_RS_ZFUNC, DEVICE_CMP_ALWAYS);
    quad(0.6f, 0xFF00FF00u);
    EXPECT_TRUE(ColorNear(PixelAt(320, 240), 0xFF00FF00u, 0));
}

TEST_F(GlDeviceDrawTest, BufferDrawsAndMemoryDrawsPlaceTheSameVertices) {
    UseIdentityTransforms();
    SendDeviceRenderState(DEVICE_RS_LIGHTING, 0);
    SendDeviceRenderState(DEVICE_RS_CULLMODE, DEVICE_CULL_NONE);
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
    SendDeviceStageState(0, DEVICE_TSS_COLORARG1, DEVICE_TA_DIFFUSE);
    SendDeviceFvf(kLitNormalFvf);
    // Two quads: left half red, right half blue, 8 vertices, 12 indices.
    LitNormalVertex v[8] = {{-1, 1, 0.5f, 0, 0, 0, 0xFFFF0000u}, {0, 1, 0.5f, 0, 0, 0, 0xFFFF0000u},
                      {-1, -1, 0.5f, 0, 0, 0, 0xFFFF0000u}, {0, -1, 0.5f, 0, 0, 0, 0xFFFF0000u},
                      {0, 1, 0.5f, 0, 0, 0, 0xFF0000FFu},  {1, 1, 0.5f, 0, 0, 0, 0xFF0000FFu},
                      {0, -1, 0.5f, 0, 0, 0, 0xFF0000FFu}, {1, -1, 0.5f, 0, 0, 0, 0xFF0000FFu}};
    const uint16_t indices[6] = {0, 1, 2, 2, 1, 3};
    DeviceVertexBuffer* vb = CreateDeviceVertexBuffer(sizeof v, DEVICE_USAGE_WRITEONLY, kLitNormalFvf, 0);
    DeviceIndexBuffer* ib = CreateDeviceIndexBuffer(sizeof indices, DEVICE_USAGE_WRITEONLY, DEVICE_FMT_INDEX16, 0);
    void* data = nullptr;
    ASSERT_EQ(LockDeviceVertexBuffer(vb, 0, 0, &data, 0), 0);
    std::memcpy(data, v, sizeof v);
    UnlockDeviceVertexBuffer(vb);
    ASSERT_EQ(LockDeviceIndexBuffer(ib, 0, 0, &data, 0), 0);
    std::memcpy(data, indices, sizeof indices);
    UnlockDeviceIndexBuffer(ib);
    SendDeviceStreamSource(vb, 0, sizeof(LitNormalVertex));
    SendDeviceIndices(ib);
    ASSERT_EQ(DrawDeviceIndexedPrimitive(DEVICE_PT_TRIANGLELIST, 0, 0, 4, 0, 2), 0);
    ASSERT_EQ(DrawDeviceIndexedPrimitive(DEVICE_PT_TRIANGLELIST, 4, 0, 4, 0, 2), 0);  // base vertex 4
    EXPECT_TRUE(ColorNear(PixelAt(100, 240), 0xFFFF0000u, 0));
    EXPECT_TRUE(ColorNear(PixelAt(540, 240), 0xFF0000FFu, 0));

    ClearDevice(DEVICE_CLEAR_TARGET, 0xFF000000u, 1.0f);
    ASSERT_EQ(DrawDevicePrimitive(DEVICE_PT_TRIANGLESTRIP, 4, 2), 0);  // right quad as a strip
    EXPECT_TRUE(ColorNear(PixelAt(540, 240), 0xFF0000FFu, 0));
    EXPECT_TRUE(ColorNear(PixelAt(100, 240), 0xFF000000u, 0));

    ClearDevice(DEVICE_CLEAR_TARGET, 0xFF000000u, 1.0f);
    const uint16_t shifted[6] = {4, 5, 6, 6, 5, 7};
    ASSERT_EQ(DrawDeviceIndexedPrimitiveUP(DEVICE_PT_TRIANGLELIST, 4, 4, 2, shifted, DEVICE_FMT_INDEX16, v,
                                           sizeof(LitNormalVertex)),
              0);
    EXPECT_TRUE(ColorNear(PixelAt(540, 240), 0xFF0000FFu, 0));
    EXPECT_TRUE(ColorNear(PixelAt(100, 240), 0xFF000000u, 0));

    // Many memory draws wrap the streaming ring without disturbing earlier ones.
    for (int i = 0; i < 20000; ++i)
        DrawDeviceIndexedPrimitiveUP(DEVICE_PT_TRIANGLELIST, 0, 4, 2, indices, DEVICE_FMT_INDEX16, v, sizeof(LitNormalVertex));
    EXPECT_TRUE(ColorNear(PixelAt(100, 240), 0xFFFF0000u, 0));
    ReleaseDeviceVertexBuffer(vb);
    ReleaseDeviceIndexBuffer(ib);
}

TEST_F(GlDeviceDrawTest, RenderTargetTexturesKeepTheTopRowFirst) {
    DeviceTexture* target = CreateDeviceTexture(64, 32, 1, DEVICE_USAGE_RENDERTARGET, DEVICE_FMT_A8R8G8B8, 0);
    ASSERT_NE(target, nullptr);
    ASSERT_EQ(SetDeviceRenderTarget(target), 0);
    ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, 0xFF000000u, 1.0f);
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
    SendDeviceStageState(0, DEVICE_TSS_COLORARG1, DEVICE_TA_DIFFUSE);
    DrawScreenQuad(0, 0, 64, 8, 0xFFFF0000u);  // the top band
    EXPECT_TRUE(ColorNear(PixelAt(10, 2), 0xFFFF0000u, 0));
    EXPECT_TRUE(ColorNear(PixelAt(10, 20), 0xFF000000u, 0));
    // Drawn as a texture onto the main target the band stays at the top.
    ASSERT_EQ(SetDeviceRenderTarget(nullptr), 0);
    SendDeviceTexture(0, target);
    SendDeviceStageState(0, DEVICE_TSS_COLORARG1, DEVICE_TA_TEXTURE);
    DrawScreenQuad(0, 0, 64, 32, 0xFFFFFFFFu);
    EXPECT_TRUE(ColorNear(PixelAt(10, 2), 0xFFFF0000u, 0));
    EXPECT_TRUE(ColorNear(PixelAt(10, 20), 0xFF000000u, 0));
    DeviceTexture* plain = MakeSolidTexture(0);
    EXPECT_EQ(SetDeviceRenderTarget(plain), -1);  // not a render target
    ReleaseDeviceTexture(plain);
    ReleaseDeviceTexture(target);
}

TEST_F(GlDeviceDrawTest, PresentShowsTheFrameAndKeepsTheTarget) {
    ClearDevice(DEVICE_CLEAR_TARGET, 0xFF336699u, 1.0f);
    BeginDeviceScene();
    EXPECT_EQ(BeginDeviceScene(), 0);
    EXPECT_EQ(PresentDevice(), 0);
    EXPECT_EQ(EndDeviceScene(), -1);  // the present ended it
    EXPECT_TRUE(ColorNear(PixelAt(0, 0), 0xFF336699u, 0));
}

}  // namespace

namespace {

TEST_F(GlDeviceDrawTest, LinearAndExponentialFogByViewDepth) {
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float squeeze[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0.1f, 0, 0, 0, 0, 1};  // depth 0..10 into 0..1
    SendDeviceTransform(DEVICE_TS_WORLD, identity);
    SendDeviceTransform(DEVICE_TS_VIEW, identity);
    SendDeviceTransform(DEVICE_TS_PROJECTION, squeeze);
    SendDeviceRenderState(DEVICE_RS_LIGHTING, 0);
    SendDeviceRenderState(DEVICE_RS_CULLMODE, DEVICE_CULL_NONE);
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
    SendDeviceStageState(0, DEVICE_TSS_COLORARG1, DEVICE_TA_DIFFUSE);
    SendDeviceRenderState(DEVICE_RS_FOGENABLE, 1);
    SendDeviceRenderState(DEVICE_RS_FOGCOLOR, 0xFF0000FFu);
    SendDeviceRenderState(DEVICE_RS_FOGVERTEXMODE, DEVICE_FOG_LINEAR);
    SendDeviceRenderState(DEVICE_RS_FOGSTART, DeviceBitsOfFloat(0.0f));
    SendDeviceRenderState(DEVICE_RS_FOGEND, DeviceBitsOfFloat(10.0f));
    SendDeviceRenderState(DEVICE_RS_FOGDENSITY, DeviceBitsOfFloat(0.2f));
    SendDeviceFvf(kLitNormalFvf);
    auto quad = [](float z) {
        LitNormalVertex v[4] = {{-1, 1, z, 0, 0, 0, 0xFFFF0000u}, {1, 1, z, 0, 0, 0, 0xFFFF0000u},
                          {-1, -1, z, 0, 0, 0, 0xFFFF0000u}, {1, -1, z, 0, 0, 0, 0xFFFF0000u}};
        ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, 0xFF000000u, 1.0f);
        DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLESTRIP, 2, v, sizeof(LitNormalVertex));
    };
    quad(5.0f);
    EXPECT_TRUE(ColorNear(PixelAt(320, 240), PackArgb(255, 128, 0, 128), 2));
    quad(2.5f);
    EXPECT_TRUE(ColorNear(PixelAt(320, 240), PackArgb(255, 191, 0, 64), 2));
    SendDeviceRenderState(DEVICE_RS_FOGVERTEXMODE, DEVICE_FOG_NONE);
    SendDeviceRenderState(DEVICE_RS_FOGTABLEMODE, DEVICE_FOG_EXP);
    quad(5.0f);
    int f = int(std::floor(std::exp(-1.0f) * 255 + 0.5f));
    EXPECT_TRUE(ColorNear(PixelAt(320, 240), PackArgb(255, f, 0, 255 - f), 2));
    SendDeviceRenderState(DEVICE_RS_FOGENABLE, 0);
    quad(5.0f);
    EXPECT_TRUE(ColorNear(PixelAt(320, 240), 0xFFFF0000u, 0));
}

}  // namespace

namespace {

TEST_F(GlDeviceDrawTest, ProgramsAreMadeOncePerStateKey) {
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
    SendDeviceStageState(0, DEVICE_TSS_COLORARG1, DEVICE_TA_DIFFUSE);
    DrawScreenQuad(0, 0, 8, 8, 0xFFFFFFFFu);
    int programs = CountGlPrograms();
    for (int i = 0; i < 10; ++i) DrawScreenQuad(0, 0, 8, 8, 0xFF000000u + uint32_t(i));
    SendDeviceRenderState(DEVICE_RS_TEXTUREFACTOR, 0x12345678u);  // a uniform, not part of the key
    DrawScreenQuad(0, 0, 8, 8, 0xFFFFFFFFu);
    EXPECT_EQ(CountGlPrograms(), programs);
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_ADD);
    DrawScreenQuad(0, 0, 8, 8, 0xFFFFFFFFu);
    EXPECT_EQ(CountGlPrograms(), programs + 1);
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
    DrawScreenQuad(0, 0, 8, 8, 0xFFFFFFFFu);
    EXPECT_EQ(CountGlPrograms(), programs + 1);
}

TEST_F(GlDeviceDrawTest, CyclingThroughMoreProgramsThanTheRecentOnesDrawsEachRight) {
    const uint32_t diffuse = 0xFF402010u, factor = 0xFF102030u;
    SendDeviceRenderState(DEVICE_RS_TEXTUREFACTOR, factor);
    const struct {
        int op, arg1, arg2;
        uint32_t expected;
    } cases[] = {
        {DEVICE_TOP_SELECTARG1, DEVICE_TA_DIFFUSE, DEVICE_TA_TFACTOR, diffuse},
        {DEVICE_TOP_SELECTARG1, DEVICE_TA_TFACTOR, DEVICE_TA_DIFFUSE, factor},
        {DEVICE_TOP_SELECTARG2, DEVICE_TA_TFACTOR, DEVICE_TA_DIFFUSE, diffuse},
        {DEVICE_TOP_SELECTARG2, DEVICE_TA_DIFFUSE, DEVICE_TA_TFACTOR, factor},
        {DEVICE_TOP_ADD, DEVICE_TA_DIFFUSE, DEVICE_TA_TFACTOR, 0xFF504040u},
        {DEVICE_TOP_SUBTRACT, DEVICE_TA_DIFFUSE, DEVICE_TA_TFACTOR, 0xFF300000u},
    };
    for (int round = 0; round < 3; ++round)
        for (const auto& c : cases) {
            SendDeviceStageState(0, DEVICE_TSS_COLOROP, uint32_t(c.op));
            SendDeviceStageState(0, DEVICE_TSS_COLORARG1, uint32_t(c.arg1));
            SendDeviceStageState(0, DEVICE_TSS_COLORARG2, uint32_t(c.arg2));
            DrawScreenQuad(0, 0, 8, 8, diffuse);
            EXPECT_TRUE(ColorNear(PixelAt(4, 4) | 0xFF000000u, c.expected, 1)) << round << " op " << c.op;
        }
}

}  // namespace

namespace {

TEST_F(GlDeviceDrawTest, SamplerAddressModesFiltersAndMipLevels) {
    // A 2x1 texture: black left, white right, drawn with u from -1 to 2.
    DeviceTexture* t = CreateDeviceTexture(2, 1, 1, 0, DEVICE_FMT_A8R8G8B8, 0);
    void* bits = nullptr;
    int pitch = 0;
    LockDeviceTexture(t, 0, &bits, &pitch);
    static_cast<uint32_t*>(bits)[0] = 0xFF000000u;
    static_cast<uint32_t*>(bits)[1] = 0xFFFFFFFFu;
    UnlockDeviceTexture(t, 0);
    SendDeviceTexture(0, t);
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
    auto draw = [](float u0, float u1) {
        ScreenVertex v[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFFFFFFu, 0, u0, 0}, {119.5f, -0.5f, 0.5f, 1, 0xFFFFFFFFu, 0, u1, 0},
                             {-0.5f, 9.5f, 0.5f, 1, 0xFFFFFFFFu, 0, u0, 1}, {119.5f, 9.5f, 0.5f, 1, 0xFFFFFFFFu, 0, u1, 1}};
        SendDeviceFvf(kScreenVertexFvf);
        DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLESTRIP, 2, v, sizeof(ScreenVertex));
    };
    // Pixel x samples u = -1 + 3 (x + 0.5) / 120: x 5 -> u -0.86, x 25 -> -0.36, x 100 -> 1.51.
    SendDeviceSamplerState(0, DEVICE_SAMP_ADDRESSU, DEVICE_ADDRESS_WRAP);
    draw(-1, 2);
    EXPECT_TRUE(ColorNear(PixelAt(5, 5), 0xFF000000u, 0));   // wraps to 0.14: left texel
    EXPECT_TRUE(ColorNear(PixelAt(25, 5), 0xFFFFFFFFu, 0));  // wraps to 0.64: right texel
    SendDeviceSamplerState(0, DEVICE_SAMP_ADDRESSU, DEVICE_ADDRESS_CLAMP);
    draw(-1, 2);
    EXPECT_TRUE(ColorNear(PixelAt(25, 5), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(PixelAt(100, 5), 0xFFFFFFFFu, 0));
    SendDeviceSamplerState(0, DEVICE_SAMP_ADDRESSU, DEVICE_ADDRESS_MIRROR);
    draw(-1, 2);
    EXPECT_TRUE(ColorNear(PixelAt(5, 5), 0xFFFFFFFFu, 0));   // mirrored 0.86
    EXPECT_TRUE(ColorNear(PixelAt(100, 5), 0xFF000000u, 0));  // 1.51 mirrored to 0.49: left texel
    // Point sampling gives only the two texel colours, linear gives a ramp.
    SendDeviceSamplerState(0, DEVICE_SAMP_ADDRESSU, DEVICE_ADDRESS_CLAMP);
    SendDeviceSamplerState(0, DEVICE_SAMP_MAGFILTER, DEVICE_FILTER_LINEAR);
    draw(0, 1);
    int middle = ChannelOf(PixelAt(60, 5), 16);
    EXPECT_GT(middle, 100);
    EXPECT_LT(middle, 155);
    ReleaseDeviceTexture(t);

    // With a mip chain and a mip filter, a minified texture reads the small levels.
    DeviceTexture* mip = CreateDeviceTexture(64, 64, 0, 0, DEVICE_FMT_A8R8G8B8, 0);
    DeviceTextureDesc d;
    GetDeviceTextureDesc(mip, 0, &d);
    for (int level = 0; level < d.levels; ++level) {
        DeviceTextureDesc ld;
        GetDeviceTextureDesc(mip, level, &ld);
        LockDeviceTexture(mip, level, &bits, &pitch);
        for (int i = 0; i < ld.width * ld.height; ++i) static_cast<uint32_t*>(bits)[i] = level == 0 ? 0xFFFF0000u : 0xFF00FF00u;
        UnlockDeviceTexture(mip, level);
    }
    SendDeviceTexture(0, mip);
    SendDeviceSamplerState(0, DEVICE_SAMP_MINFILTER, DEVICE_FILTER_POINT);
    SendDeviceSamplerState(0, DEVICE_SAMP_MIPFILTER, DEVICE_FILTER_POINT);
    DrawScreenQuad(200, 200, 208, 208, 0xFFFFFFFFu);  // 64 texels onto 8 pixels
    EXPECT_TRUE(ColorNear(PixelAt(204, 204), 0xFF00FF00u, 0));
    SendDeviceSamplerState(0, DEVICE_SAMP_MIPFILTER, DEVICE_FILTER_NONE);
    DrawScreenQuad(200, 200, 208, 208, 0xFFFFFFFFu);
    EXPECT_TRUE(ColorNear(PixelAt(204, 204), 0xFFFF0000u, 0));
    ReleaseDeviceTexture(mip);
}

// A game that ends by closing its window releases its models and pictures
// afterwards: the context is gone, so the device frees its records and
// makes no GL call (one would abort the program).
TEST_F(GlDeviceDrawTest, ObjectsReleasedAfterTheWindowClosedMakeNoGlCall) {
    DeviceVertexBuffer* vb = CreateDeviceVertexBuffer(64, DEVICE_USAGE_WRITEONLY, 0, 0);
    DeviceTexture* texture = CreateDeviceTexture(4, 4, 1, DEVICE_USAGE_RENDERTARGET, DEVICE_FMT_A8R8G8B8, 0);
    ASSERT_NE(vb, nullptr);
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(SetDeviceRenderTarget(texture), 0);  // gives the texture a framebuffer of its own
    ASSERT_EQ(ClearDevice(DEVICE_CLEAR_TARGET, 0xFF000000u, 1.0f), 0);
    ASSERT_EQ(SetDeviceRenderTarget(nullptr), 0);
    platform::Window().close();
    EXPECT_EQ(ReleaseDeviceVertexBuffer(vb), 0);
    EXPECT_EQ(ReleaseDeviceTexture(texture), 0);
}

TEST_F(GlDeviceDrawTest, ViewportPlacesAndClipsDrawsAndClears) {
    DeviceViewport vp = {100, 50, 200, 100, 0.0f, 1.0f};
    ASSERT_EQ(SendDeviceViewport(&vp), 0);
    ClearDevice(DEVICE_CLEAR_TARGET, 0xFF00FF00u, 1.0f);
    EXPECT_TRUE(ColorNear(PixelAt(99, 60), 0xFF000000u, 0));
    EXPECT_TRUE(ColorNear(PixelAt(100, 50), 0xFF00FF00u, 0));
    EXPECT_TRUE(ColorNear(PixelAt(299, 149), 0xFF00FF00u, 0));
    EXPECT_TRUE(ColorNear(PixelAt(300, 150), 0xFF000000u, 0));
    SendDeviceStageState(0, DEVICE_TSS_COLOROP, DEVICE_TOP_SELECTARG1);
    SendDeviceStageState(0, DEVICE_TSS_COLORARG1, DEVICE_TA_DIFFUSE);
    DrawScreenQuad(0, 0, 640, 480, 0xFFFF0000u);  // screen coordinates, cut to the viewport
    EXPECT_TRUE(ColorNear(PixelAt(150, 100), 0xFFFF0000u, 0));
    EXPECT_TRUE(ColorNear(PixelAt(50, 100), 0xFF000000u, 0));
    DeviceViewport bad = {0, 0, 0, 10, 0, 1};
    EXPECT_EQ(SendDeviceViewport(&bad), -1);
}

}  // namespace
