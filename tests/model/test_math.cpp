#include <gtest/gtest.h>

#include <cmath>

#include "engine/log.h"
#include "engine/model.h"
#include "model/anim/anim_eval.h"
#include "model/base/model_math.h"
#include "scoped_temp_dir.h"

using namespace morpotta;

namespace {

// Independent double-precision reference: column-vector axis rotations.
struct M3 {
    double a[3][3];
};

M3 Mul(const M3& x, const M3& y) {
    M3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r.a[i][j] += x.a[i][k] * y.a[k][j];
    return r;
}

M3 Axis(int axis, double angle) {
    double c = std::cos(angle), s = std::sin(angle);
    if (axis == 0) return M3{{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
    if (axis == 1) return M3{{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}};
    return M3{{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
}

// The first axis of the order turns first: it multiplies on the right.
M3 Reference(int order, const double angles[3]) {
    static const int kAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
    M3 r = Axis(kAxes[order][0], angles[kAxes[order][0]]);
    r = Mul(Axis(kAxes[order][1], angles[kAxes[order][1]]), r);
    return Mul(Axis(kAxes[order][2], angles[kAxes[order][2]]), r);
}

TEST(ModelMathTest, SixRotationOrdersMatchAnIndependentProduct) {
    const double angles[3] = {0.3, -1.1, 2.5};
    for (int order = 0; order < 6; ++order) {
        M3 ref = Reference(order, angles);
        Matrix34 m;
        ASSERT_EQ(BuildRotation34ByOrder(&m, order, float(angles[0]), float(angles[1]), float(angles[2])), 0);
        Matrix44 e;
        const float r[3] = {float(angles[0]), float(angles[1]), float(angles[2])};
        const float one[3] = {1, 1, 1}, zero[3] = {0, 0, 0};
        ASSERT_EQ(BuildFrameMatrixFromOrder(r, one, zero, nullptr, &e, order), 0);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                EXPECT_NEAR(m.m[i * 4 + j], ref.a[i][j], 2e-4) << "order " << order;  // sine table steps
                EXPECT_NEAR(e.m[j][i], ref.a[i][j], 1e-5) << "order " << order;     // row-vector transpose
            }
        EXPECT_EQ(m.m[3], 0.0f);
    }
    Matrix34 m;
    EXPECT_EQ(BuildRotation34ByOrder(&m, 6, 0, 0, 0), -1);
}

TEST(ModelMathTest, EulerBuildersAgreeWithTheFrameBuilder) {
    const float r[3] = {0.7f, 0.2f, -0.4f};
    const float one[3] = {1, 1, 1}, zero[3] = {0, 0, 0};
    int (*builders[6])(Matrix44*, float, float, float) = {BuildEulerXYZMatrix, BuildEulerXZYMatrix,
                                                          BuildEulerYZXMatrix, BuildEulerYXZMatrix,
                                                          BuildEulerZXYMatrix, BuildEulerZYXMatrix};
    for (int order = 0; order < 6; ++order) {
        Matrix44 a, b;
        builders[order](&a, r[0], r[1], r[2]);
        BuildFrameMatrixFromOrder(r, one, zero, nullptr, &b, order);
        EXPECT_EQ(CompareMatrixRotationParts(&a, &b, 1e-5f), 1) << order;
    }
}

TEST(ModelMathTest, FrameMatrixAppliesScaleRotationThenTranslation) {
    const float r[3] = {0.0f, 0.5f, 0.0f}, s[3] = {2, 3, 4}, t[3] = {10, 20, 30};
    Matrix44 m;
    ASSERT_EQ(BuildFrameMatrixFromOrder(r, s, t, nullptr, &m, 3), 0);
    float p[3] = {1, 0, 0}, out[3];
    TransformPointByMatrix(out, p, &m.m[0][0]);
    EXPECT_NEAR(out[0], 10 + 2 * std::cos(0.5), 1e-5);
    EXPECT_NEAR(out[2], 30 - 2 * std::sin(0.5), 1e-5);  // left-handed turn about y
    EXPECT_EQ(BuildFrameMatrixFromOrder(r, s, t, nullptr, &m, 7), -1);
    EXPECT_EQ(m.m[0][0], 2.0f);
    EXPECT_EQ(m.m[3][0], 0.0f);
}

// A null vector, matrix or place for the result is refused: null, a line
// naming the function, and nothing written.
TEST(ModelMathTest, TransformsRefuseNullPointers) {
    ScopedTempDir dir;
    SetLogOutput(1);
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1}, v[3] = {1, 2, 3};
    float out[3] = {7, 7, 7};
    EXPECT_EQ(TransformPointByMatrix(out, nullptr, m), nullptr);
    EXPECT_EQ(TransformPointByMatrix(out, v, nullptr), nullptr);
    EXPECT_EQ(TransformPointByMatrix(nullptr, v, m), nullptr);
    EXPECT_EQ(TransformDirectionByMatrix(out, nullptr, m), nullptr);
    EXPECT_EQ(out[0], 7.0f);
    EXPECT_EQ(TransformPointByMatrix(out, v, m), out);
    EXPECT_EQ(out[0], 5.0f);
    SetLogOutput(0);
    const std::string log = ScopedTempDir::ReadFile(dir.path() / "Log.txt");
    for (const char* line : {"TransformPointByMatrix refused: no vector (null)",
                             "TransformPointByMatrix refused: no matrix (null)",
                             "TransformPointByMatrix refused: no place for the result (null)",
                             "TransformDirectionByMatrix refused: no vector (null)"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST(ModelMathTest, SineTableWrapsAndGuardsAngles) {
    float s0, c0, s1, c1;
    LookupSinCos(0.0f, &s0, &c0);
    LookupSinCos(6.2831855f, &s1, &c1);
    EXPECT_EQ(s0, s1);
    EXPECT_EQ(c0, c1);
    LookupSinCos(-1.0f, &s0, &c0);
    EXPECT_NEAR(s0, std::sin(-1.0), 1e-4);
    EXPECT_NEAR(c0, std::cos(-1.0), 1e-4);
    LookupSinCos(1e30f, &s0, &c0);  // huge: within the table, no overrun
    EXPECT_LE(std::fabs(s0), 1.0f);
    LookupSinCos(-1e30f, &s0, &c0);
    EXPECT_LE(std::fabs(c0), 1.0f);
    LookupSinCos(INFINITY, &s0, &c0);
    EXPECT_EQ(s0, 0.0f);
    LookupSinCos(NAN, &s0, &c0);
    EXPECT_EQ(c0, 1.0f);
}

TEST(ModelMathTest, Matrix34ProductsAndConversions) {
    Matrix44 a44, b44;
    BuildEulerXYZMatrix(&a44, 0.1f, 0.2f, 0.3f);
    a44.m[3][0] = 1;
    a44.m[3][1] = 2;
    a44.m[3][2] = 3;
    BuildEulerZYXMatrix(&b44, -0.4f, 0.5f, 0.6f);
    b44.m[3][0] = -5;
    Matrix34 a, b, ab;
    ConvertMatrix44To34(&a, &a44);
    ConvertMatrix44To34(&b, &b44);
    MultiplyMatrix34(&a, &ab, &b);  // b first
    Matrix44 ref, back;
    BuildProductMatrix(&ref, &b44, &a44);
    ConvertMatrix34To44(&back, &ab);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(back.m[i][j], ref.m[i][j], 1e-5);
    Matrix34 at;
    MultiplyMatrix34ByTranslation(&a, &b, &at);
    Vector3 v{0, 0, 0}, p;
    TransformPointBy34(&at, &p, &v);
    Vector3 bt{b.m[3], b.m[7], b.m[11]}, q;
    TransformPointBy34(&a, &q, &bt);
    EXPECT_NEAR(p.x, q.x, 1e-5);
    EXPECT_NEAR(p.y, q.y, 1e-5);
    float dir[3] = {1, 0, 0}, out[3];
    TransformDirectionByMatrix(out, dir, &a44.m[0][0]);
    EXPECT_NEAR(out[0], a44.m[0][0], 1e-7);
}

void ReferenceSlerp(double out[4], const double a[4], const double b[4], double t) {
    double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    double sign = dot < 0 ? -1 : 1;
    dot = std::fabs(dot);
    double angle = std::acos(std::min(1.0, dot));
    double wa = std::sin((1 - t) * angle) / std::sin(angle), wb = sign * std::sin(t * angle) / std::sin(angle);
    for (int i = 0; i < 4; ++i) out[i] = a[i] * wa + b[i] * wb;
}

TEST(ModelMathTest, SlerpFollowsTheShorterArc) {
    const double a[4] = {0, 0, 0, 1};
    const double b[4] = {0, -std::sin(1.2), 0, -std::cos(1.2)};  // far side of the sphere
    for (double t : {0.0, 0.25, 0.5, 0.9, 1.0}) {
        double ref[4];
        ReferenceSlerp(ref, a, b, t);
        float af[4], bf[4], out[4];
        for (int i = 0; i < 4; ++i) af[i] = float(a[i]), bf[i] = float(b[i]);
        SlerpQuaternion(out, af, bf, float(t));
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(out[i], ref[i], 1e-5) << t;
    }
    float same[4] = {0, 0, 0, 1}, out[4];
    SlerpQuaternion(out, same, same, 0.5f);
    EXPECT_EQ(out[3], 1.0f);
}

}  // namespace
