// PMD bone poses: quaternion and Euler conversions, the motion curves, the
// pose of a sampled bone and the CCD IK solver with its knee rules.
#include <cmath>
#include <numbers>
#include <cstring>
#include <array>
#include <random>

#include "pmd_test_support.h"

namespace {


Vector3 WorldOf(const PmdBone& bone) { return Vector3{bone.world.m[3][0], bone.world.m[3][1], bone.world.m[3][2]}; }

float Distance(const Vector3& a, const Vector3& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

bool Finite(const PmdBone& bone) {
    for (float v : bone.rotation)
        if (!std::isfinite(v)) return false;
    return true;
}

TEST(PmdPose, QuaternionsTurnAsTheirEulerAnglesAndBack) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> angle(-1.5f, 1.5f);
    for (int i = 0; i < 200; ++i) {
        const float x = angle(random), y = angle(random), z = angle(random);
        float q[4], back[3];
        CreateQuaternionFromEuler(q, x, y, z);
        // X turns first, then Y, then Z, as the engine's XYZ builder.
        Matrix44 fromQ, fromEuler;
        BuildMatrixFromQuaternion(&fromQ, q);
        BuildEulerXYZMatrix(&fromEuler, x, y, z);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) ASSERT_NEAR(fromQ.m[r][c], fromEuler.m[r][c], 2e-6f) << i;
        GetEulerFromQuaternion(back, q);
        EXPECT_NEAR(back[0], x, 2e-4f) << i;
        EXPECT_NEAR(back[1], y, 2e-4f) << i;
        EXPECT_NEAR(back[2], z, 2e-4f) << i;
    }
    // At gimbal lock (Y a quarter turn) Z folds into X.
    const float h = std::sqrt(0.5f);
    const float quarter[4] = {0, h, 0, h};
    float angles[3];
    GetEulerFromQuaternion(angles, quarter);
    EXPECT_NEAR(angles[1], std::numbers::pi_v<float> / 2, 1e-3f);
    EXPECT_EQ(angles[2], 0.0f);
    EXPECT_NEAR(angles[0], 0.0f, 1e-6f);
    float again[4];
    CreateQuaternionFromEuler(again, angles[0], angles[1], angles[2]);
    EXPECT_NEAR(quarter[1] * again[1] + quarter[3] * again[3], 1.0f, 1e-6f);
}

TEST(PmdPose, RigidInverseUndoesTheMatrix) {
    float q[4];
    CreateQuaternionFromEuler(q, 0.4f, -0.7f, 1.1f);
    Matrix44 m, inverse, product;
    BuildMatrixFromQuaternion(&m, q);
    m.m[3][0] = 3, m.m[3][1] = -2, m.m[3][2] = 7;
    InvertRigidMatrix(&inverse, &m);
    BuildProductMatrix(&product, &m, &inverse);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(product.m[r][c], r == c ? 1.0f : 0.0f, 1e-5f) << r << c;
    float zero[4] = {0, 0, 0, 0};
    NormalizeQuaternion(zero);  // nothing to scale: the identity, not NaN
    EXPECT_EQ(zero[3], 1.0f);
}

// The curve's y where its x is the given value, by bisection in double.
double ReferenceCurve(double x, const float c[4]) {
    auto b = [](double p, double q, double t) { return p * (1 - t) * (1 - t) * t + q * (1 - t) * t * t + t * t * t; };
    double lo = 0, hi = 1;
    for (int i = 0; i < 60; ++i) {
        double mid = (lo + hi) / 2;
        (b(c[0], c[2], mid) < x ? lo : hi) = mid;
    }
    return b(c[1], c[3], (lo + hi) / 2);
}

