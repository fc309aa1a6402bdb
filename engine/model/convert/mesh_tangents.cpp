// Tangents and binormals of a base mesh from its texture coordinates.
#include <cmath>

#include "engine/log.h"
#include "engine/memory.h"
#include "model/base/model_math.h"
#include "model/convert/base_routines.h"

namespace morpotta {

namespace {

Vector3 NormalisedTangent(Vector3 v) {
    float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    // A zero sum (opposite contributions, no UVs) has no direction: keep 0
    // rather than spreading NaN.
    if (!(length > 1e-20f) || !std::isfinite(length)) return Vector3{0, 0, 0};
    return Vector3{v.x / length, v.y / length, v.z / length};
}

float Component(const Vector3& v, int k) { return k == 0 ? v.x : k == 1 ? v.y : v.z; }
float& Component(Vector3& v, int k) { return k == 0 ? v.x : k == 1 ? v.y : v.z; }

struct TriangleTangent {
    Vector3 tangent;
    Vector3 binormal;
};

// One coordinate's tangent and binormal of a triangle, keeping the
// binormal of the previous triangle when the UVs give no direction.
void TangentOfCoordinate(const Vector3* p[3], const float* uv[3], int k, TriangleTangent* t) {
    Vector3 e1{Component(*p[1], k) - Component(*p[0], k), uv[1][0] - uv[0][0], uv[1][1] - uv[0][1]};
    Vector3 e2{Component(*p[2], k) - Component(*p[0], k), uv[2][0] - uv[0][0], uv[2][1] - uv[0][1]};
    Vector3 c = CrossVector3(e1, e2);
    // Collinear UVs leave c.x at (or near) zero: dividing would give an
    // infinite tangent, so they count as degenerate too.
    if (c.x * c.x + c.y * c.y + c.z * c.z >= 0.0000001f && std::fabs(c.x) > 1e-12f) {
        Component(t->tangent, k) = -c.y / c.x;
        Component(t->binormal, k) = -c.z / c.x;
    } else {
        Component(t->tangent, k) = 1.0f;
    }
}

}  // namespace

int BuildMeshTangents(ModelBaseMesh* mesh) {
    ModelBaseFrame* frame = mesh->frame;
    auto* marked = static_cast<uint8_t*>(AllocModelMemory(size_t(frame->normalCount) + 1));
    if (!marked) return WriteLogText("頂点の接線と従法線の作成作業に必要なメモリ領域の確保に失敗しました");
    for (int i = 0; i < mesh->vertexCount; ++i) {
        int n = mesh->vertices[i].normal;
        if (n < 0 || n >= frame->normalCount) continue;
        marked[n] = 1;
        frame->normals[n].tangent = frame->normals[n].binormal = Vector3{0, 0, 0};
    }
    TriangleTangent t{};
    for (int l = 0; l < mesh->triangleListCount; ++l) {
        const ModelBaseTriangleList& list = mesh->firstTriangleList[l];
        for (int i = 0; i + 2 < list.indexCount; i += 3) {
            const ModelBaseMeshVertex* v[3];
            const Vector3* p[3];
            const float* uv[3];
            for (int c = 0; c < 3; ++c) {
                v[c] = &mesh->vertices[list.meshVertices[list.indices[i + c]]];
                p[c] = &frame->positions[v[c]->position].position;
                uv[c] = v[c]->uv[0];
            }
            for (int k = 0; k < 3; ++k) TangentOfCoordinate(p, uv, k, &t);
            for (int c = 0; c < 3; ++c) {
                ModelBaseNormal& n = frame->normals[v[c]->normal];
                n.tangent = Vector3{n.tangent.x + t.tangent.x, n.tangent.y + t.tangent.y, n.tangent.z + t.tangent.z};
                n.binormal =
                    Vector3{n.binormal.x + t.binormal.x, n.binormal.y + t.binormal.y, n.binormal.z + t.binormal.z};
            }
        }
    }
    for (int i = 0; i < frame->normalCount; ++i) {
        if (!marked[i]) continue;
        ModelBaseNormal& n = frame->normals[i];
        Vector3 tangent = NormalisedTangent(n.tangent);
        Vector3 normal = NormalisedTangent(CrossVector3(tangent, n.binormal));
        n.tangent = tangent;
        n.binormal = NormalisedTangent(CrossVector3(normal, tangent));
    }
    FreeMemory(marked);
    return 0;
}

}  // namespace morpotta
