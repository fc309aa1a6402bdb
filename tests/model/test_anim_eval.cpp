#include <gtest/gtest.h>

#include <cmath>

#include "model/anim/anim_eval.h"

using namespace morpotta;

namespace {

ModelBaseAnimKeySet MakeTrack(uint8_t valueType, uint8_t kind, float* times, float* values, int keys) {
    ModelBaseAnimKeySet ks{};
    ks.valueType = valueType;
    ks.keyKind = kind;
    ks.explicitTimes = times ? 1 : 0;
    ks.keyCount = keys;
    ks.times = times;
    ks.values = values;
    ks.shapeIndex = -1;
    return ks;
}

struct OneFrame {
    AnimKeyState states[4]{};
    FrameAnimRecord record{};
    AnimEvalContext context{};
    uint8_t matricesValid = 1;
    uint8_t shapesDirty = 0;
    void Attach(int count) {
        record.keyStates = states;
        record.keyStateCount = count;
        context.records = &record;
        context.recordCount = 1;
        context.matricesValid = &matricesValid;
        context.shapesDirty = &shapesDirty;
    }
    void At(float time) {
        context.time = time;
        context.evaluated = 0;
        EvaluateFrameAnimation(&context);
    }
};

TEST(AnimEvalTest, VectorKeysInterpolateAndExtrapolateForwardOnly) {
    float times[2] = {10, 20};
    float values[6] = {0, 0, 0, 10, -20, 5};
    ModelBaseAnimKeySet ks = MakeTrack(1, 10, times, values, 2);
    OneFrame f;
    f.states[0] = {&ks, -1, 0, 0};
    f.Attach(1);
    f.At(12.5f);
    EXPECT_DOUBLE_EQ(f.record.translation[0], 2.5);
    EXPECT_DOUBLE_EQ(f.record.translation[1], -5.0);
    EXPECT_EQ(f.record.flags, uint32_t(FRAME_ANIM_TRANSLATION));
    EXPECT_EQ(f.matricesValid, 0);
    f.At(5.0f);  // before the key: no backward extrapolation
    EXPECT_EQ(f.record.translation[0], 0.0f);
    f.At(30.0f);  // beyond: extrapolates
    EXPECT_FLOAT_EQ(f.record.translation[0], 20.0f);
    f.matricesValid = 1;
    f.context.evaluated = 1;
    EvaluateFrameAnimation(&f.context);  // already evaluated: nothing happens
    EXPECT_EQ(f.matricesValid, 1);
}

TEST(AnimEvalTest, EqualTimesAndZeroStepDoNotDivideByZero) {
    float times[2] = {4, 4};
    float values[2] = {1, 9};
    ModelBaseAnimKeySet ks = MakeTrack(5, 11, times, values, 2);
    int next;
    EXPECT_EQ(ComputeKeyFactor(&ks, 0, 4.0f, &next), 0.0f);
    ModelBaseAnimKeySet even = MakeTrack(5, 11, nullptr, values, 2);
    even.timeStep = 0.0f;
    EXPECT_EQ(ComputeKeyFactor(&even, 0, 100.0f, &next), 0.0f);
    even.timeStep = 2.0f;
    even.startTime = 1.0f;
    EXPECT_FLOAT_EQ(ComputeKeyFactor(&even, 0, 2.0f, &next), 0.5f);
    EXPECT_EQ(next, 1);
    EXPECT_EQ(ComputeKeyFactor(&even, 1, 2.0f, &next), 0.0f);  // the last key holds
    EXPECT_EQ(next, 0);
}

TEST(AnimEvalTest, LargeTurnSwitchesTheWholeAnimationToMatrices) {
    float times[2] = {0, 1};
    float small[6] = {0, 0, 0, 0.5f, 0, 0};
    ModelBaseAnimKeySet ks = MakeTrack(1, 0, times, small, 2);
    OneFrame f;
    f.states[0] = {&ks, -1, 0, 0};
    f.Attach(1);
    f.At(0.5f);
    EXPECT_EQ(f.record.flags, uint32_t(FRAME_ANIM_ANGLES));
    EXPECT_FLOAT_EQ(f.record.rotation[0], 0.25f);
    float large[6] = {0, 0, 0, 0, 2.0f, 0};
    ks.values = large;
    f.At(0.5f);
    EXPECT_EQ(f.record.flags, uint32_t(FRAME_ANIM_MATRIX));
    Matrix34 a, b;
    BuildRotation34XYZ(&a, 0, 0, 0);
    BuildRotation34XYZ(&b, 0, 2.0f, 0);
    for (int i = 0; i < 12; ++i) EXPECT_NEAR(f.record.matrix.m[i], a.m[i] + 0.5f * (b.m[i] - a.m[i]), 1e-6);
}

TEST(AnimEvalTest, QuaternionKeysSlerpAgainstDoubleReference) {
    float times[2] = {0, 2};
    double h = 0.7;
    float values[8] = {0, 0, 0, 1, float(std::sin(h)), 0, 0, float(std::cos(h))};
    ModelBaseAnimKeySet ks = MakeTrack(0, 0, times, values, 2);
    OneFrame f;
    f.states[0] = {&ks, -1, 0, 0};
    f.Attach(1);
    f.At(0.5f);  // t = 0.25
    EXPECT_NEAR(f.record.quaternion[0], std::sin(h * 0.25), 1e-6);
    EXPECT_NEAR(f.record.quaternion[3], std::cos(h * 0.25), 1e-6);
    EXPECT_EQ(f.record.flags, uint32_t(FRAME_ANIM_QUATERNION));
}

TEST(AnimEvalTest, ShapeWeightsMarkChangesAndAdditiveAddsToRest) {
    float times[2] = {0, 1};
    float weights[2] = {0, 1};
    ModelBaseAnimKeySet ks = MakeTrack(5, 18, times, weights, 2);
    ModelShapeState shape[2] = {};
    uint8_t changed = 0;
    FrameAnimTarget target{shape, 2, &changed, nullptr, 0};
    OneFrame f;
    f.states[0] = {&ks, 1, 0, 0};
    f.record.target = &target;
    f.Attach(1);
    f.At(0.5f);
    EXPECT_FLOAT_EQ(shape[1].weight, 0.5f);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(f.shapesDirty, 1);

    ModelBaseFrame rest{};
    rest.translation = Vector3{1, 2, 3};
    rest.scale = Vector3{1, 1, 1};
    rest.quaternion[3] = 1;
    float moves[6] = {0, 0, 0, 4, 0, 0};
    ModelBaseAnimKeySet move = MakeTrack(1, 10, times, moves, 2);
    OneFrame g;
    g.states[0] = {&move, -1, 0, 0};
    g.record.frame = &rest;
    g.context.blendType = 1;
    g.Attach(1);
    g.At(0.5f);
    EXPECT_FLOAT_EQ(g.record.translation[0], 3.0f);
    EXPECT_FLOAT_EQ(g.record.translation[2], 3.0f);
}

TEST(AnimEvalTest, SkinMatricesOfABoneFrame) {
    ModelBase base{};
    ModelBaseSkinBone bones[2]{};
    base.skinBones = bones;
    base.skinBoneCount = 2;
    bones[0].offset = MakeIdentityMatrix();
    bones[0].offset.m[3][0] = -2.0f;
    bones[0].translationOnly = 1;
    BuildEulerXYZMatrix(&bones[1].offset, 0, 0, 0.5f);
    ModelBaseFrame frame{};
    frame.ownSkinBoneCount = 2;
    frame.firstOwnSkinBone = bones;
    Matrix34 world;
    BuildRotation34XYZ(&world, 0, 0.3f, 0);
    world.m[3] = 10.0f;
    Matrix34 skin[2];
    UpdateFrameSkinMatrices(&frame, &world, &base, skin);
    Vector3 p{2, 0, 0}, out, expect;
    TransformPointBy34(&skin[0], &out, &p);
    Vector3 origin{0, 0, 0};
    TransformPointBy34(&world, &expect, &origin);
    EXPECT_NEAR(out.x, expect.x, 1e-5);  // the offset moves the point back to the bone
    Matrix34 offset, product;
    ConvertMatrix44To34(&offset, &bones[1].offset);
    MultiplyMatrix34(&world, &product, &offset);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(skin[1].m[i], product.m[i]);
}

}  // namespace
