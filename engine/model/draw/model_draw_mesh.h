// Drawing one mesh of an instance: every triangle list in a first pass and,
// for toon materials with an outline, again as an outline. Lists are drawn
// from per-list vertex copies in memory, skinned in software.
#pragma once
#include "model/base/model_records.h"

namespace morpotta {

// Texture-coordinate sets of a list's vertex copy beyond the mesh's own:
// the two toon ramp coordinates (sets 1 and 2).
int ModelFixedUvSets(const ModelBaseMesh* mesh);
int ModelFixedStride(const ModelBaseMesh* mesh);
uint32_t ModelFixedFvf(const ModelBaseMesh* mesh);

// 1 when the copy exists (made now or before), 0 when memory is short.
int AllocTriangleListVertexCopy(ModelBaseTriangleList* list);
int AllocTriangleListOutlineCopy(ModelBaseTriangleList* list);

// Needs BeginModelDrawState for the mesh's instance and fresh matrices and
// drawn values.
void DrawModelMesh(ModelMesh* mesh);
// Cleared by BeginModelDrawState: the identity world transform must be sent
// again before the next skinned list.
void ForgetModelWorldIdentity();
// Frees the lighting's scratch memory (at model system shut-down).
void FreeModelMeshDrawWork();

}  // namespace morpotta
