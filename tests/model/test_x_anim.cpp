// The sample X model's animation set after loading: its tracks, evaluated
// at several times by the model system's key evaluation, give the local
// matrices that the file's keys describe, computed here in double
// precision from the file's own values.
#include "model_load_support.h"

#include <cmath>
#include <vector>

#include "fake_graphics.h"
#include "model/anim/anim_eval.h"
#include "model/base/model_math.h"
#include "x_samples.h"

using namespace morpotta;

namespace {

constexpr double kQuarterTurn = 1.5707963267948966;

// Column-vector 3x4 matrices.
struct PoseMatrix {
    double m[12];
};

// T . Rz(angle) . S: scale first, then the turn about z, then the move.
PoseMatrix Pose(double angle, const double scale[3], const double move[3]) {
    const double c = std::cos(angle), s = std::sin(angle);
    return PoseMatrix{{c * scale[0], -s * scale[1], 0, move[0], s * scale[0], c * scale[1], 0, move[1], 0, 0, scale[2], move[2]}};
}

double Lerp(double a, double b, double t) { return a + (b - a) * t; }

// The key a track stands on at a time: the last one not after it.
int KeyAt(const ModelBaseAnimKeySet& ks, float time) {
    int k = 0;
    for (int i = 1; i < ks.keyCount; ++i) {
        float at = ks.explicitTimes ? ks.times[i] : ks.startTime + float(i) * ks.timeStep;
        if (at <= time) k = i;
    }
    return k;
}

// The local matrix the evaluation gives one animation at a time, composed
// as the frame refresh composes it: rotation columns scaled, translation
// in the last column.
Matrix34 Evaluate(const ModelBase* base, const ModelBaseAnim& anim, float time) {
    std::vector<AnimKeyState> states(size_t(anim.keySetCount));
    for (int k = 0; k < anim.keySetCount; ++k)
        states[size_t(k)] = AnimKeyState{&anim.keySets[k], -1, 0.0f, KeyAt(anim.keySets[k], time)};
    FrameAnimRecord record{};
    record.track = &anim;
    record.frame = &base->frames[anim.frameIndex];
    record.keyStateCount = anim.keySetCount;
    record.keyStates = states.data();
    uint8_t matricesValid = 1, shapesDirty = 0;
    AnimEvalContext context{};
    context.time = time;
    context.recordCount = 1;
    context.records = &record;
    context.matricesValid = &matricesValid;
    context.shapesDirty = &shapesDirty;
    EvaluateFrameAnimation(&context);
    if (record.flags & FRAME_ANIM_MATRIX) return record.matrix;
    Matrix34 m;
    BuildRotation34FromQuaternion(&m, record.quaternion);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) m.m[row * 4 + col] *= record.scale[col];
        m.m[row * 4 + 3] = record.translation[row];
    }
    return m;
}

void ExpectNear(const Matrix34& got, const PoseMatrix& want, float time) {
    for (int i = 0; i < 12; ++i) EXPECT_NEAR(got.m[i], want.m[i], 2e-4) << "element " << i << " at time " << time;
}

using XAnimationTest = ModelLoadTest;

TEST_F(XAnimationTest, TracksReproduceTheFilesKeys) {
    FakeGraphics graphics;
    files_.Add("red.png", FakeGraphics::RawImage(2, 2, 0xFFFF0000));
    for (const std::string& file : {std::string(kSampleXText), SampleXBinary(XWriter::kBinary64)}) {
        int model = Load("walk.x", file);
        ASSERT_GE(model, 0) << Log();
        const ModelBase* base = BaseOf(model);
        ASSERT_EQ(base->animSetCount, 1);
        const ModelBaseAnimSet& set = base->animSets[0];
        ASSERT_EQ(set.animCount, 2);
        const ModelBaseAnim& arm = set.anims[0];
        const ModelBaseAnim& body = set.anims[1];
        ASSERT_STREQ(base->frames[arm.frameIndex].name, "Arm");
        ASSERT_STREQ(base->frames[body.frameIndex].name, "Body");
        // Arm: a quaternion turn of 90 degrees about z over 100, scale x
        // from 1 to 2, and a position through (2,0,0), (2,1,0), (2,1,1).
        for (float time : {0.0f, 20.0f, 50.0f, 75.0f, 100.0f}) {
            const double t = time / 100.0;
            const double scale[3] = {1 + t, 1, 1};
            const double move[3] = {2, time <= 50 ? time / 50.0 : 1, time <= 50 ? 0 : (time - 50) / 50.0};
            ExpectNear(Evaluate(base, arm, time), Pose(kQuarterTurn * t, scale, move), time);
        }
        // Body: matrix keys, from a move to (0,1,0) to a quarter turn about
        // z and a move to (0,2,0) at 80: the turn is interpolated, the move
        // is linear.
        for (float time : {0.0f, 10.0f, 40.0f, 80.0f}) {
            const double t = time / 80.0;
            const double one[3] = {1, 1, 1};
            const double move[3] = {0, Lerp(1, 2, t), 0};
            ExpectNear(Evaluate(base, body, time), Pose(kQuarterTurn * t, one, move), time);
        }
        EXPECT_EQ(DeleteModel(model), 0);
    }
}

}  // namespace
