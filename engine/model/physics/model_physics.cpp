// The model side of instance physics. No rigid-body library stands behind
// it yet: an instance's bodies keep their base records and bone frames
// (set up with the instance), no world is built and no frame is driven by
// a body, so every frame follows its animation.
#include "model/physics/model_physics.h"

int SetupModelPhysics(ModelInstance*) { return 0; }

int ReleaseModelPhysics(ModelInstance*) { return 0; }
