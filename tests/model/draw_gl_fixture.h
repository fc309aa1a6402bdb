// Models drawn on the GL device off screen: a fixture with the scenes'
// camera and light, read models built into test instances, pictures saved
// as PNG, and a scene drawn on the fixed-function road and through the
// shaders with the two pictures compared.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "draw_instance.h"
#include "engine/camera.h"
#include "graphics/camera/camera_internal.h"
#include "graphics/device/gl/gl_internal.h"
#include "graphics/graphics_internal.h"
#include "graphics_test_util.h"
#include "model/base/model_texture.h"
#include "model/convert/convert.h"
#include "model/draw/model_builtin_graphs.h"
#include "model/draw/model_device_buffers.h"
#include "model/draw/model_draw.h"
#include "model/draw/model_services.h"
#include "model_generator.h"
#include "model_test_support.h"
#include "test_pictures.h"

using namespace morpotta;

constexpr uint32_t kBackground = 0xFF405070u;
// How far the fixed-function road and the shaders may differ: colour bytes
// per channel, and pixels beyond that.
constexpr int kPathTolerance = 3;
constexpr int kPathOutliers = 64;

class DrawModelGlTest : public ModelSystemTest {
protected:
    void SetUp() override {
        SetLogOutput(0);
        ModelSystemTest::SetUp();
        ASSERT_TRUE(platform::SelectWindowBackend("sdl2"));
        platform::WindowDesc desc;
        desc.withGl = true;
        desc.visible = false;
        ASSERT_EQ(platform::Window().open(desc), 0) << "no off-screen GL window";
        OpenDevice();
        InitReadModel(&model);
        root = AddReadModelFrame(&model, "root", nullptr);
    }
    // The GL device with the scenes' camera, one white directional light
    // shining away from the eye and a cleared target.
    void OpenDevice() {
        ResetDeviceStateCache();
        ASSERT_EQ(CreateGraphicsDevice("gl"), 0);
        InstallModelGraphicsServices();
        DeviceViewport vp = {0, 0, kDeviceTargetWidth, kDeviceTargetHeight, 0.0f, 1.0f};
        SendDeviceViewport(&vp);
        float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 10, 1};  // eye at z = -10
        const float f = 1.0f / std::tan(0.5236f), n = 1.0f, far = 1000.0f;
        float proj[16] = {f * 0.75f, 0, 0, 0, 0, f, 0, 0, 0, 0, far / (far - n), 1, 0, 0, -n * far / (far - n), 0};
        SetDeviceViewMatrix(view);
        SetDeviceProjectionMatrix(proj);
        // The graphics layer's own lights go to the device once; the test's
        // light then replaces them there, and later commits change nothing.
        ResetCameraAndLights();
        CommitLightsToDevice();
        DeviceLight light = {};
        light.type = DEVICE_LIGHT_DIRECTIONAL;
        light.diffuse = {1, 1, 1, 1};
        light.direction = {0, 0, 1};  // shining away from the eye
        SetDeviceLight(0, &light);
        EnableDeviceLight(0, 1);
        SetDeviceAmbientLight(0, 0, 0, 0);
        SetLightingEnabled(1);
        ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, kBackground, 1.0f);
    }
    void TearDown() override {
        instance.reset();
        FreeReadModel(&model);
        if (baseHandle != -1) FreeModelBaseRecord(baseHandle);
        DeleteAllGraphs();
        ForgetModelBuiltinGraphs();
        ReleaseGraphicsDevice();
        ResetDeviceStateCache();
        SetProgrammableShaderUse(1);
        platform::Window().close();
        ModelSystemTest::TearDown();
    }
    ReadModelMaterial* Material(float r, float g, float b, float a, int drawType) {
        ReadModelMaterial* m = AddReadModelMaterial(&model, "m");
        const float d[4] = {r, g, b, a};
        std::memcpy(m->diffuse, d, sizeof(d));
        m->drawType = drawType;
        m->power = 10;
        return m;
    }
    ReadModelMesh* Cube(ReadModelFrame* frame, ReadModelMaterial* material) {
        return AddTestCube(&model, frame, material);
    }
    ModelInstance* Build() {
        baseHandle = ConvertReadModelToModelBase(&model, nullptr, textureFiles);
        if (baseHandle == -1) return nullptr;
        instance = MakeTestInstance(baseHandle);
        return instance ? &instance->in : nullptr;
    }
    std::vector<uint32_t> Frame(const char* name) {
        std::vector<uint32_t> pixels(size_t(kDeviceTargetWidth) * kDeviceTargetHeight);
        EXPECT_EQ(ReadDevicePixels(0, 0, kDeviceTargetWidth, kDeviceTargetHeight, pixels.data()), 0);
        WritePngFile(TestPicturePath(std::string("model_") + name + ".png"), pixels.data(), kDeviceTargetWidth,
                     kDeviceTargetHeight, false);
        return pixels;
    }
    // Draws the scene on the fixed-function road, then through the shaders
    // from the device buffers of `bases`, and checks that the two pictures
    // agree: every channel within kPathTolerance, but for at most
    // kPathOutliers pixels (triangle edges rasterised a hair apart, as the
    // two roads place vertices through different float products). Returns
    // the picture of the shaders.
    template <typename DrawScene>
    std::vector<uint32_t> DrawOnBothPaths(const char* name, std::initializer_list<int> bases, DrawScene draw,
                                          bool drawsAnything = true) {
        for (int handle : bases) EXPECT_EQ(BuildBaseDeviceBuffers(GetModelBase(handle)), 0);
        auto drawOn = [&](int shaders, const std::string& suffix) {
            SetProgrammableShaderUse(shaders);
            ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, kBackground, 1.0f);
            draw();
            return Frame((std::string(name) + suffix).c_str());
        };
        const std::vector<uint32_t> fixed = drawOn(0, "_fixed");
        const int before = CountGlShaderPrograms();
        const std::vector<uint32_t> shaded = drawOn(1, "");
        if (drawsAnything) {
            EXPECT_GT(CountGlShaderPrograms(), before) << "the scene was drawn through shaders";
        }
        int outliers = 0, worst = 0;
        for (size_t i = 0; i < fixed.size(); ++i) {
            int d = 0;
            for (int shift : {0, 8, 16}) d = std::max(d, std::abs(ChannelOf(fixed[i], shift) - ChannelOf(shaded[i], shift)));
            if (d > kPathTolerance) ++outliers;
            worst = std::max(worst, d);
        }
        EXPECT_LE(outliers, kPathOutliers) << name << ": pixels apart by more than " << kPathTolerance
                                           << " (largest difference " << worst << ")";
        return shaded;
    }
    std::vector<uint32_t> DrawOnBothPaths(const char* name, bool drawsAnything = true) {
        return DrawOnBothPaths(
            name, {baseHandle}, [this] { EXPECT_EQ(DrawModel(instance->handle), 0); }, drawsAnything);
    }
    static uint32_t At(const std::vector<uint32_t>& frame, int x, int y) {
        return frame[size_t(y) * kDeviceTargetWidth + size_t(x)];
    }
    ReadModel model;
    ReadModelFrame* root;
    int baseHandle = -1;
    std::unique_ptr<TestInstance> instance;
    const ModelTextureFileHook* textureFiles = nullptr;  // where Build's textures come from
};

