// Shared set-up of the graphics tests: a device on the GL back end (an
// off-screen window with a GL context) or on the recording back end, and
// pixel helpers.
#pragma once
#include "engine/graph.h"
#include "engine/log.h"
#include "graphics/device/device.h"
#include "graphics/device/devicestate.h"
#include "graphics/software/softwarepath.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace morpotta;

inline int ChannelOf(uint32_t argb, int shift) { return int((argb >> shift) & 0xFF); }

// |difference| of each of r, g, b (and a when asked) within tolerance.
inline ::testing::AssertionResult ColorNear(uint32_t actual, uint32_t expected, int tolerance, bool alpha = false) {
    for (int shift : {16, 8, 0, 24}) {
        if (shift == 24 && !alpha) continue;
        if (std::abs(ChannelOf(actual, shift) - ChannelOf(expected, shift)) > tolerance) {
            char text[96];
            std::snprintf(text, sizeof text, "actual %08X, expected %08X (tolerance %d)", actual, expected, tolerance);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}

inline uint32_t PackArgb(int a, int r, int g, int b) {
    auto c = [](int v) { return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    return c(a) << 24 | c(r) << 16 | c(g) << 8 | c(b);
}

// The software screen graphics start-up makes without a device, for tests
// that make pictures on the software path without starting the engine (a
// picture is refused while there is nothing to draw it on).
struct ScopedSoftwareScreen {
    ScopedSoftwareScreen() { EXPECT_EQ(CreateSoftwareScreen(), 0); }
    ~ScopedSoftwareScreen() { ReleaseSoftwareScreen(); }
};

class RecordingDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        ResetDeviceStateCache();
        ASSERT_EQ(CreateGraphicsDevice("recording"), 0);
    }
    void TearDown() override {
        DeleteAllGraphs();
        ReleaseGraphicsDevice();
        ResetDeviceStateCache();
    }
};

class GlDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        ASSERT_TRUE(platform::SelectWindowBackend("sdl2"));
        platform::WindowDesc desc;
        desc.withGl = true;
        desc.visible = false;
        ASSERT_EQ(platform::Window().open(desc), 0) << "no off-screen GL window";
        ResetDeviceStateCache();
        ASSERT_EQ(CreateGraphicsDevice("gl"), 0);
        DeviceViewport vp = {0, 0, kDeviceTargetWidth, kDeviceTargetHeight, 0.0f, 1.0f};
        SendDeviceViewport(&vp);
        ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, 0xFF000000u, 1.0f);
    }
    void TearDown() override {
        DeleteAllGraphs();
        ReleaseGraphicsDevice();
        ResetDeviceStateCache();
        platform::Window().close();
    }
    static uint32_t PixelAt(int x, int y) {
        uint32_t p = 0;
        EXPECT_EQ(ReadDevicePixels(x, y, 1, 1, &p), 0);
        return p;
    }
};

// A screen-space vertex with two colours and one texture-coordinate set.
struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t diffuse, specular;
    float u, v;
};
constexpr uint32_t kScreenVertexFvf = DEVICE_FVF_XYZRHW | DEVICE_FVF_DIFFUSE | DEVICE_FVF_SPECULAR | DeviceFvfTexCount(1);

// Two triangles covering [x0, x1) x [y0, y1) with texture 0..1.
inline void DrawScreenQuad(float x0, float y0, float x1, float y1, uint32_t diffuse, uint32_t specular = 0) {
    ScreenVertex v[4] = {{x0 - 0.5f, y0 - 0.5f, 0.5f, 1, diffuse, specular, 0, 0},
                         {x1 - 0.5f, y0 - 0.5f, 0.5f, 1, diffuse, specular, 1, 0},
                         {x0 - 0.5f, y1 - 0.5f, 0.5f, 1, diffuse, specular, 0, 1},
                         {x1 - 0.5f, y1 - 0.5f, 0.5f, 1, diffuse, specular, 1, 1}};
    SendDeviceFvf(kScreenVertexFvf);
    DrawDevicePrimitiveUP(DEVICE_PT_TRIANGLESTRIP, 2, v, sizeof(ScreenVertex));
}

// A texture of one colour.
inline DeviceTexture* MakeSolidTexture(uint32_t argb, int size = 4) {
    DeviceTexture* t = CreateDeviceTexture(size, size, 1, 0, DEVICE_FMT_A8R8G8B8, 0);
    if (!t) return nullptr;
    void* bits = nullptr;
    int pitch = 0;
    LockDeviceTexture(t, 0, &bits, &pitch);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) static_cast<uint32_t*>(bits)[y * (pitch / 4) + x] = argb;
    UnlockDeviceTexture(t, 0);
    return t;
}

// Writes 0xAARRGGBB rows as an RGBA PNG; 0 or -1.
int WritePngFile(const std::string& path, const uint32_t* argb, int width, int height, bool withAlpha = true);
// Encodes 0xAARRGGBB rows (alpha ignored) as a JPEG in memory.
std::vector<unsigned char> EncodeJpeg(const uint32_t* argb, int width, int height, int quality);
// A four-ink JPEG of the picture, as print tools write one: colourSpace
// JCS_CMYK or JCS_YCCK (an int, to keep jpeglib.h out of this header). With
// adobeMarker the inks are stored inverted, as such tools do; without it,
// plain.
std::vector<unsigned char> EncodeJpegInks(const uint32_t* argb, int width, int height, int colourSpace,
                                          bool adobeMarker);
std::vector<unsigned char> EncodePng(const uint32_t* argb, int width, int height, int colorType, int bitDepth);
