// The 32-bit plain and scaled blit kernels' vector form for SSE2.
#include "softblit/vector_kernels.h"

#if SOFTBLIT_VECTOR_PATHS

namespace morpotta {

extern const std::array<BlitKernel, kKernelsPerKind> kVectorBlit32Sse2 =
    softblit::kVectorBlitTable<1, KernelPath::Sse2>;

}  // namespace morpotta

#endif
