// Skin-bone merging and sorting of finished base data.
#pragma once
#include "model/base/model_records.h"

namespace morpotta {

// Merges skin bones with the same bone frame and offset, sorts them by
// bone frame and re-points every frame's bone references. false (logged)
// when its buffer cannot be allocated.
bool OptimizeModelBaseSkinBones(ModelBase* base);
// Every user of every skin bone finds the bone at its place in its
// frame's bone references.
bool SkinBoneUsersConsistent(const ModelBase* base);

}  // namespace morpotta
