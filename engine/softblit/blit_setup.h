// Per-call values of the plain and scaled blits, and the table of kernels
// keyed by (pixel kind, source class, blend mode, loop variant).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "softblit/kernel_config.h"

namespace morpotta {

// Blue, green and red each scaled by its own factor t (0..255) through
// BlendProductTable row t: the rows for the scalar loops, the factors for
// the lane forms that compute the same entries.
struct RgbScale {
    const uint32_t* rows[3];  // blue, green, red
    uint32_t factors[3];
};

// What the frame has worked out once per call; kernels read only this, the
// tables and pixels.
struct BlitSetup {
    int width, height;             // clipped size, both at least 1
    const uint8_t* srcRow;         // first visible source pixel
    ptrdiff_t srcSkip;             // plain blit: to the next row after width pixels
    uint8_t* dstRow;               // first target pixel
    ptrdiff_t dstSkip;
    const uint8_t* blendRow;       // blend-image byte at the source position, or null
    ptrdiff_t blendSkip;
    uint32_t transColor;           // the source's transparent colour, raw
    int p;                         // blend parameter
    const uint32_t* productRowP;   // BlendProductTable[p]
    RgbScale tint;                 // the tint's rows and bytes
    RgbScale byParam;              // productRowP and p for all three channels
    const int32_t* signedRowP;     // BlendSignedProductTable[p], centred
    const uint8_t (*mix6Slab)[64]; // BlendMix6Table[p / 4]
    const uint32_t* palette32;     // palette work copy of a 32-bit palette source
    const uint16_t* palette16;     // palette work copy of a 16-bit palette source
    const uint8_t* levelTable;     // BlendLevelTable
    bool scalarOnly;               // source and target share a base: per-pixel order matters
    // Scaled blit stepping (16.16, computed in 64 bits).
    ptrdiff_t srcPixelStep, srcRowStep;
    ptrdiff_t blendPixelStep, blendRowStep;
    ptrdiff_t dstPitch;
    int64_t hScale, vScale;
    int64_t hAccStart, vAccStart;
};

// A source read through a texel mapping (rotated blit, triangle spans).
struct MappedSource {
    const uint8_t* pixels;    // first texel
    ptrdiff_t pitch;
    const uint8_t* graph;     // blend graph's first byte, or null
    ptrdiff_t graphPitch;
    uint32_t boundU, boundV;  // width << 18, height << 18, compared unsigned
};

using BlitKernel = void (*)(const BlitSetup&);

// The plain and scaled blits are specialised on all five switches.
constexpr int kKernelsPerKind = KernelTableSize(kKernelSwitchesAll);

constexpr int KernelIndexInKind(const KernelConfig& c) { return KernelIndex(c, kKernelSwitchesAll); }
constexpr KernelConfig KernelConfigAt(int kind, int index) { return KernelConfigOf(kind, index, kKernelSwitchesAll); }

// Whether a configuration has a loop of its own (the special forms exist
// only where they differ).
constexpr bool IsKernelConfigUsed(const KernelConfig& c) {
    if (!c.special) return true;
    if (c.scaled || c.tint || c.blend || c.source == SourceAlpha) return false;
    if (c.mode == KernelAlpha || c.mode == KernelAdd) return true;
    return c.mode == KernelSub && c.kind == 0;
}

// The kernel for a configuration, or null when it draws nothing.
BlitKernel FindBlitKernel(const KernelConfig& config);
// The kernel-table mode of a blend mode, or -1 when it draws nothing.
int KernelModeOf(int blendMode);

// Module-level per-kind tables, generated from the loop templates.
extern const std::array<BlitKernel, kKernelsPerKind> kBlitKernels16;
extern const std::array<BlitKernel, kKernelsPerKind> kBlitKernels32;

}  // namespace morpotta
