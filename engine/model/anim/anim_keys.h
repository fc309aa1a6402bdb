// Rewriting a read model's key tracks into the kinds the base data
// stores: matrices split into translation, rotation and scale, tracks
// reduced to the keys that matter, vector tracks split per axis where an
// axis stands still and merged back where the axes share their times.
#pragma once
#include "model/read/read_model.h"

namespace morpotta {

int NormalizeReadModelAnimKeys(ReadModel* model);
// flag 1: the first pass (only a reduction to one key is adopted);
// 0: after splitting.
void ReduceReadModelKeySet(ReadModel* model, ReadModelAnimKeySet* keySet, int flag);
// Takes a track out of its animation and the model's list (its memory
// stays in the chain).
void UnlinkReadModelKeySet(ReadModel* model, ReadModelAnimKeySet* keySet);
// Bytes the track needs: value size (plus 4 with explicit times) per key.
uint32_t KeyTrackBytes(const ReadModelAnimKeySet* keySet);
// The rotation quaternion (x, y, z, w) of an orthonormal row-vector 3x3
// matrix given as nine floats, row by row.
void QuaternionFromRotationRows(const float m[9], float q[4]);

}  // namespace morpotta
