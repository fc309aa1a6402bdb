#include <cmath>
#include <random>

#include "model/anim/anim_keys.h"
#include "model/base/model_math.h"
#include "model_test_support.h"

using namespace morpotta;

namespace {

class AnimKeysTest : public ModelSystemTest {
protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        InitReadModel(&model);
        set = AddReadModelAnimSet(&model, "set");
        anim = AddReadModelAnim(&model, set);
    }
    void TearDown() override {
        FreeReadModel(&model);
        ModelSystemTest::TearDown();
    }
    ReadModelAnimKeySet* Track(uint8_t type, uint8_t kind, const std::vector<float>& times,
                               const std::vector<float>& values) {
        ReadModelAnimKeySet* ks = AddReadModelAnimKeySet(&model, anim);
        int width = ReadKeyValueBytes(type) / 4;
        ks->valueType = type;
        ks->keyKind = kind;
        ks->keyCount = int(values.size()) / width;
        ks->explicitTimes = times.empty() ? 0 : 1;
        ks->timeStep = 1.0f;
        ks->totalTime = float(ks->keyCount - 1);
        ks->values = AllocReadModelArray<float>(&model, values.size());
        std::copy(values.begin(), values.end(), ks->values);
        if (!times.empty()) {
            ks->times = AllocReadModelArray<float>(&model, times.size());
            std::copy(times.begin(), times.end(), ks->times);
        }
        model.keyDataBytes += KeyTrackBytes(ks);
        return ks;
    }
    uint32_t CountBytes() {
        uint32_t total = 0;
        for (ReadModelAnimKeySet* ks = model.keySets.first; ks; ks = ks->next) total += KeyTrackBytes(ks);
        return total;
    }
    ReadModel model;
    ReadModelAnimSet* set;
    ReadModelAnim* anim;
};

// Linear sampling of one track at a time, as playback interpolates it.
void Sample(const ReadModelAnimKeySet* ks, float time, float* out) {
    int width = ReadKeyValueBytes(ks->valueType) / 4;
    auto timeOf = [&](int i) { return ks->explicitTimes ? ks->times[i] : ks->startTime + i * ks->timeStep; };
    int k = 0;
    while (k + 1 < ks->keyCount && timeOf(k + 1) <= time) ++k;
    float t = 0.0f;
    if (k + 1 < ks->keyCount && timeOf(k + 1) > timeOf(k)) t = (time - timeOf(k)) / (timeOf(k + 1) - timeOf(k));
    if (t < 0) t = 0;
    int next = k + 1 < ks->keyCount ? k + 1 : k;
    for (int c = 0; c < width; ++c) out[c] = ks->values[k * width + c] + (ks->values[next * width + c] - ks->values[k * width + c]) * t;
}

// Translation of the animation at a time from whichever tracks drive it.
Vector3 SampleTranslation(const ReadModelAnim* anim, float time) {
    float v[3] = {0, 0, 0};
    for (const ReadModelAnimKeySet* ks = anim->keySets.first; ks; ks = ks->nextInAnim) {
        float s[4];
        if (ks->keyKind == READ_KIND_TRANSLATION) {
            Sample(ks, time, s);
            v[0] = s[0], v[1] = s[1], v[2] = s[2];
        } else if (ks->keyKind >= READ_KIND_TRANSLATION_X && ks->keyKind <= READ_KIND_TRANSLATION_Z) {
            Sample(ks, time, s);
            v[ks->keyKind - READ_KIND_TRANSLATION_X] = s[0];
        }
    }
    return Vector3{v[0], v[1], v[2]};
}

TEST_F(AnimKeysTest, ReductionFlagsDecideWhatIsAdopted) {
    ReadModelAnimKeySet* a = Track(1, 10, {0, 1, 2}, {0, 0, 0, 1, 1, 1, 2, 2, 2});
    ReduceReadModelKeySet(&model, a, 1);
    EXPECT_EQ(a->keyCount, 3);  // two keys would pay, but the first pass only takes one
    ReduceReadModelKeySet(&model, a, 0);
    EXPECT_EQ(a->keyCount, 2);
    EXPECT_EQ(a->explicitTimes, 1);
    EXPECT_EQ(a->times[1], 2.0f);
    EXPECT_EQ(model.keyDataBytes, CountBytes());

    ReadModelAnimKeySet* still = Track(1, 10, {0, 1, 2, 3}, {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5});
    ReduceReadModelKeySet(&model, still, 1);
    EXPECT_EQ(still->keyCount, 1);
    EXPECT_EQ(still->explicitTimes, 0);
    EXPECT_EQ(still->timeStep, still->totalTime);

    ReadModelAnimKeySet* wobbly = Track(5, 11, {0, 2, 4, 6}, {0, 3, 1, 4});
    ReduceReadModelKeySet(&model, wobbly, 0);
    EXPECT_EQ(wobbly->keyCount, 4);
    EXPECT_EQ(wobbly->explicitTimes, 0);  // evenly spaced times give way to start and step
    EXPECT_EQ(wobbly->startTime, 0.0f);
    EXPECT_EQ(wobbly->timeStep, 2.0f);
    EXPECT_EQ(model.keyDataBytes, CountBytes());
}

