// The 2-D drawing fixture: a GL device with the draw state as after
// graphics start-up, graphs made from generated pixels, and read-back that
// flushes the batch first.
#pragma once
#include "engine/camera.h"
#include "engine/draw2d.h"
#include "engine/screen.h"
#include "graphics/camera/camera_internal.h"
#include "graphics/draw2d/batch2d.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/softimage/drawstate.h"
#include "graphics_test_util.h"

#include <functional>

using namespace morpotta;

class Draw2DTest : public GlDeviceTest {
protected:
    void SetUp() override {
        GlDeviceTest::SetUp();
        BuildBlendTables();
        ResetSoftwareDrawState();
        ResetDraw2DSettings();
        ResetCameraAndLights();
        SelectDrawTargetScreen(kDrawScreenBack);
    }
    void TearDown() override {
        FlushPendingDraws();
        ReleaseBlendScratch();
        Forget2DBatchState();
        GlDeviceTest::TearDown();
    }
    static uint32_t Px(int x, int y) {
        FlushPendingDraws();
        return PixelAt(x, y);
    }
};

// A graph of width x height whose pixel (x, y) is argb(x, y); no colour keying.
inline int MakeGraphOf(int width, int height, const std::function<uint32_t(int, int)>& argb) {
    PixelFormatDesc format;
    SetPixelFormatArgb32(&format);
    BASEIMAGE image;
    if (CreateBaseImageWithFormat(width, height, &format, &image) != 0) return -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t c = argb(x, y);
            SetBaseImagePixel(&image, x, y, int(c >> 16 & 0xFF), int(c >> 8 & 0xFF), int(c & 0xFF), int(c >> 24));
        }
    int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    FreeBaseImagePixels(&image);
    return graph;
}

inline int MakeSolidGraph(int width, int height, uint32_t argb) {
    return MakeGraphOf(width, height, [argb](int, int) { return argb; });
}
