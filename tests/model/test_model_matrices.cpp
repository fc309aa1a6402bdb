// Frame matrices of real instances: attached animations evaluated at their
// time and blended by their rates, the model rotation modes, frames placed
// by the model matrix alone or by a rigid body, and the bounding box of a
// skinned model. Expected matrices are computed here in double precision.
#include <cmath>
#include <initializer_list>
#include <vector>

#include "engine/model.h"
#include "model/anim/anim_eval.h"
#include "model/convert/convert.h"
#include "model/instance/model_animation.h"
#include "model/instance/model_instance.h"
#include "model/instance/model_refresh.h"
#include "model_generator.h"
#include "model_test_support.h"

using namespace morpotta;

namespace {

// Column-vector 3x4 matrices in double precision.
struct M34 {
    double m[12];
};

M34 Translation(double x, double y, double z) { return M34{{1, 0, 0, x, 0, 1, 0, y, 0, 0, 1, z}}; }
M34 TurnZ(double a) { return M34{{std::cos(a), -std::sin(a), 0, 0, std::sin(a), std::cos(a), 0, 0, 0, 0, 1, 0}}; }
M34 TurnY(double a) { return M34{{std::cos(a), 0, std::sin(a), 0, 0, 1, 0, 0, -std::sin(a), 0, std::cos(a), 0}}; }
M34 Product(const M34& a, const M34& b) {  // a.b: b first
    M34 r{};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col) {
            double v = a.m[row * 4] * b.m[col] + a.m[row * 4 + 1] * b.m[4 + col] + a.m[row * 4 + 2] * b.m[8 + col];
            r.m[row * 4 + col] = v + (col == 3 ? a.m[row * 4 + 3] : 0.0);
        }
    return r;
}

void ExpectNear(const Matrix34& got, const M34& want, double tolerance) {
    for (int i = 0; i < 12; ++i) EXPECT_NEAR(got.m[i], want.m[i], tolerance) << "element " << i;
}

class ModelMatricesTest : public ModelSystemTest {
protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        InitReadModel(&model);
        root = AddReadModelFrame(&model, "root", nullptr);
    }
    void TearDown() override {
        if (handle != -1) ReleaseModelInstance(handle);
        FreeReadModel(&model);
        ModelSystemTest::TearDown();
    }
    // Converts the read model and sets an instance up from it.
    ModelInstance* Build() {
        baseHandle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
        if (baseHandle == -1) return nullptr;
        return Instance();
    }
    ModelInstance* Instance() {
        handle = ReserveModelInstanceHandle();
        if (SetupModelInstance(handle, baseHandle) != 0) return nullptr;
        handle = GetModelInstanceHandleOfSlot(int(uint32_t(handle) & kModelInstanceSlotMask));
        return GetModelInstance(handle);
    }
    ModelBase* Base() { return GetModelBase(baseHandle); }

    // One key set in the base's chain.
    ModelBaseAnimKeySet Keys(int valueType, int kind, std::initializer_list<float> times,
                             std::initializer_list<float> values) {
        MemoryChain* chain = &Base()->memoryChain;
        ModelBaseAnimKeySet ks{};
        ks.valueType = uint8_t(valueType);
        ks.keyKind = uint8_t(kind);
        ks.shapeIndex = -1;
        ks.keyCount = int(times.size());
        ks.explicitTimes = 1;
        ks.times = static_cast<float*>(AllocChainedMemory(sizeof(float) * times.size(), chain));
        ks.values = static_cast<float*>(AllocChainedMemory(sizeof(float) * values.size(), chain));
        int i = 0;
        for (float t : times) ks.times[i++] = t;
        i = 0;
        for (float v : values) ks.values[i++] = v;
        return ks;
    }
    // Adds an animation set of one animation per (frame, key sets); its index.
    int AddSet(std::vector<std::pair<int, std::vector<ModelBaseAnimKeySet>>> anims, uint32_t additive = 0) {
        ModelBase* base = Base();
        MemoryChain* chain = &base->memoryChain;
        auto* sets = static_cast<ModelBaseAnimSet*>(
            AllocChainedMemory(sizeof(ModelBaseAnimSet) * size_t(base->animSetCount + 1), chain));
        for (int s = 0; s < base->animSetCount; ++s) sets[s] = base->animSets[s];
        ModelBaseAnimSet& set = sets[base->animSetCount];
        set.name = "set";
        set.words[0] = additive;
        set.animCount = int(anims.size());
        set.anims = static_cast<ModelBaseAnim*>(AllocChainedMemory(sizeof(ModelBaseAnim) * anims.size(), chain));
        for (size_t a = 0; a < anims.size(); ++a) {
            const auto& keys = anims[a].second;
            auto* copy = static_cast<ModelBaseAnimKeySet*>(AllocChainedMemory(sizeof(ModelBaseAnimKeySet) * keys.size(), chain));
            for (size_t k = 0; k < keys.size(); ++k) copy[k] = keys[k];
            set.anims[a] = ModelBaseAnim{anims[a].first, 0.0f, 0, int(keys.size()), copy};
        }
        base->animSets = sets;
        return base->animSetCount++;
    }
    const Matrix34& World(ModelInstance* in, const ReadModelFrame* f) {
        in->matricesValid = 0;
        RefreshModelMatrices(in);
        return in->frames[f->index].worldMatrix;
    }

    ReadModel model;
    ReadModelFrame* root;
    int baseHandle = -1;
    int handle = -1;
};

