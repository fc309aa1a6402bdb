// Load-time switches of the model system.
#include "model/convert/convert.h"

namespace {

int g_vertexOptimize = 0;
int g_normalRecalc = 0;
int g_gravitySet = 0;
float g_gravity = 0.0f;
int g_physicsMode = 0;

}  // namespace

void SetModelLoadVertexOptimize(int flag) { g_vertexOptimize = flag ? 1 : 0; }
void SetModelLoadNormalRecalc(int flag) { g_normalRecalc = flag ? 1 : 0; }
void SetModelLoadGravity(int isSet, float gravity) {
    g_gravitySet = isSet ? 1 : 0;
    g_gravity = gravity;
}
// Modes other than 0, 1 and 2 keep the default.
void SetModelLoadPhysicsMode(int mode) { g_physicsMode = mode >= 0 && mode <= 2 ? mode : 0; }
int GetModelLoadPhysicsMode() { return g_physicsMode; }
int GetModelLoadVertexOptimize() { return g_vertexOptimize; }
int GetModelLoadNormalRecalc() { return g_normalRecalc; }
float GetModelLoadGravity() { return g_gravitySet ? g_gravity : -122.5f; }