TEST(PmdPose, CurvesKeepTheirEndsAndFollowTheirControlPoints) {
    auto scaled = [](int x1, int y1, int x2, int y2) {
        return std::array<float, 4>{x1 / 127.0f * 3, y1 / 127.0f * 3, x2 / 127.0f * 3, y2 / 127.0f * 3};
    };
    const std::array<float, 4> curves[] = {scaled(20, 20, 107, 107), scaled(64, 0, 64, 127), scaled(0, 127, 127, 0),
                                           scaled(127, 127, 0, 0), scaled(40, 90, 100, 10)};
    for (const auto& c : curves) {
        EXPECT_EQ(EvaluateVmdBezier(0.0f, c.data(), 0), 0.0f);
        EXPECT_EQ(EvaluateVmdBezier(1.0f, c.data(), 0), 1.0f);
        EXPECT_EQ(EvaluateVmdBezier(0.37f, c.data(), 1), 0.37f);  // linear: x itself
    }
    // An ease-in-out curve against its exact value.
    const auto ease = scaled(64, 0, 64, 127);
    for (float x : {0.1f, 0.25f, 0.5f, 0.8f})
        EXPECT_NEAR(EvaluateVmdBezier(x, ease.data(), 0), ReferenceCurve(x, ease.data()), 2e-3) << x;
}

TEST(PmdPose, SampledPosesFollowTheirRangesAndTheBake) {
    PmdBone bone{};
    bone.restTranslation[1] = 2.0f;
    const float t1[] = {0, 0, 0, 1, 1, 1}, r1[] = {0, 0, 0, 1, 0, 0, 0.6f, 0.8f};
    const float t2[] = {5, 5, 5}, r2[] = {0, 1, 0, 0};
    PmdKeyRange second{10, 1, t2, r2, nullptr};
    PmdKeyRange first{2, 2, t1, r1, &second};
    bone.keyRanges = bone.cursor = &first;
    SetPmdBonePoseFromSample(&bone, 0);  // before the first key: its first entry
    EXPECT_EQ(bone.translation[0], 0.0f);
    SetPmdBonePoseFromSample(&bone, 5);
    EXPECT_EQ(bone.translation[0], 1.0f);  // sample 5 = entry 1 of a range from frame 2
    EXPECT_EQ(bone.rotation[3], 0.8f);
    SetPmdBonePoseFromSample(&bone, 9);  // past the range's entries: its last one
    EXPECT_EQ(bone.translation[0], 1.0f);
    SetPmdBonePoseFromSample(&bone, 20);  // on to the range from frame 10
    EXPECT_EQ(bone.cursor, &second);
    EXPECT_EQ(bone.rotation[1], 1.0f);

    PmdBone ik{};
    ik.ikDriven = 1;
    ik.restTranslation[2] = 3.0f;
    ik.bakedTranslations = const_cast<float*>(t1);
    ik.bakedRotations = const_cast<float*>(r1);
    ik.bakedCount = 2;
    SetPmdBonePoseFromSample(&ik, 1);
    EXPECT_EQ(ik.translation[2], 1.0f);
    ik.bakedRest = 1;
    SetPmdBonePoseFromSample(&ik, 1);
    EXPECT_EQ(ik.translation[2], 3.0f);
    EXPECT_EQ(ik.rotation[3], 1.0f);
}

// The leg of the samples: IK from the ankle to the target over knee and
// thigh.
class PmdLegIk : public ::testing::Test {
protected:
    PmdLegIk() : read_(WritePmd(PmdLegStrip())) {}
    void SetUp() override {
        ASSERT_EQ(read_.result, 0);
        skeleton_ = &read_.load.skeleton;
        ik_ = skeleton_->firstIk;
        ASSERT_NE(ik_, nullptr);
    }
    PmdBone& Bone(int i) { return skeleton_->bones[i]; }
    // Puts the IK target at a model-space point and solves.
    Vector3 SolveTowards(float x, float y, float z) {
        PmdBone& target = Bone(kLegTarget);
        target.translation[0] = x - Bone(kLegCentre).head[0];
        target.translation[1] = y - Bone(kLegCentre).head[1];
        target.translation[2] = z - Bone(kLegCentre).head[2];
        RefreshPmdBoneMatrices(skeleton_, 0, 0);
        MeasurePmdIkChains(ik_);
        SolvePmdIk(ik_);
        return WorldOf(Bone(kLegAnkle));
    }
    void ExpectKneeHeld() {
        float angles[3];
        GetEulerFromQuaternion(angles, Bone(kLegKnee).rotation);
        EXPECT_LE(angles[0], 0.0001f + 1e-5f);
        EXPECT_LE(std::fabs(angles[1]), 0.052359883f + 1e-5f);
        EXPECT_NEAR(angles[2], 0.0f, 1e-5f);
    }
    PmdRead read_;
    PmdSkeleton* skeleton_ = nullptr;
    PmdIkEntry* ik_ = nullptr;
};

