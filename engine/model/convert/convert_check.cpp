// Input checks of a read mesh before it is converted: every index a face
// or a skin weight holds must name an element the mesh has.
#include "engine/log.h"
#include "model/convert/convert_work.h"

namespace morpotta {

namespace {

bool InRange(int index, int count) { return index >= 0 && index < count; }

bool RefuseMesh(const char* what) {
    WriteLogFormat("Read Model Convert Error : %s", what);
    return false;
}

}  // namespace

bool CheckReadMesh(const ReadModel* model, const ReadModelMesh* mesh) {
    (void)model;
    if (!mesh->frame) return RefuseMesh("フレームに属していないメッシュがありました");
    if (mesh->materialCount < 0 || mesh->materialCount > kReadMeshMaxMaterials)
        return RefuseMesh("一つのメッシュのマテリアルの数が 256 を超えています");
    if (mesh->skinWeightCount < 0 || mesh->skinWeightCount > kReadMeshMaxSkinWeights)
        return RefuseMesh("一つのメッシュのスキンウエイトの数が 4096 を超えています");
    if (mesh->positionCount < 0 || mesh->faceCount < 0 ||
        (mesh->faceCount > 0 && (!mesh->faceCorners || !mesh->faceMaterials || !mesh->faceIndices[READ_FACE_POSITIONS])))
        return RefuseMesh("メッシュの面か頂点の数が不正です");
    if ((mesh->positionCount > 0 && !mesh->positions) || (mesh->normalCount > 0 && !mesh->normals) ||
        (mesh->colourCount > 0 && !mesh->colours) || mesh->normalCount < 0 || mesh->colourCount < 0)
        return RefuseMesh("メッシュの頂点データがありません");
    for (int u = 0; u < kReadUvChannels; ++u)
        if (mesh->uvCount[u] < 0 || (mesh->uvCount[u] > 0 && !mesh->uvs[u]))
            return RefuseMesh("メッシュのテクスチャ座標データがありません");
    // Each array the counts call for is there.
    if (mesh->faceCount > 0) {
        bool held = mesh->normalCount == 0 || mesh->faceIndices[READ_FACE_NORMALS];
        for (int u = 0; u < kReadUvChannels; ++u) held = held && (mesh->uvCount[u] == 0 || mesh->faceIndices[READ_FACE_UVS + u]);
        if (!held) return RefuseMesh("メッシュの面の番号データがありません");
    }
    for (int m = 0; m < mesh->materialCount; ++m)
        if (!mesh->materials[m]) return RefuseMesh("メッシュのマテリアルがありません");
    for (int f = 0; f < mesh->faceCount; ++f) {
        const int n = mesh->faceCorners[f];
        if (n < 3 || n > mesh->maxIndicesPerFace) return RefuseMesh("面の頂点数が不正です");
        const int material = mesh->faceMaterials[f];
        if (mesh->materialCount > 0 ? !InRange(material, mesh->materialCount) : material != 0)
            return RefuseMesh("面のマテリアル番号が範囲外です");
        for (int c = 0; c < n; ++c) {
            if (!InRange(ReadFacePositions(mesh, f)[c], mesh->positionCount)) return RefuseMesh("面の頂点番号が範囲外です");
            if (mesh->normalCount > 0 && !InRange(ReadFaceNormals(mesh, f)[c], mesh->normalCount))
                return RefuseMesh("面の法線番号が範囲外です");
            const int* colours = ReadFaceColours(mesh, f);
            if (mesh->colourCount > 0 && !InRange(colours ? colours[c] : material, mesh->colourCount))
                return RefuseMesh("面の頂点カラー番号が範囲外です");
            for (int u = 0; u < kReadUvChannels; ++u)
                if (mesh->uvCount[u] > 0 && !InRange(ReadFaceUvs(mesh, u, f)[c], mesh->uvCount[u]))
                    return RefuseMesh("面のテクスチャ座標番号が範囲外です");
        }
    }
    for (int s = 0; s < mesh->skinWeightCount; ++s) {
        const ReadModelSkinWeight* sw = mesh->skinWeights[s];
        if (!sw || sw->weightCount < 0 || (sw->weightCount > 0 && !sw->weights))
            return RefuseMesh("スキンウエイト情報が不正です");
        for (int w = 0; w < sw->weightCount; ++w)
            if (sw->weights[w].position >= uint32_t(mesh->positionCount))
                return RefuseMesh("スキンウエイトの頂点番号が範囲外です");
    }
    return true;
}

}  // namespace morpotta
