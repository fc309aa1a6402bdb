// The binary model reader: round trips of base data through every packing
// of the format, the values the packings pin down, and the files the
// reader must refuse.
#include <gtest/gtest.h>

#include "foundation/log_internal.h"
#include "model/mv1_load.h"
#include "mv1_test_support.h"

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
        ModelBase* b = Read(WriteMv1(a, p.options));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(ValidateModelBase(b, why, sizeof(why)), 0) << why;
        ModelBaseDump::Options exact{p.keyTolerance == 0};
        EXPECT_EQ(ModelBaseDump::Of(b, exact), ModelBaseDump::Of(a, exact));
        if (p.keyTolerance > 0) ExpectKeysNear(a, b, p.keyTolerance);
        Release(b);
    }
}

}  // namespace
