// The software path of 2-D drawing, taken when there is no graphics device
// (HardwareRenderingActive() is 0; choose it before start-up with
// SetGraphicsDeviceChoice("none")). Graphs are drawn through the software
// blit kernels onto the primary software screen, which PresentSoftwareScreen
// shows in the window. Colours are packed 0x00RRGGBB.
#pragma once
#include <cstdint>

#include "engine/baseimage.h"
#include "graphics/draw2d/draw2d_internal.h"
#include "graphics/softimage/memimg.h"

namespace morpotta {

struct SoftwareTextPiece;

// The primary software screen: a 32-bit image of the device target's size,
// made by graphics start-up without a device (its failure is fatal) and
// made the software draw target with a reset draw state.
int CreateSoftwareScreen();
int ReleaseSoftwareScreen();
MEMIMG* GetSoftwareScreen();  // null when there is none
// Makes the public 2-D drawing functions draw through the software forms
// below while there is no device (graphics start-up does it).
void InstallSoftwareDraw2DPath();
// Shows the screen in the window, scaled to its client area; 0 or -1.
int PresentSoftwareScreen();

// A view of the graph's piece in its picture's software image (made on
// first use, remade after a refill); release it with ReleaseMemImg. 0, or
// -1 for a bad handle or when memory is short.
int GetGraphMemImgView(int graph, MEMIMG* view);

// The drawing functions' software forms; each draws onto the current
// software draw target with the current blend mode, parameter, tint, draw
// area and blend graph, and returns 0, or -1 for a bad handle or no target.
int DrawGraphAtSoftware(int x, int y, int graph, int transparent);
// Scaled by scale and turned by angle (radians, clockwise) about the
// graph's centre placed at (x, y); turn mirrors it left to right.
int DrawGraphRotatedAtSoftware(double x, double y, double scale, double angle, int graph, int transparent, int turn);
// Stretched to the rectangle (x1, y1)-(x2, y2), right and bottom excluded.
int DrawGraphStretchedSoftware(int x1, int y1, int x2, int y2, int graph, int transparent);
// Mapped onto four corners {x, y} x 4 that receive its top-left, top-right,
// bottom-left and bottom-right.
int DrawGraphQuadSoftware(const int corners[8], int graph, int transparent);
// Each pixel weighted by the blue channel of blendGraph's pixel at the same
// place of the graph, through the threshold and edge width (a wipe); the
// blend-graph setting is restored afterwards.
int DrawGraphWithBlendGraphSoftware(int x, int y, int graph, int transparent, int blendGraph, int threshold,
                                    int edgeWidth);
// A box from (x1, y1) to (x2, y2), right and bottom excluded: filled, or its
// one-pixel outline.
int DrawRectangleSoftware(int x1, int y1, int x2, int y2, uint32_t colour, int fill);
// The quadrilateral of corners {x, y} x 4 (top-left, top-right,
// bottom-left, bottom-right) filled with a colour, as two triangles that
// fill their shared diagonal once.
int FillQuadrilateralSoftware(const int corners[8], uint32_t colour);
// A line from (x1, y1) toward (x2, y2), the end point excluded, each point a
// square of thickness pixels down and right of it, each pixel drawn once.
// DrawLineSegment cuts a far segment to the part that can show before it
// calls this; a walk longer than four times the far draw coordinate is
// refused (-1, with a log line).
int DrawLineSegmentSoftware(int x1, int y1, int x2, int y2, uint32_t colour, int thickness);
// Glyph pieces of a white image with coverage as alpha (a font's glyph
// cache), each drawn in its colour times the tint through the current blend
// mode, without the blend graph. The inverse mode complements the colour
// (the image is only the coverage), and the multiply mode multiplies by the
// colour only where there is coverage. 0, or -1 for a bad image or no target.
int DrawTextPiecesSoftware(const MEMIMG* glyphs, const SoftwareTextPiece* pieces, int count);

// Converts the rectangle srcRect (left, top, right, bottom; null = the whole
// image) of a base image into the destination's pixels at (x, y). With an
// alpha image (same size as colour) the destination alpha comes from its
// blue channel; otherwise from the colour image's alpha (255 when it has
// none). A palette destination needs a palette colour image: indexes are
// copied, all 256 palette entries converted and copied into the second half
// of the palette block, and paletteCount set to the highest index used plus
// one. options: none defined yet, pass 0. 0, or -1 with a log line.
int TransferBaseImageToMemImg(const BASEIMAGE* colour, const BASEIMAGE* alpha, MEMIMG* dest, int x, int y,
                              const int srcRect[4], int options);

// The graphics layer's software draws: source onto the draw target with the
// current blend image.
void BlitToDrawMemImg(const MEMIMG* source, int x, int y, int transparent);
void StretchBlitToDrawMemImg(const MEMIMG* source, const int rect[4], int transparent);

}  // namespace morpotta
