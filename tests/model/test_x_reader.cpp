// The X file reader: the text and binary encodings of one model give the
// same base data; the tree it builds becomes the read model (frames,
// meshes, materials, skin weights, key tracks); the reader's limits.
#include "model_load_support.h"

#include <cmath>
#include <vector>

#include "fake_graphics.h"
#include "model/read/read_model.h"
#include "model/read/x_file.h"
#include "model_dump.h"
#include "x_samples.h"

using namespace morpotta;

namespace {

using XReaderTest = ModelLoadTest;

// A file parsed and built into a read model, without the conversion.
struct Parsed {
    explicit Parsed(const std::string& file) {
        InitReadModel(&model);
        AddXObject(&context, nullptr, X_KIND_FRAME, "XTopFrame");
        result = ParseXFile(file.data(), file.size(), &context);
        if (result == 0) result = BuildReadModelFromXObjects(&context, &model);
    }
    ~Parsed() {
        FreeReadModel(&model);
        FreeXObjectTree(&context);
    }
    ReadModelFrame* Frame(const char* name) {
        for (ReadModelFrame* f = model.frames.first; f; f = f->next)
            if (std::strcmp(f->name, name) == 0) return f;
        return nullptr;
    }
    XFileContext context{};
    ReadModel model;
    int result;
};

std::string Text(const std::string& body) { return "xof 0303txt 0032\n" + body; }

const char kQuadMesh[] = "4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 1; 4;0,1,2,3;;";

TEST_F(XReaderTest, TextAndBothBinaryFormsGiveTheSameModel) {
    FakeGraphics graphics;
    files_.Add("red.png", FakeGraphics::RawImage(2, 2, 0xFFFF0000));
    int text = Load("text.x", kSampleXText);
    ASSERT_GE(text, 0) << Log();
    const ModelBase* base = BaseOf(text);
    const std::string expected = ModelBaseDump::Of(base);
    for (XWriter::Encoding encoding : {XWriter::kBinary32, XWriter::kBinary64}) {
        int binary = Load(encoding == XWriter::kBinary32 ? "b32.x" : "b64.x", SampleXBinary(encoding));
        ASSERT_GE(binary, 0) << Log();
        EXPECT_EQ(ModelBaseDump::Of(BaseOf(binary)), expected) << "encoding " << encoding;
    }

    // Frames: Body, the frame of its named mesh, then Arm below Body.
    ASSERT_EQ(base->frameCount, 3);
    EXPECT_STREQ(base->frames[0].name, "Body");
    EXPECT_STREQ(base->frames[1].name, "BodyMesh");
    EXPECT_STREQ(base->frames[2].name, "Arm");
    EXPECT_EQ(base->frames[1].parent, &base->frames[0]);
    EXPECT_EQ(base->frames[2].parent, &base->frames[0]);
    EXPECT_FLOAT_EQ(base->frames[0].translation.y, 1.0f);
    EXPECT_FLOAT_EQ(base->frames[2].translation.x, 2.0f);
    // The mesh's list names Red by reference and holds Blue.
    ASSERT_EQ(base->materialCount, 2);
    const ModelBaseMaterial& red = base->materials[0];
    EXPECT_STREQ(red.name, "Red");
    EXPECT_EQ(std::vector<float>(red.diffuse, red.diffuse + 4), (std::vector<float>{1, 0, 0, 1}));
    EXPECT_EQ(std::vector<float>(red.specular, red.specular + 4), (std::vector<float>{0.5f, 0.5f, 0.5f, 0}));
    EXPECT_EQ(std::vector<float>(red.emissive, red.emissive + 4), (std::vector<float>{0, 0, 0.25f, 0}));
    EXPECT_EQ(std::vector<float>(red.ambient, red.ambient + 4), (std::vector<float>{0, 0, 0, 0}));
    EXPECT_EQ(red.power, 10.0f);
    EXPECT_EQ(red.alpha, 127);  // 0.5 of 255, truncated
    EXPECT_EQ(base->materials[1].alpha, 255);
    ASSERT_EQ(base->textureCount, 1);
    EXPECT_EQ(red.layers[0].count, 1);
    EXPECT_EQ(base->materials[1].layers[0].count, 0);
    EXPECT_EQ(base->skinBoneCount, 2);
    ASSERT_EQ(base->animSetCount, 1);
    EXPECT_STREQ(base->animSets[0].name, "Wave");
    EXPECT_EQ(base->animSets[0].endTime, 100.0f);
    ASSERT_EQ(base->animSets[0].animCount, 2);
    EXPECT_EQ(base->animSets[0].anims[0].frameIndex, 2);
    EXPECT_EQ(base->animSets[0].anims[1].frameIndex, 0);
}

TEST(XReadModelTest, SampleBecomesTheReadModel) {
    Parsed p{kSampleXText};
    ASSERT_EQ(p.result, 0);
    ReadModel& m = p.model;
    ReadModelFrame* body = p.Frame("BodyMesh");
    ASSERT_NE(body, nullptr);
    ReadModelMesh* mesh = body->meshes.first;
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(m.meshes.count, 1);
    EXPECT_EQ(mesh->positionCount, 6);
    EXPECT_EQ(mesh->normalCount, 1);
    EXPECT_EQ(mesh->uvCount[0], 6);
    ASSERT_EQ(mesh->faceCount, 2);
    EXPECT_EQ(mesh->faceCorners[0], 4);  // quads stay whole until the conversion
    EXPECT_EQ(std::vector<int>(ReadFacePositions(mesh, 1), ReadFacePositions(mesh, 1) + 4), (std::vector<int>{1, 2, 5, 4}));
    EXPECT_EQ(std::vector<int>(ReadFaceUvs(mesh, 0, 1), ReadFaceUvs(mesh, 0, 1) + 4), (std::vector<int>{1, 2, 5, 4}));
    EXPECT_EQ(mesh->faceMaterials[0], 0);
    EXPECT_EQ(mesh->faceMaterials[1], 1);
    ASSERT_EQ(mesh->materialCount, 2);
    EXPECT_STREQ(mesh->materials[0]->name, "Red");
    EXPECT_STREQ(mesh->materials[1]->name, "Blue");
    // Colours: the two listed, then white; corners point at their vertex's.
    ASSERT_EQ(mesh->colourCount, 3);
    EXPECT_EQ(std::vector<float>(mesh->colours[2], mesh->colours[2] + 4), (std::vector<float>{1, 1, 1, 1}));
    EXPECT_EQ(std::vector<int>(ReadFaceColours(mesh, 1), ReadFaceColours(mesh, 1) + 4), (std::vector<int>{2, 2, 1, 0}));
    // Skin weights: bound to the frames by name, pairs in file order.
    ASSERT_EQ(mesh->skinWeightCount, 2);
    EXPECT_EQ(mesh->skinWeights[0]->boneFrameIndex, int(p.Frame("Body")->index));
    EXPECT_EQ(mesh->skinWeights[1]->boneFrameIndex, int(p.Frame("Arm")->index));
    EXPECT_EQ(mesh->skinWeights[1]->weights[2].position, 4u);
    EXPECT_EQ(mesh->skinWeights[1]->offsetMatrix.m[3][0], -2.0f);
    // Key tracks: (type, kind) and the value bytes with their times.
    ASSERT_EQ(m.keySets.count, 4);
    const ReadModelAnimKeySet* k = m.keySets.first;
    EXPECT_EQ(k->valueType, READ_KEY_QUATERNION);
    EXPECT_EQ(k->keyKind, READ_KIND_ROTATION);
    EXPECT_EQ(std::vector<float>(k->values, k->values + 4), (std::vector<float>{0, 0, 0, 1}));  // (w, x, y, z) = (1, 0, 0, 0)
    EXPECT_EQ(k->values[4], 0.0f);
    EXPECT_EQ(k->values[7], 0.7071068f);
    k = k->next;
    EXPECT_EQ(k->keyKind, READ_KIND_SCALE);
    k = k->next;
    EXPECT_EQ(k->keyKind, READ_KIND_TRANSLATION);
    EXPECT_EQ(k->keyCount, 3);
    EXPECT_EQ(k->times[1], 50.0f);
    EXPECT_EQ(k->totalTime, 100.0f);
    EXPECT_EQ(m.keyDataBytes, uint32_t(2 * 20 + 2 * 16 + 3 * 16 + 2 * 52));
}

TEST(XReadModelTest, MatrixKeysKeepTheirFourByThreePart) {
    for (int type : {3, 4}) {
        std::string key = std::to_string(type) + "; 1; 7;16; 1,2,3,4, 5,6,7,8, 9,10,11,12, 13,14,15,16;;; ";
        Parsed p{Text("Frame F { Mesh { " + std::string(kQuadMesh) + " } }"
                      "AnimationSet { Animation { {F} AnimationKey { " + key + "} } }")};
        ASSERT_EQ(p.result, 0) << type;
        const ReadModelAnimKeySet* k = p.model.keySets.first;
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->valueType, READ_KEY_MATRIX4X3);
        EXPECT_EQ(k->keyKind, READ_KIND_MATRIX);
        EXPECT_EQ(std::vector<float>(k->values, k->values + 12),
                  (std::vector<float>{1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14, 15}));
        EXPECT_EQ(k->times[0], 7.0f);
        EXPECT_EQ(p.model.anims.first->frameIndex, int(p.Frame("F")->index));
        EXPECT_STREQ(p.model.anims.first->frameName, "F");
    }
}

