// Every generated MQO model loads by file name through the engine's file
// layer and the model system, headless (the generated models carry no
// textures, so no graphics are needed).
#include "engine/log.h"
#include "engine/model.h"
#include "generated_tree.h"
#include "manifest.h"
#include "model/instance/model_system.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace morpotta;

namespace {

TEST(EngineModels, EveryGeneratedModelLoadsByFileName) {
    SetLogOutput(0);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(ContentTreeRoot());  // game paths start with "tpa\"
    ASSERT_EQ(InitializeModelSystem(), 0);
    ASSERT_FALSE(ModelPaths().empty());
    for (const std::string& path : ModelPaths()) {
        int model = LoadModelFile(path.c_str());
        EXPECT_GE(model, 0) << path;
        if (model < 0) continue;
        EXPECT_GT(GetModelMaterialCount(model), 0) << path;
        float lo[3], hi[3];
        ASSERT_EQ(GetModelBoundingBox(model, lo, hi), 0);
        EXPECT_LE(lo[0], hi[0]) << path;  // something was placed
        EXPECT_EQ(DeleteModel(model), 0);
    }
    TerminateModelSystem();
    std::filesystem::current_path(previous);
    SetLogOutput(1);
}

}  // namespace
