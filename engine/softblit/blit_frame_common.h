// What the plain and the scaled blit frames share: the image checks, the
// choice of kernel mode from the blend state, the table rows and the
// palette work copy.
#pragma once
#include "engine/memimg.h"
#include "softblit/blit_setup.h"

namespace softblit {

// 256 entries of either width; the work copy is always complete, so every
// kernel reads the same colours whatever index a pixel holds.
union PaletteCopy {
    uint32_t entries32[256];
    uint16_t entries16[256];
};

// Refuses (false) invalid images, a source of another pixel kind than the
// target, a palette or alpha target and kinds other than 16- and 32-bit.
bool CanDraw(const MEMIMG* target, const MEMIMG* source, const MEMIMG* blendImage, const char* caller);
// Fills config's kind, source, mode and the state-derived switches from the
// current draw state; false when this draw puts nothing on the target.
bool ChooseKernel(const MEMIMG* source, bool blendImage, int transparent, bool scaled, KernelConfig* config);
// The draw area cut to the target's bounds.
void TargetClip(const MEMIMG* target, int clip[4]);
// The rules' table rows and factors for parameter p and the current tint,
// and the level table.
void FillRuleTables(int p, BlitSetup* setup);
// Table rows, parameter, level table, transparent colour and the palette
// copied into work.
void FillCommonSetup(const MEMIMG* source, PaletteCopy* work, BlitSetup* setup);

}  // namespace softblit
