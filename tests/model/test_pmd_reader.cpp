// The PMD reader: what a file becomes in the read model and in base data.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "model/convert/convert.h"
#include "pmd_test_support.h"

using namespace morpotta;

namespace {

float FloatOf(uint32_t bits) {
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

const char* TextureName(const ReadModelTexture* t) { return t ? t->name : "(none)"; }

TEST_F(PmdLoadTest, OneTriangleLoadsByFileNameIntoToonBaseData) {
    int model = LoadPmd(PmdTriangle());
    ASSERT_GE(model, 0) << Log();
    const ModelBase* base = BaseOf(model);
    ASSERT_EQ(base->frameCount, 2);
    EXPECT_STREQ(base->frames[0].name, "Mesh");
    EXPECT_EQ(base->frames[1].name, Cp932("センター"));
    EXPECT_EQ(base->frames[0].parent, nullptr);
    EXPECT_EQ(base->frames[1].parent, nullptr);
    ASSERT_EQ(base->meshCount, 1);
    EXPECT_EQ(base->meshes[0].triangleCount, 1);
    ASSERT_EQ(base->materialCount, 1);
    const ModelBaseMaterial& m = base->materials[0];
    EXPECT_STREQ(m.name, "Mat_0");
    EXPECT_EQ(m.drawType, 2);
    ASSERT_EQ(base->textureCount, 1);
    EXPECT_STREQ(base->textures[0].name, "toon0.bmp");
    EXPECT_EQ(base->textures[0].addressU, 3);
    EXPECT_EQ(base->textures[0].addressV, 3);
    EXPECT_EQ(m.extraTexture1, 0);
    EXPECT_EQ(m.extraTexture2, -1);
    EXPECT_EQ(m.modeWords[0], 2u);
    EXPECT_EQ(m.modeWords[1], 1u);
    EXPECT_EQ(m.layers[0].count, 0);
    EXPECT_EQ(base->skinBoneCount, 1);
    EXPECT_EQ(Log().find("PMD Load Error"), std::string::npos) << Log();
    // The instance draws with the material's own toon ramp and outline.
    const ModelMaterial& drawn = InstanceOf(model)->materials[0];
    EXPECT_EQ(drawn.toonTexture, 0);
    EXPECT_EQ(drawn.secondToonTexture, -2);  // none named: the built-in smooth ramp
    EXPECT_EQ(drawn.toonMode, 2);
    EXPECT_EQ(drawn.secondToonMode, 1);
    EXPECT_FLOAT_EQ(drawn.outline[0], 0.01f);
    EXPECT_FLOAT_EQ(drawn.outline[1], 1.1f);
    EXPECT_EQ(DeleteModel(model), 0);
}

TEST(PmdReader, SkinWeightsCoverTheThreeWeightCases) {
    PmdRead r(WritePmd(PmdLegStrip()));
    ASSERT_EQ(r.result, 0);
    ReadModelMesh* mesh = r.Mesh(0);
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->skinWeightCount, 3);  // thigh, knee, ankle; the centre and the target carry nothing
    struct Pair {
        uint32_t vertex;
        float weight;
    };
    const std::vector<std::vector<Pair>> expected = {
        {{0, 1.0f}, {1, 1.0f}, {2, 0.5f}, {3, 0.5f}},  // both fields name the thigh: 1 whatever the byte says
        {{2, 0.5f}, {3, 0.5f}, {4, 0.3f}, {5, 0.3f}},  // knee as bone 1, then as bone 0
        {{4, 0.7f}, {5, 0.7f}},                        // ankle as bone 1
    };
    const int bones[] = {kLegThigh, kLegKnee, kLegAnkle};
    for (int i = 0; i < 3; ++i) {
        const ReadModelSkinWeight* w = mesh->skinWeights[i];
        const PmdBone& bone = r.load.skeleton.bones[bones[i]];
        EXPECT_EQ(w->boneFrameIndex, int(bone.frame->index));
        EXPECT_FLOAT_EQ(w->offsetMatrix.m[3][1], -bone.head[1]);
        EXPECT_FLOAT_EQ(w->offsetMatrix.m[0][0], 1.0f);
        ASSERT_EQ(w->weightCount, int(expected[size_t(i)].size())) << i;
        for (int p = 0; p < w->weightCount; ++p) {
            EXPECT_EQ(w->weights[p].position, expected[size_t(i)][size_t(p)].vertex) << i << "," << p;
            EXPECT_NEAR(w->weights[p].weight, expected[size_t(i)][size_t(p)].weight, 1e-6f) << i << "," << p;
        }
    }
    EXPECT_EQ(mesh->positionFlags[0], 1);  // the edge flags ride on the positions
    EXPECT_FLOAT_EQ(mesh->uvs[0][1][0], 1.5f);
    EXPECT_FLOAT_EQ(mesh->normals[2].z, -1.0f);
}

TEST(PmdReader, MaterialsTakeTheirFacesToonsTexturesAndOutlines) {
    PmdRead r(WritePmd(PmdLegStrip()));
    ASSERT_EQ(r.result, 0);
    ReadModelMesh* mesh = r.Mesh(0);
    ASSERT_EQ(r.load.model.materials.count, 3);  // the empty one is still a material of the model
    ASSERT_EQ(mesh->materialCount, 2);          // but not of the mesh
    EXPECT_EQ(mesh->materials[0], r.Material(0));
    EXPECT_EQ(mesh->materials[1], r.Material(1));
    const int faceMaterials[] = {0, 0, 1, 1};
    for (int f = 0; f < 4; ++f) EXPECT_EQ(mesh->faceMaterials[f], faceMaterials[f]) << f;

    ReadModelMaterial* skin = r.Material(0);
    EXPECT_EQ(skin->drawType, 2);
    EXPECT_FLOAT_EQ(skin->diffuse[1], 0.8f);
    EXPECT_FLOAT_EQ(skin->specular[3], 0.0f);
    EXPECT_FLOAT_EQ(skin->ambient[0], 0.5f);
    EXPECT_FLOAT_EQ(FloatOf(skin->modeWords[2]), 0.01f);  // the outline of the edge flag
    EXPECT_FLOAT_EQ(FloatOf(skin->modeWords[3]), 1.1f);
    // Without the name block a toon index names the usual file of its number.
    EXPECT_STREQ(TextureName(skin->extraTexture1), "toon01.bmp");
    ASSERT_EQ(skin->layers[0].count, 1);
    EXPECT_STREQ(TextureName(skin->layers[0].textures[0]), "skin.bmp");  // the sphere map is cut off
    EXPECT_EQ(skin->layers[0].textures[0]->flag1, 0u);
    EXPECT_EQ(skin->layers[0].textures[0]->flag2, 1u);
    EXPECT_EQ(skin->extraTexture1->flag1, 1u);
    EXPECT_EQ(skin->extraTexture1->addressU, 3);

    ReadModelMaterial* cloth = r.Material(1);
    EXPECT_STREQ(TextureName(cloth->extraTexture1), "toon0.bmp");
    EXPECT_EQ(cloth->layers[0].count, 0);
    EXPECT_EQ(cloth->modeWords[2], 0u);
    EXPECT_STREQ(TextureName(r.Material(2)->extraTexture1), "toon02.bmp");
}

TEST(PmdReader, ToonNamesComeFromTheFileWhenItHasThem) {
    PmdRead r(WritePmd(PmdFullSample()));
    ASSERT_EQ(r.result, 0);
    EXPECT_STREQ(TextureName(r.Material(0)->extraTexture1), "toon01.bmp");
    EXPECT_STREQ(TextureName(r.Material(1)->extraTexture1), "toon0.bmp");
    EXPECT_STREQ(TextureName(r.Material(2)->extraTexture1), "ramp.bmp");  // cut at "*"
    // Equal files share one texture record.
    PmdDocument d = PmdFullSample();
    d.materials[1].toon = 0;
    PmdRead shared(WritePmd(d));
    ASSERT_EQ(shared.result, 0);
    EXPECT_EQ(shared.Material(0)->extraTexture1, shared.Material(1)->extraTexture1);
}

TEST(PmdReader, BonesBecomeFramesUnderTheirParentsWithTheIkList) {
    PmdDocument d = PmdLegStrip();
    // The ankle and the knee listed before their parents.
    std::swap(d.bones[kLegThigh], d.bones[kLegAnkle]);  // 1 ankle, 3 thigh
    d.bones[1].parent = kLegKnee;
    d.bones[kLegKnee].parent = 3;
    d.bones[3].parent = kLegCentre;
    for (PmdVertexSpec& v : d.vertices)
        for (uint16_t* b : {&v.bone0, &v.bone1}) *b = *b == 1 ? 3 : *b == 3 ? 1 : *b;
    d.iks[0].effector = 1;
    d.iks[0].links = {kLegKnee, 3};
    PmdRead r(WritePmd(d));
    ASSERT_EQ(r.result, 0);
    const PmdBone* bones = r.load.skeleton.bones;
    EXPECT_EQ(r.Frame(0)->name, std::string("Mesh"));
    EXPECT_EQ(bones[1].frame->parent, bones[kLegKnee].frame);
    EXPECT_EQ(bones[kLegKnee].frame->parent, bones[3].frame);
    EXPECT_EQ(bones[3].frame->parent, bones[kLegCentre].frame);
    EXPECT_EQ(bones[kLegCentre].frame->parent, nullptr);
    // Frames keep the offset from the parent's head; world matrices the head.
    EXPECT_FLOAT_EQ(bones[1].frame->translation.y, -4.0f);
    EXPECT_FLOAT_EQ(bones[kLegCentre].frame->translation.y, 10.0f);
    for (int i = 0; i < 5; ++i)
        for (int a = 0; a < 3; ++a) EXPECT_NEAR(bones[i].world.m[3][a], bones[i].head[a], 1e-5f) << i << "," << a;
    // Every parent is refreshed before its children.
    std::vector<int> seen;
    for (int i = 0; i < r.load.skeleton.boneCount; ++i) {
        const PmdBone& bone = bones[r.load.skeleton.order[i]];
        if (bone.parent) {
            EXPECT_NE(std::find(seen.begin(), seen.end(), int(bone.parent - bones)), seen.end());
        }
        seen.push_back(r.load.skeleton.order[i]);
    }
    EXPECT_TRUE(bones[kLegKnee].knee);
    EXPECT_FALSE(bones[3].knee);
    EXPECT_TRUE(bones[1].ikDriven && bones[kLegKnee].ikDriven && bones[3].ikDriven);
    EXPECT_FALSE(bones[kLegTarget].ikDriven);
    const PmdIkEntry* ik = r.load.skeleton.firstIk;
    ASSERT_NE(ik, nullptr);
    EXPECT_EQ(ik->knee, 1);
    EXPECT_EQ(ik->target, &bones[kLegTarget]);
    EXPECT_NEAR(ik->limit, 0.5f * 3.14159265f, 1e-6f);
    EXPECT_NEAR(ik->reach, 8.0f, 1e-5f);  // ankle to knee and knee to thigh
}

TEST(PmdReader, IkEntriesAreSortedByTheirFirstLink) {
    PmdDocument d = PmdLegStrip();
    PmdIkSpec second = d.iks[0], third = d.iks[0];
    second.links = {kLegThigh};
    second.iterations = 7;
    third.links = {kLegKnee};
    third.iterations = 9;
    d.iks = {d.iks[0], second, third};  // first links 2, 1, 2
    PmdRead r(WritePmd(d));
    ASSERT_EQ(r.result, 0);
    std::vector<int> iterations;
    for (const PmdIkEntry* e = r.load.skeleton.firstIk; e; e = e->next) iterations.push_back(e->iterations);
    // An entry goes before the first one whose key is not below its own.
    EXPECT_EQ(iterations, (std::vector<int>{7, 9, 40}));
}

TEST(PmdReader, MorphsMoveTheirFacesIntoAShapedSecondMesh) {
    PmdRead r(WritePmd(PmdLegWithMorphs()));
    ASSERT_EQ(r.result, 0);
    ASSERT_EQ(r.load.model.meshes.count, 2);
    ReadModelMesh* main = r.Mesh(0);
    ReadModelMesh* second = r.Mesh(1);
    EXPECT_EQ(second->frame, main->frame);
    // Faces (2,3,4) and (3,5,4) touch the base vertices 4 and 5.
    ASSERT_EQ(main->faceCount, 2);
    ASSERT_EQ(second->faceCount, 2);
    ASSERT_EQ(second->positionCount, 4);  // base 4, 5, then 2, 3 as the faces bring them
    const float ys[] = {1, 1, 5, 5};
    const float xs[] = {0.5f, 1.5f, 0.5f, 1.5f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(second->positions[i].y, ys[i]) << i;
        EXPECT_FLOAT_EQ(second->positions[i].x, xs[i]) << i;
    }
    const int corners[2][3] = {{2, 3, 0}, {3, 1, 0}};
    for (int f = 0; f < 2; ++f)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(ReadFacePositions(second, f)[c], corners[f][c]) << f << "," << c;
    ASSERT_EQ(second->materialCount, 1);
    EXPECT_EQ(second->materials[0], r.Material(1));
    EXPECT_EQ(second->faceMaterials[0], 0);
    // The second mesh's weights follow its numbering; the main mesh keeps
    // the pairs of its other vertices only.
    ASSERT_EQ(second->skinWeightCount, 3);
    EXPECT_EQ(second->skinWeights[2]->weightCount, 2);  // ankle: base vertices 0 and 1
    EXPECT_EQ(second->skinWeights[2]->weights[1].position, 1u);
    EXPECT_NEAR(second->skinWeights[2]->weights[1].weight, 0.7f, 1e-6f);
    EXPECT_EQ(main->skinWeights[1]->weightCount, 2);  // knee: vertices 2 and 3
    EXPECT_EQ(main->skinWeights[2]->weightCount, 1);  // ankle: only base vertices, its last pair stays
    EXPECT_EQ(main->skinWeights[2]->weights[0].position, 5u);
    EXPECT_EQ(main->skinWeights[2]->weights[0].weight, 0.0f);  // but weighs nothing there
    // Each morph after the base is a shape of the second mesh.
    ASSERT_EQ(r.load.model.shapes.count, 2);
    ReadModelShape* forward = r.load.model.shapes.first;
    EXPECT_EQ(forward->name, Cp932("つま先"));
    EXPECT_EQ(forward->mesh, second);
    EXPECT_EQ(forward->frame, main->frame);
    ASSERT_EQ(forward->vertexCount, 2);
    EXPECT_EQ(forward->vertices[1].position, 1u);
    EXPECT_FLOAT_EQ(forward->vertices[1].offset.z, 1.0f);
    EXPECT_FLOAT_EQ(forward->vertices[1].offset.x, 0.0f);
    EXPECT_FLOAT_EQ(forward->next->vertices[0].offset.x, 0.5f);
}

TEST(PmdReader, ALoneBaseMorphMakesNoShapes) {
    PmdDocument d = PmdLegWithMorphs();
    d.morphs.resize(1);
    d.toonNames = true;
    d.toon[0] = "found.bmp";
    PmdRead r(WritePmd(d));
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.load.model.meshes.count, 1);
    EXPECT_EQ(r.load.model.shapes.count, 0);
    EXPECT_STREQ(TextureName(r.Material(0)->extraTexture1), "found.bmp");  // found behind that morph
}

