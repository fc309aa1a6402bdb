#include "model/convert/convert.h"
#include "model_generator.h"
#include "model_test_support.h"

using namespace morpotta;

namespace {

using ConvertRandomTest = ModelSystemTest;

// Random models (BuildRandomReadModel): the result must always pass the
// validator and keep every triangle.
TEST_F(ConvertRandomTest, GeneratedModelsAlwaysValidate) {
    std::mt19937 random(20261207);
    for (int trial = 0; trial < 30; ++trial) {
        ReadModel model;
        InitReadModel(&model);
        int expectedTriangles = 0;
        ASSERT_TRUE(BuildRandomReadModel(&model, random, trial, &expectedTriangles)) << trial;
        int handle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
        ASSERT_NE(handle, -1) << trial;
        ModelBase* base = GetModelBase(handle);
        char why[256] = {};
        EXPECT_EQ(ValidateModelBase(base, why, sizeof(why)), 0) << "trial " << trial << ": " << why;
        int triangles = 0;
        for (int l = 0; l < base->triangleListCount; ++l) triangles += base->triangleLists[l].indexCount / 3;
        EXPECT_EQ(triangles, expectedTriangles) << trial;
        FreeModelBaseRecord(handle);
        FreeReadModel(&model);
    }
}

}  // namespace