TEST_F(ModelMatricesTest, KeysAreEvaluatedAtTheSlotTimeAndTheLastKeyHolds) {
    ReadModelFrame* arm = AddReadModelFrame(&model, "arm", root);
    arm->translation = Vector3{1, 0, 0};
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(SetModelPosition(handle, 0, 5, 0), 0);
    int set = AddSet({{int(arm->index),
                       {Keys(1, 10, {0, 10}, {0, 0, 0, 10, 0, 0}),  // translation
                        Keys(5, 2, {0, 10}, {0, 0.5f})}}});         // turn about y
    int slot = AttachModelAnimation(in, set);
    ASSERT_EQ(slot, 0);
    ASSERT_EQ(SetModelAnimationTime(in, slot, 4.0f), 0);
    EXPECT_EQ(in->motionValid, 0);
    ExpectNear(World(in, arm), Product(Translation(0, 5, 0), Product(Translation(4, 0, 0), TurnY(0.2))), 1e-4);
    EXPECT_EQ(in->motionValid, 1);
    // Past the last key its values hold; the root keeps its rest place.
    ASSERT_EQ(SetModelAnimationTime(in, slot, 25.0f), 0);
    ExpectNear(World(in, arm), Product(Translation(0, 5, 0), Product(Translation(10, 0, 0), TurnY(0.5))), 1e-4);
    ExpectNear(in->frames[root->index].worldMatrix, Translation(0, 5, 0), 1e-6);
    // Detached, the arm is back at its rest place.
    ASSERT_EQ(DetachModelAnimation(handle, slot), 0);
    ExpectNear(World(in, arm), Translation(1, 5, 0), 1e-6);
    EXPECT_EQ(SetModelAnimationTime(in, slot, 1.0f), -1);
}

TEST_F(ModelMatricesTest, SeveralSlotsBlendFromTheRestPoseByTheirRates) {
    ReadModelFrame* arm = AddReadModelFrame(&model, "arm", root);
    arm->translation = Vector3{1, 0, 0};
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    int moveSet = AddSet({{int(arm->index), {Keys(1, 10, {0}, {3, 0, 0})}}});
    int turnSet = AddSet({{int(arm->index), {Keys(5, 3, {0}, {0.5f})}}});
    int move = AttachModelAnimation(in, moveSet), turn = AttachModelAnimation(in, turnSet);
    ASSERT_EQ(move, 0);
    ASSERT_EQ(turn, 1);
    ASSERT_EQ(SetModelAnimationBlendRate(in, move, 0.5f), 0);
    ASSERT_EQ(SetModelAnimationBlendRate(in, turn, 0.25f), 0);
    // rest + 0.5 (move - rest) + 0.25 (turn - rest), axes made unit.
    const M34 rest = Translation(1, 0, 0), a = Translation(3, 0, 0), b = Product(Translation(1, 0, 0), TurnZ(0.5));
    M34 want{};
    for (int i = 0; i < 12; ++i) want.m[i] = rest.m[i] + 0.5 * (a.m[i] - rest.m[i]) + 0.25 * (b.m[i] - rest.m[i]);
    for (int axis = 0; axis < 3; ++axis) {
        double length = std::sqrt(want.m[axis] * want.m[axis] + want.m[4 + axis] * want.m[4 + axis] +
                                  want.m[8 + axis] * want.m[8 + axis]);
        for (int row = 0; row < 3; ++row) want.m[row * 4 + axis] /= length;
    }
    ExpectNear(World(in, arm), want, 1e-4);
    // A slot at rate 0 does not count; the one left is taken whole.
    ASSERT_EQ(SetModelAnimationBlendRate(in, move, 0.0f), 0);
    ExpectNear(World(in, arm), b, 1e-4);
}

