// Normal generation: around each corner's position, neighbouring faces
// whose normals turn less than the smoothing angle form a group that
// shares one averaged normal. Neighbours are found through per-position
// lists of the corners that use each position, so the cost follows the
// number of faces around a position.
#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/log.h"
#include "engine/memory.h"
#include "model/convert/mesh_prepare.h"

namespace {

struct CornerRef {
    int face;
    int corner;
};

struct NormalWork {
    const ReadModelMesh* mesh;
    float threshold;
    int* cornerSlot;        // provisional normal slot per corner
    Vector3* slotNormal;    // per provisional slot
    int* firstOfPosition;   // start of each position's corners in the list
    CornerRef* corners;     // corners grouped by position
    int* groupStamp;        // per face: the group that holds it
    std::vector<CornerRef>* group;
};

Vector3 Sub(const Vector3& a, const Vector3& b) { return Vector3{a.x - b.x, a.y - b.y, a.z - b.z}; }
Vector3 Cross(const Vector3& a, const Vector3& b) {
    return Vector3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// A zero vector (degenerate face, cancelling sum) stays zero instead of
// becoming NaN and spreading to its neighbours.
Vector3 Normalised(const Vector3& v) {
    float length = std::sqrt(Dot(v, v));
    if (!(length > 1e-30f) || !std::isfinite(length)) return Vector3{0, 0, 0};
    return Vector3{v.x / length, v.y / length, v.z / length};
}

int PositionAt(const ReadModelMesh* mesh, int face, int corner) { return mesh->faces[face].positionIndex[corner]; }

// The corner of face that uses position p, or -1.
int CornerOf(const ReadModelMesh* mesh, int face, int p) {
    for (int c = 0; c < 3; ++c)
        if (PositionAt(mesh, face, c) == p) return c;
    return -1;
}

// Walks from the start corner across the edge toward the next (or the
// previous) corner, adding faces while they turn less than the angle.
// Returns true when the walk came back to the starting face.
bool Walk(NormalWork& w, int startFace, int startCorner, bool towardNext, int stamp) {
    const ReadModelMesh* mesh = w.mesh;
    int p = PositionAt(mesh, startFace, startCorner);
    int current = startFace, corner = startCorner, previous = -1;
    int other = towardNext ? (corner + 1) % 3 : (corner + 2) % 3;
    for (;;) {
        int q = PositionAt(mesh, current, other);
        bool currentForward = other == (corner + 1) % 3;  // current holds the edge p -> q
        const Vector3& n = mesh->faces[current].normal;
        int best = -1, bestCorner = -1;
        bool bestForward = false;
        float bestDot = -2.0f;
        // Faces across the edge use both positions: walk the shorter of
        // the two positions' corner lists.
        int scan = w.firstOfPosition[q + 1] - w.firstOfPosition[q] < w.firstOfPosition[p + 1] - w.firstOfPosition[p]
                       ? q
                       : p;
        for (int i = w.firstOfPosition[scan]; i < w.firstOfPosition[scan + 1]; ++i) {
            int g = w.corners[i].face;
            if (g == current || g == previous) continue;
            int j = scan == p ? w.corners[i].corner : CornerOf(mesh, g, p);
            if (j < 0) continue;
            bool forward = PositionAt(mesh, g, (j + 1) % 3) == q;
            if (!forward && PositionAt(mesh, g, (j + 2) % 3) != q) continue;
            if (g == startFace) return true;
            if (w.groupStamp[g] == stamp) continue;
            float d = Dot(n, mesh->faces[g].normal);
            if (d > bestDot) {  // the face that turns least about the edge
                bestDot = d;
                best = g;
                bestCorner = j;
                bestForward = forward;
            }
        }
        if (best < 0 || bestForward == currentForward || bestDot < w.threshold) return false;
        w.groupStamp[best] = stamp;
        w.group->push_back(CornerRef{best, bestCorner});
        other = bestForward ? (bestCorner + 2) % 3 : (bestCorner + 1) % 3;
        previous = current;
        current = best;
        corner = bestCorner;
    }
}

void FaceNormals(const ReadModel* model, ReadModelMesh* mesh) {
    for (int f = 0; f < mesh->faceCount; ++f) {
        ReadModelFace& face = mesh->faces[f];
        const Vector3& p0 = mesh->positions[face.positionIndex[0]];
        Vector3 e1 = Sub(mesh->positions[face.positionIndex[1]], p0);
        Vector3 e2 = Sub(mesh->positions[face.positionIndex[2]], p0);
        face.normal = Normalised(model->reverseWinding ? Cross(e2, e1) : Cross(e1, e2));
    }
}

bool BuildPositionLists(NormalWork& w, int positionCount, int faceCount) {
    const ReadModelMesh* mesh = w.mesh;
    for (int f = 0; f < faceCount; ++f)
        for (int c = 0; c < 3; ++c) ++w.firstOfPosition[PositionAt(mesh, f, c) + 1];
    for (int p = 0; p < positionCount; ++p) w.firstOfPosition[p + 1] += w.firstOfPosition[p];
    std::vector<int> fill(w.firstOfPosition, w.firstOfPosition + positionCount);
    for (int f = 0; f < faceCount; ++f)
        for (int c = 0; c < 3; ++c) w.corners[fill[PositionAt(mesh, f, c)]++] = CornerRef{f, c};
    return true;
}

bool IndicesValid(const ReadModelMesh* mesh) {
    for (int f = 0; f < mesh->faceCount; ++f) {
        if (mesh->faces[f].indexCount != 3) return false;
        for (int c = 0; c < 3; ++c) {
            int p = mesh->faces[f].positionIndex[c];
            if (p < 0 || p >= mesh->positionCount) return false;
        }
    }
    return true;
}

}  // namespace

bool GenerateReadModelMeshNormals(ReadModel* model, ReadModelMesh* mesh) {
    if (!IndicesValid(mesh)) {
        WriteLogText("Read Model Convert Error : 法線自動作成処理で範囲外の頂点インデックスがありました");
        return false;
    }
    float angle = mesh->frame && mesh->frame->smoothingAngle != 0.0f ? mesh->frame->smoothingAngle
                                                                      : kModelDefaultAngle;
    size_t corners = size_t(mesh->faceCount) * 3;
    size_t positions = size_t(mesh->positionCount);
    size_t bytes = corners * (sizeof(int) + sizeof(Vector3) + sizeof(CornerRef)) + (positions + 1) * sizeof(int) +
                   size_t(mesh->faceCount) * sizeof(int) + 16;
    auto* block = static_cast<unsigned char*>(AllocModelMemory(bytes));
    if (!block) {
        WriteLogText("Read Model Convert Error : 法線自動作成処理で格納する法線のメモリの確保に失敗しました");
        return false;
    }
    std::vector<CornerRef> group;
    NormalWork w{};
    w.mesh = mesh;
    w.threshold = std::cos(angle);
    w.slotNormal = reinterpret_cast<Vector3*>(block);
    w.corners = reinterpret_cast<CornerRef*>(w.slotNormal + corners);
    w.cornerSlot = reinterpret_cast<int*>(w.corners + corners);
    w.firstOfPosition = w.cornerSlot + corners;
    w.groupStamp = w.firstOfPosition + positions + 1;
    w.group = &group;
    FaceNormals(model, mesh);
    BuildPositionLists(w, mesh->positionCount, mesh->faceCount);
    for (size_t i = 0; i < corners; ++i) w.cornerSlot[i] = -1;
    for (int f = 0; f < mesh->faceCount; ++f) w.groupStamp[f] = -1;

    int stamp = 0;
    for (int f = 0; f < mesh->faceCount; ++f) {
        for (int c = 0; c < 3; ++c) {
            if (w.cornerSlot[f * 3 + c] >= 0) continue;
            group.clear();
            group.push_back(CornerRef{f, c});
            w.groupStamp[f] = stamp;
            if (!Walk(w, f, c, true, stamp)) Walk(w, f, c, false, stamp);
            Vector3 sum{0, 0, 0};
            for (const CornerRef& r : group) {
                const Vector3& n = mesh->faces[r.face].normal;
                sum = Vector3{sum.x + n.x, sum.y + n.y, sum.z + n.z};
            }
            int slot = f * 3 + c;
            w.slotNormal[slot] = Normalised(sum);
            for (const CornerRef& r : group) w.cornerSlot[r.face * 3 + r.corner] = slot;
            ++stamp;
        }
    }

    // Distinct normals in first-use order. The corner lists are done with:
    // their room holds each slot's final index.
    int* finalIndex = reinterpret_cast<int*>(w.corners);
    std::fill(finalIndex, finalIndex + corners, -1);
    int used = 0;
    for (size_t i = 0; i < corners; ++i)
        if (finalIndex[w.cornerSlot[i]] < 0) finalIndex[w.cornerSlot[i]] = used++;
    auto* normals = static_cast<Vector3*>(AllocChainedMemory(sizeof(Vector3) * size_t(used > 0 ? used : 1), &model->chain));
    if (!normals) {
        FreeMemory(block);
        WriteLogText("Read Model Convert Error : 法線自動作成処理で格納する法線のメモリの確保に失敗しました _ 2");
        return false;
    }
    for (int f = 0; f < mesh->faceCount; ++f)
        for (int c = 0; c < 3; ++c) {
            int slot = w.cornerSlot[f * 3 + c];
            int index = finalIndex[slot];
            normals[index] = w.slotNormal[slot];
            mesh->faces[f].normalIndex[c] = index;
        }
    mesh->normals = normals;
    mesh->normalCount = used;
    FreeMemory(block);
    return true;
}
