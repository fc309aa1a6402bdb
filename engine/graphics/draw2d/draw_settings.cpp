// Settings that the following draws read: blend graph, draw area, texture
// filter, the 3-D depth switches, and the colour makers.
#include "engine/draw2d.h"
#include "engine/log.h"
#include "graphics/device/devicestate.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/graph_internal.h"
#include "graphics/softimage/drawstate.h"

#include <algorithm>

namespace {

int blendGraph = -1;
int blendThreshold = 0, blendEdgeWidth = 0;
int screenArea[4] = {0, 0, kDeviceTargetWidth, kDeviceTargetHeight};
int filterMode = 0;
int depthTest = 0, depthWrite = 0;
const SoftwareDraw2DPath* softwarePath = nullptr;

}  // namespace

uint32_t MakeScreenColor(int red, int green, int blue) {
    auto c = [](int v) { return uint32_t(std::clamp(v, 0, 255)); };
    return 0xFF000000u | c(red) << 16 | c(green) << 8 | c(blue);
}

FloatColor MakeFloatColor(float r, float g, float b, float a) { return {r, g, b, a}; }

int SetDrawBlendGraph(int graph, int threshold, int edgeWidth) {
    if (graph != -1 && !GetGraphRecord(graph))
        return WriteLogFormat("Bad blend graph handle %d in SetDrawBlendGraph", graph);
    FlushPendingDraws();
    blendGraph = graph;
    blendThreshold = std::clamp(threshold, 0, 255);
    blendEdgeWidth = std::clamp(edgeWidth, 0, 255);
    return BuildBlendLevelTable(blendThreshold, blendEdgeWidth);
}

int GetDrawBlendGraph() {
    if (blendGraph != -1 && !GetGraphRecord(blendGraph)) blendGraph = -1;  // deleted since
    return blendGraph;
}

void GetDrawBlendGraphSettings(int* threshold, int* edgeWidth) {
    *threshold = blendThreshold;
    *edgeWidth = blendEdgeWidth;
}

int SetDrawArea(int left, int top, int right, int bottom) {
    FlushPendingDraws();
    screenArea[0] = std::clamp(std::min(left, right), 0, kDeviceTargetWidth);
    screenArea[2] = std::clamp(std::max(left, right), 0, kDeviceTargetWidth);
    screenArea[1] = std::clamp(std::min(top, bottom), 0, kDeviceTargetHeight);
    screenArea[3] = std::clamp(std::max(top, bottom), 0, kDeviceTargetHeight);
    if (DrawTargetMemImg) SetSoftwareDrawArea(left, top, right, bottom);
    return 0;
}

const int* GetScreenDrawArea() { return screenArea; }

void ResetDraw2DSettings() {
    blendGraph = -1;
    blendThreshold = blendEdgeWidth = 0;
    screenArea[0] = screenArea[1] = 0;
    screenArea[2] = kDeviceTargetWidth;
    screenArea[3] = kDeviceTargetHeight;
    filterMode = 0;
    depthTest = depthWrite = 0;
}

int SetDrawFilterMode(int mode) {
    filterMode = mode == 1 ? 1 : 0;
    return 0;
}

int GetDrawFilterMode() { return filterMode; }

void Apply2DFilter() {
    const uint32_t f = filterMode == 1 ? DEVICE_FILTER_LINEAR : DEVICE_FILTER_POINT;
    SetDeviceSamplerState(0, DEVICE_SAMP_MAGFILTER, f);
    SetDeviceSamplerState(0, DEVICE_SAMP_MINFILTER, f);
    SetDeviceSamplerState(0, DEVICE_SAMP_MIPFILTER, DEVICE_FILTER_NONE);
    GetDeviceStateCache()->filterMode = filterMode;
}

int SetDepthTestEnabled(int flag) {
    depthTest = flag ? 1 : 0;
    return 0;
}

int SetDepthWriteEnabled(int flag) {
    depthWrite = flag ? 1 : 0;
    return 0;
}

int GetDepthTestEnabled() { return depthTest; }
int GetDepthWriteEnabled() { return depthWrite; }

void SetSoftwareDraw2DPath(const SoftwareDraw2DPath* path) { softwarePath = path; }
const SoftwareDraw2DPath* GetSoftwareDraw2DPath() { return softwarePath; }
