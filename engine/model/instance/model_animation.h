// Animations attached to a model instance: each attached animation set
// takes a slot with an evaluation record per animated frame; its time and
// blend rate only leave marks, and the matrix refresh evaluates the keys
// and blends the slots into the frames' local matrices.
#pragma once
#include "model/base/model_records.h"

namespace morpotta {

// Attaches the base's animation set setIndex at time 0 with blend rate 1:
// the slot index, or -1 for a bad index or short memory (nothing changed).
int AttachModelAnimation(ModelInstance* instance, int setIndex);
// 0, or -1 for a slot that is not in use.
int SetModelAnimationTime(ModelInstance* instance, int slot, float time);
int SetModelAnimationBlendRate(ModelInstance* instance, int slot, float rate);

// Evaluates every slot in use whose keys are not evaluated for its time;
// then motionValid is 1.
void ApplyModelAnimations(ModelInstance* instance);

}  // namespace morpotta
