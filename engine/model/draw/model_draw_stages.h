// The blend head and texture stages of a mesh or outline draw on the
// fixed-function road, filled into the device layer's draw-state block.
#pragma once
#include <cstdint>

#include "graphics/device/devicestate.h"

namespace morpotta {

// truncate(opacity x parameter) << 24 | 0x00FFFFFF; opacity is clamped to
// 0..1 and the parameter to 0..255 so the alpha byte cannot wrap.
uint32_t ComputeBlendFactorColor(float opacity, int blendParameter);

// Head of the block: first word 0, factor colour, and the blend fields by
// mode (1, 10 alpha; 2 additive; 4, 11 multiplicative; any other mode
// switches blending off and leaves the factors as they were).
void FillDrawBlendHead(DeviceDrawStateBlock* block, int blendMode, int blendParameter, float opacity,
                       int stageCount);

struct ModelFixedStageInputs {
    int drawType;        // 0, 1, 2
    int toonMode;        // 0 or 2
    int secondToonMode;  // 0 or 1
    int blendMode;
    int diffuseGraph;    // the first texture, or the white graph
    int toonGraph;
    int secondToonGraph;
    int hasTempRegister;
};

// Fills the stages after the head; returns the stage count (the disabling
// stage included), also stored in the block.
int FillFixedMeshStages(DeviceDrawStateBlock* block, const ModelFixedStageInputs* in);
// The outline: white texture x diffuse, the opacity stage when needed, a
// disabling stage.
int FillFixedOutlineStages(DeviceDrawStateBlock* block, int whiteGraph, int blendMode);

}  // namespace morpotta
