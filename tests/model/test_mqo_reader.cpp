// The MQO reader through LoadModelFile: keywords, chunks, hierarchy,
// mirrors, faces and materials, checked on the base data it produces.
#include "model_load_support.h"

#include <cmath>
#include <set>
#include <vector>

#include "fake_graphics.h"
#include "model/base/model_math.h"

using namespace morpotta;

namespace {

using MqoReaderTest = ModelLoadTest;

constexpr float kEps = 1e-4f;

// Positions of every triangle of a frame's meshes, in index order.
std::vector<std::array<Vector3, 3>> Triangles(const ModelBaseFrame& frame) {
    std::vector<std::array<Vector3, 3>> out;
    for (int m = 0; m < frame.meshCount; ++m) {
        const ModelBaseMesh& mesh = frame.firstMesh[m];
        for (int t = 0; t < mesh.triangleListCount; ++t) {
            const ModelBaseTriangleList& list = mesh.firstTriangleList[t];
            for (int i = 0; i + 2 < list.indexCount; i += 3) {
                std::array<Vector3, 3> tri;
                for (int c = 0; c < 3; ++c) {
                    int mv = list.meshVertices[list.indices[i + c]];
                    tri[size_t(c)] = frame.positions[mesh.vertices[mv].position].position;
                }
                out.push_back(tri);
            }
        }
    }
    return out;
}

Vector3 NormalOf(const std::array<Vector3, 3>& t) {
    Vector3 a, b, n;
    SubtractVectorsInto(&a, &t[1], &t[0]);
    SubtractVectorsInto(&b, &t[2], &t[0]);
    CrossVectorsInto(&n, &a, &b);
    float l = std::sqrt(DotVectors(&n, &n));
    return Vector3{n.x / l, n.y / l, n.z / l};
}

bool Near(const Vector3& a, const Vector3& b, float eps = kEps) {
    return std::fabs(a.x - b.x) < eps && std::fabs(a.y - b.y) < eps && std::fabs(a.z - b.z) < eps;
}

int CountTriangles(const ModelBase* base) {
    int n = 0;
    for (int f = 0; f < base->frameCount; ++f) n += int(Triangles(base->frames[f]).size());
    return n;
}

TEST_F(MqoReaderTest, MaterialKeywordsSetTheMaterialValues) {
    MqoDocument doc = MakeQuadDocument();
    MqoMaterialSpec& m = doc.materials[0];
    m.colour[0] = 0.5f, m.colour[1] = 0.25f, m.colour[2] = 1.0f, m.colour[3] = 0.75f;
    m.diffuse = 0.8f, m.ambient = 0.3f, m.emissive = 0.5f, m.specular = 0.2f, m.power = 20.0f;
    m.extra = " vcol(1) uid(7)";  // unknown keywords and their values are passed over
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    const ModelBaseMaterial& b = BaseOf(model)->materials[0];
    EXPECT_STREQ(b.name, "mat");
    EXPECT_NEAR(b.diffuse[0], 0.4f, kEps);
    EXPECT_NEAR(b.diffuse[1], 0.2f, kEps);
    EXPECT_NEAR(b.diffuse[2], 0.8f, kEps);
    EXPECT_NEAR(b.diffuse[3], 0.75f, kEps);  // the line colour's alpha
    EXPECT_NEAR(b.ambient[0], 0.3f, kEps);
    EXPECT_EQ(b.ambient[3], 0.0f);
    EXPECT_NEAR(b.emissive[0], 0.25f, kEps);
    EXPECT_NEAR(b.emissive[1], 0.125f, kEps);
    EXPECT_NEAR(b.specular[2], 0.2f, kEps);
    EXPECT_FLOAT_EQ(b.power, 80.0f);
    const ModelBaseMaterial& none = BaseOf(model)->materials[1];
    EXPECT_STREQ(none.name, "NoMaterial");
    EXPECT_EQ(none.diffuse[3], 1.0f);
}

TEST_F(MqoReaderTest, WithoutMaterialChunkEveryFaceUsesNoMaterial) {
    MqoDocument doc = MakeQuadDocument();
    doc.materialChunk = false;
    doc.objects[0].faces[0].material = -1;
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    ModelBase* base = BaseOf(model);
    ASSERT_EQ(base->materialCount, 1);
    EXPECT_STREQ(base->materials[0].name, "NoMaterial");
    ASSERT_EQ(base->meshCount, 1);
    EXPECT_EQ(base->meshes[0].material, 0);
}

TEST_F(MqoReaderTest, OtherChunksAreSkippedWhereverTheyStand) {
    MqoDocument doc = MakeQuadDocument();
    doc.materialsAfterObjects = true;
    doc.chunksBefore = "Scene {\r\n\tpos 0 0 1500\r\n\tamb 0.25 0.25 0.25\r\n\tdirlights 1 {\r\n\t\tlight {\r\n"
                       "\t\t\tdir 0.408 0.408 0.816\r\n\t\t}\r\n\t}\r\n}\r\n";
    doc.chunksBetween = "BackImage {\r\n\tpers \"back.bmp\" 0 0 256 256\r\n}\r\nThumbnail 2 2 24 rgb raw {\r\n"
                        "\t0fab00 ffffff\r\n\t000000 10a0b0\r\n}\r\n";
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    ModelBase* base = BaseOf(model);
    EXPECT_EQ(base->materialCount, 2);  // read although it follows the objects
    EXPECT_EQ(base->meshes[0].material, 0);
    EXPECT_EQ(base->frameCount, 1);
}

TEST_F(MqoReaderTest, FacesOfTwoAndFiveCornersDisappear) {
    MqoDocument doc = MakeQuadDocument();
    MqoObjectSpec& o = doc.objects[0];
    o.vertices.push_back({0.5f, 1, 0.5f});
    // Five-corner faces with UVs and colours would overrun slots sized
    // 4 per face if they took any.
    MqoFaceSpec five;
    five.corners = {0, 1, 2, 3, 4};
    five.material = 0;
    five.uvs.assign(10, 0.5f);
    five.colours.assign(5, 0xFF00FF00u);
    MqoFaceSpec two;
    two.corners = {0, 4};
    two.uvs.assign(4, 0.25f);
    MqoFaceSpec tri;
    tri.corners = {0, 1, 4};
    tri.material = 0;
    tri.uvs = {0, 0, 1, 0, 0.5f, 1};
    o.faces = {five, five, two, o.faces[0], five, tri};
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    EXPECT_EQ(CountTriangles(BaseOf(model)), 3);  // the quad's two and the triangle
    EXPECT_EQ(BaseOf(model)->meshes[0].triangleCount, 3);
}

TEST_F(MqoReaderTest, WorldPositionsEqualFilePositionsThroughTheHierarchy) {
    MqoDocument doc = MakeQuadDocument();
    MqoObjectSpec parent = doc.objects[0];
    parent.name = "parent";
    parent.translation = {10, -5, 3};
    parent.rotation = {30, 45, 60};
    parent.scale = {2, 1, 0.5f};
    parent.vertices = {{1, 2, 3}, {4, 2, 3}, {4, 7, -3}, {1, 7, 9}};
    MqoObjectSpec child = parent;
    child.name = "child";
    child.depth = 1;
    child.translation = {-1, 2, 8};
    child.rotation = {-20, 10, 90};
    child.scale = {1, 3, 1};
    child.vertices = {{-1, 0, 0}, {0, 5, 0}, {2, 2, 2}, {-3, 1, 4}};
    MqoObjectSpec grandchild = child;
    grandchild.name = "grandchild";
    grandchild.depth = 2;
    grandchild.rotation = {0, 0, 15};
    doc.objects = {parent, child, grandchild};
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    ModelBase* base = BaseOf(model);
    ASSERT_EQ(base->frameCount, 3);
    EXPECT_EQ(base->frames[1].parent, &base->frames[0]);
    EXPECT_EQ(base->frames[2].parent, &base->frames[1]);
    for (int f = 0; f < 3; ++f) {
        const ModelBaseFrame& frame = base->frames[f];
        const MqoObjectSpec& spec = doc.objects[size_t(f)];
        ASSERT_EQ(frame.positionCount, 4);
        for (int i = 0; i < frame.positionCount; ++i) {
            Vector3 world;
            TransformPointBy34(&frame.worldMatrix, &world, &frame.positions[i].position);
            bool found = false;
            for (const auto& v : spec.vertices) found = found || Near(world, Vector3{v[0], v[1], -v[2]}, 1e-3f);
            EXPECT_TRUE(found) << "frame " << f << " position " << i << " at " << world.x << " " << world.y << " "
                               << world.z;
        }
    }
}

// Every mirror copy's triangle normal, taken in index order, is the
// original normal mirrored: the copies are wound the other way exactly
// when an odd number of axes mirrors them.
void ExpectMirroredNormals(ModelBase* base, const Vector3& n, int axisBits) {
    std::vector<std::array<Vector3, 3>> tris = Triangles(base->frames[0]);
    std::multiset<std::tuple<int, int, int>> got, want;
    auto key = [](const Vector3& v) {
        return std::make_tuple(int(std::lround(v.x * 1000)), int(std::lround(v.y * 1000)), int(std::lround(v.z * 1000)));
    };
    for (const auto& t : tris) got.insert(key(NormalOf(t)));
    for (int c = 0; c <= 7; ++c) {
        if ((c & axisBits) != c) continue;
        want.insert(key(Vector3{c & 1 ? -n.x : n.x, c & 2 ? -n.y : n.y, c & 4 ? -n.z : n.z}));
    }
    EXPECT_EQ(got, want);
}

class MqoMirrorTest : public MqoReaderTest, public ::testing::WithParamInterface<int> {};

TEST_P(MqoMirrorTest, CopiesPositionsAndFacesPerAxisCombination) {
    int axes = GetParam();
    MqoDocument doc = MakeQuadDocument();
    MqoObjectSpec& o = doc.objects[0];
    o.mirror = 1;
    o.mirrorAxis = axes;
    o.vertices = {{1, 2, 3}, {4, 1, 2}, {2, 5, 1}};
    MqoFaceSpec f;
    f.corners = {0, 1, 2};
    f.material = 0;
    o.faces = {f};
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    ModelBase* base = BaseOf(model);
    int copies = 1 << ((axes & 1) + (axes >> 1 & 1) + (axes >> 2 & 1));
    EXPECT_EQ(CountTriangles(base), copies);
    Vector3 p0{1, 2, -3}, p1{4, 1, -2}, p2{2, 5, -1};
    ExpectMirroredNormals(base, NormalOf({p0, p1, p2}), axes);
}

INSTANTIATE_TEST_SUITE_P(Axes, MqoMirrorTest, ::testing::Values(1, 3, 7));

TEST_F(MqoReaderTest, PositionsOnTheMirrorPlaneAreShared) {
    MqoDocument doc = MakeQuadDocument();
    MqoObjectSpec& o = doc.objects[0];
    o.mirror = 1;
    o.mirrorAxis = 1;
    o.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}};  // two on x = 0
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    std::set<std::tuple<float, float, float>> used;
    for (const auto& t : Triangles(BaseOf(model)->frames[0]))
        for (const Vector3& p : t) used.insert({p.x, p.y, p.z});
    EXPECT_EQ(used.size(), 6u);
    EXPECT_EQ(CountTriangles(BaseOf(model)), 4);
}

