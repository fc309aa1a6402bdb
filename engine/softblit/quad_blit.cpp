// The quadrilateral blit: the whole source mapped onto four corners as two
// textured triangles that share the diagonal from corner 1 to corner 2 and
// draw its pixels once.
#include <algorithm>
#include <cstdint>

#include "engine/log.h"
#include "engine/numbers.h"
#include "graphics/softimage/drawstate.h"
#include "softblit/softblit.h"

namespace morpotta {

void QuadBlitMemImg(MEMIMG* target, const MEMIMG* source, const int corners[8], int transparent,
                    const MEMIMG* blendGraph) {
    if (!corners || CheckMemImg(source) != 0) {
        WriteLogText("QuadBlitMemImg: no corners or an invalid source");
        return;
    }
    // A cheap visibility test on the corners' box; each span clips itself.
    // Held in 64 bits so that far-off corners cannot wrap into view (the
    // triangle fill refuses them).
    int64_t box[4] = {corners[0], corners[1], corners[0], corners[1]};
    for (int i = 1; i < 4; ++i) {
        box[0] = std::min<int64_t>(box[0], corners[2 * i]);
        box[1] = std::min<int64_t>(box[1], corners[2 * i + 1]);
        box[2] = std::max<int64_t>(box[2], corners[2 * i]);
        box[3] = std::max<int64_t>(box[3], corners[2 * i + 1]);
    }
    int rect[4];
    const int widen[4] = {-2, -2, 4, 4};
    for (int i = 0; i < 4; ++i) rect[i] = static_cast<int>(std::clamp<int64_t>(box[i] + widen[i], INT32_MIN, INT32_MAX));
    ClipRectangle(rect, DrawArea);
    if (rect[0] == rect[2] || rect[1] == rect[3]) return;

    const int w = source->width, h = source->height;
    const int* c = corners;
    const int vertices[16] = {c[0], c[1], 0, 0, c[2], c[3], w, 0, c[4], c[5], 0, h, c[6], c[7], w, h};
    FillTexturedQuadMemImg(target, source, vertices, transparent, blendGraph, 0);
}

}  // namespace morpotta
