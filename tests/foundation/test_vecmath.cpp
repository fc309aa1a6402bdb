#include "engine/vecmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kHalfPi = kPi / 2.0f;

using BuildFn = int (*)(Matrix44*, float, float, float);
using ExtractFn = int (*)(const Matrix44*, float*, float*, float*);

struct EulerOrder {
    const char* name;
    BuildFn build;
    ExtractFn extract;
    char axes[3];  // turning order
};

const EulerOrder kOrders[] = {
    {"XYZ", BuildEulerXYZMatrix, ExtractEulerXYZAngles, {'x', 'y', 'z'}},
    {"XZY", BuildEulerXZYMatrix, ExtractEulerXZYAngles, {'x', 'z', 'y'}},
    {"YXZ", BuildEulerYXZMatrix, ExtractEulerYXZAngles, {'y', 'x', 'z'}},
    {"YZX", BuildEulerYZXMatrix, ExtractEulerYZXAngles, {'y', 'z', 'x'}},
    {"ZXY", BuildEulerZXYMatrix, ExtractEulerZXYAngles, {'z', 'x', 'y'}},
    {"ZYX", BuildEulerZYXMatrix, ExtractEulerZYXAngles, {'z', 'y', 'x'}},
};

Matrix44 AxisRotation(char axis, float angle) {
    switch (axis) {
        case 'x': return MakeXRotationMatrix(angle);
        case 'y': return MakeYRotationMatrix(angle);
        default: return MakeZRotationMatrix(angle);
    }
}

int Slot(char axis) { return axis == 'x' ? 0 : axis == 'y' ? 1 : 2; }

float AngleFor(char axis, float ax, float ay, float az) {
    return axis == 'x' ? ax : axis == 'y' ? ay : az;
}

float MaxDifference(const Matrix44& a, const Matrix44& b) {
    float worst = 0.0f;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) worst = std::fmax(worst, std::fabs(a.m[r][c] - b.m[r][c]));
    return worst;
}

Matrix44 FromRows(std::initializer_list<float> values) {
    Matrix44 m{};
    int n = 0;
    for (float v : values) {
        m.m[n / 4][n % 4] = v;
        ++n;
    }
    return m;
}

Vector3 TransformPoint(const Vector3& p, const Matrix44& m) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

// Angles from -pi to pi in steps of pi/4, which hits the lock (+-pi/2 for
// the middle angle) as well as the wrap points.
std::vector<float> AngleGrid() {
    std::vector<float> grid;
    for (int n = -4; n <= 4; ++n) grid.push_back(n * kPi / 4.0f);
    grid.push_back(0.3f);
    grid.push_back(-1.2f);
    grid.push_back(kHalfPi - 1e-3f);
    return grid;
}

}  // namespace

TEST(VecmathVectors, CrossProductWritesIntoAnOperand) {
    const Vector3 x{1, 0, 0}, y{0, 1, 0};
    Vector3 a = x;
    CrossVectorsInto(&a, &a, &y);
    EXPECT_EQ(a.x, 0.0f);
    EXPECT_EQ(a.y, 0.0f);
    EXPECT_EQ(a.z, 1.0f);

    Vector3 b{2, 3, 4};
    const Vector3 c{-1, 5, 0.5f};
    const Vector3 expected{3 * 0.5f - 4 * 5, 4 * -1 - 2 * 0.5f, 2 * 5 - 3 * -1};
    CrossVectorsInto(&b, &c, &b);  // c x b == -(b x c)
    EXPECT_FLOAT_EQ(b.x, -expected.x);
    EXPECT_FLOAT_EQ(b.y, -expected.y);
    EXPECT_FLOAT_EQ(b.z, -expected.z);

    Vector3 s{1, 2, 3};
    AddVectorsInto(&s, &s, &s);
    EXPECT_EQ(s.z, 6.0f);
    SubtractVectorsInto(&s, &s, &s);
    EXPECT_EQ(s.x, 0.0f);
}