TEST_F(MqoReaderTest, MirrorTypeOtherThanOneCopiesNothing) {
    MqoDocument doc = MakeQuadDocument();
    doc.objects[0].mirror = 2;
    doc.objects[0].mirrorAxis = 7;
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    EXPECT_EQ(CountTriangles(BaseOf(model)), 2);
}

TEST_F(MqoReaderTest, ALoneMaterialOfAlphaZeroLeavesNoMesh) {
    MqoDocument doc = MakeQuadDocument();
    doc.materials[0].colour[3] = 0.0f;
    MqoObjectSpec visible = doc.objects[0];
    visible.name = "visible";
    visible.faces[0].material = -1;  // NoMaterial stays opaque
    doc.objects.push_back(visible);
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    ModelBase* base = BaseOf(model);
    EXPECT_EQ(base->frameCount, 2);  // the frame stays
    EXPECT_EQ(base->frames[0].meshCount, 0);
    EXPECT_EQ(base->frames[1].meshCount, 1);
}

TEST_F(MqoReaderTest, ObjectKeywordsReachTheFrame) {
    MqoDocument doc = MakeQuadDocument();
    doc.objects[0].visible = 0;
    doc.objects[0].facet = 30.0f;
    MqoObjectSpec shown = doc.objects[0];
    shown.name = "shown";
    shown.visible = 15;
    doc.objects.push_back(shown);
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    ModelBase* base = BaseOf(model);
    EXPECT_EQ(base->frames[0].flags & 1u, 0u);
    EXPECT_EQ(base->frames[1].flags & 1u, 1u);
    EXPECT_STREQ(base->frames[1].name, "shown");
    EXPECT_NEAR(base->frames[0].smoothingAngle, 30.0f * 3.14159265f / 180.0f, 1e-5f);
}