TEST_F(ModelMatricesTest, ShapeWeightKeysReachTheFrameShapes) {
    ReadModelMesh* soup = AddTriangleSoup(&model, root, 1);
    ReadModelShape* shape = AddReadModelShape(&model, "lift", root);
    shape->mesh = soup;
    shape->vertexCount = 1;
    shape->vertices = AllocReadModelArray<ReadModelShapeVertex>(&model, 1);
    shape->vertices[0] = {1, Vector3{0, 0, 2}, Vector3{}};
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    ModelBaseAnimKeySet weight = Keys(5, 18, {0, 10}, {0, 1});
    weight.shapeIndex = 0;
    int slot = AttachModelAnimation(in, AddSet({{int(root->index), {weight}}}));
    in->shapesDirty = 0;
    in->frames[root->index].shapeChanged = 0;
    ASSERT_EQ(SetModelAnimationTime(in, slot, 5.0f), 0);
    RefreshModelMatrices(in);
    EXPECT_FLOAT_EQ(in->frames[root->index].shapeStates[0].weight, 0.5f);
    EXPECT_EQ(in->frames[root->index].shapeChanged, 1);
    EXPECT_EQ(in->shapesDirty, 1);
}

TEST_F(ModelMatricesTest, RotationModesQuaternionMatrixAndAxes) {
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    // Mode 1: a unit quaternion about (1, 2, 3) by 0.7.
    const double angle = 0.7, n = std::sqrt(14.0);
    const double q[4] = {std::sin(angle / 2) / n, 2 * std::sin(angle / 2) / n, 3 * std::sin(angle / 2) / n,
                         std::cos(angle / 2)};
    in->rotationByMatrix = 1;
    for (int i = 0; i < 4; ++i) in->rotationValues[i] = float(q[i]);
    in->translation = Vector3{1, 2, 3};
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    M34 want{{1 - 2 * y * y - 2 * z * z, 2 * x * y - 2 * w * z, 2 * x * z + 2 * w * y, 1,
              2 * x * y + 2 * w * z, 1 - 2 * z * z - 2 * x * x, 2 * y * z - 2 * w * x, 2,
              2 * x * z - 2 * w * y, 2 * y * z + 2 * w * x, 1 - 2 * x * x - 2 * y * y, 3}};
    ExpectNear(World(in, root), want, 1e-6);
    // Mode 3: z axis along (1, 0, 1), y up, rolled by 0.3 about the new z
    // first; scale applies before everything.
    in->rotationByMatrix = 3;
    const double s = std::sqrt(0.5);
    const float values[7] = {float(s), 0, float(s), 0, 1, 0, 0.3f};
    for (int i = 0; i < 7; ++i) in->rotationValues[i] = values[i];
    in->scale = Vector3{2, 2, 2};
    in->translation = Vector3{0, 0, 0};
    // Row vectors: p' = (2p . Rz(0.3)) . rows(x = up x dir, up, dir).
    const double dir[3] = {s, 0, s}, up[3] = {0, 1, 0}, xa[3] = {s, 0, -s};
    const double p[3] = {1, 0.5, -2};
    const double c = std::cos(0.3f), sn = std::sin(0.3f);
    const double rolled[3] = {2 * (p[0] * c - p[1] * sn), 2 * (p[0] * sn + p[1] * c), 2 * p[2]};
    const Matrix34& m = World(in, root);
    const Vector3 point{1, 0.5f, -2};
    Vector3 got;
    TransformPointBy34(&m, &got, &point);
    for (int k = 0; k < 3; ++k) {
        double expected = rolled[0] * xa[k] + rolled[1] * up[k] + rolled[2] * dir[k];
        EXPECT_NEAR((&got.x)[k], expected, 1e-5) << k;
    }
    // SetModelRotation goes back to the angles.
    ASSERT_EQ(SetModelRotation(handle, 0, 0, 0), 0);
    EXPECT_EQ(in->rotationByMatrix, 0u);
}

