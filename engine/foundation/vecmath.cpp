// Vectors and matrices. Row vectors, left-handed: p' = p x M, and in A x B
// the transform A applies first. Trigonometry goes through double so every
// build rounds the same way.
#include "engine/vecmath.h"

#include "foundation/public_call.h"
#include "foundation/vecmath_internal.h"

#include <cmath>

using namespace morpotta;

namespace {

constexpr double kHalfPi = 1.5707963267948966;
// Below this |cos| of the middle Euler angle the first and last axes
// coincide and only their sum (or difference) is defined.
constexpr double kGimbalCos = 1e-6;
constexpr double kSingularDeterminant = 1e-7;
constexpr float kShortVectorSquared = 1e-7f;

void SetIdentity(Matrix44* out) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out->m[r][c] = (r == c) ? 1.0f : 0.0f;
}

// Rotation about axis 0, 1 or 2. With (a, b, c) the axes in cyclic order
// starting at the rotation axis: m[b][b] = m[c][c] = cos, m[b][c] = sin,
// m[c][b] = -sin.
void SetAxisRotation(Matrix44* out, int axis, float angle) {
    float s, c;
    ComputeSinCos(angle, &s, &c);
    SetIdentity(out);
    const int b = (axis + 1) % 3;
    const int d = (axis + 2) % 3;
    out->m[b][b] = c;
    out->m[b][d] = s;
    out->m[d][b] = -s;
    out->m[d][d] = c;
}

// Product of three axis rotations; axes[0] turns first.
void BuildEuler(Matrix44* out, const int axes[3], const float angles[3]) {
    Matrix44 r0, r1, r2;
    SetAxisRotation(&r0, axes[0], angles[0]);
    SetAxisRotation(&r1, axes[1], angles[1]);
    SetAxisRotation(&r2, axes[2], angles[2]);
    Matrix44 t;
    BuildProductMatrix(&t, &r0, &r1);
    BuildProductMatrix(out, &t, &r2);
}

// Inverse of BuildEuler for the order (i, j, k): returns the angles turned
// about i, j and k. `sign` is -1 when (i, j, k) is a cyclic order of
// (x, y, z) and +1 otherwise; it fixes which off-diagonal terms carry +sin.
void ExtractEuler(const Matrix44* m, int i, int j, int k, double out[3]) {
    const double sign = ((j == (i + 1) % 3) ? -1.0 : 1.0);
    auto at = [m](int r, int c) { return static_cast<double>(m->m[r][c]); };

    double sb = sign * at(i, k);
    if (sb > 1.0) sb = 1.0;
    if (sb < -1.0) sb = -1.0;
    const double cb = std::hypot(at(i, i), at(i, j));

    if (cb < kGimbalCos) {
        // Fixed choice: the last angle is 0, the first takes the rest.
        out[0] = std::atan2(sign * at(k, j), at(j, j));
        out[1] = sb > 0.0 ? kHalfPi : -kHalfPi;
        out[2] = 0.0;
        return;
    }
    const double a = std::atan2(-sign * at(j, k), at(k, k));
    // The last angle is taken after undoing the first, so the two stay
    // consistent with each other even close to the lock.
    const double sa = std::sin(a), ca = std::cos(a);
    const double sc = sign * ca * at(j, i) + sa * at(k, i);
    const double cc = ca * at(j, j) + sign * sa * at(k, j);
    out[0] = a;
    out[1] = std::asin(sb);
    out[2] = std::atan2(sc, cc);
}

// Writes the angles of ExtractEuler for the order given by axis letters to
// the x, y, z outputs.
int ExtractInto(const char* function, const Matrix44* m, int i, int j, int k, float* ax, float* ay, float* az) {
    if (!m) return RefuseNullIn(function, "matrix");
    double angles[3];
    ExtractEuler(m, i, j, k, angles);
    float byAxis[3];
    byAxis[i] = static_cast<float>(angles[0]);
    byAxis[j] = static_cast<float>(angles[1]);
    byAxis[k] = static_cast<float>(angles[2]);
    if (ax) *ax = byAxis[0];
    if (ay) *ay = byAxis[1];
    if (az) *az = byAxis[2];
    return 0;
}

