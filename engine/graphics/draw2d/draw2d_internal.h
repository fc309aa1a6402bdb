// The 2-D drawing layer as the rest of the graphics layer uses it: its
// settings, the blend-graph draws, and the seam of the software path.
#pragma once
#include <cstdint>

namespace morpotta {

struct GRAPH;

// Draw coordinates are brought within this distance of the screen's
// corner before a draw works with them, whatever int the caller passed:
// nothing beyond it can show, every sum of a coordinate and a size or
// offset stays inside an int, and as a float a coordinate keeps the
// fractions of a pixel a band's edges need.
constexpr int kFarDrawCoordinate = 1 << 16;
inline int ClampToFarDrawCoordinate(int64_t v) {
    return int(v < -kFarDrawCoordinate ? -kFarDrawCoordinate : v > kFarDrawCoordinate ? kFarDrawCoordinate : v);
}

void GetDrawBlendGraphSettings(int* threshold, int* edgeWidth);
const int* GetScreenDrawArea();  // left, top, right, bottom
// Everything back to the state after graphics start-up.
void ResetDraw2DSettings();
// The draw went nowhere: no device and no software entry for it. -1.
int ReportNoSoftwareDraw();
// A picture with its per-pixel opacity taken from the blend graph, drawn
// through the batch as the quad with the given corners.
int DrawGraphThroughBlendGraph(const GRAPH* graph, const float xs[4], const float ys[4], int transparent,
                               int blendGraph, int turn);
// Releases the scratch texture of the blend-graph draws (device loss, end).
void ReleaseBlendScratch();

// The seam for drawing without a device: one function per draw, each given
// what the public function checked. A missing entry makes the draw log a
// warning and return -1.
struct MEMIMG;

// One glyph of a string for the software path: the rectangle at
// (sourceX, sourceY) of a white glyph image whose alpha is the coverage,
// drawn with its top-left at (x, y) in colour (0x00RRGGBB, before the tint).
struct SoftwareTextPiece {
    int sourceX, sourceY, width, height;
    int x, y;
    uint32_t colour;
};

struct SoftwareDraw2DPath {
    int (*drawGraph)(int x, int y, int graph, int transparent);
    int (*drawGraphRotated)(int x, int y, double scale, double angle, int graph, int transparent, int turn);
    int (*drawLine)(int x1, int y1, int x2, int y2, uint32_t color, int thickness);
    int (*drawRectangle)(int x1, int y1, int x2, int y2, uint32_t color, int fill);
    int (*clearScreen)(const int* area, uint32_t color);
    // Pieces of glyphs drawn in order (edges before the glyphs over them).
    int (*drawTextPieces)(const MEMIMG* glyphs, const SoftwareTextPiece* pieces, int count);
    // The graph mapped onto corners {x, y} x 4 (top-left, top-right,
    // bottom-left, bottom-right): billboards projected onto the screen.
    int (*drawGraphQuad)(const int corners[8], int graph, int transparent);
};
void SetSoftwareDraw2DPath(const SoftwareDraw2DPath* path);
const SoftwareDraw2DPath* GetSoftwareDraw2DPath();

}  // namespace morpotta
