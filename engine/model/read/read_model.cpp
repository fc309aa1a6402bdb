// Building the read model: records come zero-filled from the model's chain
// and are linked into doubly linked (count, first, last) lists.
#include "model/read/read_model.h"

#include <cstring>

#include "engine/memory.h"

namespace morpotta {

namespace {

template <typename T, T* T::*Prev, T* T::*Next>
void AppendToList(ReadModelList<T>* list, T* item) {
    item->*Prev = list->last;
    item->*Next = nullptr;
    if (list->last) list->last->*Next = item;
    else list->first = item;
    list->last = item;
    ++list->count;
}

template <typename T>
void AppendModelWide(ReadModelList<T>* list, T* item) {
    item->index = uint32_t(list->count);
    AppendToList<T, &T::prev, &T::next>(list, item);
}

template <typename T>
T* NewRecord(ReadModel* model) {
    return static_cast<T*>(AllocChainedMemory(sizeof(T), &model->chain));
}

void SetIdentity(Matrix44* m) {
    std::memset(m, 0, sizeof(*m));
    for (int i = 0; i < 4; ++i) m->m[i][i] = 1.0f;
}

ReadModelFrame* LastDescendant(ReadModelFrame* frame) {
    while (frame->lastChild) frame = frame->lastChild;
    return frame;
}

void InsertFrameAfter(ReadModelList<ReadModelFrame>* list, ReadModelFrame* after, ReadModelFrame* frame) {
    frame->prev = after;
    frame->next = after->next;
    if (after->next) after->next->prev = frame;
    else list->last = frame;
    after->next = frame;
    ++list->count;
}

}  // namespace

int ReadKeyValueBytes(int valueType) {
    switch (valueType) {
    case READ_KEY_QUATERNION:
    case READ_KEY_QUATERNION_INTERNAL: return 16;
    case READ_KEY_VECTOR: return 12;
    case READ_KEY_MATRIX4X3: return 48;
    case READ_KEY_MATRIX3X3: return 36;
    case READ_KEY_FLOAT4:
    case READ_KEY_FLOAT:
    case READ_KEY_FLOAT6: return 4;
    default: return 0;
    }
}

int InitReadModel(ReadModel* model) {
    std::memset(model, 0, sizeof(*model));
    return 0;
}

int FreeReadModel(ReadModel* model) {
    FreeMemoryChain(&model->chain);
    FreeMemory(model->workBuffer1);
    FreeMemory(model->workBuffer2);
    model->workBuffer1 = model->workBuffer2 = nullptr;
    return 0;
}

const char* AddReadModelString(ReadModel* model, const char* text) {
    if (!text) return nullptr;
    size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(AllocChainedMemory(length + 1, &model->chain));
    if (!copy) return nullptr;
    std::memcpy(copy, text, length);
    model->stringBytes += uint32_t((length + 4) & ~size_t(3));
    return copy;
}

ReadModelFrame* AddReadModelFrame(ReadModel* model, const char* name, ReadModelFrame* parent) {
    auto* frame = NewRecord<ReadModelFrame>(model);
    if (!frame) return nullptr;
    ReadModelList<ReadModelFrame>* list = &model->frames;
    if (!parent) {
        AppendToList<ReadModelFrame, &ReadModelFrame::prev, &ReadModelFrame::next>(list, frame);
    } else {
        // Subtrees stay contiguous: the new child goes behind the parent's
        // last descendant.
        InsertFrameAfter(list, LastDescendant(parent), frame);
        frame->parent = parent;
        frame->prevSibling = parent->lastChild;
        if (parent->lastChild) parent->lastChild->nextSibling = frame;
        else parent->firstChild = frame;
        parent->lastChild = frame;
    }
    uint32_t index = 0;
    for (ReadModelFrame* f = list->first; f; f = f->next) f->index = index++;
    frame->name = AddReadModelString(model, name ? name : "");
    if (!frame->name) return nullptr;
    SetIdentity(&frame->transform);
    frame->scale = Vector3{1.0f, 1.0f, 1.0f};
    frame->rotationOrder = 0;
    frame->quaternion[3] = 1.0f;
    frame->visible = 1;
    frame->smoothingAngle = kReadFrameDefaultSmoothing;
    return frame;
}

ReadModelMesh* AddReadModelMesh(ReadModel* model, ReadModelFrame* frame) {
    auto* mesh = NewRecord<ReadModelMesh>(model);
    if (!mesh) return nullptr;
    AppendModelWide(&model->meshes, mesh);
    if (frame) {
        AppendToList<ReadModelMesh, &ReadModelMesh::prevInFrame, &ReadModelMesh::nextInFrame>(&frame->meshes, mesh);
        mesh->frame = frame;
    }
    return mesh;
}

void CopyReadModelFace(ReadModelMesh* mesh, int to, int from) {
    mesh->faceCorners[to] = mesh->faceCorners[from];
    mesh->faceMaterials[to] = mesh->faceMaterials[from];
    size_t bytes = sizeof(int) * size_t(mesh->maxIndicesPerFace);
    for (int a = 0; a < kFaceIndexArrays; ++a)
        if (mesh->faceIndices[a]) std::memcpy(ReadFaceIndices(mesh, a, to), ReadFaceIndices(mesh, a, from), bytes);
}

void FreeReadModelFaces(ReadModel* model, ReadModelMesh* mesh) {
    FreeChainedBlock(&model->chain, mesh->faceCorners);
    FreeChainedBlock(&model->chain, mesh->faceMaterials);
    mesh->faceCorners = nullptr;
    mesh->faceMaterials = nullptr;
    for (int*& array : mesh->faceIndices) {
        FreeChainedBlock(&model->chain, array);
        array = nullptr;
    }
    mesh->faceCount = 0;
    mesh->maxIndicesPerFace = 0;
}

bool AddReadModelFaceArray(ReadModel* model, ReadModelMesh* mesh, int array) {
    if (mesh->faceIndices[array]) return true;
    mesh->faceIndices[array] =
        AllocReadModelArray<int>(model, size_t(mesh->faceCount) * size_t(mesh->maxIndicesPerFace));
    if (!mesh->faceIndices[array]) return false;
    if (mesh->faceArrays) mesh->faceArrays |= 1u << array;
    return true;
}

int ReserveReadModelFaces(ReadModel* model, ReadModelMesh* mesh, int faceCount, int indicesPerFace) {
    if (faceCount < 0 || indicesPerFace < 0 || indicesPerFace > kReadFaceMaxCorners) return -1;
    if (mesh->faceCorners && mesh->maxIndicesPerFace >= indicesPerFace && mesh->faceCount >= faceCount) return 0;
    const uint32_t arrays = ReadModelFaceArrays(mesh);
    ReadModelMesh grown{};
    grown.faceCount = faceCount;
    grown.maxIndicesPerFace = indicesPerFace;
    grown.faceCorners = AllocReadModelArray<uint8_t>(model, size_t(faceCount));
    grown.faceMaterials = AllocReadModelArray<int>(model, size_t(faceCount));
    bool ok = grown.faceCorners && grown.faceMaterials;
    for (int a = 0; a < kFaceIndexArrays && ok; ++a)
        if (arrays & (1u << a)) ok = AddReadModelFaceArray(model, &grown, a);
    if (ok) {
        const int keep = mesh->faceCount < faceCount ? mesh->faceCount : faceCount;
        const int entries = mesh->maxIndicesPerFace < indicesPerFace ? mesh->maxIndicesPerFace : indicesPerFace;
        if (keep > 0 && mesh->faceCorners) {
            std::memcpy(grown.faceCorners, mesh->faceCorners, size_t(keep));
            std::memcpy(grown.faceMaterials, mesh->faceMaterials, sizeof(int) * size_t(keep));
        }
        const bool sameWidth = mesh->maxIndicesPerFace == indicesPerFace;
        for (int a = 0; a < kFaceIndexArrays; ++a) {
            if (!grown.faceIndices[a] || !mesh->faceIndices[a] || keep <= 0) continue;
            if (sameWidth)
                std::memcpy(grown.faceIndices[a], mesh->faceIndices[a], sizeof(int) * size_t(keep) * size_t(entries));
            else
                for (int f = 0; f < keep; ++f)
                    std::memcpy(ReadFaceIndices(&grown, a, f), ReadFaceIndices(mesh, a, f), sizeof(int) * size_t(entries));
        }
    }
    if (!ok) {
        FreeReadModelFaces(model, &grown);
        return -1;
    }
    ReplaceReadModelFaces(model, mesh, grown);
    return 0;
}

void ReplaceReadModelFaces(ReadModel* model, ReadModelMesh* mesh, const ReadModelMesh& from) {
    FreeReadModelFaces(model, mesh);
    mesh->faceCount = from.faceCount;
    mesh->maxIndicesPerFace = from.maxIndicesPerFace;
    mesh->faceCorners = from.faceCorners;
    mesh->faceMaterials = from.faceMaterials;
    std::memcpy(mesh->faceIndices, from.faceIndices, sizeof(mesh->faceIndices));
}

void RemoveReadModelMesh(ReadModel* model, ReadModelFrame* frame, ReadModelMesh* mesh) {
    if (mesh->prev) mesh->prev->next = mesh->next;
    else model->meshes.first = mesh->next;
    if (mesh->next) mesh->next->prev = mesh->prev;
    else model->meshes.last = mesh->prev;
    --model->meshes.count;
    if (!frame) return;
    if (mesh->prevInFrame) mesh->prevInFrame->nextInFrame = mesh->nextInFrame;
    else frame->meshes.first = mesh->nextInFrame;
    if (mesh->nextInFrame) mesh->nextInFrame->prevInFrame = mesh->prevInFrame;
    else frame->meshes.last = mesh->prevInFrame;
    --frame->meshes.count;
}

ReadModelMaterial* AddReadModelMaterial(ReadModel* model, const char* name) {
    auto* material = NewRecord<ReadModelMaterial>(model);
    if (!material) return nullptr;
    AppendModelWide(&model->materials, material);
    material->name = AddReadModelString(model, name ? name : "");
    if (!material->name) return nullptr;
    for (float& c : material->diffuse) c = 1.0f;
    material->extraTextureIndex1 = material->extraTextureIndex2 = -1;
    material->modeWords[0] = 2;
    material->modeWords[1] = 1;
    material->flagWord = 1;
    material->alpha = 255;
    return material;
}

ReadModelMaterial* GetReadModelMaterial(ReadModel* model, int index) {
    ReadModelMaterial* material = model->materials.first;
    for (int i = 1; i <= index && material && material->next; ++i) material = material->next;
    return material;
}

ReadModelSkinWeight* AllocReadModelSkinWeight(ReadModel* model) {
    auto* weight = NewRecord<ReadModelSkinWeight>(model);
    if (weight) ++model->skinWeightCount;
    return weight;
}

ReadModelShape* AddReadModelShape(ReadModel* model, const char* name, ReadModelFrame* frame) {
    auto* shape = NewRecord<ReadModelShape>(model);
    if (!shape) return nullptr;
    AppendModelWide(&model->shapes, shape);
    if (frame) {
        AppendToList<ReadModelShape, &ReadModelShape::prevInFrame, &ReadModelShape::nextInFrame>(&frame->shapes,
                                                                                                  shape);
        shape->frame = frame;
    }
    shape->name = AddReadModelString(model, name ? name : "");
    return shape->name ? shape : nullptr;
}

ReadModelRigidBody* AddReadModelRigidBody(ReadModel* model, const char* name, uint32_t value) {
    auto* body = NewRecord<ReadModelRigidBody>(model);
    if (!body) return nullptr;
    AppendModelWide(&model->rigidBodies, body);
    body->params[0] = value;
    body->name = AddReadModelString(model, name ? name : "");
    return body->name ? body : nullptr;
}

ReadModelJoint* AddReadModelJoint(ReadModel* model, const char* name) {
    auto* joint = NewRecord<ReadModelJoint>(model);
    if (!joint) return nullptr;
    AppendModelWide(&model->joints, joint);
    joint->name = AddReadModelString(model, name ? name : "");
    return joint->name ? joint : nullptr;
}

ReadModelAnimSet* AddReadModelAnimSet(ReadModel* model, const char* name) {
    auto* set = NewRecord<ReadModelAnimSet>(model);
    if (!set) return nullptr;
    AppendModelWide(&model->animSets, set);
    set->name = AddReadModelString(model, name ? name : "");
    return set->name ? set : nullptr;
}

ReadModelAnim* AddReadModelAnim(ReadModel* model, ReadModelAnimSet* set) {
    auto* anim = NewRecord<ReadModelAnim>(model);
    if (!anim) return nullptr;
    AppendModelWide(&model->anims, anim);
    AppendToList<ReadModelAnim, &ReadModelAnim::prevInSet, &ReadModelAnim::nextInSet>(&set->anims, anim);
    anim->set = set;
    return anim;
}

ReadModelAnimKeySet* AddReadModelAnimKeySet(ReadModel* model, ReadModelAnim* anim) {
    auto* keySet = NewRecord<ReadModelAnimKeySet>(model);
    if (!keySet) return nullptr;
    AppendModelWide(&model->keySets, keySet);
    AppendToList<ReadModelAnimKeySet, &ReadModelAnimKeySet::prevInAnim, &ReadModelAnimKeySet::nextInAnim>(
        &anim->keySets, keySet);
    keySet->anim = anim;
    keySet->explicitTimes = 1;
    keySet->shapeIndex = -1;
    return keySet;
}

}  // namespace morpotta
