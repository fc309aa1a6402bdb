// Settings that the following draws read: blend graph, draw area, texture
// filter, the 3-D depth switches, and the colour makers.
#include "engine/draw2d.h"
#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "graphics/device/devicestate.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/graph_internal.h"
#include "graphics/softimage/drawstate.h"
#include "platform/lasting_state.h"

#include <algorithm>

using namespace morpotta;

namespace {

struct DrawSettingsModule {
    int blendGraph = -1;
    int blendThreshold = 0;
    int blendEdgeWidth = 0;
    int screenArea[4] = {0, 0, kDeviceTargetWidth, kDeviceTargetHeight};
    int filterMode = 0;
    int depthTest = 0;
    int depthWrite = 0;
};

DrawSettingsModule& DrawSettingsState() {
    return platform::LastingState<DrawSettingsModule>();
}
const SoftwareDraw2DPath* softwarePath = nullptr;

}  // namespace

uint32_t MakeScreenColor(int red, int green, int blue) {
    auto c = [](int v) { return uint32_t(std::clamp(v, 0, 255)); };
    return 0xFF000000u | c(red) << 16 | c(green) << 8 | c(blue);
}

FloatColor MakeFloatColor(float r, float g, float b, float a) { return {r, g, b, a}; }

int SetDrawBlendGraph(int graph, int threshold, int edgeWidth) {
    const PublicCall call("SetDrawBlendGraph");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (graph != -1 && !GetGraphForCall(graph)) return -1;
    FlushPendingDraws();
    DrawSettingsState().blendGraph = graph;
    DrawSettingsState().blendThreshold = std::clamp(threshold, 0, 255);
    DrawSettingsState().blendEdgeWidth = std::clamp(edgeWidth, 0, 255);
    return BuildBlendLevelTable(DrawSettingsState().blendThreshold, DrawSettingsState().blendEdgeWidth);
}

int GetDrawBlendGraph() {
    const PublicCall call("GetDrawBlendGraph");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (DrawSettingsState().blendGraph != -1 && !GetGraphRecord(DrawSettingsState().blendGraph)) DrawSettingsState().blendGraph = -1;  // deleted since
    return DrawSettingsState().blendGraph;
}

namespace morpotta {

void GetDrawBlendGraphSettings(int* threshold, int* edgeWidth) {
    *threshold = DrawSettingsState().blendThreshold;
    *edgeWidth = DrawSettingsState().blendEdgeWidth;
}

}  // namespace morpotta

int SetDrawArea(int left, int top, int right, int bottom) {
    const PublicCall call("SetDrawArea");
    if (!AllowOnlyOnEngineThread()) return -1;
    FlushPendingDraws();
    DrawSettingsState().screenArea[0] = std::clamp(std::min(left, right), 0, kDeviceTargetWidth);
    DrawSettingsState().screenArea[2] = std::clamp(std::max(left, right), 0, kDeviceTargetWidth);
    DrawSettingsState().screenArea[1] = std::clamp(std::min(top, bottom), 0, kDeviceTargetHeight);
    DrawSettingsState().screenArea[3] = std::clamp(std::max(top, bottom), 0, kDeviceTargetHeight);
    if (DrawTargetMemImg) SetSoftwareDrawArea(left, top, right, bottom);
    return 0;
}

namespace morpotta {

const int* GetScreenDrawArea() { return DrawSettingsState().screenArea; }

void ResetDraw2DSettings() {
    DrawSettingsState().blendGraph = -1;
    DrawSettingsState().blendThreshold = DrawSettingsState().blendEdgeWidth = 0;
    DrawSettingsState().screenArea[0] = DrawSettingsState().screenArea[1] = 0;
    DrawSettingsState().screenArea[2] = kDeviceTargetWidth;
    DrawSettingsState().screenArea[3] = kDeviceTargetHeight;
    DrawSettingsState().filterMode = 0;
    DrawSettingsState().depthTest = DrawSettingsState().depthWrite = 0;
}

}  // namespace morpotta

int SetDrawFilterMode(int mode) {
    const PublicCall call("SetDrawFilterMode");
    if (!AllowOnlyOnEngineThread()) return -1;
    DrawSettingsState().filterMode = mode == 1 ? 1 : 0;
    return 0;
}

int GetDrawFilterMode() {
    const PublicCall call("GetDrawFilterMode");
    if (!AllowOnlyOnEngineThread()) return -1;
    return DrawSettingsState().filterMode;
}

namespace morpotta {

void Apply2DFilter() {
    const uint32_t f = DrawSettingsState().filterMode == 1 ? DEVICE_FILTER_LINEAR : DEVICE_FILTER_POINT;
    SetDeviceSamplerState(0, DEVICE_SAMP_MAGFILTER, f);
    SetDeviceSamplerState(0, DEVICE_SAMP_MINFILTER, f);
    SetDeviceSamplerState(0, DEVICE_SAMP_MIPFILTER, DEVICE_FILTER_NONE);
    GetDeviceStateCache()->filterMode = DrawSettingsState().filterMode;
}

}  // namespace morpotta

int SetDepthTestEnabled(int flag) {
    const PublicCall call("SetDepthTestEnabled");
    if (!AllowOnlyOnEngineThread()) return -1;
    DrawSettingsState().depthTest = flag ? 1 : 0;
    return 0;
}

int SetDepthWriteEnabled(int flag) {
    const PublicCall call("SetDepthWriteEnabled");
    if (!AllowOnlyOnEngineThread()) return -1;
    DrawSettingsState().depthWrite = flag ? 1 : 0;
    return 0;
}

int GetDepthTestEnabled() {
    const PublicCall call("GetDepthTestEnabled");
    if (!AllowOnlyOnEngineThread()) return -1;
    return DrawSettingsState().depthTest;
}
int GetDepthWriteEnabled() {
    const PublicCall call("GetDepthWriteEnabled");
    if (!AllowOnlyOnEngineThread()) return -1;
    return DrawSettingsState().depthWrite;
}

namespace morpotta {

void SetSoftwareDraw2DPath(const SoftwareDraw2DPath* path) { softwarePath = path; }
const SoftwareDraw2DPath* GetSoftwareDraw2DPath() { return softwarePath; }

}  // namespace morpotta
