// The binary model reader: round trips of base data through every packing
// of the format, the values the packings pin down, and the files the
// reader must refuse.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "model/read/mv1_load.h"
#include "model_load_support.h"
#include "mv1_test_support.h"

using namespace morpotta;

namespace {

struct Packing {
    const char* name;
    Mv1WriteOptions options;
    float keyTolerance;  // 0: key times and values come back exactly
};

std::vector<Packing> Packings() {
    std::vector<Packing> p;
    auto add = [&p](const char* name, float tolerance, auto change) {
        Mv1WriteOptions o;
        change(o);
        p.push_back(Packing{name, o, tolerance});
    };
    add("floats", 0, [](Mv1WriteOptions&) {});
    add("quantised positions", 0, [](Mv1WriteOptions& o) { o.quantisePositions = true; });
    add("byte normals", 0, [](Mv1WriteOptions& o) { o.normalEncoding = 1; });
    add("short normals", 0, [](Mv1WriteOptions& o) { o.normalEncoding = 2; });
    add("normals computed", 0, [](Mv1WriteOptions& o) {
        o.normalEncoding = 0;
        o.normalsNotStored = true;
    });
    add("wide bones and weights", 0, [](Mv1WriteOptions& o) {
        o.wideBoneIndex = true;
        o.wideWeight = true;
    });
    add("wide bones, byte weights", 0, [](Mv1WriteOptions& o) { o.wideBoneIndex = true; });
    add("u8 mesh indices", 0, [](Mv1WriteOptions& o) { o.meshIndexWidth = 1; });
    add("u16 mesh indices", 0, [](Mv1WriteOptions& o) { o.meshIndexWidth = 2; });
    add("u32 mesh indices", 0, [](Mv1WriteOptions& o) { o.meshIndexWidth = 3; });
    add("packed texture coordinates", 0, [](Mv1WriteOptions& o) { o.uv16 = true; });
    add("shared colours and outline bits", 0, [](Mv1WriteOptions& o) {
        o.shareColours = true;
        o.outlineBits = true;
    });
    add("u16 list numbers and indices", 0, [](Mv1WriteOptions& o) {
        o.listNumberWidth = 1;
        o.listIndexWidth = 1;
    });
    add("u32 list numbers", 0, [](Mv1WriteOptions& o) { o.listNumberWidth = 2; });
    add("u8 key counts, u16 starts and steps", 0, [](Mv1WriteOptions& o) {
        o.keyCountWidth = 1;
        o.startEncoding = 1;
        o.stepU16 = true;
    });
    add("u16 key counts, zero starts", 0, [](Mv1WriteOptions& o) {
        o.keyCountWidth = 2;
        o.startEncoding = 2;
    });
    add("no one-key form", 0, [](Mv1WriteOptions& o) { o.singleKeyFlag = false; });
    add("range-coded times and values", 1e-3f, [](Mv1WriteOptions& o) {
        o.rangeCodedTimes = true;
        o.valueEncoding = 1;
    });
    add("angles from -pi", 1e-3f, [](Mv1WriteOptions& o) { o.valueEncoding = 2; });
    add("angles from 0", 1e-3f, [](Mv1WriteOptions& o) { o.valueEncoding = 3; });
    add("long records", 0, [](Mv1WriteOptions& o) {
        o.frameAnimStride = 0x24;
        o.shapeVertexStride = 36;
    });
    return p;
}

class Mv1ReaderTest : public Mv1Test {};

TEST_F(Mv1ReaderTest, EveryPackingGivesTheSameBaseData) {
    ModelBase* a = BuildRich();
    ASSERT_NE(a, nullptr);
    char why[256] = {};
    ASSERT_EQ(ValidateModelBase(a, why, sizeof(why)), 0) << why;
    // The model reaches every kind of list.
    int kinds[4] = {};
    for (int i = 0; i < a->triangleListCount; ++i) ++kinds[a->triangleLists[i].vertexKind];
    for (int k = 0; k < 4; ++k) EXPECT_GT(kinds[k], 0) << "kind " << k;
    for (const Packing& p : Packings()) {
        SCOPED_TRACE(p.name);
        ModelBase* b = ReadMv1(WriteMv1(a, p.options));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(ValidateModelBase(b, why, sizeof(why)), 0) << why;
        ModelBaseDump::Options exact{p.keyTolerance == 0};
        EXPECT_EQ(ModelBaseDump::Of(b, exact), ModelBaseDump::Of(a, exact));
        if (p.keyTolerance > 0) ExpectKeysNear(a, b, p.keyTolerance);
        ReleaseBase(b);
    }
}

TEST_F(Mv1ReaderTest, RangeCodesGiveTheirScaleAndOffset) {
    struct Case {
        uint8_t first, second;
        float scale, offset;
    } cases[] = {
        {0x80, 0x01, 1.0f, 0.0f},       // no offset, scale 1
        {0x42, 0x23, 300.0f, -100.0f},  // -10^2; 3 x 10^2
        {0x23, 0x95, 0.5f, 0.001f},     // +10^-3; 5 x 10^-1
        {0x62, 0xF7, 7e-7f, -0.01f},    // -10^-2; 7 x 10^-7
    };
    for (const Case& c : cases) {
        Mv1Range r = DecodeMv1RangeCode(c.first, c.second);
        EXPECT_FLOAT_EQ(r.scale, c.scale) << int(c.first) << " " << int(c.second);
        EXPECT_FLOAT_EQ(r.offset, c.offset) << int(c.first) << " " << int(c.second);
    }
}

// One triangle in a frame of its own, its base data and image.
struct SmallModel {
    ModelBase* base;
    std::vector<uint8_t> image;
};

SmallModel MakeTriangle(const Mv1WriteOptions& options) {
    ReadModel model;
    InitReadModel(&model);
    ReadModelFrame* root = AddReadModelFrame(&model, "root", nullptr);
    AddTestMesh(&model, root, {{-2, 0, 0}, {1, 3, 0}, {0, 0, 0.5f}}, {{0, 1, 2}});
    int handle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
    FreeReadModel(&model);
    ModelBase* base = GetModelBase(handle);
    return SmallModel{base, Mv1Writer(options).Image(base)};
}

TEST_F(Mv1ReaderTest, QuantisedPositionsScaleBy60000) {
    Mv1WriteOptions o;
    o.quantisePositions = true;
    SmallModel m = MakeTriangle(o);
    ASSERT_NE(m.base, nullptr);
    // The second position's x is the top of its box: u16 60000.
    uint32_t data = ImageWord(m.image, ImageRecord(m.image, 0x24, 0) + 0xC4);
    uint32_t x1 = data + 24 + 6;
    ASSERT_EQ(m.image[x1] | m.image[x1 + 1] << 8, 60000);
    ModelBase* b = ReadMv1(PackMv1(m.image));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->frames[0].positions[1].position.x, 1.0f);  // minimum + range, exactly
    EXPECT_EQ(b->frames[0].positions[0].position.x, -2.0f);
    m.image[x1] = m.image[x1 + 1] = 0xFF;
    ModelBase* beyond = ReadMv1(PackMv1(m.image));
    ASSERT_NE(beyond, nullptr);
    EXPECT_FLOAT_EQ(beyond->frames[0].positions[1].position.x, 65535.0f * 3.0f / 60000.0f - 2.0f);
}

