// SetupModelInstance: one zero-filled block holds the instance record and
// every array it needs, laid out here in one pass.
#include <cstring>

#include "engine/memory.h"
#include "engine/model.h"
#include "model/convert/base_routines.h"
#include "model/base/model_handles.h"
#include "model/draw/model_shapes.h"
#include "model/instance/model_instance.h"
#include "model/physics/model_physics.h"

namespace morpotta {

namespace {

// Offsets of the arrays behind the record; each array aligned as asked.
class BlockLayout {
public:
    size_t Take(size_t bytes, size_t align = 16) {
        size_ = (size_ + align - 1) / align * align;
        size_t at = size_;
        size_ += bytes;
        return at;
    }
    size_t Size() const { return size_; }

private:
    size_t size_ = 0;
};

struct InstanceLayout {
    size_t record, frames, topFrames, children, meshes, lists, materials, textures, bodies, joints;
    size_t drawBits, matrixBits, skinMatrices, boneRefs, shapes, work, copies[4];
    size_t total;
};

int CountTopFrames(const ModelBase* base) {
    int count = 0;
    for (int i = 0; i < base->frameCount; ++i)
        if (!base->frames[i].parent) ++count;
    return count;
}

int CountFrameShapes(const ModelBase* base) {
    int count = 0;
    for (int i = 0; i < base->frameCount; ++i) count += base->frames[i].shapeCount > 0 ? base->frames[i].shapeCount : 0;
    return count;
}

size_t WorkVertexCount(const ModelBase* base) {
    size_t count = 0;
    for (int i = 0; i < base->meshCount; ++i)
        if (base->meshes[i].needsInstanceVertices) count += size_t(base->meshes[i].vertexCount);
    return count;
}

size_t CopyBytes(const ModelBase* base, int kind) {
    size_t bytes = 0;
    for (int i = 0; i < base->triangleListCount; ++i) {
        const ModelBaseTriangleList& list = base->triangleLists[i];
        if (list.vertexKind == kind && list.mesh && list.mesh->needsInstanceVertices)
            bytes += (size_t(list.vertexCount) * size_t(list.vertexStride) + 15) / 16 * 16;
    }
    return bytes;
}

InstanceLayout PlanLayout(const ModelBase* base, uint32_t drawBytes, uint32_t matrixBytes) {
    BlockLayout b;
    InstanceLayout l{};
    l.record = b.Take(sizeof(ModelInstance));
    l.frames = b.Take(sizeof(ModelFrame) * size_t(base->frameCount));
    l.topFrames = b.Take(sizeof(ModelFrame*) * size_t(CountTopFrames(base)));
    l.children = b.Take(sizeof(ModelFrame*) * size_t(base->frameCount));
    l.meshes = b.Take(sizeof(ModelMesh) * size_t(base->meshCount));
    l.lists = b.Take(sizeof(ModelTriangleListState) * size_t(base->triangleListCount));
    l.materials = b.Take(sizeof(ModelMaterial) * size_t(base->materialCount + 1));  // the last: the default
    l.textures = b.Take(sizeof(ModelTexture) * size_t(base->textureCount));
    l.bodies = b.Take(sizeof(ModelRigidBodyState) * size_t(base->rigidBodyCount));
    l.joints = b.Take(sizeof(ModelJointState) * size_t(base->jointCount));
    l.drawBits = b.Take(drawBytes);
    l.matrixBits = b.Take(matrixBytes);
    l.skinMatrices = b.Take(sizeof(Matrix34) * size_t(base->skinBoneCount));
    l.boneRefs = b.Take(sizeof(Matrix34*) * size_t(base->boneRefCount));
    l.shapes = b.Take(sizeof(ModelShapeState) * size_t(CountFrameShapes(base)));
    l.work = b.Take(sizeof(Vector3) * 2 * WorkVertexCount(base));
    for (int k = 0; k < 4; ++k) l.copies[k] = b.Take(CopyBytes(base, k));
    l.total = b.Size();
    return l;
}

template <typename T>
T* At(unsigned char* block, size_t offset) {
    return reinterpret_cast<T*>(block + offset);
}

void FillOnes(float* values, int count) {
    for (int i = 0; i < count; ++i) values[i] = 1.0f;
}

// A mesh may have no material (a read mesh without one converts so, and a
// binary file stores it so), but every mesh is drawn with one: such meshes
// take this, the values a reader gives a material it adds on its own
// (opaque white, untextured, alpha blending, no outline).
const ModelBaseMaterial& DefaultMaterial() {
    static const ModelBaseMaterial material = [] {
        ModelBaseMaterial m{};
        m.name = "";
        for (float& c : m.diffuse) c = 1.0f;
        m.extraTexture1 = m.extraTexture2 = -1;
        m.modeWords[0] = 2;
        m.modeWords[1] = 1;
        m.flagWord = 1;
        m.alpha = 255;
        m.outlineColour[3] = 1.0f;
        return m;
    }();
    return material;
}

void CopyMaterial(const ModelBaseMaterial& m, int textureCount, ModelMaterial* out) {
    out->base = &m;
    std::memcpy(out->diffuse, m.diffuse, sizeof(m.diffuse));
    std::memcpy(out->ambient, m.ambient, sizeof(m.ambient));
    std::memcpy(out->specular, m.specular, sizeof(m.specular));
    std::memcpy(out->emissive, m.emissive, sizeof(m.emissive));
    out->power = m.power;
    std::memcpy(out->layers, m.layers, sizeof(m.layers));
    out->outline[0] = m.outline[0];
    out->outline[1] = m.outline[1];
    CopyMaterialDrawSettings(m, out);
    // An extra texture outside the table names none: the built-in ramp.
    if (out->toonTexture >= textureCount) out->toonTexture = -1;
    if (out->secondToonTexture >= textureCount) out->secondToonTexture = -2;
}

void SetupMaterials(ModelInstance* in) {
    const ModelBase* base = in->base;
    for (int i = 0; i < base->materialCount; ++i)
        CopyMaterial(base->materials[i], base->textureCount, &in->materials[i]);
    CopyMaterial(DefaultMaterial(), base->textureCount, &in->materials[base->materialCount]);
    for (int i = 0; i < base->textureCount; ++i) {
        ModelTexture& t = in->textures[i];
        t.base = &base->textures[i];
        t.own.graph = -1;  // no image of the instance's own
        t.addressU = base->textures[i].addressU;
        t.addressV = base->textures[i].addressV;
        t.filter = base->textures[i].filter;
    }
    for (int i = 0; i < base->jointCount; ++i) in->joints[i].base = &base->joints[i];
}

// Each rigid body follows the instance frame of its bone (parameter 0).
void SetupRigidBodies(ModelInstance* in) {
    const ModelBase* base = in->base;
    for (int i = 0; i < base->rigidBodyCount; ++i) {
        ModelRigidBodyState& body = in->rigidBodies[i];
        body.base = &base->rigidBodies[i];
        int frame = int(body.base->params[0]);
        body.frame = frame >= 0 && frame < base->frameCount ? &in->frames[frame] : nullptr;
        body.worldBody = -1;  // until the physics world takes it
    }
}

int SetupMeshes(ModelInstance* in, unsigned char* block, const InstanceLayout& l) {
    const ModelBase* base = in->base;
    Vector3* work = At<Vector3>(block, l.work);
    size_t copyAt[4] = {l.copies[0], l.copies[1], l.copies[2], l.copies[3]};
    for (int i = 0; i < base->meshCount; ++i) {
        const ModelBaseMesh& bm = base->meshes[i];
        ModelMesh& m = in->meshes[i];
        m.frame = &in->frames[bm.frame->index];
        m.base = &bm;
        const bool hasMaterial = bm.material >= 0 && bm.material < base->materialCount;
        m.material = &in->materials[hasMaterial ? bm.material : base->materialCount];
        m.drawBit = bm.drawBit;
        m.visible = bm.visible;
        FillOnes(m.colourScales, 16);
        m.opacity = 1.0f;
        m.blendMode = m.blendParameter = -1;
        m.translucent = bm.translucent;
        m.triangleListCount = bm.triangleListCount;
        m.triangleLists = bm.firstTriangleList ? &in->triangleLists[bm.firstTriangleList - base->triangleLists] : nullptr;
        if (bm.needsInstanceVertices) {
            m.vertexWork = work;
            work += size_t(bm.vertexCount) * 2;
        }
        for (int t = 0; t < bm.triangleListCount; ++t) {
            ModelTriangleListState& s = m.triangleLists[t];
            s.mesh = &m;
            s.list = &bm.firstTriangleList[t];
            int kind = s.list->vertexKind;
            if (!bm.needsInstanceVertices || kind > 3) continue;
            s.vertexCopy = block + copyAt[kind];
            copyAt[kind] += (size_t(s.list->vertexCount) * size_t(s.list->vertexStride) + 15) / 16 * 16;
            TriangleListVertexCopy copy{s.list, s.vertexCopy};
            FillTriangleListVertexCopy(&copy);
        }
    }
    for (int k = 0; k < 4; ++k) in->vertexCopies[k] = block + l.copies[k];
    return 0;
}

void SetupFrames(ModelInstance* in, unsigned char* block, const InstanceLayout& l, int handle) {
    const ModelBase* base = in->base;
    ModelFrame* frames = in->frames;
    auto map = [frames](const ModelBaseFrame* f) { return f ? &frames[f->index] : nullptr; };
    ModelShapeState* shapes = in->shapeStates;
    for (int i = 0; i < base->frameCount; ++i) {
        const ModelBaseFrame& bf = base->frames[i];
        ModelFrame& f = frames[i];
        std::memcpy(f.magic, "FRM_", 4);
        f.modelHandle = handle;
        f.instance = in;
        f.baseFrame = &bf;
        f.parent = map(bf.parent);
        f.firstChild = map(bf.firstChild);
        f.nextSibling = map(bf.nextSibling);
        f.fourthLink = map(bf.fourthLink);
        BuildIdentityMatrix(&f.localMatrix);
        f.matrixBit = &bf.matrixBit;
        f.matrixBitWord = &in->matrixDirtyBits[bf.matrixBit.word];
        f.drawBit = &bf.drawBit;
        f.drawBitWord = &in->drawDirtyBits[bf.drawBit.word];
        f.visible = uint8_t(bf.flags & 1);
        FillOnes(f.colourScales, 16);
        f.opacity = 1.0f;
        f.firstMesh = bf.firstMesh ? &in->meshes[bf.firstMesh - base->meshes] : nullptr;
        if (f.parent) f.childIndex = f.parent->childCount++;
        else f.childIndex = in->topFrameCount++;
        if (bf.boneRefCount > 0) f.boneRefs = &in->boneRefs[bf.boneRefs - base->boneRefs];
        if (bf.shapeCount > 0) {
            f.shapeStates = shapes;
            shapes += bf.shapeCount;
        }
        f.shapeChanged = 1;
    }
    // Child arrays are carved, parents first, from the area behind the frames.
    ModelFrame** area = At<ModelFrame*>(block, l.children);
    for (int i = 0; i < base->frameCount; ++i) {
        frames[i].children = frames[i].childCount > 0 ? area : nullptr;
        area += frames[i].childCount;
    }
    for (int i = 0; i < base->frameCount; ++i) {
        ModelFrame& f = frames[i];
        (f.parent ? f.parent->children : in->topFrames)[f.childIndex] = &f;
    }
    for (int i = 0; i < base->boneRefCount; ++i)
        in->boneRefs[i] = base->boneRefs[i] ? &in->skinMatrices[base->boneRefs[i] - base->skinBones] : nullptr;
}

}  // namespace

int SetupModelInstance(int reservedHandle, int baseHandle) {
    ModelBase* base = GetModelBase(baseHandle);
    if (!base || !IsModelInstanceSlotReserved(reservedHandle)) return -1;
    uint32_t drawBytes = uint32_t((base->frameCount + base->meshCount + 32) / 32 * 4);
    uint32_t matrixBytes = uint32_t((base->frameCount + 32) / 32 * 4);
    InstanceLayout l = PlanLayout(base, drawBytes, matrixBytes);
    auto* block = static_cast<unsigned char*>(AllocModelMemory(l.total));
    if (!block) return -1;
    auto* in = At<ModelInstance>(block, l.record);
    in->base = base;
    in->baseHandle = baseHandle;
    in->frames = At<ModelFrame>(block, l.frames);
    in->topFrames = At<ModelFrame*>(block, l.topFrames);
    in->meshes = At<ModelMesh>(block, l.meshes);
    in->triangleLists = At<ModelTriangleListState>(block, l.lists);
    in->materials = At<ModelMaterial>(block, l.materials);
    in->textures = At<ModelTexture>(block, l.textures);
    in->rigidBodies = At<ModelRigidBodyState>(block, l.bodies);
    in->joints = At<ModelJointState>(block, l.joints);
    in->drawDirtyBits = At<uint32_t>(block, l.drawBits);
    in->matrixDirtyBits = At<uint32_t>(block, l.matrixBits);
    in->drawDirtyBytes = drawBytes;
    in->matrixDirtyBytes = matrixBytes;
    std::memset(in->drawDirtyBits, 0xFF, drawBytes);
    std::memset(in->matrixDirtyBits, 0xFF, matrixBytes);
    in->skinMatrices = At<Matrix34>(block, l.skinMatrices);
    in->boneRefs = At<Matrix34*>(block, l.boneRefs);
    in->shapeStates = At<ModelShapeState>(block, l.shapes);
    in->scale = Vector3{1.0f, 1.0f, 1.0f};
    in->visible = 1;
    in->motionValid = 1;
    in->shapesDirty = 1;
    FillOnes(in->colourScales, 16);
    in->opacity = 1.0f;
    const int settings[kModelDrawSettingCount] = {1, 1, 4, 0, 0, 2};
    std::memcpy(in->drawSettings, settings, sizeof(settings));
    in->meshDrawFloat = base->meshDrawFloat;
    SetupMaterials(in);
    SetupMeshes(in, block, l);
    int handle = StoreModelInstance(reservedHandle, in);
    if (handle == -1) {
        FreeMemory(block);
        return -1;
    }
    SetupFrames(in, block, l, handle);
    SetupRigidBodies(in);
    in->next = base->firstInstance;
    if (base->firstInstance) base->firstInstance->prev = in;
    else base->lastInstance = in;
    base->firstInstance = in;
    ++base->instanceCount;
    ++base->refCount;
    GetModelBoundingBox(handle, nullptr, nullptr);
    CreateModelInstanceShapeBuffers(handle);
    if (base->rigidBodyCount > 0) SetupModelPhysics(in);
    return 0;
}

void CopyMaterialDrawSettings(const ModelBaseMaterial& base, ModelMaterial* out) {
    std::memcpy(out->outlineColour, base.outlineColour, sizeof(out->outlineColour));
    // A slot that names no texture takes its usual built-in ramp: the
    // banded one (-1) or the smooth one (-2) for the toon, the smooth one
    // for the second (specular) toon.
    out->toonTexture = base.extraTexture1 >= 0 || base.extraTexture1 == -2 ? base.extraTexture1 : -1;
    out->secondToonTexture = base.extraTexture2 >= 0 ? base.extraTexture2 : -2;
    out->toonMode = int(base.modeWords[0]);
    out->secondToonMode = int(base.modeWords[1]);
    out->blendMode = base.flagWord;
    out->blendParameter = base.alpha;
}

}  // namespace morpotta