TEST_F(PmdLegIk, ReachesATargetWithinReach) {
    const Vector3 targets[] = {{1, 4, 0}, {1, 3, 1.5f}, {1, 4, -1}, {2, 2.5f, 0.5f}};
    for (const Vector3& t : targets) {
        ResetPmdBonesToRest(skeleton_);
        Vector3 ankle = SolveTowards(t.x, t.y, t.z);
        EXPECT_LT(Distance(ankle, t), 0.02f) << t.x << "," << t.y << "," << t.z;
        ExpectKneeHeld();
        EXPECT_TRUE(Finite(Bone(kLegKnee)) && Finite(Bone(kLegThigh)));
    }
}

TEST_F(PmdLegIk, StretchesTowardsATargetOutOfReach) {
    const Vector3 hip = WorldOf(Bone(kLegThigh));
    const Vector3 t{1, -8, 3};
    Vector3 ankle = SolveTowards(t.x, t.y, t.z);
    // The leg points at the target, straight as the knee allows.
    const float away = Distance(hip, t);
    EXPECT_NEAR(Distance(ankle, t), away - 8.0f, 0.05f);
    EXPECT_NEAR(Distance(hip, ankle), 8.0f, 0.05f);
    ExpectKneeHeld();
}

TEST_F(PmdLegIk, NoSolveRunsMoreThanTwoHundredIterations) {
    ik_->limit = 0.0005f;  // slow steps: far from done after 200 passes
    auto solveWith = [&](uint16_t iterations) {
        ResetPmdBonesToRest(skeleton_);
        ik_->iterations = iterations;
        return SolveTowards(4, 3, 4);
    };
    const Vector3 capped = solveWith(150);  // 150 + the knee's 50
    const Vector3 many = solveWith(65535);
    EXPECT_EQ(std::memcmp(&capped, &many, sizeof(capped)), 0);
    const Vector3 fewer = solveWith(100);
    EXPECT_NE(std::memcmp(&capped, &fewer, sizeof(capped)), 0);
}

TEST_F(PmdLegIk, DegenerateDirectionsGiveNoNaN) {
    // The effector on its link's origin: no direction to turn by.
    Bone(kLegAnkle).translation[1] = 0.0f;
    Bone(kLegKnee).translation[1] = 0.0f;
    SolveTowards(1, 3, 1);
    EXPECT_TRUE(Finite(Bone(kLegKnee)) && Finite(Bone(kLegThigh)));
    // The target on the links' origins, and straight behind the effector.
    ResetPmdBonesToRest(skeleton_);
    SolveTowards(1, 9, 0);
    EXPECT_TRUE(Finite(Bone(kLegKnee)) && Finite(Bone(kLegThigh)));
    ResetPmdBonesToRest(skeleton_);
    SolveTowards(1, 13, 0);
    EXPECT_TRUE(Finite(Bone(kLegKnee)) && Finite(Bone(kLegThigh)));
    ExpectKneeHeld();
}

TEST_F(PmdLegIk, AnEntryWithoutIterationsOrKneeChangesNothing) {
    Bone(kLegKnee).knee = 0;
    ik_->knee = 0;
    ik_->iterations = 0;
    SolveTowards(1, 4, 2);
    for (int b : {kLegThigh, kLegKnee}) {
        EXPECT_EQ(Bone(b).rotation[0], 0.0f);
        EXPECT_EQ(Bone(b).rotation[3], 1.0f);
    }
    EXPECT_EQ(SolvePmdIkList(skeleton_->firstIk, 0), 0);
}

}  // namespace
