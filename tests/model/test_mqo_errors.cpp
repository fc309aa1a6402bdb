// Malformed MQO files: each gives -1, its own log line with the reader's
// prefix and the file's name, and leaves nothing behind.
#include "model/instance/model_system.h"
#include "model_load_support.h"

#include <string>
#include <vector>

using namespace morpotta;

namespace {

std::string Doc(const std::string& body) { return "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n" + body; }
const std::string kMaterial = "Material 1 {\r\n\t\"m\" col(1 1 1 1) dif(0.8)\r\n}\r\n";
const std::string kVertices = "\tvertex 3 {\r\n\t\t0 0 0\r\n\t\t1 0 0\r\n\t\t0 1 0\r\n\t}\r\n";
// The first word of an object is its depth (any other first word is dropped).
std::string ObjRaw(const std::string& inner) { return "Object \"obj\" {\r\n" + inner + "}\r\n"; }
std::string Obj(const std::string& inner) { return ObjRaw("\tdepth 0\r\n" + inner); }
std::string Faces(const std::string& lines, int count = 1) {
    return kVertices + "\tface " + std::to_string(count) + " {\r\n" + lines + "\t}\r\n";
}
std::string ObjDoc(const std::string& inner) { return Doc(kMaterial + Obj(inner) + "Eof\r\n"); }
std::string ObjRawDoc(const std::string& inner) { return Doc(kMaterial + ObjRaw(inner) + "Eof\r\n"); }
std::string FaceDoc(const std::string& line) { return ObjDoc(Faces("\t\t" + line + "\r\n")); }
std::string MaterialDoc(const std::string& line) {
    return Doc("Material 1 {\r\n\t" + line + "\r\n}\r\n" + Obj(Faces("\t\t3 V(0 1 2) M(0)\r\n")) + "Eof\r\n");
}

struct BrokenDocument {
    const char* label;
    std::string text;
    std::string message;  // without "MQO Load Error : "
};

std::vector<BrokenDocument> Fixtures() {
    return {
        {"BadCharacterInSkippedChunk", Doc("Scene {\r\n\tpos @ 0\r\n}\r\n" + kMaterial), "予期せぬ EOF です"},
        {"MaterialCountNotNumber", Doc("Material x {\r\n}\r\n"), "マテリアルの数( -1 )が不正です"},
        {"MaterialCountNegative", Doc("Material -3 {\r\n}\r\n"), "マテリアルの数( -3 )が不正です"},
        {"MaterialCountPastData", Doc("Material 99999 {\r\n}\r\n"), "マテリアルの数( 99999 )が不正です"},
        {"MaterialNoBrace", Doc("Material 1\r\n\t\"m\"\r\n}\r\n"), "Material 数の後に { がありません"},
        {"MaterialNameUnquoted", MaterialDoc("m col(1 1 1 1)"), "No.0 の Material 名の取得に失敗しました"},
        {"MaterialBadCharacter", MaterialDoc("\"m\" col(1 1 1 1) @"), "No.0 の Material の読み込み中にエラーが発生しました"},
        {"MaterialKeywordNoOpen", MaterialDoc("\"m\" dif 0.5"), "No.0 の Material の dif の後に ( がありませんでした"},
        {"MaterialKeywordNoClose", MaterialDoc("\"m\" col(1 1 1 1 1)"), "No.0 の Material の col の数値の後に ) がありませんでした"},
        {"TexNotQuoted", MaterialDoc("\"m\" tex(cat.png)"), "No.0 の tex の文字列読み込みに失敗しました"},
        {"AplaneNotQuoted", MaterialDoc("\"m\" aplane(1)"), "No.0 の aplane の文字列読み込みに失敗しました"},
        {"BumpEmpty", MaterialDoc("\"m\" bump()"), "No.0 の bump の文字列読み込みに失敗しました"},
        {"MaterialNoClose", Doc("Material 1 {\r\n\t\"m\"\r\nObject \"obj\" {\r\n}\r\n"), "Material チャンクの終端に } がありません"},
        {"BadCharacterInObjectPass", Doc(kMaterial + "@\r\n"), "チャンク解析中に文字列解析エラーが発生しました"},
        {"BadCharacterInSkippedObjectPassChunk", Doc(kMaterial + "BackImage {\r\n\t# 1\r\n}\r\n"),
         "チャンク解析中に文字列解析エラーが発生しました"},
        {"ObjectNameUnquoted", Doc(kMaterial + "Object obj {\r\n}\r\n"), "Object チャンクの名前の取得に失敗しました"},
        {"ObjectNoBrace", Doc(kMaterial + "Object \"obj\"\r\n\tdepth 0\r\n"), "Object チャンク名の後に { がありません"},
        {"ObjectBadCharacter", ObjRawDoc("\tdepth 0\r\n\tvisible @\r\n"), "Object obj チャンクの解析中にエラーが発生しました"},
        {"ObjectTruncated", Doc(kMaterial + "Object \"obj\" {\r\n\tdepth 0\r\n" + kVertices),
         "Object obj チャンクの解析中にエラーが発生しました"},
        {"DepthTooLarge", ObjRawDoc("\tdepth 1024\r\n"), "Object obj チャンクの depth( 1024 )が不正です"},
        {"DepthNegative", ObjRawDoc("\tdepth -1\r\n"), "Object obj チャンクの depth( -1 )が不正です"},
        {"MirrorAxisTooLarge", ObjDoc("\tmirror 1\r\n\tmirror_axis 8\r\n"), "Object obj チャンクの mirror_axis( 8 )が不正です"},
        {"VertexCountNegative", ObjDoc("\tvertex -1 {\r\n\t}\r\n"), "Object obj チャンクの vertex の数が不正です"},
        {"VertexCountPastData", ObjDoc("\tvertex 100000 {\r\n\t}\r\n"), "Object obj チャンクの vertex の数が不正です"},
        {"VertexNoOpen", ObjDoc("\tvertex 1\r\n\t\t0 0 0\r\n"), "Object obj チャンクの vertex 後に { がありません"},
        {"VertexNoClose", ObjDoc("\tvertex 1 {\r\n\t\t0 0 0 0\r\n\t}\r\n"), "Object obj チャンクの vertex の終端に } がありません"},
        {"FaceCountNegative", ObjDoc(kVertices + "\tface -2 {\r\n\t}\r\n"), "Object obj チャンクの face の数の取得に失敗しました"},
        {"FaceNoOpen", ObjDoc(kVertices + "\tface 1\r\n\t\t3 V(0 1 2)\r\n"), "Object obj チャンクの face 後に { がありません"},
        {"FaceNoV", FaceDoc("3 W(0 1 2)"), "Object obj チャンクの face の頂点数の数の後に V がありません"},
        {"FaceVNoOpen", FaceDoc("3 V 0 1 2"), "Object obj チャンクの face の V の ( がありません"},
        {"FaceIndexMinusOne", FaceDoc("3 V(0 -1 2)"), "Object obj チャンクの face の 1番目の V の頂点インデックスが不正です"},
        {"FaceIndexPastVertices", FaceDoc("3 V(0 1 3)"), "Object obj チャンクの face の 2番目の V の頂点インデックスが不正です"},
        {"FaceWithoutVertexChunk", ObjDoc("\tface 1 {\r\n\t\t3 V(0 1 2)\r\n\t}\r\n"),
         "Object obj チャンクの face の 0番目の V の頂点インデックスが不正です"},
        {"DroppedFaceIndexPastVertices", FaceDoc("5 V(0 1 2 0 7)"), "Object obj チャンクの face の 4番目の V の頂点インデックスが不正です"},
        {"FaceVNoClose", FaceDoc("3 V(0 1 2 0)"), "Object obj チャンクの face の V の ) がありません"},
        {"FaceMNoOpen", FaceDoc("3 V(0 1 2) M 0"), "Object obj チャンクの face の M の ( がありません"},
        {"FaceMNoClose", FaceDoc("3 V(0 1 2) M(0 0)"), "Object obj チャンクの face の M の ) がありません"},
        {"FaceMaterialPastCount", FaceDoc("3 V(0 1 2) M(1)"), "Object obj チャンクの face の M の値( 1 )が不正です"},
        {"FaceMaterialNegative", FaceDoc("3 V(0 1 2) M(-1)"), "Object obj チャンクの face の M の値( -1 )が不正です"},
        {"FaceUvNoOpen", FaceDoc("3 V(0 1 2) UV 0 0 0 0 0 0"), "Object obj チャンクの face の UV の ( がありません"},
        {"FaceUvNoClose", FaceDoc("3 V(0 1 2) UV(0 0 0 0 0 0 0)"), "Object obj チャンクの face の UV の ) がありません"},
        {"FaceColNoOpen", FaceDoc("3 V(0 1 2) COL 1 2 3"), "Object obj チャンクの face の COL の ( がありません"},
        {"FaceColNoClose", FaceDoc("3 V(0 1 2) COL(1 2 3 4)"), "Object obj チャンクの face の COL の ) がありません"},
        {"FacesNoClose", ObjDoc(Faces("\t\t3 V(0 1 2)\r\n\t\t3 V(0 1 2)\r\n")), "Object obj チャンクの face の終端に } がありません"},
        {"SecondFaceChunk", ObjDoc(Faces("\t\t3 V(0 1 2)\r\n") + "\tface 0 {\r\n\t}\r\n"),
         "Object obj チャンクの解析中にエラーが発生しました"},
    };
}

class MqoErrorTest : public ModelLoadTest, public ::testing::WithParamInterface<BrokenDocument> {};

TEST_P(MqoErrorTest, FailsWithItsMessageAndLeavesNothing) {
    const BrokenDocument& f = GetParam();
    EXPECT_EQ(Load("bad.mqo", f.text), -1);
    EXPECT_EQ(GetModelBaseCount(), 0);
    EXPECT_EQ(GetModelInstanceCount(), 0);
    std::string log = Log();
    EXPECT_NE(log.find(": MQO Load Error : " + f.message + " (モデルファイル bad.mqo)\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("MQO Load Error", log.find("MQO Load Error") + 1), std::string::npos) << "one line:\n" << log;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MqoErrorTest, ::testing::ValuesIn(Fixtures()),
                         [](const ::testing::TestParamInfo<BrokenDocument>& info) { return std::string(info.param.label); });

using MqoLimitTest = ModelLoadTest;

// One object whose faces name count different materials.
std::string ManyMaterials(int count) {
    std::string materials = "Material " + std::to_string(count) + " {\r\n";
    std::string faces;
    for (int i = 0; i < count; ++i) {
        materials += "\t\"m" + std::to_string(i) + "\" col(1 1 1 1)\r\n";
        faces += "\t\t3 V(0 1 2) M(" + std::to_string(i) + ")\r\n";
    }
    return Doc(materials + "}\r\n" + Obj(Faces(faces, count)) + "Eof\r\n");
}

TEST_F(MqoLimitTest, MoreThan256MaterialsInOneObjectAreRefused) {
    EXPECT_EQ(Load("many.mqo", ManyMaterials(257)), -1);
    EXPECT_NE(Log().find("MQO Load Error : Object obj チャンクで使われている Material の数が多すぎます"), std::string::npos);
    EXPECT_GE(Load("enough.mqo", ManyMaterials(256)), 0) << Log();
}

// Every allocation of a rich load made to fail in turn: each ends in -1 or
// a model, never a crash or a leak (the fixture checks the blocks).
TEST_F(MqoLimitTest, AFailingAllocationAnywhereFailsTheLoadCleanly) {
    MqoDocument doc = MakeQuadDocument();
    MqoObjectSpec child = doc.objects[0];
    child.name = "child";
    child.depth = 1;
    child.mirror = 1;
    child.mirrorAxis = 7;
    child.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 1}, {0, 1, 1}};
    doc.objects.push_back(child);
    files_.Add("rich.mqo", WriteMqo(doc));
    SetModelAllocFailureAt(0);
    ASSERT_GE(LoadModelFile("rich.mqo"), 0);
    uint64_t allocations = SetModelAllocFailureAt(0);
    TerminateModelSystem();
    InitializeModelSystem();
    int failures = 0;
    for (uint64_t n = 1; n <= allocations + 1; ++n) {
        SetModelAllocFailureAt(n);
        int model = LoadModelFile("rich.mqo");
        SetModelAllocFailureAt(0);
        if (model == -1) {
            ++failures;
            EXPECT_EQ(GetModelBaseCount(), 0) << n;
            EXPECT_EQ(GetModelInstanceCount(), 0) << n;
        } else {
            EXPECT_EQ(DeleteModel(model), 0);
        }
    }
    EXPECT_GE(failures, int(allocations) / 2);
    // Each failed load said why once, the allocation that failed in the
    // words of the step that found it.
    const std::string log = Log();
    int refusals = 0;
    for (size_t at = 0; (at = log.find("LoadModelFile refused: ", at)) != std::string::npos; ++at) ++refusals;
    EXPECT_EQ(refusals, failures) << log;
    EXPECT_NE(log.find("のメモリの確保に失敗しました (モデルファイル rich.mqo)"), std::string::npos) << log;
}

}  // namespace
