// Building and releasing model instances, and the marks a change leaves
// for drawing.
#pragma once
#include "model/base/model_records.h"

namespace morpotta {

// Builds the instance of a reserved model handle from base data: 0, or -1
// when the base handle names no record, the slot is not reserved or memory
// is short (the slot then stays reserved).
int SetupModelInstance(int reservedHandle, int baseHandle);
// The draw settings an instance material takes from its base material.
void CopyMaterialDrawSettings(const ModelBaseMaterial& base, ModelMaterial* out);

// DetachModelAnimation on the record: 0, or -1 for no record or a bad slot.
int DetachInstanceAnimation(ModelInstance* instance, int animationSlot);
// Undoes SetupModelInstance for an instance already out of its table and
// drops its reference of its base data.
void ReleaseInstanceRecord(void* instance);

int SetModelBaseMaterialType(int baseHandle, int materialIndex, int type);
int GetModelBaseMaterialType(int baseHandle, int materialIndex);

// Sets a bit of an instance bit set unless it is set already.
void MarkDirtyBits(uint32_t* bits, const ModelBitPosition* position);
// Clears drawStateValid on the frame and every ancestor.
void InvalidateFrameDrawStates(ModelFrame* frame);

}  // namespace morpotta
