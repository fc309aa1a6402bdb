// Vertex and index buffers: locking, the bounds every draw is checked
// against, and the draw records the recording device keeps.
#include "foundation/log_internal.h"
#include "graphics/device/recording/recording.h"
#include "graphics_test_util.h"
#include "scoped_temp_dir.h"

#include <cstring>

using namespace morpotta;

namespace {

using DeviceBufferTest = RecordingDeviceTest;

struct LitVertex {
    float x, y, z;
    uint32_t diffuse;
};
constexpr uint32_t kLitFvf = DEVICE_FVF_XYZ | DEVICE_FVF_DIFFUSE;

TEST_F(DeviceBufferTest, LockRangesAreCheckedAndALockIsExclusive) {
    DeviceVertexBuffer* vb = CreateDeviceVertexBuffer(64, DEVICE_USAGE_WRITEONLY, kLitFvf, 0);
    ASSERT_NE(vb, nullptr);
    void* data = nullptr;
    EXPECT_EQ(LockDeviceVertexBuffer(vb, 60, 8, &data, 0), -1);
    EXPECT_EQ(LockDeviceVertexBuffer(vb, -4, 4, &data, 0), -1);
    EXPECT_EQ(LockDeviceVertexBuffer(vb, 16, 0, &data, 0), 0);  // to the end
    EXPECT_EQ(LockDeviceVertexBuffer(vb, 0, 4, &data, 0), -1);  // already locked
    EXPECT_EQ(UnlockDeviceVertexBuffer(vb), 0);
    EXPECT_EQ(UnlockDeviceVertexBuffer(vb), -1);
    EXPECT_EQ(GetDeviceVertexBufferLength(vb), 64);
    EXPECT_EQ(ReleaseDeviceVertexBuffer(vb), 0);
    EXPECT_EQ(CreateDeviceVertexBuffer(0, 0, 0, 0), nullptr);
    EXPECT_EQ(CreateDeviceIndexBuffer(64, 0, DEVICE_FMT_A8R8G8B8, 0), nullptr);
}

TEST_F(DeviceBufferTest, DrawsReadingPastTheirBuffersAreRefused) {
    DeviceVertexBuffer* vb = CreateDeviceVertexBuffer(3 * sizeof(LitVertex), DEVICE_USAGE_WRITEONLY, kLitFvf, 0);
    DeviceIndexBuffer* ib = CreateDeviceIndexBuffer(6 * 2, DEVICE_USAGE_WRITEONLY, DEVICE_FMT_INDEX16, 0);
    ASSERT_TRUE(vb && ib);
    void* data = nullptr;
    ASSERT_EQ(LockDeviceIndexBuffer(ib, 0, 0, &data, 0), 0);
    const uint16_t indices[6] = {0, 1, 2, 2, 1, 7};
    std::memcpy(data, indices, sizeof indices);
    UnlockDeviceIndexBuffer(ib);
    SendDeviceFvf(kLitFvf);
    SendDeviceStreamSource(vb, 0, sizeof(LitVertex));
    SendDeviceIndices(ib);
    ClearRecordedDeviceCalls();
    EXPECT_EQ(DrawDevicePrimitive(DEVICE_PT_TRIANGLELIST, 0, 1), 0);
    EXPECT_EQ(DrawDevicePrimitive(DEVICE_PT_TRIANGLELIST, 1, 1), -1);
    EXPECT_EQ(DrawDevicePrimitive(DEVICE_PT_TRIANGLELIST, 0, 2), -1);
    EXPECT_EQ(DrawDeviceIndexedPrimitive(DEVICE_PT_TRIANGLELIST, 0, 0, 3, 0, 1), 0);
    EXPECT_EQ(DrawDeviceIndexedPrimitive(DEVICE_PT_TRIANGLELIST, 0, 0, 3, 3, 1), -1);  // index 7
    EXPECT_EQ(DrawDeviceIndexedPrimitive(DEVICE_PT_TRIANGLELIST, 0, 0, 3, 3, 2), -1);  // past the index buffer
    EXPECT_EQ(DrawDeviceIndexedPrimitive(DEVICE_PT_TRIANGLELIST, 1, 0, 3, 0, 1), -1);  // base moves past the end
    EXPECT_EQ(DrawDevicePrimitive(99, 0, 1), -1);
    EXPECT_EQ(DrawDevicePrimitive(DEVICE_PT_TRIANGLELIST, 0, 0), -1);
    ASSERT_EQ(GetRecordedDraws().size(), 2u);
    EXPECT_FALSE(GetRecordedDraws()[0].draw.indexed);
    EXPECT_TRUE(GetRecordedDraws()[1].draw.indexed);

    // A stride shorter than the vertex format would read past each vertex.
    SendDeviceStreamSource(vb, 0, 8);
    EXPECT_EQ(DrawDevicePrimitive(DEVICE_PT_TRIANGLELIST, 0, 1), -1);
    ReleaseDeviceVertexBuffer(vb);
    ReleaseDeviceIndexBuffer(ib);
    // Released buffers no longer feed draws.
    EXPECT_EQ(DrawDevicePrimitive(DEVICE_PT_TRIANGLELIST, 0, 1), -1);
}

TEST_F(DeviceBufferTest, MemoryDrawsCheckTheirIndicesAgainstTheVertexRange) {
    LitVertex v[4] = {};
    const uint16_t good[3] = {1, 2, 3};
    const uint16_t bad[3] = {1, 2, 4};
    SendDeviceFvf(kLitFvf);
    EXPECT_EQ(DrawDeviceIndexedPrimitiveUP(DEVICE_PT_TRIANGLELIST, 1, 3, 1, good, DEVICE_FMT_INDEX16, v,
                                           sizeof(LitVertex)),
              0);
    EXPECT_EQ(DrawDeviceIndexedPrimitiveUP(DEVICE_PT_TRIANGLELIST, 1, 3, 1, bad, DEVICE_FMT_INDEX16, v,
                                           sizeof(LitVertex)),
              -1);
    EXPECT_EQ(DrawDeviceIndexedPrimitiveUP(DEVICE_PT_TRIANGLELIST, 0, 4, 1, good, DEVICE_FMT_INDEX16, nullptr,
                                           sizeof(LitVertex)),
              -1);
    EXPECT_EQ(DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLESTRIP, 2, v, sizeof(LitVertex)), 0);
    EXPECT_EQ(DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLESTRIP, 2, v, 4), -1);
}