TEST_F(MqoReaderTest, FaceColoursAndUvsReachTheVertices) {
    MqoDocument doc = MakeQuadDocument();
    doc.materials[0].diffuse = 1.0f;
    doc.materials[0].colour[0] = 0.5f;  // diffuse red 0.5
    MqoFaceSpec& f = doc.objects[0].faces[0];
    f.uvs = {0.25f, 0.5f, 0.75f, 0.5f, 0.75f, 1.0f, 0.25f, 1.0f};
    f.colours.assign(4, 0xFF0000FFu);  // opaque red
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    const ModelBaseMesh& mesh = BaseOf(model)->meshes[0];
    ASSERT_EQ(mesh.vertexCount, 4);
    std::set<std::pair<float, float>> uvs;
    for (int v = 0; v < mesh.vertexCount; ++v) {
        const ModelBaseMeshVertex& mv = mesh.vertices[v];
        EXPECT_NEAR(mv.diffuse[0], 127, 1);  // 1.0 red scaled by the material's 0.5
        EXPECT_EQ(mv.diffuse[1], 0);
        EXPECT_EQ(mv.diffuse[2], 0);
        EXPECT_EQ(mv.diffuse[3], 255);
        uvs.insert({mv.uv[0][0], mv.uv[0][1]});
    }
    EXPECT_EQ(uvs, (std::set<std::pair<float, float>>{{0.25f, 0.5f}, {0.75f, 0.5f}, {0.75f, 1.0f}, {0.25f, 1.0f}}));
}