TEST_F(Mv1ReaderTest, WhatTheFlagsLeaveOutStaysEmpty) {
    ModelBase* a = BuildRich();
    ASSERT_NE(a, nullptr);
    // A position whose list ends at once keeps -1 as its first bone.
    const ModelBaseFrame* arm = &a->frames[2];
    ASSERT_STREQ(arm->name, "arm");
    ModelBase* b = ReadMv1(WriteMv1(a));
    ASSERT_NE(b, nullptr);
    ASSERT_GT(b->frames[2].positionCount, 18);
    EXPECT_EQ(b->frames[2].positions[18].weightBones[0], -1);
    EXPECT_EQ(b->frames[2].positions[0].weightBones[1], -1);
    // No normals stored and none asked for: the records stay 0.
    Mv1WriteOptions none;
    none.normalEncoding = 0;
    ModelBase* flat = ReadMv1(WriteMv1(a, none));
    ASSERT_NE(flat, nullptr);
    for (int i = 0; i < flat->frameCount; ++i)
        for (int n = 0; n < flat->frames[i].normalCount; ++n) {
            const Vector3& v = flat->frames[i].normals[n].normal;
            EXPECT_TRUE(v.x == 0 && v.y == 0 && v.z == 0);
        }
    // Index widths 2 and 3 store no indices: every index reads 0.
    std::vector<uint8_t> image = Mv1Writer(Mv1WriteOptions{}).Image(a);
    uint32_t list = ImageRecord(image, 0x70, 0);
    image[list + 0x12] = uint8_t((image[list + 0x12] & 3) | 2 << 2);
    ModelBase* zero = ReadMv1(PackMv1(image));
    ASSERT_NE(zero, nullptr);
    ASSERT_GT(zero->triangleLists[0].indexCount, 0);
    for (int i = 0; i < zero->triangleLists[0].indexCount; ++i) EXPECT_EQ(zero->triangleLists[0].indices[i], 0);
    // Mesh index width 0 stores no position or normal numbers: all are 0.
    Mv1WriteOptions unnumbered;
    unnumbered.meshIndexWidth = 0;
    ModelBase* origin = ReadMv1(PackMv1(MakeTriangle(unnumbered).image));
    ASSERT_NE(origin, nullptr);
    for (int v = 0; v < origin->meshes[0].vertexCount; ++v) {
        EXPECT_EQ(origin->meshes[0].vertices[v].position, 0);
        EXPECT_EQ(origin->meshes[0].vertices[v].normal, 0);
    }
}

