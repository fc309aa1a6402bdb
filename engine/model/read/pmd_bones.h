// The bones of a PMD model as its readers pose them: the PMD reader builds
// them with the inverse-kinematics list and the physics bake record, and
// the motion reader samples, solves and bakes motions with them. Here also
// the mathematics both share: quaternions and Euler angles, bone matrices,
// the motion curves and the cyclic-coordinate-descent IK solver.
//
// Vectors are row vectors; Matrix44 is row-major with the translation in
// elements 12 to 14; quaternions are (x, y, z, w).
#pragma once
#include <cstdint>

#include "engine/vecmath.h"

namespace morpotta {

struct ReadModelFrame;
struct PhysicsWorld;

constexpr int kPmdMaxBones = 1024;
constexpr int kPmdMaxIkIterations = 200;

// One run of a bone's sampled keys, one entry per half frame from its
// first frame on (the motion reader fills them).
struct PmdKeyRange {
    uint32_t firstFrame;
    int count;                  // entries in each array
    const float* translations;  // 3 floats an entry, rest translation included
    const float* rotations;     // 4 floats an entry
    PmdKeyRange* next;
};

struct PmdBone {
    const unsigned char* fileRecord;  // the bone's 39 bytes in the file
    ReadModelFrame* frame;
    PmdBone* parent;  // null for a root bone
    uint32_t type;
    uint32_t hasRigidBody;
    uint32_t ikDriven;   // an IK effector or link: its motion is baked
    uint32_t bakedRest;  // every sample starts from the rest pose
    uint32_t knee;       // the name holds "ひざ"
    Matrix44 world;
    float translation[3];  // pose: offset from the parent's head at rest
    float rotation[4];
    float head[3];  // model space
    float restTranslation[3];
    float restRotation[4];
    // Sampled keys of the bone's own (by range), and the arrays the bake
    // writes for an IK-driven bone: bakedCount entries each.
    PmdKeyRange* keyRanges;
    PmdKeyRange* cursor;
    float* bakedTranslations;
    float* bakedRotations;
    int bakedCount;
    uint32_t rigidBodyIndex;
};

struct PmdIkEntry {
    const unsigned char* fileRecord;
    PmdBone* target;    // its world position is the goal
    PmdBone* effector;  // the bone that must reach it
    uint16_t knee;      // target, effector or a link is a knee
    uint16_t iterations;
    float limit;  // radians a link turns at most per step
    float reach;  // chain length from the last link to the effector
    uint32_t linkCount;
    PmdBone** links;  // from the effector's parent towards the root
    PmdIkEntry* prev;
    PmdIkEntry* next;
};

// The bones of one model: indexed as in the file, with an update order in
// which every parent comes before its children.
struct PmdSkeleton {
    int boneCount;
    PmdBone* bones;
    int* order;
    PmdIkEntry* firstIk;  // sorted by first link index
};

// What the physics bake gets of the model's rigid bodies and joints; the
// physics bridge adds its own state behind these fields.
struct PmdBakeBody {
    const unsigned char* fileRecord;  // 83 bytes
    char name[21];
    uint32_t boneIndex;
    PmdBone* bone;
    int shape;   // 0 sphere, 1 box, 2 capsule
    int type;    // 0 follows its bone, others are simulated
    uint8_t follow;  // the bone is the centre bone
    // Filled by the physics bake: the body's number in its world, and room
    // for the bone's key matrices (relative to its parent's world).
    int worldBody;
    Matrix44* keys;
    int keyCount;
};

struct PmdBakeJoint {
    const unsigned char* fileRecord;  // 124 bytes
};

struct PmdPhysicsBake {
    float gravity;
    int bodyCount;
    PmdBakeBody* bodies;
    int jointCount;
    PmdBakeJoint* joints;
    PhysicsWorld* world;  // the bake's, from set-up to release
};

// The physics bake of one motion: the world from the records and the
// bones' current matrices; one step call a sample from 0 upwards (sample 0
// first puts the simulated bodies on their bones and lets the world
// settle for 180 steps); the release. Set-up and step are 0, or -1 (set-up
// logged) when a record cannot be made into a body or joint.
int SetupBakePhysics(PmdPhysicsBake* bake);
// Steps the world once at sample n and writes the simulated bones' world
// matrices; with everySample the key matrix of sample n is stored, else
// that of n / 2 for even n only.
int StepBakePhysics(PmdPhysicsBake* bake, int n, int everySample);
int ReleasePhysicsModelRecord(PmdPhysicsBake* bake);
// 1 when body i follows its bone (kinematic, or on the centre bone).
int IsRigidBodyBoneDriven(const PmdPhysicsBake* bake, int i);

// Quaternions and Euler angles (radians; X, then Y, then Z as the file
// format composes them).
void NormalizeQuaternion(float q[4]);
void CreateQuaternionFromEuler(float q[4], float x, float y, float z);
void GetEulerFromQuaternion(float angles[3], const float q[4]);
// The row-vector rotation matrix of a unit quaternion (translation 0).
void BuildMatrixFromQuaternion(Matrix44* out, const float q[4]);
// Inverse of a rotation-and-translation matrix.
void InvertRigidMatrix(Matrix44* out, const Matrix44* in);

// World matrices from the poses: one bone (its parent's world matrix
// fresh), or all of them in update order. secondPose takes the rest pose
// instead of the pose; skipIk leaves IK-driven bones alone.
void RefreshPmdBoneMatrix(PmdBone* bone);
void RefreshPmdBoneMatrices(const PmdSkeleton* skeleton, int secondPose, int skipIk);
// Every bone back to its rest pose, world matrices refreshed.
void ResetPmdBonesToRest(const PmdSkeleton* skeleton);
// The pose of a bone at half-frame sample s from its baked arrays or its
// key ranges; a bone with neither keeps its pose.
void SetPmdBonePoseFromSample(PmdBone* bone, int sample);

// A motion curve at x in [0, 1]: control points (x1, y1, x2, y2) already
// scaled by 3/127. A linear curve returns x.
float EvaluateVmdBezier(float x, const float curve[4], int linear);

// Every entry's reach from the current poses.
void MeasurePmdIkChains(PmdIkEntry* first);
// One CCD solve of an entry; 0.
int SolvePmdIk(PmdIkEntry* entry);
// Every entry in list order.
int SolvePmdIkList(PmdIkEntry* first, int sample);

}  // namespace morpotta