// The optional parts after the bone display list, each whole or absent.
struct Tail {
    const char* name;
    bool englishFlag, englishNames, toonNames, physics, noMorphs;
};

class PmdTail : public ::testing::TestWithParam<Tail> {};

TEST_P(PmdTail, LoadsWithWhatItHas) {
    const Tail& t = GetParam();
    PmdDocument d = PmdFullSample();
    d.englishFlag = t.englishFlag, d.englishNames = t.englishNames, d.toonNames = t.toonNames, d.physics = t.physics;
    if (t.noMorphs) d.morphs.clear(), d.morphDisplay.clear();
    PmdRead r(WritePmd(d));
    ASSERT_EQ(r.result, 0) << t.name;
    EXPECT_EQ(r.load.file.toonNames != nullptr, t.toonNames || t.physics) << t.name;
    EXPECT_EQ(r.load.physicsRead, t.physics) << t.name;
    EXPECT_EQ(r.load.physics.bodyCount, t.physics ? 2 : 0) << t.name;
}

INSTANTIATE_TEST_SUITE_P(Tails, PmdTail,
                         ::testing::Values(Tail{"ends after the display lists", false, false, false, false, false},
                                           Tail{"English flag clear", true, false, false, false, false},
                                           Tail{"English names", true, true, false, false, false},
                                           Tail{"English names of a model without morphs", true, true, false, false,
                                                true},
                                           Tail{"toon names", true, true, true, false, false},
                                           Tail{"toon names without English names", false, false, true, false, false},
                                           Tail{"physics", true, true, true, true, false},
                                           Tail{"physics without morphs", true, true, true, true, true}));

