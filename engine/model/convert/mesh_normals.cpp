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
#include "model/base/model_math.h"
#include "model/convert/mesh_prepare.h"

namespace morpotta {

namespace {

// A corner packed as face * 3 + corner (faces are triangles by now).
int CornerFace(int packed) { return packed / 3; }
int CornerNumber(int packed) { return packed % 3; }

struct CornerRef {
    int face;
    int corner;
};

struct NormalWork {
    const ReadModelMesh* mesh;
    float threshold;
    int* cornerGroup;       // per corner: the group whose normal it takes
    int* firstOfPosition;   // start of each position's corners in the list
    int* corners;           // packed corners grouped by position
    int* groupStamp;        // per face: the group that holds it
    Vector3* faceNormal;    // per face
    std::vector<CornerRef>* group;
};


// A zero vector (degenerate face, cancelling sum) stays zero instead of
// becoming NaN and spreading to its neighbours.
Vector3 Normalised(const Vector3& v) {
    float length = std::sqrt(DotVector3(v, v));
    if (!(length > 1e-30f) || !std::isfinite(length)) return Vector3{0, 0, 0};
    return Vector3{v.x / length, v.y / length, v.z / length};
}

int PositionAt(const ReadModelMesh* mesh, int face, int corner) { return ReadFacePositions(mesh, face)[corner]; }

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
        const Vector3& n = w.faceNormal[current];
        int best = -1, bestCorner = -1;
        bool bestForward = false;
        float bestDot = -2.0f;
        // Faces across the edge use both positions: walk the shorter of
        // the two positions' corner lists.
        int scan = w.firstOfPosition[q + 1] - w.firstOfPosition[q] < w.firstOfPosition[p + 1] - w.firstOfPosition[p]
                       ? q
                       : p;
        for (int i = w.firstOfPosition[scan]; i < w.firstOfPosition[scan + 1]; ++i) {
            int g = CornerFace(w.corners[i]);
            if (g == current || g == previous) continue;
            int j = scan == p ? CornerNumber(w.corners[i]) : CornerOf(mesh, g, p);
            if (j < 0) continue;
            bool forward = PositionAt(mesh, g, (j + 1) % 3) == q;
            if (!forward && PositionAt(mesh, g, (j + 2) % 3) != q) continue;
            if (g == startFace) return true;
            if (w.groupStamp[g] == stamp) continue;
            float d = DotVector3(n, w.faceNormal[g]);
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

void FaceNormals(const ReadModel* model, const ReadModelMesh* mesh, Vector3* out) {
    for (int f = 0; f < mesh->faceCount; ++f) {
        const int* corners = ReadFacePositions(mesh, f);
        const Vector3& p0 = mesh->positions[corners[0]];
        Vector3 e1 = SubtractVector3(mesh->positions[corners[1]], p0);
        Vector3 e2 = SubtractVector3(mesh->positions[corners[2]], p0);
        out[f] = Normalised(model->reverseWinding ? CrossVector3(e2, e1) : CrossVector3(e1, e2));
    }
}

void BuildPositionLists(NormalWork& w, int positionCount, int faceCount) {
    const ReadModelMesh* mesh = w.mesh;
    for (int f = 0; f < faceCount; ++f)
        for (int c = 0; c < 3; ++c) ++w.firstOfPosition[PositionAt(mesh, f, c) + 1];
    for (int p = 0; p < positionCount; ++p) w.firstOfPosition[p + 1] += w.firstOfPosition[p];
    // The group room is free yet: it holds each position's fill point.
    int* fill = w.cornerGroup;
    for (int p = 0; p < positionCount; ++p) fill[p] = w.firstOfPosition[p];
    for (int f = 0; f < faceCount; ++f)
        for (int c = 0; c < 3; ++c) w.corners[fill[PositionAt(mesh, f, c)]++] = f * 3 + c;
}

bool IndicesValid(const ReadModelMesh* mesh) {
    if (mesh->faceCount > 0 && !mesh->faceIndices[READ_FACE_POSITIONS]) return false;
    for (int f = 0; f < mesh->faceCount; ++f) {
        if (mesh->faceCorners[f] != 3) return false;
        for (int c = 0; c < 3; ++c) {
            int p = PositionAt(mesh, f, c);
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
    const size_t faces = size_t(mesh->faceCount);
    const size_t corners = faces * 3;
    const size_t positions = size_t(mesh->positionCount);
    // Per face its normal and stamp; per corner its group (that room holds
    // the positions' fill points first) and its place in the position
    // lists; per position its list start.
    const size_t groupRoom = std::max(corners, positions);
    size_t bytes = faces * sizeof(Vector3) + (groupRoom + corners + faces + positions + 1) * sizeof(int);
    auto* block = static_cast<unsigned char*>(AllocModelMemory(bytes));
    if (!block || !AddReadModelFaceArray(model, mesh, READ_FACE_NORMALS)) {
        FreeMemory(block);
        WriteLogText("Read Model Convert Error : 法線自動作成処理で格納する法線のメモリの確保に失敗しました");
        return false;
    }
    std::vector<CornerRef> group;
    std::vector<Vector3> groupNormal;
    NormalWork w{};
    w.mesh = mesh;
    w.threshold = std::cos(angle);
    w.faceNormal = reinterpret_cast<Vector3*>(block);
    w.cornerGroup = reinterpret_cast<int*>(w.faceNormal + faces);
    w.corners = w.cornerGroup + groupRoom;
    w.groupStamp = w.corners + corners;
    w.firstOfPosition = w.groupStamp + faces;
    w.group = &group;
    FaceNormals(model, mesh, w.faceNormal);
    BuildPositionLists(w, mesh->positionCount, mesh->faceCount);
    std::fill(w.cornerGroup, w.cornerGroup + corners, -1);
    std::fill(w.groupStamp, w.groupStamp + faces, -1);

    // Each group takes the next stamp, which numbers its normal.
    int stamp = 0;
    for (int f = 0; f < mesh->faceCount; ++f) {
        for (int c = 0; c < 3; ++c) {
            if (w.cornerGroup[f * 3 + c] >= 0) continue;
            group.clear();
            group.push_back(CornerRef{f, c});
            w.groupStamp[f] = stamp;
            if (!Walk(w, f, c, true, stamp)) Walk(w, f, c, false, stamp);
            Vector3 sum{0, 0, 0};
            for (const CornerRef& r : group) {
                const Vector3& n = w.faceNormal[r.face];
                sum = Vector3{sum.x + n.x, sum.y + n.y, sum.z + n.z};
            }
            groupNormal.push_back(Normalised(sum));
            for (const CornerRef& r : group) w.cornerGroup[r.face * 3 + r.corner] = stamp;
            ++stamp;
        }
    }

    // Distinct normals in first-use order (a group whose corners all went
    // to later groups has none). The corner lists are done with: their
    // room holds each group's final index.
    int* finalIndex = w.corners;
    std::fill(finalIndex, finalIndex + stamp, -1);
    int used = 0;
    for (size_t i = 0; i < corners; ++i)
        if (finalIndex[w.cornerGroup[i]] < 0) finalIndex[w.cornerGroup[i]] = used++;
    auto* normals = static_cast<Vector3*>(AllocChainedMemory(sizeof(Vector3) * size_t(used > 0 ? used : 1), &model->chain));
    if (!normals) {
        FreeMemory(block);
        WriteLogText("Read Model Convert Error : 法線自動作成処理で格納する法線のメモリの確保に失敗しました _ 2");
        return false;
    }
    for (int g = 0; g < stamp; ++g)
        if (finalIndex[g] >= 0) normals[finalIndex[g]] = groupNormal[size_t(g)];
    for (int f = 0; f < mesh->faceCount; ++f) {
        int* out = ReadFaceNormals(mesh, f);
        for (int c = 0; c < 3; ++c) out[c] = finalIndex[w.cornerGroup[f * 3 + c]];
    }
    mesh->normals = normals;
    mesh->normalCount = used;
    FreeMemory(block);
    return true;
}

}  // namespace morpotta
