#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "fake_files.h"
#include "fake_graphics.h"
#include "model/convert/convert.h"
#include "model_generator.h"
#include "model_test_support.h"

using namespace morpotta;

namespace {

class ConvertTest : public ModelSystemTest {
protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        InitReadModel(&model);
        root = AddReadModelFrame(&model, "root", nullptr);
    }
    void TearDown() override {
        FreeReadModel(&model);
        ModelSystemTest::TearDown();
    }
    // Converts and validates; the base data or null.
    ModelBase* Convert() {
        handle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
        if (handle == -1) return nullptr;
        ModelBase* base = GetModelBase(handle);
        char why[256] = {};
        EXPECT_EQ(ValidateModelBase(base, why, sizeof(why)), 0) << why;
        return base;
    }
    ReadModel model;
    ReadModelFrame* root;
    int handle = -1;
};

int CountKind(const ModelBase* base, int kind) {
    int n = 0;
    for (int i = 0; i < base->triangleListCount; ++i) n += base->triangleLists[i].vertexKind == kind;
    return n;
}

TEST_F(ConvertTest, MeshWithoutMaterialsBecomesOneBaseMesh) {
    AddTestCube(&model, root);
    ModelBase* base = Convert();
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base->meshCount, 1);
    EXPECT_EQ(base->meshes[0].material, -1);
    EXPECT_EQ(base->meshes[0].triangleCount, 12);
    EXPECT_EQ(base->triangleListCount, 1);
    EXPECT_EQ(base->triangleLists[0].vertexCount, 24);  // hard edges: four corners per side
    EXPECT_EQ(base->frames[0].meshCount, 1);
    EXPECT_EQ(base->frames[0].subtreeMeshCount, 1);
    const float* v = static_cast<const float*>(base->triangleLists[0].vertices);
    EXPECT_EQ(v[3], 1.0f);  // rigid layout: x, y, z, 1, nx, ny, nz, 0
    EXPECT_NEAR(std::fabs(v[4]) + std::fabs(v[5]) + std::fabs(v[6]), 1.0f, 1e-6);
}

TEST_F(ConvertTest, ListsAreSizedByTheRealIndexLimit) {
    struct Case {
        int triangles, lists;
    };
    FreeReadModel(&model);
    for (Case c : {Case{21833, 1}, Case{21834, 2}, Case{65500, 4}}) {
        InitReadModel(&model);
        root = AddReadModelFrame(&model, "root", nullptr);
        ASSERT_NE(AddTriangleSoup(&model, root, c.triangles), nullptr);
        ModelBase* base = Convert();
        ASSERT_NE(base, nullptr);
        EXPECT_EQ(base->triangleListCount, c.lists) << c.triangles;
        int total = 0;
        for (int i = 0; i < base->triangleListCount; ++i) total += base->triangleLists[i].indexCount / 3;
        EXPECT_EQ(total, c.triangles);
        FreeModelBaseRecord(handle);
        FreeReadModel(&model);
    }
    InitReadModel(&model);
}

TEST_F(ConvertTest, SixtySingleBoneFacesFillPlansOf54And6) {
    ReadModelFrame* frames[60];
    for (int i = 0; i < 60; ++i) frames[i] = AddReadModelFrame(&model, "bone", root);
    ReadModelMesh* mesh = AddTriangleSoup(&model, root, 60);
    for (int f = 0; f < 60; ++f)
        AddSkinWeight(&model, mesh, int(frames[59 - f]->index), {{f * 3, 1.0f}, {f * 3 + 1, 1.0f}, {f * 3 + 2, 1.0f}});
    ModelBase* base = Convert();
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(base->triangleListCount, 2);
    EXPECT_EQ(base->triangleLists[0].vertexKind, 1);
    EXPECT_EQ(base->triangleLists[0].boneCount, 54);
    EXPECT_EQ(base->triangleLists[1].boneCount, 6);
    EXPECT_EQ(base->triangleLists[1].bones[6], -1);
    EXPECT_EQ(base->skinBoneCount, 60);
    for (int k = 1; k < base->skinBoneCount; ++k)
        EXPECT_LE(base->skinBones[k - 1].boneFrame, base->skinBones[k].boneFrame);
    // Every vertex of the first list is driven by its face's bone alone.
    const auto* v = static_cast<const unsigned char*>(base->triangleLists[0].vertices);
    float w0;
    std::memcpy(&w0, v, 4);
    EXPECT_EQ(w0, 1.0f);
}