TEST(XReadModelTest, AMeshOutsideEveryFrameAndWithoutMaterials) {
    // The first face has five corners: the reservation widens to them. The
    // list of the second mesh gives fewer faces than the mesh has: every
    // face takes material 0.
    Parsed p{Text("Mesh { 5; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;, 0;2;0;; 2; 5;0,1,2,3,4;, 3;0,1,2;; }\n"
                  "Mesh Named { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 2; 3;0,1,2;, 3;0,2,3;;"
                  " MeshMaterialList { 2; 1; 1;; Material A { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } Material B { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }")};
    ASSERT_EQ(p.result, 0);
    ReadModelFrame* unnamed = p.Frame("Mesh");
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(unnamed->parent, nullptr);
    ReadModelMesh* mesh = unnamed->meshes.first;
    ASSERT_EQ(mesh->materialCount, 1);
    EXPECT_STREQ(mesh->materials[0]->name, "Normal");
    EXPECT_EQ(mesh->maxIndicesPerFace, 5);
    EXPECT_EQ(mesh->faceCorners[0], 5);
    EXPECT_EQ(mesh->faceCorners[1], 3);
    EXPECT_EQ(mesh->colourCount, 0);
    ReadModelFrame* named = p.Frame("Named");
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(named->parent, nullptr);
    EXPECT_EQ(named->meshes.first->faceMaterials[0], 0);
    EXPECT_EQ(named->meshes.first->materialCount, 2);
}

