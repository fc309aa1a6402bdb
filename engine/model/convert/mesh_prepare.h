// Bringing a read mesh into the uniform shape the conversion needs: every
// face a triangle, coinciding positions merged, normals generated with the
// frame's smoothing angle. Each returns false (logged) when memory is short.
#pragma once
#include "model/read/read_model.h"

namespace morpotta {

bool TriangulateReadModelMesh(ReadModel* model, ReadModelMesh* mesh);
bool MergeReadModelMeshVertices(ReadModelMesh* mesh);
bool GenerateReadModelMeshNormals(ReadModel* model, ReadModelMesh* mesh);

}  // namespace morpotta
