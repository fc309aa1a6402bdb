// Lines and boxes in one colour, through the same blend state as pictures.
#include "engine/draw2d.h"
#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "graphics/device/device.h"
#include "graphics/draw2d/batch2d.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/softimage/drawstate.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

using namespace morpotta;

namespace {

constexpr float kTieShift = 1.0f / 64;

// The colour as the vertex colour: tinted, inverted for the inverse blend,
// with the blend's alpha.
bool ColorState(uint32_t color, Draw2DState* state, uint32_t* diffuse) {
    *state = {nullptr, DRAW2D_BLEND_NONE, 0, 0};
    uint32_t weight = 0;
    if (!Resolve2DBlend(0, false, state, &weight)) return false;
    uint32_t out = weight & 0xFF000000u;
    for (int shift : {16, 8, 0}) {
        uint32_t c = (color >> shift) & 0xFF;
        if (BlendMode == BlendInvert) c = 255 - c;
        c = c * ((DrawTint >> shift) & 0xFF) / 255;
        out |= c << shift;
    }
    *diffuse = out;
    return true;
}

struct Segment {
    double x1, y1, x2, y2;
};

// Cuts the segment to the part that can reach the draw area: inside the
// area widened on every side by the line's thickness and two pixels (the
// band of the device path and the squares of the software path reach no
// further), its direction kept exactly. Done before either path draws, so
// that a segment given however far off the screen draws the same on both,
// with ends that stay exact as floats and a walk no longer than the area is
// wide; false when no part can show.
bool ClipToDrawReach(Segment* s, int thickness) {
    const int* area = GetScreenDrawArea();
    const double reach = double(std::clamp(thickness, 1, kFarDrawCoordinate)) + 2;
    const double left = area[0] - reach, top = area[1] - reach, right = area[2] + reach, bottom = area[3] + reach;
    const double dx = s->x2 - s->x1, dy = s->y2 - s->y1;
    double enter = 0, leave = 1;
    // Each side: the segment's step toward it and its room from the start.
    const double steps[4] = {-dx, dx, -dy, dy};
    const double rooms[4] = {s->x1 - left, right - s->x1, s->y1 - top, bottom - s->y1};
    for (int i = 0; i < 4; ++i) {
        if (steps[i] == 0) {
            if (rooms[i] < 0) return false;
            continue;
        }
        const double t = rooms[i] / steps[i];
        if (steps[i] < 0) enter = std::max(enter, t);
        else leave = std::min(leave, t);
    }
    if (enter > leave) return false;
    *s = {s->x1 + enter * dx, s->y1 + enter * dy, s->x1 + leave * dx, s->y1 + leave * dy};
    return true;
}

void AppendBox(float x0, float y0, float x1, float y1, uint32_t diffuse) {
    const float xs[4] = {x0 - 0.5f, x1 - 0.5f, x0 - 0.5f, x1 - 0.5f};
    const float ys[4] = {y0 - 0.5f, y0 - 0.5f, y1 - 0.5f, y1 - 0.5f};
    const float zero[4] = {0, 0, 0, 0};
    Append2DQuad(xs, ys, zero, zero, diffuse);
}

}  // namespace

int DrawRectangle(int x1, int y1, int x2, int y2, uint32_t color, int fill) {
    const PublicCall call("DrawRectangle");
    if (!AllowOnlyOnEngineThread()) return -1;
    // A box reaching far off the screen shows the same as one ending just
    // beyond it; clamped, its sides never overflow on either path.
    x1 = ClampToFarDrawCoordinate(x1), y1 = ClampToFarDrawCoordinate(y1);
    x2 = ClampToFarDrawCoordinate(x2), y2 = ClampToFarDrawCoordinate(y2);
    if (!HardwareRenderingActive()) {
        const SoftwareDraw2DPath* s = GetSoftwareDraw2DPath();
        return s && s->drawRectangle ? s->drawRectangle(x1, y1, x2, y2, color, fill)
                                     : ReportNoSoftwareDraw();
    }
    const int left = std::min(x1, x2), right = std::max(x1, x2);
    const int top = std::min(y1, y2), bottom = std::max(y1, y2);
    if (left == right || top == bottom) return 0;
    Draw2DState state;
    uint32_t diffuse = 0;
    if (!ColorState(color, &state, &diffuse)) return 0;
    Begin2DBatch(state);
    const float l = float(left), t = float(top), r = float(right), b = float(bottom);
    if (fill || right - left <= 2 || bottom - top <= 2) {
        AppendBox(l, t, r, b, diffuse);
        return 0;
    }
    // The outline as four boxes that do not overlap, so blending counts each pixel once.
    AppendBox(l, t, r, t + 1, diffuse);
    AppendBox(l, b - 1, r, b, diffuse);
    AppendBox(l, t + 1, l + 1, b - 1, diffuse);
    AppendBox(r - 1, t + 1, r, b - 1, diffuse);
    return 0;
}

int DrawLineSegment(int x1, int y1, int x2, int y2, uint32_t color, int thickness) {
    const PublicCall call("DrawLineSegment");
    if (!AllowOnlyOnEngineThread()) return -1;
    const SoftwareDraw2DPath* software = HardwareRenderingActive() ? nullptr : GetSoftwareDraw2DPath();
    if (!HardwareRenderingActive() && !(software && software->drawLine)) return ReportNoSoftwareDraw();
    if (x1 == x2 && y1 == y2) return 0;
    Segment segment = {double(x1), double(y1), double(x2), double(y2)};
    if (!ClipToDrawReach(&segment, thickness)) return 0;
    if (software) {
        // A cut end lies off the area by the reach: rounded to the nearest
        // pixel, the part that shows keeps its place within half a pixel.
        return software->drawLine(int(std::lround(segment.x1)), int(std::lround(segment.y1)),
                                  int(std::lround(segment.x2)), int(std::lround(segment.y2)), color, thickness);
    }
    Draw2DState state;
    uint32_t diffuse = 0;
    if (!ColorState(color, &state, &diffuse)) return 0;
    // A band around the segment from centre to centre; the end pixel is left out.
    const float dx = float(segment.x2 - segment.x1), dy = float(segment.y2 - segment.y1);
    const float length = std::sqrt(dx * dx + dy * dy);
    const float half = float(std::clamp(thickness, 1, kFarDrawCoordinate)) / 2;
    const float nx = -dy / length * half, ny = dx / length * half;
    // Pulled a little up and left so that pixel centres never lie on an edge:
    // the start pixel is in, the end pixel out, whatever the rasteriser's tie rule.
    const float bx = float(segment.x1) - kTieShift, ex = float(segment.x2) - kTieShift;
    const float by = float(segment.y1) - kTieShift, ey = float(segment.y2) - kTieShift;
    const float xs[4] = {bx + nx, ex + nx, bx - nx, ex - nx};
    const float ys[4] = {by + ny, ey + ny, by - ny, ey - ny};
    const float zero[4] = {0, 0, 0, 0};
    Begin2DBatch(state);
    Append2DQuad(xs, ys, zero, zero, diffuse);
    return 0;
}
