// The 16-bit plain and scaled blit kernels' vector form for SSE2.
#include "softblit/vector_kernels.h"

#if SOFTBLIT_VECTOR_PATHS

namespace morpotta {

extern const std::array<BlitKernel, kKernelsPerKind> kVectorBlit16Sse2 =
    softblit::kVectorBlitTable<0, KernelPath::Sse2>;

}  // namespace morpotta

#endif
