// A small map of a stage's grid, one 3 x 3 pixel box per cell, for the
// time-attack select screen's preview of a stage.
#pragma once

class Stage;

// The grid's top-left corner lands at (460, 210).
void DrawStageMinimap(const Stage& stage);
