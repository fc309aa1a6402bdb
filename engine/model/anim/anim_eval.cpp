// Animation key evaluation. The plain mode interpolates values; when a
// rotation key pair turns by more than a quarter turn about an axis the
// whole animation is blended as matrices instead.
#include "model/anim/anim_eval.h"

#include <cmath>
#include <cstring>

namespace morpotta {

namespace {

constexpr float kQuarterTurn = 1.5707964f;

const float* KeyValues(const ModelBaseAnimKeySet* ks, int k, int width) { return ks->values + size_t(k) * width; }

bool IsRotationKind(int kind) { return kind >= 0 && kind <= 3; }

void ResetToRest(FrameAnimRecord* r) {
    if (r->frame) {
        r->translation[0] = r->frame->translation.x;
        r->translation[1] = r->frame->translation.y;
        r->translation[2] = r->frame->translation.z;
        r->scale[0] = r->frame->scale.x;
        r->scale[1] = r->frame->scale.y;
        r->scale[2] = r->frame->scale.z;
        r->rotation[0] = r->frame->rotation.x;
        r->rotation[1] = r->frame->rotation.y;
        r->rotation[2] = r->frame->rotation.z;
        std::memcpy(r->quaternion, r->frame->quaternion, sizeof(r->quaternion));
    } else {
        for (int i = 0; i < 3; ++i) {
            r->translation[i] = 0.0f;
            r->scale[i] = 1.0f;
            r->rotation[i] = 0.0f;
        }
        r->quaternion[0] = r->quaternion[1] = r->quaternion[2] = 0.0f;
        r->quaternion[3] = 1.0f;
    }
}

struct KeyPair {
    const float* a;
    const float* b;
    float t;
    int width;
};

bool PairOf(const AnimKeyState& s, float time, KeyPair* pair) {
    const ModelBaseAnimKeySet* ks = s.keySet;
    pair->width = ModelKeyValueWidth(ks->valueType);
    if (!pair->width || ks->keyCount <= 0) return false;
    int k = s.keyIndex < 0 ? 0 : s.keyIndex >= ks->keyCount ? ks->keyCount - 1 : s.keyIndex;
    int next = 0;
    pair->t = ComputeKeyFactor(ks, k, time, &next);
    pair->a = KeyValues(ks, k, pair->width);
    pair->b = KeyValues(ks, next, pair->width);
    return true;
}

float Lerp(float a, float b, float t) { return a + (b - a) * t; }

// Component slot of a quantity for the one-float kinds.
int AxisOf(int kind) { return (kind - 1) % 5; }

void Apply(float* target, int index, float value, float rest, bool additive) {
    target[index] = additive ? rest + value : value;
}

void EvaluateShapeWeight(AnimEvalContext* c, FrameAnimRecord* r, AnimKeyState& s, const KeyPair& p) {
    float value = Lerp(p.a[0], p.b[0], p.t);
    float previous = s.lastValue;
    s.lastValue = value;
    FrameAnimTarget* target = r->target;
    if (!target || !target->shapeStates || s.shapeIndex < 0 || s.shapeIndex >= target->shapeCount) return;
    target->shapeStates[s.shapeIndex].weight = value;
    if (std::fabs(value - previous) >= 0.0000001f) {
        if (target->shapeChanged) *target->shapeChanged = 1;
        if (c->shapesDirty) *c->shapesDirty = 1;
    }
}

void MarkMatrixChanged(AnimEvalContext* c, FrameAnimRecord* r) {
    if (c->matricesValid) *c->matricesValid = 0;
    if (r->target && r->target->matrixBitWord) *r->target->matrixBitWord |= r->target->matrixBitMask;
}

// false: a rotation turns by more than a quarter turn; use matrices.
bool EvaluatePlain(AnimEvalContext* c, FrameAnimRecord* r) {
    ResetToRest(r);
    float rest[3][3];
    std::memcpy(rest[0], r->translation, sizeof(rest[0]));
    std::memcpy(rest[1], r->scale, sizeof(rest[1]));
    std::memcpy(rest[2], r->rotation, sizeof(rest[2]));
    bool additive = c->blendType == 1;
    bool quaternionSet = false, internalQuaternion = false;
    for (int i = 0; i < r->keyStateCount; ++i) {
        AnimKeyState& s = r->keyStates[i];
        KeyPair p;
        if (!PairOf(s, c->time, &p)) continue;
        int kind = s.keySet->keyKind;
        if (kind == 18) {
            EvaluateShapeWeight(c, r, s, p);
            continue;
        }
        if (p.width == 4) {
            SlerpQuaternion(r->quaternion, p.a, p.b, p.t);
            quaternionSet = true;
            internalQuaternion = s.keySet->valueType == 7;
            continue;
        }
        if (IsRotationKind(kind)) {
            for (int a = 0; a < p.width; ++a) {
                float turn = p.b[a] - p.a[a];
                if (turn < -kQuarterTurn || turn > kQuarterTurn) return false;
            }
        }
        float* target = kind <= 3 ? r->rotation : kind <= 8 ? r->scale : r->translation;
        const float* restOf = kind <= 3 ? rest[2] : kind <= 8 ? rest[1] : rest[0];
        if (p.width == 3 && (kind == 0 || kind == 5 || kind == 10)) {
            for (int a = 0; a < 3; ++a) Apply(target, a, Lerp(p.a[a], p.b[a], p.t), restOf[a], additive);
        } else if (p.width == 1 && kind % 5 != 0 && kind <= 13) {
            int axis = AxisOf(kind);
            Apply(target, axis, Lerp(p.a[0], p.b[0], p.t), restOf[axis], additive);
        }
    }
    uint32_t flags = 0;
    if (r->translation[0] != 0.0f || r->translation[1] != 0.0f || r->translation[2] != 0.0f)
        flags |= FRAME_ANIM_TRANSLATION;
    if (r->scale[0] != 1.0f || r->scale[1] != 1.0f || r->scale[2] != 1.0f) flags |= FRAME_ANIM_SCALE;
    if (r->rotation[0] != 0.0f || r->rotation[1] != 0.0f || r->rotation[2] != 0.0f) flags |= FRAME_ANIM_ANGLES;
    if (quaternionSet && (r->quaternion[0] != 0.0f || r->quaternion[1] != 0.0f || r->quaternion[2] != 0.0f ||
                          r->quaternion[3] != 1.0f)) {
        flags = (flags & ~uint32_t(FRAME_ANIM_ANGLES)) | FRAME_ANIM_QUATERNION;
        if (internalQuaternion) flags |= FRAME_ANIM_QUATERNION_INTERNAL;
    }
    r->flags = flags;
    MarkMatrixChanged(c, r);
    return true;
}

void BlendMatrices(Matrix34* out, const Matrix34& a, const Matrix34& b, float t) {
    for (int i = 0; i < 12; ++i) out->m[i] = a.m[i] + t * (b.m[i] - a.m[i]);
}

void EvaluateMatrix(AnimEvalContext* c, FrameAnimRecord* r) {
    ResetToRest(r);
    r->flags = FRAME_ANIM_MATRIX;
    float anglesA[3] = {r->rotation[0], r->rotation[1], r->rotation[2]};
    float anglesB[3] = {r->rotation[0], r->rotation[1], r->rotation[2]};
    float rotationT = 0.0f;
    bool haveAngles = false;
    const float* quaternionA = nullptr;
    const float* quaternionB = nullptr;
    for (int i = 0; i < r->keyStateCount; ++i) {
        AnimKeyState& s = r->keyStates[i];
        KeyPair p;
        if (!PairOf(s, c->time, &p)) continue;
        int kind = s.keySet->keyKind;
        if (kind == 18) {
            EvaluateShapeWeight(c, r, s, p);
        } else if (p.width == 4) {
            quaternionA = p.a;
            quaternionB = p.b;
            rotationT = p.t;
        } else if (IsRotationKind(kind)) {
            haveAngles = true;
            rotationT = p.t;
            if (p.width == 3) {
                std::memcpy(anglesA, p.a, sizeof(anglesA));
                std::memcpy(anglesB, p.b, sizeof(anglesB));
            } else {
                anglesA[kind - 1] = p.a[0];
                anglesB[kind - 1] = p.b[0];
            }
        } else if (p.width == 3) {
            float* target = kind == 5 ? r->scale : r->translation;
            for (int a = 0; a < 3; ++a) target[a] = Lerp(p.a[a], p.b[a], p.t);
        } else if (p.width == 1 && kind <= 13) {
            float* target = kind <= 8 ? r->scale : r->translation;
            target[AxisOf(kind)] = Lerp(p.a[0], p.b[0], p.t);
        }
    }
    Matrix34 a, b;
    if (quaternionA && !haveAngles) {
        BuildRotation34FromQuaternion(&a, quaternionA);
        BuildRotation34FromQuaternion(&b, quaternionB);
    } else {
        BuildRotation34ByOrder(&a, r->rotationOrder, anglesA[0], anglesA[1], anglesA[2]);
        BuildRotation34ByOrder(&b, r->rotationOrder, anglesB[0], anglesB[1], anglesB[2]);
    }
    BlendMatrices(&r->matrix, a, b, rotationT);
    if (r->scale[0] != 1.0f || r->scale[1] != 1.0f || r->scale[2] != 1.0f)
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col) r->matrix.m[row * 4 + col] *= r->scale[col];
    r->matrix.m[3] = r->translation[0];
    r->matrix.m[7] = r->translation[1];
    r->matrix.m[11] = r->translation[2];
    MarkMatrixChanged(c, r);
}

}  // namespace

