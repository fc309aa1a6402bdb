// Vertex optimisation of one base frame: equal positions, equal mesh
// vertices and list vertices naming one mesh vertex are merged, each
// array compacted in place and every number that named a merged element
// renumbered. Equal means bitwise equal: positions that differ only in the
// sign of a zero stay apart. Duplicates are found through a hash table, so
// the earliest of equal elements is kept, in linear time.
#include <algorithm>
#include <cstring>

#include "engine/log.h"
#include "model/convert/vertex_passes.h"

namespace morpotta {

namespace {

uint32_t Mix(uint32_t hash, const void* data, size_t bytes) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < bytes; ++i) hash = (hash ^ p[i]) * 16777619u;
    return hash;
}

int WeightCount(const ModelBaseFrame& f, const ModelBasePosition& p) {
    int count = 0;
    while (p.weightBones && count < f.maxWeightsPerVertex && p.weightBones[count] != -1) ++count;
    return count;
}

bool SamePosition(const ModelBaseFrame& f, const ModelBasePosition& a, const ModelBasePosition& b) {
    int count = WeightCount(f, a);
    if (std::memcmp(&a.position, &b.position, sizeof(a.position)) != 0 || count != WeightCount(f, b)) return false;
    return count == 0 || (std::memcmp(a.weightBones, b.weightBones, sizeof(int) * size_t(count)) == 0 &&
                          std::memcmp(a.weightValues, b.weightValues, sizeof(float) * size_t(count)) == 0);
}

uint32_t HashPosition(const ModelBaseFrame& f, const ModelBasePosition& p) {
    uint32_t hash = Mix(2166136261u, &p.position, sizeof(p.position));
    int count = WeightCount(f, p);
    if (count == 0) return hash;
    hash = Mix(hash, p.weightBones, sizeof(int) * size_t(count));
    return Mix(hash, p.weightValues, sizeof(float) * size_t(count));
}

class VertexOptimize {
public:
    explicit VertexOptimize(ModelBaseFrame* frame) : frame_(frame), base_(frame->base) {}

    int Run() {
        if (!TakeWork()) {
            WriteLogFormat("頂点情報最適化処理用のメモリの確保に失敗しました");
            return -1;
        }
        MergePositions();
        for (int m = 0; m < frame_->meshCount; ++m) MergeMeshVertices(&frame_->firstMesh[m]);
        for (int m = 0; m < frame_->meshCount; ++m) {
            ModelBaseMesh& mesh = frame_->firstMesh[m];
            if (mesh.needsInstanceVertices) mesh.instanceVertexCount = 0;
            for (int l = 0; l < mesh.triangleListCount; ++l) MergeListVertices(&mesh, &mesh.firstTriangleList[l]);
        }
        return 0;
    }

private:
    // One flag byte and two maps per element, and the hash table, all taken
    // before anything changes.
    bool TakeWork() {
        size_t most = size_t(frame_->positionCount);
        for (int m = 0; m < frame_->meshCount; ++m) {
            const ModelBaseMesh& mesh = frame_->firstMesh[m];
            most = std::max(most, size_t(mesh.vertexCount));
            for (int l = 0; l < mesh.triangleListCount; ++l)
                most = std::max(most, size_t(mesh.firstTriangleList[l].vertexCount));
        }
        tableSize_ = 16;
        while (tableSize_ < most * 2) tableSize_ *= 2;
        removed_ = work_.Take<uint8_t>(most);
        keptAs_ = work_.Take<int>(most);
        newIndex_ = work_.Take<int>(most);
        table_ = work_.Take<int>(tableSize_);
        return removed_ && keptAs_ && newIndex_ && table_;
    }

