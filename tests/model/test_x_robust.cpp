// The X reader on damaged files: the sample cut at every byte, and bytes
// of it overwritten at random (deterministically). Each load ends in a
// model or -1 with nothing left behind; under AddressSanitizer nothing is
// read or written out of bounds.
#include "model_load_support.h"

#include <random>

#include "fake_graphics.h"
#include "x_samples.h"

namespace {

class XRobustTest : public ModelLoadTest {
protected:
    void SetUp() override {
        ModelLoadTest::SetUp();
        SetLogOutput(0);
        files_.Add("red.png", FakeGraphics::RawImage(2, 2, 0xFFFF0000));
    }
    void LoadAndRelease(const std::string& bytes) {
        int model = Load("damaged.x", bytes);
        loaded_ += model >= 0;
        if (model >= 0) {
            float lo[3], hi[3];
            EXPECT_EQ(GetModelBoundingBox(model, lo, hi), 0);
            EXPECT_EQ(DeleteModel(model), 0);
        }
        ASSERT_EQ(GetModelInstanceCount(), 0);
    }
    static std::vector<std::string> Samples() {
        return {kSampleXText, SampleXBinary(XWriter::kBinary32), SampleXBinary(XWriter::kBinary64)};
    }
    FakeGraphics graphics_;
    int loaded_ = 0;
};

TEST_F(XRobustTest, EveryTruncation) {
    for (const std::string& sample : Samples()) {
        for (size_t size = 0; size < sample.size(); ++size) {
            LoadAndRelease(sample.substr(0, size));
            if (HasFatalFailure()) return;
        }
    }
}

TEST_F(XRobustTest, RandomOverwrites) {
    std::mt19937 random(36);
    const char interesting[] = {0, 1, 2, 3, 5, 6, 7, 10, 11, 31, '{', '}', ';', ',', '"', '-', '9', char(0x7F), char(0x81), char(0xFF)};
    for (const std::string& sample : Samples()) {
        for (int round = 0; round < 1500; ++round) {
            std::string bytes = sample;
            int edits = 1 + int(random() % 4);
            for (int e = 0; e < edits; ++e) {
                size_t at = 16 + random() % (bytes.size() - 16);
                bytes[at] = random() % 2 ? interesting[random() % sizeof(interesting)] : char(random());
            }
            LoadAndRelease(bytes);
            if (HasFatalFailure()) return;
        }
    }
    EXPECT_GT(loaded_, 500) << "a good share of damaged files must still reach the conversion";
}

}  // namespace
