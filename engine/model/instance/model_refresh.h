// Bringing an instance up to date before it is drawn: the model matrix,
// frame world matrices and skin matrices, and the drawn colour, opacity
// and visibility of frames and meshes.
#pragma once
#include "model/base/model_records.h"

namespace morpotta {

// Nothing while matricesValid is 1; else rebuilds every frame from the
// model matrix down and clears the matrix bits.
void RefreshModelMatrices(ModelInstance* instance);
void BuildModelMatrix(const ModelInstance* instance, Matrix34* out);

// Nothing while no draw bit is set; else combines the own values of every
// frame and mesh with their parents', clears the bits and the meshes'
// translucency decisions.
void RefreshDrawnValues(ModelInstance* instance);
// The combination rules: colour scales multiply where both are scaled,
// opacity multiplies, visibility needs both.
void CombineDrawnValues(const ModelDrawnValues* parent, uint8_t visible, uint8_t colourScaled,
                        const float colourScales[16], float opacity, ModelDrawnValues* out);
// The instance's own values as the parent of its top frames.
void InstanceDrawnValues(const ModelInstance* instance, ModelDrawnValues* out);

}  // namespace morpotta
