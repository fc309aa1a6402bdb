// Device-ready vertex arrays of triangle lists and their outline indices.
#include <cstring>

#include "model/convert/base_routines.h"

namespace morpotta {

namespace {

void Put(unsigned char* at, const void* value, size_t bytes) { std::memcpy(at, value, bytes); }

void PutFloats(unsigned char* at, float a, float b, float c, float d) {
    const float v[4] = {a, b, c, d};
    std::memcpy(at, v, sizeof(v));
}

int SlotOfBone(const ModelBaseTriangleList* list, int bone) {
    for (int i = 0; i < list->boneCount; ++i)
        if (list->bones[i] == bone) return i;
    return list->boneCount;
}

// Up to limit (weight, palette slot) pairs of a position; the rest 0.
int GatherWeights(const ModelBaseTriangleList* list, const ModelBaseFrame* frame, const ModelBasePosition* p,
                  int limit, float* weights, uint8_t* slots) {
    int count = 0;
    for (int i = 0; i < frame->maxWeightsPerVertex && count < limit; ++i) {
        if (!p->weightBones || p->weightBones[i] == -1) break;
        weights[count] = p->weightValues[i];
        slots[count] = uint8_t(SlotOfBone(list, p->weightBones[i]));
        ++count;
    }
    return count;
}

void FillInto(const ModelBaseTriangleList* list, unsigned char* out) {
    const ModelBaseMesh* mesh = list->mesh;
    const ModelBaseFrame* frame = mesh->frame;
    if (list->vertexKind > 3) return;
    for (int v = 0; v < list->vertexCount; ++v, out += list->vertexStride) {
        const ModelBaseMeshVertex& mv = mesh->vertices[list->meshVertices[v]];
        const ModelBasePosition& p = frame->positions[mv.position];
        const Vector3& n = frame->normals[mv.normal].normal;
        float weights[8] = {};
        uint8_t slots[8] = {};
        switch (list->vertexKind) {
        case 0:
            PutFloats(out, p.position.x, p.position.y, p.position.z, 1.0f);
            PutFloats(out + 16, n.x, n.y, n.z, 0.0f);
            break;
        case 1:
            GatherWeights(list, frame, &p, 4, weights, slots);
            Put(out, weights, 16);
            PutFloats(out + 16, p.position.x, p.position.y, p.position.z, 1.0f);
            Put(out + 32, &n, 12);
            Put(out + 44, slots, 4);
            break;
        case 2:
            GatherWeights(list, frame, &p, 8, weights, slots);
            Put(out, weights, 32);
            Put(out + 32, &n, 12);
            Put(out + 44, slots, 4);
            Put(out + 48, &p.position, 12);
            Put(out + 60, slots + 4, 4);
            break;
        case 3: {
            PutFloats(out, p.position.x, p.position.y, p.position.z, 1.0f);
            PutFloats(out + 16, n.x, n.y, n.z, 0.0f);
            unsigned char* pair = out + 32;
            int i = 0;
            for (; i < list->maxWeights && i < frame->maxWeightsPerVertex && p.weightBones &&
                   p.weightBones[i] != -1;
                 ++i, pair += 8) {
                uint32_t bone = uint32_t(p.weightBones[i]);
                Put(pair, &bone, 4);
                Put(pair + 4, &p.weightValues[i], 4);
            }
            for (; i < list->maxWeights; ++i, pair += 8) {
                const int32_t none = -1;
                const float zero = 0.0f;
                Put(pair, &none, 4);
                Put(pair + 4, &zero, 4);
            }
            break;
        }
        }
    }
}

}  // namespace

int TriangleListVertexStride(int vertexKind, int maxWeights) {
    switch (vertexKind) {
    case 0: return 32;
    case 1: return 48;
    case 2: return 64;
    case 3: return 32 + 8 * maxWeights;
    default: return 0;
    }
}

int FillTriangleListVertices(ModelBaseTriangleList* list) {
    FillInto(list, static_cast<unsigned char*>(list->vertices));
    return 0;
}

int FillTriangleListVertexCopy(TriangleListVertexCopy* copy) {
    FillInto(copy->list, static_cast<unsigned char*>(copy->vertices));
    return 0;
}

void FilterTriangleListIndices(ModelBaseTriangleList* list) {
    const ModelBaseMesh* mesh = list->mesh;
    int count = 0;
    for (int i = 0; i + 2 < list->indexCount; i += 3) {
        bool outlined = true;
        for (int c = 0; c < 3; ++c)
            if (mesh->vertices[list->meshVertices[list->indices[i + c]]].noOutline != 0) outlined = false;
        if (!outlined) continue;
        for (int c = 0; c < 3; ++c) list->outlineIndices[count++] = list->indices[i + c];
    }
    list->outlineIndexCount = count;
}

}  // namespace morpotta
