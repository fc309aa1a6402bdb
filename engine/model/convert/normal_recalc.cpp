// Normal recalculation of one base frame. Around every position the
// triangles that use it are gathered into fans: a fan grows across the
// edges that run from the position, from one triangle to its neighbour,
// as long as the neighbour is wound the same way and its face turns by no
// more than the smoothing angle; every corner of a fan takes the fan's
// averaged normal. The frame's mesh vertices, triangle lists and shape
// targets are then rebuilt for the new normals.
#include <cmath>
#include <cstring>

#include "engine/log.h"
#include "model/base/model_handles.h"
#include "model/base/model_math.h"
#include "model/convert/base_routines.h"
#include "model/convert/vertex_passes.h"

namespace morpotta {

namespace {

constexpr uint8_t kFinal = 1;   // the corner has its normal
constexpr uint8_t kInFan = 2;   // the corner is in the fan being built

struct Triangle {
    int mesh;         // within the frame
    int list;         // within its mesh
    int vertex[3];    // mesh vertices before the pass
    int position[3];
};

struct Link {
    int triangle;
    int next;  // -1 ends a position's chain
};

struct FanEntry {
    int triangle;
    int corner;
};

struct Candidate {
    int triangle = -1;
    int corner = 0;  // its corner at the fan's position
    bool proper = false;
    int side = 0;
    float key = 0.0f;
};


// A direction in the plane across an edge: (along u, along n) normalised.
struct Planar {
    float x, y;
};
Planar UnitPlanar(float x, float y) {
    float length = std::sqrt(x * x + y * y);
    return length > 0.0f ? Planar{x / length, y / length} : Planar{0.0f, 0.0f};
}

class NormalRecalc {
public:
    NormalRecalc(ModelBaseFrame* frame, float angle)
        : frame_(frame), base_(frame->base), staged_(frame->base), angle_(angle), limit_(std::cos(angle)) {}

    int Run() {
        if (!Gather() || !Fans() || !Compact() || !RebuildMeshes() || !RebuildShapes() || !Tangents()) return -1;
        Commit();
        return 1;
    }

private:
    // Triangles of every mesh of the frame, in mesh, list and index order.
    bool Gather() {
        int total = 0;
        for (int m = 0; m < frame_->meshCount; ++m)
            for (int l = 0; l < frame_->firstMesh[m].triangleListCount; ++l)
                total += frame_->firstMesh[m].firstTriangleList[l].indexCount / 3;
        tris_ = work_.Take<Triangle>(size_t(total));
        faceNormal_ = work_.Take<Vector3>(size_t(total));
        slot_ = work_.Take<int>(size_t(total) * 3);
        if (!tris_ || !faceNormal_ || !slot_) return Fail("法線再計算用のメモリの確保に失敗しました");
        for (int m = 0; m < frame_->meshCount; ++m) {
            const ModelBaseMesh& mesh = frame_->firstMesh[m];
            for (int l = 0; l < mesh.triangleListCount; ++l) {
                const ModelBaseTriangleList& list = mesh.firstTriangleList[l];
                for (int i = 0; i + 2 < list.indexCount; i += 3, ++count_) {
                    Triangle& t = tris_[count_];
                    t.mesh = m;
                    t.list = l;
                    for (int c = 0; c < 3; ++c) {
                        t.vertex[c] = list.meshVertices[list.indices[i + c]];
                        t.position[c] = mesh.vertices[t.vertex[c]].position;
                    }
                }
            }
        }
        for (int t = 0; t < count_; ++t) {
            faceNormal_[t] = UnitFaceNormal(Position(t, 0), Position(t, 1), Position(t, 2));
            for (int c = 0; c < 3; ++c) slot_[3 * t + c] = 3 * t + c;
        }
        return true;
    }

    const Vector3& Position(int t, int c) const { return frame_->positions[tris_[t].position[c]].position; }

