// The 32-bit kernels' vector form for SSE2.
#include "softblit/vector_kernels.h"

#if SOFTBLIT_VECTOR_PATHS
extern const KindKernels kVectorKernels32Sse2 = softblit::VectorTables<1, KernelPath::Sse2>::kinds;
#endif