// Every draw the device refuses leaves a line in the log that names the call.
TEST_F(DeviceBufferTest, RefusedDrawsSayWhyInTheLog) {
    ScopedTempDir dir;
    SetLogOutput(1);
    StartLog();
    LitVertex v[3] = {};
    const uint16_t indices[3] = {0, 1, 5};
    SendDeviceFvf(kLitFvf);
    EXPECT_EQ(DrawDevicePrimitive(DEVICE_PT_TRIANGLELIST, 0, 1), -1);  // no stream
    EXPECT_EQ(DrawDeviceIndexedPrimitive(DEVICE_PT_TRIANGLELIST, 0, 0, 3, 0, 1), -1);
    EXPECT_EQ(DrawDevicePrimitiveUP(99, 1, v, sizeof(LitVertex)), -1);
    EXPECT_EQ(DrawDeviceIndexedPrimitiveUP(DEVICE_PT_TRIANGLELIST, 0, 3, 1, indices, DEVICE_FMT_INDEX16, v,
                                           sizeof(LitVertex)),
              -1);
    ReleaseGraphicsDevice();
    EXPECT_EQ(DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLELIST, 1, v, sizeof(LitVertex)), -1);
    EndLog();
    SetLogOutput(0);
    const std::string log = ScopedTempDir::ReadFile(dir.path() / "Log.txt");
    for (const char* line : {"DrawDevicePrimitive refused: no vertex stream",
                             "DrawDeviceIndexedPrimitive refused: no vertex stream or index buffer",
                             "DrawDevicePrimitiveUP refused: an unknown primitive type",
                             "DrawDeviceIndexedPrimitiveUP refused: it has indices outside its vertex range",
                             "DrawDevicePrimitiveUP refused: no graphics device"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST_F(DeviceBufferTest, FlexibleVertexFormatSizes) {
    EXPECT_EQ(DeviceFvfStride(DEVICE_FVF_XYZ), 12);
    EXPECT_EQ(DeviceFvfStride(0xD2 | DeviceFvfTexCount(2) | DeviceFvfTexCoordSize4(0) | DeviceFvfTexCoordSize4(1)),
              12 + 12 + 4 + 4 + 32);
    EXPECT_EQ(DeviceFvfStride(DEVICE_FVF_XYZRHW | DEVICE_FVF_DIFFUSE | DeviceFvfTexCount(1)), 16 + 4 + 8);
    EXPECT_EQ(DeviceFvfStride(0x42), 16);
    EXPECT_EQ(DeviceFvfStride(0), 0);
}

TEST_F(DeviceBufferTest, TexturesLockPerLevelWithTheirMipChain) {
    DeviceTexture* t = CreateDeviceTexture(8, 4, 0, 0, DEVICE_FMT_A8R8G8B8, 0);
    ASSERT_NE(t, nullptr);
    DeviceTextureDesc d;
    ASSERT_EQ(GetDeviceTextureDesc(t, 0, &d), 0);
    EXPECT_EQ(d.levels, 4);
    ASSERT_EQ(GetDeviceTextureDesc(t, 3, &d), 0);
    EXPECT_EQ(d.width, 1);
    EXPECT_EQ(d.height, 1);
    void* bits = nullptr;
    int pitch = 0;
    EXPECT_EQ(LockDeviceTexture(t, 4, &bits, &pitch), -1);
    EXPECT_EQ(LockDeviceTexture(t, 1, &bits, &pitch), 0);
    EXPECT_EQ(pitch, 16);
    EXPECT_EQ(UnlockDeviceTexture(t, 1), 0);
    EXPECT_EQ(UnlockDeviceTexture(t, 1), -1);
    ReleaseDeviceTexture(t);
    for (int f : {DEVICE_FMT_X8R8G8B8, DEVICE_FMT_R5G6B5, DEVICE_FMT_A1R5G5B5, DEVICE_FMT_A4R4G4B4}) {
        DeviceTexture* other = CreateDeviceTexture(4, 4, 1, 0, f, 0);
        EXPECT_NE(other, nullptr) << f;
        ReleaseDeviceTexture(other);
    }
    EXPECT_EQ(CreateDeviceTexture(4, 4, 1, 0, DEVICE_FMT_INDEX16, 0), nullptr);
    EXPECT_EQ(CreateDeviceTexture(0, 4, 1, 0, DEVICE_FMT_A8R8G8B8, 0), nullptr);
}

}  // namespace