    // Steps 4 to 8: a fan from every corner without a normal.
    bool Fans() {
        flag_ = work_.Take<uint8_t>(size_t(count_) * 3);
        slotNormal_ = work_.Take<Vector3>(size_t(count_) * 3);
        if (!flag_ || !slotNormal_) return Fail("法線再計算用のメモリの確保に失敗しました_2");
        head_ = work_.Take<int>(size_t(frame_->positionCount));
        links_ = work_.Take<Link>(size_t(count_) * 3);
        fan_ = work_.Take<FanEntry>(size_t(count_) + 1);  // a triangle joins a fan once
        if (!head_ || !links_ || !fan_) return Fail("法線再計算用のメモリの確保に失敗しました_3");
        for (int p = 0; p < frame_->positionCount; ++p) head_[p] = -1;
        for (int t = 0; t < count_; ++t)
            for (int c = 0; c < 3; ++c) {  // newest first
                int p = tris_[t].position[c];
                links_[3 * t + c] = Link{t, head_[p]};
                head_[p] = 3 * t + c;
            }
        for (int t = 0; t < count_; ++t)
            for (int k = 0; k < 3; ++k)
                if (flag_[3 * t + k] == 0) BuildFan(t, k);
        return true;
    }

    void BuildFan(int t, int k) {
        fanSize_ = 0;
        fan_[fanSize_++] = FanEntry{t, k};
        flag_[3 * t + k] |= kInFan;
        Vector3 sum = faceNormal_[t];
        Walk(t, k, true, &sum);
        Walk(t, k, false, &sum);
        const int start = 3 * t + k;
        slotNormal_[start] = NormalisedOrZero(sum);
        for (int i = 0; i < fanSize_; ++i) {
            int corner = 3 * fan_[i].triangle + fan_[i].corner;
            slot_[corner] = start;
            flag_[corner] = kFinal;
        }
    }

    bool HasFanCorner(int t) const {
        return (flag_[3 * t] | flag_[3 * t + 1] | flag_[3 * t + 2]) & kInFan;
    }

    static int CornerAt(const Triangle& t, int position, int except) {
        for (int c = 0; c < 3; ++c)
            if (c != except && t.position[c] == position) return c;
        return -1;
    }

    static bool SamePositions(const Triangle& a, const Triangle& b) {
        for (int c = 0; c < 3; ++c)
            if (CornerAt(b, a.position[c], -1) < 0) return false;
        return CornerAt(a, b.position[0], -1) >= 0 && CornerAt(a, b.position[1], -1) >= 0 &&
               CornerAt(a, b.position[2], -1) >= 0;
    }

    // One way round the fan's position: forward crosses the edge to the
    // corner after the current one, backward the edge to the corner before
    // it, with the winding and side rules mirrored.
    void Walk(int t, int k, bool forward, Vector3* sum) {
        int current = t, corner = k, previous = -1;
        const int p = tris_[t].position[k];
        const Vector3& P = frame_->positions[p].position;
        for (;;) {
            const Triangle& cur = tris_[current];
            int qc = forward ? (corner + 1) % 3 : (corner + 2) % 3;
            int rc = 3 - corner - qc;
            int q = cur.position[qc], r = cur.position[rc];
            Vector3 e = SubtractVector3(frame_->positions[q].position, P), toR = SubtractVector3(frame_->positions[r].position, P);
            Vector3 n = NormalisedOrZero(CrossVector3(e, toR));
            Vector3 u = NormalisedOrZero(CrossVector3(n, e));
            Planar a = UnitPlanar(DotVector3(toR, u), DotVector3(toR, n));
            Candidate best;
            for (int l = head_[p]; l >= 0; l = links_[l].next) {
                int s = links_[l].triangle;
                if (s == current || s == previous || HasFanCorner(s)) continue;
                const Triangle& other = tris_[s];
                int sp = CornerAt(other, p, -1);
                int sq = sp < 0 ? -1 : CornerAt(other, q, sp);
                if (sq < 0) continue;
                int third = 3 - sp - sq;
                if (other.position[third] == r) continue;  // the same three positions
                Candidate c;
                c.triangle = s;
                c.corner = sp;
                c.proper = forward ? (sq + 1) % 3 == sp : (sp + 1) % 3 == sq;
                Vector3 toS = SubtractVector3(frame_->positions[other.position[third]].position, P);
                Planar b = UnitPlanar(DotVector3(toS, u), DotVector3(toS, n));
                float turn = a.x * b.y - a.y * b.x;
                if (!forward) turn = -turn;
                c.side = turn >= 0.0f ? 0 : 1;
                c.key = c.side == 0 ? a.x * b.x + a.y * b.y : -a.x * b.x - a.y * b.y;
                if (best.triangle < 0 || Better(c, best)) best = c;
            }
            if (best.triangle < 0 || !best.proper) return;
            if (DotVector3(faceNormal_[best.triangle], faceNormal_[current]) < limit_) return;
            fan_[fanSize_++] = FanEntry{best.triangle, best.corner};
            flag_[3 * best.triangle + best.corner] |= kInFan;
            *sum = Vector3{sum->x + faceNormal_[best.triangle].x, sum->y + faceNormal_[best.triangle].y,
                           sum->z + faceNormal_[best.triangle].z};
            previous = current;
            current = best.triangle;
            corner = best.corner;
        }
    }

