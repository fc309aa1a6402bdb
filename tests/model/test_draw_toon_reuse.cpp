// Reuse of toon-lit colours between draws: a base drawn before (warm) must
// hold exactly the vertex bytes that a never-drawn base (cold) gets from
// the same last draw, whatever changed in between.
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "draw_instance.h"
#include "engine/graph.h"
#include "engine/log.h"
#include "graphics/device/device.h"
#include "graphics/device/devicestate.h"
#include "graphics/device/recording/recording.h"
#include "graphics/graphics_internal.h"
#include "model/convert/convert.h"
#include "model/draw/model_builtin_graphs.h"
#include "model/draw/model_cull.h"
#include "model/draw/model_draw.h"
#include "model/draw/model_services.h"
#include "model_generator.h"
#include "model_test_support.h"

using namespace morpotta;

namespace {

struct Pose {
    Vector3 translation;
    Vector3 rotation;
};

class ToonReuseTest : public ModelSystemTest {
protected:
    void SetUp() override {
        SetLogOutput(0);
        ModelSystemTest::SetUp();
        ResetDeviceStateCache();
        ASSERT_EQ(CreateGraphicsDevice("recording"), 0);
        InstallModelGraphicsServices();
        float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 20, 1};
        const float f = 1.0f / std::tan(0.5236f), n = 1.0f, far = 1000.0f;
        float proj[16] = {f * 0.75f, 0, 0, 0, 0, f, 0, 0, 0, 0, far / (far - n), 1, 0, 0, -n * far / (far - n), 0};
        SetDeviceViewMatrix(view);
        SetDeviceProjectionMatrix(proj);
        DeviceViewport vp = {0, 0, 640, 480, 0.0f, 1.0f};
        SendDeviceViewport(&vp);
        SetLight(DEVICE_LIGHT_DIRECTIONAL, {0, 0, 0, 0});
    }
    void TearDown() override {
        warm.reset();
        cold.reset();
        DeleteAllGraphs();
        ForgetModelBuiltinGraphs();
        ReleaseGraphicsDevice();
        ResetDeviceStateCache();
        ModelSystemTest::TearDown();
    }
    void SetLight(int type, DeviceColorValue specular, DeviceColorValue diffuse = {0.9f, 0.7f, 0.5f, 1}) {
        DeviceLight light = {};
        light.type = type;
        light.diffuse = diffuse;
        light.specular = specular;
        light.ambient = {0.1f, 0.1f, 0.2f, 1};
        light.direction = {0.3f, -0.5f, 1};
        light.position = {5, 5, -5};
        light.attenuation0 = 1.0f;
        light.attenuation1 = 0.05f;
        light.range = 1000.0f;
        ASSERT_EQ(SetDeviceLight(0, &light), 0);
        ASSERT_EQ(EnableDeviceLight(0, 1), 0);
    }
    // A toon cube of `drawType`, converted once per call.
    std::unique_ptr<TestInstance> MakeCube(int drawType, float materialSpecular) {
        ReadModel model;
        InitReadModel(&model);
        ReadModelMesh* mesh = AddTestCube(&model, AddReadModelFrame(&model, "cube", nullptr));
        if (vertexColours) {
            mesh->colourCount = 8;
            mesh->colours = AllocReadModelArray<float[4]>(&model, 8);
            for (int i = 0; i < 8; ++i) {
                const float c[4] = {0.1f * float(i), 1.0f - 0.1f * float(i), 0.5f, 1.0f};
                std::memcpy(mesh->colours[i], c, sizeof c);
            }
            for (int f = 0; f < mesh->faceCount; ++f)
                for (int c = 0; c < mesh->faceCorners[f]; ++c)
                    ReadFaceColours(mesh, f)[c] = ReadFacePositions(mesh, f)[c];
        }
        ReadModelMaterial* m = AddReadModelMaterial(&model, "m");
        m->drawType = drawType;
        for (int c = 0; c < 4; ++c) {
            m->diffuse[c] = c == 3 ? 1.0f : 0.7f;
            m->specular[c] = materialSpecular;
            m->ambient[c] = 0.5f;
        }
        m->power = 12.0f;
        mesh->materials[0] = m;
        mesh->materialCount = 1;
        int handle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
        FreeReadModel(&model);
        if (handle == -1) return nullptr;
        auto t = MakeTestInstance(handle);
        if (t) t->materials[0].outline[0] = 0.05f;
        return t;
    }
    static void Place(TestInstance* t, const Pose& pose) {
        t->in.translation = pose.translation;
        t->in.rotation = pose.rotation;
        t->MarkAllDirty();
    }
    static std::vector<unsigned char> LitBytes(const TestInstance* t) {
        const ModelBaseTriangleList& list = t->in.meshes[0].base->firstTriangleList[0];
        const auto* v = static_cast<const unsigned char*>(list.fixedVertices);
        if (!v) return {};
        return std::vector<unsigned char>(v, v + list.vertexCount * list.fixedStride);
    }
    // Draws the warm cube at `first`, runs `change`, draws it at `second`,
    // and draws a fresh cube only at `second`: their copies must agree.
    void ExpectWarmEqualsCold(int drawType, float materialSpecular, const Pose& first, const Pose& second,
                              const std::function<void(TestInstance*)>& change = nullptr) {
        warm = MakeCube(drawType, materialSpecular);
        cold = MakeCube(drawType, materialSpecular);
        ASSERT_TRUE(warm && cold);
        Place(warm.get(), first);
        ASSERT_EQ(DrawModel(warm->handle), 0);
        std::vector<unsigned char> before = LitBytes(warm.get());
        if (change) {
            change(warm.get());
            change(cold.get());
        }
        Place(warm.get(), second);
        Place(cold.get(), second);
        ASSERT_EQ(DrawModel(warm->handle), 0);
        ASSERT_EQ(DrawModel(cold->handle), 0);
        std::vector<unsigned char> w = LitBytes(warm.get()), c = LitBytes(cold.get());
        ASSERT_FALSE(c.empty());
        EXPECT_EQ(w, c);
        changedBetweenDraws = before != w;
    }
    std::unique_ptr<TestInstance> warm, cold;
    bool vertexColours = false;
    bool changedBetweenDraws = false;
};

