// The scaled blit: orders and clips the rectangle, sets up 16.16 stepping
// through source and blend image (in 64 bits, so large rectangles and clip
// offsets step exactly), and runs one kernel. The unmirrored draw at the
// source's own size is the plain blit.
#include <algorithm>
#include <cstdint>

#include "engine/log.h"
#include "graphics/softimage/drawstate.h"
#include "softblit/blit_frame_common.h"
#include "softblit/softblit.h"

namespace morpotta {

namespace {
// Source column (or row) that destination column k, counted from the
// unclipped edge, shows.
int64_t SourceIndexOf(int64_t k, int64_t scale) { return (k << 16) / scale; }

// Source index range [first, last] read for destination indexes
// [k0, k0 + count), in unmirrored source coordinates.
void ReadRange(int64_t k0, int64_t count, int64_t scale, int size, int direction, int64_t* low, int64_t* high) {
    const int64_t a = SourceIndexOf(k0, scale);
    const int64_t b = SourceIndexOf(k0 + count - 1, scale);
    *low = direction > 0 ? a : size - 1 - b;
    *high = direction > 0 ? b : size - 1 - a;
}
}  // namespace

void StretchBlitMemImg(MEMIMG* target, const MEMIMG* source, const int rect[4], int transparent,
                       const MEMIMG* blendImage) {
    if (!rect) {
        WriteLogText("no rectangle in StretchBlitMemImg");
        return;
    }
    if (!softblit::CanDraw(target, source, blendImage, "StretchBlitMemImg")) return;
    const int64_t left = std::min(rect[0], rect[2]), right = std::max(rect[0], rect[2]);
    const int64_t top = std::min(rect[1], rect[3]), bottom = std::max(rect[1], rect[3]);
    const int dirX = rect[0] > rect[2] ? -1 : 1;
    const int dirY = rect[1] > rect[3] ? -1 : 1;
    const int64_t w = right - left, h = bottom - top;
    if (w == 0 || h == 0) return;
    if (w == source->width && h == source->height && dirX > 0 && dirY > 0) {
        BlitMemImg(target, source, static_cast<int>(left), static_cast<int>(top), transparent, blendImage);
        return;
    }
    // Source sides up to 32767 keep every sampled index inside the image.
    if (source->width > 32767 || source->height > 32767) return;
    KernelConfig config;
    if (!softblit::ChooseKernel(source, blendImage != nullptr, transparent, true, &config)) return;

    const int64_t hScale = (w << 16) / source->width;
    const int64_t vScale = (h << 16) / source->height;
    int clip[4];
    softblit::TargetClip(target, clip);
    const int64_t cl = std::max<int64_t>(left, clip[0]), cr = std::min<int64_t>(right, clip[2]);
    const int64_t ct = std::max<int64_t>(top, clip[1]), cb = std::min<int64_t>(bottom, clip[3]);
    if (cr <= cl || cb <= ct) return;
    const int64_t cx = cl - left, cy = ct - top;
    const int64_t cw = cr - cl, ch = cb - ct;

    int64_t colLow, colHigh, rowLow, rowHigh;
    ReadRange(cx, cw, hScale, source->width, dirX, &colLow, &colHigh);
    ReadRange(cy, ch, vScale, source->height, dirY, &rowLow, &rowHigh);
    if (blendImage && (blendImage->width <= colHigh || blendImage->height <= rowHigh)) return;

    const MEMIMG_BASE* sb = source->base;
    const MEMIMG_BASE* tb = target->base;
    const int srcBytes = sb->formatDesc->bytesPerPixel;
    const int64_t startCol = dirX > 0 ? colLow : colHigh;
    const int64_t startRow = dirY > 0 ? rowLow : rowHigh;

    // Every field the scaled kernels read is set below (as in BlitMemImg).
    BlitSetup setup;
    setup.width = static_cast<int>(cw);
    setup.height = static_cast<int>(ch);
    setup.srcRow = source->pixels + startRow * sb->pitch + startCol * srcBytes;
    setup.srcPixelStep = dirX * srcBytes;
    setup.srcRowStep = static_cast<ptrdiff_t>(dirY) * sb->pitch;
    setup.blendRow = nullptr;
    setup.blendPixelStep = setup.blendRowStep = 0;
    if (blendImage) {
        setup.blendRow = blendImage->pixels + startRow * blendImage->base->pitch + startCol;
        setup.blendPixelStep = dirX;
        setup.blendRowStep = static_cast<ptrdiff_t>(dirY) * blendImage->base->pitch;
    }
    setup.dstRow = target->pixels + ct * tb->pitch + cl * tb->formatDesc->bytesPerPixel;
    setup.dstPitch = tb->pitch;
    setup.hScale = hScale;
    setup.vScale = vScale;
    setup.hAccStart = hScale - (cx << 16) % hScale;
    setup.vAccStart = vScale - (cy << 16) % vScale;
    softblit::FillCommonSetup(source, &setup);
    setup.scalarOnly = sb == tb;
    if (BlitKernel kernel = FindBlitKernel(config)) kernel(setup);
}

}  // namespace morpotta
