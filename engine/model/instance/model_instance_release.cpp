// ReleaseModelInstance: undoes SetupModelInstance and drops the
// instance's reference of its base data.
#include "engine/memory.h"
#include "engine/model.h"
#include "model/base/model_handles.h"
#include "model/base/model_texture.h"
#include "model/draw/model_shapes.h"
#include "model/instance/model_instance.h"
#include "model/physics/model_physics.h"

namespace {

void ReleaseOwnTextures(ModelInstance* in) {
    for (int i = 0; i < in->base->textureCount; ++i) {
        ModelTexture& t = in->textures[i];
        if (t.own.graph != -1 || t.own.colourData || t.own.alphaData) ReleaseModelTextureImage(&t.own);
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
    FreeMemory(in->frameSlots);
    in->animSlots = nullptr;
    in->frameSlots = nullptr;
    in->animSlotCount = 0;
    ReleaseModelInstanceShapeBuffers(modelHandle);
    for (void*& block : in->optionalBlocks) {
        FreeMemory(block);
        block = nullptr;
    }
    if (in->base->rigidBodyCount > 0) ReleaseModelPhysics(in);
    ReleaseOwnTextures(in);
    Unlink(in);
    int baseHandle = in->baseHandle;
    ClearModelInstanceSlot(modelHandle);
    FreeMemory(in);
    ReleaseModelBaseData(baseHandle);
    return 0;
}

int DeleteModel(int modelHandle) { return ReleaseModelInstance(modelHandle); }
