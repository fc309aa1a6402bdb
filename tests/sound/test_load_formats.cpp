// Sound files of every kind the converter reads, loaded by name and played
// on the null output: what is heard is what the converter decodes, whether
// the sound is converted at load time or streamed while it plays.
#include "codec_fixtures.h"

using namespace soundtest;

namespace {

class LoadFormatsTest : public SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        if (!HasTool("sox") || !HasTool("lame") || !HasTool("oggenc")) GTEST_SKIP() << "encoders missing";
        WriteBytes("tone.wav", MakeWave(MakeTonePcm16(kRate / 2, 2, kRate), kRate, 2, 16));
        ASSERT_TRUE(RunTool("sox tone.wav -e ima-adpcm tone-ima.wav"));
        ASSERT_TRUE(RunTool("lame --quiet -b 160 tone.wav tone.mp3"));
        ASSERT_TRUE(RunTool("oggenc -Q -s 7 -q 3 -o tone.ogg tone.wav"));
    }
    void TearDown() override {
        SetSoundCreateType(0);
        SoundTest::TearDown();
    }

    // What the converter makes of the file.
    static std::vector<uint8_t> Decode(const char* file) {
        ImageConverter c(ReadBytes(file));
        EXPECT_TRUE(c.ok()) << file;
        return c.RunAll();
    }

    // Plays the file once and returns what the output received, cut to the
    // decoded length.
    static std::vector<int16_t> PlayOnce(const char* file, size_t samples) {
        int h = LoadSoundFile(file, 3, -1);
        EXPECT_GE(h, 0) << file;
        if (h < 0) return {};
        platform::TakeNullAudioCapture();
        EXPECT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), 0);
        Pump(1000);
        EXPECT_EQ(IsSoundPlaying(h), 0) << file;
        auto got = platform::TakeNullAudioCapture();
        DeleteSoundHandle(h, 0);
        got.resize(samples);
        return got;
    }
    ScopedTempDir dir_;
};

TEST_F(LoadFormatsTest, EveryFormatPlaysWhatItDecodesTo) {
    for (int createType : {0, 2, 3}) {
        SetSoundCreateType(createType);
        for (const char* file : {"tone.wav", "tone-ima.wav", "tone.mp3", "tone.ogg"}) {
            SCOPED_TRACE(std::string(file) + " create type " + std::to_string(createType));
            std::vector<int16_t> want = AsSamples(Decode(file));
            ASSERT_GT(want.size(), size_t(kRate / 2));
            EXPECT_EQ(PlayOnce(file, want.size()), want);
        }
    }
}

}  // namespace
