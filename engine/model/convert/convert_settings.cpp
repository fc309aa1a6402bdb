// Load-time switches of the model system.
#include "model/convert/convert.h"

namespace {

struct LoadSettingsModule {
    int vertexOptimize = 0;
    int normalRecalc = 0;
    int gravitySet = 0;
    float gravity = 0.0f;
    int physicsMode = 0;
    void (*stageHook)(int) = nullptr;
};

LoadSettingsModule& State() {
    static LoadSettingsModule state;
    return state;
}

}  // namespace

void SetModelLoadVertexOptimize(int flag) { State().vertexOptimize = flag ? 1 : 0; }
void SetModelLoadNormalRecalc(int flag) { State().normalRecalc = flag ? 1 : 0; }
void SetModelLoadGravity(int isSet, float gravity) {
    State().gravitySet = isSet ? 1 : 0;
    State().gravity = gravity;
}
// Modes other than 0, 1 and 2 keep the default.
void SetModelLoadPhysicsMode(int mode) { State().physicsMode = mode >= 0 && mode <= 2 ? mode : 0; }
int GetModelLoadPhysicsMode() { return State().physicsMode; }
int GetModelLoadVertexOptimize() { return State().vertexOptimize; }
int GetModelLoadNormalRecalc() { return State().normalRecalc; }
float GetModelLoadGravity() { return State().gravitySet ? State().gravity : -122.5f; }

void SetModelConvertStageHook(void (*hook)(int stage)) { State().stageHook = hook; }
void EndModelConvertStage(int stage) {
    if (State().stageHook) State().stageHook(stage);
}
