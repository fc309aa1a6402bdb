// Lazy refresh of frame matrices and drawn values. Model API setters only
// leave dirty bits and clear matricesValid; this work is done once per
// change, when the model is next drawn. Block-like models have few
// frames, so a change refreshes the whole instance rather than tracking
// subtrees.
#include "model/instance/model_refresh.h"

#include <cstring>

namespace {

bool AnyBitSet(const uint32_t* bits, uint32_t bytes) {
    if (!bits) return false;
    for (uint32_t i = 0; i < bytes / 4; ++i)
        if (bits[i]) return true;
    return false;
}

void ClearBits(uint32_t* bits, uint32_t bytes) {
    if (bits) std::memset(bits, 0, bytes / 4 * 4);
}

void UpdateFrameSkinMatrices(ModelInstance* in, const ModelFrame& frame) {
    const ModelBaseFrame* bf = frame.baseFrame;
    if (!in->skinMatrices || !bf->firstOwnSkinBone) return;
    for (int k = 0; k < bf->ownSkinBoneCount; ++k) {
        const ModelBaseSkinBone& bone = bf->firstOwnSkinBone[k];
        Matrix34& out = in->skinMatrices[&bone - in->base->skinBones];
        Matrix34 offset;
        ConvertMatrix44To34(&offset, &bone.offset);
        if (bone.translationOnly)
            MultiplyMatrix34ByTranslation(&frame.worldMatrix, &offset, &out);
        else
            MultiplyMatrix34(&frame.worldMatrix, &out, &offset);
    }
}

void RefreshFrameMatrix(ModelInstance* in, ModelFrame* frame) {
    const Matrix34& parent = frame->parent ? frame->parent->worldMatrix : in->modelMatrix;
    const ModelBaseFrame* bf = frame->baseFrame;
    if (frame->localMatrixSet) {
        Matrix34 local;
        ConvertMatrix44To34(&local, &frame->localMatrix);
        MultiplyMatrix34(&parent, &frame->worldMatrix, &local);
    }
    else if (bf->matrixKind == 0)
        frame->worldMatrix = parent;
    else if (bf->matrixKind == 1)
        MultiplyMatrix34ByTranslation(&parent, &bf->localMatrix, &frame->worldMatrix);
    else
        MultiplyMatrix34(&parent, &frame->worldMatrix, &bf->localMatrix);
    frame->worldMatrix4x4Valid = 0;
    UpdateFrameSkinMatrices(in, *frame);
    for (ModelFrame* child = frame->firstChild; child; child = child->nextSibling) RefreshFrameMatrix(in, child);
}

void RefreshFrameDrawn(ModelFrame* frame, const ModelDrawnValues* parent) {
    CombineDrawnValues(parent, frame->visible, frame->colourScaled, frame->colourScales, frame->opacity,
                       &frame->drawn);
    for (int i = 0; i < frame->baseFrame->meshCount; ++i) {
        ModelMesh& mesh = frame->firstMesh[i];
        CombineDrawnValues(&frame->drawn, mesh.visible, mesh.colourScaled, mesh.colourScales, mesh.opacity,
                           &mesh.drawn);
        mesh.drawStateBuilt = 0;
    }
    for (ModelFrame* child = frame->firstChild; child; child = child->nextSibling) RefreshFrameDrawn(child, &frame->drawn);
}

}  // namespace

void BuildModelMatrix(const ModelInstance* in, Matrix34* out) {
    if (in->userMatrixSet) {
        *out = in->userMatrix;
        return;
    }
    Matrix34 r;
    if (in->rotationByMatrix == 2)
        r = in->rotationMatrix;
    else
        BuildRotation34XYZ(&r, in->rotation.x, in->rotation.y, in->rotation.z);
    const float s[3] = {in->scale.x, in->scale.y, in->scale.z};
    // Row vectors: scale, then rotation, then translation.
    for (int row = 0; row < 3; ++row)
        for (int c = 0; c < 3; ++c) out->m[row * 4 + c] = r.m[row * 4 + c] * s[c];
    out->m[3] = in->translation.x;
    out->m[7] = in->translation.y;
    out->m[11] = in->translation.z;
}

void RefreshModelMatrices(ModelInstance* in) {
    if (in->matricesValid) return;
    BuildModelMatrix(in, &in->modelMatrix);
    for (int i = 0; i < in->base->frameCount; ++i)
        if (!in->frames[i].parent) RefreshFrameMatrix(in, &in->frames[i]);
    ClearBits(in->matrixDirtyBits, in->matrixDirtyBytes);
    in->matricesValid = 1;
}

void CombineDrawnValues(const ModelDrawnValues* parent, uint8_t visible, uint8_t colourScaled,
                        const float colourScales[16], float opacity, ModelDrawnValues* out) {
    if (colourScaled && parent->colourScaled) {
        for (int i = 0; i < 16; ++i) out->colourScales[i] = colourScales[i] * parent->colourScales[i];
    } else if (parent->colourScaled) {
        std::memcpy(out->colourScales, parent->colourScales, sizeof(out->colourScales));
    } else {
        std::memcpy(out->colourScales, colourScales, sizeof(out->colourScales));
    }
    out->colourScaled = colourScaled || parent->colourScaled;
    out->opacity = opacity * parent->opacity;
    out->visible = visible && parent->visible;
}

void InstanceDrawnValues(const ModelInstance* in, ModelDrawnValues* out) {
    out->visible = in->visible;
    out->colourScaled = in->colourScaled;
    std::memcpy(out->colourScales, in->colourScales, sizeof(out->colourScales));
    out->opacity = in->opacity;
}

void RefreshDrawnValues(ModelInstance* in) {
    if (!AnyBitSet(in->drawDirtyBits, in->drawDirtyBytes)) return;
    ModelDrawnValues top;
    InstanceDrawnValues(in, &top);
    for (int i = 0; i < in->base->frameCount; ++i)
        if (!in->frames[i].parent) RefreshFrameDrawn(&in->frames[i], &top);
    ClearBits(in->drawDirtyBits, in->drawDirtyBytes);
}
