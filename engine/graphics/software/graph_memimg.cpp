// The software image of a graph's picture: a 32-bit copy of the kept ARGB
// pixels, made on the first software draw and dropped when the picture
// changes. A picture whose only transparency is its keyed colour (alpha 0,
// everything else opaque) becomes a keyed image without alpha, so that the
// transparent flag of a draw decides, as it does with a device; any other
// transparency keeps a per-pixel alpha.
#include <cstring>

#include "engine/log.h"
#include "engine/memory.h"
#include "foundation/public_call.h"
#include "graphics/graph_internal.h"
#include "graphics/software/softwarepath.h"
#include "softblit/softblit.h"

namespace morpotta {

namespace {

struct AlphaUse {
    bool partial = false;    // some alpha strictly between 0 and 255
    bool clear = false;      // some alpha 0
    uint32_t clearWord = 0;  // the first such pixel
};

AlphaUse ScanAlpha(const BASEIMAGE& image) {
    AlphaUse use;
    for (int y = 0; y < image.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(image.pixels) +
                                                            static_cast<size_t>(y) * image.pitch);
        for (int x = 0; x < image.width; ++x) {
            const uint32_t a = row[x] >> 24;
            if (a == 0 && !use.clear) use.clear = true, use.clearWord = row[x];
            if (a != 0 && a != 255) use.partial = true;
        }
    }
    return use;
}

MEMIMG* MakeGraphMemImg(const GraphShared& s) {
    const AlphaUse use = ScanAlpha(s.image);
    const bool keyed = s.transparentKeyed && !use.partial;
    const int useAlpha = (use.partial || (use.clear && !keyed)) ? 1 : 0;
    // Keyed pictures hold their key with alpha 0 and every other pixel with
    // alpha 255, so the whole word tells them apart; without any clear
    // pixel a word with top byte 0 never matches.
    const uint32_t key = keyed && use.clear ? use.clearWord : 0;
    auto* image = static_cast<MEMIMG*>(ENGINE_ALLOC_ZERO(sizeof(MEMIMG)));
    if (!image) return nullptr;
    if (CreateMemImg(image, s.width, s.height, MEMIMG_KIND_32BIT, 0, useAlpha, key) != 0) {
        FreeMemory(image);
        return nullptr;
    }
    for (int y = 0; y < s.height; ++y)
        std::memcpy(image->pixels + static_cast<size_t>(y) * image->base->pitch,
                    static_cast<const uint8_t*>(s.image.pixels) + static_cast<size_t>(y) * s.image.pitch,
                    static_cast<size_t>(s.width) * 4);
    return image;
}

}  // namespace

void DropGraphMemImg(GraphShared* shared) {
    if (!shared || !shared->memImg) return;
    ReleaseMemImg(shared->memImg);
    FreeMemory(shared->memImg);
    shared->memImg = nullptr;
}

int GetGraphMemImgView(int graph, MEMIMG* view) {
    GRAPH* g = GetGraphRecord(graph);
    if (!g || !view) return Refuse("graph %d has no software image to draw", graph);
    GraphShared* s = g->shared;
    if (!s->memImg && !(s->memImg = MakeGraphMemImg(*s)))
        return Refuse("the software image of graph %d could not be made", graph);
    return CreateMemImgView(view, s->memImg, g->x, g->y, g->width, g->height);
}

}  // namespace morpotta
