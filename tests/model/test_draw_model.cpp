// DrawModel on the recording device: the order of opaque and translucent
// meshes, culling, lazy refresh, the stage tables per drawing type, the
// outline pass and a device loss in the middle.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "draw_instance.h"
#include "engine/camera.h"
#include "engine/log.h"
#include "graphics/camera/camera_internal.h"
#include "graphics/device/device.h"
#include "graphics/device/device_internal.h"
#include "graphics/device/devicestate.h"
#include "graphics/device/recording/recording.h"
#include "graphics/graph_internal.h"
#include "graphics/graphics_internal.h"
#include "model/convert/convert.h"
#include "model/draw/model_builtin_graphs.h"
#include "model/draw/model_cull.h"
#include "model/draw/model_device_buffers.h"
#include "model/draw/model_draw.h"
#include "model/draw/model_draw_mesh.h"
#include "model/draw/model_draw_state.h"
#include "model/draw/model_services.h"
#include "model/instance/model_refresh.h"
#include "model_generator.h"
#include "model_test_support.h"

using namespace morpotta;

namespace {

class DrawModelTest : public ModelSystemTest {
protected:
    void SetUp() override {
        SetLogOutput(0);
        ModelSystemTest::SetUp();
        ResetDeviceStateCache();
        ASSERT_EQ(CreateGraphicsDevice("recording"), 0);
        ResetCameraAndLights();  // every test starts from the default light
        InstallModelGraphicsServices();
        SetCameraLookingDownZ();
        InitReadModel(&model);
        root = AddReadModelFrame(&model, "root", nullptr);
    }
    void TearDown() override {
        instance.reset();
        FreeReadModel(&model);
        if (baseHandle != -1) FreeModelBaseRecord(baseHandle);  // its buffers need the device
        DeleteAllGraphs();
        ForgetModelBuiltinGraphs();
        SetModelDrawView(nullptr);
        ReleaseGraphicsDevice();
        ResetDeviceStateCache();
        ModelSystemTest::TearDown();
    }
    ModelInstance* Build() {
        baseHandle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
        if (baseHandle == -1) return nullptr;
        instance = MakeTestInstance(baseHandle);
        return instance ? &instance->in : nullptr;
    }
    std::vector<RecordedDraw> DrawOnce() {
        ClearRecordedDeviceCalls();
        EXPECT_EQ(DrawModel(instance->handle), 0);
        return GetRecordedDraws();
    }
    ReadModelMaterial* Material(const char* name, float alpha, int drawType) {
        ReadModelMaterial* m = AddReadModelMaterial(&model, name);
        for (int c = 0; c < 3; ++c) m->diffuse[c] = 0.8f;
        m->diffuse[3] = alpha;
        m->drawType = drawType;
        return m;
    }
    ReadModelMesh* Cube(ReadModelFrame* frame, ReadModelMaterial* material) {
        return AddTestCube(&model, frame, material);
    }
    ReadModel model;
    ReadModelFrame* root;
    int baseHandle = -1;
    std::unique_ptr<TestInstance> instance;
};

int CountCalls(int kind, int a) {
    int n = 0;
    for (const DeviceCall& c : GetRecordedDeviceCalls()) n += c.kind == kind && c.a == a;
    return n;
}

TEST_F(DrawModelTest, OpaqueMeshesDrawBeforeTranslucentOnesInFrameOrder) {
    // The translucent cube comes first in frame order; the opaque single
    // triangle still draws first.
    ReadModelFrame* a = AddReadModelFrame(&model, "a", root);
    ReadModelFrame* b = AddReadModelFrame(&model, "b", root);
    Cube(a, Material("glass", 0.5f, 0));
    AddTriangleSoup(&model, b, 1)->materials[0]->diffuse[3] = 1.0f;
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    auto draws = DrawOnce();
    ASSERT_EQ(draws.size(), 2u);
    const ModelMesh* glass = nullptr;
    const ModelMesh* stone = nullptr;
    for (int i = 0; i < in->base->meshCount; ++i)
        (in->meshes[i].material->diffuse[3] < 1.0f ? glass : stone) = &in->meshes[i];
    ASSERT_TRUE(glass && stone);
    EXPECT_EQ(draws[0].draw.primitiveCount, 1);
    EXPECT_EQ(draws[1].draw.primitiveCount, 12);
    EXPECT_EQ(IsModelMeshTranslucent(instance->handle, int(glass - in->meshes)), 1);
    EXPECT_EQ(IsModelMeshTranslucent(instance->handle, int(stone - in->meshes)), 0);
    EXPECT_EQ(IsModelMeshTranslucent(instance->handle, 99), -1);
    EXPECT_EQ(DrawModel(-1), -1);
}

TEST_F(DrawModelTest, FramesOutsideTheViewOrBehindTheEyeAreCulled) {
    Cube(root, Material("m", 1.0f, 0));
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(DrawOnce().size(), 1u);
    // The view comes from the device: the eye at (0, 0, -10), the origin mid-screen.
    const ModelDrawView* view = GetModelDrawView();
    EXPECT_FLOAT_EQ(view->eye[2], -10.0f);
    const float origin[3] = {0, 0, 0};
    float s[3];
    ProjectToScreen(view->toScreen, origin, s);
    EXPECT_FLOAT_EQ(s[0], 320.0f);
    EXPECT_FLOAT_EQ(s[1], 240.0f);
    in->translation = {100, 0, 0};  // far to the right
    instance->MarkAllDirty();
    EXPECT_EQ(DrawOnce().size(), 0u);
    in->translation = {0, 0, -30};  // behind the eye
    instance->MarkAllDirty();
    EXPECT_EQ(DrawOnce().size(), 0u);
    in->translation = {0, 0, 0};
    in->visible = 0;
    instance->MarkAllDirty();
    EXPECT_EQ(DrawOnce().size(), 0u);
}

TEST_F(DrawModelTest, ARepeatedDrawDoesNotRefresh) {
    Cube(root, Material("m", 1.0f, 1));
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    DrawOnce();
    EXPECT_EQ(in->matricesValid, 1);
    in->materials[0].outline[0] = 0.05f;
    DrawOnce();
    Matrix34 world = in->frames[0].worldMatrix;
    in->translation.x = 3.0f;  // unmarked: only a refresh would take it
    auto draws = DrawOnce();
    EXPECT_EQ(std::memcmp(&in->frames[0].worldMatrix, &world, sizeof(world)), 0);
    EXPECT_EQ(in->frames[0].worldMatrix4x4Valid, 1);
    EXPECT_EQ(draws.size(), 2u);  // mesh and outline
    // The frame's world transform goes out once for the mesh and its outline.
    EXPECT_EQ(CountCalls(DEVICE_CALL_TRANSFORM, DEVICE_TS_WORLD), 1);
}

TEST_F(DrawModelTest, StageTablesAndLightingPerDrawingType) {
    for (int type = 0; type < 3; ++type) Cube(AddReadModelFrame(&model, "f", root), Material("m", 1.0f, type));
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    GetDeviceStateCache()->hasTempRegister = 0;
    auto draws = DrawOnce();
    ASSERT_EQ(draws.size(), 3u);  // no outline width: no outline pass
    EXPECT_EQ(draws[0].stageCount, 1);
    EXPECT_EQ(draws[1].stageCount, 3);  // texture, toon ramp, specular ramp
    EXPECT_EQ(draws[2].stageCount, 3);  // texture, toon ramp, specular added
    for (const RecordedDraw& d : draws) EXPECT_EQ(d.fvf, ModelFixedFvf(in->meshes[0].base));
    // Toon materials light in software: device lighting off, colours from the vertices.
    const DeviceStateCache* cache = GetDeviceStateCache();
    EXPECT_EQ(cache->renderStates[DEVICE_RS_DIFFUSEMATERIALSOURCE], uint32_t(DEVICE_MCS_COLOR1));
    EXPECT_EQ(cache->renderStates[DEVICE_RS_SPECULARENABLE], 0u);
    EXPECT_EQ(cache->renderStates[DEVICE_RS_LIGHTING], 1u);  // switched back on after the toon mesh
}

TEST_F(DrawModelTest, OutlinePassCullsClockwiseAndKeepsItsScreenMinimum) {
    Cube(root, Material("m", 1.0f, 1));
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    in->materials[0].outline[0] = 0.001f;  // far below a pixel at this distance
    in->materials[0].outline[1] = 12.0f;
    in->materials[0].outlineColour[0] = 1.0f;
    auto draws = DrawOnce();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[1].fvf, DEVICE_FVF_XYZ | DEVICE_FVF_DIFFUSE);
    EXPECT_EQ(draws[1].draw.stride, 16);
    EXPECT_EQ(GetDeviceStateCache()->renderStates[DEVICE_RS_CULLMODE], uint32_t(DEVICE_CULL_CW));
    const ModelBaseTriangleList& list = in->meshes[0].base->firstTriangleList[0];
    float p[3], n[3], o[3];
    uint32_t colour;
    std::memcpy(p, list.fixedVertices, 12);
    std::memcpy(n, static_cast<const char*>(list.fixedVertices) + 12, 12);
    std::memcpy(o, list.outlineVertices, 12);
    std::memcpy(&colour, static_cast<const char*>(list.outlineVertices) + 12, 4);
    EXPECT_EQ(colour, 0xFFFF0000u);
    auto length = [](float x, float y, float z) { return std::sqrt(x * x + y * y + z * z); };
    float w = length(o[0] - p[0], o[1] - p[1], o[2] - p[2]) / length(n[0], n[1], n[2]);
    // w world units at the origin, 10 units in front of the eye, span 12 pixels.
    const ModelDrawView* view = GetModelDrawView();
    const float origin[3] = {0, 0, 0}, moved[3] = {w, 0, 0};
    float a[3], b[3];
    ProjectToScreen(view->toScreen, origin, a);
    ProjectToScreen(view->toScreen, moved, b);
    EXPECT_NEAR(b[0] - a[0], 12.0f, 0.01f);
}

