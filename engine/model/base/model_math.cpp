// Sine table and 3x4 matrix routines of the model system.
#include "model/base/model_math.h"

#include <cmath>
#include <cstdint>

namespace morpotta {

namespace {

struct SineTable {
    float values[kModelSineTableSize];
    SineTable() {
        const double pi = double(3.1415927f);
        for (int i = 0; i < kModelSineTableSize; ++i) values[i] = float(std::sin(i * 2.0 * pi / kModelSineTableSize));
    }
};

int AngleToIndex(float angle) {
    double scaled = double(angle) * 10430.378;
    if (!std::isfinite(scaled)) return 0;
    // fmod is exact, so reducing first keeps the rounding of small angles
    // and lets huge ones stay within integer range.
    scaled = std::fmod(scaled, double(kModelSineTableSize));
    int64_t index = int64_t(std::nearbyint(scaled));
    index %= kModelSineTableSize;
    if (index < 0) index += kModelSineTableSize;
    return int(index);
}

}  // namespace

const float* GetModelSineTable() {
    static const SineTable table;
    return table.values;
}

void LookupSinCos(float angle, float* sinOut, float* cosOut) {
    const float* table = GetModelSineTable();
    int index = AngleToIndex(angle);
    if (sinOut) *sinOut = table[index];
    if (cosOut) *cosOut = table[(index + 16384) % kModelSineTableSize];
}

void TransformPointBy34(const Matrix34* m, Vector3* out, const Vector3* v) {
    const float* a = m->m;
    Vector3 r{a[0] * v->x + a[1] * v->y + a[2] * v->z + a[3], a[4] * v->x + a[5] * v->y + a[6] * v->z + a[7],
              a[8] * v->x + a[9] * v->y + a[10] * v->z + a[11]};
    *out = r;
}

void MultiplyMatrix34(const Matrix34* a, Matrix34* out, const Matrix34* b) {
    Matrix34 r;
    for (int row = 0; row < 3; ++row) {
        const float* ar = a->m + row * 4;
        for (int col = 0; col < 4; ++col) {
            float v = ar[0] * b->m[col] + ar[1] * b->m[4 + col] + ar[2] * b->m[8 + col];
            if (col == 3) v += ar[3];
            r.m[row * 4 + col] = v;
        }
    }
    *out = r;
}

void MultiplyMatrix34ByTranslation(const Matrix34* a, const Matrix34* b, Matrix34* out) {
    Matrix34 r = *a;
    for (int row = 0; row < 3; ++row) {
        const float* ar = a->m + row * 4;
        r.m[row * 4 + 3] = ar[0] * b->m[3] + ar[1] * b->m[7] + ar[2] * b->m[11] + ar[3];
    }
    *out = r;
}

void BuildIdentity34(Matrix34* out) {
    *out = Matrix34{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}};
}

namespace {

// Column-vector axis rotations; a later-turning axis multiplies on the left.
Matrix34 AxisX(float angle) {
    float s, c;
    LookupSinCos(angle, &s, &c);
    return Matrix34{{1, 0, 0, 0, 0, c, -s, 0, 0, s, c, 0}};
}
Matrix34 AxisY(float angle) {
    float s, c;
    LookupSinCos(angle, &s, &c);
    return Matrix34{{c, 0, s, 0, 0, 1, 0, 0, -s, 0, c, 0}};
}
Matrix34 AxisZ(float angle) {
    float s, c;
    LookupSinCos(angle, &s, &c);
    return Matrix34{{c, -s, 0, 0, s, c, 0, 0, 0, 0, 1, 0}};
}

void Chain3(Matrix34* out, const Matrix34& first, const Matrix34& second, const Matrix34& third) {
    Matrix34 t;
    MultiplyMatrix34(&second, &t, &first);
    MultiplyMatrix34(&third, out, &t);
}

}  // namespace

void BuildRotation34XYZ(Matrix34* out, float x, float y, float z) { Chain3(out, AxisX(x), AxisY(y), AxisZ(z)); }
void BuildRotation34XZY(Matrix34* out, float x, float y, float z) { Chain3(out, AxisX(x), AxisZ(z), AxisY(y)); }
void BuildRotation34YXZ(Matrix34* out, float x, float y, float z) { Chain3(out, AxisY(y), AxisX(x), AxisZ(z)); }
void BuildRotation34YZX(Matrix34* out, float x, float y, float z) { Chain3(out, AxisY(y), AxisZ(z), AxisX(x)); }
void BuildRotation34ZXY(Matrix34* out, float x, float y, float z) { Chain3(out, AxisZ(z), AxisX(x), AxisY(y)); }
void BuildRotation34ZYX(Matrix34* out, float x, float y, float z) { Chain3(out, AxisZ(z), AxisY(y), AxisX(x)); }

