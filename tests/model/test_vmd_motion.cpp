// The VMD motion reader: bone keys sampled at every half frame along their
// curves, rotations along the short way, keys sorted by frame, morph and
// camera tracks, motion files on their own and beside a PMD model.
#include <cmath>

#include "model/read/vmd_file.h"
#include "vmd_test_support.h"

using namespace morpotta;

namespace {

using VmdTest = PmdLoadTest;

const char kCentre[] = "センター";

// The curve's value at x solved by bisection (the control values are the
// file's bytes scaled by 3/127): an independent reference.
float CurveReference(float x, const VmdCurveBytes& c) {
    auto bezier = [](float a, float b, float t) { return a * (1 - t) * (1 - t) * t + b * (1 - t) * t * t + t * t * t; };
    const float x1 = c.x1 * 3.0f / 127, y1 = c.y1 * 3.0f / 127, x2 = c.x2 * 3.0f / 127, y2 = c.y2 * 3.0f / 127;
    float lo = 0, hi = 1;
    for (int i = 0; i < 60; ++i) {
        float mid = 0.5f * (lo + hi);
        (bezier(x1, x2, mid) < x ? lo : hi) = mid;
    }
    return bezier(y1, y2, 0.5f * (lo + hi));
}

TEST_F(VmdTest, KeysAtFramesZeroAndTenGiveTwentyOneHalfFrameKeysAlongTheirCurves) {
    VmdDocument m;
    VmdBoneKeySpec a = ::VmdBoneKey(kCentre, 0, 0, 0, 0), b = ::VmdBoneKey(kCentre, 10, 10, 20, -4);
    a.curves[1] = VmdCurveBytes{100, 10, 60, 127};  // Y eases in and out; X and Z straight
    m.bones = {a, b};
    VmdRead r(PmdLegStrip(), WriteVmd(m), false);
    ASSERT_EQ(r.motionResult, 0) << Log();
    ASSERT_STREQ(r.Set()->name, "Anim000");
    EXPECT_EQ(r.Set()->endTime, 10.0f);
    ReadModelAnim* anim = r.Anim(kCentre);
    ASSERT_NE(anim, nullptr);
    ReadModelAnimKeySet* ts = Track(anim, READ_KIND_TRANSLATION);
    ReadModelAnimKeySet* rs = Track(anim, READ_KIND_ROTATION);
    ASSERT_TRUE(ts && rs);
    EXPECT_EQ(ts->valueType, READ_KEY_VECTOR);
    EXPECT_EQ(rs->valueType, READ_KEY_QUATERNION_INTERNAL);
    ASSERT_EQ(ts->keyCount, 21);
    ASSERT_EQ(rs->keyCount, 21);
    EXPECT_TRUE(TimesRiseFrom(ts, 0, 0.5f));
    EXPECT_TRUE(TimesRiseFrom(rs, 0, 0.5f));
    // The centre's rest offset (its head, 10 up) is part of every key.
    for (int k = 0; k < 21; ++k) {
        const float* t = ts->values + 3 * k;
        const float x = float(k) / 20;
        EXPECT_NEAR(t[0], 10 * x, 1e-4f) << k;
        EXPECT_NEAR(t[1], 10 + 20 * CurveReference(x, a.curves[1]), 0.01f) << k;  // the solve stops within 1e-4 in x
        EXPECT_NEAR(t[2], -4 * x, 1e-4f) << k;
    }
    EXPECT_EQ(ts->values[3 * 20 + 1], 30.0f);  // the last key's own values
    EXPECT_EQ(r.load.model.keyDataBytes, uint32_t(21 * (12 + 4) + 21 * (16 + 4)));
}

TEST_F(VmdTest, RotationsTurnTheShortWayAndKeysOfOneFrameKeepTheirOrder) {
    const float s = std::sin(0.25f * 3.14159265f), c = std::cos(0.25f * 3.14159265f);
    const float quarterYNegated[4] = {0, -s, 0, -c};
    VmdDocument m;
    // Stored out of order: frame 4, then 0, then a second key at 4.
    m.bones = {::VmdBoneKey(kCentre, 4, 1, 0, 0, quarterYNegated), ::VmdBoneKey(kCentre, 0, 0, 0, 0),
               ::VmdBoneKey(kCentre, 4, 2, 0, 0, quarterYNegated)};
    VmdRead r(PmdLegStrip(), WriteVmd(m), false);
    ASSERT_EQ(r.motionResult, 0) << Log();
    ReadModelAnimKeySet* ts = Track(r.Anim(kCentre), READ_KIND_TRANSLATION);
    ReadModelAnimKeySet* rs = Track(r.Anim(kCentre), READ_KIND_ROTATION);
    ASSERT_TRUE(ts && rs);
    ASSERT_EQ(ts->keyCount, 9);
    // Towards the first key at frame 4; the second one is the last.
    EXPECT_NEAR(ts->values[3 * 4], 0.5f, 1e-5f);
    EXPECT_EQ(ts->values[3 * 8], 2.0f);
    // Halfway from the identity to a quarter turn about Y given with the
    // opposite sign: an eighth turn, not the long way round.
    const float* half = rs->values + 4 * 4;
    const float sign = half[3] < 0 ? -1.0f : 1.0f;
    EXPECT_NEAR(sign * half[1], std::sin(0.125f * 3.14159265f), 1e-4f);
    EXPECT_NEAR(sign * half[3], std::cos(0.125f * 3.14159265f), 1e-4f);
    EXPECT_NEAR(half[0], 0, 1e-6f);
    EXPECT_NEAR(half[2], 0, 1e-6f);
}

TEST_F(VmdTest, UnknownNamesAreSkippedAndMorphsDriveTheirShapes) {
    VmdDocument m;
    m.bones = {::VmdBoneKey("nobody", 0, 1, 2, 3), ::VmdBoneKey(kCentre, 3, 0, 1, 0)};
    m.morphs = {{"wide", 12, 1.0f}, {"nothing", 2, 0.5f}, {"wide", 0, 0.0f}, {"wide", 6, 0.25f}};
    VmdRead r(PmdLegWithMorphs(), WriteVmd(m), false);
    ASSERT_EQ(r.motionResult, 0) << Log();
    EXPECT_EQ(r.Anim("nobody"), nullptr);
    ReadModelAnimKeySet* centre = Track(r.Anim(kCentre), READ_KIND_TRANSLATION);
    ASSERT_NE(centre, nullptr);
    EXPECT_EQ(centre->keyCount, 1);
    EXPECT_EQ(centre->times[0], 3.0f);
    // One animation on the "Mesh" frame; the morph with no shape has no track.
    ReadModelAnim* mesh = r.Anim("Mesh");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->frameIndex, 0);
    EXPECT_EQ(mesh->value, 12.0f);
    ASSERT_EQ(mesh->keySets.count, 1);
    ReadModelAnimKeySet* wide = mesh->keySets.first;
    EXPECT_EQ(wide->keyKind, READ_KIND_SHAPE_WEIGHT);
    EXPECT_EQ(wide->valueType, READ_KEY_FLOAT);
    EXPECT_EQ(wide->shapeIndex, 1);  // "つま先" is shape 0
    ASSERT_EQ(wide->keyCount, 3);
    EXPECT_EQ(wide->times[0], 0.0f);
    EXPECT_EQ(wide->times[1], 6.0f);
    EXPECT_EQ(wide->values[1], 0.25f);
    EXPECT_EQ(wide->times[2], 12.0f);
    EXPECT_EQ(r.Set()->endTime, 12.0f);
}

