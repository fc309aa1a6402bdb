// The 16-bit kernels of the plain and the scaled blit, one per configuration.
#include "softblit/blit_loops.h"

namespace morpotta {

constexpr std::array<BlitKernel, kKernelsPerKind> kBlitKernels16 =
    softblit::MakeKernelTable<0>(std::make_integer_sequence<int, kKernelsPerKind>{});

}  // namespace morpotta
