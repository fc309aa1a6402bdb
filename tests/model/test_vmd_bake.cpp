// The motion bake: IK chains solved into keys at every sample of their own
// time, and simulated bodies baked into their bones' key matrices.
#include <cmath>

#include "vmd_test_support.h"

namespace {

using VmdBake = PmdLoadTest;

float Distance(const float a[3], const float b[3]) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// Every bone posed from its baked tracks at half-frame sample s (the rest
// pose for a bone without tracks), world matrices refreshed.
void PoseAtSample(const VmdRead& r, const PmdDocument& d, int s) {
    const PmdSkeleton& sk = r.load.skeleton;
    for (int b = 0; b < sk.boneCount; ++b) {
        PmdBone& bone = sk.bones[b];
        std::copy(bone.restTranslation, bone.restTranslation + 3, bone.translation);
        std::copy(bone.restRotation, bone.restRotation + 4, bone.rotation);
        ReadModelAnim* anim = r.Anim(d.bones[size_t(b)].name);
        ReadModelAnimKeySet* ts = Track(anim, READ_KIND_TRANSLATION);
        ReadModelAnimKeySet* rs = Track(anim, READ_KIND_ROTATION);
        if (!ts || !rs) continue;
        const int k = int(2 * ts->times[0]) <= s ? s - int(2 * ts->times[0]) : 0;
        ASSERT_LT(k, ts->keyCount);
        std::copy(ts->values + 3 * k, ts->values + 3 * k + 3, bone.translation);
        std::copy(rs->values + 4 * k, rs->values + 4 * k + 4, bone.rotation);
    }
    RefreshPmdBoneMatrices(&sk, 0, 0);
}

const float* WorldPosition(const VmdRead& r, int bone) { return r.load.skeleton.bones[bone].world.m[3]; }

TEST_F(VmdBake, TheFootReachesItsTargetAtEverySampleOfItsOwnTime) {
    const PmdDocument leg = PmdLegStrip();
    VmdDocument m;
    // The IK target moves up and forward; the leg's own bones have no keys
    // and the motion starts at frame 2 (samples before it hold its pose).
    m.bones = {VmdBoneKey("左足ＩＫ", 2, 0, 0, 0), VmdBoneKey("左足ＩＫ", 10, 0, 2, -1.5f)};
    VmdRead r(leg, WriteVmd(m));
    ASSERT_EQ(r.motionResult, 0) << Log();
    for (int bone : {kLegThigh, kLegKnee, kLegAnkle}) {
        ReadModelAnim* anim = r.Anim(leg.bones[size_t(bone)].name);
        ASSERT_NE(anim, nullptr) << bone;
        EXPECT_EQ(anim->value, 10.0f);
        for (int kind : {READ_KIND_TRANSLATION, READ_KIND_ROTATION}) {
            ReadModelAnimKeySet* ks = Track(anim, kind);
            ASSERT_NE(ks, nullptr);
            ASSERT_EQ(ks->keyCount, 21);
            EXPECT_TRUE(TimesRiseFrom(ks, 0, 0.5f)) << bone << " " << kind;
        }
    }
    for (int s = 0; s <= 20; ++s) {
        PoseAtSample(r, leg, s);
        const float* foot = WorldPosition(r, kLegAnkle);
        const float* target = WorldPosition(r, kLegTarget);
        // Solved samples reach it; those between are blended from two solves.
        EXPECT_LT(Distance(foot, target), s % 2 ? 0.1f : 0.05f) << "sample " << s;
        for (int b = 0; b < r.load.skeleton.boneCount; ++b)
            for (float v : r.load.skeleton.bones[b].rotation) ASSERT_TRUE(std::isfinite(v));
    }
    // The knee bends one way only.
    PoseAtSample(r, leg, 20);
    float angles[3];
    GetEulerFromQuaternion(angles, r.load.skeleton.bones[kLegKnee].rotation);
    EXPECT_LE(angles[0], 0.0002f);
}

// A root with a bone-following body and an arm whose body hangs on a
// joint at the root: a pendulum started level.
PmdDocument Pendulum() {
    PmdDocument d;
    d.bones = {PmdBoneAt("root", 0xFFFF, 0, 10, 0), PmdBoneAt("arm", 0, 0, 10, 0)};
    d.vertices = {PmdVertex(0, 10, 0, 0, 0, 100), PmdVertex(0, 11, 0, 1, 1, 100), PmdVertex(1, 10, 0, 1, 1, 100)};
    d.indices = {0, 1, 2};
    PmdMaterialSpec mat;
    mat.indexCount = 3;
    d.materials = {mat};
    d.physics = true;
    PmdBodySpec root, bob;
    root.name = "root", root.bone = 0, root.group = 0, root.shape = 0, root.size[0] = 0.2f, root.type = 0;
    bob.name = "bob", bob.bone = 1, bob.group = 1, bob.mask = 0xFFFE, bob.shape = 0, bob.size[0] = 0.5f;
    bob.position[0] = 3, bob.mass = 1, bob.linearDamping = 0.1f, bob.angularDamping = 0.1f, bob.type = 1;
    d.bodies = {root, bob};
    PmdJointSpec joint;
    joint.name = "pivot";
    joint.bodyA = 0, joint.bodyB = 1;
    float* v = joint.values;
    v[1] = 10;  // at the root
    for (int a = 0; a < 3; ++a) v[12 + a] = -3.14f, v[15 + a] = 3.14f;  // turns freely
    d.joints = {joint};
    return d;
}

// The bob's world place at a key of the arm's matrix track.
void BobAt(const ReadModelAnimKeySet* ks, int k, float out[3]) {
    const float* m = ks->values + 12 * k;  // rows of the arm's matrix relative to the root (at rest)
    const float local[3] = {3, 0, 0};
    for (int c = 0; c < 3; ++c) out[c] = local[0] * m[c] + local[1] * m[3 + c] + local[2] * m[6 + c] + m[9 + c];
    out[1] += 10;  // the root stays at its rest place
}

TEST_F(VmdBake, APendulumIsBakedIntoKeysAtItsOwnFrames) {
    VmdDocument m;
    m.bones = {VmdBoneKey("root", 0, 0, 0, 0), VmdBoneKey("root", 30, 0, 0, 0)};
    VmdRead r(Pendulum(), WriteVmd(m));
    ASSERT_EQ(r.motionResult, 0) << Log();
    EXPECT_EQ(r.load.physics.world, nullptr);  // released after the bake
    ReadModelAnim* arm = r.Anim("arm");
    ASSERT_NE(arm, nullptr);
    ASSERT_EQ(arm->keySets.count, 1);
    ReadModelAnimKeySet* ks = arm->keySets.first;
    EXPECT_EQ(ks->valueType, READ_KEY_MATRIX4X3);
    EXPECT_EQ(ks->keyKind, READ_KIND_MATRIX);
    ASSERT_EQ(ks->keyCount, 31);
    EXPECT_TRUE(TimesRiseFrom(ks, 0, 1));
    for (int k = 0; k < 31; ++k) {
        float bob[3];
        BobAt(ks, k, bob);
        const float pivot[3] = {0, 10, 0};
        // The joint holds the bob at its distance; after the settling steps
        // it hangs below the pivot.
        EXPECT_NEAR(Distance(bob, pivot), 3.0f, 0.15f) << k;
        EXPECT_LT(bob[1], 7.5f) << k;
    }
}

TEST_F(VmdBake, ASimulatedBoneWithKeysOfItsOwnTakesItsMatricesIntoThem) {
    VmdDocument m;
    m.bones = {VmdBoneKey("root", 0, 0, 0, 0), VmdBoneKey("root", 6, 0, 0, 0), VmdBoneKey("arm", 2, 0, 0, 0),
               VmdBoneKey("arm", 4, 0, 1, 0)};
    VmdRead r(Pendulum(), WriteVmd(m));
    ASSERT_EQ(r.motionResult, 0) << Log();
    ReadModelAnim* arm = r.Anim("arm");
    ASSERT_NE(arm, nullptr);
    ReadModelAnimKeySet* ts = Track(arm, READ_KIND_TRANSLATION);
    ReadModelAnimKeySet* rs = Track(arm, READ_KIND_ROTATION_SCALE);
    ASSERT_TRUE(ts && rs);
    EXPECT_EQ(rs->valueType, READ_KEY_MATRIX3X3);
    ASSERT_EQ(ts->keyCount, 7);
    ASSERT_EQ(rs->keyCount, 7);
    EXPECT_TRUE(TimesRiseFrom(ts, 0, 1));
    EXPECT_TRUE(TimesRiseFrom(rs, 0, 1));
    // Rotation rows stay orthonormal.
    for (int k = 0; k < 7; ++k)
        for (int row = 0; row < 3; ++row) {
            const float* v = rs->values + 9 * k + 3 * row;
            EXPECT_NEAR(v[0] * v[0] + v[1] * v[1] + v[2] * v[2], 1.0f, 1e-3f);
        }
    // The base data keeps the baked keys through the conversion.
    files_.Add("C:\\game\\model000.vmd", WriteVmd(m));
    int model = LoadPmd(Pendulum());
    ASSERT_GE(model, 0) << Log();
    EXPECT_EQ(BaseOf(model)->animSetCount, 1);
    DeleteModel(model);
}

}  // namespace