TEST(PmdReader, PhysicsGoesToTheBakeRecordOrIntoTheModelByMode) {
    const std::string file = WritePmd(PmdFullSample());
    {
        PmdRead bake(file, PMD_PHYSICS_BAKE);
        ASSERT_EQ(bake.result, 0);
        const PmdPhysicsBake& p = bake.load.physics;
        EXPECT_FLOAT_EQ(p.gravity, -122.5f);
        ASSERT_EQ(p.bodyCount, 2);
        ASSERT_EQ(p.jointCount, 1);
        EXPECT_STREQ(p.bodies[0].name, "hip");
        EXPECT_EQ(p.bodies[0].bone, &bake.load.skeleton.bones[kLegThigh]);
        EXPECT_EQ(p.bodies[0].follow, 0);
        EXPECT_EQ(p.bodies[0].shape, 2);
        EXPECT_EQ(p.bodies[0].type, 0);
        // Bone 65535 is the centre bone, which the bridge makes follow.
        EXPECT_EQ(p.bodies[1].boneIndex, uint32_t(kLegCentre));
        EXPECT_EQ(p.bodies[1].follow, 1);
        EXPECT_EQ(p.bodies[1].type, 1);
        EXPECT_TRUE(bake.load.skeleton.bones[kLegCentre].hasRigidBody);
        EXPECT_EQ(bake.load.skeleton.bones[kLegCentre].rigidBodyIndex, 1u);
        EXPECT_EQ(bake.load.model.rigidBodies.count, 0);  // baked, not simulated
        EXPECT_EQ(bake.load.model.joints.count, 0);
    }
    {
        PmdRead none(file, PMD_PHYSICS_NONE);
        ASSERT_EQ(none.result, 0);
        EXPECT_FALSE(none.load.physicsRead);
        EXPECT_EQ(none.load.physics.bodyCount, 0);
    }
    SetModelLoadGravity(1, -9.8f);
    PmdRead live(file, PMD_PHYSICS_REALTIME);
    SetModelLoadGravity(0, 0.0f);
    ASSERT_EQ(live.result, 0);
    EXPECT_FLOAT_EQ(live.load.physics.gravity, -9.8f);
    ASSERT_EQ(live.load.model.rigidBodies.count, 2);
    ASSERT_EQ(live.load.model.joints.count, 1);
    const ReadModelRigidBody* hip = live.load.model.rigidBodies.first;
    EXPECT_STREQ(hip->name, "hip");
    EXPECT_EQ(hip->params[0], live.load.skeleton.bones[kLegThigh].frame->index);
    EXPECT_EQ(hip->params[1], 1u);       // group
    EXPECT_EQ(hip->params[2], 0xFFFDu);  // mask
    EXPECT_EQ(hip->params[3], 2u);       // capsule
    EXPECT_FLOAT_EQ(FloatOf(hip->params[13]), 5.0f);  // mass, kept as read
    EXPECT_EQ(hip->params[18], 0u);                   // follows its bone
    const ReadModelRigidBody* skirt = hip->next;
    EXPECT_FLOAT_EQ(FloatOf(skirt->params[8]), 8.0f);  // position y
    EXPECT_EQ(skirt->params[18], 1u);
    EXPECT_EQ(skirt->params[19], 1u);  // on the centre bone
    const ReadModelJoint* joint = live.load.model.joints.first;
    EXPECT_EQ(joint->params[0], 0u);
    EXPECT_EQ(joint->params[1], 1u);
    EXPECT_FLOAT_EQ(FloatOf(joint->params[2]), 0.0f);
    EXPECT_FLOAT_EQ(FloatOf(joint->params[22]), 20 * 0.25f);
    EXPECT_NEAR(FloatOf(joint->params[23]), 3.14159265f, 1e-6f);  // 180 degrees
}