TEST(VecmathVectors, LengthIsZeroForTinyVectorsButNormalizeIsUnguarded) {
    EXPECT_FLOAT_EQ(MeasureVectorLength(3, 4, 0), 5.0f);
    EXPECT_EQ(MeasureVectorLength(2e-4f, 0, 0), 0.0f);  // squared 4e-8
    EXPECT_GT(MeasureVectorLength(4e-4f, 0, 0), 0.0f);  // squared 1.6e-7

    const Vector3 n = MakeNormalizedVector(0, 3, -4);
    EXPECT_FLOAT_EQ(n.y, 0.6f);
    EXPECT_FLOAT_EQ(n.z, -0.8f);
    // A short vector that the length check calls zero still normalises.
    const Vector3 s = MakeNormalizedVector(1e-4f, 0, 0);
    EXPECT_FLOAT_EQ(s.x, 1.0f);

    const Vector3 z = MakeNormalizedVector(0, 0, 0);
    EXPECT_FALSE(std::isfinite(z.x));
}

TEST(VecmathMatrix, HandednessOfAxisRotations) {
    // Left-handed with row vectors: a quarter turn about +y takes +x to -z,
    // about +x takes +y to +z, about +z takes +x to +y.
    const Vector3 px{1, 0, 0}, py{0, 1, 0};
    const Vector3 a = TransformPoint(px, MakeYRotationMatrix(kHalfPi));
    EXPECT_NEAR(a.x, 0.0f, 1e-6f);
    EXPECT_NEAR(a.y, 0.0f, 1e-6f);
    EXPECT_NEAR(a.z, -1.0f, 1e-6f);
    const Vector3 b = TransformPoint(py, MakeXRotationMatrix(kHalfPi));
    EXPECT_NEAR(b.z, 1.0f, 1e-6f);
    const Vector3 c = TransformPoint(px, MakeZRotationMatrix(kHalfPi));
    EXPECT_NEAR(c.y, 1.0f, 1e-6f);
}

TEST(VecmathMatrix, ProductAppliesLeftOperandFirst) {
    // Rotate then translate: the point is turned about the origin and then
    // moved, so the translation is not rotated.
    Matrix44 t;
    BuildTranslationMatrix(&t, 10, 20, 30);
    const Matrix44 m = MakeProductMatrix(MakeZRotationMatrix(kHalfPi), t);
    const Vector3 p = TransformPoint({1, 0, 0}, m);
    EXPECT_NEAR(p.x, 10.0f, 1e-5f);
    EXPECT_NEAR(p.y, 21.0f, 1e-5f);
    EXPECT_NEAR(p.z, 30.0f, 1e-5f);
    EXPECT_EQ(m.m[3][0], 10.0f);
}

TEST(VecmathMatrix, ProductMayWriteIntoEitherOperand) {
    const Matrix44 a = FromRows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    const Matrix44 b = FromRows({2, 0, 1, 0, 0, 1, 0, 3, 1, 0, 0, 1, 0, 2, 1, 0});
    Matrix44 expected;
    BuildProductMatrix(&expected, &a, &b);
    // Row 0 by hand: (1*2 + 3*1, 2*1 + 4*2, 1*1 + 4*1, 2*3 + 3*1).
    EXPECT_EQ(expected.m[0][0], 5.0f);
    EXPECT_EQ(expected.m[0][1], 10.0f);
    EXPECT_EQ(expected.m[0][2], 5.0f);
    EXPECT_EQ(expected.m[0][3], 9.0f);

    Matrix44 left = a;
    BuildProductMatrix(&left, &left, &b);
    EXPECT_EQ(MaxDifference(left, expected), 0.0f);
    Matrix44 right = b;
    BuildProductMatrix(&right, &a, &right);
    EXPECT_EQ(MaxDifference(right, expected), 0.0f);
    Matrix44 both = a;
    BuildProductMatrix(&both, &both, &both);
    EXPECT_EQ(MaxDifference(both, MakeProductMatrix(a, a)), 0.0f);
}

TEST(VecmathMatrix, InverseTimesOriginalIsIdentity) {
    Matrix44 m;
    BuildEulerYXZMatrix(&m, 0.4f, -1.1f, 2.5f);
    Matrix44 t;
    BuildTranslationMatrix(&t, 3, -7, 12.5f);
    m = MakeProductMatrix(MakeProductMatrix(MakeScalingMatrix(2, 0.5f, 3), m), t);
    m.m[0][3] = 0.25f;  // a projective column too
    m.m[2][3] = -0.5f;

    Matrix44 inv;
    ASSERT_EQ(BuildInverseMatrix(&inv, &m), 0);
    EXPECT_LT(MaxDifference(MakeProductMatrix(m, inv), MakeIdentityMatrix()), 1e-5f);
    EXPECT_LT(MaxDifference(MakeProductMatrix(inv, m), MakeIdentityMatrix()), 1e-5f);

    Matrix44 inPlace = m;
    ASSERT_EQ(BuildInverseMatrix(&inPlace, &inPlace), 0);
    EXPECT_EQ(MaxDifference(inPlace, inv), 0.0f);
}