    bool Better(const Candidate& c, const Candidate& taken) const {
        if (c.proper && !taken.proper && SamePositions(tris_[c.triangle], tris_[taken.triangle])) return true;
        if (c.side != taken.side) return c.side == 0;
        return c.key > taken.key;
    }

    // Step 9: the slots in first-use order become the new normals.
    bool Compact() {
        newIndex_ = work_.Take<int>(size_t(count_) * 3);
        if (!newIndex_) return Fail("法線再計算用のメモリの確保に失敗しました_2");
        for (int i = 0; i < count_ * 3; ++i) newIndex_[i] = -1;
        int used = 0;
        for (int i = 0; i < count_ * 3; ++i)
            if (newIndex_[slot_[i]] < 0) newIndex_[slot_[i]] = used++;
        newNormalCount_ = used;
        newNormals_ = staged_.Take<ModelBaseNormal>(size_t(used));
        if (!newNormals_) return Fail("法線再計算で法線を格納するメモリの確保に失敗しました");
        for (int i = 0; i < count_ * 3; ++i) newNormals_[newIndex_[slot_[i]]].normal = slotNormal_[slot_[i]];
        return true;
    }

    struct NewMesh {
        int vertexCount;
        ModelBaseMeshVertex* vertices;
    };
    struct NewList {
        int vertexCount;
        int* meshVertices;
        uint16_t* indices;
        void* vertices;
    };

    // Steps 10 and 11: each mesh's vertices from its triangles' corners,
    // then its lists from the mesh triangles that name them.
    bool RebuildMeshes() {
        const char* kWork = "法線再計算に使用する作業用メモリの確保に失敗しました";
        cornerVertex_ = work_.Take<int>(size_t(count_) * 3);
        auto* built = work_.Take<ModelBaseMeshVertex>(size_t(count_) * 3);
        auto* chainNext = work_.Take<int>(size_t(count_) * 3);
        auto* chainHead = work_.Take<int>(size_t(frame_->positionCount));
        auto* listVertexOf = work_.Take<int>(size_t(count_) * 3);
        newMeshes_ = work_.Take<NewMesh>(size_t(frame_->meshCount));
        int listCount = 0;
        for (int m = 0; m < frame_->meshCount; ++m) listCount += frame_->firstMesh[m].triangleListCount;
        newLists_ = work_.Take<NewList>(size_t(listCount));
        if (!cornerVertex_ || !built || !newMeshes_ || !newLists_) return Fail(kWork);
        if (!chainNext || !chainHead) return Fail("法線再計算に使用する作業用メモリの確保に失敗しました_3");
        if (!listVertexOf) return Fail("法線再計算に使用する作業用メモリの確保に失敗しました_2");
        for (int p = 0; p < frame_->positionCount; ++p) chainHead[p] = -1;
        for (int i = 0; i < count_ * 3; ++i) listVertexOf[i] = -1;
        int t = 0, listAt = 0;
        for (int m = 0; m < frame_->meshCount; ++m) {
            const ModelBaseMesh& mesh = frame_->firstMesh[m];
            int first = t, made = 0;
            for (; t < count_ && tris_[t].mesh == m; ++t)
                for (int c = 0; c < 3; ++c) {
                    ModelBaseMeshVertex copy = mesh.vertices[tris_[t].vertex[c]];
                    copy.normal = newIndex_[slot_[3 * t + c]];
                    int found = chainHead[copy.position];
                    while (found >= 0 && std::memcmp(&built[found], &copy, sizeof(copy)) != 0) found = chainNext[found];
                    if (found < 0) {
                        found = made++;
                        built[found] = copy;
                        chainNext[found] = chainHead[copy.position];
                        chainHead[copy.position] = found;
                    }
                    cornerVertex_[3 * t + c] = found;
                }
            for (int v = 0; v < made; ++v) chainHead[built[v].position] = -1;
            NewMesh& nm = newMeshes_[m];
            nm.vertexCount = made;
            nm.vertices = staged_.Take<ModelBaseMeshVertex>(size_t(made));
            if (!nm.vertices) return Fail(kWork);
            std::memcpy(nm.vertices, built, sizeof(ModelBaseMeshVertex) * size_t(made));
            for (int l = 0; l < mesh.triangleListCount; ++l, ++listAt)
                if (!RebuildList(mesh.firstTriangleList[l], l, first, t, listVertexOf, &newLists_[listAt]))
                    return false;
        }
        return true;
    }

