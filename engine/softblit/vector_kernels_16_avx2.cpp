// The 16-bit kernels' vector form for AVX2.
#include "softblit/vector_kernels.h"

#if SOFTBLIT_VECTOR_PATHS
extern const KindKernels kVectorKernels16Avx2 = softblit::VectorTables<0, KernelPath::Avx2>::kinds;
#endif
