// The graphs model drawing needs of its own: the white texture, the banded
// toon texture and the smooth toon ramp, made on first use and made again
// when their handle has gone.
#pragma once

namespace morpotta {

int GetModelWhiteGraph();
// -1 banded toon, -2 smooth ramp; any other index -1.
int GetDefaultToonGraph(int index);
// A 256x8 image whose pixel x is (x, x, x); -1 when it cannot be made.
int CreateToonRampGraph();
int RefillToonRampGraph(int graph);
// Refills the ramp after a device loss (the TGA-based graphs are refilled
// with the model textures).
void RefillModelToonRamp();
// Forgets the handles (the graphs themselves belong to the graph table).
void ForgetModelBuiltinGraphs();

}  // namespace morpotta
