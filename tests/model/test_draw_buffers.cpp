// Pooled device buffers of base data on the recording device: blocks split
// at their byte limit, rigid vertices land where their lists say, and a
// release and rebuild around a device loss gives the same contents.
#include <cstring>
#include <vector>

#include "device_fixture.h"
#include "engine/log.h"
#include "graphics/device/device.h"
#include "graphics/device/device_internal.h"
#include "graphics/device/devicestate.h"
#include "model/convert/convert.h"
#include "model/draw/model_device_buffers.h"
#include "model_generator.h"
#include "model_test_support.h"

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

}  // namespace
