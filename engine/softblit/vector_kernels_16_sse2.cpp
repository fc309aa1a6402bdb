// The 16-bit kernels' vector form for SSE2.
#include "softblit/vector_kernels.h"

#if SOFTBLIT_VECTOR_PATHS
extern const KindKernels kVectorKernels16Sse2 = softblit::VectorTables<0, KernelPath::Sse2>::kinds;
#endif