TEST_F(ConvertTest, SkinnedQuadsStayInOnePlanAndKeepTheirWeights) {
    ReadModelFrame* a = AddReadModelFrame(&model, "a", root);
    ReadModelFrame* b = AddReadModelFrame(&model, "b", root);
    ReadModelMesh* grid = AddQuadGrid(&model, root, 4);
    std::vector<std::pair<int, float>> wa, wb;
    for (int p = 0; p < grid->positionCount; ++p) {
        float t = float(p % 5) / 4.0f;
        if (t > 0) wa.push_back({p, t});
        if (t < 1) wb.push_back({p, 1 - t});
    }
    AddSkinWeight(&model, grid, int(a->index), wa);
    AddSkinWeight(&model, grid, int(b->index), wb);
    ModelBase* base = Convert();
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(CountKind(base, 1), 1);
    EXPECT_EQ(base->frames[0].maxWeightsPerVertex, 2);
    EXPECT_EQ(base->meshes[0].triangleCount, 32);
}

TEST_F(ConvertTest, ManyBonesPerVertexMakeFreeSizeLists) {
    ReadModelMesh* mesh = AddTriangleSoup(&model, root, 2);
    for (int b = 0; b < 10; ++b) {
        ReadModelFrame* bone = AddReadModelFrame(&model, "bone", root);
        AddSkinWeight(&model, mesh, int(bone->index), {{0, 0.1f}, {1, 0.1f}, {2, 0.1f}});
    }
    ReadModelFrame* other = AddReadModelFrame(&model, "other", root);
    AddSkinWeight(&model, mesh, int(other->index), {{3, 1.0f}, {4, 1.0f}, {5, 1.0f}});
    ModelBase* base = Convert();
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(CountKind(base, 3), 1);
    EXPECT_EQ(CountKind(base, 1), 1);
    for (int i = 0; i < base->triangleListCount; ++i) {
        const ModelBaseTriangleList& l = base->triangleLists[i];
        if (l.vertexKind != 3) continue;
        EXPECT_EQ(l.maxWeights, 10);
        EXPECT_EQ(l.vertexStride, 32 + 8 * 10);
    }
}

TEST_F(ConvertTest, TooManyPlansOrUnknownBonesRefuseTheModelCleanly) {
    ReadModelMesh* mesh = AddTriangleSoup(&model, root, 4000);
    std::vector<std::vector<std::pair<int, float>>> pairs(4096);
    uint32_t seed = 7;
    auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    for (int f = 0; f < 4000; ++f) {
        int bones[4];
        for (int& b : bones) b = int(next() % 4096);
        pairs[size_t(bones[0])].push_back({f * 3, 0.5f});
        pairs[size_t(bones[1])].push_back({f * 3, 0.5f});
        pairs[size_t(bones[2])].push_back({f * 3 + 1, 1.0f});
        pairs[size_t(bones[3])].push_back({f * 3 + 2, 1.0f});
    }
    for (int b = 0; b < 4096; ++b) AddSkinWeight(&model, mesh, 0, pairs[size_t(b)]);
    EXPECT_EQ(ConvertReadModelToModelBase(&model, nullptr, nullptr), -1);
    EXPECT_EQ(GetModelBaseCount(), 0);

    // A conversion uses up its read model's faces: each case gets a new one.
    auto oneTriangle = [&](int boneFrame) {
        FreeReadModel(&model);
        InitReadModel(&model);
        root = AddReadModelFrame(&model, "root", nullptr);
        ReadModelMesh* m = AddTriangleSoup(&model, root, 1);
        AddSkinWeight(&model, m, boneFrame, {{0, 1.0f}});
        return m;
    };
    oneTriangle(-1);
    EXPECT_EQ(ConvertReadModelToModelBase(&model, nullptr, nullptr), -1);
    EXPECT_EQ(GetModelBaseCount(), 0);

    oneTriangle(0)->skinWeightCount = 5000;  // more than a mesh can hold
    EXPECT_EQ(ConvertReadModelToModelBase(&model, nullptr, nullptr), -1);
    ReadFacePositions(oneTriangle(0), 0)[1] = 99;  // out of range
    EXPECT_EQ(ConvertReadModelToModelBase(&model, nullptr, nullptr), -1);
}