// Tracks sampled at every half frame of a long motion: a still one still
// ends as one key, a straight one keeps a key every so often and still
// gives every original value back, both without work in the square of
// their keys.
TEST_F(AnimKeysTest, LongSampledTracksReduceInTimeLinearInTheirKeys) {
    const int n = 200001;
    std::vector<float> times(n), still(n, 2.5f), line(n);
    for (int i = 0; i < n; ++i) times[size_t(i)] = float(i) * 0.5f, line[size_t(i)] = float(i) * 0.25f;
    ReadModelAnimKeySet* a = Track(5, 11, times, still);
    ReadModelAnimKeySet* b = Track(5, 11, times, line);
    ReduceReadModelKeySet(&model, a, 0);
    ReduceReadModelKeySet(&model, b, 0);
    EXPECT_EQ(a->keyCount, 1);
    EXPECT_EQ(a->values[0], 2.5f);
    ASSERT_LT(b->keyCount, n / 100);
    for (int k = 1; k < b->keyCount; ++k) {
        const float t = b->times[k] - b->times[k - 1];
        EXPECT_LE(t, 64.0f);
        EXPECT_NEAR(b->values[k], b->times[k] * 0.5f, 1e-3f);
    }
    EXPECT_EQ(model.keyDataBytes, CountBytes());
}

TEST_F(AnimKeysTest, MatrixTrackOfTranslationsBecomesTranslationAndIdentityRotation) {
    std::vector<float> values;
    for (int k = 0; k < 3; ++k) {
        float m[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, float(k), float(2 * k), 7};
        values.insert(values.end(), m, m + 12);
    }
    ReadModelAnimKeySet* ks = Track(2, 15, {0, 1, 3}, values);
    NormalizeReadModelAnimKeys(&model);
    EXPECT_EQ(ks->keyKind == READ_KIND_TRANSLATION || ks->keyKind == READ_KIND_TRANSLATION_X, true);
    int rotations = 0, scales = 0;
    for (ReadModelAnimKeySet* t = anim->keySets.first; t; t = t->nextInAnim) {
        if (t->keyKind == READ_KIND_ROTATION) {
            ++rotations;
            EXPECT_EQ(t->valueType, READ_KEY_QUATERNION_INTERNAL);
            EXPECT_EQ(t->keyCount, 1);
            EXPECT_EQ(t->explicitTimes, 0);
            EXPECT_FLOAT_EQ(t->values[3], 1.0f);
        }
        if (t->keyKind == READ_KIND_SCALE) ++scales;
    }
    EXPECT_EQ(rotations, 1);
    EXPECT_EQ(scales, 0);
    for (float time : {0.0f, 1.0f, 3.0f, 2.0f}) {
        Vector3 v = SampleTranslation(anim, time);
        float expectX = time <= 1 ? time : 1 + (time - 1) / 2 * 1;
        EXPECT_NEAR(v.x, expectX, 1e-5) << time;
        EXPECT_NEAR(v.z, 7.0f, 1e-5);
    }
    EXPECT_EQ(model.keyDataBytes, CountBytes());
}

TEST_F(AnimKeysTest, ScaledMatrixTrackGetsAScaleTrack) {
    std::vector<float> values;
    for (int k = 0; k < 2; ++k) {
        float m[12] = {2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0};
        values.insert(values.end(), m, m + 12);
    }
    Track(2, 15, {0, 1}, values);
    NormalizeReadModelAnimKeys(&model);
    bool found = false;
    for (ReadModelAnimKeySet* t = anim->keySets.first; t; t = t->nextInAnim)
        if (t->keyKind == READ_KIND_SCALE) {
            found = true;
            EXPECT_FLOAT_EQ(t->values[0], 2.0f);
            EXPECT_FLOAT_EQ(t->values[2], 2.0f);
        }
    EXPECT_TRUE(found);
}

