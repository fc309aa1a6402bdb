// Mirror copies of an MQO object's mesh: one block of positions and faces
// per subset of its mirror axes. Positions lying on every mirror plane of a
// block are shared with the original; blocks mirrored an odd number of
// times turn their faces the other way.
#include <cstring>

#include "engine/log.h"
#include "model/read/mqo_reader.h"

namespace morpotta {

namespace {

int AxisCount(int bits) { return (bits & 1) + (bits >> 1 & 1) + (bits >> 2 & 1); }

// Triangles become 0, 2, 1 and quads 3, 2, 1, 0, in every per-corner array.
void ReverseCorners(ReadModelMesh* mesh, int face) {
    const int n = mesh->faceCorners[face];
    for (int a = 0; a < kFaceIndexArrays; ++a) {
        int* v = ReadFaceIndices(mesh, a, face);
        if (!v) continue;
        if (n == 3) std::swap(v[1], v[2]);
        else if (n == 4) std::swap(v[0], v[3]), std::swap(v[1], v[2]);
    }
}

float& Coordinate(Vector3& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

}  // namespace

int MirrorMqoMesh(MqoReader* r, ReadModelMesh* mesh, int axisBits, const char* name) {
    ReadModel* model = &r->model;
    const int copies = 1 << AxisCount(axisBits);
    if (copies == 1) return 0;
    const int positions = mesh->positionCount;
    const int faces = mesh->faceCount;
    auto* flags = AllocReadModelArray<uint8_t>(model, size_t(positions));
    if (!flags)
        return WriteLogFormat("MQO Load Error : Object %s チャンクのミラーリング頂点データ情報フラグ格納用メモリの確保に失敗しました", name);
    auto* mirrored = AllocReadModelArray<Vector3>(model, size_t(positions) * size_t(copies));
    if (!mirrored) {
        FreeChainedBlock(&model->chain, flags);
        return WriteLogFormat("MQO Load Error : Object %s チャンクのミラーリング頂点データ格納用メモリの確保に失敗しました", name);
    }
    for (int b = 0; b < copies; ++b)
        std::memcpy(mirrored + size_t(b) * size_t(positions), mesh->positions, sizeof(Vector3) * size_t(positions));
    // Grows the face array; the first block keeps the object's own faces.
    if (ReserveReadModelFaces(model, mesh, faces * copies, mesh->maxIndicesPerFace) != 0) {
        FreeChainedBlock(&model->chain, flags);
        return WriteLogFormat("MQO Load Error : Object %s チャンクのミラーリング面データ格納用メモリの確保に失敗しました", name);
    }
    int block = 0;
    for (int c = 1; c <= 7; ++c) {
        if ((c & axisBits) != c) continue;
        ++block;
        Vector3* p = mirrored + size_t(block) * size_t(positions);
        std::memset(flags, 0, size_t(positions));
        for (int axis = 0; axis < 3; ++axis) {
            if (!(c & (1 << axis))) continue;
            for (int i = 0; i < positions; ++i) {
                float& v = Coordinate(p[i], axis);
                if (v == 0.0f) ++flags[i];
                else v = -v;
            }
        }
        const int axes = AxisCount(c);
        for (int f = 0; f < faces; ++f) {
            const int face = block * faces + f;
            CopyReadModelFace(mesh, face, f);
            int* corners = ReadFacePositions(mesh, face);
            for (int k = 0; k < mesh->faceCorners[face]; ++k) {
                int index = corners[k];
                if (flags[index] != axes) corners[k] = index + positions * block;
            }
            if (axes % 2 == 1) ReverseCorners(mesh, face);
        }
    }
    FreeChainedBlock(&model->chain, flags);
    mesh->positions = mirrored;
    mesh->positionCount = positions * copies;
    return 0;
}

}  // namespace morpotta
