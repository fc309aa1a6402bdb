// Broken VMD motions beside a PMD model with an IK chain and physics:
// every cut and many mutations of a good motion are read and baked safely,
// with nothing left behind.
#include <random>

#include "model/read/vmd_file.h"
#include "vmd_test_support.h"

using namespace morpotta;

namespace {

using VmdRobust = PmdLoadTest;

// The leg with a body that follows the thigh and one that hangs from it.
PmdDocument LegWithPhysics() {
    PmdDocument d = PmdLegWithMorphs();
    d.physics = true;
    PmdBodySpec hip, shin;
    hip.name = "hip", hip.bone = kLegThigh, hip.shape = 2, hip.size[0] = 0.3f, hip.size[1] = 2, hip.type = 0;
    shin.name = "shin", shin.bone = kLegKnee, shin.group = 1, shin.mask = 0xFFFE, shin.shape = 1;
    shin.size[0] = shin.size[1] = shin.size[2] = 0.3f, shin.position[1] = -2, shin.type = 1;
    d.bodies = {hip, shin};
    PmdJointSpec joint;
    joint.bodyA = 0, joint.bodyB = 1;
    joint.values[1] = 5;  // at the knee
    for (int a = 0; a < 3; ++a) joint.values[12 + a] = -1, joint.values[15 + a] = 1, joint.values[21 + a] = 30;
    d.joints = {joint};
    return d;
}

std::string SampleMotion() {
    VmdDocument m;
    m.bones = {::VmdBoneKey("左足ＩＫ", 0, 0, 0, 0), ::VmdBoneKey("左足ＩＫ", 6, 0, 2, -1), ::VmdBoneKey("センター", 3, 0, 1, 0),
               ::VmdBoneKey("左ひざ", 2, 0, 0, 0), ::VmdBoneKey("左足", 1, 0, 0, 0)};
    m.morphs = {{"つま先", 0, 0}, {"つま先", 4, 1}};
    VmdCameraKeySpec a, b;
    b.frame = 5;
    m.cameras = {a, b};
    return WriteVmd(m);
}

bool ShortMotion(const std::string& motion) {
    VmdMotion parsed;
    return ReadVmdMotionFile(reinterpret_cast<const unsigned char*>(motion.data()), motion.size(), &parsed) != 0 ||
           parsed.lastFrame <= 300;  // longer bakes are work, not risk
}

TEST_F(VmdRobust, EveryCutOfAMotionIsReadAndBakedSafely) {
    const PmdDocument model = LegWithPhysics();
    const std::string motion = SampleMotion();
    {
        VmdRead whole(model, motion);
        ASSERT_EQ(whole.motionResult, 0) << Log();
        EXPECT_NE(whole.Anim("左ひざ"), nullptr);
    }
    int read = 0;
    for (size_t n = 0; n < motion.size(); ++n) {
        VmdRead r(model, motion.substr(0, n));
        ASSERT_EQ(r.result, 0);
        read += r.motionResult == 0;
        EXPECT_EQ(r.load.physics.world, nullptr);
    }
    // Only the cuts that end between whole sections read.
    EXPECT_EQ(read, 3);
}

TEST_F(VmdRobust, MutatedMotionsAreReadAndBakedSafely) {
    const PmdDocument model = LegWithPhysics();
    const std::string motion = SampleMotion();
    std::mt19937 random(38);
    int read = 0;
    for (int i = 0; i < 1000; ++i) {
        std::string m = motion;
        for (int flips = 1 + int(random() % 4); flips > 0; --flips)
            m[30 + random() % (m.size() - 30)] ^= char(1 << (random() % 8));
        if (!ShortMotion(m)) continue;
        VmdRead r(model, m);
        read += r.motionResult == 0;
    }
    EXPECT_GT(read, 300);
}

}  // namespace
