// LoadModelFile, the reader order, reference counting and the model
// system's life cycle.
#include "model_load_support.h"

#include "foundation/subsystems.h"

namespace {

TEST_F(ModelLoadTest, LoadsAnMqoFileFromTheCurrentDirectory) {
    int model = Load(MakeQuadDocument());
    ASSERT_GE(model, 0) << Log();
    EXPECT_EQ(uint32_t(model) & 0xF8000000u, 0x50000000u);
    ModelBase* base = BaseOf(model);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base->frameCount, 1);
    EXPECT_EQ(base->meshCount, 1);
    EXPECT_EQ(base->refCount, 1u);  // the instance's; the loader dropped its own
    EXPECT_EQ(base->instanceCount, 1u);
    EXPECT_EQ(GetModelMaterialCount(model), 2);  // "mat" and "NoMaterial"
}
}  // namespace
