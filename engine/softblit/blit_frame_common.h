// What the frames share: the image checks, the choice of kernel from the
// blend state, and the rules' table rows. Inline, so that a call's set-up
// is straight code in its frame: a small sprite spends as much time here as
// on its pixels.
#pragma once
#include <algorithm>

#include "graphics/softimage/drawstate.h"
#include "softblit/blit_setup.h"
#include "softblit/softblit.h"

namespace morpotta::softblit {

// Logs the refusal of an invalid image; false.
bool RefuseInvalidImage(const char* caller);

// Refuses (false) invalid images, a source of another pixel kind than the
// target, a palette or alpha target and kinds other than 16- and 32-bit.
inline bool CanDraw(const MEMIMG* target, const MEMIMG* source, const MEMIMG* blendImage, const char* caller) {
    if (CheckMemImg(target) != 0 || CheckMemImg(source) != 0 || (blendImage && CheckMemImg(blendImage) != 0))
        return RefuseInvalidImage(caller);
    const MEMIMG_BASE* t = target->base;
    const MEMIMG_BASE* s = source->base;
    if (s->pixelKind != t->pixelKind || t->usePalette || t->useAlpha) return false;
    return s->pixelKind == MEMIMG_KIND_RGB565 || s->pixelKind == MEMIMG_KIND_32BIT;
}

// Fills config's kind, source, mode and the state-derived switches from the
// current draw state; false when this draw puts nothing on the target.
inline bool ChooseKernel(const MEMIMG* source, bool blendImage, int transparent, bool scaled, KernelConfig* config) {
    const MEMIMG_BASE* s = source->base;
    int mode = KernelModeOf(BlendMode);
    if (mode < 0) return false;
    const int p = std::clamp(BlendParam, 0, 255);
    if ((mode == KernelAlpha || mode == KernelAdd) && p == 0) return false;
    if (mode == KernelSub && p == 0 && !s->usePalette) return false;
    if (mode == KernelAlpha && p == 255) mode = KernelCopy;
    if (!AreBlendTablesBuilt()) BuildBlendTables();

    KernelConfig& c = *config;
    c.kind = s->pixelKind;
    c.source = s->usePalette ? SourcePalette : s->useAlpha ? SourceAlpha : SourcePlain;
    c.mode = mode;
    c.blend = blendImage;
    c.tint = (DrawTint & 0xFFFFFF) != 0xFFFFFF;
    c.trans = transparent != 0;
    c.scaled = scaled;
    c.special = !scaled && !c.tint && !c.blend && c.source != SourceAlpha &&
                ((mode == KernelAlpha && p == 128) || ((mode == KernelAdd || mode == KernelSub) && p == 255));
    if (!IsKernelConfigUsed(c)) c.special = false;
    return true;
}

// The draw area cut to the target's bounds.
inline void TargetClip(const MEMIMG* target, int clip[4]) {
    clip[0] = std::clamp(DrawArea[0], 0, target->width);
    clip[1] = std::clamp(DrawArea[1], 0, target->height);
    clip[2] = std::clamp(DrawArea[2], clip[0], target->width);
    clip[3] = std::clamp(DrawArea[3], clip[1], target->height);
}

// The rules' table rows and factors for parameter p and the current tint,
// and the level table.
inline void FillRuleTables(int p, BlitSetup* setup) {
    setup->p = p;
    setup->productRowP = BlendProductTable[p];
    for (int i = 0; i < 3; ++i) {
        const uint32_t t = (DrawTint >> (8 * i)) & 0xFF;
        setup->tint.rows[i] = BlendProductTable[t];
        setup->tint.factors[i] = t;
        setup->byParam.rows[i] = BlendProductTable[p];
        setup->byParam.factors[i] = static_cast<uint32_t>(p);
    }
    setup->signedRowP = BlendSignedProductRow(p);
    setup->mix6Slab = BlendMix6Table[p >> 2];
    setup->levelTable = BlendLevelTable;
}

// Table rows, parameter, level table, transparent colour and the source's
// palette, which the kernels read in place (nothing draws on a palette
// image, so it cannot change during a call).
inline void FillCommonSetup(const MEMIMG* source, BlitSetup* setup) {
    const MEMIMG_BASE* s = source->base;
    FillRuleTables(std::clamp(BlendParam, 0, 255), setup);
    setup->transColor = s->transColor;
    setup->palette32 = s->usePalette && s->pixelKind == MEMIMG_KIND_32BIT ? s->palette32 : nullptr;
    setup->palette16 = s->usePalette && s->pixelKind == MEMIMG_KIND_RGB565 ? s->palette16 : nullptr;
}

}  // namespace morpotta::softblit
