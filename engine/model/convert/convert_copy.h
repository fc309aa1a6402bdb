// Copies of the read model's animations, materials, textures and physics
// records into base data (memory from the base's chain). Each returns
// false / -1 when memory is short or a texture cannot be made.
#pragma once
#include "model/base/model_texture.h"
#include "model/read/read_model.h"

const char* CopyBaseString(ModelBase* base, const char* text);
bool CopyAnimations(const ReadModel* model, ModelBase* base);
bool CopyMaterials(const ReadModel* model, ModelBase* base);
int CopyTextures(const ReadModel* model, ModelBase* base, const char* folder, const ModelTextureFileHook* hook);
bool CopyPhysics(const ReadModel* model, ModelBase* base);
