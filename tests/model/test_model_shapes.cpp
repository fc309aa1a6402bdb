// A binary model with shapes loaded by file name on the recording device:
// its device buffers and its instance's own shape buffers are made at load
// and are the same after a device loss; a shape moves its vertices by its
// weight in the instance's copies, its own buffers and what is drawn.
#include <cstring>
#include <vector>

#include "device_fixture.h"
#include "model/convert/convert.h"
#include "model/draw/model_device_buffers.h"
#include "model/draw/model_draw.h"
#include "model/draw/model_shapes.h"
#include "model_generator.h"

using namespace morpotta;

namespace {

const Vector3 kLift{0, 0, 2};       // shape 0 moves cube position 6 by this
const Vector3 kLiftNormal{0, 1, 0};

class ModelShapesTest : public ModelOnDeviceTest {
protected:
    // A cube with two shapes and a plain triangle beside it, as a binary
    // file loaded by name.
    int LoadShaped() {
        ReadModel model;
        InitReadModel(&model);
        ReadModelFrame* root = AddReadModelFrame(&model, "root", nullptr);
        ReadModelMesh* cube = AddTestCube(&model, root);
        cube->materials[0] = AddReadModelMaterial(&model, "cube");
        cube->materialCount = 1;
        AddTriangleSoup(&model, AddReadModelFrame(&model, "plain", root), 1);
        for (const char* name : {"lift", "push"}) {
            ReadModelShape* shape = AddReadModelShape(&model, name, root);
            shape->mesh = cube;
            shape->hasNormals = 1;
            shape->vertexCount = 1;
            shape->vertices = AllocReadModelArray<ReadModelShapeVertex>(&model, 1);
            shape->vertices[0] = name[0] == 'l' ? ReadModelShapeVertex{6, kLift, kLiftNormal}
                                                : ReadModelShapeVertex{0, Vector3{-5, 0, 0}, Vector3{}};
        }
        int base = ConvertReadModelToModelBase(&model, nullptr, nullptr);
        FreeReadModel(&model);
        return LoadAsBinary(base, "shaped.mv1");
    }
    static void SetWeight(ModelInstance* in, int shape, float weight) {
        ModelFrame& root = in->frames[0];
        root.shapeStates[shape].weight = weight;
        root.shapeChanged = 1;
        in->shapesDirty = 1;
    }
    // Every device byte the model owns: the base's lists, then the
    // instance's own buffers.
    static std::vector<unsigned char> DeviceBytes(const ModelInstance* in) {
        std::vector<unsigned char> out = BaseDeviceBytes(in->base);
        for (int i = 0; i < in->base->triangleListCount; ++i) {
            const DeviceVertexBuffer* own = in->triangleLists[i].ownVertexBuffer;
            if (own) out.insert(out.end(), own->bytes, own->bytes + own->length);
        }
        return out;
    }
};

TEST_F(ModelShapesTest, DeviceBuffersAreMadeAtLoadAndAreTheSameAfterADeviceLoss) {
    int model = LoadShaped();
    ASSERT_GE(model, 0) << Log();
    ModelInstance* in = InstanceOf(model);
    const ModelBase* base = in->base;
    EXPECT_EQ(base->devicePools.built, 1);
    int shaped = 0;
    for (int i = 0; i < base->triangleListCount; ++i) {
        EXPECT_NE(base->triangleLists[i].deviceBlock, nullptr) << i;
        const bool ownCopy = base->triangleLists[i].mesh->needsInstanceVertices;
        EXPECT_EQ(in->triangleLists[i].ownVertexBuffer != nullptr, ownCopy) << i;
        shaped += ownCopy;
    }
    ASSERT_EQ(shaped, 1);  // the cube's list; the plain triangle shares the base's
    SetWeight(in, 0, 0.5f);
    ASSERT_EQ(ApplyModelShapes(model), 0);
    const std::vector<unsigned char> before = DeviceBytes(in);

    EXPECT_EQ(ReleaseModelVertexBuffers(), 0);
    EXPECT_EQ(base->devicePools.built, 0);
    for (int i = 0; i < base->triangleListCount; ++i) {
        EXPECT_EQ(base->triangleLists[i].deviceBlock, nullptr);
        EXPECT_EQ(in->triangleLists[i].ownVertexBuffer, nullptr);
    }
    ReleaseGraphicsDevice();
    ASSERT_EQ(CreateGraphicsDevice("recording"), 0);
    EXPECT_EQ(RecreateModelVertexBuffers(), 0);
    EXPECT_EQ(in->shapesDirty, 1);  // new buffers are filled by the next shape pass
    ASSERT_EQ(ApplyModelShapes(model), 0);
    EXPECT_EQ(DeviceBytes(in), before);
    EXPECT_EQ(ApplyModelShapes(model + 1), -1);
}

TEST_F(ModelShapesTest, AShapeMovesItsVerticesByItsWeight) {
    int model = LoadShaped();
    ASSERT_GE(model, 0) << Log();
    ModelInstance* in = InstanceOf(model);
    const ModelBaseMesh& cube = in->base->meshes[0];
    const ModelBaseFrame& frame = *cube.frame;
    ASSERT_TRUE(cube.needsInstanceVertices);
    const ModelBaseTriangleList& list = cube.firstTriangleList[0];
    const ModelTriangleListState& state = in->triangleLists[0];
    ASSERT_EQ(list.vertexKind, 0);
    const int stride = list.deviceBlock->stride;
    for (float w : {0.0f, 0.5f, 1.0f}) {
        SetWeight(in, 0, w);
        SetWeight(in, 1, 0.0f);
        ASSERT_EQ(DrawModel(model), 0);  // applies the shapes first
        int moved = 0;
        for (int v = 0; v < list.vertexCount; ++v) {
            const ModelBaseMeshVertex& mv = cube.vertices[list.meshVertices[v]];
            const bool lifted = mv.position == 6;
            moved += lifted;
            Vector3 p = frame.positions[mv.position].position, n = frame.normals[mv.normal].normal;
            if (lifted) {
                p = Vector3{p.x + w * kLift.x, p.y + w * kLift.y, p.z + w * kLift.z};
                n = Vector3{n.x + w * kLiftNormal.x, n.y + w * kLiftNormal.y, n.z + w * kLiftNormal.z};
            }
            float copy[8], device[6], drawn[3];
            std::memcpy(copy, static_cast<const unsigned char*>(state.vertexCopy) + v * 32, sizeof(copy));
            std::memcpy(device, state.ownVertexBuffer->bytes + v * stride, sizeof(device));
            std::memcpy(drawn, static_cast<const unsigned char*>(list.fixedVertices) + v * list.fixedStride, sizeof(drawn));
            const float want[6] = {p.x, p.y, p.z, n.x, n.y, n.z};
            for (int c = 0; c < 3; ++c) {
                EXPECT_FLOAT_EQ(copy[c], want[c]) << "weight " << w << " vertex " << v;
                EXPECT_FLOAT_EQ(copy[4 + c], want[3 + c]) << "weight " << w << " vertex " << v;
                EXPECT_FLOAT_EQ(device[c], want[c]);
                EXPECT_FLOAT_EQ(device[3 + c], want[3 + c]);
                EXPECT_FLOAT_EQ(drawn[c], want[c]);
            }
        }
        EXPECT_EQ(moved, 3);  // the corner takes one vertex per face that meets it
    }
    // A weight below 1e-7 counts as none; the second shape moves its own corner.
    SetWeight(in, 0, 0.00000009f);
    SetWeight(in, 1, 1.0f);
    ASSERT_EQ(ApplyModelShapes(model), 0);
    for (int v = 0; v < list.vertexCount; ++v) {
        const ModelBaseMeshVertex& mv = cube.vertices[list.meshVertices[v]];
        float x;
        std::memcpy(&x, static_cast<const unsigned char*>(state.vertexCopy) + v * 32, 4);
        EXPECT_FLOAT_EQ(x, frame.positions[mv.position].position.x - (mv.position == 0 ? 5.0f : 0.0f));
        float z;
        std::memcpy(&z, static_cast<const unsigned char*>(state.vertexCopy) + v * 32 + 8, 4);
        EXPECT_FLOAT_EQ(z, frame.positions[mv.position].position.z);
    }
    EXPECT_EQ(DeleteModel(model), 0);  // its own buffers go with it (the leak check)
}

}  // namespace
