// The physics of a model instance: a world of its own built from the base
// data's rigid bodies and joints when the instance is set up, released
// with the instance.
#pragma once
#include "model/base/model_records.h"

namespace morpotta {

// 0. Called by instance set-up when the base data has rigid bodies.
int SetupModelPhysics(ModelInstance* instance);
// 0. Called by instance release when the base data has rigid bodies.
int ReleaseModelPhysics(ModelInstance* instance);

}  // namespace morpotta
