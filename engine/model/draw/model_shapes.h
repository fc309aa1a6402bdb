// Shapes (morph targets) of model instances: the weighted position and
// normal offsets written into the instance's own vertex copies, and the
// instance's own device vertex buffers that carry them.
#pragma once
#include "model/base/model_records.h"

namespace morpotta {

// While the instance's shapesDirty is set: every shaped mesh of a frame
// whose weights changed is rebuilt from its base vertices plus weight x
// offset of each shape weighing at least 1e-7, written into the instance's
// vertex copies and uploaded. 0, or -1 for a bad handle.
int ApplyModelShapes(int modelHandle);
int ApplyInstanceShapes(ModelInstance* instance);

// A dynamic vertex buffer for every triangle list of a shaped mesh that has
// a device block and no buffer yet; then every shape is to be re-applied.
// Nothing without a device. 0, or -1 for a bad handle or a buffer that
// cannot be made.
int CreateModelInstanceShapeBuffers(int modelHandle);
int CreateInstanceShapeBuffers(ModelInstance* instance);
int ReleaseModelInstanceShapeBuffers(int modelHandle);
void ReleaseInstanceShapeBuffers(ModelInstance* instance);

}  // namespace morpotta
