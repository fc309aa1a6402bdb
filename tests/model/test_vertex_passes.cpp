// Normal recalculation and vertex optimisation of base frames, and the
// base-level entries over them.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "engine/model.h"
#include "model/convert/convert.h"
#include "model/convert/vertex_passes.h"
#include "model_load_support.h"
#include "mv1_test_support.h"

using namespace morpotta;

namespace {

class VertexPassTest : public Mv1Test {
protected:
    // Converted base data of one frame holding the given triangles.
    ModelBase* Build(const std::vector<Vector3>& positions, const std::vector<std::vector<int>>& triangles) {
        ReadModel model;
        InitReadModel(&model);
        AddTestMesh(&model, AddReadModelFrame(&model, "root", nullptr), positions, triangles);
        int handle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
        FreeReadModel(&model);
        return handle < 0 ? nullptr : GetModelBase(handle);
    }
    ModelBase* Cube() {
        ReadModel model;
        InitReadModel(&model);
        AddTestCube(&model, AddReadModelFrame(&model, "root", nullptr));
        int handle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
        FreeReadModel(&model);
        return handle < 0 ? nullptr : GetModelBase(handle);
    }
    static void ExpectValid(const ModelBase* base) {
        char why[256] = {};
        EXPECT_EQ(ValidateModelBase(base, why, sizeof(why)), 0) << why;
    }
    // Normal numbers met at a position, over every corner of every list.
    static std::set<int> NormalsAt(const ModelBaseFrame& f, int position) {
        std::set<int> normals;
        const ModelBaseMesh& mesh = f.firstMesh[0];
        for (int l = 0; l < mesh.triangleListCount; ++l) {
            const ModelBaseTriangleList& list = mesh.firstTriangleList[l];
            for (int i = 0; i < list.indexCount; ++i) {
                const ModelBaseMeshVertex& v = mesh.vertices[list.meshVertices[list.indices[i]]];
                if (v.position == position) normals.insert(v.normal);
            }
        }
        return normals;
    }
    // Every triangle's three corner positions, in list order.
    static std::vector<float> Corners(const ModelBaseFrame& f) {
        std::vector<float> out;
        for (int m = 0; m < f.meshCount; ++m)
            for (int l = 0; l < f.firstMesh[m].triangleListCount; ++l) {
                const ModelBaseTriangleList& list = f.firstMesh[m].firstTriangleList[l];
                for (int i = 0; i < list.indexCount; ++i) {
                    const Vector3& p = f.positions[f.firstMesh[m].vertices[list.meshVertices[list.indices[i]]].position].position;
                    out.insert(out.end(), {p.x, p.y, p.z});
                }
            }
        return out;
    }
};

TEST_F(VertexPassTest, CubeNormalsByAngle) {
    ModelBase* base = Cube();
    ASSERT_NE(base, nullptr);
    ModelBaseFrame& f = base->frames[0];
    // At 0 and at the default, the 90 degree edges stay hard: every corner
    // keeps its face's axis normal.
    for (float angle : {0.0f, kModelDefaultAngle}) {
        ASSERT_EQ(RecalculateFrameNormals(&f, angle), 1);
        ExpectValid(base);
        EXPECT_EQ(f.smoothingAngle, angle);
        EXPECT_EQ(f.normalCount, 24) << angle;
        EXPECT_EQ(f.firstMesh[0].vertexCount, 24);
        for (int n = 0; n < f.normalCount; ++n) {
            const Vector3& v = f.normals[n].normal;
            EXPECT_EQ(std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z), 1.0f);
        }
    }
    // Beyond 90 degrees every corner is smooth: one normal per position,
    // leaning out along the position.
    ASSERT_EQ(RecalculateFrameNormals(&f, 1.6f), 1);
    ExpectValid(base);
    EXPECT_EQ(f.normalCount, 8);
    EXPECT_EQ(f.firstMesh[0].vertexCount, 8);
    for (int v = 0; v < f.firstMesh[0].vertexCount; ++v) {
        const ModelBaseMeshVertex& mv = f.firstMesh[0].vertices[v];
        const Vector3& p = f.positions[mv.position].position;
        const Vector3& n = f.normals[mv.normal].normal;
        EXPECT_GT(p.x * n.x, 0.0f);
        EXPECT_GT(p.y * n.y, 0.0f);
        EXPECT_GT(p.z * n.z, 0.0f);
    }
    EXPECT_EQ(RecalculateFrameNormals(&f, 0.0f), 1);  // and back to hard edges
    EXPECT_EQ(f.normalCount, 24);
}