int BuildOrder(const char* function, Matrix44* out, int i, int j, int k, float ax, float ay, float az) {
    if (!out) return RefuseNullIn(function, "matrix");
    const float byAxis[3] = {ax, ay, az};
    const int axes[3] = {i, j, k};
    const float angles[3] = {byAxis[i], byAxis[j], byAxis[k]};
    BuildEuler(out, axes, angles);
    return 0;
}

}  // namespace

int AddVectorsInto(Vector3* out, const Vector3* a, const Vector3* b) {
    if (!out || !a || !b) return RefuseNullIn("AddVectorsInto", "vector");
    const Vector3 r{a->x + b->x, a->y + b->y, a->z + b->z};
    *out = r;
    return 0;
}

int SubtractVectorsInto(Vector3* out, const Vector3* a, const Vector3* b) {
    if (!out || !a || !b) return RefuseNullIn("SubtractVectorsInto", "vector");
    const Vector3 r{a->x - b->x, a->y - b->y, a->z - b->z};
    *out = r;
    return 0;
}

int CrossVectorsInto(Vector3* out, const Vector3* a, const Vector3* b) {
    if (!out || !a || !b) return RefuseNullIn("CrossVectorsInto", "vector");
    // Built in a temporary: out may be a or b.
    const Vector3 r{a->y * b->z - a->z * b->y,
                    a->z * b->x - a->x * b->z,
                    a->x * b->y - a->y * b->x};
    *out = r;
    return 0;
}

float DotVectors(const Vector3* a, const Vector3* b) {
    if (!a || !b) return RefuseNullIn("DotVectors", "vector"), 0.0f;
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

int NormalizeVectorInto(Vector3* out, const Vector3* in) {
    if (!out || !in) return RefuseNullIn("NormalizeVectorInto", "vector");
    const float length = std::sqrt(in->x * in->x + in->y * in->y + in->z * in->z);
    const Vector3 r{in->x / length, in->y / length, in->z / length};
    *out = r;
    return 0;
}

Vector3 MakeNormalizedVector(float x, float y, float z) {
    const Vector3 in{x, y, z};
    Vector3 out;
    NormalizeVectorInto(&out, &in);
    return out;
}

float MeasureVectorLength(float x, float y, float z) {
    const float squared = x * x + y * y + z * z;
    if (squared < kShortVectorSquared) return 0.0f;
    return std::sqrt(squared);
}

int BuildIdentityMatrix(Matrix44* out) {
    if (!out) return RefuseNullIn("BuildIdentityMatrix", "matrix");
    SetIdentity(out);
    return 0;
}

int BuildTranslationMatrix(Matrix44* out, float x, float y, float z) {
    if (!out) return RefuseNullIn("BuildTranslationMatrix", "matrix");
    SetIdentity(out);
    out->m[3][0] = x;
    out->m[3][1] = y;
    out->m[3][2] = z;
    return 0;
}

int BuildProductMatrix(Matrix44* out, const Matrix44* a, const Matrix44* b) {
    if (!out || !a || !b) return RefuseNullIn("BuildProductMatrix", "matrix");
    Matrix44 r;  // out may be a or b
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            r.m[row][col] = a->m[row][0] * b->m[0][col] + a->m[row][1] * b->m[1][col] +
                            a->m[row][2] * b->m[2][col] + a->m[row][3] * b->m[3][col];
        }
    }
    *out = r;
    return 0;
}

