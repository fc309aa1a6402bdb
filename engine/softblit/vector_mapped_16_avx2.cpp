// The 16-bit rotated blit and triangle loops' vector form for AVX2.
#include "softblit/vector_kernels.h"

#if SOFTBLIT_VECTOR_PATHS

namespace morpotta {

extern const MappedKernels kVectorMapped16Avx2 = softblit::kVectorMappedTables<0, KernelPath::Avx2>;

}  // namespace morpotta

#endif
