// Software skinning for the fixed-function road: source vertices in their
// kind's layout become world-space positions and normals in the
// fixed-function vertex copy (position at byte 0, normal at byte 12 of
// each output vertex).
#pragma once
#include "model/base/model_math.h"

namespace morpotta {

// Kind 1 (48 bytes, 4 weights) and kind 2 (64 bytes, 8 weights): bone bytes
// name palette slots; a slot at or past paletteCount contributes nothing
// (lists with such slots are refused at load; this keeps a stray byte
// from reading past the palette).
void SkinVerticesKind1(const void* source, int vertexCount, const Matrix34* const* palette, int paletteCount,
                       void* out, int outStride);
void SkinVerticesKind2(const void* source, int vertexCount, const Matrix34* const* palette, int paletteCount,
                       void* out, int outStride);
// Kind 3: maxWeights pairs of (bone index into refs, weight) after the
// position and normal; an index of -1 ends the pairs, an index outside
// refs is skipped.
void SkinVerticesKind3(const void* source, int vertexCount, int sourceStride, int maxWeights,
                       const Matrix34* const* refs, int refCount, void* out, int outStride);

// 1 when the image of any axis under the matrix has a squared length outside
// [0.999, 1.001]: normals then need renormalising before lighting.
int MatrixNeedsRenormalise(const Matrix34* m);

}  // namespace morpotta
