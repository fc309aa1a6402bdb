// Checks and per-call values shared by the plain and the scaled blit.
#include "softblit/blit_frame_common.h"

#include <algorithm>
#include <cstring>

#include "engine/drawstate.h"
#include "engine/log.h"

namespace softblit {

bool CanDraw(const MEMIMG* target, const MEMIMG* source, const MEMIMG* blendImage, const char* caller) {
    if (CheckMemImg(target) != 0 || CheckMemImg(source) != 0 || (blendImage && CheckMemImg(blendImage) != 0)) {
        WriteLogFormat("invalid software image in %s", caller);
        return false;
    }
    const MEMIMG_BASE* t = target->base;
    const MEMIMG_BASE* s = source->base;
    if (s->pixelKind != t->pixelKind || t->usePalette || t->useAlpha) return false;
    return s->pixelKind == MEMIMG_KIND_RGB565 || s->pixelKind == MEMIMG_KIND_32BIT;
}

bool ChooseKernel(const MEMIMG* source, bool blendImage, int transparent, bool scaled, KernelConfig* config) {
    const MEMIMG_BASE* s = source->base;
    int mode = KernelModeOf(BlendMode);
    if (mode < 0) return false;
    const int p = std::clamp(BlendParam, 0, 255);
    if ((mode == KernelAlpha || mode == KernelAdd) && p == 0) return false;
    if (mode == KernelSub && p == 0 && !s->usePalette) return false;
    if (mode == KernelAlpha && p == 255) mode = KernelCopy;
    if (!AreBlendTablesBuilt()) BuildBlendTables();

    KernelConfig c{};
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
    *config = c;
    return true;
}

void TargetClip(const MEMIMG* target, int clip[4]) {
    clip[0] = std::clamp(DrawArea[0], 0, target->width);
    clip[1] = std::clamp(DrawArea[1], 0, target->height);
    clip[2] = std::clamp(DrawArea[2], clip[0], target->width);
    clip[3] = std::clamp(DrawArea[3], clip[1], target->height);
}

void FillRuleTables(int p, BlitSetup* setup) {
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

void FillCommonSetup(const MEMIMG* source, PaletteCopy* work, BlitSetup* setup) {
    const MEMIMG_BASE* s = source->base;
    FillRuleTables(std::clamp(BlendParam, 0, 255), setup);
    setup->transColor = s->transColor;
    setup->palette32 = nullptr;
    setup->palette16 = nullptr;
    if (s->usePalette) {
        if (s->pixelKind == MEMIMG_KIND_32BIT) {
            std::memcpy(work->entries32, s->palette32, sizeof(work->entries32));
            setup->palette32 = work->entries32;
        } else {
            std::memcpy(work->entries16, s->palette16, sizeof(work->entries16));
            setup->palette16 = work->entries16;
        }
    }
}

}  // namespace softblit