    bool RebuildList(const ModelBaseTriangleList& list, int l, int first, int end, int* listVertexOf, NewList* out) {
        out->indices = staged_.Take<uint16_t>(size_t(list.indexCount));
        out->meshVertices = staged_.Take<int>(size_t(list.indexCount));
        if (!out->indices || !out->meshVertices)
            return Fail("トライアングルリストのメッシュ頂点インデックス格納用メモリの確保に失敗しました");
        int vertices = 0, index = 0;
        for (int t = first; t < end; ++t) {
            if (tris_[t].list != l) continue;
            for (int c = 0; c < 3; ++c) {
                int v = cornerVertex_[3 * t + c];
                if (listVertexOf[v] < 0) {
                    listVertexOf[v] = vertices;
                    out->meshVertices[vertices++] = v;
                }
                out->indices[index++] = uint16_t(listVertexOf[v]);
            }
        }
        for (int i = 0; i < vertices; ++i) listVertexOf[out->meshVertices[i]] = -1;
        out->vertexCount = vertices;
        out->vertices = staged_.TakeBytes(size_t(list.vertexStride) * size_t(vertices ? vertices : 1));
        if (!out->vertices) return Fail("トライアングルリストの座標データ格納用メモリの確保に失敗しました");
        return true;
    }

    // Step 12: each shape target keeps its position offsets (by position)
    // for every new vertex of its mesh; the normal offsets become 0.
    bool RebuildShapes() {
        newTargets_ = work_.Take<ModelBaseShapeVertex*>(size_t(frame_->shapeTargetCount));
        newTargetCounts_ = work_.Take<int>(size_t(frame_->shapeTargetCount));
        auto* saved = work_.Take<int>(size_t(frame_->positionCount));
        if (!newTargets_ || !newTargetCounts_ || !saved) return Fail("法線再計算用のメモリの確保に失敗しました");
        for (int p = 0; p < frame_->positionCount; ++p) saved[p] = -1;
        for (int s = 0; s < frame_->shapeTargetCount; ++s) {
            const ModelBaseShapeTarget& target = frame_->firstShapeTarget[s];
            const ModelBaseMesh* mesh = target.mesh;
            const NewMesh& nm = newMeshes_[mesh - frame_->firstMesh];
            for (int i = 0; i < target.vertexCount; ++i)
                saved[mesh->vertices[target.vertices[i].meshVertex].position] = i;
            int count = 0;
            for (int v = 0; v < nm.vertexCount; ++v) count += saved[nm.vertices[v].position] >= 0;
            auto* out = staged_.Take<ModelBaseShapeVertex>(size_t(count));
            if (!out) return Fail("シェイプ頂点データ格納用メモリの確保に失敗しました");
            int made = 0;
            for (int v = 0; v < nm.vertexCount; ++v) {
                int entry = saved[nm.vertices[v].position];
                if (entry >= 0) out[made++] = ModelBaseShapeVertex{v, target.vertices[entry].position, Vector3{0, 0, 0}};
            }
            for (int i = 0; i < target.vertexCount; ++i) saved[mesh->vertices[target.vertices[i].meshVertex].position] = -1;
            newTargets_[s] = out;
            newTargetCounts_[s] = count;
        }
        return true;
    }

