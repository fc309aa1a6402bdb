// Shapes of model instances. A shaped mesh keeps a work area of position
// and normal per mesh vertex; the shapes of its frame add into it, and its
// triangle lists take their vertices from it, in the instance's vertex
// copies (the layout of the list's kind) and in the instance's own device
// buffers (the layout of the list's device block).
#include "model/draw/model_shapes.h"

#include <cstring>

#include "graphics/device/device.h"
#include "model/base/model_handles.h"
#include "model/draw/model_device_buffers.h"

namespace morpotta {

namespace {

constexpr float kLeastWeight = 0.0000001f;

struct KindLayout {
    int position, normal;  // byte offsets in a vertex of the kind
};

KindLayout LayoutOf(int kind) {
    switch (kind) {
    case 1: return {16, 32};
    case 2: return {48, 32};
    default: return {0, 16};
    }
}

ModelInstance* InstanceOf(int handle) { return IsModelSystemReady() ? GetModelInstance(handle) : nullptr; }

void ResetWork(const ModelMesh& mesh) {
    const ModelBaseMesh* bm = mesh.base;
    const ModelBaseFrame* frame = bm->frame;
    for (int v = 0; v < bm->vertexCount; ++v) {
        const ModelBaseMeshVertex& mv = bm->vertices[v];
        const bool hasNormal = mv.normal >= 0 && mv.normal < frame->normalCount;
        mesh.vertexWork[2 * v] = frame->positions[mv.position].position;
        mesh.vertexWork[2 * v + 1] = hasNormal ? frame->normals[mv.normal].normal : Vector3{0, 0, 0};
    }
}

void AddTarget(ModelMesh* mesh, const ModelBaseShapeTarget& target, float weight) {
    for (int i = 0; i < target.vertexCount; ++i) {
        const ModelBaseShapeVertex& sv = target.vertices[i];
        if (sv.meshVertex < 0 || sv.meshVertex >= mesh->base->vertexCount) continue;
        Vector3& p = mesh->vertexWork[2 * sv.meshVertex];
        Vector3& n = mesh->vertexWork[2 * sv.meshVertex + 1];
        p.x += weight * sv.position.x;
        p.y += weight * sv.position.y;
        p.z += weight * sv.position.z;
        n.x += weight * sv.normal.x;
        n.y += weight * sv.normal.y;
        n.z += weight * sv.normal.z;
    }
}

void WriteCopy(const ModelMesh& mesh, const ModelTriangleListState& state) {
    const ModelBaseTriangleList* list = state.list;
    KindLayout at = LayoutOf(list->vertexKind);
    auto* out = static_cast<unsigned char*>(state.vertexCopy);
    for (int v = 0; v < list->vertexCount; ++v, out += list->vertexStride) {
        const Vector3* work = &mesh.vertexWork[2 * list->meshVertices[v]];
        std::memcpy(out + at.position, &work[0], sizeof(Vector3));
        std::memcpy(out + at.normal, &work[1], sizeof(Vector3));
    }
}

void Upload(const ModelTriangleListState& state) {
    const ModelBaseTriangleList* list = state.list;
    const ModelDeviceBlock* block = list->deviceBlock;
    if (!state.ownVertexBuffer || !block) return;
    void* data = nullptr;
    if (LockDeviceVertexBuffer(state.ownVertexBuffer, 0, block->stride * list->vertexCount, &data, 0) != 0) return;
    WriteDeviceVertices(*list, state.vertexCopy, static_cast<unsigned char*>(data), block->stride);
    UnlockDeviceVertexBuffer(state.ownVertexBuffer);
}

void RebuildMesh(ModelMesh* mesh) {
    for (int t = 0; t < mesh->triangleListCount; ++t) {
        const ModelTriangleListState& state = mesh->triangleLists[t];
        if (!state.vertexCopy) continue;
        WriteCopy(*mesh, state);
        Upload(state);
    }
}

template <typename Visit>
void ForEachShapedList(ModelInstance* in, Visit visit) {
    for (int f = 0; f < in->base->frameCount; ++f) {
        ModelFrame& frame = in->frames[f];
        if (frame.baseFrame->shapeTargetCount <= 0) continue;
        for (int m = 0; m < frame.baseFrame->meshCount; ++m) {
            ModelMesh& mesh = frame.firstMesh[m];
            if (!mesh.base->needsInstanceVertices) continue;
            for (int t = 0; t < mesh.triangleListCount; ++t) visit(&frame, &mesh.triangleLists[t]);
        }
    }
}

}  // namespace

int ApplyInstanceShapes(ModelInstance* in) {
    if (!in->shapesDirty) return 0;
    in->shapesDirty = 0;
    const ModelBase* base = in->base;
    for (int f = 0; f < base->frameCount; ++f) {
        ModelFrame& frame = in->frames[f];
        const ModelBaseFrame* bf = frame.baseFrame;
        if (!frame.shapeChanged || bf->shapeTargetCount <= 0) continue;
        frame.shapeChanged = 0;
        for (int m = 0; m < bf->meshCount; ++m)
            if (frame.firstMesh[m].base->needsInstanceVertices && frame.firstMesh[m].vertexWork)
                ResetWork(frame.firstMesh[m]);
        for (int t = 0; t < bf->shapeTargetCount; ++t) {
            const ModelBaseShapeTarget& target = bf->firstShapeTarget[t];
            if (target.shape < 0 || target.shape >= bf->shapeCount || !frame.shapeStates) continue;
            float weight = frame.shapeStates[target.shape].weight;
            ModelMesh* mesh = &in->meshes[target.mesh - base->meshes];
            if (weight >= kLeastWeight && mesh->vertexWork) AddTarget(mesh, target, weight);
        }
        for (int m = 0; m < bf->meshCount; ++m)
            if (frame.firstMesh[m].base->needsInstanceVertices && frame.firstMesh[m].vertexWork)
                RebuildMesh(&frame.firstMesh[m]);
    }
    return 0;
}

int ApplyModelShapes(int modelHandle) {
    ModelInstance* in = InstanceOf(modelHandle);
    return in ? ApplyInstanceShapes(in) : -1;
}

int CreateInstanceShapeBuffers(ModelInstance* in) {
    if (!HardwareRenderingActive()) return 0;
    bool ok = true;
    ForEachShapedList(in, [&ok](ModelFrame* frame, ModelTriangleListState* state) {
        const ModelDeviceBlock* block = state->list->deviceBlock;
        if (block && !state->ownVertexBuffer) {
            state->ownVertexBuffer = CreateDeviceVertexBuffer(block->stride * state->list->vertexCount,
                                                              DEVICE_USAGE_DYNAMIC | DEVICE_USAGE_WRITEONLY,
                                                              block->fvf, 0);
            if (!state->ownVertexBuffer) ok = false;
        }
        frame->shapeChanged = 1;
    });
    in->shapesDirty = 1;
    return ok ? 0 : -1;
}

int CreateModelInstanceShapeBuffers(int modelHandle) {
    ModelInstance* in = InstanceOf(modelHandle);
    return in ? CreateInstanceShapeBuffers(in) : -1;
}

void ReleaseInstanceShapeBuffers(ModelInstance* in) {
    ForEachShapedList(in, [](ModelFrame*, ModelTriangleListState* state) {
        if (state->ownVertexBuffer) ReleaseDeviceVertexBuffer(state->ownVertexBuffer);
        state->ownVertexBuffer = nullptr;
    });
}

int ReleaseModelInstanceShapeBuffers(int modelHandle) {
    ModelInstance* in = InstanceOf(modelHandle);
    if (!in) return -1;
    ReleaseInstanceShapeBuffers(in);
    return 0;
}

}  // namespace morpotta
