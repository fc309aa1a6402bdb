// Merging positions that coincide (within 0.00001 per coordinate) and carry
// the same bone influences. Quadratic in the position count; it runs only
// when vertex optimisation on load is switched on.
#include <cmath>
#include <cstring>

#include "engine/log.h"
#include "engine/memory.h"
#include "model/convert/mesh_prepare.h"

namespace morpotta {

namespace {

struct Influence {
    int skinWeight;
    float weight;
};

struct PositionWork {
    int influenceCount;
    Influence* influences;
    int newIndex;
    bool removed;
};

bool Near(float a, float b) { return std::fabs(a - b) <= 0.00001f; }

bool SameInfluences(const PositionWork& a, const PositionWork& b) {
    if (a.influenceCount != b.influenceCount) return false;
    for (int i = 0; i < a.influenceCount; ++i) {
        bool found = false;
        for (int j = 0; j < b.influenceCount && !found; ++j)
            found = b.influences[j].skinWeight == a.influences[i].skinWeight &&
                    b.influences[j].weight == a.influences[i].weight;
        if (!found) return false;
    }
    return true;
}

}  // namespace

bool MergeReadModelMeshVertices(ReadModelMesh* mesh) {
    int n = mesh->positionCount;
    if (n <= 1) return true;
    size_t pairs = 0;
    for (int s = 0; s < mesh->skinWeightCount; ++s) pairs += size_t(mesh->skinWeights[s]->weightCount);
    auto* work = static_cast<PositionWork*>(AllocModelMemory(sizeof(PositionWork) * size_t(n) + sizeof(Influence) * pairs));
    if (!work) {
        WriteLogText("Read Model Convert Error : 頂点最適化処理で使用するテンポラリバッファの確保に失敗しました");
        return false;
    }
    // Each position's influences are laid out behind the work records.
    auto* influenceArea = reinterpret_cast<Influence*>(work + n);
    for (int s = 0; s < mesh->skinWeightCount; ++s)
        for (int w = 0; w < mesh->skinWeights[s]->weightCount; ++w) {
            uint32_t p = mesh->skinWeights[s]->weights[w].position;
            if (p < uint32_t(n)) ++work[p].influenceCount;
        }
    size_t offset = 0;
    for (int i = 0; i < n; ++i) {
        work[i].influences = influenceArea + offset;
        offset += size_t(work[i].influenceCount);
        work[i].influenceCount = 0;
    }
    for (int s = 0; s < mesh->skinWeightCount; ++s)
        for (int w = 0; w < mesh->skinWeights[s]->weightCount; ++w) {
            const ReadModelSkinWeightPair& pair = mesh->skinWeights[s]->weights[w];
            if (pair.position >= uint32_t(n)) continue;
            PositionWork& pw = work[pair.position];
            pw.influences[pw.influenceCount++] = Influence{s, pair.weight};
        }
    int* redirect = static_cast<int*>(AllocModelMemory(sizeof(int) * size_t(n)));
    if (!redirect) {
        FreeMemory(work);
        WriteLogText("Read Model Convert Error : 頂点最適化処理で使用するテンポラリバッファの確保に失敗しました");
        return false;
    }
    bool anyRemoved = false;
    for (int i = 0; i < n; ++i) redirect[i] = i;
    for (int i = 0; i < n; ++i) {
        if (work[i].removed) continue;
        const Vector3& a = mesh->positions[i];
        for (int j = i + 1; j < n; ++j) {
            if (work[j].removed) continue;
            const Vector3& b = mesh->positions[j];
            if (!Near(a.x, b.x) || !Near(a.y, b.y) || !Near(a.z, b.z) || !SameInfluences(work[i], work[j])) continue;
            redirect[j] = i;
            work[j].removed = true;
            anyRemoved = true;
        }
    }
    if (anyRemoved) {
        int kept = 0;
        for (int i = 0; i < n; ++i) {
            if (work[i].removed) continue;
            work[i].newIndex = kept;
            mesh->positions[kept] = mesh->positions[i];
            if (mesh->positionFlags) mesh->positionFlags[kept] = mesh->positionFlags[i];
            ++kept;
        }
        for (int f = 0; f < mesh->faceCount; ++f) {
            int* corners = ReadFacePositions(mesh, f);
            for (int c = 0; c < mesh->faceCorners[f]; ++c) {
                int p = corners[c];
                if (p >= 0 && p < n) corners[c] = work[redirect[p]].newIndex;
            }
        }
        for (int s = 0; s < mesh->skinWeightCount; ++s)
            for (int w = 0; w < mesh->skinWeights[s]->weightCount; ++w) {
                ReadModelSkinWeightPair& pair = mesh->skinWeights[s]->weights[w];
                if (pair.position >= uint32_t(n)) continue;
                if (work[pair.position].removed) {
                    pair.weight = 0.0f;
                    pair.position = uint32_t(work[redirect[pair.position]].newIndex);
                } else {
                    pair.position = uint32_t(work[pair.position].newIndex);
                }
            }
        mesh->positionCount = kept;
    }
    FreeMemory(redirect);
    FreeMemory(work);
    return true;
}

}  // namespace morpotta
