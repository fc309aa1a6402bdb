// GetModelBoundingBox: the whole model's box, filled once at the first
// instance set-up from every vertex placed by its frame (or skin) matrix;
// every mesh's box widens its frame's box in the frame's own space.
#include <vector>

#include "engine/model.h"
#include "model/base/model_handles.h"

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

Matrix44 ModelMatrix(const ModelInstance* in) {
    Matrix44 m = MakeScalingMatrix(in->scale.x, in->scale.y, in->scale.z);
    Matrix44 r;
    BuildEulerXYZMatrix(&r, in->rotation.x, in->rotation.y, in->rotation.z);
    m = MakeProductMatrix(m, r);
    m.m[3][0] += in->translation.x;
    m.m[3][1] += in->translation.y;
    m.m[3][2] += in->translation.z;
    return m;
}

// The frames' world matrices at rest, placed by the instance.
std::vector<Matrix44> FrameWorlds(const ModelInstance* in) {
    const ModelBase* base = in->base;
    Matrix44 model = ModelMatrix(in);
    std::vector<Matrix44> worlds(size_t(base->frameCount));
    for (int i = 0; i < base->frameCount; ++i) {
        Matrix44 rest;
        ConvertMatrix34To44(&rest, &base->frames[i].worldMatrix);
        worlds[size_t(i)] = MakeProductMatrix(rest, model);
    }
    return worlds;
}

Vector3 PlaceVertex(const ModelBase* base, const ModelBaseFrame* frame, const ModelBasePosition& p,
                    const std::vector<Matrix44>& worlds) {
    Vector3 out{};
    if (!p.weightBones || frame->maxWeightsPerVertex <= 0) {
        TransformPointByMatrix(&out.x, &p.position.x, &worlds[size_t(frame->index)].m[0][0]);
        return out;
    }
    for (int w = 0; w < frame->maxWeightsPerVertex && p.weightBones[w] != -1; ++w) {
        int bone = p.weightBones[w];
        if (bone < 0 || bone >= base->skinBoneCount) continue;
        const ModelBaseSkinBone& b = base->skinBones[bone];
        if (b.boneFrame < 0 || b.boneFrame >= base->frameCount) continue;
        Matrix44 skin = MakeProductMatrix(b.offset, worlds[size_t(b.boneFrame)]);
        Vector3 q;
        TransformPointByMatrix(&q.x, &p.position.x, &skin.m[0][0]);
        out.x += q.x * p.weightValues[w];
        out.y += q.y * p.weightValues[w];
        out.z += q.z * p.weightValues[w];
    }
    return out;
}

void FillBaseBounds(const ModelInstance* in) {
    ModelBase* base = in->base;
    std::vector<Matrix44> worlds = FrameWorlds(in);
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
                for (int v = 0; v < list.vertexCount; ++v) {
                    const ModelBasePosition& p = frame->positions[mesh.vertices[list.meshVertices[v]].position];
                    model.Widen(PlaceVertex(base, frame, p, worlds));
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
    ModelInstance* in = GetModelInstance(modelHandle);
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
