// Compressed WAV files through the converter's ACM reader: sox encodes our
// own tone and decodes it again; our decoders must match its decode bit
// for bit, through runs, seeks and a whole conversion alike.
#include "codec_fixtures.h"

using namespace soundtest;

namespace {

struct Encoding {
    const char* name;
    const char* soxArguments;
    uint16_t formatTag;
};

const Encoding kEncodings[] = {
    {"ima", "-e ima-adpcm", 0x11},
    {"ms", "-e ms-adpcm", 2},
    {"alaw", "-e a-law", 6},
    {"ulaw", "-e u-law", 7},
};

class CompressedWaveTest : public ::testing::TestWithParam<std::tuple<Encoding, int>> {
protected:
    void SetUp() override {
        SetLogOutput(0);
        if (!HasTool("sox")) GTEST_SKIP() << "sox is not installed";
        auto [encoding, channels] = GetParam();
        channels_ = channels;
        // Whole ADPCM blocks (sox's blocks hold 1017 or 505 samples per channel
        // at these sizes) are not needed: the partial last block is the test of
        // its own below.
        WriteBytes("source.wav", MakeWave(MakeTonePcm16(22050, channels, 22050), 22050, channels, 16));
        ASSERT_TRUE(RunTool(std::string("sox source.wav ") + encoding.soxArguments + " coded.wav"));
        ASSERT_TRUE(RunTool("sox coded.wav -e signed-integer -b 16 reference.wav"));
        coded_ = ReadBytes("coded.wav");
        reference_ = WaveData(ReadBytes("reference.wav"));
        uint16_t tag;
        std::memcpy(&tag, &coded_[20], 2);
        ASSERT_EQ(tag, encoding.formatTag);
    }
    ScopedTempDir dir_;
    int channels_ = 1;
    std::vector<uint8_t> coded_;
    std::vector<uint8_t> reference_;
};

// Our decode of whole blocks equals sox's decode of them: a partial block
// at the end is left undecoded by a block-aligned conversion.
void ExpectPrefixOfReference(const std::vector<uint8_t>& ours, const std::vector<uint8_t>& reference) {
    ASSERT_LE(ours.size(), reference.size());
    ASSERT_GT(ours.size(), reference.size() * 9 / 10);
    EXPECT_TRUE(std::equal(ours.begin(), ours.end(), reference.begin()));
}

TEST_P(CompressedWaveTest, DecodesAsSoxDoesThroughRunsAndWholeConversion) {
    ImageConverter c(coded_);
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.conv()->type, SOUNDCONV_TYPE_ACM);
    WAVEFORMATEX format;
    GetSoundConverterFormat(c.conv(), &format);
    EXPECT_EQ(format.formatTag, 1);
    EXPECT_EQ(format.bitsPerSample, 16);
    EXPECT_EQ(format.channels, channels_);
    EXPECT_EQ(format.samplesPerSec, 22050u);
    EXPECT_EQ(format.blockAlign, 2 * channels_);

    std::vector<uint8_t> runs = c.RunAll();
    ExpectPrefixOfReference(runs, reference_);
    EXPECT_EQ(int64_t(runs.size()), GetSoundConverterTotalSize(c.conv())) << "the stream size query is exact";
    uint8_t byte;
    EXPECT_EQ(RunSoundConverter(c.conv(), &byte, 1), 0) << "past the end";
    EXPECT_EQ(c.Whole(), runs);
}

TEST_P(CompressedWaveTest, SeeksBackAndForwardLandOnTheSameBytes) {
    ImageConverter c(coded_);
    ASSERT_TRUE(c.ok());
    std::vector<uint8_t> all = c.RunAll(4096);
    const int align = 2 * channels_;
    for (int frame : {0, 3, 1000, 12345, 20000}) {
        SeekSoundConverter(c.conv(), frame);
        std::vector<uint8_t> part(512);
        int n = RunSoundConverter(c.conv(), part.data(), int(part.size()));
        size_t at = size_t(frame) * align;
        ASSERT_EQ(size_t(n), std::min(part.size(), all.size() - at)) << frame;
        EXPECT_TRUE(std::equal(part.begin(), part.begin() + n, all.begin() + long(at))) << frame;
    }
    SeekSoundConverter(c.conv(), 1 << 30);
    uint8_t byte;
    EXPECT_EQ(RunSoundConverter(c.conv(), &byte, 1), 0) << "a seek past the end leaves nothing";
    SeekSoundConverter(c.conv(), 0);
    EXPECT_EQ(c.RunAll(777), all) << "a seek to 0 restarts bit-identically";
}

TEST_P(CompressedWaveTest, TruncatedFilesGiveWhatIsThereAndNoMore) {
    for (size_t keep : {coded_.size() - 1, coded_.size() / 2, size_t(70), size_t(44)}) {
        std::vector<uint8_t> cut(coded_.begin(), coded_.begin() + long(keep));
        ImageConverter c(cut);
        if (!c.ok()) continue;
        std::vector<uint8_t> out = c.RunAll();
        EXPECT_LE(int64_t(out.size()), GetSoundConverterTotalSize(c.conv()));
        EXPECT_TRUE(std::equal(out.begin(), out.end(), reference_.begin())) << keep;
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, CompressedWaveTest,
                         ::testing::Combine(::testing::ValuesIn(kEncodings), ::testing::Values(1, 2)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == 1 ? "Mono" : "Stereo");
                         });

}  // namespace
