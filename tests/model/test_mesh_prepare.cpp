#include <cmath>

#include "mesh_builder.h"
#include "model/convert/mesh_prepare.h"
#include "model_test_support.h"

using namespace morpotta;

namespace {

class MeshPrepareTest : public ModelSystemTest {
protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        InitReadModel(&model);
        frame = AddReadModelFrame(&model, "frame", nullptr);
    }
    void TearDown() override {
        FreeReadModel(&model);
        ModelSystemTest::TearDown();
    }
    std::vector<std::vector<int>> Corners(const ReadModelMesh* mesh) {
        std::vector<std::vector<int>> out;
        for (int f = 0; f < mesh->faceCount; ++f)
            out.push_back({ReadFacePositions(mesh, f)[0], ReadFacePositions(mesh, f)[1],
                           ReadFacePositions(mesh, f)[2]});
        return out;
    }
    ReadModel model;
    ReadModelFrame* frame;
};

std::vector<Vector3> Ring(int n) {
    std::vector<Vector3> p;
    for (int i = 0; i < n; ++i) p.push_back(Vector3{std::cos(i * 1.0f), std::sin(i * 1.0f), 0});
    return p;
}

TEST_F(MeshPrepareTest, TriangulationCornerOrder) {
    ReadModelMesh* tri = AddTestMesh(&model, frame, Ring(3), {{0, 1, 2}});
    const int* before = tri->faceIndices[READ_FACE_POSITIONS];
    ASSERT_TRUE(TriangulateReadModelMesh(&model, tri));
    EXPECT_EQ(tri->faceIndices[READ_FACE_POSITIONS], before);  // triangles only: unchanged

    ReadModelMesh* quad = AddTestMesh(&model, frame, Ring(4), {{0, 1, 2, 3}});
    ASSERT_TRUE(TriangulateReadModelMesh(&model, quad));
    EXPECT_EQ(Corners(quad), (std::vector<std::vector<int>>{{0, 1, 3}, {3, 1, 2}}));

    ReadModelMesh* penta = AddTestMesh(&model, frame, Ring(5), {{0, 1, 2, 3, 4}});
    ASSERT_TRUE(TriangulateReadModelMesh(&model, penta));
    EXPECT_EQ(Corners(penta), (std::vector<std::vector<int>>{{0, 1, 4}, {4, 1, 2}, {4, 2, 3}}));

    ReadModelMesh* hexa = AddTestMesh(&model, frame, Ring(6), {{0, 1, 2, 3, 4, 5}, {0, 1, 2}});
    hexa->faceMaterials[0] = 3;
    ReadFaceUvs(hexa, 1, 0)[3] = 33;
    hexa->uvCount[1] = 34;  // the channel is in use: its indices go with the corners
    ASSERT_TRUE(TriangulateReadModelMesh(&model, hexa));
    EXPECT_EQ(ReadFaceUvs(hexa, 0, 0), nullptr);  // channels not in use are dropped
    EXPECT_EQ(ReadFaceColours(hexa, 0), nullptr);
    EXPECT_EQ(Corners(hexa), (std::vector<std::vector<int>>{{0, 1, 5}, {0, 1, 2}, {5, 1, 2}, {5, 2, 4}, {4, 2, 3}}));
    EXPECT_EQ(hexa->faceMaterials[4], 3);
    EXPECT_EQ(ReadFaceUvs(hexa, 1, 3)[1], 0);
    EXPECT_EQ(ReadFaceUvs(hexa, 1, 4)[2], 33);  // corner 3 of the old face
    EXPECT_EQ(hexa->faceCorners[4], 3);
}

TEST_F(MeshPrepareTest, TriangulationFailsCleanlyWhenMemoryIsShort) {
    ReadModelMesh* quad = AddTestMesh(&model, frame, Ring(4), {{0, 1, 2, 3}});
    SetModelAllocFailureAt(1);
    EXPECT_FALSE(TriangulateReadModelMesh(&model, quad));
}

