// Culling by shared outcodes (points behind the eye included), the
// outline's minimum width and the fixed-function stage tables.
#include <gtest/gtest.h>

#include <cstring>

#include "model/draw/model_cull.h"
#include "model/draw/model_draw_stages.h"

using namespace morpotta;

namespace {

// A simple perspective into 640x480 pixels: x, y in [-w, w] map across the
// screen; depth 0 at z = 1 and 1 at z = 100.
void Perspective(float m[16]) {
    std::memset(m, 0, sizeof(float) * 16);
    m[0] = 320;   // x' = 320 x + 320 w
    m[5] = -240;  // y down
    m[8] = 320;
    m[9] = 240;
    m[10] = 100.0f / 99.0f;  // near 1, far 100
    m[14] = -100.0f / 99.0f;
    m[11] = 1;  // w = z
}

void Box(float corners[8][3], float x0, float y0, float z0, float x1, float y1, float z1) {
    for (int i = 0; i < 8; ++i) {
        corners[i][0] = i & 1 ? x1 : x0;
        corners[i][1] = i & 2 ? y1 : y0;
        corners[i][2] = i & 4 ? z1 : z0;
    }
}

TEST(ModelCulling, SharedOutcodeCullsAndAnyCornerInsideDraws) {
    float m[16], c[8][3];
    const float area[4] = {0, 0, 640, 480};
    Perspective(m);
    Box(c, -1, -1, 10, 1, 1, 12);
    EXPECT_EQ(IsBoxOutsideViewOf(c, m, area), 0);
    Box(c, 30, -1, 10, 40, 1, 12);  // wholly to the right
    EXPECT_EQ(IsBoxOutsideViewOf(c, m, area), 1);
    Box(c, -1, 30, 10, 1, 40, 12);  // wholly above
    EXPECT_EQ(IsBoxOutsideViewOf(c, m, area), 1);
    Box(c, -1, -1, 200, 1, 1, 300);  // beyond the far plane
    EXPECT_EQ(IsBoxOutsideViewOf(c, m, area), 1);
    // Straddles left and right with no corner inside: drawn.
    Box(c, -40, 5, 10, 40, 6, 12);
    EXPECT_EQ(IsBoxOutsideViewOf(c, m, area), 0);
}

TEST(ModelCulling, PointsBehindTheEyeAreNegatedNotWrapped) {
    float m[16], s[3];
    Perspective(m);
    const float behind[3] = {1, 0, -10};
    EXPECT_LT(ProjectToScreen(m, behind, s), 0.0f);
    EXPECT_LT(s[2], 0.0f);  // near side
    EXPECT_NE(ComputeOutcode(s, GetModelDrawView()->area) & MODEL_OUT_NEAR, 0);
    float c[8][3];
    const float area[4] = {0, 0, 640, 480};
    Box(c, -1, -1, -12, 1, 1, -10);
    EXPECT_EQ(IsBoxOutsideViewOf(c, m, area), 1);
}

TEST(ModelCulling, OutlineWidthKeepsItsScreenMinimum) {
    EXPECT_FLOAT_EQ(ScaleOutlineWidth(3.0f, 2.0f, 6.0f), 3.0f);
    EXPECT_FLOAT_EQ(ScaleOutlineWidth(3.0f, 2.0f, 1.0f), 6.0f);
    EXPECT_FLOAT_EQ(ScaleOutlineWidth(3.0f, 0.0f, 0.5f), 3.0f * 1.125f / 0.5f);
    EXPECT_FLOAT_EQ(ScaleOutlineWidth(3.0f, 2.0f, 0.0f), 3.0e7f);
    EXPECT_FLOAT_EQ(ScaleOutlineWidth(0.0f, 2.0f, 0.0f), 0.0f);
}

TEST(ModelDrawStages, FactorColourFromOpacityAndParameterNeverWraps) {
    EXPECT_EQ(ComputeBlendFactorColor(0.5f, 255), 0x7FFFFFFFu);
    EXPECT_EQ(ComputeBlendFactorColor(1.0f, 255), 0xFFFFFFFFu);
    EXPECT_EQ(ComputeBlendFactorColor(1.5f, 255), 0xFFFFFFFFu);
    EXPECT_EQ(ComputeBlendFactorColor(-1.0f, 255), 0x00FFFFFFu);
    EXPECT_EQ(ComputeBlendFactorColor(1.0f, 400), 0xFFFFFFFFu);
}

TEST(ModelDrawStages, BlendHeadByMode) {
    DeviceDrawStateBlock b = {};
    b.sourceBlend = 77;
    FillDrawBlendHead(&b, 0, 255, 1.0f, 1);
    EXPECT_EQ(b.blendEnable, 0);
    EXPECT_EQ(b.sourceBlend, 77);
    FillDrawBlendHead(&b, 1, 255, 1.0f, 1);
    EXPECT_EQ(b.sourceBlend, DEVICE_BLEND_SRCALPHA);
    EXPECT_EQ(b.destinationBlend, DEVICE_BLEND_INVSRCALPHA);
    FillDrawBlendHead(&b, 2, 255, 1.0f, 1);
    EXPECT_EQ(b.destinationBlend, DEVICE_BLEND_ONE);
    FillDrawBlendHead(&b, 11, 255, 1.0f, 1);
    EXPECT_EQ(b.sourceBlend, DEVICE_BLEND_ZERO);
    EXPECT_EQ(b.destinationBlend, DEVICE_BLEND_SRCCOLOR);
}

struct StageRow {
    int graph;
    uint16_t colorOp, colorArg1, colorArg2, alphaOp;
};

void ExpectStages(const DeviceDrawStateBlock& b, std::initializer_list<StageRow> rows) {
    ASSERT_EQ(b.stageCount, int(rows.size()));
    int i = 0;
    for (const StageRow& r : rows) {
        SCOPED_TRACE(i);
        EXPECT_EQ(b.stages[i].graph, r.graph);
        EXPECT_EQ(b.stages[i].colorOp, r.colorOp);
        EXPECT_EQ(b.stages[i].colorArg1, r.colorArg1);
        EXPECT_EQ(b.stages[i].colorArg2, r.colorArg2);
        EXPECT_EQ(b.stages[i].alphaOp, r.alphaOp);
        ++i;
    }
}

TEST(ModelDrawStages, TablesForDrawingTypesZeroOneAndTwo) {
    DeviceDrawStateBlock b = {};
    FillDrawBlendHead(&b, 1, 255, 1.0f, 1);
    ModelFixedStageInputs in = {0, 0, 0, 1, 10, 11, 12, 0};
    FillFixedMeshStages(&b, &in);
    ExpectStages(b, {{10, DEVICE_TOP_MODULATE, DEVICE_TA_TEXTURE, DEVICE_TA_DIFFUSE, DEVICE_TOP_MODULATE},
                     {-1, DEVICE_TOP_DISABLE, DEVICE_TA_CURRENT, DEVICE_TA_CURRENT, DEVICE_TOP_DISABLE}});

    in.drawType = 1;  // banded toon, second ramp blended, no temporary register
    FillFixedMeshStages(&b, &in);
    ExpectStages(b, {{10, DEVICE_TOP_MODULATE, DEVICE_TA_TEXTURE, DEVICE_TA_DIFFUSE, DEVICE_TOP_MODULATE},
                     {11, DEVICE_TOP_BLENDTEXTUREALPHA, DEVICE_TA_TEXTURE, DEVICE_TA_CURRENT, DEVICE_TOP_SELECTARG1},
                     {12, DEVICE_TOP_BLENDTEXTUREALPHA, DEVICE_TA_TEXTURE, DEVICE_TA_CURRENT, DEVICE_TOP_SELECTARG1},
                     {-1, DEVICE_TOP_DISABLE, DEVICE_TA_CURRENT, DEVICE_TA_CURRENT, DEVICE_TOP_DISABLE}});
    EXPECT_EQ(b.stages[1].texCoordIndex, 1);
    EXPECT_EQ(b.stages[2].texCoordIndex, 2);

    in.hasTempRegister = 1;
    in.secondToonMode = 1;
    in.toonMode = 2;
    FillFixedMeshStages(&b, &in);
    ExpectStages(b, {{10, DEVICE_TOP_MODULATE, DEVICE_TA_TEXTURE, DEVICE_TA_DIFFUSE, DEVICE_TOP_MODULATE},
                     {11, DEVICE_TOP_MODULATE, DEVICE_TA_TEXTURE, DEVICE_TA_CURRENT, DEVICE_TOP_SELECTARG1},
                     {12, DEVICE_TOP_MODULATE, DEVICE_TA_TEXTURE, DEVICE_TA_SPECULAR, DEVICE_TOP_SELECTARG1},
                     {-1, DEVICE_TOP_ADD, DEVICE_TA_TEMP, DEVICE_TA_CURRENT, DEVICE_TOP_SELECTARG1},
                     {-1, DEVICE_TOP_DISABLE, DEVICE_TA_CURRENT, DEVICE_TA_CURRENT, DEVICE_TOP_DISABLE}});
    EXPECT_EQ(b.stages[1].resultToTemp, 1);

    in.drawType = 2;
    FillDrawBlendHead(&b, 1, 255, 0.5f, 1);  // translucent: the factor stage joins
    FillFixedMeshStages(&b, &in);
    ExpectStages(b, {{10, DEVICE_TOP_MODULATE, DEVICE_TA_TEXTURE, DEVICE_TA_DIFFUSE, DEVICE_TOP_MODULATE},
                     {11, DEVICE_TOP_MODULATE, DEVICE_TA_TEXTURE, DEVICE_TA_CURRENT, DEVICE_TOP_SELECTARG1},
                     {-1, DEVICE_TOP_ADD, DEVICE_TA_SPECULAR, DEVICE_TA_CURRENT, DEVICE_TOP_SELECTARG1},
                     {-1, DEVICE_TOP_SELECTARG1, DEVICE_TA_CURRENT, DEVICE_TA_CURRENT, DEVICE_TOP_MODULATE},
                     {-1, DEVICE_TOP_DISABLE, DEVICE_TA_CURRENT, DEVICE_TA_CURRENT, DEVICE_TOP_DISABLE}});
    EXPECT_EQ(b.stages[1].resultToTemp, 0);  // the temporary register is type 1's alone
    EXPECT_EQ(b.stages[3].alphaArg2, DEVICE_TA_TFACTOR);
}

TEST(ModelDrawStages, OutlineStagesWithAndWithoutOpacity) {
    DeviceDrawStateBlock b = {};
    FillDrawBlendHead(&b, 1, 255, 1.0f, 1);
    FillFixedOutlineStages(&b, 5, 1);
    EXPECT_EQ(b.stageCount, 2);
    FillDrawBlendHead(&b, 11, 255, 0.25f, 1);
    FillFixedOutlineStages(&b, 5, 11);
    ASSERT_EQ(b.stageCount, 3);
    EXPECT_EQ(b.stages[1].colorOp, DEVICE_TOP_BLENDFACTORALPHA);
}

}  // namespace
