// Pictures as camera-facing rectangles in the 3-D scene: the corners are
// spread along the camera's right and up axes taken from the view matrix.
#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "graphics/camera/camera_internal.h"
#include "graphics/device/device.h"
#include "graphics/device/devicestate.h"
#include "graphics/draw2d/batch2d.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/graph_internal.h"
#include "graphics/softimage/drawstate.h"

#include <cmath>
#include <utility>

using namespace morpotta;

namespace {

struct BillboardVertex {
    float x, y, z, nx, ny, nz;
    uint32_t diffuse;
    float u, v;
};
constexpr uint32_t kBillboardFvf = DEVICE_FVF_XYZ | DEVICE_FVF_NORMAL | DEVICE_FVF_DIFFUSE | DeviceFvfTexCount(1);

// Only a picture laid over what is behind it (copied, or blended by its
// alpha) hides it; one that adds to, takes from or multiplies it leaves it
// showing, so its depth would wrongly refuse a model behind it drawn
// afterwards (the game's guide billboards add at full strength).
bool CoversWhatIsBehind(const Draw2DState& state) {
    return state.blend == DRAW2D_BLEND_NONE || state.blend == DRAW2D_BLEND_ALPHA;
}

bool WritesDepth(const Draw2DState& state) { return GetDepthWriteEnabled() && CoversWhatIsBehind(state); }

void ApplyBillboardState(const Draw2DState& state) {
    Begin2DBatch(state);  // blend, stages, texture and filter as for 2-D pictures
    // The projection is the whole screen's; the draw area clips 2-D drawing only.
    static const int kWholeScreen[4] = {0, 0, kDeviceTargetWidth, kDeviceTargetHeight};
    Apply2DViewport(kWholeScreen);
    SetDeviceRenderState(DEVICE_RS_ZENABLE, uint32_t(GetDepthTestEnabled()));
    SetDeviceRenderState(DEVICE_RS_ZWRITEENABLE, uint32_t(WritesDepth(state)));
    SetDeviceRenderState(DEVICE_RS_ZFUNC, DEVICE_CMP_LESSEQUAL);
    CommitLightsToDevice();
    // The vertex colour is the material, so tint and weight light up with it.
    SetDeviceRenderState(DEVICE_RS_COLORVERTEX, 1);
    SetDeviceRenderState(DEVICE_RS_DIFFUSEMATERIALSOURCE, DEVICE_MCS_COLOR1);
    SetDeviceRenderState(DEVICE_RS_AMBIENTMATERIALSOURCE, DEVICE_MCS_COLOR1);
    SetDeviceRenderState(DEVICE_RS_SPECULARMATERIALSOURCE, DEVICE_MCS_MATERIAL);
    SetDeviceRenderState(DEVICE_RS_EMISSIVEMATERIALSOURCE, DEVICE_MCS_MATERIAL);
    const float material[17] = {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    SetDeviceMaterial(material);
    const Matrix44 identity = MakeIdentityMatrix();
    SetDeviceWorldMatrix(&identity.m[0][0]);
    ReapplyCamera();  // model drawing may have left its own transforms
    SetDeviceFvf(kBillboardFvf);
}

int DrawBillboardStrip(const BillboardVertex strip[6]) {
    return DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLELIST, 2, strip, sizeof(BillboardVertex));
}

// A transparent picture hides what lies behind it only where it is opaque:
// the depth of its clear and see-through texels would refuse a model
// behind it drawn afterwards (a gem's sparkle before the block under it).
// Its colour goes first with no depth written and the clear texels
// discarded (the 2-D batch state, Begin2DBatch, discards them); then, when
// depth is written and the picture covers what is behind it, the opaque
// texels' depth alone, blended to leave the colour as it is.
int DrawTransparentBillboard(const BillboardVertex strip[6], const Draw2DState& state) {
    SetDeviceRenderState(DEVICE_RS_ZWRITEENABLE, 0);
    if (DrawBillboardStrip(strip) != 0) return -1;
    if (!WritesDepth(state)) return 0;
    SetDeviceAlphaTest(DEVICE_CMP_EQUAL, 255);
    SetDeviceRenderState(DEVICE_RS_ZWRITEENABLE, 1);
    SetDeviceRenderState(DEVICE_RS_ALPHABLENDENABLE, 1);
    SetDeviceRenderState(DEVICE_RS_SRCBLEND, DEVICE_BLEND_ZERO);
    SetDeviceRenderState(DEVICE_RS_DESTBLEND, DEVICE_BLEND_ONE);
    SetDeviceRenderState(DEVICE_RS_BLENDOP, DEVICE_BLENDOP_ADD);
    return DrawBillboardStrip(strip);
}

// Without a device the corners are projected and the picture mapped onto
// them by the software path: no lighting and no depth test, and a
// billboard reaching behind the camera or out of the depth range is left
// out rather than drawn folded.
int DrawBillboardSoftware(const float world[4][3], int graph, int transparent, int turn) {
    const SoftwareDraw2DPath* path = GetSoftwareDraw2DPath();
    if (!path || !path->drawGraphQuad) return ReportNoSoftwareDraw();
    int corners[8];
    for (int i = 0; i < 4; ++i) {
        const Vector3 p = WorldToScreenPos(world[i]);
        if (!(p.z >= 0 && p.z <= 1) || !(std::fabs(p.x) < 8192 && std::fabs(p.y) < 8192)) return 0;
        // Mirrored: the left and right corners trade places.
        const int slot = turn ? i ^ 1 : i;
        corners[2 * slot] = int(std::lround(p.x));
        corners[2 * slot + 1] = int(std::lround(p.y));
    }
    return path->drawGraphQuad(corners, graph, transparent);
}

}  // namespace