    // Marks every element equal to an earlier kept one; keptAs_ gives the
    // kept element's old number, newIndex_ its number after compaction.
    // The count kept.
    template <typename Hash, typename Same>
    int FindDuplicates(int count, Hash hash, Same same) {
        std::fill(table_, table_ + tableSize_, -1);
        const size_t mask = tableSize_ - 1;
        int kept = 0;
        for (int i = 0; i < count; ++i) {
            size_t h = hash(i) & mask;
            while (table_[h] >= 0 && !same(table_[h], i)) h = (h + 1) & mask;
            removed_[i] = table_[h] >= 0;
            keptAs_[i] = removed_[i] ? table_[h] : i;
            if (!removed_[i]) {
                table_[h] = i;
                newIndex_[i] = kept++;
            }
        }
        for (int i = 0; i < count; ++i) newIndex_[i] = newIndex_[keptAs_[i]];
        return kept;
    }

    template <typename T>
    void Compact(T* items, int count) {
        for (int i = 0; i < count; ++i)
            if (!removed_[i]) items[newIndex_[i]] = items[i];
    }

    void MergePositions() {
        const ModelBaseFrame& f = *frame_;
        int kept = FindDuplicates(
            f.positionCount, [&](int i) { return HashPosition(f, f.positions[i]); },
            [&](int a, int b) { return SamePosition(f, f.positions[a], f.positions[b]); });
        if (kept == f.positionCount) return;
        Compact(frame_->positions, frame_->positionCount);
        frame_->positionCount = kept;
        for (int m = 0; m < frame_->meshCount; ++m) {
            ModelBaseMesh& mesh = frame_->firstMesh[m];
            for (int v = 0; v < mesh.vertexCount; ++v) mesh.vertices[v].position = newIndex_[mesh.vertices[v].position];
        }
    }

    void MergeMeshVertices(ModelBaseMesh* mesh) {
        const ModelBaseMeshVertex* v = mesh->vertices;
        int kept = FindDuplicates(
            mesh->vertexCount, [&](int i) { return Mix(2166136261u, &v[i], sizeof(v[i])); },
            [&](int a, int b) { return std::memcmp(&v[a], &v[b], sizeof(v[a])) == 0; });
        if (kept == mesh->vertexCount) return;
        Compact(mesh->vertices, mesh->vertexCount);
        mesh->vertexCount = kept;
        for (int l = 0; l < mesh->triangleListCount; ++l) {
            ModelBaseTriangleList& list = mesh->firstTriangleList[l];
            for (int i = 0; i < list.vertexCount; ++i) list.meshVertices[i] = newIndex_[list.meshVertices[i]];
        }
        for (int s = 0; s < frame_->shapeTargetCount; ++s) {
            ModelBaseShapeTarget& target = frame_->firstShapeTarget[s];
            if (target.mesh != mesh) continue;
            for (int i = 0; i < target.vertexCount; ++i)
                target.vertices[i].meshVertex = newIndex_[target.vertices[i].meshVertex];
        }
    }

    void MergeListVertices(ModelBaseMesh* mesh, ModelBaseTriangleList* list) {
        const int* names = list->meshVertices;
        int kept = FindDuplicates(
            list->vertexCount, [&](int i) { return Mix(2166136261u, &names[i], sizeof(int)); },
            [&](int a, int b) { return names[a] == names[b]; });
        if (kept < list->vertexCount) {
            Compact(list->meshVertices, list->vertexCount);
            for (int i = 0; i < list->indexCount; ++i) list->indices[i] = uint16_t(newIndex_[list->indices[i]]);
            if (mesh->needsInstanceVertices)
                base_->instanceVertexCounts[list->vertexKind] -= uint32_t(list->vertexCount - kept);
            list->vertexCount = kept;
        }
        if (mesh->needsInstanceVertices) mesh->instanceVertexCount += list->vertexCount;
        RefreshTriangleList(list);
    }

    ModelBaseFrame* frame_;
    ModelBase* base_;
    PassBlocks work_;
    size_t tableSize_ = 0;
    uint8_t* removed_ = nullptr;
    int* keptAs_ = nullptr;
    int* newIndex_ = nullptr;
    int* table_ = nullptr;
};

}  // namespace

int OptimizeFrameVertices(ModelBaseFrame* frame) {
    if (!frame || frame->meshCount == 0) return 0;
    VertexOptimize pass(frame);
    return pass.Run();
}

}  // namespace morpotta
