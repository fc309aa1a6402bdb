// GetModelBoundingBox: the whole model's box, filled once at the first
// instance set-up from every vertex placed by the instance's refreshed
// frame matrices (rigid lists) or skin matrices (skinned lists); every
// mesh's box widens its frame's box in the frame's own space.
#include "engine/model.h"
#include "foundation/engine_thread.h"
#include "model/base/model_handles.h"
#include "model/instance/model_refresh.h"

using namespace morpotta;

namespace {

constexpr float kFar = 1e8f;

struct Box {
    Vector3 min{kFar, kFar, kFar};
    Vector3 max{-kFar, -kFar, -kFar};
    void Widen(const Vector3& p) {
        min.x = p.x < min.x ? p.x : min.x;
        min.y = p.y < min.y ? p.y : min.y;
        min.z = p.z < min.z ? p.z : min.z;
        max.x = p.x > max.x ? p.x : max.x;
        max.y = p.y > max.y ? p.y : max.y;
        max.z = p.z > max.z ? p.z : max.z;
    }
};

// A skinned vertex: the weighted sum of its bones' skin matrices, each
// named by its slot in the frame's bone references.
Vector3 PlaceSkinned(const ModelFrame& frame, const ModelBasePosition& p) {
    const ModelBaseFrame* bf = frame.baseFrame;
    Vector3 out{};
    for (int w = 0; w < bf->maxWeightsPerVertex && p.weightBones[w] != -1; ++w) {
        int slot = p.weightBones[w];
        if (slot < 0 || slot >= bf->boneRefCount || !frame.boneRefs || !frame.boneRefs[slot]) continue;
        Vector3 q;
        TransformPointBy34(frame.boneRefs[slot], &q, &p.position);
        out.x += q.x * p.weightValues[w];
        out.y += q.y * p.weightValues[w];
        out.z += q.z * p.weightValues[w];
    }
    return out;
}

void FillBaseBounds(ModelInstance* in) {
    ModelBase* base = in->base;
    RefreshModelMatrices(in);
    Box model;
    for (int f = 0; f < base->frameCount; ++f) {
        ModelBaseFrame* frame = &base->frames[f];
        if (frame->meshCount <= 0) continue;
        Box frameBox;
        for (int m = 0; m < frame->meshCount; ++m) {
            const ModelBaseMesh& mesh = frame->firstMesh[m];
            Box meshBox;
            for (int t = 0; t < mesh.triangleListCount; ++t) {
                const ModelBaseTriangleList& list = mesh.firstTriangleList[t];
                const ModelFrame& placed = in->frames[f];
                const bool skinned = list.vertexKind != 0;
                for (int v = 0; v < list.vertexCount; ++v) {
                    const ModelBasePosition& p = frame->positions[mesh.vertices[list.meshVertices[v]].position];
                    Vector3 world;
                    if (skinned && p.weightBones)
                        world = PlaceSkinned(placed, p);
                    else
                        TransformPointBy34(&placed.worldMatrix, &world, &p.position);
                    model.Widen(world);
                    meshBox.Widen(p.position);
                }
            }
            frameBox.Widen(meshBox.min);
            frameBox.Widen(meshBox.max);
        }
        frame->boxMin = frameBox.min;
        frame->boxMax = frameBox.max;
    }
    base->boundsMin = model.min;
    base->boundsMax = model.max;
    base->boundsValid = 1;
}

}  // namespace

int GetModelBoundingBox(int modelHandle, float* minOut, float* maxOut) {
    const PublicCall call("GetModelBoundingBox");
    if (!AllowOnlyOnEngineThread()) return -1;
    ModelInstance* in = GetModelInstanceForCall(modelHandle);
    if (!in) return -1;
    if (!in->base->boundsValid) FillBaseBounds(in);
    const ModelBase* base = in->base;
    if (minOut) {
        minOut[0] = base->boundsMin.x;
        minOut[1] = base->boundsMin.y;
        minOut[2] = base->boundsMin.z;
    }
    if (maxOut) {
        maxOut[0] = base->boundsMax.x;
        maxOut[1] = base->boundsMax.y;
        maxOut[2] = base->boundsMax.z;
    }
    return 0;
}