int DrawGraphBillboard3D(const float position[3], float centreX, float centreY, float size, float angle, int graph,
                         int transparent, int turn) {
    const PublicCall call("DrawGraphBillboard3D");
    if (!AllowOnlyOnEngineThread()) return -1;
    const GRAPH* g = GetGraphForCall(graph);
    if (!g) return -1;
    UpdateGraphMovieFrame(g);
    if (!position || !std::isfinite(size) || !std::isfinite(angle) || !std::isfinite(centreX) ||
        !std::isfinite(centreY))
        return position ? Refuse("a size, angle or centre that is not a number") : RefuseNull("position");
    // The view's columns are the camera axes in world space.
    const Matrix44& view = CurrentViewMatrix();
    const float right[3] = {view.m[0][0], view.m[1][0], view.m[2][0]};
    const float up[3] = {view.m[0][1], view.m[1][1], view.m[2][1]};
    const float toward[3] = {-view.m[0][2], -view.m[1][2], -view.m[2][2]};
    const float width = size, height = size * float(g->height) / float(g->width);
    const float c = std::cos(angle), s = std::sin(angle);
    const float fx[4] = {0, 1, 0, 1}, fy[4] = {0, 0, 1, 1};
    float world[4][3];
    for (int i = 0; i < 4; ++i) {
        // Picture fractions to the plane: x to the right, y down the picture = down the screen.
        const float px = (fx[i] - centreX) * width, py = (centreY - fy[i]) * height;
        const float rx = px * c + py * s, ry = -px * s + py * c;  // clockwise on screen
        for (int k = 0; k < 3; ++k) world[i][k] = position[k] + right[k] * rx + up[k] * ry;
    }
    if (!HardwareRenderingActive()) return DrawBillboardSoftware(world, graph, transparent, turn);
    if (!g->shared->texture) return Refuse("graph %d has no texture", graph);
    Draw2DState state = {g->shared->texture, DRAW2D_BLEND_NONE, 0, 0};
    uint32_t diffuse = 0;
    if (!Resolve2DBlend(transparent, true, &state, &diffuse)) return 0;

    const float sw = float(g->shared->width), sh = float(g->shared->height);
    float u0 = float(g->x) / sw, u1 = float(g->x + g->width) / sw;
    const float v0 = float(g->y) / sh, v1 = float(g->y + g->height) / sh;
    if (turn) std::swap(u0, u1);
    BillboardVertex corner[4];
    for (int i = 0; i < 4; ++i) {
        BillboardVertex& v = corner[i];
        v.x = world[i][0], v.y = world[i][1], v.z = world[i][2];
        v.nx = toward[0], v.ny = toward[1], v.nz = toward[2];
        v.diffuse = diffuse;
        v.u = fx[i] == 0 ? u0 : u1;
        v.v = fy[i] == 0 ? v0 : v1;
    }
    const BillboardVertex strip[6] = {corner[0], corner[1], corner[2], corner[2], corner[1], corner[3]};
    FlushPendingDraws();
    ApplyBillboardState(state);
    const int result = transparent ? DrawTransparentBillboard(strip, state) : DrawBillboardStrip(strip);
    return result == 0 ? 0 : Refuse("the device did not draw the billboard");
}
