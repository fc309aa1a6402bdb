// What the normal recalculation and the vertex optimisation share.
#include "model/convert/vertex_passes.h"

#include <cmath>

#include "engine/memory.h"
#include "model/base/memory_chain.h"
#include "model/convert/base_routines.h"

namespace morpotta {

Vector3 NormalisedOrZero(Vector3 v) {
    float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(length > 0.0f) || !std::isfinite(length)) return Vector3{0, 0, 0};
    return Vector3{v.x / length, v.y / length, v.z / length};
}

Vector3 UnitFaceNormal(const Vector3& a, const Vector3& b, const Vector3& c) {
    Vector3 e1{b.x - a.x, b.y - a.y, b.z - a.z}, e2{c.x - a.x, c.y - a.y, c.z - a.z};
    return NormalisedOrZero(Vector3{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x});
}

void ReleaseBaseArray(ModelBase* base, void* array) { FreeChainedBlock(&base->memoryChain, array); }

void RefreshTriangleList(ModelBaseTriangleList* list) {
    ModelBase* base = list->mesh->frame->base;
    ReleaseBaseArray(base, list->fixedVertices);
    ReleaseBaseArray(base, list->outlineVertices);
    list->fixedVertices = list->outlineVertices = nullptr;
    list->fixedStride = 0;
    FillTriangleListVertices(list);
    FilterTriangleListIndices(list);
}

PassBlocks::~PassBlocks() {
    // Newest first: each chain block is then the head of its chain.
    for (auto it = blocks_.rbegin(); it != blocks_.rend(); ++it) {
        if (base_) FreeChainedBlock(&base_->memoryChain, *it);
        else FreeMemory(*it);
    }
}

void* PassBlocks::TakeBytes(size_t bytes) {
    void* block = base_ ? AllocChainedMemory(bytes, &base_->memoryChain) : AllocModelMemory(bytes);
    if (block) blocks_.push_back(block);
    return block;
}

}  // namespace morpotta