TEST_F(VmdTest, CameraKeysGiveOneKeyAFrameWithTheirOwnCurveOrder) {
    VmdDocument m;
    VmdCameraKeySpec a, b;
    a.frame = 2, b.frame = 6;
    a.curves[0] = VmdCurveBytes{110, 5, 40, 127};  // position X
    b.position[0] = 8, b.rotation[1] = 1, b.distance = -50, b.viewAngle = 50, b.perspective = 1;
    m.cameras = {b, a};
    VmdRead r(PmdLegStrip(), WriteVmd(m), false);
    ASSERT_EQ(r.motionResult, 0) << Log();
    ReadModelAnim* anim = r.Anim("Camera000");
    ASSERT_NE(anim, nullptr);
    ASSERT_EQ(anim->keySets.count, 5);
    ReadModelAnimKeySet* sets[5];
    ReadModelAnimKeySet* ks = anim->keySets.first;
    for (int i = 0; i < 5; ++i, ks = ks->nextInAnim) {
        sets[i] = ks;
        ASSERT_EQ(ks->keyCount, 5) << i;
        EXPECT_TRUE(TimesRiseFrom(ks, 2, 1)) << i;
    }
    const float x = 2.0f / 4;
    EXPECT_NEAR(sets[0]->values[3 * 2], 8 * CurveReference(x, a.curves[0]), 2e-3f);
    // Read in the bone keys' order the curve would give another value.
    VmdCurveBytes swapped{110, 40, 5, 127};
    EXPECT_GT(std::fabs(CurveReference(x, swapped) - CurveReference(x, a.curves[0])), 0.05f);
    EXPECT_NEAR(sets[1]->values[3 * 2 + 1], 0.5f, 1e-5f);
    EXPECT_NEAR(sets[2]->values[2], -40.0f, 1e-4f);
    EXPECT_NEAR(sets[3]->values[2], 40.0f, 1e-4f);
    EXPECT_EQ(sets[4]->values[3], 0.0f);  // A's flag up to the last key
    EXPECT_EQ(sets[4]->values[4], 1.0f);
}

