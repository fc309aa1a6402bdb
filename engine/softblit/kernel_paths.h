// The forms the software kernels come in, and the one drawing uses: the
// portable scalar loops (also the reference the others are tested
// against), SSE2 (every x86-64 processor) and AVX2. Start-up picks the
// best the processor runs; tests and benchmarks may force another. Each
// form is a full set of the kernel tables, entry for entry, so a frame
// finds its kernel the same way whichever form is active.
#pragma once
#include <array>

#include "softblit/blit_setup.h"
#include "softblit/rotate_setup.h"
#include "softblit/triangle_setup.h"

namespace morpotta {

enum class KernelPath { Scalar, Sse2, Avx2 };
constexpr int kKernelPathCount = 3;

// The mapped draws' tables (rotated blit, triangles) of one kind and form.
struct MappedKernels {
    std::array<RotateKernel, kRotateKernelsPerKind> rotate;
    std::array<TriangleLoop, kTexturedTriangleLoopsPerKind> textured;
    std::array<TriangleLoop, kFlatTriangleLoopsPerKind> flat;
};

// One form's tables for one pixel kind.
struct KindKernels {
    const BlitKernel* blit;          // kKernelsPerKind entries
    const RotateKernel* rotate;      // kRotateKernelsPerKind
    const TriangleLoop* textured;    // kTexturedTriangleLoopsPerKind
    const TriangleLoop* flat;        // kFlatTriangleLoopsPerKind
};

// The active form's tables for pixel kind 0 (16-bit) or 1 (32-bit).
const KindKernels& ActiveKernels(int kind);
KernelPath ActiveKernelPath();
// Whether this processor (and build) runs a form.
bool KernelPathAvailable(KernelPath path);
// The best available form, the one start-up chooses.
KernelPath BestKernelPath();
// Makes a form the active one; false, changing nothing, when it is not
// available.
bool SetKernelPath(KernelPath path);
const char* KernelPathName(KernelPath path);

}  // namespace morpotta
