// A row of the time-attack select (and of its replay form): the stage's
// number and name from the left, then its best time and the face of the cat
// that set it. The title draws the row by these figures, and the content
// checker measures every stage name against them, so that none runs into
// its time.
#pragma once
#include "engine/font.h"

namespace stagerow {

constexpr int kTextX = 24;                   // the number and the name
constexpr const char* kTextFormat = "%3d %s";
constexpr int kTimeX = 320;                  // the best time, "%4d'%02d" at its widest
constexpr int kFaceX = 414;                  // the cat's face after the time
constexpr int kFontSize = 20;                // the game's edged font of this size
constexpr int kFontEdge = kDefaultEdgeSize;  // the edge its glyphs carry on every side
// The text's right end, edge included, stays this far left of the time.
constexpr int kNameRight = kTimeX - 8;

}  // namespace stagerow