namespace morpotta {

// Cofactor expansion through 2x2 minors of the top and bottom row pairs,
// in double.
bool InvertMatrix(const Matrix44& in, Matrix44* out) {
    double a[16];
    for (int n = 0; n < 16; ++n) a[n] = in.m[n / 4][n % 4];

    const double s0 = a[0] * a[5] - a[4] * a[1];
    const double s1 = a[0] * a[6] - a[4] * a[2];
    const double s2 = a[0] * a[7] - a[4] * a[3];
    const double s3 = a[1] * a[6] - a[5] * a[2];
    const double s4 = a[1] * a[7] - a[5] * a[3];
    const double s5 = a[2] * a[7] - a[6] * a[3];

    const double c5 = a[10] * a[15] - a[14] * a[11];
    const double c4 = a[9] * a[15] - a[13] * a[11];
    const double c3 = a[9] * a[14] - a[13] * a[10];
    const double c2 = a[8] * a[15] - a[12] * a[11];
    const double c1 = a[8] * a[14] - a[12] * a[10];
    const double c0 = a[8] * a[13] - a[12] * a[9];

    const double det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (det > -kSingularDeterminant && det < kSingularDeterminant) return false;
    const double k = 1.0 / det;

    double r[16];
    r[0] = (a[5] * c5 - a[6] * c4 + a[7] * c3) * k;
    r[1] = (-a[1] * c5 + a[2] * c4 - a[3] * c3) * k;
    r[2] = (a[13] * s5 - a[14] * s4 + a[15] * s3) * k;
    r[3] = (-a[9] * s5 + a[10] * s4 - a[11] * s3) * k;

    r[4] = (-a[4] * c5 + a[6] * c2 - a[7] * c1) * k;
    r[5] = (a[0] * c5 - a[2] * c2 + a[3] * c1) * k;
    r[6] = (-a[12] * s5 + a[14] * s2 - a[15] * s1) * k;
    r[7] = (a[8] * s5 - a[10] * s2 + a[11] * s1) * k;

    r[8] = (a[4] * c4 - a[5] * c2 + a[7] * c0) * k;
    r[9] = (-a[0] * c4 + a[1] * c2 - a[3] * c0) * k;
    r[10] = (a[12] * s4 - a[13] * s2 + a[15] * s0) * k;
    r[11] = (-a[8] * s4 + a[9] * s2 - a[11] * s0) * k;

    r[12] = (-a[4] * c3 + a[5] * c1 - a[6] * c0) * k;
    r[13] = (a[0] * c3 - a[1] * c1 + a[2] * c0) * k;
    r[14] = (-a[12] * s3 + a[13] * s1 - a[14] * s0) * k;
    r[15] = (a[8] * s3 - a[9] * s1 + a[10] * s0) * k;

    // Written only now: out may be in.
    for (int n = 0; n < 16; ++n) out->m[n / 4][n % 4] = static_cast<float>(r[n]);
    return true;
}

}  // namespace morpotta

int BuildInverseMatrix(Matrix44* out, const Matrix44* in) {
    const PublicCall call("BuildInverseMatrix");
    if (!out || !in) return RefuseNull("matrix");
    if (!InvertMatrix(*in, out)) return Refuse("the matrix is singular (|determinant| below %g)", kSingularDeterminant);
    return 0;
}

// Axis numbers: 0 = x, 1 = y, 2 = z.
int BuildEulerXYZMatrix(Matrix44* out, float ax, float ay, float az) { return BuildOrder("BuildEulerXYZMatrix", out, 0, 1, 2, ax, ay, az); }
int BuildEulerXZYMatrix(Matrix44* out, float ax, float ay, float az) { return BuildOrder("BuildEulerXZYMatrix", out, 0, 2, 1, ax, ay, az); }
int BuildEulerYXZMatrix(Matrix44* out, float ax, float ay, float az) { return BuildOrder("BuildEulerYXZMatrix", out, 1, 0, 2, ax, ay, az); }
int BuildEulerYZXMatrix(Matrix44* out, float ax, float ay, float az) { return BuildOrder("BuildEulerYZXMatrix", out, 1, 2, 0, ax, ay, az); }
int BuildEulerZXYMatrix(Matrix44* out, float ax, float ay, float az) { return BuildOrder("BuildEulerZXYMatrix", out, 2, 0, 1, ax, ay, az); }
int BuildEulerZYXMatrix(Matrix44* out, float ax, float ay, float az) { return BuildOrder("BuildEulerZYXMatrix", out, 2, 1, 0, ax, ay, az); }

