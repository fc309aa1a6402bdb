// The model system's own fast matrix routines: a quantised sine table, a
// compact 3x4 matrix (rows give the output x, y, z; translation in m[3],
// m[7], m[11]) with rotation builders for six Euler orders, and the
// helpers the conversion uses on 4x4 matrices.
#pragma once
#include "engine/vecmath.h"

#include <cmath>

namespace morpotta {

struct Matrix34 {
    float m[12];
};

constexpr float kModelPi = 3.14159265f;
constexpr float kModelTwoPi = 6.28318531f;
constexpr float kModelDegreesToRadians = kModelPi / 180.0f;

constexpr int kModelSineTableSize = 65536;
constexpr float kModelDefaultAngle = 1.5620697f;  // 89.5 degrees

// Rotation-order codes: the first axis turns first.
enum ModelRotationOrder {
    MODEL_ROTATE_XYZ = 0,
    MODEL_ROTATE_XZY = 1,
    MODEL_ROTATE_YZX = 2,
    MODEL_ROTATE_YXZ = 3,
    MODEL_ROTATE_ZXY = 4,
    MODEL_ROTATE_ZYX = 5,
};

inline Vector3 SubtractVector3(const Vector3& a, const Vector3& b) { return Vector3{a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vector3 CrossVector3(const Vector3& a, const Vector3& b) {
    return Vector3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float DotVector3(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline bool IsFiniteVector3(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
inline bool IsFiniteMatrix34(const Matrix34& m) {
    for (float v : m.m)
        if (!std::isfinite(v)) return false;
    return true;
}

// Entry i = sin(i * 2pi / 65536); built once on first use.
const float* GetModelSineTable();
// Any finite angle, negative or huge, maps into the table (floor modulo);
// a non-finite angle reads entry 0.
void LookupSinCos(float angle, float* sinOut, float* cosOut);

void TransformPointBy34(const Matrix34* m, Vector3* out, const Vector3* v);
void MultiplyMatrix34(const Matrix34* a, Matrix34* out, const Matrix34* b);  // out = a.b, b first
void MultiplyMatrix34ByTranslation(const Matrix34* a, const Matrix34* b, Matrix34* out);
void BuildIdentity34(Matrix34* out);
void BuildRotation34XYZ(Matrix34* out, float x, float y, float z);
void BuildRotation34XZY(Matrix34* out, float x, float y, float z);
void BuildRotation34YXZ(Matrix34* out, float x, float y, float z);
void BuildRotation34YZX(Matrix34* out, float x, float y, float z);
void BuildRotation34ZXY(Matrix34* out, float x, float y, float z);
void BuildRotation34ZYX(Matrix34* out, float x, float y, float z);
// By order code 0..5; -1 for another code (out untouched).
int BuildRotation34ByOrder(Matrix34* out, int order, float x, float y, float z);
// Quaternion (x, y, z, w) rotations: the closed formula, and the product
// of the quaternion's two 4x4 multiplication matrices; the two agree for a
// unit quaternion.
void BuildRotation34FromQuaternion(Matrix34* out, const float q[4]);
void BuildRotation34FromQuaternionProduct(Matrix34* out, const float q[4]);
void ConvertMatrix44To34(Matrix34* out, const Matrix44* in);
void ConvertMatrix34To44(Matrix44* out, const Matrix34* in);

// Shorter-arc spherical interpolation of quaternions (x, y, z, w).
void SlerpQuaternion(float out[4], const float a[4], const float b[4], float t);

// S x A x B x C x Q x T for row vectors; A, B, C the axis rotations in the
// order's sequence, Q the XYZ Euler matrix of preRotation (skipped when
// null). -1 for an order above 5 (out holds the scaling matrix).
int BuildFrameMatrixFromOrder(const float rotation[3], const float scale[3], const float translation[3],
                              const float* preRotation, Matrix44* out, int order);
// 1 when the upper-left 3x3 parts differ by less than tolerance element-wise.
int CompareMatrixRotationParts(const Matrix44* a, const Matrix44* b, float tolerance);

}  // namespace morpotta