TEST_F(PmdLoadTest, RealTimePhysicsRecordsReachTheBaseData) {
    SetModelLoadPhysicsMode(PMD_PHYSICS_REALTIME);
    int model = LoadPmd(PmdFullSample());
    SetModelLoadPhysicsMode(PMD_PHYSICS_BAKE);
    ASSERT_GE(model, 0) << Log();
    const ModelBase* base = BaseOf(model);
    EXPECT_EQ(base->rigidBodyCount, 2);
    EXPECT_EQ(base->jointCount, 1);
    EXPECT_EQ(base->shapeCount, 2);
    EXPECT_EQ(base->meshCount, 3);  // a base mesh per material of each mesh
    char why[256] = {};
    EXPECT_EQ(ValidateModelBase(base, why, sizeof(why)), 0) << why;
    DeleteModel(model);
}

// Names that fill their whole field have no terminator in the file; they
// are used whole, to the last byte, wherever they end up.
TEST_F(PmdLoadTest, NamesThatFillTheirFieldAreKeptWhole) {
    PmdDocument d = PmdFullSample();
    const std::string knee = "左ひざＡＢＣＤＥＦＧ";  // 10 double-byte characters: 20 bytes
    d.bones[kLegKnee].name = knee;
    d.materials[0].texture = "abcdefghijklmnop.bmp";
    d.morphs[1].name = "ＭＯＲＰＨ＿ＮＡＭＥ";
    d.bodies[0].name = "body-name-of-20-byte";
    d.joints[0].name = "joint-name-of-20-byt";
    d.toon[1] = std::string(96, 't') + ".bmp";
    for (const std::string* name : {&d.bones[kLegKnee].name, &d.morphs[1].name}) ASSERT_EQ(Cp932(*name).size(), 20u);
    SetModelLoadPhysicsMode(PMD_PHYSICS_REALTIME);
    int model = LoadPmd(d);
    SetModelLoadPhysicsMode(PMD_PHYSICS_BAKE);
    ASSERT_GE(model, 0) << Log();
    const ModelBase* base = BaseOf(model);
    auto frameNamed = [base](const std::string& name) {
        for (int i = 0; i < base->frameCount; ++i)
            if (name == base->frames[i].name) return true;
        return false;
    };
    EXPECT_TRUE(frameNamed(Cp932(knee)));
    std::vector<std::string> textures;
    for (int i = 0; i < base->textureCount; ++i) textures.push_back(base->textures[i].name);
    EXPECT_NE(std::find(textures.begin(), textures.end(), "abcdefghijklmnop.bmp"), textures.end());
    EXPECT_NE(std::find(textures.begin(), textures.end(), d.toon[1]), textures.end());
    bool morph = false;
    for (int i = 0; i < base->shapeTargetCount; ++i) morph = morph || Cp932(d.morphs[1].name) == base->shapeTargets[i].name;
    EXPECT_TRUE(morph);
    ASSERT_EQ(base->rigidBodyCount, 2);
    EXPECT_STREQ(base->rigidBodies[0].name, "body-name-of-20-byte");
    ASSERT_EQ(base->jointCount, 1);
    EXPECT_STREQ(base->joints[0].name, "joint-name-of-20-byt");
    DeleteModel(model);
}