int BuildRotation34ByOrder(Matrix34* out, int order, float x, float y, float z) {
    switch (order) {
    case MODEL_ROTATE_XYZ: BuildRotation34XYZ(out, x, y, z); return 0;
    case MODEL_ROTATE_XZY: BuildRotation34XZY(out, x, y, z); return 0;
    case MODEL_ROTATE_YZX: BuildRotation34YZX(out, x, y, z); return 0;
    case MODEL_ROTATE_YXZ: BuildRotation34YXZ(out, x, y, z); return 0;
    case MODEL_ROTATE_ZXY: BuildRotation34ZXY(out, x, y, z); return 0;
    case MODEL_ROTATE_ZYX: BuildRotation34ZYX(out, x, y, z); return 0;
    default: return -1;
    }
}

void BuildRotation34FromQuaternion(Matrix34* out, const float q[4]) {
    float x = q[0], y = q[1], z = q[2], w = q[3];
    // Row-vector 4x4 form of the quaternion, transposed into rows of output.
    float xx = x * x, yy = y * y, zz = z * z, xy = x * y, xz = x * z, yz = y * z, wx = w * x, wy = w * y, wz = w * z;
    *out = Matrix34{{1 - 2 * (yy + zz), 2 * (xy - wz), 2 * (xz + wy), 0,
                     2 * (xy + wz), 1 - 2 * (xx + zz), 2 * (yz - wx), 0,
                     2 * (xz - wy), 2 * (yz + wx), 1 - 2 * (xx + yy), 0}};
}

void BuildRotation34FromQuaternionProduct(Matrix34* out, const float q[4]) {
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    const Matrix44 left = {{{w, z, -y, x}, {-z, w, x, y}, {y, -x, w, z}, {-x, -y, -z, w}}};
    const Matrix44 right = {{{w, z, -y, -x}, {-z, w, x, -y}, {y, -x, w, -z}, {x, y, z, w}}};
    Matrix44 product;
    BuildProductMatrix(&product, &left, &right);  // the row-vector form of the rotation
    ConvertMatrix44To34(out, &product);
    out->m[3] = out->m[7] = out->m[11] = 0.0f;
}

void ConvertMatrix44To34(Matrix34* out, const Matrix44* in) {
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col) out->m[row * 4 + col] = in->m[col][row];
}

void ConvertMatrix34To44(Matrix44* out, const Matrix34* in) {
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col) out->m[col][row] = in->m[row * 4 + col];
    out->m[0][3] = out->m[1][3] = out->m[2][3] = 0.0f;
    out->m[3][3] = 1.0f;
}

void SlerpQuaternion(float out[4], const float a[4], const float b[4], float t) {
    float dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    float sign = 1.0f;
    if (dot < 0.0f) {
        dot = -dot;
        sign = -1.0f;
    }
    float wa, wb;
    if (dot > 0.9999f) {
        // Nearly equal: the sine below would vanish; blend linearly.
        wa = 1.0f - t;
        wb = t;
    } else {
        double angle = std::acos(double(dot));
        double s = std::sin(angle);
        wa = float(std::sin((1.0 - t) * angle) / s);
        wb = float(std::sin(t * angle) / s);
    }
    wb *= sign;
    float r[4];
    for (int i = 0; i < 4; ++i) r[i] = a[i] * wa + b[i] * wb;
    float len = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3]);
    if (len > 0.0f)
        for (int i = 0; i < 4; ++i) r[i] /= len;
    for (int i = 0; i < 4; ++i) out[i] = r[i];
}

int BuildFrameMatrixFromOrder(const float rotation[3], const float scale[3], const float translation[3],
                              const float* preRotation, Matrix44* out, int order) {
    static const int kAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
    Matrix44 m = MakeScalingMatrix(scale[0], scale[1], scale[2]);
    if (order < 0 || order > 5) {
        *out = m;
        return -1;
    }
    for (int i = 0; i < 3; ++i) {
        int axis = kAxes[order][i];
        Matrix44 r = axis == 0 ? MakeXRotationMatrix(rotation[0])
                   : axis == 1 ? MakeYRotationMatrix(rotation[1])
                               : MakeZRotationMatrix(rotation[2]);
        m = MakeProductMatrix(m, r);
    }
    if (preRotation) {
        Matrix44 q;
        BuildEulerXYZMatrix(&q, preRotation[0], preRotation[1], preRotation[2]);
        m = MakeProductMatrix(m, q);
    }
    m.m[3][0] += translation[0];
    m.m[3][1] += translation[1];
    m.m[3][2] += translation[2];
    *out = m;
    return 0;
}

int CompareMatrixRotationParts(const Matrix44* a, const Matrix44* b, float tolerance) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (!(std::fabs(a->m[r][c] - b->m[r][c]) < tolerance)) return 0;
    return 1;
}

}  // namespace morpotta
