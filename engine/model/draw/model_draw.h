// The model draw entry: brings an instance up to date, culls its frames
// against the view and draws its opaque meshes, then its translucent ones,
// in frame and mesh order.
#pragma once
#include "engine/model.h"
#include "model/base/model_records.h"

int DrawModel(int modelHandle);
// The mesh's translucent byte (decided once until drawStateBuilt is
// cleared), or -1.
int IsModelMeshTranslucent(int modelHandle, int meshIndex);

namespace morpotta {

int DrawModelInstance(ModelInstance* instance);
int DecideMeshTranslucent(ModelMesh* mesh);
// 1 when all eight corners of the frame's box lie beyond one side of the view.
int IsModelFrameOutsideView(const ModelFrame* frame);
// Frees the draw work buffer (model system end).
void FreeModelDrawWork();

}  // namespace morpotta
