// Freeing a model base record with everything it owns.
#include "engine/memory.h"
#include "model/base/model_handles.h"
#include "model/base/model_texture.h"

namespace morpotta {

namespace {

void FreeTextureBlocks(ModelBaseTexture* texture) { ReleaseModelTextureImage(&texture->image); }

}  // namespace

int FreeModelBaseRecord(int handle) {
    ModelBase* base = GetModelBase(handle);
    if (!base) return ClearModelBaseSlot(handle);  // a reserved slot is only cleared
    if (base->devicePools.release) base->devicePools.release(base);
    for (int i = 0; i < base->textureCount; ++i) FreeTextureBlocks(&base->textures[i]);
    FreeMemoryChain(&base->memoryChain);
    FreeMemory(base);
    return ClearModelBaseSlot(handle);
}

}  // namespace morpotta
