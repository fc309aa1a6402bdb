// The game's one road to the engine's drawing during play: the field, the
// HUD and the session screens call these instead of the engine directly,
// so a test can watch what a frame drew (which model where, which string
// in which font) without reading pixels. Each call sets the blend mode it
// needs and puts the plain mode back, so no call leaks state to the next.
// A picture handle of 0 (no picture) draws nothing; a picture the content
// lacks (a negative handle) draws nothing and is logged once.
#pragma once
#include "engine/vecmath.h"

#include <cstdint>
#include <functional>
#include <string>

namespace gamedraw {

struct Call {
    enum Kind {
        kModel,         // handle at position (x, y, z) turned by (rx, ry, rz)
        kModelOpacity,  // handle's frame 0 opacity = scale
        kBillboard,     // graph at (x, y, z), size = scale, angle
        kGraph,         // graph with its top-left at (x, y)
        kRotatedGraph,  // graph centred on (x, y), scale, angle, turn
        kBox,           // (x, y)-(x2, y2) filled in colour
        kText,          // text at (x, y) in font handle `handle`, colour
        kWipe,          // graph through the mask graph `mask`, threshold, edge
        kTint,          // colour multiplied into the following pictures
    };
    Kind kind = kModel;
    int handle = 0;
    float x = 0, y = 0, z = 0;
    float x2 = 0, y2 = 0;
    float rx = 0, ry = 0, rz = 0;
    float scale = 1, angle = 0;
    int turn = 0;
    int blend = 0, alpha = 255;  // blend mode and parameter of the draw
    uint32_t colour = 0;
    int mask = 0, threshold = 0, edge = 0;
    std::string text;
};

using Recorder = std::function<void(const Call&)>;

// With a recorder set every call below is handed to it as well as drawn;
// an empty recorder stops the watching.
void SetRecorder(Recorder recorder);

// Blend modes of the calls (the engine's numbering).
constexpr int kPlain = 0, kAlpha = 1, kAdd = 2;
// The blend that draws a picture or text at `alpha`: plain at full strength.
constexpr int BlendFor(int alpha) { return alpha < 255 ? kAlpha : kPlain; }

// 3-D: a model placed, turned (radians) and drawn; a model's opacity.
void Model(int model, Vector3 position, float rx = 0, float ry = 0, float rz = 0);
void ModelOpacity(int model, float rate);
// A camera-facing picture centred on position, `size` world units wide.
void Billboard(int graph, Vector3 position, float size, float angle, int blend = kPlain, int alpha = 255);

// Light around a thing at position (a gem's sparkle), as a billboard `size`
// wide: drawn half its size nearer the eye along its line of sight and
// shrunk to keep its place and size on screen, so every surface within
// that distance of the thing (the step under it, the walls of its pit)
// lies behind it whole, while one standing nearer still hides it. It
// writes no depth: whatever is drawn after it (a cat) shows in front.
void Glow(int graph, Vector3 position, float size, int blend = kPlain, int alpha = 255);

// 2-D, in screen pixels. Pictures keep their transparent pixels out.
void Graph(int x, int y, int graph, int blend = kPlain, int alpha = 255);
void RotatedGraph(int x, int y, double scale, double angle, int graph, bool turn = false, int blend = kPlain,
                  int alpha = 255);
// A filled box, right and bottom exclusive; nothing at alpha 0 or below.
void Box(int x1, int y1, int x2, int y2, uint32_t colour, int alpha = 255);
// font 0 or below (none loaded): the engine's default font.
void Text(int x, int y, const char* text, uint32_t colour, int font, int blend = kPlain, int alpha = 255);
// The mask wipe: graph drawn through mask at threshold (0..255), softened
// over edge.
void Wipe(int x, int y, int graph, int mask, int threshold, int edge);
void Tint(int red, int green, int blue);

}  // namespace gamedraw
