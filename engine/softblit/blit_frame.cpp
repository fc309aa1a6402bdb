// The plain blit: checks the two images, clips to the draw area (and the
// target), works out every per-call value and runs one kernel.
#include <cstdint>
#include <limits>

#include "engine/numbers.h"
#include "graphics/softimage/drawstate.h"
#include "softblit/blit_frame_common.h"
#include "softblit/softblit.h"

namespace {
int SaturateToInt(int64_t v) {
    if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}
}  // namespace

void BlitMemImg(MEMIMG* target, const MEMIMG* source, int x, int y, int transparent, const MEMIMG* blendImage) {
    if (!softblit::CanDraw(target, source, blendImage, "BlitMemImg")) return;
    KernelConfig config;
    if (!softblit::ChooseKernel(source, blendImage != nullptr, transparent, false, &config)) return;

    int clip[4];
    softblit::TargetClip(target, clip);
    int rect[4] = {x, y, SaturateToInt(int64_t{x} + source->width), SaturateToInt(int64_t{y} + source->height)};
    ClipRectangle(rect, clip);
    const int width = rect[2] - rect[0];
    const int height = rect[3] - rect[1];
    if (width <= 0 || height <= 0) return;
    const int64_t srcX = int64_t{rect[0]} - x;
    const int64_t srcY = int64_t{rect[1]} - y;
    // A blend image is read at the source position: it must cover it all.
    if (blendImage && (blendImage->width < srcX + width || blendImage->height < srcY + height)) return;

    const MEMIMG_BASE* sb = source->base;
    const MEMIMG_BASE* tb = target->base;
    const int srcBytes = sb->formatDesc->bytesPerPixel;
    const int dstBytes = tb->formatDesc->bytesPerPixel;
    // Every field the plain kernels read is set below (the blend image's
    // only with one): clearing the whole record costs a small sprite more
    // than its set-up.
    BlitSetup setup;
    setup.width = width;
    setup.height = height;
    setup.srcRow = source->pixels + srcY * sb->pitch + srcX * srcBytes;
    setup.srcSkip = sb->pitch - static_cast<ptrdiff_t>(width) * srcBytes;
    setup.dstRow = target->pixels + static_cast<ptrdiff_t>(rect[1]) * tb->pitch + static_cast<ptrdiff_t>(rect[0]) * dstBytes;
    setup.dstSkip = tb->pitch - static_cast<ptrdiff_t>(width) * dstBytes;
    setup.blendRow = nullptr;
    setup.blendSkip = 0;
    if (blendImage) {
        setup.blendRow = blendImage->pixels + srcY * blendImage->base->pitch + srcX;
        setup.blendSkip = blendImage->base->pitch - width;
    }
    softblit::FillCommonSetup(source, &setup);
    setup.scalarOnly = sb == tb;
    if (BlitKernel kernel = FindBlitKernel(config)) kernel(setup);
}