TEST_F(ConvertTest, FrameTransformsDecomposeIntoOrderAnglesAndScale) {
    ReadModelFrame* plain = AddReadModelFrame(&model, "plain", root);
    plain->translation = Vector3{1, 2, 3};
    plain->rotation[1] = 0.5f;
    plain->rotationOrder = 4;
    ReadModelFrame* turned = AddReadModelFrame(&model, "turned", root);
    BuildEulerXYZMatrix(&turned->transform, 0.3f, -0.4f, 0.5f);
    turned->transform.m[3][0] = 7;
    ReadModelFrame* scaled = AddReadModelFrame(&model, "scaled", root);
    BuildEulerXYZMatrix(&scaled->transform, 0.3f, -0.4f, 0.5f);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) scaled->transform.m[r][c] *= 2.0f;
    ReadModelFrame* locked = AddReadModelFrame(&model, "locked", root);
    BuildEulerXYZMatrix(&locked->transform, 0.7f, 1.5707964f, 0.2f);  // gimbal lock for X-Y-Z
    ModelBase* base = Convert();
    ASSERT_NE(base, nullptr);
    const ModelBaseFrame& p = base->frames[plain->index];
    EXPECT_EQ(p.rotationOrder, 4);
    EXPECT_EQ(p.rotation.y, 0.5f);
    EXPECT_EQ(p.translation.z, 3.0f);
    const ModelBaseFrame& t = base->frames[turned->index];
    EXPECT_EQ(t.rotationOrder, 0);
    EXPECT_NEAR(t.rotation.x, 0.3f, 1e-5);
    EXPECT_NEAR(t.rotation.z, 0.5f, 1e-5);
    EXPECT_EQ(t.translation.x, 7.0f);
    EXPECT_EQ(t.scale.x, 1.0f);
    const ModelBaseFrame& s = base->frames[scaled->index];
    EXPECT_NEAR(s.scale.y, 2.0f, 1e-5);
    EXPECT_NEAR(s.rotation.y, -0.4f, 1e-5);
    const ModelBaseFrame& l = base->frames[locked->index];
    Matrix44 rebuilt;
    const float r[3] = {l.rotation.x, l.rotation.y, l.rotation.z}, one[3] = {1, 1, 1}, zero[3] = {0, 0, 0};
    BuildFrameMatrixFromOrder(r, one, zero, nullptr, &rebuilt, l.rotationOrder);
    EXPECT_EQ(CompareMatrixRotationParts(&rebuilt, &locked->transform, 1e-4f), 1) << l.rotationOrder;
    // World matrices follow the tree.
    EXPECT_NEAR(base->frames[turned->index].worldMatrix.m[3], 7.0f, 1e-6);
    EXPECT_EQ(base->frames[root->index].matrixKind, 0);
    EXPECT_EQ(p.matrixKind, 2);
}

