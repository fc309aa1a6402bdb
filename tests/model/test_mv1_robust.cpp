// Damaged binary model files: cut short at every byte, and mutated ten
// thousand times. Each load either fails with -1 or gives base data that
// passes the structural checks and makes a model; nothing leaks.
#include <gtest/gtest.h>

#include <random>

#include "model_load_support.h"
#include "mv1_test_support.h"

namespace {

class Mv1RobustTest : public ModelLoadTest {
protected:
    void SetUp() override {
        ModelLoadTest::SetUp();
        SetLogOutput(0);  // thousands of refusals
        ModelBase* a = BuildMv1RichModel(&files_);
        ASSERT_NE(a, nullptr);
        Mv1WriteOptions o;
        o.quantisePositions = true;  // the packed branches, where the arithmetic is
        o.rangeCodedTimes = true;
        o.valueEncoding = 1;
        image_ = Mv1Writer(o).Image(a);
        ReleaseBase(a);
    }

    // -1, or a model over valid base data. Quantised weights of a mutated
    // file need not sum to 1, nor need a list's weights fit its palette and
    // kind (the reader takes them as the vertex fill does), which the
    // checks also ask of converted data.
    void LoadAndCheck(const std::string& file, const char* what, size_t n) {
        files_.Add("C:/game/model/m.mv1", file);
        int model = LoadModelFile("C:/game/model/m.mv1");
        ++tried_;
        if (model < 0) return;
        ++loaded_;
        char why[256] = {};
        if (ValidateModelBase(BaseOf(model), why, sizeof(why)) != 0) {
            const std::string reason = why;
            EXPECT_TRUE(reason.find("weights of position") != std::string::npos ||
                        reason.find("missing from a palette") != std::string::npos ||
                        reason.find("weights in a list of kind") != std::string::npos)
                << what << " " << n << ": " << why;
        }
        float lo[3], hi[3];
        GetModelBoundingBox(model, lo, hi);
        EXPECT_EQ(DeleteModel(model), 0);
    }

    std::vector<uint8_t> image_;
    FakeGraphics graphics_;
    int tried_ = 0, loaded_ = 0;
};

TEST_F(Mv1RobustTest, FilesCutShortAtEveryByte) {
    const std::string file = PackMv1(image_);
    for (size_t n = 0; n < file.size(); ++n) LoadAndCheck(file.substr(0, n), "file cut at", n);
    EXPECT_EQ(loaded_, 0);
    LoadAndCheck(file, "whole", 0);
    EXPECT_EQ(loaded_, 1);
    EXPECT_EQ(GetModelBaseCount(), 0);
}

TEST_F(Mv1RobustTest, ImagesCutShortAtEveryBytePackedWhole) {
    for (size_t n = 4; n < image_.size(); ++n)
        LoadAndCheck(PackMv1(std::vector<uint8_t>(image_.begin(), image_.begin() + long(n))), "image cut at", n);
    EXPECT_EQ(loaded_, 0);
    EXPECT_EQ(GetModelBaseCount(), 0);
}

// Ten thousand mutations in ten shards of their own, each a test of its
// own, so that no one test takes minutes under a sanitizer on a busy machine.
class Mv1MutationTest : public Mv1RobustTest, public ::testing::WithParamInterface<int> {};

TEST_P(Mv1MutationTest, AThousandMutations) {
    std::mt19937 random(35 + uint32_t(GetParam()));
    auto below = [&random](size_t n) { return size_t(random() % n); };
    for (int round = 0; round < 1000; ++round) {
        std::vector<uint8_t> image = image_;
        int edits = 1 + int(below(3));
        for (int e = 0; e < edits; ++e) {
            size_t at = 4 + below(image.size() - 8);
            switch (below(4)) {
            case 0: image[at] = uint8_t(random()); break;
            case 1: image[at] ^= uint8_t(1u << below(8)); break;
            case 2: {  // a word that reads as a count, an offset or all ones
                const uint32_t words[] = {0, 1, 2, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x10000u, uint32_t(image.size()),
                                          uint32_t(below(image.size())), ImageWord(image, at & ~size_t(3)) + 1};
                SetImageWord(&image, at & ~size_t(3), words[below(sizeof(words) / sizeof(words[0]))]);
                break;
            }
            default: SetImageWord(&image, at & ~size_t(3), uint32_t(random())); break;
            }
        }
        LoadAndCheck(PackMv1(image), "mutation", size_t(round));
        if (HasFailure()) break;
    }
    RecordProperty("loaded", loaded_);
    EXPECT_GT(loaded_, 10);  // many mutations only touch values
    EXPECT_LT(loaded_, tried_);
    EXPECT_EQ(GetModelBaseCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Shards, Mv1MutationTest, ::testing::Range(0, 10));

}  // namespace
