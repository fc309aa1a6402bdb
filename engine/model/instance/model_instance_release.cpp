// ReleaseModelInstance: undoes SetupModelInstance and drops the
// instance's reference of its base data. DeleteModel on another thread than
// the engine's takes the handle at once and leaves the rest to the
// engine's thread, which may be drawing the model.
#include "engine/memory.h"
#include "engine/model.h"
#include "foundation/engine_thread.h"
#include "model/base/model_handles.h"
#include "model/base/model_texture.h"
#include "model/draw/model_shapes.h"
#include "model/instance/model_instance.h"
#include "model/physics/model_physics.h"

using namespace morpotta;

namespace morpotta {

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

void ReleaseInstanceRecord(void* record) {
    auto* in = static_cast<ModelInstance*>(record);
    for (int slot = 0; slot < in->animSlotCount; ++slot) DetachInstanceAnimation(in, slot);
    FreeMemory(in->animSlots);
    FreeMemory(in->frameSlots);
    in->animSlots = nullptr;
    in->frameSlots = nullptr;
    in->animSlotCount = 0;
    ReleaseInstanceShapeBuffers(in);
    for (void*& block : in->optionalBlocks) {
        FreeMemory(block);
        block = nullptr;
    }
    if (in->base->rigidBodyCount > 0) ReleaseModelPhysics(in);
    ReleaseOwnTextures(in);
    Unlink(in);
    int baseHandle = in->baseHandle;
    FreeMemory(in);
    ReleaseModelBaseData(baseHandle);
}

namespace {

int ReleaseOnEngineThread(int modelHandle) {
    if (IsModelInstanceSlotReserved(modelHandle)) return ClearModelInstanceSlot(modelHandle);
    ModelInstance* in = TakeModelInstance(modelHandle);
    if (!in) return RefuseModelHandle(modelHandle, HANDLE_KIND_MODEL);
    ReleaseInstanceRecord(in);
    return 0;
}

}  // namespace

}  // namespace morpotta

int ReleaseModelInstance(int modelHandle) {
    const PublicCall call("ReleaseModelInstance");
    if (!AllowOnlyOnEngineThread()) return -1;
    return ReleaseOnEngineThread(modelHandle);
}

int DeleteModel(int modelHandle) {
    LoaderCall call("DeleteModel");
    if (OnEngineThread()) return ReleaseOnEngineThread(modelHandle);
    if (!call.admitted()) return -1;
    ModelInstance* in = TakeModelInstance(modelHandle);
    if (!in) return RefuseModelHandle(modelHandle, HANDLE_KIND_MODEL);
    RunOnEngineThread(ReleaseInstanceRecord, in);
    return 0;
}
