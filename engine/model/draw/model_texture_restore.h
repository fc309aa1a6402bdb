// Model textures after a device loss: mesh drawing's built-in graphs and
// the texture graphs of every base, refilled from the data they keep.
#pragma once

namespace morpotta {

// Mesh drawing registers the graphs it made from the built-in images (-1: none).
void SetModelBuiltinTextureGraphs(int whiteGraph, int toonGraph);
// Refills every model texture graph from its kept file data after the
// graphics device was lost and rebuilt; 0.
int RestoreModelTextures();

}  // namespace morpotta
