// The physics of a model instance: a world of the base data's rigid bodies
// (each placed on its frame of the instance) and joints, through the
// physics bridge. The model system never steps it: a frame is driven by its
// animation; the world is there for a caller that simulates.
#include "model/physics/model_physics.h"

#include <cstring>

#include "model/base/model_math.h"
#include "model/physics/physics_bridge.h"

namespace morpotta {

namespace {

float FloatOf(uint32_t bits) {
    float v;
    std::memcpy(&v, &bits, sizeof(v));
    return v;
}

void FloatsOfWords(float* out, const uint32_t* words, int count) {
    for (int i = 0; i < count; ++i) out[i] = FloatOf(words[i]);
}

// An instance frame's world matrix (rows give x, y, z) as a row-vector
// 4 x 4 matrix.
Matrix44 RowVectorMatrix(const Matrix34& w) {
    Matrix44 m = {};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m.m[r][c] = w.m[c * 4 + r];
    for (int c = 0; c < 3; ++c) m.m[3][c] = w.m[c * 4 + 3];
    m.m[3][3] = 1.0f;
    return m;
}

// A base rigid body's words: frame, group, mask, shape, size (3), position
// (3), rotation (3), mass, linear and angular damping, restitution,
// friction, type.
PhysicsBodyInfo BodyInfo(const ModelInstance* in, const ModelBaseRigidBody& body) {
    const uint32_t* p = body.params;
    PhysicsBodyInfo info{};
    info.group = int(p[1]);
    info.mask = int(p[2]);
    info.shape = int(p[3]);
    FloatsOfWords(info.size, p + 4, 3);
    FloatsOfWords(info.position, p + 7, 3);
    FloatsOfWords(info.rotation, p + 10, 3);
    info.mass = FloatOf(p[13]);
    info.linearDamping = FloatOf(p[14]);
    info.angularDamping = FloatOf(p[15]);
    info.restitution = FloatOf(p[16]);
    info.friction = FloatOf(p[17]);
    info.type = int(p[18]);
    info.bone = RowVectorMatrix(in->frames[p[0]].worldMatrix);
    return info;
}

// A base joint's words: bodies A and B, position, rotation, linear and
// angular limits (low, high), linear and angular spring stiffness.
PhysicsJointInfo JointInfo(const ModelInstance* in, const ModelBaseJoint& joint) {
    const uint32_t* p = joint.params;
    PhysicsJointInfo info{};
    const int count = in->base->rigidBodyCount;
    info.bodyA = p[0] < uint32_t(count) ? in->rigidBodies[p[0]].worldBody : -1;
    info.bodyB = p[1] < uint32_t(count) ? in->rigidBodies[p[1]].worldBody : -1;
    FloatsOfWords(info.position, p + 2, 3);
    FloatsOfWords(info.rotation, p + 5, 3);
    FloatsOfWords(info.linearLow, p + 8, 3);
    FloatsOfWords(info.linearHigh, p + 11, 3);
    FloatsOfWords(info.angularLow, p + 14, 3);
    FloatsOfWords(info.angularHigh, p + 17, 3);
    FloatsOfWords(info.linearSpring, p + 20, 3);
    FloatsOfWords(info.angularSpring, p + 23, 3);
    return info;
}

}  // namespace

int SetupModelPhysics(ModelInstance* in) {
    const ModelBase* base = in->base;
    if (in->physicsWorld) ReleaseModelPhysics(in);
    if (!base || base->rigidBodyCount <= 0) return 0;
    if (!(in->physicsWorld = CreatePhysicsWorld(base->gravity))) return -1;
    // A body on a frame the base does not have, or of a kind the bridge
    // refuses, is left out, and so are the joints on it.
    for (int i = 0; i < base->rigidBodyCount; ++i) {
        const ModelBaseRigidBody& body = base->rigidBodies[i];
        in->rigidBodies[i].worldBody =
            body.params[0] < uint32_t(base->frameCount) ? CreatePhysicsBody(in->physicsWorld, BodyInfo(in, body)) : -1;
    }
    for (int i = 0; i < base->jointCount; ++i) CreatePhysicsJoint(in->physicsWorld, JointInfo(in, base->joints[i]));
    return 0;
}

int ReleaseModelPhysics(ModelInstance* in) {
    if (!in->physicsWorld) return -1;
    ReleasePhysicsWorld(in->physicsWorld);
    in->physicsWorld = nullptr;
    for (int i = 0; in->base && i < in->base->rigidBodyCount; ++i) in->rigidBodies[i].worldBody = -1;
    return 0;
}

}  // namespace morpotta
