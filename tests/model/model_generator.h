// Deterministic generated read models for the conversion tests and
// benchmarks: grids of triangles, single-bone faces, skinned quads.
#pragma once
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "mesh_builder.h"
#include "model/read/read_model.h"

using namespace morpotta;

// A strip of separate triangles in the xy plane (3 positions each), with
// one material and one UV channel.
inline ReadModelMesh* AddTriangleSoup(ReadModel* model, ReadModelFrame* frame, int triangles) {
    ReadModelMesh* mesh = AddReadModelMesh(model, frame);
    if (!mesh) return nullptr;
    mesh->positionCount = triangles * 3;
    mesh->positions = AllocReadModelArray<Vector3>(model, size_t(triangles) * 3);
    mesh->uvCount[0] = 1;
    mesh->uvs[0] = AllocReadModelArray<float[2]>(model, 1);
    if (!mesh->positions || !mesh->uvs[0] || ReserveReadModelFaces(model, mesh, triangles, 3) != 0) return nullptr;
    for (int t = 0; t < triangles; ++t) {
        float x = float(t % 1000), y = float(t / 1000);
        mesh->positions[t * 3] = Vector3{x, y, 0};
        mesh->positions[t * 3 + 1] = Vector3{x, y + 1, 0};
        mesh->positions[t * 3 + 2] = Vector3{x + 1, y, 0};
        mesh->faceCorners[t] = 3;
        for (int c = 0; c < 3; ++c) ReadFacePositions(mesh, t)[c] = t * 3 + c;
    }
    ReadModelMaterial* material = AddReadModelMaterial(model, "soup");
    if (!material) return nullptr;
    mesh->materials[0] = material;
    mesh->materialCount = 1;
    return mesh;
}

// A grid of quads sharing positions (n x n cells).
inline ReadModelMesh* AddQuadGrid(ReadModel* model, ReadModelFrame* frame, int n) {
    std::vector<Vector3> p;
    std::vector<std::vector<int>> faces;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) p.push_back(Vector3{float(x), float(y), 0.1f * float((x * 7 + y * 3) % 5)});
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            int a = y * (n + 1) + x;
            faces.push_back({a, a + 1, a + n + 2, a + n + 1});
        }
    return AddTestMesh(model, frame, p, faces);
}

// A skin weight of one bone frame over the given positions.
inline ReadModelSkinWeight* AddSkinWeight(ReadModel* model, ReadModelMesh* mesh, int boneFrame,
                                          const std::vector<std::pair<int, float>>& pairs) {
    ReadModelSkinWeight* sw = AllocReadModelSkinWeight(model);
    if (!sw) return nullptr;
    sw->boneFrameIndex = boneFrame;
    sw->offsetMatrix.m[0][0] = sw->offsetMatrix.m[1][1] = sw->offsetMatrix.m[2][2] = sw->offsetMatrix.m[3][3] = 1;
    sw->offsetMatrix.m[3][0] = -float(boneFrame);
    sw->weightCount = int(pairs.size());
    sw->weights = AllocReadModelArray<ReadModelSkinWeightPair>(model, pairs.size());
    if (!sw->weights) return nullptr;
    for (size_t i = 0; i < pairs.size(); ++i) sw->weights[i] = {uint32_t(pairs[i].first), pairs[i].second};
    mesh->skinWeights[mesh->skinWeightCount++] = sw;
    return sw;
}

// faces triangles, face f bound wholly to bone f % bones.
inline ReadModelMesh* AddSingleBoneFaces(ReadModel* model, ReadModelFrame* frame, int faces, int bones) {
    ReadModelMesh* mesh = AddTriangleSoup(model, frame, faces);
    if (!mesh) return nullptr;
    std::vector<std::vector<std::pair<int, float>>> perBone(static_cast<size_t>(bones));
    for (int f = 0; f < faces; ++f)
        for (int c = 0; c < 3; ++c) perBone[size_t(f % bones)].push_back({f * 3 + c, 1.0f});
    for (int b = 0; b < bones; ++b)
        if (!AddSkinWeight(model, mesh, int(frame->index), perBone[size_t(b)])) return nullptr;
    return mesh;
}

// A random model: polygons of 3 to 6 corners over shared positions, several
// materials, up to twelve bones per position with weights that sum to 1,
// several frames and meshes; the shape follows the trial number (every
// third reverses the winding, every fourth is rigid). The triangles it
// holds are added to expectedTriangles. False when the model runs out of
// memory.
inline bool BuildRandomReadModel(ReadModel* model, std::mt19937& random, int trial, int* expectedTriangles) {
    model->reverseWinding = trial % 3 == 0;
    std::vector<ReadModelFrame*> frames{AddReadModelFrame(model, "root", nullptr)};
    for (int f = 0; f < 1 + trial % 5; ++f)
        frames.push_back(AddReadModelFrame(model, "f", frames[size_t(random() % frames.size())]));
    for (int m = 0; m < 1 + trial % 3; ++m) {
        int positionCount = 4 + int(random() % 40);
        std::vector<Vector3> positions;
        for (int p = 0; p < positionCount; ++p)
            positions.push_back(Vector3{float(random() % 100), float(random() % 100), float(random() % 100)});
        std::vector<std::vector<int>> faces;
        for (int f = 0; f < 10 + int(random() % 60); ++f) {
            int corners = 3 + int(random() % 4);
            std::vector<int> face;
            for (int c = 0; c < corners; ++c) face.push_back(int(random() % uint32_t(positionCount)));
            faces.push_back(face);
            *expectedTriangles += corners - 2;
        }
        ReadModelMesh* mesh = AddTestMesh(model, frames[size_t(random() % frames.size())], positions, faces);
        if (!mesh) return false;
        int materials = int(random() % 3);
        for (int i = 0; i < materials; ++i) mesh->materials[i] = AddReadModelMaterial(model, "m");
        mesh->materialCount = materials;
        for (int f = 0; f < mesh->faceCount; ++f)
            mesh->faceMaterials[f] = materials ? int(random() % uint32_t(materials)) : 0;
        if (trial % 4 == 3) continue;  // rigid
        int bones = 1 + int(random() % 70);
        std::vector<std::vector<std::pair<int, float>>> pairs(static_cast<size_t>(bones));
        for (int p = 0; p < positionCount; ++p) {
            int influences = std::min(bones, 1 + int(random() % (trial % 2 ? 12u : 4u)));
            int first = int(random() % uint32_t(bones));
            for (int i = 0; i < influences; ++i) pairs[size_t((first + i) % bones)].push_back({p, 1.0f / float(influences)});
        }
        for (int b = 0; b < bones; ++b)
            if (!AddSkinWeight(model, mesh, int(frames[size_t(b) % frames.size()]->index), pairs[size_t(b)])) return false;
    }
    return true;
}
