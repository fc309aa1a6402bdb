// The draw screen: target choice, clearing, presenting with the emulated
// vertical-sync wait, and capture into a graph.
#include "engine/screen.h"

#include "engine/draw2d.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "foundation/engine_thread.h"
#include "graphics/device/device.h"
#include "graphics/device/devicestate.h"
#include "graphics/draw2d/batch2d.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/graph_internal.h"
#include "graphics/graphics_internal.h"
#include "graphics/software/softwarepath.h"
#include "platform/clock.h"
#include "platform/lasting_state.h"
#include "softblit/softblit.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace morpotta;

namespace {

constexpr uint64_t kFramePeriodUs = 1000000 / 60;
constexpr uint32_t kBackColor = 0xFF000000u;

struct ScreenModule {
    int drawScreen = kDrawScreenBack;
    uint64_t nextFrameUs = 0;
};

ScreenModule& ScreenState() {
    return morpotta::platform::LastingState<ScreenModule>();
}

// The wait a vertical blank would give: the next tick one period after the
// last; a late frame starts a new count instead of hurrying to catch up.
void WaitForVerticalSync() {
    const uint64_t now = platform::ClockMicroseconds();
    if (ScreenState().nextFrameUs > now) {
        platform::SleepMilliseconds(int((ScreenState().nextFrameUs - now + 999) / 1000));
        ScreenState().nextFrameUs += kFramePeriodUs;
    } else {
        ScreenState().nextFrameUs = now + kFramePeriodUs;
    }
}

// The area (x, y, width, height) of the draw screen as 0xFFRRGGBB rows,
// from the device or, without one, from the software screen. 0 or -1.
int ReadScreenArea(int x, int y, int width, int height, uint32_t* out) {
    if (HardwareRenderingActive()) {
        FlushPendingDraws();
        if (ReadDevicePixels(x, y, width, height, out) != 0) return -1;
    } else {
        const MEMIMG* screen = GetSoftwareScreen();
        if (!screen || x < 0 || y < 0 || width > screen->width - x || height > screen->height - y) return -1;
        for (int row = 0; row < height; ++row)
            std::memcpy(out + size_t(row) * size_t(width),
                        screen->pixels + size_t(y + row) * size_t(screen->base->pitch) + size_t(x) * 4,
                        size_t(width) * 4);
    }
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) out[i] |= 0xFF000000u;
    return 0;
}

}  // namespace

int SelectDrawTargetScreen(int screen) {
    const PublicCall call("SelectDrawTargetScreen");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (screen != kDrawScreenBack)
        return Refuse("unknown draw screen %d; kDrawScreenBack (%d) is the one screen", screen, kDrawScreenBack);
    ScreenState().drawScreen = screen;
    if (!HardwareRenderingActive()) return 0;
    FlushPendingDraws();
    return SetDeviceRenderTarget(nullptr);
}

int GetDrawTargetScreen() {
    const PublicCall call("GetDrawTargetScreen");
    if (!AllowOnlyOnEngineThread()) return -1;
    return ScreenState().drawScreen;
}

int ClearDrawScreenToBackColor(const DrawRect* area) {
    const PublicCall call("ClearDrawScreenToBackColor");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!HardwareRenderingActive()) {
        const SoftwareDraw2DPath* s = GetSoftwareDraw2DPath();
        if (!s || !s->clearScreen) return ReportNoSoftwareDraw();
        const int a[4] = {area ? area->left : 0, area ? area->top : 0, area ? area->right : kDeviceTargetWidth,
                          area ? area->bottom : kDeviceTargetHeight};
        return s->clearScreen(area ? a : nullptr, kBackColor);
    }
    FlushPendingDraws();
    static const int kWholeScreen[4] = {0, 0, kDeviceTargetWidth, kDeviceTargetHeight};
    if (!area) Apply2DViewport(kWholeScreen);  // a clear covers the viewport only
    if (!area) return ClearDevice(DEVICE_CLEAR_TARGET | DEVICE_CLEAR_ZBUFFER, kBackColor, 1.0f) == 0 ? 0 : -1;
    // A part of the screen: a box in the back colour, with no blending.
    const int left = std::clamp(std::min(area->left, area->right), 0, kDeviceTargetWidth);
    const int right = std::clamp(std::max(area->left, area->right), 0, kDeviceTargetWidth);
    const int top = std::clamp(std::min(area->top, area->bottom), 0, kDeviceTargetHeight);
    const int bottom = std::clamp(std::max(area->top, area->bottom), 0, kDeviceTargetHeight);
    if (left == right || top == bottom) return 0;
    Begin2DBatch({nullptr, DRAW2D_BLEND_NONE, 0, 0});
    const float xs[4] = {left - 0.5f, right - 0.5f, left - 0.5f, right - 0.5f};
    const float ys[4] = {top - 0.5f, top - 0.5f, bottom - 0.5f, bottom - 0.5f};
    const float zero[4] = {0, 0, 0, 0};
    Append2DQuad(xs, ys, zero, zero, kBackColor);
    return FlushPendingDraws();
}

int PresentFrame() {
    const PublicCall call("PresentFrame");
    if (!AllowOnlyOnEngineThread() || !CheckGraphicsRunning()) return -1;
    int result = 0;
    if (HardwareRenderingActive()) {
        FlushPendingDraws();
        result = PresentDevice() == 0 ? 0 : Refuse("presenting the frame failed");
    } else {
        result = PresentSoftwareScreen();
    }
    WaitForVerticalSync();
    return result;
}

int ReadDrawScreenPixels(uint32_t* out) {
    const PublicCall call("ReadDrawScreenPixels");
    if (!AllowOnlyOnEngineThread() || !CheckGraphicsRunning()) return -1;
    if (!out) return RefuseNull("place for the pixels");
    if (ReadScreenArea(0, 0, kDeviceTargetWidth, kDeviceTargetHeight, out) != 0)
        return Refuse("reading the draw screen failed");
    return 0;
}

int CaptureScreenToGraph(int x1, int y1, int x2, int y2, int graph, int) {
    const PublicCall call("CaptureScreenToGraph");
    if (!AllowOnlyOnEngineThread()) return -1;
    const GRAPH* g = GetGraphForCall(graph);
    if (!g) return -1;
    const int width = g->width, height = g->height;
    if (x2 - x1 != width || y2 - y1 != height)
        return Refuse("the area is %dx%d, the graph %dx%d", x2 - x1, y2 - y1, width, height);
    if (x1 < 0 || y1 < 0 || x2 > kDeviceTargetWidth || y2 > kDeviceTargetHeight || width <= 0 || height <= 0)
        return Refuse("the area leaves the screen");
    BASEIMAGE image;
    if (CreateBaseImageXrgb32(width, height, &image) != 0) return -1;
    std::vector<uint32_t> rows(size_t(width) * size_t(height));
    int result = ReadScreenArea(x1, y1, width, height, rows.data());
    if (result == 0) {
        for (int y = 0; y < height; ++y) {
            auto* dest = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image.pixels) + size_t(y) * size_t(image.pitch));
            std::memcpy(dest, rows.data() + size_t(y) * size_t(width), size_t(width) * 4);
        }
        result = RefillGraphFromBaseImage(&image, nullptr, graph);
    } else {
        Refuse("reading the draw screen failed");
    }
    FreeBaseImagePixels(&image);
    return result;
}

int BeginMaskedDraw(DrawRect) {
    const PublicCall call("BeginMaskedDraw");
    if (!AllowOnlyOnEngineThread()) return -1;
    return 0;
}
