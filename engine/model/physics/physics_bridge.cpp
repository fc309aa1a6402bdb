// The physics bridge on the rigid-body library (see physics_bridge.h).
// Bodies that follow their bones are kinematic: the library reads their
// place from a motion state of ours before each step. Simulated bodies are
// read back through their own world transforms.
#include "model/physics/physics_bridge.h"
#include "model/base/model_math.h"

#include <btBulletDynamicsCommon.h>

#include <cmath>
#include <memory>
#include <vector>

namespace morpotta {

namespace {

constexpr float kWorldExtent = 50000.0f;
constexpr unsigned short kMaxHandles = 2048;
// Contacts and collision algorithms a world keeps ready. Every model
// instance has a world of its own, with a few dozen bodies: the library's
// default of 4,096 each cost every instance 4.4 MB of memory written when
// it was made. A world that needs more takes them from the heap.
constexpr int kContactPoolSize = 256;
// One call: a step of 1/60 s, whatever time is asked for.
constexpr float kStepTime = 16.666666f;
constexpr float kFixedStep = 0.016666668f;

// The models' row-vector matrices and the library's transforms (a column
// basis and an origin) are transposes of each other.
btTransform ToTransform(const Matrix44& m) {
    btMatrix3x3 basis(m.m[0][0], m.m[1][0], m.m[2][0], m.m[0][1], m.m[1][1], m.m[2][1], m.m[0][2], m.m[1][2],
                      m.m[2][2]);
    return btTransform(basis, btVector3(m.m[3][0], m.m[3][1], m.m[3][2]));
}

Matrix44 ToMatrix(const btTransform& t) {
    Matrix44 m = {};
    const btMatrix3x3& b = t.getBasis();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m.m[r][c] = float(b[c][r]);
    const btVector3& o = t.getOrigin();
    m.m[3][0] = float(o.x()), m.m[3][1] = float(o.y()), m.m[3][2] = float(o.z());
    m.m[3][3] = 1.0f;
    return m;
}

btTransform EulerTransform(const float rotation[3], const float position[3]) {
    btMatrix3x3 basis;
    basis.setEulerZYX(rotation[0], rotation[1], rotation[2]);
    return btTransform(basis, btVector3(position[0], position[1], position[2]));
}

btCollisionShape* MakeShape(const PhysicsBodyInfo& info) {
    switch (info.shape) {
    case PHYSICS_SPHERE: return new btSphereShape(info.size[0]);
    case PHYSICS_BOX: return new btBoxShape(btVector3(info.size[0], info.size[1], info.size[2]));
    case PHYSICS_CAPSULE: return new btCapsuleShape(info.size[0], info.size[1]);
    default: return nullptr;
    }
}

}  // namespace

// The motion state and the body record stand outside the anonymous
// namespace: PhysicsWorld, which the header names, holds them.

// The place a kinematic body is given, handed to the library on request.
class ModelMotionState : public btMotionState {
public:
    explicit ModelMotionState(const btTransform& t) : transform_(t) {}
    void getWorldTransform(btTransform& out) const override { out = transform_; }
    void setWorldTransform(const btTransform& in) override { transform_ = in; }

private:
    btTransform transform_;
};

struct PhysicsWorldBody {
    std::unique_ptr<btCollisionShape> shape;
    std::unique_ptr<ModelMotionState> motion;
    std::unique_ptr<btRigidBody> body;
    btTransform local;  // the body in its bone's space
    btTransform localInverse;
    bool kinematic;
};

// Members in the order they are made; the destructor takes them apart in
// the reverse order the library needs.
struct PhysicsWorld {
    std::unique_ptr<btDefaultCollisionConfiguration> configuration;
    std::unique_ptr<btCollisionDispatcher> dispatcher;
    std::unique_ptr<btAxisSweep3> broadphase;
    std::unique_ptr<btSequentialImpulseConstraintSolver> solver;
    std::unique_ptr<btDiscreteDynamicsWorld> world;
    std::vector<PhysicsWorldBody> bodies;
    std::vector<std::unique_ptr<btGeneric6DofSpringConstraint>> joints;

