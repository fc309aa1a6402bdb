// Freeing a model base record with everything it owns.
#include "engine/memory.h"
#include "model/graphics_services.h"
#include "model/model_handles.h"

namespace {

void FreeTextureBlocks(ModelBaseTexture* texture) {
    const ModelGraphicsServices* gfx = GetModelGraphicsServices();
    if (texture->graph != -1 && gfx->DeleteGraphHandle) gfx->DeleteGraphHandle(texture->graph, 0);
    texture->graph = -1;
    FreeMemory(texture->colourData);
    FreeMemory(texture->alphaData);
    FreeMemory(texture->colourFileName);
    FreeMemory(texture->alphaFileName);
    texture->colourData = texture->alphaData = nullptr;
    texture->colourFileName = texture->alphaFileName = nullptr;
}

}  // namespace

int FreeModelBaseRecord(int handle) {
    ModelBase* base = GetModelBase(handle);
    if (!base) return ClearModelBaseSlot(handle);  // a reserved slot is only cleared
    for (int i = 0; i < base->textureCount; ++i) FreeTextureBlocks(&base->textures[i]);
    FreeMemoryChain(&base->memoryChain);
    FreeMemory(base);
    return ClearModelBaseSlot(handle);
}
