// The VMD motion reader's entry for model readers: one motion file read
// into a read model as one animation set. With the bones of a PMD model
// (and its physics record) the reader also bakes IK and physics into the
// keys.
#pragma once
#include <cstddef>

#include "model/read/pmd_bones.h"

namespace morpotta {

struct ReadModel;

// 0, or -1 (logged); what was added to the model stays and is freed with
// it. skeleton and physics may be null; halfFrame keeps keys at every half
// frame of the bake.
int LoadVmdMotion(const void* data, size_t size, int motionNumber, ReadModel* model, const char* setName,
                  PmdSkeleton* skeleton, PmdPhysicsBake* physics, int halfFrame);

}  // namespace morpotta
