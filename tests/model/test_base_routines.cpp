#include <cmath>
#include <cstring>

#include "model/convert/base_routines.h"
#include "model_test_support.h"

using namespace morpotta;

namespace {

// One frame with three positions of up to ten weights, one mesh of one
// triangle, and a list of the given kind over it.
struct Fixture {
    ModelBase base{};
    ModelBaseFrame frame{};
    ModelBaseMesh mesh{};
    ModelBasePosition positions[3]{};
    ModelBaseNormal normals[3]{};
    ModelBaseMeshVertex vertices[3]{};
    int bones[3][10];
    float weights[3][10];
    ModelBaseTriangleList list{};
    int meshVertices[3] = {0, 1, 2};
    uint16_t indices[3] = {0, 1, 2};
    uint16_t outline[3] = {};
    alignas(16) unsigned char data[3 * 128] = {};

    Fixture(int kind, int weightCount) {
        frame.positionCount = 3;
        frame.positions = positions;
        frame.normalCount = 3;
        frame.normals = normals;
        frame.maxWeightsPerVertex = 10;
        mesh.frame = &frame;
        mesh.vertexCount = 3;
        mesh.vertices = vertices;
        mesh.triangleListCount = 1;
        mesh.firstTriangleList = &list;
        for (int v = 0; v < 3; ++v) {
            positions[v].position = Vector3{float(v), float(v * 2), float(v * 3)};
            normals[v].normal = Vector3{0, 0, 1};
            vertices[v].position = v;
            vertices[v].normal = v;
            vertices[v].uv[0][0] = v == 1 ? 1.0f : 0.0f;
            vertices[v].uv[0][1] = v == 2 ? 1.0f : 0.0f;
            positions[v].weightBones = bones[v];
            positions[v].weightValues = weights[v];
            for (int w = 0; w < 10; ++w) {
                bones[v][w] = w < weightCount ? 20 + w : -1;
                weights[v][w] = w < weightCount ? 1.0f / float(weightCount) : 0.0f;
            }
        }
        list.mesh = &mesh;
        list.vertexKind = uint16_t(kind);
        list.maxWeights = kind == 3 ? 12 : 0;
        list.vertexStride = TriangleListVertexStride(kind, list.maxWeights);
        list.vertexCount = 3;
        list.meshVertices = meshVertices;
        list.vertices = data;
        list.indexCount = 3;
        list.indices = indices;
        list.outlineIndices = outline;
        list.boneCount = 10;
        for (int b = 0; b < kModelMaxPaletteBones; ++b) list.bones[b] = b < 10 ? 29 - b : -1;
    }
    template <typename T>
    T At(int vertex, int offset) {
        T v;
        std::memcpy(&v, data + vertex * list.vertexStride + offset, sizeof(T));
        return v;
    }
};

TEST(TriangleListFillTest, LayoutsOfTheFourKinds) {
    Fixture rigid(0, 0);
    FillTriangleListVertices(&rigid.list);
    EXPECT_EQ(rigid.At<float>(2, 0), 2.0f);
    EXPECT_EQ(rigid.At<float>(2, 12), 1.0f);
    EXPECT_EQ(rigid.At<float>(2, 24), 1.0f);
    EXPECT_EQ(rigid.At<float>(2, 28), 0.0f);

    Fixture four(1, 2);
    FillTriangleListVertices(&four.list);
    EXPECT_EQ(four.At<float>(1, 0), 0.5f);
    EXPECT_EQ(four.At<float>(1, 8), 0.0f);
    EXPECT_EQ(four.At<float>(1, 20), 2.0f);  // position y
    EXPECT_EQ(four.At<float>(1, 28), 1.0f);
    EXPECT_EQ(four.At<float>(1, 40), 1.0f);  // normal z
    EXPECT_EQ(four.At<uint8_t>(1, 44), 9);   // bone 20 sits at palette slot 9
    EXPECT_EQ(four.At<uint8_t>(1, 45), 8);

    Fixture eight(2, 6);
    FillTriangleListVertices(&eight.list);
    EXPECT_FLOAT_EQ(eight.At<float>(0, 20), 1.0f / 6.0f);
    EXPECT_EQ(eight.At<float>(0, 28), 0.0f);
    EXPECT_EQ(eight.At<float>(2, 40), 1.0f);  // normal z
    EXPECT_EQ(eight.At<uint8_t>(2, 47), 6);   // bone 23
    EXPECT_EQ(eight.At<float>(2, 56), 6.0f);  // position z
    EXPECT_EQ(eight.At<uint8_t>(2, 60), 5);   // bone 24

    Fixture any(3, 10);
    FillTriangleListVertices(&any.list);
    EXPECT_EQ(any.list.vertexStride, 32 + 12 * 8);
    EXPECT_EQ(any.At<uint32_t>(1, 32), 20u);
    EXPECT_EQ(any.At<float>(1, 36), 0.1f);
    EXPECT_EQ(any.At<int32_t>(1, 32 + 10 * 8), -1);  // unused pairs
    EXPECT_EQ(any.At<float>(1, 32 + 11 * 8 + 4), 0.0f);

    alignas(16) unsigned char copy[3 * 48];
    TriangleListVertexCopy instance{&four.list, copy};
    FillTriangleListVertexCopy(&instance);
    EXPECT_EQ(std::memcmp(copy, four.data, sizeof(copy)), 0);
}

TEST(TriangleListFillTest, OutlineListSkipsTrianglesTouchingNoOutlineVertices) {
    Fixture f(0, 0);
    FilterTriangleListIndices(&f.list);
    EXPECT_EQ(f.list.outlineIndexCount, 3);
    f.vertices[1].noOutline = 1;
    FilterTriangleListIndices(&f.list);
    EXPECT_EQ(f.list.outlineIndexCount, 0);
}

using TangentTest = ModelSystemTest;

TEST_F(TangentTest, TangentsFollowTheUvsAndDegenerateUvsStayFinite) {
    Fixture f(0, 0);
    f.positions[0].position = Vector3{0, 0, 0};
    f.positions[1].position = Vector3{1, 0, 0};
    f.positions[2].position = Vector3{0, 1, 0};
    ASSERT_EQ(BuildMeshTangents(&f.mesh), 0);
    EXPECT_NEAR(f.normals[0].tangent.x, 1.0f, 1e-6);
    EXPECT_NEAR(f.normals[0].binormal.y, 1.0f, 1e-6);
    for (auto& v : f.vertices) v.uv[0][0] = v.uv[0][1] = 0.5f;  // all equal
    ASSERT_EQ(BuildMeshTangents(&f.mesh), 0);
    for (auto& n : f.normals) {
        EXPECT_TRUE(std::isfinite(n.tangent.x) && std::isfinite(n.tangent.y) && std::isfinite(n.tangent.z));
        EXPECT_TRUE(std::isfinite(n.binormal.x) && std::isfinite(n.binormal.z));
    }
    f.vertices[1].uv[0][0] = 1.0f;  // collinear UVs: no tangent from the division
    f.vertices[2].uv[0][0] = 2.0f;
    ASSERT_EQ(BuildMeshTangents(&f.mesh), 0);
    for (auto& n : f.normals) EXPECT_TRUE(std::isfinite(n.tangent.x) && std::isfinite(n.binormal.y));
    SetModelAllocFailureAt(1);
    EXPECT_EQ(BuildMeshTangents(&f.mesh), -1);
}

TEST(FrameMatrixTest, KindsAndWorldFollowTheTree) {
    ModelBase base{};
    ModelBaseFrame frames[3]{};
    base.frames = frames;
    base.frameCount = 3;
    for (auto& f : frames) f.scale = Vector3{1, 1, 1};
    frames[0].rotation = Vector3{-0.0f, 0.0f, 0.0f};
    frames[1].parent = &frames[0];
    frames[1].translation = Vector3{1, 2, 3};
    frames[2].parent = &frames[1];
    frames[2].scale = Vector3{1, 1, 1.0000001f};
    frames[2].rotation = Vector3{0, 0, 1.5707964f};
    ComputeBaseFrameMatrices(&base);
    EXPECT_EQ(frames[0].matrixKind, 0);
    EXPECT_EQ(frames[0].localMatrix.m[0], 1.0f);
    EXPECT_EQ(frames[1].matrixKind, 1);
    EXPECT_EQ(frames[1].worldMatrix.m[7], 2.0f);
    EXPECT_EQ(frames[2].matrixKind, 2);
    Vector3 origin{0, 0, 0}, x{1, 0, 0}, out;
    TransformPointBy34(&frames[2].worldMatrix, &out, &origin);
    EXPECT_NEAR(out.z, 3.0f, 1e-6);
    TransformPointBy34(&frames[2].worldMatrix, &out, &x);
    EXPECT_NEAR(out.x, 1.0f, 1e-6);  // turned a quarter about z, then moved
    EXPECT_NEAR(std::fabs(out.y - 2.0f), 1.0f, 1e-6);
    TransformPointBy34(&frames[2].inverseWorldMatrix, &out, &origin);
    Vector3 back;
    TransformPointBy34(&frames[2].worldMatrix, &back, &out);
    EXPECT_NEAR(back.x, 0.0f, 1e-5);
    frames[0].scale = Vector3{0, 0, 0};  // singular: the inverse takes the world matrix
    ComputeBaseFrameMatrices(&base);
    EXPECT_EQ(std::memcmp(&frames[0].inverseWorldMatrix, &frames[0].worldMatrix, sizeof(Matrix34)), 0);
}

}  // namespace