    ~PhysicsWorld() {
        for (auto it = joints.rbegin(); it != joints.rend(); ++it) world->removeConstraint(it->get());
        for (auto it = bodies.rbegin(); it != bodies.rend(); ++it) world->removeRigidBody(it->body.get());
        joints.clear();
        bodies.clear();
        world.reset();
        solver.reset();
        broadphase.reset();
        dispatcher.reset();
        configuration.reset();
    }
};

PhysicsWorld* CreatePhysicsWorld(float gravity) {
    auto w = std::make_unique<PhysicsWorld>();
    btDefaultCollisionConstructionInfo pools;
    pools.m_defaultMaxPersistentManifoldPoolSize = kContactPoolSize;
    pools.m_defaultMaxCollisionAlgorithmPoolSize = kContactPoolSize;
    w->configuration = std::make_unique<btDefaultCollisionConfiguration>(pools);
    w->dispatcher = std::make_unique<btCollisionDispatcher>(w->configuration.get());
    const btVector3 low(-kWorldExtent, -kWorldExtent, -kWorldExtent), high(kWorldExtent, kWorldExtent, kWorldExtent);
    w->broadphase = std::make_unique<btAxisSweep3>(low, high, kMaxHandles);
    w->solver = std::make_unique<btSequentialImpulseConstraintSolver>();
    w->world = std::make_unique<btDiscreteDynamicsWorld>(w->dispatcher.get(), w->broadphase.get(), w->solver.get(),
                                                         w->configuration.get());
    w->world->setGravity(btVector3(0, gravity, 0));
    return w.release();
}

void ReleasePhysicsWorld(PhysicsWorld* world) { delete world; }

int CreatePhysicsBody(PhysicsWorld* world, const PhysicsBodyInfo& info) {
    if (info.group < 0 || info.group >= kPhysicsGroups || int(world->bodies.size()) >= kMaxHandles) return -1;
    PhysicsWorldBody b;
    b.shape.reset(MakeShape(info));
    if (!b.shape) return -1;
    b.local = EulerTransform(info.rotation, info.position);
    b.localInverse = b.local.inverse();
    b.kinematic = info.type == 0;
    const btScalar mass = b.kinematic ? btScalar(0) : btScalar(info.mass);
    btVector3 inertia(0, 0, 0);
    if (!b.kinematic) b.shape->calculateLocalInertia(mass, inertia);
    b.motion = std::make_unique<ModelMotionState>(ToTransform(info.bone) * b.local);
    btRigidBody::btRigidBodyConstructionInfo ci(mass, b.motion.get(), b.shape.get(), inertia);
    ci.m_linearDamping = info.linearDamping;
    ci.m_angularDamping = info.angularDamping;
    ci.m_restitution = info.restitution;
    ci.m_friction = info.friction;
    ci.m_additionalDamping = true;
    b.body = std::make_unique<btRigidBody>(ci);
    if (b.kinematic) {
        b.body->setCollisionFlags(b.body->getCollisionFlags() | btCollisionObject::CF_KINEMATIC_OBJECT);
        b.body->setActivationState(DISABLE_DEACTIVATION);
    }
    world->world->addRigidBody(b.body.get(), 1 << info.group, info.mask & 0xFFFF);
    world->bodies.push_back(std::move(b));
    return int(world->bodies.size()) - 1;
}

float WrapPhysicsAngle(float angle) {
    if (!std::isfinite(angle)) return 0.0f;
    angle = std::fmod(angle, kModelTwoPi);
    if (angle < -kModelPi) angle += kModelTwoPi;
    else if (angle > kModelPi) angle -= kModelTwoPi;
    return angle;
}

int CreatePhysicsJoint(PhysicsWorld* world, const PhysicsJointInfo& info) {
    const int count = int(world->bodies.size());
    if (info.bodyA < 0 || info.bodyA >= count || info.bodyB < 0 || info.bodyB >= count) return -1;
    btRigidBody* a = world->bodies[size_t(info.bodyA)].body.get();
    btRigidBody* b = world->bodies[size_t(info.bodyB)].body.get();
    const btTransform joint = EulerTransform(info.rotation, info.position);
    const btTransform inA = a->getWorldTransform().inverse() * joint;
    const btTransform inB = b->getWorldTransform().inverse() * joint;
    auto c = std::make_unique<btGeneric6DofSpringConstraint>(*a, *b, inA, inB, true);
    c->setLinearLowerLimit(btVector3(info.linearLow[0], info.linearLow[1], info.linearLow[2]));
    c->setLinearUpperLimit(btVector3(info.linearHigh[0], info.linearHigh[1], info.linearHigh[2]));
    float low[3], high[3];
    for (int i = 0; i < 3; ++i) low[i] = WrapPhysicsAngle(info.angularLow[i]), high[i] = WrapPhysicsAngle(info.angularHigh[i]);
    c->setAngularLowerLimit(btVector3(low[0], low[1], low[2]));
    c->setAngularUpperLimit(btVector3(high[0], high[1], high[2]));
    for (int i = 0; i < 3; ++i) {
        if (info.linearSpring[i] != 0.0f) {
            c->enableSpring(i, true);
            c->setStiffness(i, info.linearSpring[i]);
        }
        c->enableSpring(i + 3, true);  // angular springs always, stiffness 0 included
        c->setStiffness(i + 3, info.angularSpring[i]);
    }
    c->setEquilibriumPoint();
    world->world->addConstraint(c.get());
    world->joints.push_back(std::move(c));
    return 0;
}

void SyncPhysicsBodyToBone(PhysicsWorld* world, int body, const Matrix44& bone, int force) {
    PhysicsWorldBody& b = world->bodies[size_t(body)];
    if (!b.kinematic && !force) return;
    b.motion->setWorldTransform(ToTransform(bone) * b.local);
}

void ResetPhysicsBodyToBone(PhysicsWorld* world, int body, const Matrix44& bone) {
    PhysicsWorldBody& b = world->bodies[size_t(body)];
    const btTransform place = ToTransform(bone) * b.local;
    btRigidBody* r = b.body.get();
    r->setCenterOfMassTransform(place);
    r->setInterpolationWorldTransform(place);
    b.motion->setWorldTransform(place);
    const btVector3 zero(0, 0, 0);
    r->setLinearVelocity(zero);
    r->setAngularVelocity(zero);
    r->setInterpolationLinearVelocity(zero);
    r->setInterpolationAngularVelocity(zero);
    r->clearForces();
}

void StepPhysicsWorld(PhysicsWorld* world) { world->world->stepSimulation(kStepTime, 1, kFixedStep); }

void GetPhysicsBodyBone(const PhysicsWorld* world, int body, Matrix44* bone) {
    const PhysicsWorldBody& b = world->bodies[size_t(body)];
    *bone = ToMatrix(b.body->getWorldTransform() * b.localInverse);
}

float GetPhysicsBodyMass(const PhysicsWorld* world, int body) {
    return float(world->bodies[size_t(body)].body->getMass());
}

void GetPhysicsBodyPosition(const PhysicsWorld* world, int body, float position[3]) {
    const btVector3& o = world->bodies[size_t(body)].body->getWorldTransform().getOrigin();
    position[0] = float(o.x()), position[1] = float(o.y()), position[2] = float(o.z());
}

void GetPhysicsJointAngularLimits(const PhysicsWorld* world, int joint, float low[3], float high[3]) {
    btVector3 l, h;
    world->joints[size_t(joint)]->getAngularLowerLimit(l);
    world->joints[size_t(joint)]->getAngularUpperLimit(h);
    for (int i = 0; i < 3; ++i) low[i] = float(l[i]), high[i] = float(h[i]);
}

}  // namespace morpotta
