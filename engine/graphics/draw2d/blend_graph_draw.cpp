// Drawing through a blend graph on the device path: the picture's alpha is
// multiplied on the CPU by the level table's weight of the blend graph's
// byte at the same position, into a scratch texture that the batch then
// draws. The levels are exactly the software path's (BuildBlendLevelTable).
#include "engine/log.h"
#include "foundation/public_call.h"
#include "graphics/device/devicestate.h"
#include "graphics/draw2d/batch2d.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/graph_internal.h"
#include "graphics/softimage/drawstate.h"
#include "platform/lasting_state.h"

#include <utility>

namespace morpotta {

namespace {

struct BlendScratchModule {
    DeviceTexture* scratch = nullptr;
    int scratchWidth = 0;
    int scratchHeight = 0;
};

BlendScratchModule& BlendScratchState() {
    return platform::LastingState<BlendScratchModule>();
}

DeviceTexture* ScratchOfSize(int width, int height) {
    if (BlendScratchState().scratch && BlendScratchState().scratchWidth == width && BlendScratchState().scratchHeight == height) return BlendScratchState().scratch;
    ReleaseBlendScratch();
    BlendScratchState().scratch = CreateDeviceTexture(width, height, 1, 0, DEVICE_FMT_A8R8G8B8, 0);
    if (BlendScratchState().scratch) BlendScratchState().scratchWidth = width, BlendScratchState().scratchHeight = height;
    return BlendScratchState().scratch;
}

uint32_t KeptPixel(const GRAPH* g, int x, int y) {
    const BASEIMAGE& image = g->shared->image;
    return static_cast<const uint32_t*>(image.pixels)[size_t(g->y + y) * size_t(image.width) + size_t(g->x + x)];
}

}  // namespace

void ReleaseBlendScratch() {
    if (BlendScratchState().scratch) {
        FlushPendingDraws();
        ReleaseDeviceTexture(BlendScratchState().scratch);
    }
    BlendScratchState().scratch = nullptr;
    BlendScratchState().scratchWidth = BlendScratchState().scratchHeight = 0;
}

int DrawGraphThroughBlendGraph(const GRAPH* g, const float xs[4], const float ys[4], int transparent,
                               int blendGraph, int turn) {
    const GRAPH* b = GetGraphForCall(blendGraph);
    if (!b) return -1;
    if (b->width < g->width || b->height < g->height)
        return Refuse("blend graph %d is smaller than graph %d", blendGraph, g->handle);
    if (!g->shared->image.pixels || !b->shared->image.pixels)
        return Refuse("a graph without kept pixels cannot be drawn through a blend graph");
    Draw2DState state = {nullptr, DRAW2D_BLEND_NONE, 0, 0};
    uint32_t diffuse = 0;
    if (!Resolve2DBlend(1, true, &state, &diffuse)) return 0;
    FlushPendingDraws();  // the batch may still hold the scratch texture
    DeviceTexture* t = ScratchOfSize(g->width, g->height);
    void* bits = nullptr;
    int pitch = 0;
    if (!t || LockDeviceTexture(t, 0, &bits, &pitch) != 0)
        return Refuse("the blend draw's scratch texture cannot be made");
    for (int y = 0; y < g->height; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(bits) + size_t(y) * size_t(pitch));
        for (int x = 0; x < g->width; ++x) {
            const uint32_t p = KeptPixel(g, x, y);
            const uint32_t a = transparent ? p >> 24 : 255u;
            const uint32_t level = BlendLevelTable[KeptPixel(b, x, y) & 0xFF];
            row[x] = (p & 0xFFFFFF) | (a * level / 255) << 24;
        }
    }
    UnlockDeviceTexture(t, 0);
    state.texture = t;
    float us[4] = {0, 1, 0, 1}, vs[4] = {0, 0, 1, 1};
    if (turn) std::swap(us[0], us[1]), std::swap(us[2], us[3]);
    Begin2DBatch(state);
    Append2DQuad(xs, ys, us, vs, diffuse);
    return 0;
}

}  // namespace morpotta
