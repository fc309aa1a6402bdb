// Device state of model drawing: what is set once per model, the material,
// blend and lighting state of one mesh, its texture stages, and the state
// of the outline pass.
#pragma once
#include "graphics/device/devicestate.h"
#include "model/base/model_records.h"

int BeginModelDrawState(ModelInstance* instance);

// Effective blend mode and parameter of a mesh (its override unless -1).
int MeshBlendMode(const ModelMesh* mesh);
int MeshBlendParameter(const ModelMesh* mesh);
int MeshDrawType(const ModelMesh* mesh);

// The 17 device material floats of a mesh: the material's colours times
// the drawn colour scales when they are in use; power unscaled.
void ComputeMeshDeviceMaterial(const ModelMesh* mesh, float out[17]);

// Sends material, cull mode, specular and colour sources and lighting;
// fills the block head. *specular receives the specular switch.
void SetupMeshMaterialState(DeviceDrawStateBlock* block, ModelMesh* mesh, int* specular);
// Fixed-function texture stages of the first pass; 0.
int SetupMeshTextureStages(ModelMesh* mesh, DeviceDrawStateBlock* block, int specular);
int SetupOutlineDrawState(DeviceDrawStateBlock* block, ModelMesh* mesh, float width);
int SetupOutlineTextureStages(DeviceDrawStateBlock* block, ModelMesh* mesh);

// The graph of an instance texture: its own image, else the base texture's;
// -1 for a bad index or no graph.
int ModelTextureGraph(const ModelInstance* instance, int textureIndex);