// What a file carries beyond the model itself (two header words, data
// blocks A and B, frame-attached records and what frames point at; the
// sample has them all), its texture-coordinate sets past the fourth, and
// skin bones in any order, written as the format lays them out and read
// back whole.
TEST_F(Mv1ReaderTest, EverythingAFileCarriesReadsBackWhole) {
    ModelBase* a = BuildRich();
    ASSERT_NE(a, nullptr);
    ASSERT_GT(a->skinBoneCount, 2);
    ASSERT_LT(a->skinBones[0].boneFrame, a->skinBones[a->skinBoneCount - 1].boneFrame);
    Mv1WriteOptions reversed;
    reversed.skinBonesReversed = true;
    const std::vector<uint8_t> image = Mv1Writer(reversed).Image(a);
    ModelBase* b = ReadMv1(PackMv1(image));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(ModelBaseDump::Of(b), ModelBaseDump::Of(a));
    EXPECT_EQ(b->meshes[0].vertices[3].uv[6][1], float(3 * 977 + 6 * 131) / 65535.0f);

    // The layout as the format has it: the header's block sizes and
    // offsets, and a frame's shape entry as the offset of a pair of words,
    // the shape count and the first shape (which names the frame).
    EXPECT_EQ(ImageWord(image, 0x10), 24u);
    EXPECT_EQ(ImageWord(image, 0x14), 7u);
    EXPECT_EQ(image[ImageWord(image, 0x18) + 5], a->dataBlocks[0].bytes[5]);
    EXPECT_EQ(ImageWord(image, 0x54), 2u);
    const uint32_t body = ImageRecord(image, 0x24, 1);
    ASSERT_STREQ(a->frames[1].name, "body");
    EXPECT_EQ(ImageWord(image, body + 0x14), ImageWord(image, 0x18) + 8);
    const uint32_t entry = ImageWord(image, body + 0xD8);
    ASSERT_NE(entry, 0u);
    EXPECT_EQ(ImageWord(image, entry), uint32_t(a->frames[1].shapeCount));
    EXPECT_EQ(ImageWord(image, ImageWord(image, entry + 4) + 0x10), body);
}

