// Shared by the 2-D drawing files.
#pragma once
#include <cstdint>

struct GRAPH;

void GetDrawBlendGraphSettings(int* threshold, int* edgeWidth);
const int* GetScreenDrawArea();  // left, top, right, bottom
// Everything back to the state after graphics start-up.
void ResetDraw2DSettings();
// The draw went nowhere: no device and no software entry for it. -1.
int ReportNoSoftwareDraw(const char* function);
// A picture with its per-pixel opacity taken from the blend graph, drawn
// through the batch as the quad with the given corners.
int DrawGraphThroughBlendGraph(const GRAPH* graph, const float xs[4], const float ys[4], int transparent,
                               int blendGraph, int turn);
// Releases the scratch texture of the blend-graph draws (device loss, end).
void ReleaseBlendScratch();