TEST(XReadModelTest, SkinWeightsFindTheFrameNotAMeshOfTheSameName) {
    Parsed p{Text("Frame Root { Mesh Bone { " + std::string(kQuadMesh) +
                  " SkinWeights { \"Bone\"; 1; 2; 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }"
                  " Frame Bone { } }")};
    ASSERT_EQ(p.result, 0);
    ReadModelMesh* mesh = p.model.meshes.first;
    ASSERT_EQ(mesh->skinWeightCount, 1);
    ASSERT_NE(mesh->frame, nullptr);
    EXPECT_STREQ(mesh->frame->name, "Bone");  // the mesh's own frame
    int bone = mesh->skinWeights[0]->boneFrameIndex;
    EXPECT_NE(bone, int(mesh->frame->index));
    ReadModelFrame* f = p.model.frames.first;
    while (f && int(f->index) != bone) f = f->next;
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->name, "Bone");
    EXPECT_EQ(f->meshes.count, 0);  // the Frame object, not the mesh's frame
}

TEST(XReadModelTest, FacesOfUpTo32Corners) {
    for (int corners : {32, 33}) {
        std::string mesh = "Mesh { " + std::to_string(corners) + ";";
        for (int i = 0; i < corners; ++i)
            mesh += std::to_string(std::cos(i * 0.19)) + ";" + std::to_string(std::sin(i * 0.19)) + ";0;,";
        mesh += "; 1; " + std::to_string(corners) + ";";
        for (int i = 0; i < corners; ++i) mesh += std::to_string(i) + (i + 1 < corners ? "," : ";;");
        Parsed p{Text(mesh + " }")};
        EXPECT_EQ(p.result, corners == 32 ? 0 : -1) << corners;
    }
}

TEST_F(XReaderTest, TheRootAndAtMost63NestedObjects) {
    auto nested = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i) text += "Frame F" + std::to_string(i) + " {\n";
        text += "Mesh M { " + std::string(kQuadMesh) + " }\n";
        for (int i = 0; i < depth; ++i) text += "}\n";
        return Text(text);
    };
    int model = Load("deep.x", nested(62));  // 62 frames and the mesh: 63 below the root
    ASSERT_GE(model, 0) << Log();
    EXPECT_EQ(BaseOf(model)->frameCount, 63);
    EXPECT_EQ(Load("deeper.x", nested(63)), -1);
    const std::string log = Log();
    // The limit the reader met is the refusal's one reason; the objects it
    // was in say no more.
    EXPECT_NE(log.find("LoadModelFile refused: 階層構造の限界数 64 を超えました"), std::string::npos) << log;
    EXPECT_EQ(log.find("のネストが深すぎます"), std::string::npos) << log;
}