    // Tangents of the new vertices, built on stand-ins of the frame, its
    // meshes and lists before anything of the frame changes.
    bool Tangents() {
        ModelBaseFrame frame = *frame_;
        frame.normals = newNormals_;
        frame.normalCount = newNormalCount_;
        int listAt = 0;
        for (int m = 0; m < frame_->meshCount; ++m) {
            ModelBaseMesh mesh = frame_->firstMesh[m];
            mesh.frame = &frame;
            mesh.vertices = newMeshes_[m].vertices;
            mesh.vertexCount = newMeshes_[m].vertexCount;
            std::vector<ModelBaseTriangleList> lists(mesh.firstTriangleList, mesh.firstTriangleList + mesh.triangleListCount);
            for (ModelBaseTriangleList& list : lists) {
                const NewList& nl = newLists_[listAt++];
                list.mesh = &mesh;
                list.meshVertices = nl.meshVertices;
                list.indices = nl.indices;
                list.vertexCount = nl.vertexCount;
            }
            mesh.firstTriangleList = lists.data();
            if (BuildMeshTangents(&mesh) != 0) return false;
        }
        return true;
    }

    void Commit() {
        staged_.Keep();
        frame_->smoothingAngle = angle_;
        ReleaseBaseArray(base_, frame_->normals);
        frame_->normals = newNormals_;
        frame_->normalCount = newNormalCount_;
        int listAt = 0;
        for (int m = 0; m < frame_->meshCount; ++m) {
            ModelBaseMesh& mesh = frame_->firstMesh[m];
            ReleaseBaseArray(base_, mesh.vertices);
            mesh.vertices = newMeshes_[m].vertices;
            mesh.vertexCount = newMeshes_[m].vertexCount;
            if (mesh.needsInstanceVertices) mesh.instanceVertexCount = 0;
            for (int l = 0; l < mesh.triangleListCount; ++l) {
                ModelBaseTriangleList& list = mesh.firstTriangleList[l];
                const NewList& nl = newLists_[listAt++];
                ReleaseBaseArray(base_, list.meshVertices);
                ReleaseBaseArray(base_, list.indices);
                ReleaseBaseArray(base_, list.vertices);
                if (mesh.needsInstanceVertices) {
                    base_->instanceVertexCounts[list.vertexKind] += uint32_t(nl.vertexCount - list.vertexCount);
                    mesh.instanceVertexCount += nl.vertexCount;
                }
                list.meshVertices = nl.meshVertices;
                list.indices = nl.indices;
                list.vertices = nl.vertices;
                list.vertexCount = nl.vertexCount;
                RefreshTriangleList(&list);
            }
        }
        for (int s = 0; s < frame_->shapeTargetCount; ++s) {
            ModelBaseShapeTarget& target = frame_->firstShapeTarget[s];
            ReleaseBaseArray(base_, target.vertices);
            target.vertices = newTargets_[s];
            target.vertexCount = newTargetCounts_[s];
        }
    }

    bool Fail(const char* message) const {
        WriteLogFormat("%s", message);
        return false;
    }

    ModelBaseFrame* frame_;
    ModelBase* base_;
    PassBlocks work_;
    PassBlocks staged_;
    float angle_;
    float limit_;
    int count_ = 0;
    Triangle* tris_ = nullptr;
    Vector3* faceNormal_ = nullptr;
    int* slot_ = nullptr;
    uint8_t* flag_ = nullptr;
    Vector3* slotNormal_ = nullptr;
    int* head_ = nullptr;
    Link* links_ = nullptr;
    FanEntry* fan_ = nullptr;
    int fanSize_ = 0;
    int* newIndex_ = nullptr;
    int newNormalCount_ = 0;
    ModelBaseNormal* newNormals_ = nullptr;
    int* cornerVertex_ = nullptr;
    NewMesh* newMeshes_ = nullptr;
    NewList* newLists_ = nullptr;
    ModelBaseShapeVertex** newTargets_ = nullptr;
    int* newTargetCounts_ = nullptr;
};

}  // namespace

int RecalculateFrameNormals(ModelBaseFrame* frame, float smoothingAngle) {
    if (!IsModelSystemReady() || !frame) return -1;
    if (frame->meshCount == 0) return 0;
    NormalRecalc pass(frame, smoothingAngle);
    return pass.Run();
}

}  // namespace morpotta
