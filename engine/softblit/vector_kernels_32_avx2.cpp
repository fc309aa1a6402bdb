// The 32-bit kernels' vector form for AVX2.
#include "softblit/vector_kernels.h"

#if SOFTBLIT_VECTOR_PATHS
extern const KindKernels kVectorKernels32Avx2 = softblit::VectorTables<1, KernelPath::Avx2>::kinds;
#endif