TEST_F(MeshPrepareTest, CubeKeepsHardEdges) {
    ReadModelMesh* cube = AddTestCube(&model, frame);
    frame->smoothingAngle = 0.0f;  // behaves as 89.5 degrees
    ASSERT_TRUE(GenerateReadModelMeshNormals(&model, cube));
    EXPECT_EQ(cube->normalCount, 24);  // one slot per group: the quad diagonals share theirs
    for (int f = 0; f < cube->faceCount; ++f)
        for (int c = 0; c < 3; ++c) {
            const Vector3& n = cube->normals[ReadFaceNormals(cube, f)[c]];
            EXPECT_NEAR(std::fabs(n.x) + std::fabs(n.y) + std::fabs(n.z), 1.0f, 1e-6);
            // Along the face's own normal.
            const int* p = ReadFacePositions(cube, f);
            const Vector3 &a = cube->positions[p[0]], &b = cube->positions[p[1]], &d = cube->positions[p[2]];
            Vector3 e1{b.x - a.x, b.y - a.y, b.z - a.z}, e2{d.x - a.x, d.y - a.y, d.z - a.z};
            Vector3 face{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
            float length = std::sqrt(face.x * face.x + face.y * face.y + face.z * face.z);
            EXPECT_NEAR((n.x * face.x + n.y * face.y + n.z * face.z) / length, 1.0f, 1e-6);
        }
}

ReadModelMesh* Hinge(ReadModel* model, ReadModelFrame* frame, float degrees) {
    float a = degrees * 3.14159265f / 180.0f;
    // Two triangles sharing the edge (0,0,0)-(0,1,0), the second turned by a.
    return AddTestMesh(model, frame, {{0, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {std::cos(a), 0, std::sin(a)}},
                       {{0, 1, 2}, {1, 0, 3}});
}

TEST_F(MeshPrepareTest, SmoothingAngleDecidesSharedNormals) {
    frame->smoothingAngle = 45.0f * 3.14159265f / 180.0f;
    ReadModelMesh* smooth = Hinge(&model, frame, 30.0f);
    ASSERT_TRUE(GenerateReadModelMeshNormals(&model, smooth));
    EXPECT_EQ(ReadFaceNormals(smooth, 0)[0], ReadFaceNormals(smooth, 1)[1]);  // position 0
    EXPECT_EQ(ReadFaceNormals(smooth, 0)[1], ReadFaceNormals(smooth, 1)[0]);  // position 1
    EXPECT_NE(ReadFaceNormals(smooth, 0)[2], ReadFaceNormals(smooth, 0)[0]);
    EXPECT_EQ(smooth->normalCount, 4);

    frame->smoothingAngle = 20.0f * 3.14159265f / 180.0f;
    ReadModelMesh* hard = Hinge(&model, frame, 30.0f);
    ASSERT_TRUE(GenerateReadModelMeshNormals(&model, hard));
    EXPECT_EQ(hard->normalCount, 6);
    EXPECT_NE(ReadFaceNormals(hard, 0)[0], ReadFaceNormals(hard, 1)[1]);
}

TEST_F(MeshPrepareTest, DegenerateTrianglesSpreadNoNaN) {
    ReadModelMesh* mesh = AddTestMesh(&model, frame, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}},
                                      {{0, 1, 2}, {0, 3, 1}, {1, 3, 2}});
    frame->smoothingAngle = 3.1f;  // everything may smooth
    ASSERT_TRUE(GenerateReadModelMeshNormals(&model, mesh));
    for (int i = 0; i < mesh->normalCount; ++i) {
        EXPECT_FALSE(std::isnan(mesh->normals[i].x));
        EXPECT_FALSE(std::isnan(mesh->normals[i].z));
    }
    EXPECT_NEAR(mesh->normals[ReadFaceNormals(mesh, 1)[0]].z, -1.0f, 1e-6);
}

TEST_F(MeshPrepareTest, OutOfRangePositionIsRefused) {
    ReadModelMesh* mesh = AddTestMesh(&model, frame, Ring(3), {{0, 1, 7}});
    EXPECT_FALSE(GenerateReadModelMeshNormals(&model, mesh));
}

TEST_F(MeshPrepareTest, MergeByDistanceAndWeights) {
    ReadModelMesh* mesh = AddTestMesh(&model, frame,
                                      {{0, 0, 0}, {0.000005f, 0, 0}, {0.00002f, 0, 0}, {5, 5, 5}, {5, 5, 5}},
                                      {{0, 2, 3}, {1, 2, 4}});
    ReadModelSkinWeight* sw = AllocReadModelSkinWeight(&model);
    sw->weightCount = 2;
    sw->weights = AllocReadModelArray<ReadModelSkinWeightPair>(&model, 2);
    sw->weights[0] = {3, 0.5f};
    sw->weights[1] = {4, 0.25f};  // different weight: 3 and 4 stay apart
    mesh->skinWeights[0] = sw;
    mesh->skinWeightCount = 1;
    ASSERT_TRUE(MergeReadModelMeshVertices(mesh));
    EXPECT_EQ(mesh->positionCount, 4);  // 1 merged into 0; 2 (0.00002 away) stays
    EXPECT_EQ(ReadFacePositions(mesh, 1)[0], 0);
    EXPECT_EQ(ReadFacePositions(mesh, 1)[1], 1);
    EXPECT_EQ(ReadFacePositions(mesh, 1)[2], 3);
    EXPECT_EQ(sw->weights[0].position, 2u);
    EXPECT_EQ(sw->weights[1].position, 3u);

    sw->weights[1].weight = 0.5f;  // same weights now: 2 and 3 merge
    ASSERT_TRUE(MergeReadModelMeshVertices(mesh));
    EXPECT_EQ(mesh->positionCount, 3);
    EXPECT_EQ(sw->weights[1].weight, 0.0f);
    EXPECT_LT(sw->weights[1].position, 3u);
}

TEST_F(MeshPrepareTest, PositionsOfAnyValenceShareTheirNormal) {
    const int valence = 2000;  // beyond any fixed fan list
    std::vector<Vector3> p{{0, 0, 0}};
    std::vector<std::vector<int>> faces;
    for (int i = 0; i < valence; ++i) {
        float a = 6.2831853f * float(i) / valence;
        p.push_back(Vector3{std::cos(a), std::sin(a), 0.2f});  // a shallow cone
        faces.push_back({0, 1 + i, 1 + (i + 1) % valence});
    }
    ReadModelMesh* fan = AddTestMesh(&model, frame, p, faces);
    frame->smoothingAngle = 0.0f;
    ASSERT_TRUE(GenerateReadModelMeshNormals(&model, fan));
    int centre = ReadFaceNormals(fan, 0)[0];
    for (int f = 0; f < valence; ++f) ASSERT_EQ(ReadFaceNormals(fan, f)[0], centre);
    EXPECT_NEAR(std::fabs(fan->normals[centre].z), 1.0f, 1e-5);
}

}  // namespace
