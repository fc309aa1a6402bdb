// The physics bridge on the rigid-body library: what it makes of body and
// joint records, a fall against its closed form, and bones followed.
#include <gtest/gtest.h>

#include <cmath>

#include "model/physics/physics_bridge.h"

using namespace morpotta;

namespace {

constexpr float kPi = 3.14159265f;

Matrix44 TranslationMatrix(float x, float y, float z) {
    Matrix44 m = {};
    m.m[0][0] = m.m[1][1] = m.m[2][2] = m.m[3][3] = 1;
    m.m[3][0] = x, m.m[3][1] = y, m.m[3][2] = z;
    return m;
}

PhysicsBodyInfo SphereBody(int type, float mass, float y) {
    PhysicsBodyInfo info{};
    info.group = 0, info.mask = 0xFFFF, info.shape = PHYSICS_SPHERE;
    info.size[0] = 0.5f;
    info.mass = mass, info.type = type;
    info.bone = TranslationMatrix(0, y, 0);
    return info;
}

class PhysicsBridge : public ::testing::Test {
protected:
    void TearDown() override { ReleasePhysicsWorld(world); }
    PhysicsWorld* world = nullptr;
};

TEST_F(PhysicsBridge, BodiesTakeTheirShapeKindGroupAndTypeOrAreRefused) {
    ASSERT_NE(world = CreatePhysicsWorld(-9.8f), nullptr);
    EXPECT_EQ(CreatePhysicsBody(world, SphereBody(0, 5, 0)), 0);
    EXPECT_EQ(CreatePhysicsBody(world, SphereBody(1, 5, 3)), 1);
    EXPECT_EQ(GetPhysicsBodyMass(world, 0), 0.0f);  // follows its bone
    EXPECT_EQ(GetPhysicsBodyMass(world, 1), 5.0f);
    PhysicsBodyInfo box = SphereBody(1, 1, 6), capsule = SphereBody(1, 1, 9);
    box.shape = PHYSICS_BOX, capsule.shape = PHYSICS_CAPSULE;
    EXPECT_EQ(CreatePhysicsBody(world, box), 2);
    EXPECT_EQ(CreatePhysicsBody(world, capsule), 3);
    PhysicsBodyInfo strange = SphereBody(1, 1, 0), lonely = SphereBody(1, 1, 0);
    strange.shape = 3;
    lonely.group = 16;
    EXPECT_EQ(CreatePhysicsBody(world, strange), -1);
    EXPECT_EQ(CreatePhysicsBody(world, lonely), -1);
    PhysicsJointInfo joint{};
    joint.bodyA = 0, joint.bodyB = 4;
    EXPECT_EQ(CreatePhysicsJoint(world, joint), -1);
}

TEST_F(PhysicsBridge, AngularLimitsAreBroughtIntoOneTurn) {
    EXPECT_NEAR(WrapPhysicsAngle(4), 4 - 2 * kPi, 1e-5f);
    EXPECT_NEAR(WrapPhysicsAngle(-4), 2 * kPi - 4, 1e-5f);
    EXPECT_NEAR(WrapPhysicsAngle(9), 9 - 2 * kPi, 1e-5f);
    EXPECT_NEAR(WrapPhysicsAngle(12), 12 - 4 * kPi, 1e-5f);
    EXPECT_EQ(WrapPhysicsAngle(1), 1.0f);
    EXPECT_EQ(WrapPhysicsAngle(std::nanf("")), 0.0f);
    ASSERT_NE(world = CreatePhysicsWorld(0), nullptr);
    CreatePhysicsBody(world, SphereBody(0, 1, 0));
    CreatePhysicsBody(world, SphereBody(1, 1, 2));
    PhysicsJointInfo joint{};
    joint.bodyA = 0, joint.bodyB = 1;
    joint.angularLow[0] = -4, joint.angularHigh[0] = 4, joint.angularHigh[1] = 1;
    ASSERT_EQ(CreatePhysicsJoint(world, joint), 0);
    float low[3], high[3];
    GetPhysicsJointAngularLimits(world, 0, low, high);
    EXPECT_NEAR(low[0], 2 * kPi - 4, 1e-5f);
    EXPECT_NEAR(high[0], 4 - 2 * kPi, 1e-5f);
    EXPECT_NEAR(high[1], 1, 1e-6f);
}

TEST_F(PhysicsBridge, ASphereFallsAsTheClosedFormSays) {
    const float g = -9.8f;
    ASSERT_NE(world = CreatePhysicsWorld(g), nullptr);
    ASSERT_EQ(CreatePhysicsBody(world, SphereBody(1, 2, 100)), 0);
    for (int step = 1; step <= 120; ++step) {
        StepPhysicsWorld(world);
        float p[3];
        GetPhysicsBodyPosition(world, 0, p);
        const float t = float(step) / 60;
        // y = y0 + g t^2 / 2, within what a step of 1/60 s makes of it.
        ASSERT_NEAR(p[1], 100 + 0.5f * g * t * t, 0.01f + std::fabs(g) * t / 60) << step;
        ASSERT_EQ(p[0], 0.0f);
    }
}

TEST_F(PhysicsBridge, KinematicBodiesFollowTheirBonesAndSimulatedOnesGiveBoneMatrices) {
    ASSERT_NE(world = CreatePhysicsWorld(-9.8f), nullptr);
    PhysicsBodyInfo follower = SphereBody(0, 1, 0), faller = SphereBody(1, 1, 20);
    follower.position[0] = 1;  // a body beside its bone
    faller.position[2] = 2;
    faller.mask = 0;  // touches nothing
    ASSERT_EQ(CreatePhysicsBody(world, follower), 0);
    ASSERT_EQ(CreatePhysicsBody(world, faller), 1);
    SyncPhysicsBodyToBone(world, 0, TranslationMatrix(5, 0, 0), 0);
    SyncPhysicsBodyToBone(world, 1, TranslationMatrix(0, 50, 0), 0);  // not forced: left alone
    StepPhysicsWorld(world);
    float p[3];
    GetPhysicsBodyPosition(world, 0, p);
    EXPECT_NEAR(p[0], 6, 1e-5f);
    GetPhysicsBodyPosition(world, 1, p);
    EXPECT_LT(p[1], 20.0f);
    Matrix44 bone;
    GetPhysicsBodyBone(world, 1, &bone);
    EXPECT_NEAR(bone.m[3][1], p[1], 1e-5f);  // the bone lies where the body's offset says
    EXPECT_NEAR(bone.m[3][2], p[2] - 2, 1e-5f);
    // Put back on a bone, it starts again from rest.
    ResetPhysicsBodyToBone(world, 1, TranslationMatrix(0, 40, 0));
    StepPhysicsWorld(world);
    GetPhysicsBodyPosition(world, 1, p);
    EXPECT_NEAR(p[1], 40 - 9.8f / 3600, 1e-3f);
}

}  // namespace