TEST_F(VmdTest, OtherVersionsAndBrokenFilesAreRefusedWithALogLine) {
    VmdDocument old;
    old.signature = "Vocaloid Motion Data file";
    old.bones = {::VmdBoneKey(kCentre, 0, 0, 0, 0)};
    {
        VmdRead r(PmdLegStrip(), WriteVmd(old));
        EXPECT_EQ(r.motionResult, -1);
    }
    EXPECT_NE(Log().find("VMD Load Error : 対応していない VMD バージョンです"), std::string::npos) << Log();
    // Frames so far apart that their half-frame keys would not fit.
    VmdDocument far;
    far.bones = {::VmdBoneKey(kCentre, 0, 0, 0, 0), ::VmdBoneKey(kCentre, 0xFFFFFFF0u, 0, 0, 0)};
    {
        VmdRead r(PmdLegStrip(), WriteVmd(far));
        EXPECT_EQ(r.motionResult, -1);
    }
    EXPECT_NE(Log().find("a key stands at a frame beyond the longest motion"), std::string::npos);
    // Within the longest motion, but more keys than a motion may hold.
    VmdDocument many;
    for (int bone = 0; bone < 5; ++bone) {
        const char* names[] = {"センター", "左足", "左ひざ", "左足首", "左足ＩＫ"};
        many.bones.push_back(::VmdBoneKey(names[bone], 0, 0, 0, 0));
        many.bones.push_back(::VmdBoneKey(names[bone], kVmdMaxFrame, 0, 0, 0));
    }
    {
        VmdRead r(PmdLegStrip(), WriteVmd(many), false);
        EXPECT_EQ(r.motionResult, -1);
    }
    EXPECT_NE(Log().find("the motion asks for more keys than a motion may hold"), std::string::npos);
}

TEST_F(VmdTest, AMotionFileOnItsOwnIsAModelOfItsCamera) {
    VmdDocument m;
    VmdCameraKeySpec a;
    m.cameras = {a};
    m.bones = {::VmdBoneKey(kCentre, 0, 1, 1, 1)};  // no frame of that name
    int model = Load("motion.vmd", WriteVmd(m));
    ASSERT_GE(model, 0) << Log();
    const ModelBase* base = BaseOf(model);
    ASSERT_EQ(base->frameCount, 1);
    EXPECT_STREQ(base->frames[0].name, "Camera000");
    ASSERT_EQ(base->animSetCount, 1);
    EXPECT_STREQ(base->animSets[0].name, "Anim000");
    DeleteModel(model);
    // Some other file is not the motion reader's to complain about.
    EXPECT_EQ(Load("other.vmd", "Vocaloid Motion Data file"), -1);
    EXPECT_NE(Log().find("対応していない VMD バージョンです"), std::string::npos);
}

TEST_F(VmdTest, MotionsBesideAPmdModelBecomeItsAnimationSets) {
    VmdDocument walk, wave;
    walk.bones = {::VmdBoneKey(kCentre, 0, 0, 0, 0), ::VmdBoneKey(kCentre, 8, 0, 0, 4)};
    wave.bones = {::VmdBoneKey("左足", 0, 0, 0, 0), ::VmdBoneKey("左足", 4, 0, 1, 0)};
    files_.Add("C:\\game\\model000.vmd", WriteVmd(walk));
    files_.Add("C:\\game\\model001.vmd", WriteVmd(wave));
    int model = LoadPmd(PmdLegStrip());
    ASSERT_GE(model, 0) << Log();
    const ModelBase* base = BaseOf(model);
    ASSERT_EQ(base->animSetCount, 2);
    EXPECT_STREQ(base->animSets[0].name, "Anim000");
    EXPECT_STREQ(base->animSets[1].name, "Anim001");
    EXPECT_EQ(base->animSets[0].endTime, 8.0f);
    EXPECT_EQ(base->animSets[1].endTime, 4.0f);
    DeleteModel(model);
}

}  // namespace