TEST_F(ModelMatricesTest, IgnoreParentAndPhysicsDrivenFrames) {
    root->translation = Vector3{5, 0, 0};
    ReadModelFrame* loose = AddReadModelFrame(&model, "loose", root);
    loose->translation = Vector3{0, 1, 0};
    ReadModelFrame* held = AddReadModelFrame(&model, "held", root);
    ReadModelFrame* leaf = AddReadModelFrame(&model, "leaf", held);
    leaf->translation = Vector3{0, 0, 1};
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(SetModelPosition(handle, 10, 0, 0), 0);
    ExpectNear(World(in, loose), Translation(15, 1, 0), 1e-6);
    Base()->frames[loose->index].ignoreParent = 1;
    ExpectNear(World(in, loose), Translation(10, 1, 0), 1e-6);
    // A body writes the held frame: the refresh keeps it, its child follows.
    ModelFrame& body = in->frames[held->index];
    body.physicsDriven = 1;
    const M34 placed = Product(Translation(-3, 4, 0), TurnZ(0.25));
    for (int i = 0; i < 12; ++i) body.worldMatrix.m[i] = float(placed.m[i]);
    ASSERT_EQ(SetModelPosition(handle, 20, 0, 0), 0);
    ExpectNear(World(in, held), placed, 1e-6);
    ExpectNear(in->frames[leaf->index].worldMatrix, Product(placed, Translation(0, 0, 1)), 1e-6);
}

TEST_F(ModelMatricesTest, SkinnedBoundsNameBonesByTheFramesReferenceSlots) {
    // Bone frames 1 (at x = 100) and 2 (at 0); the mesh names bone 2 first,
    // so its reference slot 0 holds bone 2 while skin bone 0 is bone 1.
    ReadModelFrame* a = AddReadModelFrame(&model, "a", root);
    a->translation = Vector3{100, 0, 0};
    ReadModelFrame* b = AddReadModelFrame(&model, "b", root);
    ReadModelFrame* body = AddReadModelFrame(&model, "body", root);
    ReadModelMesh* soup = AddTriangleSoup(&model, body, 2);
    AddSkinWeight(&model, soup, int(b->index), {{0, 1.0f}, {1, 1.0f}, {2, 1.0f}});
    AddSkinWeight(&model, soup, int(a->index), {{3, 1.0f}, {4, 1.0f}, {5, 1.0f}});
    ModelInstance* in = Build();
    ASSERT_NE(in, nullptr);
    const ModelBase* base = Base();
    const ModelBaseFrame& f = base->frames[body->index];
    ASSERT_EQ(f.boneRefCount, 2);
    ASSERT_EQ(f.boneRefs[0]->boneFrame, int(b->index));
    ASSERT_NE(f.boneRefs[0], &base->skinBones[0]);
    // Each skin matrix is its bone's world times its offset (a move of -index in x).
    float lo[3], hi[3];
    ASSERT_EQ(GetModelBoundingBox(handle, lo, hi), 0);
    EXPECT_NEAR(lo[0], 0.0f - 2.0f, 1e-5);    // triangle 0 (x 0..1) moved by bone b
    EXPECT_NEAR(hi[0], 2.0f + 99.0f, 1e-5);   // triangle 1 (x 1..2) moved by bone a
    EXPECT_NEAR(lo[1], 0.0f, 1e-5);
    EXPECT_NEAR(hi[1], 1.0f, 1e-5);
}

TEST(FrameLocalMatrixTest, QuaternionBuildersAgreeAndScaleAppliesFirst) {
    FrameAnimRecord r{};
    const float q[4] = {0.2f, -0.4f, 0.1f, std::sqrt(1.0f - 0.21f)};
    for (int i = 0; i < 4; ++i) r.quaternion[i] = q[i];
    r.flags = FRAME_ANIM_QUATERNION;
    Matrix34 product, closed;
    BuildFrameLocalMatrix(&r, &product);
    r.flags = FRAME_ANIM_QUATERNION | FRAME_ANIM_QUATERNION_INTERNAL;
    BuildFrameLocalMatrix(&r, &closed);
    for (int i = 0; i < 12; ++i) EXPECT_NEAR(product.m[i], closed.m[i], 1e-6) << i;
    // Scale (2, 3, 4) then the quaternion then a move: columns scaled.
    r.flags |= FRAME_ANIM_SCALE | FRAME_ANIM_TRANSLATION;
    r.scale[0] = 2, r.scale[1] = 3, r.scale[2] = 4;
    r.translation[0] = 7, r.translation[1] = 8, r.translation[2] = 9;
    Matrix34 full;
    BuildFrameLocalMatrix(&r, &full);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) EXPECT_FLOAT_EQ(full.m[row * 4 + col], closed.m[row * 4 + col] * r.scale[col]);
        EXPECT_EQ(full.m[row * 4 + 3], r.translation[row]);
    }
    r.flags = 0;
    BuildFrameLocalMatrix(&r, &full);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(full.m[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
}

}  // namespace
