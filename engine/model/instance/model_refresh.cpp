// Lazy refresh of frame matrices and drawn values. Model API setters only
// leave dirty bits and clear matricesValid; this work is done once per
// change, when the model is next drawn. Block-like models have few
// frames, so a change refreshes the whole instance rather than tracking
// subtrees. A frame's local transform is, in this order: the one the user
// set; the blend of the attached animations that move it; its base local
// transform.
#include "model/instance/model_refresh.h"

#include <cmath>
#include <cstring>

#include "model/anim/anim_eval.h"
#include "model/instance/model_animation.h"

namespace morpotta {

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

// A slot's local matrix for a frame: the evaluated whole matrix, or the
// one its key values build.
void SlotLocalMatrix(const ModelFrameSlot& slot, Matrix34* out) { BuildFrameLocalMatrix(slot.record, out); }

// Each axis (a column of the 3x4) scaled to unit length; a vanished axis
// is left as it is.
void NormaliseAxes(Matrix34* m) {
    for (int axis = 0; axis < 3; ++axis) {
        float* a = m->m + axis;
        float length = std::sqrt(a[0] * a[0] + a[4] * a[4] + a[8] * a[8]);
        if (!(length > 0.0f)) continue;
        a[0] /= length;
        a[4] /= length;
        a[8] /= length;
    }
}

// Several slots: the base local matrix moved towards each slot's matrix by
// the slot's rate.
void BlendSlots(const ModelInstance* in, const ModelFrame& frame, Matrix34* out) {
    const Matrix34& rest = frame.baseFrame->localMatrix;
    *out = rest;
    const ModelFrameSlot* slots = &in->frameSlots[size_t(frame.baseFrame->index) * size_t(in->animSlotCount)];
    for (int s = 0; s < in->animSlotCount; ++s) {
        if (!slots[s].active || slots[s].rate == 0.0f) continue;
        Matrix34 local;
        SlotLocalMatrix(slots[s], &local);
        for (int i = 0; i < 12; ++i) {
            float change = local.m[i] - rest.m[i];
            out->m[i] += slots[s].rate == 1.0f ? change : slots[s].rate * change;
        }
    }
    NormaliseAxes(out);
}

// The frame at rest: its base local transform, by its kind.
void RestWorld(const ModelBaseFrame* bf, const Matrix34& parent, Matrix34* world) {
    if (bf->matrixKind == 0)
        *world = parent;
    else if (bf->matrixKind == 1)
        MultiplyMatrix34ByTranslation(&parent, &bf->localMatrix, world);
    else
        MultiplyMatrix34(&parent, world, &bf->localMatrix);
}

void RefreshFrameMatrix(ModelInstance* in, ModelFrame* frame) {
    const ModelBaseFrame* bf = frame->baseFrame;
    if (!frame->physicsDriven) {
        const bool underParent = frame->parent && !bf->ignoreParent;
        const Matrix34& parent = underParent ? frame->parent->worldMatrix : in->modelMatrix;
        int active = 0;
        const ModelFrameSlot* single = nullptr;
        for (int s = 0; !frame->localMatrixSet && s < in->animSlotCount; ++s) {
            const ModelFrameSlot& slot = in->frameSlots[size_t(bf->index) * size_t(in->animSlotCount) + size_t(s)];
            if (!slot.active || slot.rate == 0.0f) continue;
            ++active;
            single = &slot;
        }
        Matrix34 local;
        if (frame->localMatrixSet) {
            ConvertMatrix44To34(&local, &frame->localMatrix);
            MultiplyMatrix34(&parent, &frame->worldMatrix, &local);
        } else if (active == 0) {
            RestWorld(bf, parent, &frame->worldMatrix);
        } else {
            if (active == 1)
                SlotLocalMatrix(*single, &local);
            else
                BlendSlots(in, *frame, &local);
            MultiplyMatrix34(&parent, &frame->worldMatrix, &local);
        }
        frame->worldMatrix4x4Valid = 0;
    }
    // A physics-driven frame keeps the world matrix its body wrote; its
    // skin matrices follow that matrix all the same.
    if (in->skinMatrices) UpdateFrameSkinMatrices(bf, &frame->worldMatrix, in->base, in->skinMatrices);
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

namespace {

// Mode 3: rows (for row vectors) x = up x direction, up, direction, turned
// first about z by the roll.
void BuildAxesRotation(const float* v, Matrix34* out) {
    const Vector3 direction{v[0], v[1], v[2]}, up{v[3], v[4], v[5]};
    Vector3 x;
    CrossVectorsInto(&x, &up, &direction);
    const Matrix44 axes = {{{x.x, x.y, x.z, 0}, {up.x, up.y, up.z, 0}, {direction.x, direction.y, direction.z, 0},
                            {0, 0, 0, 1}}};
    Matrix44 r = MakeProductMatrix(MakeZRotationMatrix(v[6]), axes);
    ConvertMatrix44To34(out, &r);
}

void BuildModelRotation(const ModelInstance* in, Matrix34* r) {
    switch (in->rotationByMatrix) {
    case 1: BuildRotation34FromQuaternionProduct(r, in->rotationValues); return;
    case 2: *r = in->rotationMatrix; return;
    case 3: BuildAxesRotation(in->rotationValues, r); return;
    default: {
        Matrix44 euler;  // exact, not through the sine table
        BuildEulerXYZMatrix(&euler, in->rotation.x, in->rotation.y, in->rotation.z);
        ConvertMatrix44To34(r, &euler);
        return;
    }
    }
}

}  // namespace

void BuildModelMatrix(const ModelInstance* in, Matrix34* out) {
    if (in->userMatrixSet) {
        *out = in->userMatrix;
        return;
    }
    Matrix34 r;
    BuildModelRotation(in, &r);
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
    if (!in->motionValid) ApplyModelAnimations(in);
    BuildModelMatrix(in, &in->modelMatrix);
    // Base order puts every parent before its children.
    for (int i = 0; i < in->base->frameCount; ++i) RefreshFrameMatrix(in, &in->frames[i]);
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

}  // namespace morpotta
