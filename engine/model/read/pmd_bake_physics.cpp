// The physics bake of a PMD model's motion: a world of the model's rigid
// bodies and joints (through the physics bridge), stepped twice a frame,
// whose simulated bodies move their bones and leave key matrices.
#include <cstring>

#include "engine/log.h"
#include "model/base/model_math.h"
#include "model/physics/physics_bridge.h"
#include "model/read/pmd_file.h"
#include "model/read/pmd_reader.h"

namespace morpotta {

namespace {

constexpr int kWarmUpSteps = 180;

void ReadPmdFloats(float* out, const unsigned char* at, int count) {
    for (int i = 0; i < count; ++i) out[i] = PmdF32(at + 4 * i);
}

PhysicsBodyInfo PmdBodyInfo(const PmdBakeBody& body) {
    const unsigned char* r = body.fileRecord;
    PhysicsBodyInfo info{};
    info.group = r[22];
    info.mask = PmdU16(r + 23);
    info.shape = r[25];
    ReadPmdFloats(info.size, r + 26, 3);
    ReadPmdFloats(info.position, r + 38, 3);
    ReadPmdFloats(info.rotation, r + 50, 3);
    info.mass = PmdF32(r + 62);
    info.linearDamping = PmdF32(r + 66);
    info.angularDamping = PmdF32(r + 70);
    info.restitution = PmdF32(r + 74);
    info.friction = PmdF32(r + 78);
    info.type = r[82];
    info.bone = body.bone->world;
    return info;
}

PhysicsJointInfo PmdJointInfo(const unsigned char* r) {
    PhysicsJointInfo info{};
    info.bodyA = int(PmdU32(r + 20) & 0x7FFFFFFF);
    info.bodyB = int(PmdU32(r + 24) & 0x7FFFFFFF);
    ReadPmdFloats(info.position, r + 28, 3);
    ReadPmdFloats(info.rotation, r + 40, 3);
    ReadPmdFloats(info.linearLow, r + 52, 3);
    ReadPmdFloats(info.linearHigh, r + 64, 3);
    ReadPmdFloats(info.angularLow, r + 76, 3);
    ReadPmdFloats(info.angularHigh, r + 88, 3);
    ReadPmdFloats(info.linearSpring, r + 100, 3);
    ReadPmdFloats(info.angularSpring, r + 112, 3);
    for (int i = 0; i < 3; ++i) {
        info.linearSpring[i] *= kModelDegreesToRadians;
        info.angularSpring[i] *= kModelDegreesToRadians;
    }
    return info;
}

bool Simulated(const PmdPhysicsBake* bake, int i) { return !IsRigidBodyBoneDriven(bake, i); }

void SyncFollowers(PmdPhysicsBake* bake) {
    for (int i = 0; i < bake->bodyCount; ++i) {
        const PmdBakeBody& body = bake->bodies[i];
        if (Simulated(bake, i)) continue;
        SyncPhysicsBodyToBone(bake->world, body.worldBody, body.bone->world, body.follow);
    }
}

}  // namespace

int IsRigidBodyBoneDriven(const PmdPhysicsBake* bake, int i) {
    const PmdBakeBody& body = bake->bodies[i];
    return body.type == 0 || body.follow ? 1 : 0;
}

int SetupBakePhysics(PmdPhysicsBake* bake) {
    ReleasePhysicsModelRecord(bake);
    if (!(bake->world = CreatePhysicsWorld(bake->gravity)))
        return WriteLogFormat("VMD Load Error : the physics world cannot be made");
    for (int i = 0; i < bake->bodyCount; ++i) {
        PmdBakeBody& body = bake->bodies[i];
        if ((body.worldBody = CreatePhysicsBody(bake->world, PmdBodyInfo(body))) < 0) {
            ReleasePhysicsModelRecord(bake);
            return WriteLogFormat("PMD Load Error : 物理計算用剛体情報の追加に失敗しました");
        }
    }
    for (int i = 0; i < bake->jointCount; ++i)
        if (CreatePhysicsJoint(bake->world, PmdJointInfo(bake->joints[i].fileRecord)) != 0) {
            ReleasePhysicsModelRecord(bake);
            return WriteLogFormat("PMD Load Error : 物理計算用剛体接合情報の追加に失敗しました");
        }
    return 0;
}

int StepBakePhysics(PmdPhysicsBake* bake, int n, int everySample) {
    if (!bake->world) return -1;
    if (n != 0) {
        SyncFollowers(bake);
    } else {
        for (int i = 0; i < bake->bodyCount; ++i)
            if (Simulated(bake, i)) ResetPhysicsBodyToBone(bake->world, bake->bodies[i].worldBody, bake->bodies[i].bone->world);
        for (int step = 0; step < kWarmUpSteps; ++step) {
            StepPhysicsWorld(bake->world);
            SyncFollowers(bake);
        }
    }
    StepPhysicsWorld(bake->world);
    for (int i = 0; i < bake->bodyCount; ++i)
        if (Simulated(bake, i)) GetPhysicsBodyBone(bake->world, bake->bodies[i].worldBody, &bake->bodies[i].bone->world);
    if (!everySample && n % 2 != 0) return 0;
    const int key = everySample ? n : n / 2;
    for (int i = 0; i < bake->bodyCount; ++i) {
        PmdBakeBody& body = bake->bodies[i];
        if (!Simulated(bake, i) || !body.keys || key >= body.keyCount) continue;
        const PmdBone* bone = body.bone;
        if (bone->parent) {
            Matrix44 parentInverse;
            InvertRigidMatrix(&parentInverse, &bone->parent->world);
            BuildProductMatrix(&body.keys[key], &bone->world, &parentInverse);
        } else {
            body.keys[key] = bone->world;
        }
    }
    return 0;
}

int ReleasePhysicsModelRecord(PmdPhysicsBake* bake) {
    ReleasePhysicsWorld(bake->world);
    bake->world = nullptr;
    for (int i = 0; i < bake->bodyCount; ++i) {
        bake->bodies[i].worldBody = -1;
        bake->bodies[i].keys = nullptr;
        bake->bodies[i].keyCount = 0;
    }
    return 0;
}

}  // namespace morpotta
