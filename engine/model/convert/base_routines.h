// Routines every model reader and the base-data code share: tangents of a
// mesh, base frame matrices, triangle-list vertex arrays and the outline
// index list.
#pragma once
#include "model/base/model_records.h"

namespace morpotta {

// Tangent and binormal of every normal slot the mesh's vertices name.
// -1 (logged, records unchanged) when work memory is short.
int BuildMeshTangents(ModelBaseMesh* mesh);
// Local, world and inverse-world matrices of every frame, parents first.
void ComputeBaseFrameMatrices(ModelBase* base);

// Bytes per vertex of a list kind (kind 3: with maxWeights pairs); 0 for
// an unknown kind.
int TriangleListVertexStride(int vertexKind, int maxWeights);

// An instance's own copy of a base list's vertices.
struct TriangleListVertexCopy {
    const ModelBaseTriangleList* list;
    void* vertices;  // vertexCount x stride bytes, 16-byte aligned
};

int FillTriangleListVertices(ModelBaseTriangleList* list);
int FillTriangleListVertexCopy(TriangleListVertexCopy* copy);
// Copies every triangle whose three vertices all draw an outline into the
// list's outline indices (capacity indexCount).
void FilterTriangleListIndices(ModelBaseTriangleList* list);

}  // namespace morpotta