int ModelKeyValueWidth(int valueType) {
    switch (valueType) {
    case 0:
    case 7: return 4;
    case 1: return 3;
    case 5: return 1;
    default: return 0;
    }
}

float ComputeKeyFactor(const ModelBaseAnimKeySet* ks, int k, float time, int* next) {
    if (k >= ks->keyCount - 1) {
        *next = 0;  // the last key holds
        return 0.0f;
    }
    *next = k + 1;
    float t;
    if (ks->explicitTimes) {
        float span = ks->times[k + 1] - ks->times[k];
        t = span > 0.0f ? (time - ks->times[k]) / span : 0.0f;  // equal times: no span to divide
    } else {
        t = ks->timeStep > 0.0f ? (time - ks->startTime - float(k) * ks->timeStep) / ks->timeStep : 0.0f;
    }
    if (!(t > 0.0f) || !std::isfinite(t)) return 0.0f;
    return t;
}

int FindKeyIndex(const ModelBaseAnimKeySet* ks, float time) {
    if (ks->keyCount <= 1) return 0;
    if (ks->explicitTimes) {
        if (!ks->times) return 0;
        // Times rise key by key: the last key at or before the time.
        int low = 0, high = ks->keyCount - 1;
        if (!(time >= ks->times[0])) return 0;
        while (low < high) {
            int mid = (low + high + 1) / 2;
            if (ks->times[mid] <= time) low = mid;
            else high = mid - 1;
        }
        return low;
    }
    if (!(ks->timeStep > 0.0f)) return 0;
    float steps = (time - ks->startTime) / ks->timeStep;
    if (!(steps > 0.0f)) return 0;
    if (steps >= float(ks->keyCount - 1)) return ks->keyCount - 1;
    return int(steps);
}

