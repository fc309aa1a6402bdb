// The PMD mesh: one mesh in the "Mesh" frame with every vertex and face of
// the file, and one skin weight per bone that any vertex names. A vertex
// hangs on two bones: bone 0 takes its weight byte in hundredths, bone 1
// the rest.
#include <cstring>

#include "engine/log.h"
#include "model/read/pmd_reader.h"

namespace morpotta {

namespace {

constexpr uint8_t kFullWeight = 100;

struct VertexBones {
    uint16_t bone0, bone1;
    uint8_t weight0;  // in hundredths, at most 100
};

VertexBones BonesOf(const PmdFile& file, uint32_t vertex) {
    const unsigned char* v = file.vertices + vertex * kPmdVertexBytes;
    uint8_t weight = v[36] > kFullWeight ? kFullWeight : v[36];
    return VertexBones{PmdU16(v + 32), PmdU16(v + 34), weight};
}

// The weight a vertex gives a bone; negative when it names another.
float WeightFor(const VertexBones& b, uint16_t bone) {
    if (b.bone0 == bone && b.bone1 == bone) return 1.0f;
    if (b.bone0 == bone) return float(b.weight0) / 100.0f;
    if (b.bone1 == bone) return float(kFullWeight - b.weight0) / 100.0f;
    return -1.0f;
}

int FillFacesAndVertices(PmdLoad* load) {
    ReadModel* model = &load->model;
    ReadModelMesh* mesh = load->mesh;
    const PmdFile& file = load->file;
    const uint32_t n = file.vertexCount;
    static const PmdMeshMessages kMessages = {"面情報を保存するメモリ領域の確保に失敗しました",
                                              "頂点座標を保存するメモリ領域の確保に失敗しました",
                                              "頂点法線を保存するメモリ領域の確保に失敗しました",
                                              "頂点テクスチャ座標を保存するメモリ領域の確保に失敗しました"};
    if (ReservePmdMeshArrays(model, mesh, file.faceCount, n, kMessages) != 0) return -1;
    for (uint32_t f = 0; f < file.faceCount; ++f) {
        mesh->faceCorners[f] = 3;
        for (int c = 0; c < 3; ++c) {
            int index = PmdU16(file.indices + 2 * (3 * f + uint32_t(c)));
            ReadFacePositions(mesh, int(f))[c] = ReadFaceNormals(mesh, int(f))[c] = ReadFaceUvs(mesh, 0, int(f))[c] = index;
        }
    }
    for (uint32_t i = 0; i < n; ++i) {
        const unsigned char* v = file.vertices + i * kPmdVertexBytes;
        mesh->positions[i] = Vector3{PmdF32(v), PmdF32(v + 4), PmdF32(v + 8)};
        mesh->normals[i] = Vector3{PmdF32(v + 12), PmdF32(v + 16), PmdF32(v + 20)};
        mesh->uvs[0][i][0] = PmdF32(v + 24);
        mesh->uvs[0][i][1] = PmdF32(v + 28);
        mesh->positionFlags[i] = v[37];
    }
    return 0;
}

int AddSkinWeights(PmdLoad* load) {
    ReadModel* model = &load->model;
    ReadModelMesh* mesh = load->mesh;
    const PmdFile& file = load->file;
    std::vector<int> users(file.boneCount, 0);
    for (uint32_t i = 0; i < file.vertexCount; ++i) {
        VertexBones b = BonesOf(file, i);
        ++users[b.bone0];
        if (b.bone1 != b.bone0) ++users[b.bone1];
    }
    std::vector<ReadModelSkinWeight*> ofBone(file.boneCount, nullptr);
    for (uint32_t bone = 0; bone < file.boneCount; ++bone) {
        if (users[bone] == 0) continue;
        ReadModelSkinWeight* weight = AllocReadModelSkinWeight(model);
        if (!weight || !(weight->weights = AllocReadModelArray<ReadModelSkinWeightPair>(model, size_t(users[bone]))))
            return WriteLogFormat("PMD Load Error : スキニングメッシュウエイト値を格納するメモリ領域の確保に失敗しました");
        const PmdBone& b = load->skeleton.bones[bone];
        BuildTranslationMatrix(&weight->offsetMatrix, -b.head[0], -b.head[1], -b.head[2]);
        weight->boneFrameIndex = int(b.frame->index);
        mesh->skinWeights[mesh->skinWeightCount++] = weight;
        load->skinBone.push_back(int(bone));
        ofBone[bone] = weight;
    }
    // Pairs in vertex order, one pass over the vertices.
    for (uint32_t i = 0; i < file.vertexCount; ++i) {
        VertexBones b = BonesOf(file, i);
        ReadModelSkinWeight* w0 = ofBone[b.bone0];
        w0->weights[w0->weightCount++] = ReadModelSkinWeightPair{i, WeightFor(b, b.bone0)};
        if (b.bone1 == b.bone0) continue;
        ReadModelSkinWeight* w1 = ofBone[b.bone1];
        w1->weights[w1->weightCount++] = ReadModelSkinWeightPair{i, WeightFor(b, b.bone1)};
    }
    return 0;
}

}  // namespace

int ReservePmdMeshArrays(ReadModel* model, ReadModelMesh* mesh, uint32_t faces, uint32_t vertices,
                         const PmdMeshMessages& messages) {
    // Positions, normals and UVs: one index, the vertex's, in each.
    mesh->faceArrays = 1u << READ_FACE_POSITIONS | 1u << READ_FACE_NORMALS | 1u << READ_FACE_UVS;
    if (ReserveReadModelFaces(model, mesh, int(faces), 3) != 0)
        return WriteLogFormat("PMD Load Error : %s", messages.faces);
    if (!(mesh->positions = AllocReadModelArray<Vector3>(model, vertices)) ||
        !(mesh->positionFlags = AllocReadModelArray<uint8_t>(model, vertices)))
        return WriteLogFormat("PMD Load Error : %s", messages.positions);
    if (!(mesh->normals = AllocReadModelArray<Vector3>(model, vertices)))
        return WriteLogFormat("PMD Load Error : %s", messages.normals);
    if (!(mesh->uvs[0] = AllocReadModelArray<float[2]>(model, vertices)))
        return WriteLogFormat("PMD Load Error : %s", messages.uvs);
    mesh->positionCount = mesh->normalCount = mesh->uvCount[0] = int(vertices);
    return 0;
}

int BuildPmdMesh(PmdLoad* load) {
    if (!(load->mesh = AddReadModelMesh(&load->model, load->meshFrame)))
        return WriteLogFormat("PMD Load Error : メッシュオブジェクトの追加に失敗しました");
    if (FillFacesAndVertices(load) != 0 || AddSkinWeights(load) != 0) return -1;
    return 0;
}

// The weight of a vertex for one bone, for the morph mesh's copies.
float PmdVertexWeight(const PmdFile& file, uint32_t vertex, int bone) {
    return WeightFor(BonesOf(file, vertex), uint16_t(bone));
}

}  // namespace morpotta
