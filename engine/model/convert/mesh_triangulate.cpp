// Polygons into triangles, alternating from both ends of the polygon.
// The triangles keep only the index arrays read from here on: positions,
// normals, and the colours and UV channels the mesh has.
#include <cstring>

#include "engine/log.h"
#include "model/convert/mesh_prepare.h"

namespace {

uint32_t ArraysInUse(const ReadModelMesh* mesh) {
    uint32_t arrays = 1u << READ_FACE_POSITIONS | 1u << READ_FACE_NORMALS;
    if (mesh->colourCount > 0) arrays |= 1u << READ_FACE_COLOURS;
    for (int c = 0; c < kModelUvChannels; ++c)
        if (mesh->uvCount[c] > 0) arrays |= 1u << (READ_FACE_UVS + c);
    return arrays & ReadModelFaceArrays(mesh);
}

void SetCorners(ReadModelFace* to, ReadModelFace* from, int a, int b, int c) {
    for (int w = 0; w < kFaceIndexArrays; ++w) {
        int* dst = ReadModelFaceArray(to, w);
        if (!dst) continue;
        const int* src = ReadModelFaceArray(from, w);
        dst[0] = src[a];
        dst[1] = src[b];
        dst[2] = src[c];
    }
    to->indexCount = 3;
    to->triangleCount = 1;
    to->materialIndex = from->materialIndex;
}

}  // namespace

bool TriangulateReadModelMesh(ReadModel* model, ReadModelMesh* mesh) {
    long long extra = 0;
    for (int i = 0; i < mesh->faceCount; ++i)
        if (mesh->faces[i].indexCount > 3) extra += mesh->faces[i].indexCount - 3;
    if (extra == 0) return true;
    long long total = mesh->faceCount + extra;
    const uint32_t arrays = ArraysInUse(mesh);
    const size_t intsPerFace = size_t(__builtin_popcount(arrays)) * 3;
    size_t faceBytes = sizeof(ReadModelFace) * size_t(total);
    auto* block = total > (1LL << 28) ? nullptr
                                      : static_cast<unsigned char*>(AllocChainedMemory(
                                            faceBytes + sizeof(int) * intsPerFace * size_t(total), &model->chain));
    if (!block) {
        WriteLogText("Read Model Error : ３ポリ変換後のデータを格納するメモリ領域の確保に失敗しました");
        return false;
    }
    auto* faces = reinterpret_cast<ReadModelFace*>(block);
    int* area = reinterpret_cast<int*>(block + faceBytes);
    for (long long i = 0; i < total; ++i) PointReadModelFaceArrays(&faces[i], area + size_t(i) * intsPerFace, 3, arrays);
    long long added = mesh->faceCount;
    for (int i = 0; i < mesh->faceCount; ++i) {
        ReadModelFace* old = &mesh->faces[i];
        int n = old->indexCount;
        SetCorners(&faces[i], old, 0, 1, n - 1);
        faces[i].normal = old->normal;
        int a = n - 1, b = 1;
        for (int made = 0; made < n - 3;) {
            SetCorners(&faces[added++], old, a, b, b + 1);
            if (++made == n - 3) break;
            SetCorners(&faces[added++], old, a, b + 1, a - 1);
            ++made;
            --a;
            ++b;
        }
    }
    FreeChainedBlock(&model->chain, mesh->faces);
    mesh->faces = faces;
    mesh->faceIndexArea = area;
    mesh->faceCount = int(total);
    mesh->maxIndicesPerFace = 3;
    mesh->faceArrays = arrays;
    return true;
}
