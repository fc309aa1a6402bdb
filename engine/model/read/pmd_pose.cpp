// PMD bone poses: quaternions and Euler angles, bone world matrices from
// the poses, the pose of a bone at a half-frame sample and the motion
// curves.
#include <cmath>
#include <cstring>

#include "model/read/pmd_bones.h"

namespace morpotta {

namespace {

constexpr float kHalfPi = 1.5707963f;
constexpr int kBezierSteps = 32;
constexpr float kBezierTolerance = 0.0001f;

float Clamp1(float v) { return v < -1.0f ? -1.0f : v > 1.0f ? 1.0f : v; }

void CopyPose(float translation[3], float rotation[4], const float* t, const float* r) {
    std::memcpy(translation, t, 3 * sizeof(float));
    std::memcpy(rotation, r, 4 * sizeof(float));
}

void SetRestPose(PmdBone* bone) {
    static const float kIdentity[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    CopyPose(bone->translation, bone->rotation, bone->restTranslation, kIdentity);
}

// The world matrix from a local translation and rotation and the parent.
void ComposeWorld(PmdBone* bone, const float translation[3], const float rotation[4]) {
    Matrix44 local;
    BuildMatrixFromQuaternion(&local, rotation);
    local.m[3][0] = translation[0];
    local.m[3][1] = translation[1];
    local.m[3][2] = translation[2];
    if (bone->parent) BuildProductMatrix(&bone->world, &local, &bone->parent->world);
    else bone->world = local;
}

// Entry i of a sampled range, clamped to the entries it has.
void PoseFromRange(PmdBone* bone, const PmdKeyRange* range, int64_t i) {
    if (range->count <= 0) return;
    if (i < 0) i = 0;
    if (i >= range->count) i = range->count - 1;
    CopyPose(bone->translation, bone->rotation, range->translations + 3 * i, range->rotations + 4 * i);
}

float CurveValue(float a, float b, float t) {
    float u = 1.0f - t;
    return a * u * u * t + b * u * t * t + t * t * t;
}

}  // namespace

void NormalizeQuaternion(float q[4]) {
    float length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (!(length > 0.0f)) {
        // No rotation can be made of it: the identity stands in.
        q[0] = q[1] = q[2] = 0.0f;
        q[3] = 1.0f;
        return;
    }
    float scale = 1.0f / length;
    for (int i = 0; i < 4; ++i) q[i] *= scale;
}

void CreateQuaternionFromEuler(float q[4], float x, float y, float z) {
    float sx = std::sin(x * 0.5f), cx = std::cos(x * 0.5f);
    float sy = std::sin(y * 0.5f), cy = std::cos(y * 0.5f);
    float sz = std::sin(z * 0.5f), cz = std::cos(z * 0.5f);
    q[0] = cz * cy * sx - sz * sy * cx;
    q[1] = sz * cy * sx + cz * sy * cx;
    q[2] = sz * cy * cx - cz * sx * sy;
    q[3] = cz * cy * cx + sz * sx * sy;
}

void GetEulerFromQuaternion(float angles[3], const float q[4]) {
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    // The inverse of CreateQuaternionFromEuler: sin Y is the matrix element
    // that only Y turns.
    float ay = std::asin(Clamp1(2.0f * (w * y - x * z)));
    if (ay > -kHalfPi && ay < kHalfPi) {
        angles[0] = std::atan2(2.0f * (w * x + y * z), 1.0f - 2.0f * (x * x + y * y));
        angles[2] = std::atan2(2.0f * (w * z + x * y), 1.0f - 2.0f * (y * y + z * z));
    } else {
        // Gimbal lock: X and Z turn about one axis; Z takes none of it.
        float ax = std::atan2(2.0f * (x * y - w * z), 1.0f - 2.0f * (x * x + z * z));
        angles[0] = ay <= -kHalfPi ? -ax : ax;
        angles[2] = 0.0f;
    }
    angles[1] = ay;
}

void BuildMatrixFromQuaternion(Matrix44* out, const float q[4]) {
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    const float m[4][4] = {
        {1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y + w * z), 2.0f * (x * z - w * y), 0.0f},
        {2.0f * (x * y - w * z), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z + w * x), 0.0f},
        {2.0f * (x * z + w * y), 2.0f * (y * z - w * x), 1.0f - 2.0f * (x * x + y * y), 0.0f},
        {0.0f, 0.0f, 0.0f, 1.0f},
    };
    std::memcpy(out->m, m, sizeof(m));
}

void InvertRigidMatrix(Matrix44* out, const Matrix44* in) {
    Matrix44 r = {};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = in->m[j][i];
    for (int j = 0; j < 3; ++j)
        r.m[3][j] = -(in->m[3][0] * r.m[0][j] + in->m[3][1] * r.m[1][j] + in->m[3][2] * r.m[2][j]);
    r.m[3][3] = 1.0f;
    *out = r;
}

void RefreshPmdBoneMatrix(PmdBone* bone) { ComposeWorld(bone, bone->translation, bone->rotation); }

void RefreshPmdBoneMatrices(const PmdSkeleton* skeleton, int secondPose, int skipIk) {
    for (int i = 0; i < skeleton->boneCount; ++i) {
        PmdBone* bone = &skeleton->bones[skeleton->order[i]];
        if (skipIk && bone->ikDriven) continue;
        if (secondPose) ComposeWorld(bone, bone->restTranslation, bone->restRotation);
        else RefreshPmdBoneMatrix(bone);
    }
}

void ResetPmdBonesToRest(const PmdSkeleton* skeleton) {
    for (int i = 0; i < skeleton->boneCount; ++i) SetRestPose(&skeleton->bones[i]);
    RefreshPmdBoneMatrices(skeleton, 0, 0);
}

void SetPmdBonePoseFromSample(PmdBone* bone, int sample) {
    if (bone->ikDriven) {
        if (bone->bakedRest) {
            SetRestPose(bone);
        } else if (bone->bakedCount > 0) {
            int i = sample < 0 ? 0 : sample >= bone->bakedCount ? bone->bakedCount - 1 : sample;
            CopyPose(bone->translation, bone->rotation, bone->bakedTranslations + 3 * i, bone->bakedRotations + 4 * i);
        }
        return;
    }
    if (!bone->cursor) return;
    while (bone->cursor->next && int64_t(sample) >= 2 * int64_t(bone->cursor->next->firstFrame))
        bone->cursor = bone->cursor->next;
    PoseFromRange(bone, bone->cursor, int64_t(sample) - 2 * int64_t(bone->cursor->firstFrame));
}

float EvaluateVmdBezier(float x, const float curve[4], int linear) {
    if (linear) return x;
    const float x1 = curve[0], y1 = curve[1], x2 = curve[2], y2 = curve[3];
    float t = x;
    for (int step = 0; step < kBezierSteps; ++step) {
        float error = CurveValue(x1, x2, t) - x;
        if (error > -kBezierTolerance && error < kBezierTolerance) break;
        t -= 0.5f * error;
    }
    return CurveValue(y1, y2, t);
}

}  // namespace morpotta
