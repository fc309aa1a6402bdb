// The plain blit: checks the two images, clips to the draw area (and the
// target), works out every per-call value and runs one kernel.
#include <algorithm>
#include <cstdint>

#include "graphics/softimage/drawstate.h"
#include "softblit/blit_frame_common.h"
#include "softblit/softblit.h"

namespace morpotta {

void BlitMemImg(MEMIMG* target, const MEMIMG* source, int x, int y, int transparent, const MEMIMG* blendImage) {
    if (!softblit::CanDraw(target, source, blendImage, "BlitMemImg")) return;
    KernelConfig config;
    if (!softblit::ChooseKernel(source, blendImage != nullptr, transparent, false, &config)) return;

    // The source's rectangle cut to the clip, in locals: through an array
    // in memory, a small sprite waited on the stores of the clipping.
    int clip[4];
    softblit::TargetClip(target, clip);
    const int left = std::max(x, clip[0]);
    const int top = std::max(y, clip[1]);
    const int64_t clippedWidth = std::min<int64_t>(int64_t{x} + source->width, clip[2]) - left;
    const int64_t clippedHeight = std::min<int64_t>(int64_t{y} + source->height, clip[3]) - top;
    if (clippedWidth <= 0 || clippedHeight <= 0) return;
    const int width = static_cast<int>(clippedWidth);
    const int height = static_cast<int>(clippedHeight);
    const int64_t srcX = int64_t{left} - x;
    const int64_t srcY = int64_t{top} - y;
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
    setup.dstRow = target->pixels + static_cast<ptrdiff_t>(top) * tb->pitch + static_cast<ptrdiff_t>(left) * dstBytes;
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

}  // namespace morpotta