TEST_F(DrawModelTest, ADeviceLossLeavesTheRecordedDrawIdentical) {
    Cube(root, Material("m", 1.0f, 1));
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    in->materials[0].outline[0] = 0.05f;
    ASSERT_EQ(BuildModelBaseDeviceBuffers(baseHandle, 1), 0);
    auto capture = [&] {
        std::vector<std::vector<unsigned char>> out;
        const ModelBaseTriangleList& list = in->meshes[0].base->firstTriangleList[0];
        for (const RecordedDraw& d : DrawOnce()) {
            const auto* v = static_cast<const unsigned char*>(d.fvf == (DEVICE_FVF_XYZ | DEVICE_FVF_DIFFUSE)
                                                                   ? list.outlineVertices
                                                                   : list.fixedVertices);
            std::vector<unsigned char> bytes(v, v + d.draw.vertexCount * d.draw.stride);
            bytes.push_back(uint8_t(d.stageCount));
            bytes.push_back(uint8_t(d.fvf));
            bytes.push_back(uint8_t(d.draw.primitiveCount));
            out.push_back(bytes);
        }
        return out;
    };
    auto before = capture();
    ASSERT_EQ(before.size(), 2u);
    ReleaseGraphTextures();
    ReleaseModelVertexBuffers();
    ReleaseGraphicsDevice();
    ResetDeviceStateCache();
    ASSERT_EQ(CreateGraphicsDevice("recording"), 0);
    RestoreGraphTextures();
    SetCameraLookingDownZ();
    ReapplyLights();  // as the graphics layer's restore does
    RecreateModelVertexBuffers();
    EXPECT_EQ(in->base->devicePools.built, 1);
    EXPECT_EQ(capture(), before);
}