void BuildFrameLocalMatrix(const FrameAnimRecord* r, Matrix34* out) {
    if (r->flags & FRAME_ANIM_MATRIX) {
        *out = r->matrix;
        return;
    }
    if (r->flags & FRAME_ANIM_QUATERNION_INTERNAL)
        BuildRotation34FromQuaternion(out, r->quaternion);
    else if (r->flags & FRAME_ANIM_QUATERNION)
        BuildRotation34FromQuaternionProduct(out, r->quaternion);
    else if (!(r->flags & FRAME_ANIM_ANGLES) ||
             BuildRotation34ByOrder(out, r->rotationOrder, r->rotation[0], r->rotation[1], r->rotation[2]) != 0)
        BuildIdentity34(out);
    if (r->flags & FRAME_ANIM_SCALE)
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col) out->m[row * 4 + col] *= r->scale[col];
    if (r->flags & FRAME_ANIM_TRANSLATION) {
        out->m[3] = r->translation[0];
        out->m[7] = r->translation[1];
        out->m[11] = r->translation[2];
    }
}

void EvaluateFrameAnimation(AnimEvalContext* c) {
    if (c->evaluated) return;
    bool matrixMode = c->interpolateMatrices != 0;
    for (int i = 0; !matrixMode && i < c->recordCount; ++i)
        if (!EvaluatePlain(c, &c->records[i])) matrixMode = true;
    if (matrixMode)
        for (int i = 0; i < c->recordCount; ++i) EvaluateMatrix(c, &c->records[i]);
    c->evaluated = 1;
}

void UpdateFrameSkinMatrices(const ModelBaseFrame* frame, const Matrix34* world, const ModelBase* base,
                             Matrix34* skinMatrices) {
    for (int i = 0; i < frame->ownSkinBoneCount; ++i) {
        const ModelBaseSkinBone* bone = frame->firstOwnSkinBone + i;
        Matrix34 offset;
        ConvertMatrix44To34(&offset, &bone->offset);
        Matrix34* out = &skinMatrices[bone - base->skinBones];
        if (bone->translationOnly) MultiplyMatrix34ByTranslation(world, &offset, out);
        else MultiplyMatrix34(world, out, &offset);
    }
}

}  // namespace morpotta
