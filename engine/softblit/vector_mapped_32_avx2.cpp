// The 32-bit rotated blit and triangle loops' vector form for AVX2.
#include "softblit/vector_kernels.h"

#if SOFTBLIT_VECTOR_PATHS

namespace morpotta {

extern const MappedKernels kVectorMapped32Avx2 = softblit::kVectorMappedTables<1, KernelPath::Avx2>;

}  // namespace morpotta

#endif
