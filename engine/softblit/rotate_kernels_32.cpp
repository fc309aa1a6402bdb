// The 32-bit loops of the rotated blit's direct path, one per configuration.
#include "softblit/rotate_loops.h"

namespace morpotta {

constexpr std::array<RotateKernel, kRotateKernelsPerKind> kRotateKernels32 =
    softblit::MakeRotateKernelTable<1>(std::make_integer_sequence<int, kRotateKernelsPerKind>{});

}  // namespace morpotta
