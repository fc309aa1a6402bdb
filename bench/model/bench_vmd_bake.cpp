// The motion bake of a 100-bone PMD model with 4 IK chains and 30 rigid
// bodies (10 following spine bones, 20 simulated on skirt chains, each on a
// joint) over a 5,400-frame motion: time per baked frame with IK alone,
// with IK and physics, and the physics library stepping the same world the
// same number of times alone.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>

#include "engine/log.h"
#include "engine/model.h"
#include "fake_graphics.h"
#include "model/base/model_texture.h"
#include "model/instance/model_system.h"
#include "model/physics/physics_bridge.h"
#include "model/read/pmd_reader.h"
#include "model/read/vmd_motion.h"
#include "pmd_samples.h"
#include "vmd_writer.h"

using namespace morpotta;

namespace {

constexpr uint32_t kFrames = 5400;
constexpr int kSpine = 23, kSkirtChains = 6, kSkirtLength = 10;

struct Rig {
    PmdDocument model;
    std::vector<std::string> ikTargets;
    std::vector<std::string> spine;
};

std::string Numbered(const char* stem, int i) { return stem + std::to_string(i); }

Rig BenchRig() {
    Rig rig;
    PmdDocument& d = rig.model;
    d.bones.push_back(PmdBoneAt("センター", 0xFFFF, 0, 10, 0));
    // Two legs and two arms: base, bend (a knee on the legs), end, IK target.
    const char* bends[] = {"左ひざ", "右ひざ", "左ひじ", "右ひじ"};
    for (int limb = 0; limb < 4; ++limb) {
        const float side = limb % 2 ? -1.0f : 1.0f, top = limb < 2 ? 9.0f : 14.0f, dir = limb < 2 ? -4.0f : 0.0f;
        const float out = limb < 2 ? 0.0f : 3.0f;
        const uint16_t base = uint16_t(d.bones.size());
        d.bones.push_back(PmdBoneAt(Numbered("limb", limb).c_str(), 0, side, top, 0));
        d.bones.push_back(PmdBoneAt(bends[limb], base, side * (1 + out), top + dir, 0));
        d.bones.push_back(PmdBoneAt(Numbered("end", limb).c_str(), uint16_t(base + 1), side * (1 + 2 * out), top + 2 * dir, 0));
        rig.ikTargets.push_back(Numbered("target", limb));
        d.bones.push_back(PmdBoneAt(rig.ikTargets.back().c_str(), 0, side * (1 + 2 * out), top + 2 * dir, 0));
        PmdIkSpec ik;
        ik.target = uint16_t(base + 3), ik.effector = uint16_t(base + 2), ik.iterations = 40, ik.limit = 0.5f;
        ik.links = {uint16_t(base + 1), base};
        d.iks.push_back(ik);
    }
    const uint16_t spineFirst = uint16_t(d.bones.size());
    for (int i = 0; i < kSpine; ++i) {
        rig.spine.push_back(Numbered("spine", i));
        d.bones.push_back(PmdBoneAt(rig.spine.back().c_str(), i ? uint16_t(spineFirst + i - 1) : 0, 0, 10 + 0.4f * float(i), 0));
    }
    std::vector<uint16_t> skirt;
    for (int c = 0; c < kSkirtChains; ++c) {
        const float angle = 6.2831853f * float(c) / kSkirtChains;
        for (int i = 0; i < kSkirtLength; ++i) {
            skirt.push_back(uint16_t(d.bones.size()));
            d.bones.push_back(PmdBoneAt(Numbered("skirt", c * kSkirtLength + i).c_str(),
                                        i ? uint16_t(d.bones.size() - 1) : 0, 1.5f * std::cos(angle),
                                        9.5f - 0.4f * float(i), 1.5f * std::sin(angle)));
        }
    }
    d.vertices = {PmdVertex(0, 10, 0, 0, 0, 100), PmdVertex(0, 11, 0, 1, 1, 100), PmdVertex(1, 10, 0, 2, 2, 100)};
    d.indices = {0, 1, 2};
    PmdMaterialSpec m;
    m.indexCount = 3;
    d.materials = {m};
    d.physics = true;
    for (int i = 0; i < 10; ++i) {
        PmdBodySpec b;
        b.name = Numbered("torso", i), b.bone = uint16_t(spineFirst + i), b.shape = 2, b.size[0] = 1, b.size[1] = 0.4f;
        d.bodies.push_back(b);
    }
    // Four bodies down each of five skirt chains, the first on a joint to
    // the lowest torso body, the others to the body above.
    for (int c = 0; c < 5; ++c)
        for (int i = 0; i < 4; ++i) {
            PmdBodySpec b;
            b.name = Numbered("cloth", c * 4 + i), b.bone = skirt[size_t(c * kSkirtLength + i)];
            b.group = 1, b.mask = 0xFFFC, b.shape = 1, b.size[0] = b.size[1] = b.size[2] = 0.15f;
            b.position[1] = -0.2f, b.mass = 0.5f, b.type = 1;
            d.bodies.push_back(b);
            PmdJointSpec j;
            j.bodyA = uint32_t(i ? d.bodies.size() - 2 : 0), j.bodyB = uint32_t(d.bodies.size() - 1);
            const PmdBoneSpec& bone = d.bones[b.bone];
            j.values[0] = bone.head[0], j.values[1] = bone.head[1], j.values[2] = bone.head[2];
            for (int a = 0; a < 3; ++a) j.values[12 + a] = -0.5f, j.values[15 + a] = 0.5f, j.values[21 + a] = 20;
            d.joints.push_back(j);
        }
    return rig;
}

std::string BenchMotion(const Rig& rig) {
    VmdDocument m;
    for (uint32_t f = 0; f <= kFrames; f += 30)
        m.bones.push_back(VmdBoneKey("センター", f, 0.5f * float((f / 30) % 3), 0, 0));
    for (size_t t = 0; t < rig.ikTargets.size(); ++t)
        for (uint32_t f = 0; f <= kFrames; f += 15)
            m.bones.push_back(VmdBoneKey(rig.ikTargets[t].c_str(), f, 0, float((f / 15 + t) % 2), 0.5f));
    for (const std::string& bone : rig.spine)
        for (uint32_t f = 0; f <= kFrames; f += 60) {
            const float turn[4] = {0, std::sin(0.05f * float((f / 60) % 4)), 0, std::cos(0.05f * float((f / 60) % 4))};
            m.bones.push_back(VmdBoneKey(bone.c_str(), f, 0, 0, 0, turn));
        }
    return WriteVmd(m);
}

struct Inputs {
    std::string model, motion;
};

const Inputs& BenchInputs() {
    static Inputs inputs;
    if (inputs.model.empty()) {
        Rig rig = BenchRig();
        inputs.model = WritePmd(rig.model) + '\0';
        inputs.motion = BenchMotion(rig);
    }
    return inputs;
}

// A PMD load of the rig up to its motions (none are found beside it).
struct RigLoad {
    explicit RigLoad(int physicsMode) {
        const Inputs& in = BenchInputs();
        params = ModelLoadParams{in.model.data(), in.model.size() - 1, "rig.pmd", "rig", nullptr, nullptr, nullptr};
        load.params = &params;
        load.physicsMode = physicsMode;
        InitReadModel(&load.model);
        ok = ReadPmdModel(&load) == 0;
        ResetPmdBonesToRest(&load.skeleton);
    }
    ~RigLoad() {
        FreeReadModel(&load.model);
        FreePmdLoad(&load);
    }
    ModelLoadParams params{};
    PmdLoad load{};
    bool ok = false;
};

void PerFrame(benchmark::State& state) {
    state.counters["s_per_frame"] =
        benchmark::Counter(double(kFrames), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Bake(benchmark::State& state, bool physics) {
    SetLogOutput(0);
    InitializeModelSystem();
    const Inputs& in = BenchInputs();
    for (auto _ : state) {
        state.PauseTiming();
        auto rig = std::make_unique<RigLoad>(physics ? PMD_PHYSICS_BAKE : PMD_PHYSICS_NONE);
        if (!rig->ok || (physics && rig->load.physics.bodyCount != 30)) state.SkipWithError("the rig does not load");
        state.ResumeTiming();
        if (LoadVmdMotion(in.motion.data(), in.motion.size(), 0, &rig->load.model, "Anim000", &rig->load.skeleton,
                          physics ? &rig->load.physics : nullptr, 0) != 0)
            state.SkipWithError("the bake failed");
        state.PauseTiming();
        rig.reset();
        state.ResumeTiming();
    }
    PerFrame(state);
    TerminateModelSystem();
}

void BM_BakeIkOnly(benchmark::State& state) { Bake(state, false); }
void BM_BakeIkAndPhysics(benchmark::State& state) { Bake(state, true); }

// The library alone: the same world stepped as often as the bake steps it.
void BM_PhysicsStepsAlone(benchmark::State& state) {
    SetLogOutput(0);
    InitializeModelSystem();
    for (auto _ : state) {
        state.PauseTiming();
        auto rig = std::make_unique<RigLoad>(PMD_PHYSICS_BAKE);
        if (!rig->ok || SetupBakePhysics(&rig->load.physics) != 0) state.SkipWithError("the world cannot be made");
        state.ResumeTiming();
        for (uint32_t step = 0; step < 2 * kFrames + 1 + 180; ++step) StepPhysicsWorld(rig->load.physics.world);
        state.PauseTiming();
        ReleasePhysicsModelRecord(&rig->load.physics);
        rig.reset();
        state.ResumeTiming();
    }
    PerFrame(state);
    TerminateModelSystem();
}

// The whole load: the model, its motion read and baked with physics beside
// it, and the conversion into base data (key reduction included).
void BM_LoadRigWithMotion(benchmark::State& state) {
    SetLogOutput(0);
    FakeGraphics graphics;  // the toon textures, missing, stand in as white
    InitializeModelSystem();
    const Inputs& in = BenchInputs();
    ModelTextureFileHook hook{};
    hook.user = const_cast<Inputs*>(&in);
    hook.read = [](const char* name, void** data, int* size, void* user) {
        if (std::string(name) != "rig000.vmd") return -1;
        const std::string& motion = static_cast<Inputs*>(user)->motion;
        *data = const_cast<char*>(motion.data());
        *size = int(motion.size());
        return 0;
    };
    hook.release = [](void*, void*) {};
    ModelLoadParams params{in.model.data(), in.model.size() - 1, "rig.pmd", "rig", nullptr, &hook, nullptr};
    for (auto _ : state) {
        int base = LoadPmdFile(&params);
        state.PauseTiming();
        if (base == -1) state.SkipWithError("the load failed");
        ReleaseModelBaseData(base);
        state.ResumeTiming();
    }
    PerFrame(state);
    TerminateModelSystem();
}

BENCHMARK(BM_BakeIkOnly)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BakeIkAndPhysics)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PhysicsStepsAlone)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadRigWithMotion)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
