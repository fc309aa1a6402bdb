// Texture-stage tables of model drawing without shaders: texture x diffuse,
// then the toon ramps (type 1 with a second, specular ramp), the opacity
// factor and a disabling stage.
#include "model/draw/model_draw_stages.h"

#include <algorithm>

namespace morpotta {

namespace {

constexpr uint16_t TEX = DEVICE_TA_TEXTURE, CUR = DEVICE_TA_CURRENT, DIF = DEVICE_TA_DIFFUSE,
                   SPE = DEVICE_TA_SPECULAR, TMP = DEVICE_TA_TEMP, FAC = DEVICE_TA_TFACTOR;

DeviceDrawStage Stage(int graph, int coords, uint16_t a1, uint16_t a2, uint16_t aop, uint16_t c1, uint16_t c2,
                      uint16_t cop) {
    return DeviceDrawStage{graph, coords, 0, a1, a2, aop, c1, c2, cop};
}

DeviceDrawStage Untextured(uint16_t a1, uint16_t a2, uint16_t aop, uint16_t c1, uint16_t c2, uint16_t cop) {
    return Stage(-1, 0, a1, a2, aop, c1, c2, cop);
}

void AppendFactorAndEnd(DeviceDrawStateBlock* block, int* n, int blendMode) {
    if (block->factorColor != 0xFFFFFFFFu) {
        if (blendMode == 11)
            block->stages[(*n)++] = Untextured(CUR, CUR, DEVICE_TOP_SELECTARG1, CUR, FAC, DEVICE_TOP_BLENDFACTORALPHA);
        else
            block->stages[(*n)++] = Untextured(CUR, FAC, DEVICE_TOP_MODULATE, CUR, CUR, DEVICE_TOP_SELECTARG1);
    }
    block->stages[(*n)++] = Untextured(CUR, CUR, DEVICE_TOP_DISABLE, CUR, CUR, DEVICE_TOP_DISABLE);
    block->stageCount = *n;
}

}  // namespace

uint32_t ComputeBlendFactorColor(float opacity, int blendParameter) {
    float o = opacity > 0.0f ? std::min(opacity, 1.0f) : 0.0f;
    int p = std::clamp(blendParameter, 0, 255);
    return uint32_t(int(o * float(p))) << 24 | 0x00FFFFFFu;
}

void FillDrawBlendHead(DeviceDrawStateBlock* block, int blendMode, int blendParameter, float opacity,
                       int stageCount) {
    block->head = 0;
    block->factorColor = ComputeBlendFactorColor(opacity, blendParameter);
    block->stageCount = stageCount;
    switch (blendMode) {
    case 1:
    case 10:
        block->blendEnable = 1;
        block->sourceBlend = DEVICE_BLEND_SRCALPHA;
        block->destinationBlend = DEVICE_BLEND_INVSRCALPHA;
        block->blendOp = DEVICE_BLENDOP_ADD;
        break;
    case 2:
        block->blendEnable = 1;
        block->sourceBlend = DEVICE_BLEND_SRCALPHA;
        block->destinationBlend = DEVICE_BLEND_ONE;
        block->blendOp = DEVICE_BLENDOP_ADD;
        break;
    case 4:
    case 11:
        block->blendEnable = 1;
        block->sourceBlend = DEVICE_BLEND_ZERO;
        block->destinationBlend = DEVICE_BLEND_SRCCOLOR;
        block->blendOp = DEVICE_BLENDOP_ADD;
        break;
    default:
        block->blendEnable = 0;
        break;
    }
}

int FillFixedMeshStages(DeviceDrawStateBlock* block, const ModelFixedStageInputs* in) {
    int n = 0;
    block->stages[n++] = Stage(in->diffuseGraph, 0, TEX, DIF, DEVICE_TOP_MODULATE, TEX, DIF, DEVICE_TOP_MODULATE);
    if (in->drawType == 1 || in->drawType == 2) {
        uint16_t op = in->toonMode == 2 ? DEVICE_TOP_MODULATE : DEVICE_TOP_BLENDTEXTUREALPHA;
        DeviceDrawStage toon = Stage(in->toonGraph, 1, CUR, CUR, DEVICE_TOP_SELECTARG1, TEX, CUR, op);
        bool useTemp = in->drawType == 1 && in->hasTempRegister;
        if (useTemp) toon.resultToTemp = 1;
        block->stages[n++] = toon;
        if (in->drawType == 2) {
            DeviceDrawStage add = Untextured(CUR, CUR, DEVICE_TOP_SELECTARG1, SPE, CUR, DEVICE_TOP_ADD);
            add.texCoordIndex = -1;
            block->stages[n++] = add;
        } else if (!useTemp) {
            uint16_t op2 = in->secondToonMode == 1 ? DEVICE_TOP_ADD : DEVICE_TOP_BLENDTEXTUREALPHA;
            block->stages[n++] = Stage(in->secondToonGraph, 2, CUR, CUR, DEVICE_TOP_SELECTARG1, TEX, CUR, op2);
        } else {
            block->stages[n++] =
                Stage(in->secondToonGraph, 2, CUR, CUR, DEVICE_TOP_SELECTARG1, TEX, SPE, DEVICE_TOP_MODULATE);
            if (in->secondToonMode == 1)
                block->stages[n++] = Untextured(TMP, TMP, DEVICE_TOP_SELECTARG1, TMP, CUR, DEVICE_TOP_ADD);
            else
                block->stages[n++] =
                    Untextured(TMP, TMP, DEVICE_TOP_SELECTARG1, CUR, TMP, DEVICE_TOP_BLENDCURRENTALPHA);
        }
    }
    AppendFactorAndEnd(block, &n, in->blendMode);
    return n;
}

int FillFixedOutlineStages(DeviceDrawStateBlock* block, int whiteGraph, int blendMode) {
    int n = 0;
    block->stages[n++] = Stage(whiteGraph, 0, TEX, DIF, DEVICE_TOP_MODULATE, TEX, DIF, DEVICE_TOP_MODULATE);
    AppendFactorAndEnd(block, &n, blendMode);
    return n;
}

}  // namespace morpotta
