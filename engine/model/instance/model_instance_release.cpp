// ReleaseModelInstance: undoes SetupModelInstance and drops the
// instance's reference of its base data.
#include "engine/memory.h"
#include "engine/model.h"
#include "model/base/graphics_services.h"
#include "model/base/model_handles.h"
#include "model/instance/model_instance.h"

namespace {

void ReleaseOwnTextures(ModelInstance* in) {
    const ModelGraphicsServices* gfx = GetModelGraphicsServices();
    for (int i = 0; i < in->base->textureCount; ++i) {
        ModelTexture& t = in->textures[i];
        if (t.graph == -1) continue;
        FreeMemory(t.ownedBlock);
        t.ownedBlock = nullptr;
        if (gfx->DeleteGraphHandle) gfx->DeleteGraphHandle(t.graph, 0);
        t.graph = -1;
    }
}

void Unlink(ModelInstance* in) {
    ModelBase* base = in->base;
    if (in->prev) in->prev->next = in->next;
    else base->firstInstance = in->next;
    if (in->next) in->next->prev = in->prev;
    else base->lastInstance = in->prev;
    in->next = in->prev = nullptr;
    --base->instanceCount;
}

}  // namespace

int ReleaseModelInstance(int modelHandle) {
    if (IsModelInstanceSlotReserved(modelHandle)) return ClearModelInstanceSlot(modelHandle);
    ModelInstance* in = GetModelInstance(modelHandle);
    if (!in) return -1;
    for (int slot = 0; slot < in->animSlotCount; ++slot) DetachModelAnimation(modelHandle, slot);
    FreeMemory(in->animSlots);
    FreeMemory(in->frameKeyTable);
    for (void*& block : in->optionalBlocks) {
        FreeMemory(block);
        block = nullptr;
    }
    ReleaseOwnTextures(in);
    Unlink(in);
    int baseHandle = in->baseHandle;
    ClearModelInstanceSlot(modelHandle);
    FreeMemory(in);
    ReleaseModelBaseData(baseHandle);
    return 0;
}

int DeleteModel(int modelHandle) { return ReleaseModelInstance(modelHandle); }