TEST(VecmathMatrix, SingularMatricesAreRefusedAndOutputUntouched) {
    const Matrix44 zeroRow = FromRows({1, 2, 3, 4, 0, 0, 0, 0, 5, 6, 7, 8, 1, 1, 1, 1});
    // Row 2 = row 0 + row 1: rank 3.
    const Matrix44 dependent = FromRows({1, 2, 3, 0, 4, 5, 6, 0, 5, 7, 9, 0, 0, 0, 0, 1});
    // Rank 2: rows 1 and 3 repeat rows 0 and 2.
    const Matrix44 rank2 = FromRows({1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 0, 2, 0, 2});
    // Well conditioned but with a determinant of 1e-8.
    Matrix44 tiny;
    BuildEulerXYZMatrix(&tiny, 0.3f, 0.2f, 0.1f);
    tiny = MakeProductMatrix(MakeScalingMatrix(1e-4f, 1e-4f, 1.0f), tiny);

    for (const Matrix44& m : {zeroRow, dependent, rank2, tiny}) {
        Matrix44 out = FromRows({9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9});
        const Matrix44 before = out;
        EXPECT_EQ(BuildInverseMatrix(&out, &m), -1);
        EXPECT_EQ(MaxDifference(out, before), 0.0f);
        EXPECT_EQ(MaxDifference(MakeInverseMatrix(m), MakeIdentityMatrix()), 0.0f);
    }

    // Just above the threshold: a determinant of 1e-6 is inverted.
    const Matrix44 small = MakeScalingMatrix(1e-2f, 1e-2f, 1e-2f);
    Matrix44 inv;
    EXPECT_EQ(BuildInverseMatrix(&inv, &small), 0);
    EXPECT_NEAR(inv.m[1][1], 100.0f, 1e-3f);
}

TEST(VecmathMatrix, AxisRotationMatchesTheAxisMatrices) {
    for (float angle : {0.0f, 0.7f, -2.3f, kPi}) {
        EXPECT_LT(MaxDifference(MakeAxisRotationMatrix({1, 0, 0}, angle), MakeXRotationMatrix(angle)), 1e-6f);
        EXPECT_LT(MaxDifference(MakeAxisRotationMatrix({0, 1, 0}, angle), MakeYRotationMatrix(angle)), 1e-6f);
        EXPECT_LT(MaxDifference(MakeAxisRotationMatrix({0, 0, 1}, angle), MakeZRotationMatrix(angle)), 1e-6f);
        // The axis is normalised first.
        EXPECT_LT(MaxDifference(MakeAxisRotationMatrix({0, 0, -5}, angle), MakeZRotationMatrix(-angle)), 1e-6f);
    }
    // A turn about any axis leaves that axis fixed.
    const Vector3 axis = MakeNormalizedVector(1, 2, -3);
    const Vector3 p = TransformPoint(axis, MakeAxisRotationMatrix({1, 2, -3}, 1.3f));
    EXPECT_NEAR(p.x, axis.x, 1e-6f);
    EXPECT_NEAR(p.y, axis.y, 1e-6f);
    EXPECT_NEAR(p.z, axis.z, 1e-6f);
}

TEST(VecmathEuler, BuilderEqualsProductOfAxisRotations) {
    const float samples[][3] = {{0.3f, -0.8f, 1.9f}, {-2.8f, 1.2f, 0.05f}, {kHalfPi, kHalfPi, -kHalfPi}};
    for (const EulerOrder& order : kOrders) {
        SCOPED_TRACE(order.name);
        for (const auto& s : samples) {
            Matrix44 built;
            ASSERT_EQ(order.build(&built, s[0], s[1], s[2]), 0);
            Matrix44 product = MakeIdentityMatrix();
            for (char axis : order.axes)
                product = MakeProductMatrix(product, AxisRotation(axis, AngleFor(axis, s[0], s[1], s[2])));
            EXPECT_LT(MaxDifference(built, product), 1e-6f);
        }
    }
}