// Files the reader must refuse, each with the line it must log.
struct Refusal {
    const char* what;  // the case's name
    std::string file;
    const char* logged;  // UTF-8; empty: nothing at all
};

std::vector<Refusal> Refusals() {
    const std::string quad = kQuadMesh;
    const std::string material = "Material M { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }";
    std::vector<Refusal> r = {
        {"NotAnXFile", "xof", ""},
        {"Compressed", "xof 0303tzip0032 whatever",
         "対応している xファイル形式はテキスト形式と非圧縮バイナリ形式のみです"},
        {"StrayClosingBrace", Text("Frame A { } } Frame B { }"), "対応する { の無い } がありました"},
        {"FaceCornerPastVertices", Text("Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,3;; }"),
         "Mesh の面に頂点の数( 3 )を超えるインデックス( 3 )がありました"},
        {"NormalIndexPastNormals", Text("Mesh { " + quad + " MeshNormals { 1; 0;0;1;; 1; 4;0,0,1,0;; } }"),
         "MeshNormals の面に法線の数( 1 )を超えるインデックス( 1 )がありました"},
        {"NormalFaceOfOtherCorners",
         Text("Mesh { " + quad + " MeshNormals { 1; 0;0;1;; 1; 3;0,0,0;; } }"), "法線の面の頂点数( 3 )とメッシュの面の頂点数( 4 )が違いました"},
        {"ColourOfNoVertex", Text("Mesh { " + quad + " MeshVertexColors { 1; 4; 1;1;1;1;;; } }"),
         "頂点カラーに頂点の数( 4 )を超える頂点インデックス( 4 )がありました"},
        {"WeightOfNoVertex",
         Text("Frame B { } Mesh { " + quad + " SkinWeights { \"B\"; 1; 9; 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }"),
         "スキンウエイト情報 B に頂点の数( 4 )を超える頂点インデックス( 9 )がありました"},
        {"WeightsNamingNoFrame",
         Text("Mesh { " + quad + " SkinWeights { \"Nobody\"; 1; 0; 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }"),
         "スキンウエイト情報の対象フレーム Nobody がありません"},
        {"WeightsNamingTheRoot", Text("Mesh { " + quad + " SkinWeights { \"XTopFrame\"; 0; ; ; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }"),
         "スキンウエイト情報の対象フレーム XTopFrame がありません"},
        {"AnimationNamingNoFrame",
         Text("Frame F { } AnimationSet { Animation A { { G } AnimationKey { 2; 1; 0;3;0,0,0;;; } } }"),
         "アニメーション A の対象フレームがありません"},
        {"RotationKeyOfThreeValues",
         Text("Frame F { } AnimationSet { Animation { { F } AnimationKey { 0; 1; 0;3;1,0,0;;; } } }"),
         "アニメーションキーの値の数( 3 )がキーの種類 0 の値の数( 4 )と違います"},
        {"UnknownKeyType", Text("Frame F { } AnimationSet { Animation { { F } AnimationKey { 7; 1; 0;3;1,0,0;;; } } }"),
         "アニメーションキーの種類 7 には対応していません"},
        {"MaterialIndexPastList",
         Text("Mesh { " + quad + " MeshMaterialList { 1; 1; 1;; " + material + " } }"),
         "nMaterials より大きいマテリアルインデックスがありました"},
        {"FewerMaterialsThanDeclared", Text("Mesh { " + quad + " MeshMaterialList { 2; 1; 0;; " + material + " } }"),
         "マテリアルリストのマテリアル数( 2 )と実際のマテリアルの数( 1 )が違いました"},
        {"TextureCoordsOfOtherCount", Text("Mesh { " + quad + " MeshTextureCoords { 3; 0;0;, 0;0;, 0;0;; } }"),
         "テクスチャ座標の数( 3 )と頂点座標の数( 4 )が違いました"},
        {"NormalsOfOtherFaceCount", Text("Mesh { " + quad + " MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; } }"),
         "メッシュリストの面の数( 1 )と法線の面の数( 2 )が違いました"},
        {"CountLargerThanFile", Text("Mesh { 100000000; 0;0;0;; }"), "Mesh の要素数 100000000 がデータの大きさを超えています"},
        {"NotANumber", Text("Mesh { 4; 0;0;zero;; }"), "Load XFile : Mesh の要素数 4 がデータの大きさを超えています"},
    };
    // More materials in one mesh than a read mesh holds.
    std::string many = "Mesh { " + quad + " MeshMaterialList { 257; 1; 0;; ";
    for (int i = 0; i < 257; ++i) many += "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }";
    r.push_back({"MaterialsPastTheMeshLimit", Text(many + " } }"), "のマテリアルの数( 257 )が上限の 256 を超えています"});
    // More skin weights in one mesh than a read mesh holds.
    std::string weights = "Frame B { } Mesh { " + quad;
    for (int i = 0; i < 4097; ++i) weights += " SkinWeights { \"B\"; 0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }";
    r.push_back({"SkinWeightsPastTheMeshLimit", Text(weights + " }"), "のスキンウエイト情報の数( 4097 )が上限の 4096 を超えています"});
    // Binary: counts and lengths past the data, lists of the wrong size or type.
    XWriter counts(XWriter::kBinary32);
    counts.Open("Mesh").Token16(XWriter::kIntegerList).U32(0x40000000).U32(3);
    r.push_back({"BinaryListPastData", counts.Bytes(), "Load XFile : Mesh IntergerList"});
    XWriter name(XWriter::kBinary32);
    name.Token16(XWriter::kName).U32(0xFFFFFFF0u).Raw("Mesh");
    r.push_back({"BinaryNamePastData", name.Bytes(), "長すぎる名前がありました"});
    XWriter eleven(XWriter::kBinary32);
    eleven.Open("Material").Floats({1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}).Close();
    r.push_back({"BinaryMaterialOfTwelveFloats", eleven.Bytes(), "Load XFile : Material Not 11 ( 12 )"});
    XWriter ints(XWriter::kBinary64);
    ints.Open("Material").Ints({1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}).Close();
    r.push_back({"BinaryMaterialOfIntegers", ints.Bytes(), "Load XFile : Material FloadList"});
    XWriter header(XWriter::kBinary32);
    header.Open("XSkinMeshHeader").Ints({1, 2, 3, 4}).Close();
    r.push_back({"BinarySkinHeaderOfFourValues", header.Bytes(), "Load XFile : XSkinMeshHeader Not 3 ( 4 )"});
    XWriter stray(XWriter::kBinary32);
    stray.Open("Frame", "A").Close().Close();
    r.push_back({"BinaryStrayClosingBrace", stray.Bytes(), "対応する { の無い } がありました"});
    return r;
}