TEST_F(PmdLoadTest, SignatureAndVersion) {
    std::string file = WritePmd(PmdTriangle());
    EXPECT_EQ(Load("a.pmd", "Pmx" + file.substr(3)), -1);
    EXPECT_EQ(Load("b.pmd", "Pm"), -1);
    EXPECT_EQ(Log().find("PMD Load Error"), std::string::npos);  // not ours: refused in silence
    PmdDocument d = PmdTriangle();
    d.version = 2.0f;
    EXPECT_EQ(LoadPmd(d), -1);
    EXPECT_NE(Log().find("PMD Load Error : バージョン１．０以外は読み込めません"), std::string::npos) << Log();
    EXPECT_EQ(Load("c.pmd", std::string("Pmd\0\x80", 5)), -1);  // a version cut short
}

// The motions beside a model are looked for by number until one is
// missing or fails; the motion reader refuses what it cannot read.
TEST_F(PmdLoadTest, MotionsAreLookedForBesideTheModel) {
    files_.Add("C:\\game\\model000.vmd", "not a motion");
    int model = LoadPmd(PmdTriangle());
    ASSERT_GE(model, 0) << Log();
    std::vector<std::string> motions;
    for (const std::string& path : files_.Opened())
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".vmd") == 0) motions.push_back(path);
    EXPECT_EQ(motions, std::vector<std::string>{"C:\\game\\model000.vmd"});
    EXPECT_EQ(BaseOf(model)->animSetCount, 0);
    DeleteModel(model);
}

