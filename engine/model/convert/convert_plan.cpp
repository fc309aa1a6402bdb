// Skinning analysis and triangle-list planning of one mesh: which bones
// touch each position and face, the face's triangle type, and the plans
// (bone palettes of at most 54 bones) that skinned faces go into.
#include <algorithm>

#include "engine/log.h"
#include "model/convert/convert_work.h"

namespace morpotta {

namespace {

int TypeForBones(int bones) { return bones == 0 ? 0 : bones <= 4 ? 1 : bones <= 8 ? 2 : 3; }

bool PlanHolds(const ConvertPlan& plan, uint16_t bone) {
    for (int i = 0; i < plan.boneCount; ++i)
        if (plan.bones[i] == int16_t(bone)) return true;
    return false;
}

bool Fits(const ConvertPlan& plan, int triangles) { return (plan.triangleCount + triangles) * 3 < kModelMaxListIndices; }

// Appends the face's missing bones while they fit; bones appended before
// the plan turns out to be full stay in it.
bool TakeMissingBones(ConvertPlan& plan, const uint16_t* bones, int count) {
    for (int i = 0; i < count; ++i) {
        if (PlanHolds(plan, bones[i])) continue;
        if (plan.boneCount >= kModelMaxPaletteBones) return false;
        plan.bones[plan.boneCount++] = int16_t(bones[i]);
    }
    return true;
}

// The plan index that takes the face, or -1 when a group would need more
// than the plan limit.
int PlaceFace(std::vector<ConvertPlan>& plans, const uint16_t* bones, int count, int triangles) {
    for (size_t p = 0; p < plans.size(); ++p) {
        if (!Fits(plans[p], triangles)) continue;
        bool all = true;
        for (int i = 0; i < count && all; ++i) all = PlanHolds(plans[p], bones[i]);
        if (all) return int(p);
    }
    if (plans.empty()) plans.push_back(ConvertPlan{});
    for (;;) {
        for (size_t p = 0; p < plans.size(); ++p)
            if (Fits(plans[p], triangles) && TakeMissingBones(plans[p], bones, count)) return int(p);
        if (int(plans.size()) >= kMaxPlansPerType) return -1;
        plans.push_back(ConvertPlan{});
    }
}

bool FailPlan(const char* message) {
    WriteLogText(message);
    return false;
}

bool AnalyseSkin(ReadModel* model, MeshWork* w) {
    ReadModelMesh* mesh = w->mesh;
    int positions = mesh->positionCount, bones = mesh->skinWeightCount;
    w->faceType.assign(size_t(mesh->faceCount), 0);
    w->faceBoneCount.assign(size_t(mesh->faceCount), 0);
    if (InitBitTable(&w->vertexBones, bones, positions, &model->chain) != 0)
        return FailPlan("Read Model Convert Error : 頂点へのボーンの影響に関するデータの初期化に失敗しました");
    if (InitBitTable(&w->faceBones, bones, mesh->faceCount, &model->chain) != 0)
        return FailPlan("Read Model Convert Error : 面へのボーンの影響に関するデータの初期化に失敗しました");
    // Influences per position, ascending by skin weight.
    std::vector<int> counts(size_t(positions) + 1, 0);
    for (int s = 0; s < bones; ++s)
        for (int i = 0; i < mesh->skinWeights[s]->weightCount; ++i) {
            const ReadModelSkinWeightPair& pair = mesh->skinWeights[s]->weights[i];
            if (!(pair.weight > 0.0f)) continue;
            uint8_t* row = w->vertexBones.rows + size_t(pair.position) * size_t(w->vertexBones.rowBytes);
            if (row[s / 8] & (1u << (s % 8))) continue;  // one influence per bone and position
            SetBitTableBit(&w->vertexBones, int(pair.position), s);
            ++counts[pair.position + 1];
        }
    for (int p = 0; p < positions; ++p) counts[size_t(p) + 1] += counts[size_t(p)];
    w->influenceStart = counts;
    w->influences.assign(size_t(counts[size_t(positions)]), PositionInfluence{});
    std::vector<int> fill(counts.begin(), counts.end() - 1);
    for (int s = 0; s < bones; ++s)
        for (int i = 0; i < mesh->skinWeights[s]->weightCount; ++i) {
            const ReadModelSkinWeightPair& pair = mesh->skinWeights[s]->weights[i];
            if (!(pair.weight > 0.0f)) continue;
            int p = int(pair.position);
            // A bone named twice for one position keeps its last weight.
            int at = fill[size_t(p)];
            for (int k = counts[size_t(p)]; k < fill[size_t(p)]; ++k)
                if (w->influences[size_t(k)].skinWeight == s) at = k;
            if (at == fill[size_t(p)]) ++fill[size_t(p)];
            w->influences[size_t(at)] = PositionInfluence{s, pair.weight};
        }
    for (int p = 0; p < positions; ++p) {
        std::sort(w->influences.begin() + counts[size_t(p)], w->influences.begin() + counts[size_t(p) + 1],
                  [](const PositionInfluence& a, const PositionInfluence& b) { return a.skinWeight < b.skinWeight; });
        w->maxBonesPerVertex = std::max(w->maxBonesPerVertex, counts[size_t(p) + 1] - counts[size_t(p)]);
    }
    std::vector<uint8_t> scratch(size_t(w->faceBones.rowBytes), 0);
    for (int f = 0; f < mesh->faceCount; ++f) {
        std::fill(scratch.begin(), scratch.end(), 0);
        int most = 0;
        const int* corners = ReadFacePositions(mesh, f);
        for (int c = 0; c < 3; ++c) {
            int p = corners[c];
            OrBitTableRowInto(&w->vertexBones, p, scratch.data());
            most = std::max(most, counts[size_t(p) + 1] - counts[size_t(p)]);
        }
        scratch.back() = 1;
        StoreBitTableRow(&w->faceBones, f, scratch.data());
        w->faceBoneCount[size_t(f)] = uint16_t(CountSetBitsOfRow(scratch.data(), w->faceBones.rowBytes));
        w->faceType[size_t(f)] = uint8_t(TypeForBones(most));
    }
    return true;
}

}  // namespace

bool PlanReadMesh(ReadModel* model, MeshWork* w) {
    ReadModelMesh* mesh = w->mesh;
    w->skinned = mesh->skinWeightCount > 0;
    if (w->skinned && !AnalyseSkin(model, w)) return false;
    w->groups.assign(size_t(mesh->materialCount > 0 ? mesh->materialCount : 1), PolygonGroup{});
    w->facePlan.assign(size_t(mesh->faceCount), -1);
    std::vector<uint16_t> bones(size_t(mesh->skinWeightCount) + 1);
    for (int f = 0; f < mesh->faceCount; ++f) {
        PolygonGroup& group = w->groups[size_t(mesh->materialCount > 0 ? mesh->faceMaterials[f] : 0)];
        int type = w->skinned ? w->faceType[size_t(f)] : 0;
        const int triangles = 1;  // every face is a triangle by now
        group.trianglesOfType[type] += triangles;
        if (type == 3) group.maxWeights = std::max(group.maxWeights, w->maxBonesPerVertex);
        if (type != 1 && type != 2) continue;
        int count = ListSetBitsOfRow(&w->faceBones, f, bones.data());
        int plan = PlaceFace(group.plans[type - 1], bones.data(), count, triangles);
        if (plan < 0) {
            WriteLogText("Read Model Convert Error : 一つのマテリアルのトライアングルリストの数が多すぎます");
            return false;
        }
        group.plans[type - 1][size_t(plan)].triangleCount += triangles;
        w->facePlan[size_t(f)] = plan;
        group.maxWeights = std::max(group.maxWeights, type == 1 ? 4 : 8);
    }
    return true;
}

}  // namespace morpotta
