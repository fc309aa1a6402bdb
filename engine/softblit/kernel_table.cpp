// The one lookup of a kernel: pixel kind, source class, blend mode and loop
// variant index the generated per-kind tables of the active kernel form.
#include "softblit/blit_setup.h"

#include "graphics/softimage/drawstate.h"
#include "softblit/kernel_paths.h"

namespace morpotta {

int KernelModeOf(int blendMode) {
    switch (blendMode) {
    case BlendCopy: return KernelCopy;
    case BlendAlpha: return KernelAlpha;
    case BlendAdd: return KernelAdd;
    case BlendSub: return KernelSub;
    case BlendMul: return KernelMul;
    case BlendInvert: return KernelInvert;
    case BlendMulAlpha: return KernelMulAlpha;
    default: return -1;
    }
}

BlitKernel FindBlitKernel(const KernelConfig& config) {
    if (config.mode < 0 || config.mode >= kKernelModeCount || config.source < 0 || config.source > SourceAlpha)
        return nullptr;
    if (!IsKernelConfigUsed(config)) return nullptr;
    if (config.kind != 0 && config.kind != 1) return nullptr;
    return ActiveKernels(config.kind).blit[KernelIndexInKind(config)];
}

}  // namespace morpotta