// Faces read before the first COL take their materials' colours, those
// after it without COL too.
TEST_F(MqoReaderTest, FacesBeforeTheFirstColourKeepTheirMaterials) {
    MqoDocument doc = MakeQuadDocument();
    doc.materials[0].diffuse = 1.0f;
    doc.materials[0].colour[0] = 0.5f;
    MqoMaterialSpec blue;
    blue.name = "blue";
    blue.diffuse = 1.0f;
    blue.colour[0] = blue.colour[1] = 0.0f;
    doc.materials.push_back(blue);
    // Local materials by first use: the plain one first, then blue.
    std::vector<MqoFaceSpec>& faces = doc.objects[0].faces;
    faces[0].corners = {0, 1, 2};
    MqoFaceSpec blueFace = faces[0];
    blueFace.corners = {0, 2, 3};
    blueFace.material = 1;
    MqoFaceSpec red = faces[0];
    red.colours.assign(3, 0xFF0000FFu);
    faces.push_back(blueFace);
    faces.push_back(red);
    blueFace.corners = {3, 2, 1};
    faces.push_back(blueFace);
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    ModelBase* base = BaseOf(model);
    ASSERT_EQ(base->meshCount, 2);
    for (int m = 0; m < 2; ++m) {
        const ModelBaseMesh& mesh = base->meshes[m];
        const bool isBlue = mesh.material == 1;
        EXPECT_GE(mesh.vertexCount, 3);
        for (int v = 0; v < mesh.vertexCount; ++v) {
            const uint8_t* d = mesh.vertices[v].diffuse;
            EXPECT_EQ(d[0], isBlue ? 0 : 127) << m;
            EXPECT_EQ(d[2], isBlue ? 255 : d[1]) << m;  // the plain one white or red
            EXPECT_EQ(d[3], 255) << m;
        }
    }
}

// Materials with textures: tex, aplane and bump, the "_a" companion, and a
// code page 932 name whose trail byte is 0x5C.
TEST_F(MqoReaderTest, TexturesOfUsedMaterialsAreLoaded) {
    FakeGraphics graphics;
    const std::string hyou = "\x95\x5C";  // a double-byte character ending in 0x5C
    files_.Add("cat.png", FakeGraphics::RawImage(4, 4, 0xFF102030));
    files_.Add("cat_a.png", FakeGraphics::RawImage(4, 4, 0x80000000));
    files_.Add(hyou + ".png", FakeGraphics::RawImage(2, 2, 0xFF405060));
    files_.Add("mask.png", FakeGraphics::RawImage(2, 2, 0xFF000000));
    files_.Add("height.png", FakeGraphics::RawImage(2, 2, 0xFF808080));
    MqoDocument doc = MakeQuadDocument();
    doc.materials[0].texture = "tex\\cat.png";
    MqoMaterialSpec named;
    named.name = "mat" + hyou;
    named.texture = "tex\\" + hyou + ".png";
    named.alphaPlane = "mask.png";
    named.bump = "maps\\height.png";
    MqoMaterialSpec alphaOnly;
    alphaOnly.name = "alphaOnly";
    alphaOnly.alphaPlane = "mask.png";
    MqoMaterialSpec unused;
    unused.name = "unused";
    unused.texture = "missing.png";  // never read: no face names it
    doc.materials.push_back(named);
    doc.materials.push_back(alphaOnly);
    doc.materials.push_back(unused);
    MqoObjectSpec& o = doc.objects[0];
    MqoFaceSpec f = o.faces[0];
    f.corners = {0, 1, 2};
    f.material = 1;
    o.faces.push_back(f);
    f.material = 2;
    o.faces.push_back(f);
    int model = Load(doc);
    ASSERT_GE(model, 0) << Log();
    ModelBase* base = BaseOf(model);
    EXPECT_EQ(base->textureCount, 4);  // cat, the named one, its bump, the alpha-only one
    EXPECT_EQ(std::string(base->materials[1].name), "mat" + hyou);
    EXPECT_EQ(base->materials[0].layers[0].count, 1);
    EXPECT_EQ(base->materials[3].layers[0].count, 0);  // the unused material lost its texture
    for (int t = 0; t < base->textureCount; ++t) EXPECT_NE(base->textures[t].image.graph, -1);
    EXPECT_EQ(base->textures[0].image.alphaData != nullptr, true);  // cat_a.png found
    EXPECT_EQ(graphics.graphs.size(), 4u);
    EXPECT_EQ(DeleteModel(model), 0);
    EXPECT_TRUE(graphics.graphs.empty());  // the base went with its last instance
}

