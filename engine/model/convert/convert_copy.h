// Copies of the read model's animations, materials, textures and physics
// records into base data (memory from the base's chain). Each returns
// false / -1 when memory is short or a texture cannot be made.
#pragma once
#include "model/base/memory_chain.h"
#include "model/base/model_texture.h"
#include "model/read/read_model.h"

namespace morpotta {

// Room for count records (one at least) from the base's memory chain.
template <typename T>
T* TakeBaseArray(ModelBase* base, size_t count) {
    return static_cast<T*>(AllocChainedMemory(sizeof(T) * (count ? count : 1), &base->memoryChain));
}

const char* CopyBaseString(ModelBase* base, const char* text);
bool CopyAnimations(const ReadModel* model, ModelBase* base);
bool CopyMaterials(const ReadModel* model, ModelBase* base);
int CopyTextures(const ReadModel* model, ModelBase* base, const char* folder, const ModelTextureFileHook* hook);
bool CopyPhysics(const ReadModel* model, ModelBase* base);
// Loads a base texture's image from its colour and alpha file names (code
// page 932, under the folder unless absolute; null: none) with the options
// already in the record, and records the graph's size. 0, or -1 unlogged;
// the image is released with the record either way.
int LoadBaseTextureImage(ModelBaseTexture* texture, const char* colourPath932, const char* alphaPath932,
                         const char* folder932, const ModelTextureFileHook* hook);

}  // namespace morpotta