TEST_F(DrawModelTest, AFailedVertexCopySkipsTheList) {
    Cube(root, Material("m", 1.0f, 1));
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    SetModelAllocFailureAt(1);
    EXPECT_EQ(DrawOnce().size(), 0u);
    SetModelAllocFailureAt(0);
    EXPECT_EQ(in->meshes[0].base->firstTriangleList[0].fixedVertices, nullptr);
    EXPECT_EQ(DrawOnce().size(), 1u);
}

TEST_F(DrawModelTest, DrawnOpacityMultipliesDownTheFrames) {
    ReadModelFrame* child = AddReadModelFrame(&model, "child", root);
    Cube(child, Material("m", 1.0f, 0));
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    ModelFrame* top = in->meshes[0].frame->parent;
    ASSERT_NE(top, nullptr);
    top->opacity = 0.5f;
    in->meshes[0].frame->opacity = 0.5f;
    instance->MarkAllDirty();
    auto draws = DrawOnce();
    EXPECT_FLOAT_EQ(in->meshes[0].drawn.opacity, 0.25f);
    EXPECT_EQ(IsModelMeshTranslucent(instance->handle, 0), 1);
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].stageCount, 2);  // texture and the opacity factor
    EXPECT_EQ(GetDeviceStateCache()->renderStates[DEVICE_RS_TEXTUREFACTOR], 0x3FFFFFFFu);
    // A visible mesh under a hidden frame is not drawn.
    top->visible = 0;
    instance->MarkAllDirty();
    EXPECT_EQ(DrawOnce().size(), 0u);
}