TEST_F(MqoReaderTest, WithoutGraphicsATexturedModelFailsCleanlyAndAPlainOneLoads) {
    files_.Add("cat.png", "RAW1");
    MqoDocument doc = MakeQuadDocument();
    doc.materials[0].texture = "cat.png";
    EXPECT_EQ(Load(doc), -1);
    EXPECT_EQ(GetModelBaseCount(), 0);
    EXPECT_EQ(GetModelInstanceCount(), 0);
    EXPECT_GE(Load(MakeQuadDocument()), 0) << Log();
}

TEST_F(MqoReaderTest, GeneratedGridsLoad) {
    for (bool triangles : {false, true}) {
        int model = Load(MakeMqoGrid(500, triangles));
        ASSERT_GE(model, 0) << Log();
        EXPECT_EQ(CountTriangles(BaseOf(model)), triangles ? 500 : 1000);
        EXPECT_EQ(DeleteModel(model), 0);
    }
}

TEST_F(MqoReaderTest, AnEmptyObjectEndsAtItsOwnBrace) {
    MqoDocument doc = MakeQuadDocument();
    std::string text = WriteMqo(doc);
    text.insert(text.find("Object"), "Object \"empty\" {\r\n}\r\n");
    int model = Load("empty.mqo", text);
    ASSERT_GE(model, 0) << Log();
    ModelBase* base = BaseOf(model);
    ASSERT_EQ(base->frameCount, 2);
    EXPECT_STREQ(base->frames[0].name, "empty");
    EXPECT_EQ(base->frames[0].meshCount, 0);
    EXPECT_EQ(base->frames[1].meshCount, 1);  // the quad was not swallowed
}

TEST_F(MqoReaderTest, NumbersBeyondTheFloatRangeReadAsFailures) {
    MqoDocument doc = MakeQuadDocument();
    std::string text = WriteMqo(doc);
    size_t at = text.find("\t\t1 0 0\r\n");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 9, "\t\t" + std::string(60, '9') + " 0 0\r\n");
    int model = Load("huge.mqo", text);
    ASSERT_GE(model, 0) << Log();
    float lo[3], hi[3];
    GetModelBoundingBox(model, lo, hi);
    EXPECT_TRUE(std::isfinite(lo[0]) && std::isfinite(hi[0]));
    EXPECT_EQ(lo[0], -1.0f);  // the failed number's -1
}

// Another file is refused silently, for the next reader to try; an MQO file
// whose lines end with LF alone no reader takes, so it gets a line.
TEST_F(MqoReaderTest, AnotherSignatureIsRefusedSilentlyAndLineFeedsAloneWithALine) {
    EXPECT_EQ(Load("short.mqo", "Meta"), -1);
    EXPECT_EQ(Log().find("MQO Load Error"), std::string::npos);
    EXPECT_EQ(Load("model.mqo", "Metasequoia Document\nFormat Text Ver 1.0\n"), -1);
    const std::string log = Log();
    const size_t at = log.find("MQO Load Error : 行末が LF だけです (CR LF で保存してください) (モデルファイル model.mqo)\r\n");
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find("MQO Load Error", at + 1), std::string::npos) << log;
}

}  // namespace
