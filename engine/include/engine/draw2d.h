// 2-D drawing: pictures, rotated sprites, wipes, lines and boxes on the
// current draw screen, through one draw state (blend mode and parameter,
// tint, draw area, blend graph). With a device the draws go into a vertex
// batch flushed when texture or state change; without one they go through
// the software blit kernels.
#pragma once
#include <cstdint>

// Blend modes (SetBlendModeParam). Any other mode, 5 to 9 among them,
// draws nothing with a device or without one: pictures, lines, boxes and
// text leave the screen as it was and return 0. A picture drawn with
// transparency on changes nothing where its texels have alpha 0, in every
// mode, plain, turned or as a billboard. The parameter p (0..255) weighs
// every mode but BlendCopy and BlendMul; two modes need more than their
// names:
//  BlendInvert (10): each colour channel c of the picture is turned over,
//   255 - c, and then tinted; the result is laid over the screen as
//   BlendAlpha lays a picture, screen + (turned - screen) * p / 256, also
//   weighed by the picture's alpha and the blend graph. p 0 leaves the
//   screen as it was; 255 gives the turned colour within one step. The
//   transparent colour is keyed out before the turn; lines, boxes and text
//   draw their colour turned over.
//  BlendMulAlpha (11): the tinted picture multiplied by the screen, channel
//   by channel (c * screen / 256, so white on white gives 254), laid over
//   the screen the same way: p 0 leaves the screen, 255 gives the product
//   within one step, and where the picture is transparent (alpha 0) the
//   screen stays. BlendMul instead multiplies at full strength whatever p.
enum SoftBlendMode {
    BlendCopy = 0,
    BlendAlpha = 1,
    BlendAdd = 2,
    BlendSub = 3,
    BlendMul = 4,
    BlendInvert = 10,
    BlendMulAlpha = 11,
};

// The blend mode (stored as given) and its parameter (clamped to 0..255)
// of the following draws. 0.
int SetBlendModeParam(int mode, int param);
// The colour multiplied into every following draw, each clamped to 0..255;
// (255, 255, 255) restores. 0.
int SetDrawTint(int red, int green, int blue);
int SetDrawTintPacked(uint32_t rgb);  // 0xRRGGBB; the top byte is ignored

struct FloatColor {
    float r, g, b, a;
};

// Packed colour in the screen format (0xFFrrggbb on the 32-bit screen).
uint32_t MakeScreenColor(int red, int green, int blue);
FloatColor MakeFloatColor(float r, float g, float b, float a);

// Each returns 0, or -1 (with a log line) for a bad graph handle.
int DrawGraphAt(int x, int y, int graph, int transparent);
// Scaled and turned by angle (radians, clockwise on screen) about the
// picture's centre placed at (x, y); mirrored left to right when turn is set.
int DrawGraphRotatedAt(int x, int y, double scale, double angle, int graph, int transparent, int turn);
// The wipe: each pixel's opacity from the blend graph's level against
// threshold, softened over edgeWidth (both 0..255); the previous blend-graph
// setting is restored afterwards.
int DrawGraphWithBlendGraph(int x, int y, int graph, int transparent, int blendGraph, int threshold,
                            int edgeWidth);
int DrawLineSegment(int x1, int y1, int x2, int y2, uint32_t color, int thickness);
// Right and bottom exclusive; fill 0 draws the one-pixel outline.
int DrawRectangle(int x1, int y1, int x2, int y2, uint32_t color, int fill);

// The blend graph read by the following draws (-1: none), with the
// threshold and edge width of its level table. 0, or -1 for a bad handle.
int SetDrawBlendGraph(int blendGraph, int threshold, int edgeWidth);
int GetDrawBlendGraph();
// The area drawing is kept to, right and bottom exclusive, inside the screen.
int SetDrawArea(int left, int top, int right, int bottom);
// 0 nearest, 1 bilinear.
int SetDrawFilterMode(int mode);
int GetDrawFilterMode();
// Z-buffer use and writes for 3-D drawing (billboards and models).
int SetDepthTestEnabled(int flag);
int SetDepthWriteEnabled(int flag);
int GetDepthTestEnabled();
int GetDepthWriteEnabled();
