// The model API the game calls on instances: placement, material values
// and frame opacity. A setter that does not change a value does nothing;
// a change only leaves marks for drawing.
#include <cstring>

#include "engine/memory.h"
#include "engine/model.h"
#include "foundation/engine_thread.h"
#include "model/base/model_handles.h"
#include "model/instance/model_instance.h"

using namespace morpotta;

namespace morpotta {

namespace {

bool SameBits(const void* a, const void* b, size_t bytes) { return std::memcmp(a, b, bytes) == 0; }

void MarkAllMatricesDirty(ModelInstance* in) {
    if (in->matrixDirtyBits[0] & 1u) return;
    std::memset(in->matrixDirtyBits, 0xFF, in->matrixDirtyBytes);
}

ModelMaterial* MaterialOf(ModelInstance* in, int index) {
    if (index < 0 || index >= in->base->materialCount)
        return RefuseIndex("material", index, in->base->materialCount), nullptr;
    return &in->materials[index];
}

// Marks the meshes of one instance that use a material.
void MarkMaterialMeshes(ModelInstance* in, int material) {
    for (int i = 0; i < in->base->meshCount; ++i) {
        ModelMesh& m = in->meshes[i];
        if (m.base->material != material) continue;
        if (m.drawStateBuilt) {
            m.drawStateBuilt = 0;
            InvalidateFrameDrawStates(m.frame);
            in->allDrawStatesValid = 0;
        }
        MarkDirtyBits(in->drawDirtyBits, &m.drawBit);
    }
}

}  // namespace

void MarkDirtyBits(uint32_t* bits, const ModelBitPosition* position) {
    if (!(bits[position->word] & position->mask)) bits[position->word] |= position->mask;
}

void InvalidateFrameDrawStates(ModelFrame* frame) {
    for (ModelFrame* f = frame; f; f = f->parent) f->drawStateValid = 0;
}

}  // namespace morpotta

int GetModelBaseHandle(int modelHandle) {
    const PublicCall call("GetModelBaseHandle");
    if (!AllowOnlyOnEngineThread()) return -1;
    ModelInstance* in = GetModelInstanceForCall(modelHandle);
    return in ? in->baseHandle : -1;
}

int SetModelPosition(int modelHandle, float x, float y, float z) {
    const PublicCall call("SetModelPosition");
    if (!AllowOnlyOnEngineThread()) return -1;
    ModelInstance* in = GetModelInstanceForCall(modelHandle);
    if (!in) return -1;
    const Vector3 value{x, y, z};
    if (SameBits(&in->translation, &value, sizeof(value))) return 0;
    in->translation = value;
    in->matricesValid = 0;
    MarkAllMatricesDirty(in);
    return 0;
}

int SetModelRotation(int modelHandle, float x, float y, float z) {
    const PublicCall call("SetModelRotation");
    if (!AllowOnlyOnEngineThread()) return -1;
    ModelInstance* in = GetModelInstanceForCall(modelHandle);
    if (!in) return -1;
    const Vector3 value{x, y, z};
    if (in->rotationByMatrix == 0 && SameBits(&in->rotation, &value, sizeof(value))) return 0;
    in->rotation = value;
    in->rotationByMatrix = 0;
    in->matricesValid = 0;
    MarkAllMatricesDirty(in);
    return 0;
}

int GetModelMaterialCount(int modelHandle) {
    const PublicCall call("GetModelMaterialCount");
    if (!AllowOnlyOnEngineThread()) return -1;
    ModelInstance* in = GetModelInstanceForCall(modelHandle);
    return in ? in->base->materialCount : -1;
}

namespace morpotta {

int SetModelBaseMaterialType(int baseHandle, int materialIndex, int type) {
    ModelBase* base = GetModelBase(baseHandle);
    if (!base) return -1;
    if (materialIndex < 0 || materialIndex >= base->materialCount)
        return RefuseIndex("material", materialIndex, base->materialCount);
    ModelBaseMaterial& m = base->materials[materialIndex];
    if (m.drawType == type) return 0;
    m.drawType = type;
    for (ModelInstance* in = base->firstInstance; in; in = in->next) MarkMaterialMeshes(in, materialIndex);
    return 0;
}

int GetModelBaseMaterialType(int baseHandle, int materialIndex) {
    ModelBase* base = GetModelBase(baseHandle);
    if (!base) return -1;
    if (materialIndex < 0 || materialIndex >= base->materialCount)
        return RefuseIndex("material", materialIndex, base->materialCount);
    return base->materials[materialIndex].drawType;
}

}  // namespace morpotta

