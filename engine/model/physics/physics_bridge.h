// The bridge between model data and the rigid-body library: one dynamics
// world per model, a body per rigid-body record placed in its bone's
// space, six-degree-of-freedom spring joints, one fixed 1/60 s step per
// call, and the simulated bodies turned back into bone matrices.
//
// Matrices are the models' row-vector Matrix44 (translation in row 3).
// Everything the world made is freed by ReleasePhysicsWorld.
#pragma once
#include "engine/vecmath.h"

namespace morpotta {

struct PhysicsWorld;

enum PhysicsShape { PHYSICS_SPHERE = 0, PHYSICS_BOX = 1, PHYSICS_CAPSULE = 2 };
constexpr int kPhysicsGroups = 16;

struct PhysicsBodyInfo {
    int group;  // 0-15: the body's own group bit is 1 << group
    int mask;   // the groups it collides with
    int shape;  // PhysicsShape
    float size[3];      // sphere: radius; box: half extents; capsule: radius, height
    float position[3];  // in the bone's space
    float rotation[3];  // radians, turned Z, then Y, then X
    float mass;         // simulated bodies only
    float linearDamping;
    float angularDamping;
    float restitution;
    float friction;
    int type;  // 0: follows its bone (kinematic); others are simulated
    Matrix44 bone;  // the bone's world matrix at creation
};

struct PhysicsJointInfo {
    int bodyA, bodyB;  // as CreatePhysicsBody numbered them
    float position[3];  // world space
    float rotation[3];  // radians
    float linearLow[3], linearHigh[3];
    float angularLow[3], angularHigh[3];  // radians, any turn
    float linearSpring[3], angularSpring[3];  // stiffness
};

// A world with gravity (0, gravity, 0); null when it cannot be made.
PhysicsWorld* CreatePhysicsWorld(float gravity);
// Frees the world with every body, shape and joint in it. Null is allowed.
void ReleasePhysicsWorld(PhysicsWorld* world);
// A body; its number (0, 1, ... in creation order), or -1 for a shape or
// group the bridge does not know.
int CreatePhysicsBody(PhysicsWorld* world, const PhysicsBodyInfo& info);
// A spring joint between two bodies of the world; 0, or -1 for a body
// number the world does not have.
int CreatePhysicsJoint(PhysicsWorld* world, const PhysicsJointInfo& info);
// The angle brought into [-pi, pi].
float WrapPhysicsAngle(float angle);

// A bone-following body (or, with force, any body) is moved to follow its
// bone's world matrix at the next step.
void SyncPhysicsBodyToBone(PhysicsWorld* world, int body, const Matrix44& bone, int force);
// A body put back onto its bone at rest: placed as the bone's world matrix
// places it, every velocity and force cleared.
void ResetPhysicsBodyToBone(PhysicsWorld* world, int body, const Matrix44& bone);
// One 1/60 s step.
void StepPhysicsWorld(PhysicsWorld* world);
// The bone world matrix a body's simulated place gives.
void GetPhysicsBodyBone(const PhysicsWorld* world, int body, Matrix44* bone);
// What the library made of a body, for tests: its mass (0 for a
// kinematic one) and the world place of its centre.
float GetPhysicsBodyMass(const PhysicsWorld* world, int body);
void GetPhysicsBodyPosition(const PhysicsWorld* world, int body, float position[3]);
// What the library made of a joint, for tests: angular limits (low, high).
void GetPhysicsJointAngularLimits(const PhysicsWorld* world, int joint, float low[3], float high[3]);

}  // namespace morpotta
