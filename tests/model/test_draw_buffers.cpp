// Pooled device buffers of base data on the recording device: blocks split
// at their byte limit, rigid vertices land where their lists say, a
// release and rebuild around a device loss gives the same contents, and
// empty triangle lists of a loaded model are left out.
#include <cstring>
#include <vector>

#include "device_fixture.h"
#include "engine/model.h"
#include "engine/log.h"
#include "graphics/device/device.h"
#include "graphics/device/device_internal.h"
#include "graphics/device/devicestate.h"
#include "graphics/device/recording/recording.h"
#include "model/convert/convert.h"
#include "model/draw/model_device_buffers.h"
#include "model_generator.h"
#include "model_test_support.h"

using namespace morpotta;

namespace {

class DeviceBufferPoolTest : public ModelSystemTest {
protected:
    void SetUp() override {
        SetLogOutput(0);
        ModelSystemTest::SetUp();
        ResetDeviceStateCache();
        ASSERT_EQ(CreateGraphicsDevice("recording"), 0);
        InitReadModel(&model);
        root = AddReadModelFrame(&model, "root", nullptr);
    }
    void TearDown() override {
        FreeReadModel(&model);
        ModelSystemTest::TearDown();  // frees the base data and its buffers first
        ReleaseGraphicsDevice();
        ResetDeviceStateCache();
    }
    ModelBase* Convert() {
        handle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
        return handle == -1 ? nullptr : GetModelBase(handle);
    }
    static std::vector<unsigned char> Snapshot(const ModelBase* base) { return BaseDeviceBytes(base); }
    ReadModel model;
    ReadModelFrame* root;
    int handle = -1;
};

TEST_F(DeviceBufferPoolTest, RigidListsShareBlocksUntilTheByteLimit) {
    // Three meshes of 4500 vertices of 48 bytes (216000 bytes each): two
    // would pass the limit, so each list opens its own block.
    for (int m = 0; m < 3; ++m) ASSERT_NE(AddTriangleSoup(&model, root, 1500), nullptr);
    ModelBase* base = Convert();
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(BuildBaseDeviceBuffers(base), 0);
    EXPECT_EQ(base->devicePools.built, 1);
    int pool = 0 * 18 + 0 * 9 + 1;
    ASSERT_EQ(base->triangleListCount, 3);
    EXPECT_EQ(base->devicePools.blockCount[pool], 3);
    EXPECT_EQ(base->devicePools.totalBlocks, 3);
    for (ModelDeviceBlock* b = base->devicePools.first[pool]; b; b = b->next) {
        EXPECT_EQ(b->stride, 48);
        EXPECT_EQ(b->vertexBytes, 216000);
        EXPECT_EQ(b->fvf, ModelRigidDeviceFvf(1));
    }
    // The first vertex of the first list: position, normal and colours.
    const ModelBaseTriangleList& l = base->triangleLists[0];
    ASSERT_NE(l.deviceBlock, nullptr);
    float got[6], want[6];
    std::memcpy(got, l.deviceBlock->vertexBuffer->bytes + l.firstVertex * 48, sizeof(got));
    std::memcpy(want, l.vertices, 12);
    std::memcpy(want + 3, static_cast<const unsigned char*>(l.vertices) + 16, 12);
    for (int c = 0; c < 6; ++c) EXPECT_EQ(got[c], want[c]);
    uint16_t firstIndex;
    std::memcpy(&firstIndex, l.deviceBlock->indexBuffer->bytes + l.firstIndex * 2, 2);
    EXPECT_EQ(firstIndex, l.indices[0]);
}

TEST_F(DeviceBufferPoolTest, ReleaseAndRebuildAroundADeviceLossGivesTheSameBuffers) {
    ASSERT_NE(AddTestCube(&model, root), nullptr);
    ModelBase* base = Convert();
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(BuildModelBaseDeviceBuffers(handle, 1), 0);
    std::vector<unsigned char> before = Snapshot(base);
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(ReleaseModelVertexBuffers(), 0);
    EXPECT_EQ(base->devicePools.built, 0);
    EXPECT_EQ(base->triangleLists[0].deviceBlock, nullptr);
    ReleaseGraphicsDevice();
    ASSERT_EQ(CreateGraphicsDevice("recording"), 0);
    EXPECT_EQ(RecreateModelVertexBuffers(), 0);
    EXPECT_EQ(base->devicePools.built, 1);
    EXPECT_EQ(Snapshot(base), before);
    EXPECT_EQ(BuildModelBaseDeviceBuffers(handle, 1), 0);  // built already: nothing new
    EXPECT_EQ(BuildModelBaseDeviceBuffers(handle + 1, 1), -1);
    EXPECT_EQ(ReleaseModelBaseDeviceBuffers(-1), -1);
}

TEST_F(DeviceBufferPoolTest, NothingIsBuiltWithoutADevice) {
    ASSERT_NE(AddTestCube(&model, root), nullptr);
    ModelBase* base = Convert();
    ASSERT_NE(base, nullptr);
    ReleaseGraphicsDevice();
    EXPECT_EQ(BuildBaseDeviceBuffers(base), 0);
    EXPECT_EQ(base->devicePools.built, 0);
    EXPECT_EQ(base->devicePools.totalBlocks, 0);
}

// A binary model whose file holds a cube and, in a pool of their own, a
// list without indices and one without vertices (the reader takes both):
// the empty lists get no room, the cube its buffers, and nothing is
// drawn for them.
class EmptyListTest : public ModelOnDeviceTest {};

TEST_F(EmptyListTest, EmptyTriangleListsAreLeftOutAndTheRestGetsItsBuffers) {
    ReadModel model;
    InitReadModel(&model);
    ReadModelFrame* root = AddReadModelFrame(&model, "root", nullptr);
    ReadModelMesh* cube = AddTestCube(&model, root);
    ASSERT_NE(cube, nullptr);
    cube->materials[0] = AddReadModelMaterial(&model, "cube");
    cube->materialCount = 1;
    for (const char* name : {"no indices", "no vertices"})
        ASSERT_NE(AddTriangleSoup(&model, AddReadModelFrame(&model, name, root), 1), nullptr);
    const int baseHandle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
    FreeReadModel(&model);
    ModelBase* made = GetModelBase(baseHandle);
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(made->triangleListCount, 3);
    for (int i = 1; i < 3; ++i) {
        made->triangleLists[i].indexCount = 0;
        made->triangleLists[i].mesh->triangleCount = 0;
    }
    made->triangleLists[2].vertexCount = 0;

    const int loaded = LoadAsBinary(baseHandle, "empty.mv1");
    ASSERT_GE(loaded, 0) << Log();
    const ModelBase* base = BaseOf(loaded);
    ASSERT_EQ(base->triangleListCount, 3);
    EXPECT_EQ(base->triangleLists[1].indexCount, 0);
    EXPECT_EQ(base->triangleLists[2].vertexCount, 0);
    EXPECT_EQ(base->devicePools.built, 1) << Log();
    EXPECT_NE(base->triangleLists[0].deviceBlock, nullptr);
    EXPECT_EQ(base->triangleLists[1].deviceBlock, nullptr);
    EXPECT_EQ(base->triangleLists[2].deviceBlock, nullptr);
    EXPECT_EQ(base->devicePools.totalBlocks, 1);
    ClearRecordedDeviceCalls();
    EXPECT_EQ(DrawModel(loaded), 0);
    EXPECT_EQ(CountRecordedDeviceCalls(DEVICE_CALL_DRAW), 1);  // the cube's list alone
    EXPECT_EQ(Log().find("could not be made"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("refused"), std::string::npos) << Log();
}

}  // namespace