int SetModelMaterialType(int modelHandle, int materialIndex, int type) {
    const PublicCall call("SetModelMaterialType");
    if (!AllowOnlyOnEngineThread()) return -1;
    ModelInstance* in = GetModelInstanceForCall(modelHandle);
    return in ? SetModelBaseMaterialType(in->baseHandle, materialIndex, type) : -1;
}

int GetModelMaterialType(int modelHandle, int materialIndex) {
    const PublicCall call("GetModelMaterialType");
    if (!AllowOnlyOnEngineThread()) return -1;
    ModelInstance* in = GetModelInstanceForCall(modelHandle);
    return in ? GetModelBaseMaterialType(in->baseHandle, materialIndex) : -1;
}

int SetModelMaterialSpecularColor(int modelHandle, int materialIndex, float r, float g, float b, float a) {
    const PublicCall call("SetModelMaterialSpecularColor");
    if (!AllowOnlyOnEngineThread()) return -1;
    ModelInstance* in = GetModelInstanceForCall(modelHandle);
    ModelMaterial* m = in ? MaterialOf(in, materialIndex) : nullptr;
    if (!m) return -1;
    const float value[4] = {r, g, b, a};
    if (SameBits(m->specular, value, sizeof(value))) return 0;
    std::memcpy(m->specular, value, sizeof(value));
    MarkMaterialMeshes(in, materialIndex);
    return 0;
}

int SetModelMaterialOutlineWidth(int modelHandle, int materialIndex, float width) {
    const PublicCall call("SetModelMaterialOutlineWidth");
    if (!AllowOnlyOnEngineThread()) return -1;
    ModelInstance* in = GetModelInstanceForCall(modelHandle);
    ModelMaterial* m = in ? MaterialOf(in, materialIndex) : nullptr;
    if (!m) return -1;
    if (m->outline[0] == width) return 0;
    m->outline[0] = width;
    MarkMaterialMeshes(in, materialIndex);
    return 0;
}

int SetModelFrameOpacity(int modelHandle, int frameIndex, float rate) {
    const PublicCall call("SetModelFrameOpacity");
    if (!AllowOnlyOnEngineThread()) return -1;
    ModelInstance* in = GetModelInstanceForCall(modelHandle);
    if (!in) return -1;
    if (frameIndex < 0 || frameIndex >= in->base->frameCount)
        return RefuseIndex("frame", frameIndex, in->base->frameCount);
    ModelFrame& f = in->frames[frameIndex];
    if (SameBits(&f.opacity, &rate, sizeof(rate))) return 0;
    f.opacity = rate;
    MarkDirtyBits(in->drawDirtyBits, f.drawBit);
    if (f.drawStateValid) {
        InvalidateFrameDrawStates(&f);
        in->allDrawStatesValid = 0;
    }
    return 0;
}

int DetachModelAnimation(int modelHandle, int animationSlot) {
    const PublicCall call("DetachModelAnimation");
    if (!AllowOnlyOnEngineThread()) return -1;
    return DetachInstanceAnimation(GetModelInstanceForCall(modelHandle), animationSlot);
}

namespace morpotta {

int DetachInstanceAnimation(ModelInstance* in, int animationSlot) {
    if (!in) return -1;
    if (animationSlot < 0 || animationSlot >= in->animSlotCount)
        return RefuseIndex("animation slot", animationSlot, in->animSlotCount);
    ModelAnimSlot& slot = in->animSlots[animationSlot];
    if (slot.used) {
        FreeMemory(slot.block);
        slot = ModelAnimSlot{};
        for (int f = 0; f < in->base->frameCount; ++f)
            in->frameSlots[size_t(f) * size_t(in->animSlotCount) + size_t(animationSlot)] = ModelFrameSlot{};
    }
    in->motionValid = 0;
    in->matricesValid = 0;
    return 0;
}

}  // namespace morpotta
