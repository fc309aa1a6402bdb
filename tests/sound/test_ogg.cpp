// Ogg Vorbis through the converter: the output format, totals that match
// the samples encoded, exact seeks, and damaged streams. Files are encoded
// by oggenc from our own tone at test time, with a fixed serial number.
#include "codec_fixtures.h"

using namespace soundtest;

namespace {

class OggTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        if (!HasTool("oggenc")) GTEST_SKIP() << "oggenc is not installed";
    }
    std::vector<uint8_t> Encode(int frames, int channels, int rate) {
        WriteBytes("tone.wav", MakeWave(MakeTonePcm16(frames, channels, rate), rate, channels, 16));
        EXPECT_TRUE(RunTool("oggenc -Q -s 1234 -q 2 -o tone.ogg tone.wav"));
        return ReadBytes("tone.ogg");
    }
    ScopedTempDir dir_;
};

TEST_F(OggTest, MonoFormatAndTotals) {
    ImageConverter c(Encode(100000, 1, 22050));
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.conv()->type, SOUNDCONV_TYPE_OGG);
    EXPECT_EQ(c.conv()->blockSize, 4096);
    WAVEFORMATEX f;
    GetSoundConverterFormat(c.conv(), &f);
    EXPECT_EQ(f.formatTag, 1);
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.samplesPerSec, 22050u);
    EXPECT_EQ(f.blockAlign, 2);
    EXPECT_EQ(f.avgBytesPerSec, 44100u);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(GetSoundConverterTotalSize(c.conv()), 200000);
    std::vector<uint8_t> runs = c.RunAll();
    EXPECT_EQ(runs.size(), 200000u);
    EXPECT_EQ(c.Whole(), runs);
}

TEST_F(OggTest, StereoTotalsAndExactSeeks) {
    ImageConverter c(Encode(100000, 2, 44100));
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(GetSoundConverterTotalSize(c.conv()), 400000);
    std::vector<uint8_t> all = c.RunAll(4096);
    ASSERT_EQ(all.size(), 400000u);
    for (int frame : {77777, 10, 0, 50000, 99990}) {
        SeekSoundConverter(c.conv(), frame);
        std::vector<uint8_t> part(400);
        int n = RunSoundConverter(c.conv(), part.data(), int(part.size()));
        size_t at = size_t(frame) * 4;
        ASSERT_EQ(size_t(n), std::min(part.size(), all.size() - at)) << frame;
        EXPECT_TRUE(std::equal(part.begin(), part.begin() + n, all.begin() + long(at))) << frame;
    }
    uint8_t byte;
    SeekSoundConverter(c.conv(), 100000);
    EXPECT_EQ(RunSoundConverter(c.conv(), &byte, 1), 0) << "at the end";
    SeekSoundConverter(c.conv(), 5000000);
    EXPECT_EQ(RunSoundConverter(c.conv(), &byte, 1), 0) << "past the end";
    SeekSoundConverter(c.conv(), 0);
    EXPECT_EQ(c.RunAll(1234), all) << "a seek to 0 restarts bit-identically";
}

TEST_F(OggTest, OnlyTheOggReaderWhenTheMaskSaysSo) {
    std::vector<uint8_t> ogg = Encode(5000, 1, 22050);
    SetSoundReaderMask(~(1 << 2));
    {
        ImageConverter c(ogg);
        EXPECT_TRUE(c.ok());
        ImageConverter wave(MakeWave(MakePcm16(100, 1, 0), 22050, 1, 16));
        EXPECT_FALSE(wave.ok()) << "the PCM WAV reader is not tried";
    }
    SetSoundReaderMask(1 << 2);
    EXPECT_FALSE(ImageConverter(ogg).ok());
    SetSoundReaderMask(0);
}

TEST_F(OggTest, DamagedStreamsAreRefusedOrEndEarly) {
    std::vector<uint8_t> ogg = Encode(30000, 2, 44100);
    ImageConverter whole(ogg);
    const std::vector<uint8_t> pcm = whole.RunAll();
    for (size_t keep : {ogg.size() - 1, ogg.size() * 2 / 3, ogg.size() / 3, size_t(200), size_t(28)}) {
        std::vector<uint8_t> cut(ogg.begin(), ogg.begin() + long(keep));
        ImageConverter c(cut);
        if (!c.ok()) continue;
        std::vector<uint8_t> out = c.RunAll();
        EXPECT_LE(out.size(), pcm.size()) << keep;
    }
    // Bytes flipped in the middle: decoding may skip or stop, never overrun.
    std::vector<uint8_t> flipped = ogg;
    for (size_t i = ogg.size() / 2; i < ogg.size() / 2 + 64; ++i) flipped[i] ^= 0x5A;
    ImageConverter c(flipped);
    if (c.ok()) {
        EXPECT_LE(c.RunAll().size(), pcm.size() + 8192);
    }
}

}  // namespace
