// Conversion of a finished read model into model base data, and the
// checks its result must pass.
#pragma once
#include "model/base/model_texture.h"
#include "model/read/read_model.h"

// The new base-data handle, or -1 (logged). The folder is where texture
// names are relative to (null: names as they stand). The caller frees the
// read model whatever the result.
int ConvertReadModelToModelBase(ReadModel* model, const char* folder, const ModelTextureFileHook* hook);

// Load-time switches of the model system (both off by default) and the
// physics gravity given to new base data (-122.5 until set).
void SetModelLoadVertexOptimize(int flag);
void SetModelLoadNormalRecalc(int flag);
void SetModelLoadGravity(int isSet, float gravity);
int GetModelLoadVertexOptimize();
int GetModelLoadNormalRecalc();
float GetModelLoadGravity();
// What a PMD load does with its rigid bodies and joints: 0 bakes them into
// the motions (the default), 1 leaves them out, 2 keeps them in the model.
void SetModelLoadPhysicsMode(int mode);
int GetModelLoadPhysicsMode();

// Structural checks of base data: indices, list and palette limits,
// weights, bone references, finite numbers. 0, or -1 with the first
// problem written to the log (and to why, when given).
int ValidateModelBase(const ModelBase* base, char* why = nullptr, int whyCapacity = 0);
