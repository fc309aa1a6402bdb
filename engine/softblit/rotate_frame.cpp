// The rotated blit: checks, rotated corners, then either the quad blit on
// the mirrored corners or the direct path's clipped box and inverse mapping,
// and one kernel. Every float-to-int step of the set-up is range-checked, so
// bad scales, angles and far-off centres are refused instead of wrapping.
// Texel rows are found from the first pixel and the pitch (no row tables to
// fill or allocate per call) and the palette is read from the source
// itself, so the blit keeps nothing between calls and may run on several
// images at once.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/log.h"
#include "engine/numbers.h"
#include "engine/vecmath.h"
#include "graphics/softimage/drawstate.h"
#include "softblit/blit_frame_common.h"
#include "softblit/kernel_paths.h"
#include "softblit/rotate_setup.h"
#include "softblit/softblit.h"

namespace morpotta {

namespace {

constexpr float kFixedOne = 262144.0f;  // one pixel in Fixed18
constexpr int kMaxSide = 8192;          // texel columns fit Fixed18 below 2^31
constexpr int kFixedCentreLimit = 8192; // centres in -8192 .. 8191

bool FitsInt(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// trunc(v) when it is a number inside int's range.
bool TruncateChecked(float v, int* out) {
    if (!(v > -2147483648.0f && v < 2147483648.0f)) return false;
    *out = TruncateFloatToInt(v);
    return true;
}

bool AddChecked(int64_t a, int64_t b, int* out) {
    if (!FitsInt(a + b)) return false;
    *out = static_cast<int>(a + b);
    return true;
}

struct Rotation {
    int c, s;          // cos and sin of the angle, Fixed18
    int cInv, sInv;    // of minus the angle
    int corner[4][2];  // top-left, bottom-left, bottom-right, top-right, Fixed18
};

bool ComputeRotation(int x, int y, float angle, float scale, int width, int height, Rotation* r) {
    float sn, cs, snInv, csInv;
    ComputeSinCos(angle, &sn, &cs);
    ComputeSinCos(-angle, &snInv, &csInv);
    if (!TruncateChecked(cs * kFixedOne, &r->c) || !TruncateChecked(sn * kFixedOne, &r->s) ||
        !TruncateChecked(csInv * kFixedOne, &r->cInv) || !TruncateChecked(snInv * kFixedOne, &r->sInv))
        return false;
    const float hw = static_cast<float>(static_cast<unsigned>(width)) * scale * 0.5f;
    const float hh = static_cast<float>(static_cast<unsigned>(height)) * scale * 0.5f;
    const float a1 = static_cast<float>(r->c) * hw, b1 = static_cast<float>(r->s) * hw;
    const float a2 = static_cast<float>(r->c) * hh, b2 = static_cast<float>(r->s) * hh;
    const float offsets[4][2] = {{-a1 + b2, -a2 - b1}, {-a1 - b2, a2 - b1}, {a1 - b2, a2 + b1}, {a1 + b2, -a2 + b1}};
    const int64_t cx = int64_t{x} * 262144, cy = int64_t{y} * 262144;
    for (int i = 0; i < 4; ++i) {
        int dx, dy;
        if (!TruncateChecked(offsets[i][0], &dx) || !TruncateChecked(offsets[i][1], &dy)) return false;
        if (!AddChecked(cx, dx, &r->corner[i][0]) || !AddChecked(cy, dy, &r->corner[i][1])) return false;
    }
    return true;
}

// Texel position of target pixel (px, py): the target offset from the centre
// turned back and divided by the scale, plus the centre texel.
bool TexelAt(int px, int py, int x, int y, const Rotation& r, float scale, int width, int height, int* u, int* v) {
    const int64_t dx = int64_t{px} - x, dy = int64_t{py} - y;
    const int64_t nu = dx * r.cInv - dy * r.sInv, nv = dy * r.cInv + dx * r.sInv;
    if (!FitsInt(nu) || !FitsInt(nv)) return false;
    int tu, tv;
    if (!TruncateChecked(static_cast<float>(nu) / scale, &tu) || !TruncateChecked(static_cast<float>(nv) / scale, &tv))
        return false;
    return AddChecked(tu, int64_t{width >> 1} * 262144, u) && AddChecked(tv, int64_t{height >> 1} * 262144, v);
}

bool CheckArguments(const MEMIMG* source, const MEMIMG* blendGraph, int x, int y, float angle, float scale) {
    if (!std::isfinite(angle) || !std::isfinite(scale) || !(scale > 0.0f)) {
        WriteLogFormat("RotateBlitMemImg: angle %g and scale %g cannot be drawn", static_cast<double>(angle),
                       static_cast<double>(scale));
        return false;
    }
    if (x < -kFixedCentreLimit || x >= kFixedCentreLimit || y < -kFixedCentreLimit || y >= kFixedCentreLimit) {
        WriteLogFormat("RotateBlitMemImg: centre (%d, %d) out of range", x, y);
        return false;
    }
    if (source->width > kMaxSide || source->height > kMaxSide) {
        WriteLogFormat("RotateBlitMemImg: source of %d x %d is too large", source->width, source->height);
        return false;
    }
    if (blendGraph && (blendGraph->width < source->width || blendGraph->height < source->height)) {
        WriteLogText("RotateBlitMemImg: blend image smaller than the source");
        return false;
    }
    return true;
}

}  // namespace

RotateKernel FindRotateKernel(const KernelConfig& config) {
    if (config.mode < 0 || config.mode >= kKernelModeCount || config.source < 0 || config.source > SourceAlpha)
        return nullptr;
    if (config.kind != 0 && config.kind != 1) return nullptr;
    return ActiveKernels(config.kind).rotate[RotateKernelIndexInKind(config)];
}

void RotateBlitMemImg(MEMIMG* target, const MEMIMG* source, int x, int y, float angle, float scale, int transparent,
                      int turn, const MEMIMG* blendGraph) {
    if (!softblit::CanDraw(target, source, blendGraph, "RotateBlitMemImg")) return;
    if (!CheckArguments(source, blendGraph, x, y, angle, scale)) return;
    const int width = source->width, height = source->height;
    Rotation rot;
    if (!ComputeRotation(x, y, angle, scale, width, height, &rot)) {
        WriteLogText("RotateBlitMemImg: rotated corners out of range");
        return;
    }
    if (turn) {
        // Mirrored: the quad blit with texel (0, 0) on the top-right corner.
        const int order[4] = {3, 0, 2, 1};
        int corners[8];
        for (int k = 0; k < 4; ++k) {
            corners[2 * k] = rot.corner[order[k]][0] / 262144;
            corners[2 * k + 1] = rot.corner[order[k]][1] / 262144;
        }
        QuadBlitMemImg(target, source, corners, transparent, blendGraph);
        return;
    }

    KernelConfig config;
    if (!softblit::ChooseKernel(source, blendGraph != nullptr, transparent, false, &config)) return;

    int box[4] = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (const auto& c : rot.corner) {
        // Integer parts, toward zero.
        const int px = c[0] / 262144, py = c[1] / 262144;
        box[0] = std::min(box[0], px - 2);
        box[1] = std::min(box[1], py - 2);
        box[2] = std::max(box[2], px + 4);
        box[3] = std::max(box[3], py + 4);
    }
    int clip[4];
    softblit::TargetClip(target, clip);
    ClipRectangle(box, clip);
    const int cols = box[2] - box[0], rows = box[3] - box[1];
    if (cols <= 0 || rows <= 0) return;

    int du, dv, uStart, vStart, uBottom, vBottom;
    if (!TruncateChecked(static_cast<float>(rot.c) / scale, &du) ||
        !TruncateChecked(static_cast<float>(rot.sInv) / scale, &dv) ||
        !TexelAt(box[0], box[1], x, y, rot, scale, width, height, &uStart, &vStart) ||
        !TexelAt(box[0], box[3], x, y, rot, scale, width, height, &uBottom, &vBottom) ||
        !FitsInt(int64_t{uBottom} - uStart) || !FitsInt(int64_t{vBottom} - vStart)) {
        WriteLogText("RotateBlitMemImg: texel steps out of range");
        return;
    }

    const MEMIMG_BASE* tb = target->base;
    RotateSetup setup{};
    softblit::FillCommonSetup(source, &setup.rules);
    setup.rules.scalarOnly = source->base == target->base;
    setup.cols = cols;
    setup.rows = rows;
    setup.dstPitch = tb->pitch;
    setup.dstRow = target->pixels + static_cast<ptrdiff_t>(box[1]) * tb->pitch +
                   static_cast<ptrdiff_t>(box[0]) * tb->formatDesc->bytesPerPixel;
    setup.uStart = static_cast<uint32_t>(uStart);
    setup.vStart = static_cast<uint32_t>(vStart);
    setup.du = static_cast<uint32_t>(du);
    setup.dv = static_cast<uint32_t>(dv);
    // The row change, an integer division of the whole-box change.
    setup.rowU = static_cast<uint32_t>(static_cast<int>((int64_t{uBottom} - uStart) / rows));
    setup.rowV = static_cast<uint32_t>(static_cast<int>((int64_t{vBottom} - vStart) / rows));
    setup.uLimit = static_cast<uint32_t>(width) << 18;
    setup.vLimit = static_cast<uint32_t>(height) << 18;
    setup.srcPixels = source->pixels;
    setup.srcPitch = source->base->pitch;
    setup.blendPixels = nullptr;
    setup.blendPitch = 0;
    if (blendGraph) {
        setup.blendPixels = blendGraph->pixels;
        setup.blendPitch = blendGraph->base->pitch;
    }
    if (RotateKernel kernel = FindRotateKernel(config)) kernel(setup);
}

}  // namespace morpotta