class XRefusalTest : public ModelLoadTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(XRefusalTest, FailsWithItsLineAndLeavesNothing) {
    const Refusal& r = GetParam();
    EXPECT_EQ(Load("broken.x", r.file), -1);
    const std::string log = Log();
    if (*r.logged) EXPECT_NE(log.find(r.logged), std::string::npos) << log;
    else EXPECT_EQ(log.find("XFile"), std::string::npos) << log;
    const size_t refusal = log.find("LoadModelFile refused: ");
    EXPECT_NE(refusal, std::string::npos) << log;
    EXPECT_EQ(log.find("refused", log.find('\n', refusal)), std::string::npos) << "one line: " << log;
    EXPECT_EQ(GetModelBaseCount(), 0);
    EXPECT_EQ(GetModelInstanceCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Files, XRefusalTest, ::testing::ValuesIn(Refusals()),
                         [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.what); });

TEST_F(XReaderTest, ShortMemoryFailsCleanlyAtEveryAllocation) {
    FakeGraphics graphics;
    files_.Add("red.png", FakeGraphics::RawImage(2, 2, 0xFFFF0000));
    files_.Add("m.x", SampleXBinary(XWriter::kBinary32));
    SetModelAllocFailureAt(0);
    int model = LoadModelFile("m.x");
    ASSERT_GE(model, 0) << Log();
    DeleteModel(model);
    uint64_t allocations = SetModelAllocFailureAt(0);
    for (uint64_t nth = 1; nth <= allocations; ++nth) {
        SetModelAllocFailureAt(nth);
        model = LoadModelFile("m.x");
        if (model >= 0) DeleteModel(model);
    }
    SetModelAllocFailureAt(0);
    EXPECT_EQ(GetModelBaseCount(), 0);
}

}  // namespace