// Weights a list's kind cannot hold and bones missing from its palette are
// taken as the vertex fill takes them: the first four pairs, the slot past
// the palette.
TEST_F(Mv1ReaderTest, ListsTakeWhatTheirKindAndPaletteCanHold) {
    ModelBase* a = BuildRich();
    ASSERT_NE(a, nullptr);
    std::vector<uint8_t> image = Mv1Writer(Mv1WriteOptions{}).Image(a);
    int index = 0;
    while (a->triangleLists[index].vertexKind != 2) ++index;
    const uint32_t list = ImageRecord(image, 0x70, index);
    image[list + 0x10] = 1;  // eight-weight vertices in a four-weight list
    const uint32_t palette = ImageWord(image, list + 0x18);
    const uint32_t dropped = image[palette + 2] | image[palette + 3] << 8;
    image[palette + 2] = image[palette + 4];  // the first bone is named no more
    image[palette + 3] = image[palette + 5];
    ModelBase* b = ReadMv1(PackMv1(image));
    ASSERT_NE(b, nullptr);
    const ModelBaseTriangleList& l = b->triangleLists[index];
    ASSERT_EQ(l.vertexKind, 1);
    ASSERT_EQ(l.vertexStride, 48);
    int outside = 0;
    for (int v = 0; v < l.vertexCount; ++v) {
        const auto* vertex = static_cast<const uint8_t*>(l.vertices) + 48 * v;
        const ModelBasePosition& p = l.mesh->frame->positions[l.mesh->vertices[l.meshVertices[v]].position];
        ASSERT_GT(p.weightBones[4], -1) << "each position of the list has more than four weights";
        for (int w = 0; w < 4; ++w) {
            float weight;
            std::memcpy(&weight, vertex + 4 * w, 4);
            EXPECT_EQ(weight, p.weightValues[w]);
            const bool named = uint32_t(p.weightBones[w]) != dropped;
            EXPECT_EQ(vertex[44 + w] < l.boneCount, named);
            if (!named) {
                EXPECT_EQ(vertex[44 + w], l.boneCount);
                ++outside;
            }
        }
    }
    EXPECT_GT(outside, 0);
}

class Mv1LoadTest : public ModelLoadTest {
protected:
    FakeGraphics graphics_;
};

TEST_F(Mv1LoadTest, FilesOfOtherFormatsAreRefusedSilently) {
    for (std::string file : {std::string("MV10\x01\x02\x03\x04\x05\x06\x07\x08\x09\x00", 14), std::string("MV1"),
                             std::string(), std::string("Metasequoia Document\r\n")})
        EXPECT_EQ(ReadMv1(file), nullptr) << file;
    EXPECT_EQ(Log().find("MV1"), std::string::npos) << Log();
    EXPECT_EQ(GetModelBaseCount(), 0);
}

