// The software forms plugged into 2-D drawing's device-less path: what the
// public drawing functions call when there is no graphics device.
#include <algorithm>
#include <cstring>

#include "engine/draw2d.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/software/softwarepath.h"
#include "softblit/softblit.h"

namespace morpotta {

namespace {

// A plain draw picks up the current blend graph (a wipe in progress).
int DrawGraph(int x, int y, int graph, int transparent) {
    const int blendGraph = GetDrawBlendGraph();
    if (blendGraph == -1) return DrawGraphAtSoftware(x, y, graph, transparent);
    int threshold = 0, edgeWidth = 0;
    GetDrawBlendGraphSettings(&threshold, &edgeWidth);
    return DrawGraphWithBlendGraphSoftware(x, y, graph, transparent, blendGraph, threshold, edgeWidth);
}

int DrawGraphRotated(int x, int y, double scale, double angle, int graph, int transparent, int turn) {
    return DrawGraphRotatedAtSoftware(x, y, scale, angle, graph, transparent, turn);
}

// Clearing ignores the blend state: the area simply takes the colour.
int ClearScreen(const int* area, uint32_t colour) {
    MEMIMG* screen = GetSoftwareScreen();
    if (!screen) return -1;
    int rect[4] = {0, 0, screen->width, screen->height};
    if (area) {
        rect[0] = std::clamp(area[0], 0, screen->width);
        rect[1] = std::clamp(area[1], 0, screen->height);
        rect[2] = std::clamp(area[2], rect[0], screen->width);
        rect[3] = std::clamp(area[3], rect[1], screen->height);
    }
    const uint32_t word = colour & 0xFFFFFFu;
    for (int y = rect[1]; y < rect[3]; ++y) {
        uint8_t* row = screen->pixels + y * screen->base->pitch;
        for (int x = rect[0]; x < rect[2]; ++x) std::memcpy(row + 4 * x, &word, 4);
    }
    return 0;
}

const SoftwareDraw2DPath kSoftwarePath = {DrawGraph,
                                          DrawGraphRotated,
                                          DrawLineSegmentSoftware,
                                          DrawRectangleSoftware,
                                          ClearScreen,
                                          DrawTextPiecesSoftware,
                                          DrawGraphQuadSoftware};

}  // namespace

void InstallSoftwareDraw2DPath() { SetSoftwareDraw2DPath(&kSoftwarePath); }

}  // namespace morpotta