TEST_F(AnimKeysTest, QuaternionFromRowsRebuildsTheRotation) {
    for (int order = 0; order < 6; ++order) {
        Matrix44 m;
        const float r[3] = {0.4f + order, -1.3f, 2.9f - order}, one[3] = {1, 1, 1}, zero[3] = {0, 0, 0};
        BuildFrameMatrixFromOrder(r, one, zero, nullptr, &m, order);
        float rows[9], q[4];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) rows[i * 3 + j] = m.m[i][j];
        QuaternionFromRotationRows(rows, q);
        Matrix34 back;
        BuildRotation34FromQuaternion(&back, q);
        Matrix44 back44;
        ConvertMatrix34To44(&back44, &back);
        EXPECT_EQ(CompareMatrixRotationParts(&m, &back44, 1e-5f), 1) << order;
    }
}

TEST_F(AnimKeysTest, StillAxesAreSplitOffAndAgreeingAxesMergedBack) {
    Track(1, 10, {0, 1, 2, 3}, {0, 5, 1, 1, 5, 3, 2, 5, 0, 3, 5, 9});
    NormalizeReadModelAnimKeys(&model);
    EXPECT_EQ(anim->keySets.count, 3);
    const ReadModelAnimKeySet* y = anim->keySets.first->nextInAnim;
    EXPECT_EQ(y->keyKind, READ_KIND_TRANSLATION_Y);
    EXPECT_EQ(y->keyCount, 1);
    EXPECT_EQ(model.keyDataBytes, CountBytes());

    set->words[1] = 1;  // kept whole
    ReadModelAnim* other = AddReadModelAnim(&model, set);
    anim = other;
    Track(1, 10, {0, 1, 2, 3}, {0, 5, 1, 1, 5, 3, 2, 5, 0, 3, 5, 9});
    NormalizeReadModelAnimKeys(&model);
    EXPECT_EQ(other->keySets.count, 1);
}

TEST_F(AnimKeysTest, EveryOriginalKeyTimeEvaluatesTheSameAfterNormalisation) {
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> jump(-1.0f, 1.0f);
    for (int trial = 0; trial < 40; ++trial) {
        ReadModelAnim* a = AddReadModelAnim(&model, set);
        anim = a;
        int keys = 3 + trial % 17;
        bool explicitTimes = trial % 2 == 0;
        std::vector<float> times, values;
        float value[3] = {0, 0, 0};
        for (int k = 0; k < keys; ++k) {
            if (explicitTimes) times.push_back(float(k * 2 + (trial % 3 == 0 ? k % 2 : 0)));
            // Runs of straight motion give the reduction keys to drop.
            for (int c = 0; c < 3; ++c) {
                if ((k / 3 + c + trial) % 4 == 0) value[c] += jump(random);
                else if (c == 1) value[c] += 0.25f;
                values.push_back(value[c]);
            }
        }
        ReadModelAnimKeySet* ks = Track(1, 10, times, values);
        std::vector<float> original = values;
        std::vector<float> originalTimes;
        for (int k = 0; k < keys; ++k) originalTimes.push_back(explicitTimes ? times[k] : float(k));
        (void)ks;
        NormalizeReadModelAnimKeys(&model);
        for (int k = 0; k < keys; ++k) {
            Vector3 v = SampleTranslation(a, originalTimes[k]);
            EXPECT_NEAR(v.x, original[k * 3], 2e-5) << "trial " << trial << " key " << k;
            EXPECT_NEAR(v.y, original[k * 3 + 1], 2e-5) << "trial " << trial << " key " << k;
            EXPECT_NEAR(v.z, original[k * 3 + 2], 2e-5) << "trial " << trial << " key " << k;
        }
    }
    EXPECT_EQ(model.keyDataBytes, CountBytes());
}

TEST_F(AnimKeysTest, DroppedKeysUseTheirRealFractionWithoutExplicitTimes) {
    // Key 1 lies halfway between keys 0 and 2, key 2 halfway between keys
    // 0 and 3: a fixed half would drop both, and time 1 would then give
    // 4/3 instead of 1.
    Track(5, 11, {}, {0, 1, 2, 4});
    NormalizeReadModelAnimKeys(&model);
    for (int k = 0; k < 4; ++k) {
        float v;
        Sample(anim->keySets.first, float(k), &v);
        EXPECT_NEAR(v, (k == 3 ? 4.0f : float(k)), 1e-6) << k;
    }
}

}  // namespace