TEST_F(ConvertTest, ShapesColoursAndReversedWinding) {
    model.reverseWinding = 1;
    model.meshAlphaFlag = 1;
    ReadModelMesh* mesh = AddTriangleSoup(&model, root, 2);
    mesh->materials[0]->diffuse[3] = 0.5f;
    ReadModelShape* shape = AddReadModelShape(&model, "smile", root);
    shape->mesh = mesh;
    shape->vertexCount = 1;
    shape->vertices = AllocReadModelArray<ReadModelShapeVertex>(&model, 1);
    shape->vertices[0] = {4, Vector3{0, 0, 1}, Vector3{0, 1, 0}};
    ModelBase* base = Convert();
    ASSERT_NE(base, nullptr);
    const ModelBaseMesh& m = base->meshes[0];
    EXPECT_EQ(m.translucent, 1);
    EXPECT_EQ(m.cullMode, 0);  // a translucent material draws both sides
    EXPECT_EQ(m.vertexSpecular, 0);
    EXPECT_EQ(m.vertices[0].diffuse[3], 127);
    EXPECT_EQ(m.needsInstanceVertices, 1);
    ASSERT_EQ(base->shapeTargetCount, 1);
    EXPECT_EQ(base->shapeTargets[0].vertexCount, 1);
    EXPECT_EQ(base->shapeTargets[0].vertices[0].normal.x, 0.0f);  // no normals given
    EXPECT_EQ(base->frames[0].shapeTargetCount, 1);
    EXPECT_EQ(base->frames[0].shapeCount, 1);
    EXPECT_EQ(base->shapeTargets[0].shape, 0);
    const ModelBaseTriangleList& l = base->triangleLists[0];
    // Second and third corners exchanged: face 0 is 0, 2, 1.
    EXPECT_EQ(m.vertices[l.meshVertices[l.indices[1]]].position, 2);
    EXPECT_EQ(base->instanceVertexCounts[0], uint32_t(l.vertexCount));
}

TEST_F(ConvertTest, TexturesLoadThroughTheGraphicsServices) {
    FakeFiles files;
    FakeGraphics gfx;
    files.Add("C:/game/model/wood.png", FakeGraphics::RawImage(4, 4, 0xFF000000));
    ReadModelMesh* mesh = AddTriangleSoup(&model, root, 1);
    ReadModelTexture* t = AddReadModelTexture(&model, "wood", "wood.png", nullptr, 0, 0, 1, 0, 0);
    mesh->materials[0]->layers[0].count = 1;
    mesh->materials[0]->layers[0].textures[0] = t;
    handle = ConvertReadModelToModelBase(&model, "C:/game/model", nullptr);
    ASSERT_NE(handle, -1);
    ModelBase* base = GetModelBase(handle);
    ASSERT_EQ(base->textureCount, 1);
    EXPECT_EQ(base->textures[0].width, 4);
    EXPECT_EQ(base->materials[0].layers[0].count, 1);
    EXPECT_EQ(base->materials[0].layers[0].textures[0], 0);
    EXPECT_EQ(gfx.graphs.size(), 1u);
    EXPECT_EQ(FreeModelBaseRecord(handle), 0);
    EXPECT_TRUE(gfx.graphs.empty());
    gfx.failGraphs = true;
    EXPECT_EQ(ConvertReadModelToModelBase(&model, "C:/game/model", nullptr), -1);
    EXPECT_EQ(GetModelBaseCount(), 0);
}

ReadModel* BuildSweepModel(ReadModel* m) {
    InitReadModel(m);
    ReadModelFrame* r = AddReadModelFrame(m, "root", nullptr);
    ReadModelFrame* bone = AddReadModelFrame(m, "bone", r);
    ReadModelMesh* grid = AddQuadGrid(m, r, 3);
    std::vector<std::pair<int, float>> all;
    for (int p = 0; p < grid->positionCount; ++p) all.push_back({p, 1.0f});
    AddSkinWeight(m, grid, int(bone->index), all);
    ReadModelMaterial* material = AddReadModelMaterial(m, "m");
    grid->materials[0] = material;
    grid->materialCount = 1;
    material->layers[0].count = 1;
    material->layers[0].textures[0] = AddReadModelTexture(m, "wood", "wood.png", nullptr, 0, 0, 0, 0, 0);
    ReadModelShape* shape = AddReadModelShape(m, "bulge", r);
    shape->mesh = grid;
    shape->vertexCount = 1;
    shape->vertices = AllocReadModelArray<ReadModelShapeVertex>(m, 1);
    ReadModelAnim* anim = AddReadModelAnim(m, AddReadModelAnimSet(m, "walk"));
    ReadModelAnimKeySet* ks = AddReadModelAnimKeySet(m, anim);
    ks->valueType = READ_KEY_MATRIX4X3;
    ks->keyKind = READ_KIND_MATRIX;
    ks->keyCount = 3;
    ks->times = AllocReadModelArray<float>(m, 3);
    ks->values = AllocReadModelArray<float>(m, 36);
    for (int k = 0; k < 3; ++k) {
        ks->times[k] = float(k);
        float* v = ks->values + k * 12;
        v[0] = v[4] = v[8] = 1.0f + float(k);
        v[9] = float(k * k);
    }
    return m;
}

