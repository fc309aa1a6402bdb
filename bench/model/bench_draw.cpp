// Drawing toon blocks the way the game does (drawing type 1, outlines 3
// units wide): the cost of one DrawModel and of a 30 x 20 stage with 5 blocks per
// cell (3,000 block draws), on the recording device and on GL off screen.
// On GL the stage is drawn on the fixed-function road and through the
// shaders from the blocks' device buffers: the CPU time to submit a frame,
// and whole frames (submitted, presented and waited for) per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "draw_instance.h"
#include "engine/graph.h"
#include "engine/log.h"
#include "graphics/device/device.h"
#include "graphics/device/devicestate.h"
#include "graphics/device/recording/recording.h"
#include "engine/screen.h"
#include "graphics/graphics_internal.h"
#include "model/convert/convert.h"
#include "model/draw/model_builtin_graphs.h"
#include "model/draw/model_device_buffers.h"
#include "model/draw/model_draw.h"
#include "model/draw/model_services.h"
#include "model_generator.h"
#include "platform/window.h"

using namespace morpotta;

namespace {

class BlockScene {
public:
    // `specular`: a shiny light and material, so each block's lighting
    // follows its position and is never reused.
    explicit BlockScene(const char* backend, bool specular = false, bool shaders = false) {
        SetLogOutput(0);
        if (std::string(backend) == "gl") {
            platform::SelectWindowBackend("sdl2");
            platform::WindowDesc desc;
            desc.withGl = true;
            desc.visible = false;
            if (platform::Window().open(desc) != 0) return;
            window_ = true;
        }
        ResetDeviceStateCache();
        if (CreateGraphicsDevice(backend) != 0) return;
        InstallModelGraphicsServices();
        StartModelHandleTables();
        DeviceViewport vp = {0, 0, kDeviceTargetWidth, kDeviceTargetHeight, 0.0f, 1.0f};
        SendDeviceViewport(&vp);
        // Eye at (1200, -60, -1200) looking down +z over the whole field.
        float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -1200, 60, 1200, 1};
        const float f = 1.0f / std::tan(0.5236f), n = 10.0f, far = 5000.0f;
        float proj[16] = {f * 0.75f, 0, 0, 0, 0, f, 0, 0, 0, 0, far / (far - n), 1, 0, 0, -n * far / (far - n), 0};
        SetDeviceViewMatrix(view);
        SetDeviceProjectionMatrix(proj);
        DeviceLight light = {};
        light.type = DEVICE_LIGHT_DIRECTIONAL;
        light.diffuse = {1, 1, 1, 1};
        light.direction = {0.3f, -0.5f, 1};
        if (specular) light.specular = {1, 1, 1, 1};
        SetDeviceLight(0, &light);
        EnableDeviceLight(0, 1);
        ReadModel model;
        InitReadModel(&model);
        ReadModelMesh* mesh = AddTestCube(&model, AddReadModelFrame(&model, "block", nullptr));
        ReadModelMaterial* m = AddReadModelMaterial(&model, "block");
        m->drawType = 1;
        m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = m->diffuse[3] = 1.0f;
        if (specular) {
            m->specular[0] = m->specular[1] = m->specular[2] = 0.5f;
            m->power = 8.0f;
        }
        mesh->materials[0] = m;
        mesh->materialCount = 1;
        base_ = ConvertReadModelToModelBase(&model, nullptr, nullptr);
        FreeReadModel(&model);
        ready_ = base_ != -1;
        SetProgrammableShaderUse(shaders ? 1 : 0);
        if (ready_ && shaders) ready_ = BuildBaseDeviceBuffers(GetModelBase(base_)) == 0 && DeviceShadersAvailable();
    }
    ~BlockScene() {
        blocks_.clear();
        if (base_ != -1) FreeModelBaseRecord(base_);
        EndModelHandleTables();
        DeleteAllGraphs();
        ForgetModelBuiltinGraphs();
        ReleaseGraphicsDevice();
        ResetDeviceStateCache();
        SetProgrammableShaderUse(1);
        if (window_) platform::Window().close();
    }
    bool Ready() const { return ready_; }
    // A block in cell (c, r) of the field, at the game's cell spacing.
    int AddBlock(int c, int r, int layer) {
        auto t = MakeTestInstance(base_);
        if (!t) return -1;
        t->in.translation = {float(c * 80), float(700 - r * 80) - 700.0f, 850.0f + float(layer * 80)};
        t->in.scale = {40, 40, 40};
        // The game's blocks are modelled at their size with outlines 3 units
        // wide; this cube is scaled to that size, so its outline is too.
        t->materials[0].outline[0] = 3.0f / 40.0f;
        int handle = t->handle;
        blocks_.push_back(std::move(t));
        return handle;
    }
    const std::vector<std::unique_ptr<TestInstance>>& Blocks() const { return blocks_; }

private:
    bool window_ = false;
    bool ready_ = false;
    int base_ = -1;
    std::vector<std::unique_ptr<TestInstance>> blocks_;
};

