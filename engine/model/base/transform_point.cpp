// Point and direction transforms for callers outside the model system.
#include "engine/log.h"
#include "engine/model.h"
#include "foundation/public_call.h"

using namespace morpotta;

namespace {

// A missing vector, matrix or place for the result refuses the call.
bool Refused(const char* function, const float* out, const float* v, const float* m) {
    if (out && v && m) return false;
    RefuseNullIn(function, !out ? "place for the result" : !v ? "vector" : "matrix");
    return true;
}

}  // namespace

float* TransformPointByMatrix(float out[3], const float v[3], const float m[16]) {
    if (Refused("TransformPointByMatrix", out, v, m)) return nullptr;
    float x = v[0] * m[0] + v[1] * m[4] + v[2] * m[8] + m[12];
    float y = v[0] * m[1] + v[1] * m[5] + v[2] * m[9] + m[13];
    float z = v[0] * m[2] + v[1] * m[6] + v[2] * m[10] + m[14];
    out[0] = x;
    out[1] = y;
    out[2] = z;
    return out;
}

float* TransformDirectionByMatrix(float out[3], const float v[3], const float m[16]) {
    if (Refused("TransformDirectionByMatrix", out, v, m)) return nullptr;
    float x = v[0] * m[0] + v[1] * m[4] + v[2] * m[8];
    float y = v[0] * m[1] + v[1] * m[5] + v[2] * m[9];
    float z = v[0] * m[2] + v[1] * m[6] + v[2] * m[10];
    out[0] = x;
    out[1] = y;
    out[2] = z;
    return out;
}