TEST(VecmathEuler, RoundTripInAllOrders) {
    const std::vector<float> grid = AngleGrid();
    for (const EulerOrder& order : kOrders) {
        SCOPED_TRACE(order.name);
        for (float first : grid)
            for (float middle : grid)
                for (float last : grid) {
                    float in[3];
                    in[Slot(order.axes[0])] = first;
                    in[Slot(order.axes[1])] = middle;
                    in[Slot(order.axes[2])] = last;
                    Matrix44 m;
                    order.build(&m, in[0], in[1], in[2]);
                    float ax = 99, ay = 99, az = 99;
                    ASSERT_EQ(order.extract(&m, &ax, &ay, &az), 0);
                    Matrix44 rebuilt;
                    order.build(&rebuilt, ax, ay, az);
                    // asin loses precision as the middle angle nears the lock: a
                    // float sine one ulp off moves its cosine by ulp / cos.
                    const float tolerance = std::fabs(std::cos(middle)) > 0.1f ? 2e-6f : 5e-5f;
                    ASSERT_LT(MaxDifference(m, rebuilt), tolerance)
                        << "turns " << first << " " << middle << " " << last << " gave " << ax << " " << ay << " " << az;
                    // atan2/asin ranges: no angle comes back wrapped past pi.
                    for (float v : {ax, ay, az}) EXPECT_LE(std::fabs(v), kPi + 1e-6f);
                }
    }
}

TEST(VecmathEuler, UnambiguousAnglesComeBackExactly) {
    for (const EulerOrder& order : kOrders) {
        SCOPED_TRACE(order.name);
        Matrix44 m;
        order.build(&m, 0.4f, -0.6f, 1.1f);
        float a[3];
        order.extract(&m, &a[0], &a[1], &a[2]);
        EXPECT_NEAR(a[0], 0.4f, 1e-5f);
        EXPECT_NEAR(a[1], -0.6f, 1e-5f);
        EXPECT_NEAR(a[2], 1.1f, 1e-5f);
    }
}

TEST(VecmathEuler, GimbalLockPutsEverythingInTheFirstAngle) {
    for (const EulerOrder& order : kOrders) {
        SCOPED_TRACE(order.name);
        for (float middle : {kHalfPi, -kHalfPi}) {
            float in[3] = {0, 0, 0};
            in[Slot(order.axes[0])] = 0.5f;
            in[Slot(order.axes[1])] = middle;
            in[Slot(order.axes[2])] = 0.3f;
            Matrix44 m;
            order.build(&m, in[0], in[1], in[2]);
            float out[3];
            order.extract(&m, &out[0], &out[1], &out[2]);
            EXPECT_EQ(out[Slot(order.axes[2])], 0.0f);
            EXPECT_NEAR(out[Slot(order.axes[1])], middle, 1e-6f);
            Matrix44 rebuilt;
            order.build(&rebuilt, out[0], out[1], out[2]);
            EXPECT_LT(MaxDifference(m, rebuilt), 1e-6f);
        }
    }
}

TEST(VecmathEuler, NullOutputsAreSkippedAndTranslationIgnored) {
    Matrix44 m;
    BuildEulerZXYMatrix(&m, 0.2f, 0.4f, 0.6f);
    m.m[3][0] = 50;  // translation must not disturb the angles
    float ay = 0;
    EXPECT_EQ(ExtractEulerZXYAngles(&m, nullptr, &ay, nullptr), 0);
    EXPECT_NEAR(ay, 0.4f, 1e-5f);
    EXPECT_EQ(ExtractEulerZXYAngles(&m, nullptr, nullptr, nullptr), 0);
}

TEST(VecmathScalar, WrappersRoundTheDoubleResult) {
    float s = 0, c = 0;
    ComputeSinCos(0.5f, &s, &c);
    EXPECT_EQ(s, static_cast<float>(std::sin(0.5)));
    EXPECT_EQ(c, static_cast<float>(std::cos(0.5)));
    EXPECT_EQ(Atan2Float(1.0f, -1.0f), static_cast<float>(std::atan2(1.0, -1.0)));
    EXPECT_EQ(AsinFloat(0.3f), static_cast<float>(std::asin(double{0.3f})));
    EXPECT_EQ(AcosFloat(-0.3f), static_cast<float>(std::acos(double{-0.3f})));
    EXPECT_EQ(PowFloat(1.1f, 7.5f), static_cast<float>(std::pow(double{1.1f}, 7.5)));
    EXPECT_EQ(ComputeSquareRoot(2.0f), std::sqrt(2.0f));
    EXPECT_TRUE(std::isnan(AsinFloat(1.5f)));
}