TEST_F(VertexPassTest, AFanOfMoreThan1024CoplanarTrianglesSharesOneNormal) {
    const int rim = 1500;
    std::vector<Vector3> p = {{0, 0, 0}};
    std::vector<std::vector<int>> tris;
    for (int i = 0; i < rim; ++i) {
        float a = 6.2831853f * float(i) / float(rim);
        p.push_back({100.0f * std::cos(a), 100.0f * std::sin(a), 0});
        tris.push_back({0, 1 + i, 1 + (i + 1) % rim});
    }
    ModelBase* base = Build(p, tris);
    ASSERT_NE(base, nullptr);
    ModelBaseFrame& f = base->frames[0];
    ASSERT_EQ(RecalculateFrameNormals(&f, 0.0f), 1);  // exactly coplanar: joined even at 0
    ExpectValid(base);
    EXPECT_EQ(NormalsAt(f, 0).size(), 1u);
    EXPECT_EQ(f.normalCount, rim + 1);
    EXPECT_EQ(f.firstMesh[0].vertexCount, rim + 1);
    const Vector3& n = f.normals[*NormalsAt(f, 0).begin()].normal;
    EXPECT_TRUE(n.x == 0 && n.y == 0 && n.z == 1);
}

TEST_F(VertexPassTest, NeighboursShareWithinTheAngleAndNeverAcrossAFlip) {
    // Two triangles over the edge 1-2, folded by 30 degrees.
    const float s = std::sin(0.5236f), c = std::cos(0.5236f);
    const std::vector<Vector3> p = {{-1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {c, 0, s}};
    for (float angle : {0.7f, 0.4f}) {
        ModelBase* base = Build(p, {{0, 1, 2}, {2, 1, 3}});
        ASSERT_NE(base, nullptr);
        ASSERT_EQ(RecalculateFrameNormals(&base->frames[0], angle), 1);
        EXPECT_EQ(NormalsAt(base->frames[0], 1).size(), angle > 0.5236f ? 1u : 2u) << angle;
        EXPECT_EQ(NormalsAt(base->frames[0], 2).size(), angle > 0.5236f ? 1u : 2u) << angle;
        ReleaseBase(base);
    }
    // The second triangle wound the other way: apart at any angle.
    ModelBase* flipped = Build(p, {{0, 1, 2}, {1, 2, 3}});
    ASSERT_NE(flipped, nullptr);
    ASSERT_EQ(RecalculateFrameNormals(&flipped->frames[0], 3.1f), 1);
    EXPECT_EQ(NormalsAt(flipped->frames[0], 1).size(), 2u);
    EXPECT_EQ(NormalsAt(flipped->frames[0], 2).size(), 2u);
}

TEST_F(VertexPassTest, AClosedFanIsTakenByTheFirstWalk) {
    std::vector<Vector3> p = {{0, 0, 0.2f}};
    std::vector<std::vector<int>> tris;
    for (int i = 0; i < 6; ++i) {
        float a = 1.0471976f * float(i);
        p.push_back({std::cos(a), std::sin(a), 0});
        tris.push_back({0, 1 + i, 1 + (i + 1) % 6});
    }
    ModelBase* base = Build(p, tris);
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(RecalculateFrameNormals(&base->frames[0], 0.5f), 1);
    ASSERT_EQ(NormalsAt(base->frames[0], 0).size(), 1u);
    const Vector3& n = base->frames[0].normals[*NormalsAt(base->frames[0], 0).begin()].normal;
    EXPECT_NEAR(n.z, 1.0f, 1e-6f);
    EXPECT_NEAR(n.x, 0.0f, 1e-6f);
}

TEST_F(VertexPassTest, ShapesListsAndSkinningFollowTheRecalculation) {
    ModelBase* base = BuildRich();
    ASSERT_NE(base, nullptr);
    ModelBaseFrame& body = base->frames[1];
    ModelBaseFrame& arm = base->frames[2];
    // The offset each shape gives each position, before.
    std::map<std::pair<int, int>, Vector3> offsets;
    for (int s = 0; s < body.shapeTargetCount; ++s)
        for (int i = 0; i < body.firstShapeTarget[s].vertexCount; ++i) {
            const ModelBaseShapeVertex& v = body.firstShapeTarget[s].vertices[i];
            offsets[{s, body.firstMesh[0].vertices[v.meshVertex].position}] = v.position;
        }
    const std::vector<float> bodyCorners = Corners(body), armCorners = Corners(arm);
    ASSERT_EQ(RecalculateFrameNormals(&body, 1.6f), 1);
    ASSERT_EQ(RecalculateFrameNormals(&arm, 0.0f), 1);
    ExpectValid(base);
    EXPECT_EQ(Corners(body), bodyCorners);
    EXPECT_EQ(Corners(arm), armCorners);
    for (int s = 0; s < body.shapeTargetCount; ++s) {
        const ModelBaseShapeTarget& t = body.firstShapeTarget[s];
        ASSERT_GT(t.vertexCount, 0);
        for (int i = 0; i < t.vertexCount; ++i) {
            int position = body.firstMesh[0].vertices[t.vertices[i].meshVertex].position;
            const auto key = std::make_pair(s, position);
            ASSERT_EQ(offsets.count(key), 1u);
            EXPECT_EQ(t.vertices[i].position.x, offsets[key].x);
            EXPECT_EQ(t.vertices[i].position.z, offsets[key].z);
            EXPECT_EQ(t.vertices[i].normal.y, 0.0f);  // normal offsets do not survive new normals
        }
    }
    // Instances size their vertex copies by these totals.
    EXPECT_EQ(base->instanceVertexCounts[0], uint32_t(body.firstMesh[0].firstTriangleList[0].vertexCount));
}

// Every allocation a pass makes fails in turn: the frame is either left
// exactly as it was, or the pass succeeds.
TEST_F(VertexPassTest, ShortMemoryLeavesTheFrameAsItWas) {
    ModelBase* base = BuildRich();
    ASSERT_NE(base, nullptr);
    SetLogOutput(0);
    for (int frame : {1, 2}) {
        int failures = 0;
        for (uint64_t n = 1;; ++n) {
            const std::string before = ModelBaseDump::Of(base);
            SetModelAllocFailureAt(n);
            int result = RecalculateFrameNormals(&base->frames[frame], 0.3f);
            SetModelAllocFailureAt(0);
            if (result == 1) break;
            ASSERT_EQ(result, -1);
            ASSERT_EQ(ModelBaseDump::Of(base), before) << "allocation " << n;
            ++failures;
        }
        EXPECT_GT(failures, 10);
        SetModelAllocFailureAt(1);
        EXPECT_EQ(OptimizeFrameVertices(&base->frames[frame]), -1);
        SetModelAllocFailureAt(0);
    }
    ExpectValid(base);
    SetLogOutput(1);
}

TEST_F(VertexPassTest, OptimisationMergesEqualPositionsOnce) {
    // Separate triangles whose corners meet: positions repeat.
    ModelBase* base = Build({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {-0.0f, 0, 0}},
                            {{0, 1, 2}, {3, 4, 5}, {6, 1, 2}});
    ASSERT_NE(base, nullptr);
    ModelBaseFrame& f = base->frames[0];
    const std::vector<float> corners = Corners(f);
    ASSERT_EQ(OptimizeFrameVertices(&f), 0);
    ExpectValid(base);
    EXPECT_EQ(f.positionCount, 5);  // -0 stays apart from +0
    EXPECT_EQ(Corners(f), corners);
    const std::string once = ModelBaseDump::Of(base);
    ASSERT_EQ(OptimizeFrameVertices(&f), 0);
    EXPECT_EQ(ModelBaseDump::Of(base), once);
    // Nothing to merge: nothing changes.
    ModelBase* cube = Cube();
    ASSERT_NE(cube, nullptr);
    const std::string dump = ModelBaseDump::Of(cube);
    ASSERT_EQ(OptimizeFrameVertices(&cube->frames[0]), 0);
    EXPECT_EQ(ModelBaseDump::Of(cube), dump);
}

class BaseVertexPassTest : public ModelLoadTest {
protected:
    FakeGraphics graphics_;
};

TEST_F(BaseVertexPassTest, BaseEntriesAndTheLoadSwitches) {
    EXPECT_EQ(RecalculateModelBaseNormals(0x08000000 | 5, 0.5f), -1);
    EXPECT_EQ(OptimizeModelBaseVertices(-1), -1);
    ModelBase* a = BuildMv1RichModel(&files_);
    ASSERT_NE(a, nullptr);
    const std::string file = WriteMv1(a);
    ReleaseBase(a);
    files_.Add("rich.mv1", file);
    int model = LoadModelFile("rich.mv1");
    ASSERT_GE(model, 0) << Log();
    // Its cube has shapes: its model keeps vertex copies the passes would outgrow.
    EXPECT_EQ(RecalculateModelBaseNormals(GetModelBaseHandle(model), 0.5f), -1);
    EXPECT_NE(Log().find("頂点はモデルが複製して使っているため変更できません"), std::string::npos);
    DeleteModel(model);
    // On load: optimised, then smoothed.
    SetModelLoadVertexOptimize(1);
    SetModelLoadNormalRecalc(1);
    model = LoadModelFile("rich.mv1");
    SetModelLoadVertexOptimize(0);
    SetModelLoadNormalRecalc(0);
    ASSERT_GE(model, 0) << Log();
    const ModelBase* base = BaseOf(model);
    char why[256] = {};
    EXPECT_EQ(ValidateModelBase(base, why, sizeof(why)), 0) << why;
    EXPECT_EQ(base->frames[1].smoothingAngle, kModelDefaultAngle);
    // Only the two unweighted triangles meet at a corner of equal weights.
    EXPECT_EQ(base->frames[2].positionCount, 24 - 1);
    DeleteModel(model);
    // A model without shapes takes both passes after it is made.
    MqoDocument doc = MakeQuadDocument();
    int quad = Load(doc);
    ASSERT_GE(quad, 0);
    EXPECT_EQ(OptimizeModelBaseVertices(GetModelBaseHandle(quad)), 0);
    EXPECT_EQ(RecalculateModelBaseNormals(GetModelBaseHandle(quad), 0.0f), 0);
    EXPECT_EQ(ValidateModelBase(BaseOf(quad), why, sizeof(why)), 0) << why;
    float lo[3], hi[3];
    EXPECT_EQ(GetModelBoundingBox(quad, lo, hi), 0);
}

// A load sees the switches as they stood when it began: one changed while
// it converts (on another thread, here from the conversion's own stage
// hook) reaches none of its steps, and the next load takes it.
TEST_F(BaseVertexPassTest, ALoadKeepsTheSwitchesItBeganWith) {
    MqoDocument doc = MakeQuadDocument();
    doc.objects[0].vertices.push_back({0, 0, 0});  // corner 0 again, for the merge
    doc.objects[0].faces[0].corners = {4, 1, 2, 3};
    MqoFaceSpec back;
    back.corners = {0, 3, 2};
    back.material = 0;
    doc.objects[0].faces.push_back(back);
    const auto positions = [](int model) { return BaseOf(model)->frames[0].positionCount; };
    const int plain = Load(doc);
    ASSERT_GE(plain, 0) << Log();
    SetModelConvertStageHook([](int stage) {
        if (stage != MODEL_STAGE_READ) return;
        SetModelLoadVertexOptimize(1);
        SetModelLoadGravity(1, -9.8f);
    });
    const int changedMeanwhile = Load(doc);
    SetModelConvertStageHook(nullptr);
    const int changedBefore = Load(doc);
    SetModelLoadVertexOptimize(0);
    SetModelLoadGravity(0, 0.0f);
    ASSERT_GE(changedMeanwhile, 0) << Log();
    ASSERT_GE(changedBefore, 0) << Log();
    EXPECT_LT(positions(changedBefore), positions(plain));
    EXPECT_EQ(BaseOf(changedBefore)->gravity, -9.8f);
    EXPECT_EQ(positions(changedMeanwhile), positions(plain));
    EXPECT_EQ(BaseOf(changedMeanwhile)->gravity, BaseOf(plain)->gravity);
    for (int model : {plain, changedMeanwhile, changedBefore}) DeleteModel(model);
}

}  // namespace
