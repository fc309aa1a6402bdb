// The vector kernel tables: for one pixel kind and one instruction set, an
// entry for every configuration of the plain and scaled blit, the rotated
// blit's direct path and the triangle loops, in the scalar tables' order.
// Each entry is the vector loop of its configuration compiled for that
// instruction set.
#pragma once
#include <array>
#include <utility>

#include "softblit/kernel_paths.h"
#include "softblit/vector_loops.h"

namespace morpotta::softblit {

// A draw the vector loops leave to the scalar ones goes through the scalar
// tables: one more compile of every scalar loop here, beside the vector
// loop of each entry, would take a fifth of these files' compile time.
template <KernelConfig C>
void ScalarBlit(const BlitSetup& s) {
    (C.kind == 0 ? kBlitKernels16 : kBlitKernels32)[KernelIndexInKind(C)](s);
}
template <KernelConfig C>
void ScalarRotate(const RotateSetup& r) {
    (C.kind == 0 ? kRotateKernels16 : kRotateKernels32)[RotateKernelIndexInKind(C)](r);
}
// (It counts its run, as every textured entry does.)
template <int Kind, int Index>
void ScalarTextured(const TriangleSetup& t) {
    (Kind == 0 ? kTexturedTriangleLoops16 : kTexturedTriangleLoops32)[Index](t);
}

// The plain, scaled and flat entries work on their own copy of the set-up:
// the loops' stores go through byte pointers, which may point anywhere as
// far as the compiler knows, so fields read through the caller's record
// would be read again after every store; those of a local copy stay in
// registers (out-of-line calls get the caller's record, so that the copy
// stays local). The mapped draws' span functions make their own copy.
template <KernelConfig C, class V>
SOFTBLIT_INLINE void VectorBlit(const BlitSetup& setup) {
    if (setup.scalarOnly) {
        ScalarBlit<C>(setup);
        return;
    }
    const BlitSetup s = setup;
    if constexpr (C.scaled) {
        VectorScaledRows<C, V>(s, setup);
    } else if constexpr (kCopiesRows<C>) {
        VectorCopyRows<C, V>(s, setup);
    } else if constexpr (C.special && C.kind == 0 && (C.mode == KernelAdd || C.mode == KernelSub)) {
        VectorPairedRows<C, V>(s, setup);
    } else {
        VectorPlainRows<C, V>(s, setup);
    }
}
template <KernelConfig C, class V>
SOFTBLIT_INLINE void VectorRotate(const RotateSetup& r) {
    if (r.rules.scalarOnly) {
        ScalarRotate<C>(r);
    } else {
        VectorRotateRows<C, V>(r);
    }
}
template <int Kind, int Index, class V>
SOFTBLIT_INLINE void VectorTextured(const TriangleSetup& t) {
    constexpr KernelConfig C = TexturedTriangleConfigAt(Kind, Index);
    if (t.rules.scalarOnly) {
        ScalarTextured<Kind, Index>(t);
    } else {
        ++TriangleLoopRuns[TexturedTriangleRunSlot(Kind, Index)];
        VectorTexturedTriangle<C, V>(t);
    }
}
template <int Kind, int Mode, class V>
SOFTBLIT_INLINE void VectorFlat(const TriangleSetup& setup) {
    const TriangleSetup t = setup;
    ++TriangleLoopRuns[FlatTriangleRunSlot(Kind, Mode)];
    WalkTriangleRows(t, VectorFlatSpan<Kind, Mode, V>{t, setup.rules});
}

// The entries, one instantiation per instruction set: four lanes in SSE2
// registers, eight in AVX2 registers.
template <KernelConfig C>
void VectorBlitSse2(const BlitSetup& s) { VectorBlit<C, Lanes32x4>(s); }
template <KernelConfig C>
SOFTBLIT_AVX2 void VectorBlitAvx2(const BlitSetup& s) { VectorBlit<C, Lanes32x8>(s); }
template <KernelConfig C>
void VectorRotateSse2(const RotateSetup& r) { VectorRotate<C, Lanes32x4>(r); }
template <KernelConfig C>
SOFTBLIT_AVX2 void VectorRotateAvx2(const RotateSetup& r) { VectorRotate<C, Lanes32x8>(r); }
template <int Kind, int Index>
void VectorTexturedSse2(const TriangleSetup& t) { VectorTextured<Kind, Index, Lanes32x4>(t); }
template <int Kind, int Index>
SOFTBLIT_AVX2 void VectorTexturedAvx2(const TriangleSetup& t) { VectorTextured<Kind, Index, Lanes32x8>(t); }
template <int Kind, int Mode>
void VectorFlatSse2(const TriangleSetup& t) { VectorFlat<Kind, Mode, Lanes32x4>(t); }
template <int Kind, int Mode>
SOFTBLIT_AVX2 void VectorFlatAvx2(const TriangleSetup& t) { VectorFlat<Kind, Mode, Lanes32x8>(t); }

template <KernelConfig C, KernelPath P>
constexpr BlitKernel VectorBlitEntry() {
    if constexpr (!IsKernelConfigUsed(C)) {
        return nullptr;
    } else if constexpr (P == KernelPath::Avx2) {
        return &VectorBlitAvx2<C>;
    } else {
        return &VectorBlitSse2<C>;
    }
}

template <int Kind, KernelPath P, int... I>
constexpr std::array<BlitKernel, sizeof...(I)> MakeVectorBlitTable(std::integer_sequence<int, I...>) {
    return {VectorBlitEntry<KernelConfigAt(Kind, I), P>()...};
}
// A mapped draw that only stores source words gains nothing from four
// lanes: each texel is its own load whatever the width, and SSE2 packs
// 16-bit words back slowly. Its SSE2 entry is the scalar loop.
template <KernelConfig C, KernelPath P>
constexpr bool kMappedScalarOnSse2 =
    P == KernelPath::Sse2 && C.source != SourceAlpha && kStoresSourceWord<MappedRules(C), false>;

template <KernelConfig C, KernelPath P>
constexpr RotateKernel VectorRotateEntry() {
    if constexpr (kMappedScalarOnSse2<C, P>) {
        return &ScalarRotate<C>;
    } else if constexpr (P == KernelPath::Avx2) {
        return &VectorRotateAvx2<C>;
    } else {
        return &VectorRotateSse2<C>;
    }
}
template <int Kind, int Index, KernelPath P>
constexpr TriangleLoop VectorTexturedEntry() {
    if constexpr (kMappedScalarOnSse2<TexturedTriangleConfigAt(Kind, Index), P>) {
        return &ScalarTextured<Kind, Index>;
    } else if constexpr (P == KernelPath::Avx2) {
        return &VectorTexturedAvx2<Kind, Index>;
    } else {
        return &VectorTexturedSse2<Kind, Index>;
    }
}

template <int Kind, KernelPath P, int... I>
constexpr std::array<RotateKernel, sizeof...(I)> MakeVectorRotateTable(std::integer_sequence<int, I...>) {
    return {VectorRotateEntry<RotateKernelConfigAt(Kind, I), P>()...};
}
template <int Kind, KernelPath P, int... I>
constexpr std::array<TriangleLoop, sizeof...(I)> MakeVectorTexturedTable(std::integer_sequence<int, I...>) {
    return {VectorTexturedEntry<Kind, I, P>()...};
}
template <int Kind, KernelPath P, int... M>
constexpr std::array<TriangleLoop, sizeof...(M)> MakeVectorFlatTable(std::integer_sequence<int, M...>) {
    if constexpr (P == KernelPath::Avx2) {
        return {&VectorFlatAvx2<Kind, M>...};
    } else {
        return {&VectorFlatSse2<Kind, M>...};
    }
}

// The tables of one kind and instruction set: the plain and scaled blit's
// in one translation unit, the mapped draws' (rotated, triangles) in
// another, so that the two compile side by side.
template <int Kind, KernelPath P>
constexpr std::array<BlitKernel, kKernelsPerKind> kVectorBlitTable =
    MakeVectorBlitTable<Kind, P>(std::make_integer_sequence<int, kKernelsPerKind>{});
template <int Kind, KernelPath P>
constexpr MappedKernels kVectorMappedTables{
    MakeVectorRotateTable<Kind, P>(std::make_integer_sequence<int, kRotateKernelsPerKind>{}),
    MakeVectorTexturedTable<Kind, P>(std::make_integer_sequence<int, kTexturedTriangleLoopsPerKind>{}),
    MakeVectorFlatTable<Kind, P>(std::make_integer_sequence<int, kFlatTriangleLoopsPerKind>{})};

}  // namespace morpotta::softblit
