// The kernel forms and the choice among them: the processor is asked once,
// when the program starts, and the best form it runs becomes the active one.
#include "softblit/kernel_paths.h"

#include <atomic>

#include "platform/lasting_state.h"
#include "softblit/lanes.h"

namespace morpotta {

#if SOFTBLIT_VECTOR_PATHS
extern const std::array<BlitKernel, kKernelsPerKind> kVectorBlit16Sse2, kVectorBlit32Sse2;
extern const std::array<BlitKernel, kKernelsPerKind> kVectorBlit16Avx2, kVectorBlit32Avx2;
extern const MappedKernels kVectorMapped16Sse2, kVectorMapped32Sse2;
extern const MappedKernels kVectorMapped16Avx2, kVectorMapped32Avx2;
#endif

namespace {

const KindKernels kScalarKernels[2] = {
    {kBlitKernels16.data(), kRotateKernels16.data(), kTexturedTriangleLoops16.data(), kFlatTriangleLoops16.data()},
    {kBlitKernels32.data(), kRotateKernels32.data(), kTexturedTriangleLoops32.data(), kFlatTriangleLoops32.data()},
};

#if SOFTBLIT_VECTOR_PATHS
constexpr KindKernels Join(const std::array<BlitKernel, kKernelsPerKind>& blit, const MappedKernels& mapped) {
    return {blit.data(), mapped.rotate.data(), mapped.textured.data(), mapped.flat.data()};
}
const KindKernels kSse2Kernels[2] = {Join(kVectorBlit16Sse2, kVectorMapped16Sse2), Join(kVectorBlit32Sse2, kVectorMapped32Sse2)};
const KindKernels kAvx2Kernels[2] = {Join(kVectorBlit16Avx2, kVectorMapped16Avx2), Join(kVectorBlit32Avx2, kVectorMapped32Avx2)};
#endif

const KindKernels* const kPathKernels[kKernelPathCount][2] = {
    {&kScalarKernels[0], &kScalarKernels[1]},
#if SOFTBLIT_VECTOR_PATHS
    {&kSse2Kernels[0], &kSse2Kernels[1]},
    {&kAvx2Kernels[0], &kAvx2Kernels[1]},
#else
    {&kScalarKernels[0], &kScalarKernels[1]},
    {&kScalarKernels[0], &kScalarKernels[1]},
#endif
};

bool ProcessorHasAvx2() {
#if SOFTBLIT_VECTOR_PATHS
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

const bool kHasAvx2 = ProcessorHasAvx2();
// Read by every draw, written only when a test or benchmark forces a form.
struct KernelPathModule {
    std::atomic<KernelPath> activePath{BestKernelPath()};
};

KernelPathModule& State() {
    return platform::LastingState<KernelPathModule>();
}

}  // namespace

bool KernelPathAvailable(KernelPath path) {
    switch (path) {
    case KernelPath::Scalar: return true;
    case KernelPath::Sse2: return SOFTBLIT_VECTOR_PATHS != 0;
    case KernelPath::Avx2: return kHasAvx2;
    }
    return false;
}

KernelPath BestKernelPath() {
    if (KernelPathAvailable(KernelPath::Avx2)) return KernelPath::Avx2;
    if (KernelPathAvailable(KernelPath::Sse2)) return KernelPath::Sse2;
    return KernelPath::Scalar;
}

bool SetKernelPath(KernelPath path) {
    if (!KernelPathAvailable(path)) return false;
    State().activePath.store(path, std::memory_order_relaxed);
    return true;
}

KernelPath ActiveKernelPath() { return State().activePath.load(std::memory_order_relaxed); }

const KindKernels& ActiveKernels(int kind) { return *kPathKernels[static_cast<int>(ActiveKernelPath())][kind]; }

const char* KernelPathName(KernelPath path) {
    switch (path) {
    case KernelPath::Scalar: return "scalar";
    case KernelPath::Sse2: return "sse2";
    case KernelPath::Avx2: return "avx2";
    }
    return "?";
}

}  // namespace morpotta