TEST_F(DrawModelTest, SkinnedListsAreWrittenInWorldSpaceUnderTheIdentityTransform) {
    ReadModelFrame* bone = AddReadModelFrame(&model, "bone", root);
    ReadModelMesh* mesh = Cube(root, Material("m", 1.0f, 1));
    std::vector<std::pair<int, float>> all;
    for (int v = 0; v < 8; ++v) all.push_back({v, v < 4 ? 1.0f : 0.5f});
    ReadModelSkinWeight* sw = AddSkinWeight(&model, mesh, int(bone->index), all);
    ASSERT_NE(sw, nullptr);
    sw->offsetMatrix.m[3][0] = 0.0f;
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    ModelFrame* boneFrame = nullptr;
    for (int i = 0; i < in->base->frameCount; ++i)
        if (in->frames[i].baseFrame->name && std::string(in->frames[i].baseFrame->name) == "bone") boneFrame = &in->frames[i];
    ASSERT_NE(boneFrame, nullptr);
    boneFrame->localMatrix = Matrix44{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 2, 0, 1}}};  // lifts by 2
    boneFrame->localMatrixSet = 1;
    ClearRecordedDeviceCalls();
    ASSERT_EQ(DrawModel(instance->handle), 0);
    ASSERT_EQ(GetRecordedDraws().size(), 1u);
    // The last world transform before the draw is the identity.
    const ModelBaseTriangleList& list = in->meshes[0].base->firstTriangleList[0];
    ASSERT_GE(list.vertexKind, 1);
    for (int v = 0; v < list.vertexCount; ++v) {
        const ModelBaseMeshVertex& mv = in->meshes[0].base->vertices[list.meshVertices[v]];
        const ModelBasePosition& p = in->meshes[0].base->frame->positions[mv.position];
        float got[3];
        std::memcpy(got, static_cast<const char*>(list.fixedVertices) + v * list.fixedStride, 12);
        float weight = p.weightValues ? p.weightValues[0] : 0.0f;
        EXPECT_NEAR(got[0], p.position.x * weight, 1e-5f);
        EXPECT_NEAR(got[1], (p.position.y + 2.0f) * weight, 1e-5f);
    }
    const float* world = GetDeviceState().world;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(world[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
}

TEST_F(DrawModelTest, ModelMatrixScalesThenTurnsThenMovesAndColourScalesMultiply) {
    Cube(AddReadModelFrame(&model, "child", root), Material("m", 1.0f, 0));
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    in->scale = {2, 3, 4};
    in->rotation = {0.3f, -0.8f, 0.2f};
    in->translation = {1, 2, 3};
    RefreshModelMatrices(in);
    // The exact turn about x, then y, then z, in double precision: the
    // sine table's quantised angles miss it by about 1e-4 here.
    const double ax = 0.3f, ay = -0.8f, az = 0.2f;
    const double p[3] = {0.5 * 2, -1.0 * 3, 2.0 * 4};
    const double x1[3] = {p[0], std::cos(ax) * p[1] - std::sin(ax) * p[2], std::sin(ax) * p[1] + std::cos(ax) * p[2]};
    const double y1[3] = {std::cos(ay) * x1[0] + std::sin(ay) * x1[2], x1[1], -std::sin(ay) * x1[0] + std::cos(ay) * x1[2]};
    const double z1[3] = {std::cos(az) * y1[0] - std::sin(az) * y1[1], std::sin(az) * y1[0] + std::cos(az) * y1[1], y1[2]};
    const Vector3 point = {0.5f, -1.0f, 2.0f};
    Vector3 got;
    TransformPointBy34(&in->modelMatrix, &got, &point);
    EXPECT_NEAR(got.x, z1[0] + 1, 2e-6);
    EXPECT_NEAR(got.y, z1[1] + 2, 2e-6);
    EXPECT_NEAR(got.z, z1[2] + 3, 2e-6);

    // Colour scales: the instance's times the frame's reach the device material.
    in->colourScaled = 1;
    for (float& c : in->colourScales) c = 0.5f;
    ModelMesh& mesh = in->meshes[0];
    mesh.frame->colourScaled = 1;
    mesh.frame->colourScales[0] = 0.5f;  // diffuse red
    instance->MarkAllDirty();
    RefreshDrawnValues(in);
    EXPECT_EQ(mesh.drawn.colourScaled, 1);
    EXPECT_FLOAT_EQ(mesh.drawn.colourScales[0], 0.25f);
    EXPECT_FLOAT_EQ(mesh.drawn.colourScales[1], 0.5f);
    float material[17];
    ComputeMeshDeviceMaterial(&mesh, material);
    EXPECT_FLOAT_EQ(material[0], 0.8f * 0.25f);
    EXPECT_FLOAT_EQ(material[1], 0.8f * 0.5f);
    EXPECT_FLOAT_EQ(material[16], in->materials[0].power);  // power is not scaled
}

}  // namespace
