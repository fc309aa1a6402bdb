// Per-call values of the rotated blit's direct path and its kernel table,
// keyed like the plain blit's (pixel kind, source class, blend mode, blend
// image, tint, transparent flag).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "softblit/blit_setup.h"

namespace morpotta {

// What the frame hands the loops: the box, the inverse mapping as Fixed18
// texel positions (18 fraction bits), and source and blend image as first
// pixel and pitch. Positions step as unsigned words, so their wrap-around
// is defined.
struct RotateSetup {
    BlitSetup rules;              // table rows, parameter, transparent colour, palette
    int cols, rows;               // clipped box, both at least 1
    uint8_t* dstRow;              // target pixel (left, top)
    ptrdiff_t dstPitch;
    uint32_t uStart, vStart;      // texel position of the box's first pixel
    uint32_t du, dv;              // per target pixel to the right
    uint32_t rowU, rowV;          // per target row down
    uint32_t uLimit, vLimit;      // width << 18 and height << 18
    const uint8_t* srcPixels;         // the source view's first pixel
    ptrdiff_t srcPitch;
    const uint8_t* blendPixels;       // or null
    ptrdiff_t blendPitch;
};

using RotateKernel = void (*)(const RotateSetup&);

// The rotated blits are specialised on blend image, tint and transparency.
constexpr int kRotateKernelsPerKind = KernelTableSize(kKernelSwitchesBasic);

constexpr int RotateKernelIndexInKind(const KernelConfig& c) { return KernelIndex(c, kKernelSwitchesBasic); }
constexpr KernelConfig RotateKernelConfigAt(int kind, int index) {
    return KernelConfigOf(kind, index, kKernelSwitchesBasic);
}

// The kernel for a configuration (its special and scaled switches are not
// read), or null when it draws nothing.
RotateKernel FindRotateKernel(const KernelConfig& config);

extern const std::array<RotateKernel, kRotateKernelsPerKind> kRotateKernels16;
extern const std::array<RotateKernel, kRotateKernelsPerKind> kRotateKernels32;

}  // namespace morpotta