int ExtractEulerXYZAngles(const Matrix44* m, float* ax, float* ay, float* az) { return ExtractInto("ExtractEulerXYZAngles", m, 0, 1, 2, ax, ay, az); }
int ExtractEulerXZYAngles(const Matrix44* m, float* ax, float* ay, float* az) { return ExtractInto("ExtractEulerXZYAngles", m, 0, 2, 1, ax, ay, az); }
int ExtractEulerYXZAngles(const Matrix44* m, float* ax, float* ay, float* az) { return ExtractInto("ExtractEulerYXZAngles", m, 1, 0, 2, ax, ay, az); }
int ExtractEulerYZXAngles(const Matrix44* m, float* ax, float* ay, float* az) { return ExtractInto("ExtractEulerYZXAngles", m, 1, 2, 0, ax, ay, az); }
int ExtractEulerZXYAngles(const Matrix44* m, float* ax, float* ay, float* az) { return ExtractInto("ExtractEulerZXYAngles", m, 2, 0, 1, ax, ay, az); }
int ExtractEulerZYXAngles(const Matrix44* m, float* ax, float* ay, float* az) { return ExtractInto("ExtractEulerZYXAngles", m, 2, 1, 0, ax, ay, az); }

Matrix44 MakeIdentityMatrix() {
    Matrix44 r;
    SetIdentity(&r);
    return r;
}

Matrix44 MakeAxisRotationMatrix(Vector3 axis, float angle) {
    // Same handedness as the X/Y/Z rotations: m[1][2] = +sin for the x axis.
    const double len = std::sqrt(static_cast<double>(axis.x) * axis.x +
                                 static_cast<double>(axis.y) * axis.y +
                                 static_cast<double>(axis.z) * axis.z);
    const double x = axis.x / len, y = axis.y / len, z = axis.z / len;
    const double s = std::sin(static_cast<double>(angle));
    const double c = std::cos(static_cast<double>(angle));
    const double t = 1.0 - c;

    Matrix44 r;
    SetIdentity(&r);
    r.m[0][0] = static_cast<float>(t * x * x + c);
    r.m[0][1] = static_cast<float>(t * x * y + s * z);
    r.m[0][2] = static_cast<float>(t * x * z - s * y);
    r.m[1][0] = static_cast<float>(t * x * y - s * z);
    r.m[1][1] = static_cast<float>(t * y * y + c);
    r.m[1][2] = static_cast<float>(t * y * z + s * x);
    r.m[2][0] = static_cast<float>(t * x * z + s * y);
    r.m[2][1] = static_cast<float>(t * y * z - s * x);
    r.m[2][2] = static_cast<float>(t * z * z + c);
    return r;
}

Matrix44 MakeInverseMatrix(Matrix44 m) {
    Matrix44 r;
    if (!InvertMatrix(m, &r)) SetIdentity(&r);
    return r;
}

Matrix44 MakeProductMatrix(Matrix44 a, Matrix44 b) {
    Matrix44 r;
    BuildProductMatrix(&r, &a, &b);
    return r;
}

Matrix44 MakeScalingMatrix(float sx, float sy, float sz) {
    Matrix44 r;
    SetIdentity(&r);
    r.m[0][0] = sx;
    r.m[1][1] = sy;
    r.m[2][2] = sz;
    return r;
}

Matrix44 MakeXRotationMatrix(float angle) {
    Matrix44 r;
    SetAxisRotation(&r, 0, angle);
    return r;
}

Matrix44 MakeYRotationMatrix(float angle) {
    Matrix44 r;
    SetAxisRotation(&r, 1, angle);
    return r;
}

Matrix44 MakeZRotationMatrix(float angle) {
    Matrix44 r;
    SetAxisRotation(&r, 2, angle);
    return r;
}

float Atan2Float(float y, float x) { return static_cast<float>(std::atan2(static_cast<double>(y), static_cast<double>(x))); }
float AsinFloat(float v) { return static_cast<float>(std::asin(static_cast<double>(v))); }
float AcosFloat(float v) { return static_cast<float>(std::acos(static_cast<double>(v))); }
float PowFloat(float x, float y) { return static_cast<float>(std::pow(static_cast<double>(x), static_cast<double>(y))); }
float ComputeSquareRoot(float v) { return std::sqrt(v); }

void ComputeSinCos(float angle, float* sinOut, float* cosOut) {
    if (!sinOut || !cosOut) {
        RefuseNullIn("ComputeSinCos", "output");
        return;
    }
    const double a = angle;
    *sinOut = static_cast<float>(std::sin(a));
    *cosOut = static_cast<float>(std::cos(a));
}
