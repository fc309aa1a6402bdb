// Cyclic-coordinate-descent IK for PMD bone chains. Each pass turns every
// link, from the effector's parent towards the root, so that the effector
// points at the target as seen from the link. Knee bones bend one way
// only: their X angle stays at or below 0.0001, Y within three degrees
// and Z at 0, and a straight leg is bent a little first so that it can
// bend at all.
#include <cmath>

#include "model/base/model_math.h"
#include "model/read/pmd_bones.h"

namespace morpotta {

namespace {

constexpr int kKneeExtraIterations = 50;
constexpr int kKneeCorrectionIterations = 10;
constexpr float kKneeBend = 0.2f;
constexpr float kKneeMaxX = 0.0001f;
constexpr float kKneeMaxY = 0.052359883f;  // three degrees
constexpr float kReachedSquared = 1e-9f;
constexpr float kMovingSquared = 0.00001f;
constexpr float kTinyAxisSquared = 0.000001f;
constexpr float kTinyVectorSquared = 1e-12f;

Vector3 Translation(const Matrix44& m) { return Vector3{m.m[3][0], m.m[3][1], m.m[3][2]}; }

Vector3 TransformPoint(const Vector3& v, const Matrix44& m) {
    return Vector3{v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + m.m[3][0],
                   v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + m.m[3][1],
                   v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + m.m[3][2]};
}

// False for a vector too short to give a direction.
bool Normalize(Vector3* v) {
    float squared = DotVector3(*v, *v);
    if (!(squared > kTinyVectorSquared)) return false;
    float scale = 1.0f / std::sqrt(squared);
    v->x *= scale, v->y *= scale, v->z *= scale;
    return true;
}

// The rotation a link gives by CCD: angle and local axis from the effector
// E to the target T, both seen from the link. False when either lies on
// the link's origin (no direction to turn by).
struct LinkTurn {
    float angle;
    Vector3 axis;
};

bool MeasureTurn(const PmdBone* link, const Vector3& effector, const Vector3& target, float limit, LinkTurn* out) {
    Matrix44 inverse;
    InvertRigidMatrix(&inverse, &link->world);
    Vector3 e = TransformPoint(effector, inverse), t = TransformPoint(target, inverse);
    if (!Normalize(&e) || !Normalize(&t)) return false;
    float dot = DotVector3(e, t);
    // A rounded dot product may leave [-1, 1]; acos is only taken inside.
    float angle = dot >= 1.0f ? 0.0f : dot <= -1.0f ? 3.14159265f : std::acos(dot);
    if (angle > limit) angle = limit;
    if (angle < -limit) angle = -limit;
    out->angle = angle;
    out->axis = CrossVector3(e, t);
    return true;
}

void BendX(float q[4], float amount) {
    float angles[3];
    NormalizeQuaternion(q);
    GetEulerFromQuaternion(angles, q);
    CreateQuaternionFromEuler(q, angles[0] + amount, angles[1], angles[2]);
}

struct KneeState {
    int extra;
    bool stretched;
    bool limited;
    bool fixDone;
};

// Holds a knee to its one-way hinge; true when X hit its limit.
bool LimitKnee(float q[4]) {
    float angles[3];
    NormalizeQuaternion(q);
    GetEulerFromQuaternion(angles, q);
    bool limited = angles[0] > kKneeMaxX;
    if (limited) angles[0] = kKneeMaxX;
    if (angles[1] < -kKneeMaxY) angles[1] = -kKneeMaxY;
    if (angles[1] > kKneeMaxY) angles[1] = kKneeMaxY;
    CreateQuaternionFromEuler(q, angles[0], angles[1], 0.0f);
    return limited;
}

// The parent of a knee that hit its limit gets one bend back.
bool ApplyKneeFix(float q[4], bool childIsKnee, KneeState* k) {
    if (!childIsKnee || !k->limited || k->fixDone) return false;
    BendX(q, kKneeBend);
    k->limited = false;
    k->fixDone = true;
    return true;
}

// Turns link i by the measured rotation, then the knee rules.
void RotateLink(PmdBone* link, const LinkTurn& turn, bool childIsKnee, KneeState* k) {
    Vector3 axis = turn.axis;
    if (DotVector3(axis, axis) < kTinyAxisSquared || !Normalize(&axis)) {
        ApplyKneeFix(link->rotation, childIsKnee, k);
        return;
    }
    float s = std::sin(turn.angle * 0.5f), c = std::cos(turn.angle * 0.5f);
    const float r[3] = {s * axis.x, s * axis.y, s * axis.z};
    const float* q = link->rotation;
    float turned[4] = {c * q[0] + r[0] * q[3] + r[2] * q[1] - r[1] * q[2],
                       c * q[1] + r[1] * q[3] + r[0] * q[2] - r[2] * q[0],
                       c * q[2] + r[2] * q[3] + r[1] * q[0] - r[0] * q[1],
                       c * q[3] - r[0] * q[0] - r[1] * q[1] - r[2] * q[2]};
    if (!ApplyKneeFix(turned, childIsKnee, k) && link->knee && LimitKnee(turned)) {
        k->limited = true;
        if (!k->fixDone) k->extra += kKneeCorrectionIterations;
    }
    NormalizeQuaternion(turned);
    for (int j = 0; j < 4; ++j) link->rotation[j] = turned[j];
}

void RefreshChainFrom(PmdIkEntry* entry, int i) {
    for (; i >= 0; --i) RefreshPmdBoneMatrix(entry->links[i]);
    RefreshPmdBoneMatrix(entry->effector);
}

}  // namespace

void MeasurePmdIkChains(PmdIkEntry* first) {
    for (PmdIkEntry* entry = first; entry; entry = entry->next) {
        const float* t = entry->effector->translation;
        float reach = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
        for (uint32_t i = 0; i + 1 < entry->linkCount; ++i) {
            t = entry->links[i]->translation;
            reach += std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
        }
        entry->reach = reach;
    }
}

int SolvePmdIk(PmdIkEntry* entry) {
    const int links = int(entry->linkCount);
    if (links == 0) return 0;
    KneeState k{entry->knee ? kKneeExtraIterations : 0, false, false, false};
    RefreshChainFrom(entry, links - 1);
    const Vector3 target = Translation(entry->target->world);
    for (int r = 0; r < int(entry->iterations) + k.extra && r < kPmdMaxIkIterations; ++r) {
        for (int i = 0; i < links; ++i) {
            PmdBone* link = entry->links[i];
            const bool childIsKnee = i > 0 && entry->links[i - 1]->knee;
            const Vector3 effector = Translation(entry->effector->world);
            const Vector3 d = SubtractVector3(target, effector);
            LinkTurn turn{0.0f, Vector3{0, 0, 0}};
            bool turns = MeasureTurn(link, effector, target, entry->limit, &turn);
            bool reachTest = DotVector3(d, d) < kReachedSquared;
            if (!reachTest && childIsKnee) {
                float still = k.stretched ? 0.000001f : 0.001f;
                reachTest = std::fabs(turn.angle) < still && DotVector3(d, d) > kMovingSquared;
            }
            bool rotate = true;
            if (reachTest && !k.stretched) {
                // A straight chain cannot fold: while the target lies within
                // reach, bend it once and let the next passes finish.
                const Vector3 root = Translation(entry->links[links - 1]->world);
                const Vector3 gap = SubtractVector3(root, target);
                if (entry->reach * entry->reach > DotVector3(gap, gap)) {
                    BendX(link->rotation, kKneeBend);
                    k.extra += kKneeCorrectionIterations;
                    k.stretched = true;
                    ApplyKneeFix(link->rotation, childIsKnee, &k);
                    rotate = false;
                }
            }
            if (rotate) {
                if (turns) RotateLink(link, turn, childIsKnee, &k);
                else ApplyKneeFix(link->rotation, childIsKnee, &k);
            }
            RefreshChainFrom(entry, i);
        }
    }
    return 0;
}

int SolvePmdIkList(PmdIkEntry* first, int) {
    for (PmdIkEntry* entry = first; entry; entry = entry->next) SolvePmdIk(entry);
    return 0;
}

}  // namespace morpotta
