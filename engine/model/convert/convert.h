// Conversion of a finished read model into model base data, and the
// checks its result must pass.
#pragma once
#include "model/base/model_texture.h"
#include "model/read/read_model.h"

namespace morpotta {

// The new base-data handle, or -1 (logged). The folder is where texture
// names are relative to (null: names as they stand). The caller frees the
// read model whatever the result; its faces and their colour and UV arrays
// are used up once the triangle lists are built.
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
// The load settings as one load sees them. A load takes them once as it
// begins (a scope around it), so a setting changed on another thread while
// it runs reaches none of its steps; the getters above read them.
struct ModelLoadSettings {
    int vertexOptimize;
    int normalRecalc;
    uint64_t gravity;  // as stored: bit 32 set, low 32 bits the value's
    int physicsMode;
};
class ModelLoadSettingsScope {
public:
    ModelLoadSettingsScope();
    ~ModelLoadSettingsScope();
    ModelLoadSettingsScope(const ModelLoadSettingsScope&) = delete;
    ModelLoadSettingsScope& operator=(const ModelLoadSettingsScope&) = delete;

private:
    ModelLoadSettings own_;
    const ModelLoadSettings* saved_;
};

// Stages of a conversion, in order, for measurement: a hook set here (null
// for none) is called as each stage ends; the load benchmark prints the
// memory each stage peaks at. The triangulation, merge and normal stages
// end once per mesh.
enum ModelConvertStage : int {
    MODEL_STAGE_READ = 0,  // the reader is done: the conversion starts
    MODEL_STAGE_TRIANGULATE = 1,
    MODEL_STAGE_MERGE = 2,
    MODEL_STAGE_NORMALS = 3,
    MODEL_STAGE_LISTS = 4,  // the triangle lists of every mesh are built
    MODEL_STAGE_BASE = 5,   // the base data is filled
};
void SetModelConvertStageHook(void (*hook)(int stage));
void EndModelConvertStage(int stage);

// Structural checks of base data: indices, list and palette limits,
// weights, bone references, finite numbers. 0, or -1 with the first
// problem written to the log (and to why, when given).
int ValidateModelBase(const ModelBase* base, char* why = nullptr, int whyCapacity = 0);

}  // namespace morpotta
