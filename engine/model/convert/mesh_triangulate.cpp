// Polygons into triangles, alternating from both ends of the polygon.
#include <cstring>

#include "engine/log.h"
#include "model/convert/mesh_prepare.h"

namespace {

constexpr int kIndexArrays = 3 + kModelUvChannels;

int* ArrayOf(ReadModelFace* face, int which) {
    switch (which) {
    case 0: return face->positionIndex;
    case 1: return face->normalIndex;
    case 2: return face->colourIndex;
    default: return face->uvIndex[which - 3];
    }
}

void SetCorners(ReadModelFace* to, ReadModelFace* from, int a, int b, int c) {
    for (int w = 0; w < kIndexArrays; ++w) {
        const int* src = ArrayOf(from, w);
        int* dst = ArrayOf(to, w);
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
    size_t faceBytes = sizeof(ReadModelFace) * size_t(total);
    auto* block = total > (1LL << 28) ? nullptr
                                      : static_cast<unsigned char*>(AllocChainedMemory(
                                            faceBytes + sizeof(int) * kIndexArrays * 3 * size_t(total), &model->chain));
    if (!block) {
        WriteLogText("Read Model Error : ３ポリ変換後のデータを格納するメモリ領域の確保に失敗しました");
        return false;
    }
    auto* faces = reinterpret_cast<ReadModelFace*>(block);
    int* area = reinterpret_cast<int*>(block + faceBytes);
    for (long long i = 0; i < total; ++i) {
        int* a = area + i * kIndexArrays * 3;
        faces[i].positionIndex = a;
        faces[i].normalIndex = a + 3;
        faces[i].colourIndex = a + 6;
        for (int c = 0; c < kModelUvChannels; ++c) faces[i].uvIndex[c] = a + 9 + 3 * c;
    }
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
    return true;
}
