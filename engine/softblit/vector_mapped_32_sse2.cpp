// The 32-bit rotated blit and triangle loops' vector form for SSE2.
#include "softblit/vector_kernels.h"

#if SOFTBLIT_VECTOR_PATHS

namespace morpotta {

extern const MappedKernels kVectorMapped32Sse2 = softblit::kVectorMappedTables<1, KernelPath::Sse2>;

}  // namespace morpotta

#endif
