// Builds small read meshes for the model tests.
#pragma once
#include <initializer_list>
#include <vector>

#include "model/read/read_model.h"

using namespace morpotta;

inline ReadModelMesh* AddTestMesh(ReadModel* model, ReadModelFrame* frame, const std::vector<Vector3>& positions,
                                  const std::vector<std::vector<int>>& faces) {
    ReadModelMesh* mesh = AddReadModelMesh(model, frame);
    if (!mesh) return nullptr;
    mesh->positionCount = int(positions.size());
    mesh->positions = AllocReadModelArray<Vector3>(model, positions.size());
    mesh->positionFlags = AllocReadModelArray<uint8_t>(model, positions.size());
    if (!mesh->positions || !mesh->positionFlags) return nullptr;
    for (size_t i = 0; i < positions.size(); ++i) mesh->positions[i] = positions[i];
    int most = 3;
    for (const auto& f : faces) most = int(f.size()) > most ? int(f.size()) : most;
    if (ReserveReadModelFaces(model, mesh, int(faces.size()), most) != 0) return nullptr;
    for (size_t i = 0; i < faces.size(); ++i) {
        mesh->faceCorners[i] = uint8_t(faces[i].size());
        for (size_t c = 0; c < faces[i].size(); ++c) ReadFacePositions(mesh, int(i))[c] = faces[i][c];
    }
    return mesh;
}

// A unit cube around the origin whose triangles wind one way seen from
// outside.
inline ReadModelMesh* AddTestCube(ReadModel* model, ReadModelFrame* frame) {
    std::vector<Vector3> p = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                              {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    std::vector<std::vector<int>> quads = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                           {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
    std::vector<std::vector<int>> tris;
    for (const auto& q : quads) {
        tris.push_back({q[0], q[1], q[2]});
        tris.push_back({q[0], q[2], q[3]});
    }
    return AddTestMesh(model, frame, p, tris);
}

// The same cube with one material.
inline ReadModelMesh* AddTestCube(ReadModel* model, ReadModelFrame* frame, ReadModelMaterial* material) {
    ReadModelMesh* mesh = AddTestCube(model, frame);
    mesh->materials[0] = material;
    mesh->materialCount = 1;
    return mesh;
}