// Fails the N-th model allocation for every N a conversion makes: each
// run either fails with -1 or (where a step may go without its memory)
// gives valid base data, and no block is left behind either way.
TEST_F(ConvertTest, AllocationFailureSweep) {
    FakeFiles files;
    FakeGraphics gfx;
    files.Add("wood.png", FakeGraphics::RawImage(4, 4, 0xFF000000));
    ClearModelBaseSlot(ReserveModelBaseHandle());  // the table's own block stays
    ReadModel m;
    SetModelAllocFailureAt(0);
    BuildSweepModel(&m);
    SetModelAllocFailureAt(0);
    int clean = ConvertReadModelToModelBase(&m, nullptr, nullptr);
    uint64_t allocations = SetModelAllocFailureAt(0);
    ASSERT_NE(clean, -1);
    FreeModelBaseRecord(clean);
    FreeReadModel(&m);
    ASSERT_GT(allocations, 20u);
    int failures = 0;
    for (uint64_t n = 1; n <= allocations; ++n) {
        size_t live = GetMemoryTotals().liveBlocks;
        BuildSweepModel(&m);
        SetModelAllocFailureAt(n);
        int h = ConvertReadModelToModelBase(&m, nullptr, nullptr);
        SetModelAllocFailureAt(0);
        FreeReadModel(&m);
        if (h == -1) {
            ++failures;
            EXPECT_EQ(GetModelBaseCount(), 0) << n;
        } else {
            EXPECT_EQ(ValidateModelBase(GetModelBase(h)), 0) << n;
            FreeModelBaseRecord(h);
        }
        EXPECT_EQ(GetMemoryTotals().liveBlocks, live) << "leak when allocation " << n << " failed";
        EXPECT_TRUE(gfx.graphs.empty()) << n;
        EXPECT_EQ(gfx.liveImages, 0) << n;
    }
    EXPECT_GT(failures, int(allocations) / 2);
}

// A grid that spills into a second list shares positions across the split:
// each list must hold every vertex it uses exactly once, whatever the
// previous list held.
TEST_F(ConvertTest, SharedVerticesAreJoinedWithinEachListOfALongGrid) {
    ASSERT_NE(AddQuadGrid(&model, root, 110), nullptr);  // 24200 triangles: two lists
    ModelBase* base = Convert();
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(base->triangleListCount, 2);
    const ModelBaseMesh& mesh = base->meshes[0];
    for (int l = 0; l < base->triangleListCount; ++l) {
        const ModelBaseTriangleList& list = base->triangleLists[l];
        std::set<std::string> distinct;
        for (int v = 0; v < list.vertexCount; ++v) {
            const ModelBaseMeshVertex& mv = mesh.vertices[list.meshVertices[v]];
            distinct.insert(std::string(reinterpret_cast<const char*>(&mv), sizeof(mv)));
        }
        EXPECT_EQ(int(distinct.size()), list.vertexCount) << "list " << l;
        std::vector<bool> used(size_t(list.vertexCount), false);
        for (int i = 0; i < list.indexCount; ++i) {
            ASSERT_LT(list.indices[i], list.vertexCount);
            used[list.indices[i]] = true;
        }
        EXPECT_EQ(std::count(used.begin(), used.end(), true), list.vertexCount) << "list " << l;
        EXPECT_LT(list.vertexCount, list.indexCount) << "shared corners are joined";
    }
}

}  // namespace
