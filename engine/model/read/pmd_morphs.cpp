// PMD morphs. The first morph lists the vertices the others move (the
// base); every face that touches one of them moves into a second mesh
// whose first vertices are the base morph's, in its order, so that each
// further morph becomes a shape of that mesh indexed as the file indexes
// it.
#include <vector>

#include "engine/log.h"
#include "engine/memory.h"
#include "model/base/memory_chain.h"
#include "model/read/pmd_reader.h"

namespace morpotta {

namespace {

// Work tables of the split, in one tracked block.
struct MorphSplit {
    void* block;
    int* secondOf;      // main vertex -> second-mesh vertex, -1 when none
    uint8_t* isBase;    // main vertex is in the base morph
    uint32_t* source;   // second-mesh vertex -> main vertex
    uint32_t sourceCount;
    uint32_t movedFaces;
    int localMaterial[kReadMeshMaxMaterials];  // main list index -> second list index
};


const unsigned char* MorphVertex(const unsigned char* morph, uint32_t i) {
    return morph + kPmdMorphBytes + i * kPmdMorphVertexBytes;
}

bool StartSplit(const PmdFile& file, MorphSplit* s) {
    const uint32_t n = file.vertexCount, base = PmdU32(file.morphs[0] + 20);
    const size_t bytes = sizeof(int) * n + sizeof(uint32_t) * (size_t(n) + base) + n;
    if (!(s->block = AllocModelMemory(bytes ? bytes : 1))) return false;
    s->secondOf = static_cast<int*>(s->block);
    s->source = reinterpret_cast<uint32_t*>(s->secondOf + n);
    s->isBase = reinterpret_cast<uint8_t*>(s->source + n + base);
    for (uint32_t v = 0; v < n; ++v) s->secondOf[v] = -1;
    for (int& m : s->localMaterial) m = -1;
    for (uint32_t i = 0; i < base; ++i) {
        uint32_t v = PmdU32(MorphVertex(file.morphs[0], i));
        s->isBase[v] = 1;
        if (s->secondOf[v] < 0) s->secondOf[v] = int(i);
        s->source[s->sourceCount++] = v;
    }
    return true;
}

bool Moves(const int* corners, const MorphSplit& s) {
    return s.isBase[corners[0]] || s.isBase[corners[1]] || s.isBase[corners[2]];
}

// Numbers the vertices and materials the moving faces bring along.
void PlanMovedFaces(const ReadModelMesh* main, ReadModelMesh* second, MorphSplit* s) {
    for (int f = 0; f < main->faceCount; ++f) {
        const int* corners = ReadFacePositions(main, f);
        if (!Moves(corners, *s)) continue;
        ++s->movedFaces;
        const int material = main->faceMaterials[f];
        int& local = s->localMaterial[material];
        if (local < 0 && material < main->materialCount) {
            local = second->materialCount;
            second->materials[second->materialCount++] = main->materials[material];
        }
        for (int c = 0; c < 3; ++c) {
            int v = corners[c];
            if (s->secondOf[v] >= 0) continue;
            s->secondOf[v] = int(s->sourceCount);
            s->source[s->sourceCount++] = uint32_t(v);
        }
    }
}

int FillSecondMesh(ReadModel* model, ReadModelMesh* main, ReadModelMesh* second, const MorphSplit& s) {
    const uint32_t n = s.sourceCount;
    static const PmdMeshMessages kMessages = {"表情データの面情報を保存するメモリ領域の確保に失敗しました",
                                              "表情データの頂点座標を保存するメモリ領域の確保に失敗しました",
                                              "表情データの頂点法線を保存するメモリ領域の確保に失敗しました",
                                              "表情データの頂点テクスチャ座標を保存するメモリ領域の確保に失敗しました"};
    if (ReservePmdMeshArrays(model, second, s.movedFaces, n, kMessages) != 0) return -1;
    for (uint32_t j = 0; j < n; ++j) {
        uint32_t v = s.source[j];
        second->positions[j] = main->positions[v];
        second->normals[j] = main->normals[v];
        second->uvs[0][j][0] = main->uvs[0][v][0];
        second->uvs[0][j][1] = main->uvs[0][v][1];
        second->positionFlags[j] = main->positionFlags[v];
    }
    // Moving faces go over, the others close up in the main mesh.
    int kept = 0, moved = 0;
    for (int f = 0; f < main->faceCount; ++f) {
        const int* at = ReadFacePositions(main, f);
        const int corners[3] = {at[0], at[1], at[2]};
        const bool moves = Moves(corners, s);
        int material = main->faceMaterials[f];
        if (moves) material = s.localMaterial[material] < 0 ? 0 : s.localMaterial[material];
        ReadModelMesh* to = moves ? second : main;
        const int out = moves ? moved++ : kept++;
        to->faceCorners[out] = 3;
        to->faceMaterials[out] = material;
        for (int c = 0; c < 3; ++c) {
            int v = moves ? s.secondOf[corners[c]] : corners[c];
            ReadFacePositions(to, out)[c] = ReadFaceNormals(to, out)[c] = ReadFaceUvs(to, 0, out)[c] = v;
        }
    }
    main->faceCount = kept;
    return 0;
}

// Each bone of the main mesh that a second-mesh vertex hangs on gets a
// skin weight there; the main mesh keeps the pairs of the vertices that
// are not the base morph's (at least one).
int SplitSkinWeights(PmdLoad* load, ReadModelMesh* second, const MorphSplit& s) {
    ReadModel* model = &load->model;
    ReadModelMesh* main = load->mesh;
    const PmdFile& file = load->file;
    const int weights = main->skinWeightCount;
    std::vector<int> weightOfBone(file.boneCount, -1), users(size_t(weights), 0);
    for (int i = 0; i < weights; ++i) weightOfBone[size_t(load->skinBone[size_t(i)])] = i;
    auto eachBone = [&](uint32_t j, auto&& take) {
        const unsigned char* v = file.vertices + s.source[j] * kPmdVertexBytes;
        const int bone0 = PmdU16(v + 32), bone1 = PmdU16(v + 34);
        take(bone0);
        if (bone1 != bone0) take(bone1);
    };
    for (uint32_t j = 0; j < s.sourceCount; ++j) eachBone(j, [&](int bone) { ++users[size_t(weightOfBone[size_t(bone)])]; });
    std::vector<ReadModelSkinWeight*> copyOf(size_t(weights), nullptr);
    for (int i = 0; i < weights; ++i) {
        if (users[size_t(i)] == 0) continue;
        ReadModelSkinWeight* to = AllocReadModelSkinWeight(model);
        if (!to || !(to->weights = AllocReadModelArray<ReadModelSkinWeightPair>(model, size_t(users[size_t(i)]))))
            return LogPmdLoadError("表情データ用スキニングメッシュウエイト値を格納するメモリ領域の確保に失敗しました");
        to->offsetMatrix = main->skinWeights[i]->offsetMatrix;
        to->boneFrameIndex = main->skinWeights[i]->boneFrameIndex;
        second->skinWeights[second->skinWeightCount++] = copyOf[size_t(i)] = to;
    }
    for (uint32_t j = 0; j < s.sourceCount; ++j)
        eachBone(j, [&](int bone) {
            ReadModelSkinWeight* to = copyOf[size_t(weightOfBone[size_t(bone)])];
            to->weights[to->weightCount++] = ReadModelSkinWeightPair{j, PmdVertexWeight(file, s.source[j], bone)};
        });
    for (int i = 0; i < weights; ++i) {
        ReadModelSkinWeight* w = main->skinWeights[i];
        int kept = 0;
        for (int p = 0; p < w->weightCount; ++p)
            if (!s.isBase[w->weights[p].position]) w->weights[kept++] = w->weights[p];
        if (kept == 0 && w->weightCount > 0) {
            // The bone keeps a pair, of no weight: the vertex it names moved
            // and must not hang partly on it here.
            w->weights[kept] = w->weights[w->weightCount - 1];
            w->weights[kept++].weight = 0.0f;
        }
        w->weightCount = kept;
    }
    return 0;
}

int AddShapes(PmdLoad* load, ReadModelMesh* second) {
    const PmdFile& file = load->file;
    const unsigned char* base = file.morphs[0];
    for (size_t m = 1; m < file.morphs.size(); ++m) {
        const unsigned char* morph = file.morphs[m];
        char name[kPmdNameBytes + 1];
        CopyPmdName(name, morph, kPmdNameBytes);
        ReadModelShape* shape = AddReadModelShape(&load->model, name, load->meshFrame);
        if (!shape) return LogPmdLoadError("シェイプオブジェクトの追加に失敗しました");
        const uint32_t count = PmdU32(morph + 20);
        shape->mesh = second;
        if (!(shape->vertices = AllocReadModelArray<ReadModelShapeVertex>(&load->model, count)))
            return LogPmdLoadError("シェイプ頂点データを格納するメモリ領域の確保に失敗しました");
        shape->vertexCount = int(count);
        for (uint32_t i = 0; i < count; ++i) {
            const unsigned char* v = MorphVertex(morph, i);
            const uint32_t index = PmdU32(v);  // into the base morph, checked
            const unsigned char* b = MorphVertex(base, index);
            const Vector3& at = second->positions[index];
            shape->vertices[i].position = index;
            shape->vertices[i].offset = Vector3{PmdF32(b + 4) + PmdF32(v + 4) - at.x, PmdF32(b + 8) + PmdF32(v + 8) - at.y,
                                                PmdF32(b + 12) + PmdF32(v + 12) - at.z};
        }
    }
    return 0;
}

}  // namespace

int BuildPmdMorphs(PmdLoad* load) {
    if (load->file.morphs.size() < 2) return 0;
    MorphSplit split{};
    if (!StartSplit(load->file, &split))
        return LogPmdLoadError("一時保存用の頂点データを格納するメモリ領域の確保に失敗しました");
    int result = -1;
    ReadModelMesh* second = AddReadModelMesh(&load->model, load->meshFrame);
    if (!second) {
        LogPmdLoadError("スキンメッシュオブジェクトの追加に失敗しました");
    } else {
        PlanMovedFaces(load->mesh, second, &split);
        result = FillSecondMesh(&load->model, load->mesh, second, split) == 0 &&
                         SplitSkinWeights(load, second, split) == 0 && AddShapes(load, second) == 0
                     ? 0
                     : -1;
    }
    FreeMemory(split.block);
    return result;
}

}  // namespace morpotta
