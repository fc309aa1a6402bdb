#include <cstring>
#include <string>

#include "model/read/read_model.h"
#include "model_test_support.h"

using namespace morpotta;

namespace {

class ReadModelTest : public ModelSystemTest {
protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        InitReadModel(&model);
    }
    void TearDown() override {
        FreeReadModel(&model);
        ModelSystemTest::TearDown();
    }
    ReadModel model;
};

TEST_F(ReadModelTest, FramesStayInTreeOrder) {
    ReadModelFrame* a = AddReadModelFrame(&model, "A", nullptr);
    ReadModelFrame* b = AddReadModelFrame(&model, "B", a);
    AddReadModelFrame(&model, "C", nullptr);
    AddReadModelFrame(&model, "D", b);
    ReadModelFrame* e = AddReadModelFrame(&model, "E", a);
    std::string order;
    uint32_t expected = 0;
    for (ReadModelFrame* f = model.frames.first; f; f = f->next) {
        order += f->name;
        EXPECT_EQ(f->index, expected++);
        if (f->parent) { EXPECT_GT(f->index, f->parent->index); }
    }
    EXPECT_EQ(order, "ABDEC");
    EXPECT_EQ(model.frames.count, 5);
    EXPECT_EQ(std::string(model.frames.last->name), "C");
    EXPECT_EQ(a->firstChild, b);
    EXPECT_EQ(a->lastChild, e);
    EXPECT_EQ(b->nextSibling, e);
    EXPECT_EQ(e->prevSibling, b);
    EXPECT_EQ(e->smoothingAngle, 1.5207964f);
    EXPECT_EQ(e->transform.m[3][3], 1.0f);
    EXPECT_EQ(e->quaternion[3], 1.0f);
    EXPECT_EQ(model.stringBytes, 5u * 4u);  // (1 + 4) & ~3 each
}

TEST_F(ReadModelTest, FaceReservationKeepsOldIndicesAndIgnoresShrinking) {
    ReadModelMesh* mesh = AddReadModelMesh(&model, AddReadModelFrame(&model, "f", nullptr));
    ASSERT_EQ(ReserveReadModelFaces(&model, mesh, 2, 3), 0);
    mesh->faceCorners[1] = 3;
    ReadFacePositions(mesh, 1)[2] = 7;
    ReadFaceUvs(mesh, 3, 1)[1] = 5;
    mesh->faceMaterials[1] = 2;
    const int* before = mesh->faceIndices[READ_FACE_POSITIONS];
    ASSERT_EQ(ReserveReadModelFaces(&model, mesh, 1, 2), 0);
    EXPECT_EQ(mesh->faceIndices[READ_FACE_POSITIONS], before);
    ASSERT_EQ(ReserveReadModelFaces(&model, mesh, 4, 6), 0);
    EXPECT_EQ(mesh->faceCount, 4);
    EXPECT_EQ(mesh->maxIndicesPerFace, 6);
    EXPECT_EQ(ReadFacePositions(mesh, 1)[2], 7);
    EXPECT_EQ(ReadFaceUvs(mesh, 3, 1)[1], 5);
    EXPECT_EQ(mesh->faceMaterials[1], 2);
    EXPECT_EQ(ReadFacePositions(mesh, 3)[5], 0);
    SetModelAllocFailureAt(3);
    EXPECT_EQ(ReserveReadModelFaces(&model, mesh, 8, 6), -1);
    SetModelAllocFailureAt(0);
    EXPECT_EQ(mesh->faceCount, 4);  // as they were
    EXPECT_EQ(ReadFacePositions(mesh, 1)[2], 7);

    // A mask names the arrays made; one can be added later.
    ReadModelMesh* masked = AddReadModelMesh(&model, nullptr);
    masked->faceArrays = 1u << READ_FACE_POSITIONS | 1u << READ_FACE_UVS;
    ASSERT_EQ(ReserveReadModelFaces(&model, masked, 5, 4), 0);
    EXPECT_NE(ReadFaceUvs(masked, 0, 4), nullptr);
    EXPECT_EQ(ReadFaceNormals(masked, 4), nullptr);
    EXPECT_EQ(ReadFaceUvs(masked, 1, 4), nullptr);
    ASSERT_TRUE(AddReadModelFaceArray(&model, masked, READ_FACE_NORMALS));
    EXPECT_EQ(ReadFaceNormals(masked, 4)[3], 0);
    EXPECT_EQ(ReadFaceNormals(masked, 4) - ReadFaceNormals(masked, 0), 16);
}

