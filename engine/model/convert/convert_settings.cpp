// Load-time switches of the model system.
#include "model/convert/convert.h"
#include "platform/lasting_state.h"

#include <atomic>
#include <bit>
#include <cstdint>

namespace morpotta {

namespace {

// Set on the engine's thread, read by loads on any thread. The gravity
// and whether it is set share a word, so a load never sees half of one
// change.
struct LoadSettingsModule {
    std::atomic<int> vertexOptimize{0};
    std::atomic<int> normalRecalc{0};
    std::atomic<uint64_t> gravity{0};  // bit 32: set; low 32 bits: the value's bits
    std::atomic<int> physicsMode{0};
    void (*stageHook)(int) = nullptr;
};

constexpr uint64_t kGravitySetBit = uint64_t(1) << 32;
constexpr float kDefaultGravity = -122.5f;

LoadSettingsModule& LoadSettingsState() {
    return platform::LastingState<LoadSettingsModule>();
}

// The settings a load on this thread took as it began, or null outside one.
thread_local const ModelLoadSettings* taken = nullptr;

ModelLoadSettings Current() {
    if (taken) return *taken;
    const LoadSettingsModule& m = LoadSettingsState();
    return {m.vertexOptimize, m.normalRecalc, m.gravity, m.physicsMode};
}

}  // namespace

ModelLoadSettingsScope::ModelLoadSettingsScope() : own_(Current()), saved_(taken) { taken = &own_; }
ModelLoadSettingsScope::~ModelLoadSettingsScope() { taken = saved_; }

void SetModelLoadVertexOptimize(int flag) { LoadSettingsState().vertexOptimize = flag ? 1 : 0; }
void SetModelLoadNormalRecalc(int flag) { LoadSettingsState().normalRecalc = flag ? 1 : 0; }
void SetModelLoadGravity(int isSet, float gravity) {
    LoadSettingsState().gravity = (isSet ? kGravitySetBit : 0) | std::bit_cast<uint32_t>(gravity);
}
// Modes other than 0, 1 and 2 keep the default.
void SetModelLoadPhysicsMode(int mode) { LoadSettingsState().physicsMode = mode >= 0 && mode <= 2 ? mode : 0; }
int GetModelLoadPhysicsMode() { return Current().physicsMode; }
int GetModelLoadVertexOptimize() { return Current().vertexOptimize; }
int GetModelLoadNormalRecalc() { return Current().normalRecalc; }
float GetModelLoadGravity() {
    const uint64_t word = Current().gravity;
    return word & kGravitySetBit ? std::bit_cast<float>(uint32_t(word)) : kDefaultGravity;
}

void SetModelConvertStageHook(void (*hook)(int stage)) { LoadSettingsState().stageHook = hook; }
void EndModelConvertStage(int stage) {
    if (LoadSettingsState().stageHook) LoadSettingsState().stageHook(stage);
}

}  // namespace morpotta
