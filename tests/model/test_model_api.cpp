// The model API on instances: unchanged values do nothing, changes leave
// their marks, bad handles and indices give -1, handles are not reused.
#include "model_load_support.h"

#include <cmath>

#include "model/instance/model_instance.h"

using namespace morpotta;

namespace {

// Two objects (a parent and its child), two materials.
MqoDocument MakeTwoFrameDocument() {
    MqoDocument doc = MakeQuadDocument();
    MqoMaterialSpec second;
    second.name = "second";
    doc.materials.push_back(second);
    MqoObjectSpec child = doc.objects[0];
    child.name = "child";
    child.depth = 1;
    child.vertices = {{0, 2, 0}, {3, 2, 0}, {3, 2, -4}, {0, 2, -4}};
    child.faces[0].material = 1;
    doc.objects.push_back(child);
    return doc;
}

class ModelApiTest : public ModelLoadTest {
protected:
    void SetUp() override {
        ModelLoadTest::SetUp();
        model_ = Load(MakeTwoFrameDocument());
        ASSERT_GE(model_, 0) << Log();
        in_ = InstanceOf(model_);
    }
    int model_ = -1;
    ModelInstance* in_ = nullptr;
};

TEST_F(ModelApiTest, AnInstanceStartsAsItsBaseSays) {
    EXPECT_EQ(in_->visible, 1);
    EXPECT_EQ(in_->scale.x, 1.0f);
    EXPECT_EQ(in_->opacity, 1.0f);
    EXPECT_EQ(in_->shapesDirty, 1);
    EXPECT_EQ(in_->drawSettings[2], 4);
    EXPECT_EQ(in_->drawSettings[5], 2);
    EXPECT_EQ(in_->topFrameCount, 1);
    ASSERT_EQ(in_->frames[0].childCount, 1);
    EXPECT_EQ(in_->frames[0].children[0], &in_->frames[1]);
    EXPECT_EQ(in_->frames[1].parent, &in_->frames[0]);
    EXPECT_EQ(std::string(in_->frames[1].magic, 4), "FRM_");
    EXPECT_EQ(in_->frames[1].modelHandle, model_);
    EXPECT_EQ(in_->meshes[1].material, &in_->materials[1]);
    // The first instance's bounding box refreshed its matrices.
    EXPECT_EQ(in_->matricesValid, 1);
    EXPECT_EQ(in_->matrixDirtyBits[0], 0u);
    EXPECT_EQ(GetModelBaseHandle(model_), in_->baseHandle);
}

TEST_F(ModelApiTest, TheBoundingBoxCoversEveryVertex) {
    float lo[3], hi[3];
    ASSERT_EQ(GetModelBoundingBox(model_, lo, hi), 0);
    EXPECT_NEAR(lo[0], 0, 1e-5);
    EXPECT_NEAR(lo[1], 0, 1e-5);
    EXPECT_NEAR(lo[2], -1, 1e-5);  // file z is stored negated
    EXPECT_NEAR(hi[0], 3, 1e-5);
    EXPECT_NEAR(hi[1], 2, 1e-5);
    EXPECT_NEAR(hi[2], 4, 1e-5);
    EXPECT_EQ(GetModelBoundingBox(model_, nullptr, nullptr), 0);
    EXPECT_EQ(GetModelBoundingBox(model_ + 1, lo, hi), -1);
}

TEST_F(ModelApiTest, PositionChangesOnlyWhenItsBitsChange) {
    ASSERT_EQ(SetModelPosition(model_, 1, 2, 3), 0);
    EXPECT_EQ(in_->matricesValid, 0);
    in_->matricesValid = 1;  // as a draw leaves it
    in_->matrixDirtyBits[0] = 0;
    EXPECT_EQ(SetModelPosition(model_, 1, 2, 3), 0);
    EXPECT_EQ(in_->matricesValid, 1);
    EXPECT_EQ(in_->matrixDirtyBits[0], 0u);
    ASSERT_EQ(SetModelPosition(model_, 0.0f, 2, 3), 0);
    in_->matricesValid = 1;
    EXPECT_EQ(SetModelPosition(model_, -0.0f, 2, 3), 0);  // -0 and 0 differ
    EXPECT_EQ(in_->matricesValid, 0);
    EXPECT_EQ(in_->matrixDirtyBits[0], 0xFFFFFFFFu);
    EXPECT_EQ(std::signbit(in_->translation.x), true);
}

TEST_F(ModelApiTest, RotationAfterARotationByMatrixAlwaysTakesEffect) {
    ASSERT_EQ(SetModelRotation(model_, 0.5f, 0, 0), 0);
    in_->matricesValid = 1;
    EXPECT_EQ(SetModelRotation(model_, 0.5f, 0, 0), 0);
    EXPECT_EQ(in_->matricesValid, 1);
    in_->rotationByMatrix = 1;
    EXPECT_EQ(SetModelRotation(model_, 0.5f, 0, 0), 0);
    EXPECT_EQ(in_->matricesValid, 0);
    EXPECT_EQ(in_->rotationByMatrix, 0u);
}

TEST_F(ModelApiTest, MaterialTypeIsSharedByEveryInstanceOfTheBase) {
    int other = ReserveModelInstanceHandle();
    ASSERT_EQ(SetupModelInstance(other, GetModelBaseHandle(model_)), 0);
    other = GetModelInstanceHandleOfSlot(other & 0xFFFF);
    ModelInstance* second = InstanceOf(other);
    second->meshes[1].drawStateBuilt = 1;
    second->frames[0].drawStateValid = second->frames[1].drawStateValid = 1;
    second->allDrawStatesValid = 1;
    std::memset(second->drawDirtyBits, 0, second->drawDirtyBytes);
    EXPECT_EQ(SetModelMaterialType(model_, 1, 2), 0);
    EXPECT_EQ(GetModelMaterialType(other, 1), 2);
    EXPECT_EQ(GetModelMaterialType(other, 0), 0);
    EXPECT_EQ(second->meshes[1].drawStateBuilt, 0);
    EXPECT_EQ(second->frames[1].drawStateValid, 0);
    EXPECT_EQ(second->frames[0].drawStateValid, 0);  // the ancestor too
    EXPECT_EQ(second->allDrawStatesValid, 0u);
    const ModelBitPosition& bit = second->meshes[1].drawBit;
    EXPECT_NE(second->drawDirtyBits[bit.word] & bit.mask, 0u);
    EXPECT_EQ(DeleteModel(other), 0);
}

TEST_F(ModelApiTest, SpecularAndOutlineChangeOnlyThisInstance) {
    in_->meshes[0].drawStateBuilt = 1;
    in_->frames[0].drawStateValid = 1;
    in_->allDrawStatesValid = 1;
    EXPECT_EQ(SetModelMaterialSpecularColor(model_, 0, 0.1f, 0.2f, 0.3f, 0.4f), 0);
    EXPECT_EQ(in_->materials[0].specular[2], 0.3f);
    EXPECT_EQ(in_->meshes[0].drawStateBuilt, 0);
    EXPECT_EQ(in_->meshes[1].drawStateBuilt, 0);
    EXPECT_EQ(in_->allDrawStatesValid, 0u);
    // The same colour again does nothing.
    in_->meshes[0].drawStateBuilt = 1;
    EXPECT_EQ(SetModelMaterialSpecularColor(model_, 0, 0.1f, 0.2f, 0.3f, 0.4f), 0);
    EXPECT_EQ(in_->meshes[0].drawStateBuilt, 1);
    EXPECT_EQ(SetModelMaterialOutlineWidth(model_, 1, 0.5f), 0);
    EXPECT_EQ(in_->materials[1].outline[0], 0.5f);
    EXPECT_EQ(in_->base->materials[1].outline[0], 0.0f);  // the base keeps its own
}

TEST_F(ModelApiTest, FrameOpacityInvalidatesTheFrameAndItsAncestors) {
    in_->frames[0].drawStateValid = in_->frames[1].drawStateValid = 1;
    in_->allDrawStatesValid = 1;
    std::memset(in_->drawDirtyBits, 0, in_->drawDirtyBytes);
    EXPECT_EQ(SetModelFrameOpacity(model_, 1, 0.5f), 0);
    EXPECT_EQ(in_->frames[1].opacity, 0.5f);
    EXPECT_EQ(in_->frames[0].drawStateValid, 0);
    EXPECT_EQ(in_->allDrawStatesValid, 0u);
    const ModelBitPosition* bit = in_->frames[1].drawBit;
    EXPECT_NE(in_->drawDirtyBits[bit->word] & bit->mask, 0u);
    in_->frames[1].drawStateValid = 1;
    EXPECT_EQ(SetModelFrameOpacity(model_, 1, 0.5f), 0);
    EXPECT_EQ(in_->frames[1].drawStateValid, 1);
}

TEST_F(ModelApiTest, IndicesOutsideTheirRangeGiveMinusOne) {
    int frames = in_->base->frameCount, materials = GetModelMaterialCount(model_);
    EXPECT_EQ(materials, 3);
    EXPECT_EQ(SetModelFrameOpacity(model_, frames, 1.0f), -1);
    EXPECT_EQ(SetModelFrameOpacity(model_, -1, 1.0f), -1);
    EXPECT_EQ(SetModelMaterialType(model_, -1, 1), -1);
    EXPECT_EQ(SetModelMaterialType(model_, materials, 1), -1);
    EXPECT_EQ(GetModelMaterialType(model_, materials), -1);
    EXPECT_EQ(SetModelMaterialSpecularColor(model_, materials, 0, 0, 0, 0), -1);
    EXPECT_EQ(SetModelMaterialOutlineWidth(model_, -1, 1.0f), -1);
    EXPECT_EQ(DetachModelAnimation(model_, 0), -1);  // nothing attached
}

TEST_F(ModelApiTest, BadHandlesGiveMinusOne) {
    for (int bad : {-1, 0, 0x08000000, model_ ^ 0x00010000, model_ + 5}) {
        EXPECT_EQ(SetModelPosition(bad, 1, 1, 1), -1) << bad;
        EXPECT_EQ(SetModelRotation(bad, 1, 1, 1), -1);
        EXPECT_EQ(GetModelBaseHandle(bad), -1);
        EXPECT_EQ(GetModelMaterialCount(bad), -1);
        EXPECT_EQ(GetModelMaterialType(bad, 0), -1);
        EXPECT_EQ(SetModelFrameOpacity(bad, 0, 1.0f), -1);
        EXPECT_EQ(DeleteModel(bad), -1);
    }
}

TEST_F(ModelApiTest, ADeletedHandleStaysDeadWhenItsSlotIsReused) {
    int slot = model_ & 0xFFFF;
    ASSERT_EQ(DeleteModel(model_), 0);
    EXPECT_EQ(DeleteModel(model_), -1);
    EXPECT_EQ(SetModelPosition(model_, 1, 1, 1), -1);
    int again = LoadModelFile("model.mqo");
    ASSERT_GE(again, 0);
    EXPECT_EQ(again & 0xFFFF, slot);
    EXPECT_NE(again, model_);
    EXPECT_EQ(ReleaseModelInstance(model_), -1);
    EXPECT_EQ(SetModelPosition(again, 1, 1, 1), 0);  // the newer instance is untouched
}

}  // namespace
