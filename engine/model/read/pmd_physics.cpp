// PMD rigid bodies and joints: the record the motion bake simulates, and,
// for real-time physics, the model's own physics records. Their parameter
// words follow the base data's layout: a body keeps its frame, group,
// mask, shape, size (3), position (3), rotation (3), mass, linear and
// angular damping, restitution, friction, type and the centre flag; a
// joint its two bodies, position, rotation, linear and angular limits
// (low and high, 3 each) and spring stiffness (linear, angular in
// radians).
#include <cstring>

#include "engine/log.h"
#include "engine/text.h"
#include "model/base/memory_chain.h"
#include "model/base/model_math.h"
#include "model/convert/convert.h"
#include "model/read/pmd_reader.h"

namespace morpotta {

namespace {

// "センター" (centre) in code page 932: bodies on no bone follow it.
constexpr char kCentreName[] = "\x83\x5a\x83\x93\x83\x5e\x81\x5b";

uint32_t Bits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

bool BoneNamed(const PmdBone& bone, const char* name) {
    char boneName[kPmdNameBytes + 1];
    CopyPmdName(boneName, bone.fileRecord, kPmdNameBytes);
    return CompareText(boneName, name) == 0;
}

// The first bone named as the centre; a model without one hangs such
// bodies on its first bone. -1 for a model without bones.
int CentreBone(const PmdSkeleton& skeleton) {
    for (int i = 0; i < skeleton.boneCount; ++i)
        if (BoneNamed(skeleton.bones[i], kCentreName)) return i;
    return skeleton.boneCount > 0 ? 0 : -1;
}

int AddModelBody(PmdLoad* load, const PmdBakeBody& body) {
    const unsigned char* r = body.fileRecord;
    ReadModelRigidBody* out = AddReadModelRigidBody(&load->model, body.name, body.bone->frame->index);
    if (!out) return WriteLogFormat("PMD Load Error : 物理計算用剛体情報の追加に失敗しました");
    out->params[1] = r[22];
    out->params[2] = PmdU16(r + 23);
    out->params[3] = r[25];
    for (int i = 0; i < 14; ++i) out->params[4 + i] = PmdU32(r + 26 + 4 * i);  // size .. friction
    out->params[18] = r[82];
    out->params[19] = body.follow;
    return 0;
}

int AddModelJoint(PmdLoad* load, const unsigned char* r) {
    char name[kPmdNameBytes + 1];
    CopyPmdName(name, r, kPmdNameBytes);
    ReadModelJoint* out = AddReadModelJoint(&load->model, name);
    if (!out) return WriteLogFormat("PMD Load Error : 物理計算用剛体接合情報の追加に失敗しました");
    out->params[0] = PmdU32(r + 20);
    out->params[1] = PmdU32(r + 24);
    for (int i = 0; i < 21; ++i) out->params[2 + i] = PmdU32(r + 28 + 4 * i);
    for (int i = 0; i < 3; ++i) out->params[23 + i] = Bits(PmdF32(r + 112 + 4 * i) * kModelDegreesToRadians);
    return 0;
}

}  // namespace

int ReadPmdPhysics(PmdLoad* load) {
    const PmdFile& file = load->file;
    if (!file.hasPhysics) return 0;
    PmdPhysicsBake& physics = load->physics;
    physics.gravity = GetModelLoadGravity();
    physics.bodies = static_cast<PmdBakeBody*>(AllocModelMemory((file.bodyCount + 1) * sizeof(PmdBakeBody)));
    if (!physics.bodies) return WriteLogFormat("PMD Load Error : 物理演算情報配列を格納するメモリ領域の確保に失敗しました");
    physics.joints = static_cast<PmdBakeJoint*>(AllocModelMemory((file.jointCount + 1) * sizeof(PmdBakeJoint)));
    if (!physics.joints)
        return WriteLogFormat("PMD Load Error : 物理演算ジョイント情報を格納するメモリ領域の確保に失敗しました");
    const int centre = CentreBone(load->skeleton);
    for (uint32_t i = 0; i < file.bodyCount; ++i) {
        const unsigned char* r = file.bodies + i * kPmdBodyBytes;
        int boneIndex = PmdU16(r + 20) == kPmdNoBone ? centre : int(PmdU16(r + 20));
        if (boneIndex < 0) return WriteLogFormat("PMD Load Error : a rigid body has no bone to follow");
        PmdBakeBody& body = physics.bodies[i];
        body.fileRecord = r;
        CopyPmdName(body.name, r, kPmdNameBytes);
        body.boneIndex = uint32_t(boneIndex);
        body.bone = &load->skeleton.bones[boneIndex];
        body.shape = r[25];
        body.type = r[82];
        body.follow = BoneNamed(*body.bone, kCentreName) ? 1 : 0;
        body.bone->hasRigidBody = 1;
        body.bone->rigidBodyIndex = i;
        physics.bodyCount = int(i) + 1;
    }
    for (uint32_t i = 0; i < file.jointCount; ++i) physics.joints[i].fileRecord = file.joints + i * kPmdJointBytes;
    physics.jointCount = int(file.jointCount);
    load->physicsRead = true;
    if (load->physicsMode != PMD_PHYSICS_REALTIME) return 0;
    for (int i = 0; i < physics.bodyCount; ++i)
        if (AddModelBody(load, physics.bodies[i]) != 0) return -1;
    for (uint32_t i = 0; i < file.jointCount; ++i)
        if (AddModelJoint(load, file.joints + i * kPmdJointBytes) != 0) return -1;
    return 0;
}

}  // namespace morpotta
