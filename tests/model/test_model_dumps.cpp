// Every model the project generates, loaded and dumped to the bit: the
// game's models from the content generator, the load benchmarks' grids (MQO
// and X, also with vertex optimisation and normal recalculation on), the X
// samples and random read models converted directly. Each dump's hash must
// match the one recorded in model_dumps.txt, so a change to reading or
// conversion that is meant to save time or memory cannot change a bit of
// base data unnoticed.
//
// After a change that is meant to change base data, record the new hashes:
//   MORPOTTA_UPDATE_MODEL_DUMPS=1 ./tests/test_model --gtest_filter='ModelDumps*'
// Each dump is also written under <build dir>/model_dumps/ for a diff.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "fake_graphics.h"
#include "generator.h"
#include "model/convert/convert.h"
#include "model_dump.h"
#include "model_generator.h"
#include "model_load_support.h"
#include "output.h"
#include "x_samples.h"

using namespace morpotta;

namespace {

namespace fs = std::filesystem;

uint64_t Fnv1a(const std::string& text) {
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

std::string Hex(uint64_t value) {
    char buffer[20];
    std::snprintf(buffer, sizeof(buffer), "%016llx", static_cast<unsigned long long>(value));
    return buffer;
}

std::map<std::string, std::string> ReadRecorded() {
    std::map<std::string, std::string> recorded;
    std::ifstream in(MORPOTTA_MODEL_DUMPS_FILE);
    std::string name, hash;
    while (in >> name >> hash) recorded[name] = hash;
    return recorded;
}

class ModelDumps : public ModelLoadTest {
protected:
    void TearDown() override {
        SetModelLoadVertexOptimize(0);
        SetModelLoadNormalRecalc(0);
        ModelLoadTest::TearDown();
    }

    // Keeps the hash of the base's dump under name.
    void Keep(const std::string& name, const ModelBase* base) {
        ASSERT_NE(base, nullptr) << name;
        std::string dump = ModelBaseDump::Of(base);
        hashes_[name] = Hex(Fnv1a(dump));
        fs::path dir = fs::path(MORPOTTA_BUILD_DIR) / "model_dumps";
        fs::create_directories(dir);
        std::ofstream(dir / (name + ".txt"), std::ios::binary) << dump;
    }

    void LoadAndKeep(const std::string& name, const std::string& path, const std::string& bytes) {
        int model = Load(path, bytes);
        ASSERT_NE(model, -1) << name << "\n" << Log();
        Keep(name, BaseOf(model));
        DeleteModel(model);
    }

    void GameModels() {
        fs::path root = dir_.path() / "generated";
        OutputTree out(root.string());
        GenerateModels(out);
        ASSERT_FALSE(out.failed());
        int count = 0;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.path().extension() != ".mqo") continue;
            std::string relative = fs::relative(entry.path(), root).generic_string();
            std::string name = relative, path = relative;
            for (char& c : name)
                if (c == '/') c = '_';
            for (char& c : path)
                if (c == '/') c = '\\';
            LoadAndKeep("game_" + name, path, ScopedTempDir::ReadFile(entry.path()));
            ++count;
        }
        EXPECT_GT(count, 50);
    }

    void Grids() {
        LoadAndKeep("mqo_grid_10k_triangles", "grid1.mqo", WriteMqo(MakeMqoGrid(10000, true)));
        LoadAndKeep("mqo_grid_3k_quads", "grid2.mqo", WriteMqo(MakeMqoGrid(3000)));
        LoadAndKeep("x_grid_3k_text", "grid3.x", MakeXGrid(3000, XWriter::kText));
        LoadAndKeep("x_grid_3k_binary", "grid4.x", MakeXGrid(3000, XWriter::kBinary32));
        LoadAndKeep("x_sample_text", "sample1.x", kSampleXText);
        LoadAndKeep("x_sample_binary64", "sample2.x", SampleXBinary(XWriter::kBinary64));
        SetModelLoadVertexOptimize(1);
        SetModelLoadNormalRecalc(1);
        LoadAndKeep("mqo_grid_1k_quads_optimised", "grid5.mqo", WriteMqo(MakeMqoGrid(1000)));
        LoadAndKeep("x_sample_text_optimised", "sample3.x", kSampleXText);
        SetModelLoadVertexOptimize(0);
        SetModelLoadNormalRecalc(0);
    }

    void RandomModels() {
        std::mt19937 random(20261207);
        for (int trial = 0; trial < 30; ++trial) {
            ReadModel model;
            InitReadModel(&model);
            int triangles = 0;
            ASSERT_TRUE(BuildRandomReadModel(&model, random, trial, &triangles));
            int handle = ConvertReadModelToModelBase(&model, nullptr, nullptr);
            FreeReadModel(&model);
            ASSERT_NE(handle, -1) << trial;
            Keep("random_" + std::to_string(trial), GetModelBase(handle));
            FreeModelBaseRecord(handle);
        }
    }

    std::map<std::string, std::string> hashes_;
};

TEST_F(ModelDumps, EveryGeneratedModelKeepsItsBaseData) {
    FakeGraphics graphics;
    files_.Add("red.png", FakeGraphics::RawImage(2, 2, 0xFFFF0000));
    GameModels();
    Grids();
    RandomModels();
    if (std::getenv("MORPOTTA_UPDATE_MODEL_DUMPS")) {
        std::ofstream out(MORPOTTA_MODEL_DUMPS_FILE);
        for (const auto& [name, hash] : hashes_) out << name << ' ' << hash << '\n';
        GTEST_SKIP() << "recorded " << hashes_.size() << " hashes";
    }
    std::map<std::string, std::string> recorded = ReadRecorded();
    EXPECT_EQ(recorded.size(), hashes_.size()) << "models recorded and models made differ";
    for (const auto& [name, hash] : hashes_) {
        auto it = recorded.find(name);
        ASSERT_NE(it, recorded.end()) << name << " has no recorded hash";
        EXPECT_EQ(it->second, hash) << name << ": base data changed (dump under model_dumps/)";
    }
}

}  // namespace