const Pose kHere = {{0, 0, 0}, {0, 0, 0}};
const Pose kMoved = {{3, -2, 4}, {0, 0, 0}};
const Pose kTurned = {{0, 0, 0}, {0.4f, 1.1f, -0.3f}};

TEST_F(ToonReuseTest, MovedInstancesMatchAFreshLightingForEveryLightKind) {
    for (int drawType : {1, 2}) {
        SCOPED_TRACE(drawType);
        // Specular light: the half vector follows the position.
        SetLight(DEVICE_LIGHT_DIRECTIONAL, {1, 1, 1, 1});
        ExpectWarmEqualsCold(drawType, 0.6f, kHere, kMoved);
        EXPECT_TRUE(changedBetweenDraws);
        // No specular: a translation changes nothing.
        SetLight(DEVICE_LIGHT_DIRECTIONAL, {0, 0, 0, 0});
        ExpectWarmEqualsCold(drawType, 0.6f, kHere, kMoved);
        EXPECT_FALSE(changedBetweenDraws);
        ExpectWarmEqualsCold(drawType, 0.0f, kHere, kTurned);
        EXPECT_TRUE(changedBetweenDraws);
        // Point and spot lights reach each position differently.
        SetLight(DEVICE_LIGHT_POINT, {0, 0, 0, 0});
        ExpectWarmEqualsCold(drawType, 0.0f, kHere, kMoved);
        EXPECT_TRUE(changedBetweenDraws);
        SetLight(DEVICE_LIGHT_SPOT, {0, 0, 0, 0});
        ExpectWarmEqualsCold(drawType, 0.0f, kHere, kMoved);
    }
}

TEST_F(ToonReuseTest, VertexColouredMeshesMatchAFreshLighting) {
    vertexColours = true;
    SetLight(DEVICE_LIGHT_DIRECTIONAL, {0, 0, 0, 0});
    ExpectWarmEqualsCold(1, 0.0f, kHere, kTurned);
    EXPECT_TRUE(changedBetweenDraws);
    ExpectWarmEqualsCold(2, 0.0f, kHere, kMoved);
    EXPECT_FALSE(changedBetweenDraws);
    SetLight(DEVICE_LIGHT_POINT, {1, 1, 1, 1});
    ExpectWarmEqualsCold(1, 0.5f, kHere, kMoved);
    EXPECT_TRUE(changedBetweenDraws);
    // The lit diffuse follows the vertex colours, not the material.
    const ModelBaseTriangleList& list = warm->in.meshes[0].base->firstTriangleList[0];
    ASSERT_TRUE(warm->in.base->meshes[0].vertexColours);
    const auto* v = static_cast<const unsigned char*>(list.fixedVertices);
    uint32_t first, second;
    std::memcpy(&first, v + 24, 4);
    bool differ = false;
    for (int i = 1; i < list.vertexCount; ++i) {
        std::memcpy(&second, v + i * list.fixedStride + 24, 4);
        differ = differ || second != first;
    }
    EXPECT_TRUE(differ);
}

TEST_F(ToonReuseTest, ChangedLightsAndMaterialsAreLitAgain) {
    SetLight(DEVICE_LIGHT_DIRECTIONAL, {0, 0, 0, 0});
    ExpectWarmEqualsCold(1, 0.0f, kHere, kHere, [this](TestInstance*) {
        SetLight(DEVICE_LIGHT_DIRECTIONAL, {0, 0, 0, 0}, {0.2f, 0.9f, 0.3f, 1});
    });
    EXPECT_TRUE(changedBetweenDraws);
    ExpectWarmEqualsCold(1, 0.0f, kHere, kHere, [](TestInstance* t) { t->materials[0].diffuse[1] = 0.1f; });
    EXPECT_TRUE(changedBetweenDraws);
    ExpectWarmEqualsCold(2, 0.0f, kHere, kHere, [](TestInstance* t) { t->materials[0].ambient[0] = 0.0f; });
    EXPECT_TRUE(changedBetweenDraws);
    // A second light joins.
    ExpectWarmEqualsCold(2, 0.0f, kHere, kHere, [](TestInstance*) {
        DeviceLight extra = {};
        extra.type = DEVICE_LIGHT_DIRECTIONAL;
        extra.diffuse = {0.5f, 0.5f, 0.5f, 1};
        extra.direction = {-1, 0, 0};
        SetDeviceLight(1, &extra);
        EnableDeviceLight(1, 1);
    });
    EXPECT_TRUE(changedBetweenDraws);
}

TEST_F(ToonReuseTest, ACameraMoveRelightsSpecularOnly) {
    auto moveEye = [](TestInstance*) {
        float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 1, 20, 1};
        SetDeviceViewMatrix(view);
    };
    SetLight(DEVICE_LIGHT_DIRECTIONAL, {1, 1, 1, 1});
    ExpectWarmEqualsCold(1, 0.6f, kHere, kHere, moveEye);
    EXPECT_TRUE(changedBetweenDraws);
    SetLight(DEVICE_LIGHT_DIRECTIONAL, {0, 0, 0, 0});
    ExpectWarmEqualsCold(1, 0.6f, kHere, kHere, moveEye);
    EXPECT_FALSE(changedBetweenDraws);
}

}  // namespace
