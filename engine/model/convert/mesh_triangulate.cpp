// Polygons into triangles, alternating from both ends of the polygon.
// The triangles keep only the index arrays read from here on: positions,
// normals (when read), and the colours and UV channels the mesh has.
#include "engine/log.h"
#include "model/convert/mesh_prepare.h"

namespace morpotta {

namespace {

uint32_t ArraysInUse(const ReadModelMesh* mesh) {
    uint32_t arrays = 1u << READ_FACE_POSITIONS | 1u << READ_FACE_NORMALS;
    if (mesh->colourCount > 0) arrays |= 1u << READ_FACE_COLOURS;
    for (int c = 0; c < kReadUvChannels; ++c)
        if (mesh->uvCount[c] > 0) arrays |= 1u << (READ_FACE_UVS + c);
    uint32_t held = 0;
    for (int a = 0; a < kFaceIndexArrays; ++a)
        if (mesh->faceIndices[a]) held |= 1u << a;
    return arrays & held;
}

// Face to of the triangles takes corners a, b, c of face from of the mesh.
void SetCorners(ReadModelMesh* triangles, int to, const ReadModelMesh* mesh, int from, int a, int b, int c) {
    for (int w = 0; w < kFaceIndexArrays; ++w) {
        int* dst = ReadFaceIndices(triangles, w, to);
        if (!dst) continue;
        const int* src = ReadFaceIndices(mesh, w, from);
        dst[0] = src[a];
        dst[1] = src[b];
        dst[2] = src[c];
    }
    triangles->faceCorners[to] = 3;
    triangles->faceMaterials[to] = mesh->faceMaterials[from];
}

}  // namespace

bool TriangulateReadModelMesh(ReadModel* model, ReadModelMesh* mesh) {
    long long extra = 0;
    for (int i = 0; i < mesh->faceCount; ++i)
        if (mesh->faceCorners[i] > 3) extra += mesh->faceCorners[i] - 3;
    if (extra == 0) return true;
    long long total = mesh->faceCount + extra;
    ReadModelMesh triangles{};
    triangles.faceArrays = ArraysInUse(mesh);
    if (total > (1LL << 28) || ReserveReadModelFaces(model, &triangles, int(total), 3) != 0) {
        WriteLogText("Read Model Error : ３ポリ変換後のデータを格納するメモリ領域の確保に失敗しました");
        return false;
    }
    long long added = mesh->faceCount;
    for (int i = 0; i < mesh->faceCount; ++i) {
        int n = mesh->faceCorners[i];
        SetCorners(&triangles, i, mesh, i, 0, 1, n - 1);
        int a = n - 1, b = 1;
        for (int made = 0; made < n - 3;) {
            SetCorners(&triangles, int(added++), mesh, i, a, b, b + 1);
            if (++made == n - 3) break;
            SetCorners(&triangles, int(added++), mesh, i, a, b + 1, a - 1);
            ++made;
            --a;
            ++b;
        }
    }
    ReplaceReadModelFaces(model, mesh, triangles);
    mesh->faceArrays = triangles.faceArrays;
    return true;
}

}  // namespace morpotta