// A caller that supplies the files itself: motions and textures come
// through its callbacks, and every block it hands out goes back.
TEST_F(PmdLoadTest, MotionsAndTexturesComeThroughTheCallersFiles) {
    struct Files {
        std::vector<std::string> asked;
        int handedOut = 0;
    } files;
    ModelTextureFileHook hook{};
    hook.user = &files;
    hook.read = [](const char* name, void** data, int* size, void* user) {
        auto* f = static_cast<Files*>(user);
        f->asked.push_back(name);
        if (std::string(name) != "model000.vmd") return -1;
        *data = new char[8]{};
        *size = 8;
        ++f->handedOut;
        return 0;
    };
    hook.release = [](void* data, void* user) {
        delete[] static_cast<char*>(data);
        --static_cast<Files*>(user)->handedOut;
    };
    const std::string file = WritePmd(PmdTriangle()) + '\0';
    ModelLoadParams params{file.data(), file.size() - 1, "model.pmd", "model", nullptr, &hook, nullptr};
    int base = LoadPmdFile(&params);
    ASSERT_GE(base, 0) << Log();
    EXPECT_EQ(files.handedOut, 0);
    ASSERT_GE(files.asked.size(), 2u);
    EXPECT_EQ(files.asked[0], "model000.vmd");  // refused by the motion reader: the search ends
    EXPECT_EQ(files.asked[1], "toon0.bmp");
    ReleaseModelBaseData(base);
}

}  // namespace