TEST_F(ReadModelTest, MaterialsTexturesAndRemovedMeshes) {
    ReadModelMaterial* m0 = AddReadModelMaterial(&model, "m0");
    ReadModelMaterial* m1 = AddReadModelMaterial(&model, "m1");
    EXPECT_EQ(GetReadModelMaterial(&model, 0), m0);
    EXPECT_EQ(GetReadModelMaterial(&model, -1), m0);
    EXPECT_EQ(GetReadModelMaterial(&model, 1), m1);
    EXPECT_EQ(m1->index, 1u);
    EXPECT_EQ(m1->diffuse[3], 1.0f);
    EXPECT_EQ(m1->alpha, 255);
    EXPECT_EQ(m1->modeWords[0], 2u);
    EXPECT_EQ(m1->extraTextureIndex1, -1);

    ReadModelTexture* t1 = AddReadModelTexture(&model, "t", "wood.png", nullptr, 0, 0, 1, 0, 1);
    ReadModelTexture* t2 = AddReadModelTexture(&model, "t", "wood.png", nullptr, 0, 0, 1, 0, 0);
    ReadModelTexture* t3 = AddReadModelTexture(&model, "t", "wood.png", nullptr, 0, 0, 0, 0, 0);
    ReadModelTexture* t4 = AddReadModelTexture(&model, "t", "wood.png", "wood_a.png", 0, 0, 1, 0, 0);
    EXPECT_EQ(t1, t2);
    EXPECT_NE(t1, t3);
    EXPECT_NE(t1, t4);
    EXPECT_EQ(model.textures.count, 3);
    EXPECT_EQ(t1->flag2, 1u);
    EXPECT_EQ(t1->filter, 2);
    EXPECT_STREQ(t4->alphaFilePath, "wood_a.png");

    ReadModelFrame* f = AddReadModelFrame(&model, "f", nullptr);
    ReadModelMesh* a = AddReadModelMesh(&model, f);
    ReadModelMesh* b = AddReadModelMesh(&model, f);
    ReadModelMesh* c = AddReadModelMesh(&model, f);
    RemoveReadModelMesh(&model, f, b);
    EXPECT_EQ(model.meshes.count, 2);
    EXPECT_EQ(f->meshes.count, 2);
    EXPECT_EQ(a->next, c);
    EXPECT_EQ(c->prevInFrame, a);
    EXPECT_EQ(c->index, 2u);
}

TEST_F(ReadModelTest, AnimationRecordsLinkToTheirOwners) {
    ReadModelAnimSet* set = AddReadModelAnimSet(&model, "walk");
    ReadModelAnim* anim = AddReadModelAnim(&model, set);
    ReadModelAnimKeySet* ks = AddReadModelAnimKeySet(&model, anim);
    EXPECT_EQ(anim->set, set);
    EXPECT_EQ(set->anims.first, anim);
    EXPECT_EQ(anim->keySets.first, ks);
    EXPECT_EQ(ks->explicitTimes, 1);
    EXPECT_EQ(model.keySets.count, 1);
    ASSERT_NE(AllocReadModelSkinWeight(&model), nullptr);
    EXPECT_EQ(model.skinWeightCount, 1u);
    ReadModelShape* shape = AddReadModelShape(&model, "smile", AddReadModelFrame(&model, "face", nullptr));
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->frame->shapes.first, shape);
    EXPECT_EQ(AddReadModelRigidBody(&model, "body", 7)->params[0], 7u);
    EXPECT_NE(AddReadModelJoint(&model, "joint"), nullptr);
}

}  // namespace

#include "fake_files.h"

namespace {

class TexturePathTest : public ReadModelTest {};

TEST_F(TexturePathTest, PathsResolveAgainstTheCurrentFolderThenByName) {
    FakeFiles files;
    files.Add("tex\\wood.png", "x");
    files.Add("stone.png", "x");
    ReadModelTexture* inside = AddReadModelTexture(&model, "a", "C:\\game\\tex\\wood.png", nullptr, 0, 0, 0, 0, 0);
    EXPECT_STREQ(inside->colourFilePath, "tex\\wood.png");
    ReadModelTexture* byName = AddReadModelTexture(&model, "b", "D:\\elsewhere\\stone.png", nullptr, 0, 0, 0, 0, 0);
    EXPECT_STREQ(byName->colourFilePath, "stone.png");
    ReadModelTexture* missing = AddReadModelTexture(&model, "c", "C:\\game\\gone\\none.png", "none_a.png", 0, 0, 0, 0, 0);
    EXPECT_STREQ(missing->colourFilePath, "gone\\none.png");
    EXPECT_STREQ(missing->alphaFilePath, "none_a.png");
    EXPECT_EQ(AddReadModelTexture(&model, "d", "tex/../tex\\wood.png", nullptr, 0, 0, 1, 0, 0)->index, 3u);
}

}  // namespace