void DrawOneBlock(benchmark::State& state, const char* backend) {
    BlockScene scene(backend);
    if (!scene.Ready()) {
        state.SkipWithError("no device");
        return;
    }
    int handle = scene.AddBlock(15, 10, 0);
    int n = 0;
    for (auto _ : state) {
        DrawModel(handle);
        if (++n % 4096 == 0) {
            state.PauseTiming();
            ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, 0, 1.0f);
            ClearRecordedDeviceCalls();
            state.ResumeTiming();
        }
    }
}

enum class Road { Fixed, Shaders };

// `wholeFrames`: each iteration also presents and waits for the frame (a
// one-pixel read-back), so the time is the frame's on the device.
void DrawStage(benchmark::State& state, const char* backend, bool specular = false, Road road = Road::Fixed,
               bool wholeFrames = false) {
    BlockScene scene(backend, specular, road == Road::Shaders);
    if (!scene.Ready()) {
        state.SkipWithError("no device");
        return;
    }
    std::vector<int> handles;
    for (int r = 0; r < 20; ++r)
        for (int c = 0; c < 30; ++c)
            for (int layer = 0; layer < 5; ++layer) handles.push_back(scene.AddBlock(c, r, layer));
    for (auto _ : state) {
        ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, 0, 1.0f);
        for (int h : handles) DrawModel(h);
        if (wholeFrames) {
            PresentDevice();
            uint32_t pixel;
            ReadDevicePixels(0, 0, 1, 1, &pixel);
            continue;
        }
        state.PauseTiming();
        PresentDevice();
        ClearRecordedDeviceCalls();  // the recording's own growth is not model work
        state.ResumeTiming();
    }
    state.counters["draws"] = double(handles.size());
    if (wholeFrames) state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DrawToonBlockRecording(benchmark::State& state) {
    DrawOneBlock(state, "recording");
}
void BM_DrawToonBlockGl(benchmark::State& state) { DrawOneBlock(state, "gl"); }
void BM_DrawStage30x20x5Recording(benchmark::State& state) { DrawStage(state, "recording"); }
void BM_DrawStage30x20x5Gl(benchmark::State& state) { DrawStage(state, "gl"); }
void BM_DrawStage30x20x5SpecularRecording(benchmark::State& state) { DrawStage(state, "recording", true); }
void BM_DrawStage30x20x5GlShaders(benchmark::State& state) { DrawStage(state, "gl", false, Road::Shaders); }
void BM_FramesStage30x20x5GlFixed(benchmark::State& state) { DrawStage(state, "gl", false, Road::Fixed, true); }
void BM_FramesStage30x20x5GlShaders(benchmark::State& state) { DrawStage(state, "gl", false, Road::Shaders, true); }

BENCHMARK(BM_DrawToonBlockRecording)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawToonBlockGl)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawStage30x20x5Recording)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawStage30x20x5Gl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawStage30x20x5SpecularRecording)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawStage30x20x5GlShaders)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramesStage30x20x5GlFixed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FramesStage30x20x5GlShaders)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