TEST_F(Mv1LoadTest, DamagedFilesAreRefusedWithTheirReason) {
    ModelBase* a = BuildMv1RichModel(&files_);
    ASSERT_NE(a, nullptr);
    const std::vector<uint8_t> good = Mv1Writer(Mv1WriteOptions{}).Image(a);
    ReleaseBase(a);
    auto firstList = [&good](int kind) {
        for (int n = 0;; ++n) {
            uint32_t at = ImageRecord(good, 0x70, n);
            if (good[at + 0x10] == kind) return at;
        }
    };
    struct Damage {
        const char* reason;
        std::function<void(std::vector<uint8_t>*)> apply;
    };
    const Damage damages[] = {
        {"the key-set records are not 20 bytes long", [](std::vector<uint8_t>* i) { SetImageWord(i, 0xC4, 24); }},
        {"a triangle list has more than 54 bones",
         [&](std::vector<uint8_t>* i) {
             uint32_t data = ImageWord(*i, firstList(1) + 0x18);
             (*i)[data] = 55;
         }},
        {"a triangle list's index names no vertex",
         [&](std::vector<uint8_t>* i) {
             uint32_t list = firstList(0);
             uint32_t data = ImageWord(*i, list + 0x18);
             (*i)[data + ((*i)[list + 0x14] | (*i)[list + 0x15] << 8)] = 0xFE;
         }},
        {"a frame comes before its parent",
         [](std::vector<uint8_t>* i) {
             uint32_t body = ImageRecord(*i, 0x24, 1);
             SetImageWord(i, body + 0x38, body);
         }},
        {"a material names a texture the model does not have",
         [](std::vector<uint8_t>* i) { SetImageWord(i, ImageRecord(*i, 0x40, 0) + 0x5C, 5); }},
        {"a frame's positions run past the end of the file",
         [](std::vector<uint8_t>* i) { SetImageWord(i, ImageRecord(*i, 0x24, 2) + 0xBC, 100000); }},
        {"the file asks for more memory than its size can justify",
         [](std::vector<uint8_t>* i) { SetImageWord(i, ImageRecord(*i, 0x50, 0) + 0x40, 0x40000000); }},
        {"a mesh belongs to no frame", [](std::vector<uint8_t>* i) { SetImageWord(i, ImageRecord(*i, 0x24, 1) + 0x94, 0); }},
        {"a mesh names no material",  // the first texture record in its place
         [](std::vector<uint8_t>* i) {
             SetImageWord(i, ImageRecord(*i, 0x50, 0) + 0x10, ImageRecord(*i, 0x48, 0));
         }},
    };
    for (const Damage& d : damages) {
        std::vector<uint8_t> image = good;
        d.apply(&image);
        EXPECT_EQ(ReadMv1(PackMv1(image)), nullptr) << d.reason;
        EXPECT_NE(Log().find(std::string("MV1 LoadModel Error : ") + d.reason), std::string::npos) << d.reason;
        EXPECT_EQ(GetModelBaseCount(), 0) << d.reason;
    }
    // A block that claims to expand to a gigabyte from one byte.
    std::string boast = "MV11";
    const uint8_t block[10] = {0, 0, 0, 0x40, 1, 0, 0, 0, 0, 7};
    boast.append(reinterpret_cast<const char*>(block), sizeof(block));
    EXPECT_EQ(ReadMv1(boast), nullptr);
    EXPECT_NE(Log().find("MV1 LoadModel Error : the compressed data give an impossible size"), std::string::npos);
    // A texture that cannot be made.
    graphics_.failGraphs = true;
    EXPECT_EQ(ReadMv1(PackMv1(good)), nullptr);
    EXPECT_NE(Log().find("MV1 LoadModel Error : テクスチャ wood の読み込みに失敗しました"), std::string::npos);
}

TEST_F(Mv1LoadTest, LoadModelFileTriesTheBinaryReaderFirst) {
    ModelBase* a = BuildMv1RichModel(&files_);
    ASSERT_NE(a, nullptr);
    // The road makes the folder absolute in the engine's own spelling.
    std::string dump = ModelBaseDump::Of(a);
    dump.replace(dump.find("folder C:/game/model/"), 21, "folder C:\\game\\model/");
    files_.Add("C:\\game\\model/wood.png", FakeGraphics::RawImage(4, 2, 0xFF336699));
    files_.Add("C:\\game\\model/wood_a.png", FakeGraphics::RawImage(4, 2, 0x80FFFFFF));
    files_.Add("C:/game/model/rich.mv1", WriteMv1(a));
    ReleaseBase(a);
    int model = LoadModelFile("C:/game/model/rich.mv1");
    ASSERT_GE(model, 0) << Log();
    EXPECT_EQ(ModelBaseDump::Of(BaseOf(model)), dump);
    EXPECT_EQ(BaseOf(model)->refCount, 1u);
    float lo[3], hi[3];
    EXPECT_EQ(GetModelBoundingBox(model, lo, hi), 0);
    EXPECT_EQ(DeleteModel(model), 0);
    EXPECT_EQ(GetModelBaseCount(), 0);
}

}  // namespace