// An instance of a model loaded for real-time physics: a world of its own
// with the base data's bodies on the instance's frames and its joint.
#include "model/convert/convert.h"
#include "model/physics/model_physics.h"
#include "pmd_test_support.h"

namespace {

TEST_F(PmdLoadTest, AnInstanceOfARealTimeModelGetsAWorldOfItsBodies) {
    SetModelLoadPhysicsMode(PMD_PHYSICS_REALTIME);
    const int model = LoadPmd(PmdFullSample());
    SetModelLoadPhysicsMode(PMD_PHYSICS_BAKE);
    ASSERT_GE(model, 0) << Log();
    ModelInstance* in = InstanceOf(model);
    ASSERT_EQ(in->base->rigidBodyCount, 2);
    ASSERT_EQ(SetupModelPhysics(in), 0);
    ASSERT_NE(in->physicsWorld, nullptr);
    ASSERT_EQ(in->rigidBodies[0].worldBody, 0);
    ASSERT_EQ(in->rigidBodies[1].worldBody, 1);
    EXPECT_EQ(GetPhysicsBodyMass(in->physicsWorld, 0), 0.0f);  // mass 5, but it follows its bone
    EXPECT_EQ(GetPhysicsBodyMass(in->physicsWorld, 1), 1.0f);
    float low[3], high[3];
    GetPhysicsJointAngularLimits(in->physicsWorld, 0, low, high);
    EXPECT_NEAR(low[0], 3.0f, 1e-5f);  // within a half turn: kept
    EXPECT_NEAR(high[0], 3.75f - 2 * kPi, 1e-5f);  // beyond it: wrapped
    EXPECT_EQ(ReleaseModelPhysics(in), 0);
    EXPECT_EQ(in->physicsWorld, nullptr);
    EXPECT_EQ(ReleaseModelPhysics(in), -1);
    DeleteModel(model);
}

}  // namespace
