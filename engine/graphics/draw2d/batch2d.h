// The 2-D vertex batch of the device path: screen-space triangles that
// share one texture and one blend state, drawn in one call when the state
// changes or someone flushes.
#pragma once
#include "graphics/device/device.h"

#include <cstdint>

namespace morpotta {

struct Vertex2D {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u, v;
};
constexpr uint32_t kVertex2DFvf = DEVICE_FVF_XYZRHW | DEVICE_FVF_DIFFUSE | DeviceFvfTexCount(1);

// How the batched triangles meet the draw screen.
enum Draw2DBlend {
    DRAW2D_BLEND_NONE,       // copy
    DRAW2D_BLEND_ALPHA,      // s * a + d * (1 - a)
    DRAW2D_BLEND_ADD,        // d + s * a
    DRAW2D_BLEND_SUBTRACT,   // d - s * a
    DRAW2D_BLEND_MULTIPLY,   // d * s
    DRAW2D_BLEND_MULALPHA,   // d * (s * a + 1 - a)
};

struct Draw2DState {
    DeviceTexture* texture;  // null: the vertex colour alone
    int blend;               // Draw2DBlend
    int invertTexture;       // the texture colour complemented (inverse blend)
    int dropsClearTexels;    // texels of alpha 0 discarded: a transparent picture's
                             // clear texels change nothing in any blend
};

// Makes state current for the following triangles (flushing the batch when
// anything differs) and registers the batch with FlushPendingDraws.
void Begin2DBatch(const Draw2DState& state);
// Appends whole triangles (count a multiple of 3).
void Append2DTriangles(const Vertex2D* vertices, int count);
// Appends the quad with corners (x0, y0)-(x1, y1) in screen pixels.
void Append2DQuad(const float xs[4], const float ys[4], const float us[4], const float vs[4], uint32_t diffuse);
int Flush2DBatch();
// Makes the area (left, top, right, bottom) the viewport unless it already is.
void Apply2DViewport(const int area[4]);
// Forgets the state applied, so the next Begin2DBatch sends everything.
void Forget2DBatchState();

// The blend mode, parameter and tint of drawstate.h as batch state and a
// vertex colour; false for a mode the device path does not draw.
bool Resolve2DBlend(int transparent, bool textured, Draw2DState* state, uint32_t* diffuse);
// The filter of draw2d settings, applied to sampler 0.
void Apply2DFilter();

}  // namespace morpotta
