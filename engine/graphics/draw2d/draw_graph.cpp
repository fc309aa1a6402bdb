// Pictures on the draw screen: unscaled, scaled and turned, and through a
// blend graph (the wipe).
#include "engine/draw2d.h"
#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "graphics/device/device.h"
#include "graphics/draw2d/batch2d.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/graph_internal.h"
#include "graphics/graphics_internal.h"

#include <cmath>
#include <utility>

using namespace morpotta;

namespace morpotta {

namespace {

const GRAPH* CheckedGraph(int graph) {
    const GRAPH* g = GetGraphForCall(graph);
    UpdateGraphMovieFrame(g);
    return g;
}

// Texture coordinates of the piece's corners, mirrored left to right on turn.
void PieceUv(const GRAPH* g, int turn, float us[4], float vs[4]) {
    const float w = float(g->shared->width), h = float(g->shared->height);
    float u0 = float(g->x) / w, u1 = float(g->x + g->width) / w;
    const float v0 = float(g->y) / h, v1 = float(g->y + g->height) / h;
    if (turn) std::swap(u0, u1);
    us[0] = us[2] = u0;
    us[1] = us[3] = u1;
    vs[0] = vs[1] = v0;
    vs[2] = vs[3] = v1;
}

// Corners on pixel edges: pixel centres lie on whole numbers.
int DrawGraphQuad(const GRAPH* g, const float xs[4], const float ys[4], int transparent, int turn) {
    if (GetDrawBlendGraph() != -1)
        return DrawGraphThroughBlendGraph(g, xs, ys, transparent, GetDrawBlendGraph(), turn);
    if (!g->shared->texture) return Refuse("graph %d has no texture", g->handle);
    Draw2DState state = {g->shared->texture, DRAW2D_BLEND_NONE, 0, 0};
    uint32_t diffuse = 0;
    if (!Resolve2DBlend(transparent, true, &state, &diffuse)) return 0;  // a mode that draws nothing
    float us[4], vs[4];
    PieceUv(g, turn, us, vs);
    Begin2DBatch(state);
    Append2DQuad(xs, ys, us, vs, diffuse);
    return 0;
}

}  // namespace

int ReportNoSoftwareDraw() {
    if (!CheckGraphicsRunning()) return -1;
    return Refuse("no graphics device and no software drawing");
}

}  // namespace morpotta

int DrawGraphAt(int x, int y, int graph, int transparent) {
    const PublicCall call("DrawGraphAt");
    if (!AllowOnlyOnEngineThread()) return -1;
    const GRAPH* g = CheckedGraph(graph);
    if (!g) return -1;
    if (!HardwareRenderingActive()) {
        const SoftwareDraw2DPath* s = GetSoftwareDraw2DPath();
        return s && s->drawGraph ? s->drawGraph(x, y, graph, transparent) : ReportNoSoftwareDraw();
    }
    const float x0 = float(x) - 0.5f, y0 = float(y) - 0.5f;
    const float x1 = x0 + float(g->width), y1 = y0 + float(g->height);
    const float xs[4] = {x0, x1, x0, x1}, ys[4] = {y0, y0, y1, y1};
    return DrawGraphQuad(g, xs, ys, transparent, 0);
}

int DrawGraphRotatedAt(int x, int y, double scale, double angle, int graph, int transparent, int turn) {
    const PublicCall call("DrawGraphRotatedAt");
    if (!AllowOnlyOnEngineThread()) return -1;
    const GRAPH* g = CheckedGraph(graph);
    if (!g) return -1;
    if (!std::isfinite(scale) || !std::isfinite(angle))
        return Refuse("the scale or the angle is not a number");
    if (!HardwareRenderingActive()) {
        const SoftwareDraw2DPath* s = GetSoftwareDraw2DPath();
        return s && s->drawGraphRotated ? s->drawGraphRotated(x, y, scale, angle, graph, transparent, turn)
                                        : ReportNoSoftwareDraw();
    }
    const double hw = g->width * scale / 2, hh = g->height * scale / 2;
    const double c = std::cos(angle), s = std::sin(angle);
    const double cornerX[4] = {-hw, hw, -hw, hw}, cornerY[4] = {-hh, -hh, hh, hh};
    float xs[4], ys[4];
    for (int i = 0; i < 4; ++i) {
        xs[i] = float(x + cornerX[i] * c - cornerY[i] * s - 0.5);
        ys[i] = float(y + cornerX[i] * s + cornerY[i] * c - 0.5);
    }
    return DrawGraphQuad(g, xs, ys, transparent, turn);
}

int DrawGraphWithBlendGraph(int x, int y, int graph, int transparent, int blendGraph, int threshold,
                            int edgeWidth) {
    const PublicCall call("DrawGraphWithBlendGraph");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!GetGraphForCall(graph) ||
        (blendGraph != -1 && !GetGraphForCall(blendGraph)))
        return -1;
    const int previous = GetDrawBlendGraph();
    int previousThreshold = 0, previousEdge = 0;
    GetDrawBlendGraphSettings(&previousThreshold, &previousEdge);
    if (SetDrawBlendGraph(blendGraph, threshold, edgeWidth) != 0) return -1;
    const int result = DrawGraphAt(x, y, graph, transparent);
    SetDrawBlendGraph(previous, previousThreshold, previousEdge);
    return result;
}
