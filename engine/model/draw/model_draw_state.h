// Device state of model drawing: what is set once per model, the material,
// blend and lighting state of one mesh, its texture stages, and the state
// of the outline pass.
#pragma once
#include "graphics/device/devicestate.h"
#include "model/base/model_records.h"

namespace morpotta {

int BeginModelDrawState(ModelInstance* instance);

// Effective blend mode and parameter of a mesh (its override unless -1).
int MeshBlendMode(const ModelMesh* mesh);
int MeshBlendParameter(const ModelMesh* mesh);
int MeshDrawType(const ModelMesh* mesh);

// The 17 device material floats of a mesh: the material's colours times
// the drawn colour scales when they are in use; power unscaled.
void ComputeMeshDeviceMaterial(const ModelMesh* mesh, float out[17]);

// The vertex- and pixel-shader indices of a mesh: the layer's bases plus
// the offsets of its drawing type, toon modes, vertex colours (or lighting
// off), normal map, specular and second texture layer
// (graphics/device/shader_index.h). Skinned lists add their own offset.
struct ModelShaderIndices {
    int vertex, pixel;
};
ModelShaderIndices ComputeMeshShaderIndices(const ModelMesh* mesh, int specular, int lightingOff, int vertexBase,
                                            int pixelBase);

// Sends material, cull mode, specular and colour sources and lighting;
// fills the block head. *specular receives the specular switch, *indices
// (when given) the mesh's shader indices.
void SetupMeshMaterialState(DeviceDrawStateBlock* block, ModelMesh* mesh, int* specular,
                            ModelShaderIndices* indices = nullptr);
// Texture stages of the first pass: fixed-function, or for the shaders
// (diffuse texture, second layer, toon ramps, their constants); 0.
int SetupMeshTextureStages(ModelMesh* mesh, DeviceDrawStateBlock* block, int specular);
int SetupMeshProgrammableStages(ModelMesh* mesh, DeviceDrawStateBlock* block, int specular);
// The outline pass: material, width (also register 42 for the shaders),
// cull mode and lighting; its stages on either road.
int SetupOutlineDrawState(DeviceDrawStateBlock* block, ModelMesh* mesh, float width);
int SetupOutlineTextureStages(DeviceDrawStateBlock* block, ModelMesh* mesh);
int SetupOutlineProgrammableStages(DeviceDrawStateBlock* block, ModelMesh* mesh);

// The graph of an instance texture: its own image, else the base texture's;
// -1 for a bad index or no graph.
int ModelTextureGraph(const ModelInstance* instance, int textureIndex);

}  // namespace morpotta
