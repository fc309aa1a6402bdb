// Vectors and 4x4 matrices for a left-handed space with row vectors:
// a point p is transformed as p x M, so in A x B the transform A applies
// first. Matrix44 is row-major with the translation in elements 12 to 14.
// A null vector or matrix is refused: -1 (0 for DotVectors) and a log line.
#pragma once

struct Vector3 {
    float x, y, z;
};

struct Matrix44 {
    float m[4][4];
};

int AddVectorsInto(Vector3* out, const Vector3* a, const Vector3* b);       // out may be a or b
int SubtractVectorsInto(Vector3* out, const Vector3* a, const Vector3* b);
int CrossVectorsInto(Vector3* out, const Vector3* a, const Vector3* b);
float DotVectors(const Vector3* a, const Vector3* b);
int NormalizeVectorInto(Vector3* out, const Vector3* in);  // a zero vector is not guarded
Vector3 MakeNormalizedVector(float x, float y, float z);    // likewise
float MeasureVectorLength(float x, float y, float z);       // 0 below a squared length of 1e-7

int BuildIdentityMatrix(Matrix44* out);
int BuildTranslationMatrix(Matrix44* out, float x, float y, float z);
int BuildProductMatrix(Matrix44* out, const Matrix44* a, const Matrix44* b);  // out may be a or b
// -1 (with a log line) and nothing written when |determinant| < 1e-7.
int BuildInverseMatrix(Matrix44* out, const Matrix44* in);

// Euler rotations: the product of the three axis rotations in the order of
// the name, the first letter turning first. Angles in radians.
int BuildEulerXYZMatrix(Matrix44* out, float ax, float ay, float az);
int BuildEulerXZYMatrix(Matrix44* out, float ax, float ay, float az);
int BuildEulerYXZMatrix(Matrix44* out, float ax, float ay, float az);
int BuildEulerYZXMatrix(Matrix44* out, float ax, float ay, float az);
int BuildEulerZXYMatrix(Matrix44* out, float ax, float ay, float az);
int BuildEulerZYXMatrix(Matrix44* out, float ax, float ay, float az);
// The angles that the matching builder turns back into the matrix's
// rotation; at gimbal lock the last-turning angle is 0. Null outputs are
// skipped.
int ExtractEulerXYZAngles(const Matrix44* m, float* ax, float* ay, float* az);
int ExtractEulerXZYAngles(const Matrix44* m, float* ax, float* ay, float* az);
int ExtractEulerYXZAngles(const Matrix44* m, float* ax, float* ay, float* az);
int ExtractEulerYZXAngles(const Matrix44* m, float* ax, float* ay, float* az);
int ExtractEulerZXYAngles(const Matrix44* m, float* ax, float* ay, float* az);
int ExtractEulerZYXAngles(const Matrix44* m, float* ax, float* ay, float* az);

Matrix44 MakeIdentityMatrix();
Matrix44 MakeAxisRotationMatrix(Vector3 axis, float angle);  // axis normalised first
Matrix44 MakeInverseMatrix(Matrix44 m);                      // identity when singular
Matrix44 MakeProductMatrix(Matrix44 a, Matrix44 b);
Matrix44 MakeScalingMatrix(float sx, float sy, float sz);
Matrix44 MakeXRotationMatrix(float angle);
Matrix44 MakeYRotationMatrix(float angle);
Matrix44 MakeZRotationMatrix(float angle);

// Float wrappers of the C library (computed in double where it matters).
float Atan2Float(float y, float x);
float AsinFloat(float v);
float AcosFloat(float v);
float PowFloat(float x, float y);
float ComputeSquareRoot(float v);
void ComputeSinCos(float angle, float* sinOut, float* cosOut);
