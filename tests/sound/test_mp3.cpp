// MP3 through the converter: frame headers, the frame walk between ID3
// tags and junk, totals against the encoder's own frame count, and the
// decoded sound through runs and seeks. Files are encoded by lame from our
// own tone at test time.
#include "codec_fixtures.h"

using namespace soundtest;

namespace {

MP3FRAMEINFO Parse(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3, int* result) {
    const uint8_t header[4] = {b0, b1, b2, b3};
    MP3FRAMEINFO info{};
    *result = ParseMp3FrameHeader(header, &info);
    return info;
}

TEST(Mp3FrameHeader, SizesAndSampleCountsByVersionAndLayer) {
    int r;
    MP3FRAMEINFO f = Parse(0xFF, 0xFB, 0x90, 0x00, &r);  // MPEG-1 Layer III, 128 kbit/s, 44100 Hz
    ASSERT_EQ(r, 0);
    EXPECT_EQ(f.frameSize, 417u);
    EXPECT_EQ(f.samplesPerFrame, 1152u);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(Parse(0xFF, 0xFB, 0x92, 0x00, &r).frameSize, 418u) << "with padding";
    EXPECT_EQ(Parse(0xFF, 0xFB, 0x90, 0xC0, &r).channels, 1) << "single channel";

    f = Parse(0xFF, 0xF3, 0x80, 0x00, &r);  // MPEG-2 Layer III, 64 kbit/s, 22050 Hz
    ASSERT_EQ(r, 0);
    EXPECT_EQ(f.versionIndex, 1);
    EXPECT_EQ(f.sampleRate, 22050u);
    EXPECT_EQ(f.frameSize, 72000u * 64 / 22050);
    EXPECT_EQ(f.samplesPerFrame, 576u);

    f = Parse(0xFF, 0xFF, 0x90, 0x00, &r);  // MPEG-1 Layer I, 288 kbit/s
    ASSERT_EQ(r, 0);
    EXPECT_EQ(f.frameSize, (12000u * 288 / 44100) * 4);
    EXPECT_EQ(f.samplesPerFrame, 384u);
    f = Parse(0xFF, 0xF5, 0x80, 0x00, &r);  // MPEG-2 Layer II, 64 kbit/s
    EXPECT_EQ(f.samplesPerFrame, 1152u);
}

TEST(Mp3FrameHeader, SyncAndReservedFieldsAreRefused) {
    int r;
    Parse(0xFF, 0xE3, 0x90, 0x00, &r);
    EXPECT_EQ(r, -2) << "the MPEG-2.5 sync does not pass";
    Parse(0xFE, 0xFB, 0x90, 0x00, &r);
    EXPECT_EQ(r, -2);
    Parse(0xFF, 0xF9, 0x90, 0x00, &r);
    EXPECT_EQ(r, -1) << "reserved layer";
    Parse(0xFF, 0xFB, 0xF0, 0x00, &r);
    EXPECT_EQ(r, -1) << "bit-rate index 15";
    Parse(0xFF, 0xFB, 0x0C, 0x00, &r);
    EXPECT_EQ(r, -1) << "sample-rate index 3";
    Parse(0xFF, 0xFB, 0x00, 0x00, &r);
    EXPECT_EQ(r, -1) << "free format has no size";
}

// The frame count lame writes into its info frame, plus the info frame.
uint32_t EncoderFrameCount(const std::vector<uint8_t>& mp3) {
    for (size_t i = 0; i + 12 < std::min<size_t>(mp3.size(), 200); ++i) {
        if (std::memcmp(&mp3[i], "Xing", 4) == 0 || std::memcmp(&mp3[i], "Info", 4) == 0) {
            EXPECT_TRUE(mp3[i + 7] & 1);
            return (uint32_t(mp3[i + 8]) << 24 | mp3[i + 9] << 16 | mp3[i + 10] << 8 | mp3[i + 11]) + 1;
        }
    }
    ADD_FAILURE() << "no info frame";
    return 0;
}

double Rms(const std::vector<uint8_t>& pcm) {
    auto s = AsSamples(pcm);
    double sum = 0;
    for (int16_t v : s) sum += double(v) * v;
    return s.empty() ? 0 : std::sqrt(sum / double(s.size()));
}

class Mp3Test : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        // The frame walk's own refusals, without the graph decoder behind it.
        SetSoundReaderMask(1 << 4);
        if (!HasTool("lame")) GTEST_SKIP() << "lame is not installed";
        source44_ = MakeTonePcm16(44100, 2, 44100);
        WriteBytes("s44.wav", MakeWave(source44_, 44100, 2, 16));
        WriteBytes("s22.wav", MakeWave(MakeTonePcm16(22050, 1, 22050), 22050, 1, 16));
        ASSERT_TRUE(RunTool("lame --quiet --cbr -b 128 s44.wav cbr.mp3"));
        cbr_ = ReadBytes("cbr.mp3");
    }
    void TearDown() override { SetSoundReaderMask(0); }
    ScopedTempDir dir_;
    std::vector<uint8_t> source44_;
    std::vector<uint8_t> cbr_;
};

TEST_F(Mp3Test, TotalsAreFramesTimesSamplesPerFrame) {
    ASSERT_TRUE(RunTool("lame --quiet -V 4 s44.wav vbr.mp3"));
    ASSERT_TRUE(RunTool("lame --quiet -b 64 s22.wav mpeg2.mp3"));
    struct Case {
        const char* file;
        uint32_t samplesPerFrame;
        int channels;
        uint32_t rate;
    } cases[] = {{"cbr.mp3", 1152, 2, 44100}, {"vbr.mp3", 1152, 2, 44100}, {"mpeg2.mp3", 576, 1, 22050}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.file);
        std::vector<uint8_t> mp3 = ReadBytes(k.file);
        ImageConverter c(mp3);
        ASSERT_TRUE(c.ok());
        EXPECT_EQ(c.conv()->type, SOUNDCONV_TYPE_ACM);
        WAVEFORMATEX f;
        GetSoundConverterFormat(c.conv(), &f);
        EXPECT_EQ(f.channels, k.channels);
        EXPECT_EQ(f.samplesPerSec, k.rate);
        EXPECT_EQ(f.bitsPerSample, 16);
        const int64_t total = int64_t(EncoderFrameCount(mp3)) * k.samplesPerFrame * f.blockAlign;
        EXPECT_EQ(GetSoundConverterTotalSize(c.conv()), total);
        std::vector<uint8_t> runs = c.RunAll();
        EXPECT_EQ(int64_t(runs.size()), total) << "every frame yields all of its samples";
        EXPECT_EQ(c.Whole(), runs);
    }
}

TEST_F(Mp3Test, DecodedSoundIsTheTone) {
    ImageConverter c(cbr_);
    ASSERT_TRUE(c.ok());
    std::vector<uint8_t> out = c.RunAll();
    double in = Rms(source44_), got = Rms(out);
    EXPECT_NEAR(got / in, 1.0, 0.1);
    // The info frame and the encoder's delay come first as silence, then the tone.
    std::vector<uint8_t> head(out.begin(), out.begin() + 1152 * 4);
    EXPECT_LT(Rms(head), 50.0);
}

TEST_F(Mp3Test, SeeksLandOnTheSameBytesAndRestartIdentically) {
    ImageConverter c(cbr_);
    ASSERT_TRUE(c.ok());
    std::vector<uint8_t> all = c.RunAll(4096);
    for (int frame : {30000, 5, 1152 * 7 + 3, 0, 44000}) {
        SeekSoundConverter(c.conv(), frame);
        std::vector<uint8_t> part(1000);
        int n = RunSoundConverter(c.conv(), part.data(), int(part.size()));
        ASSERT_EQ(n, 1000) << frame;
        EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin() + long(frame) * 4)) << frame;
    }
    SeekSoundConverter(c.conv(), 1 << 28);
    uint8_t byte;
    EXPECT_EQ(RunSoundConverter(c.conv(), &byte, 1), 0);
    SeekSoundConverter(c.conv(), 0);
    EXPECT_EQ(c.RunAll(333), all);
}

std::vector<uint8_t> Id3v2(int major, uint8_t flags, uint32_t bodyBytes) {
    std::vector<uint8_t> tag = {'I', 'D', '3', uint8_t(major), 0, flags,
                                uint8_t((bodyBytes >> 21) & 0x7F), uint8_t((bodyBytes >> 14) & 0x7F),
                                uint8_t((bodyBytes >> 7) & 0x7F), uint8_t(bodyBytes & 0x7F)};
    // A body that would refuse the stream if the walk ran through it.
    tag.insert(tag.end(), bodyBytes, 0xFF);
    return tag;
}

TEST_F(Mp3Test, Id3TagsAreSkippedAndExcluded) {
    ImageConverter plain(cbr_);
    ASSERT_TRUE(plain.ok());
    const int64_t total = GetSoundConverterTotalSize(plain.conv());
    const std::vector<uint8_t> pcm = plain.RunAll();

    struct Case {
        const char* name;
        std::vector<uint8_t> head;
        int32_t dataStart;
    } cases[] = {
        {"v2.3, footer flag ignored", Id3v2(3, 0x10, 300), 310},
        {"v2.4 with a footer", Id3v2(4, 0x10, 300), 320},
        {"v2.4 without", Id3v2(4, 0, 300), 310},
    };
    for (Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<uint8_t> file = k.head;
        if (k.dataStart == 320) file.insert(file.end(), {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 2, 0x2C});
        file.insert(file.end(), cbr_.begin(), cbr_.end());
        ImageConverter c(file);
        ASSERT_TRUE(c.ok());
        EXPECT_EQ(c.conv()->dataStart, k.dataStart);
        EXPECT_EQ(GetSoundConverterTotalSize(c.conv()), total);
        EXPECT_EQ(c.RunAll(), pcm);
    }

    std::vector<uint8_t> tailed = cbr_;
    std::vector<uint8_t> tail(128, 0xFF);  // frame-like bytes that must not be read as audio
    std::memcpy(tail.data(), "TAG", 3);
    tailed.insert(tailed.end(), tail.begin(), tail.end());
    ImageConverter c(tailed);
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.conv()->dataLength, plain.conv()->dataLength);
    EXPECT_EQ(plain.conv()->dataStart + plain.conv()->dataLength, int32_t(cbr_.size()))
        << "without a tail the last frame runs to the end";
    EXPECT_EQ(c.RunAll(), pcm);
}

TEST_F(Mp3Test, JunkBetweenFramesIsScannedOver) {
    // Junk after the fifth frame: frames are 417 or 418 bytes, so find it.
    size_t at = 0;
    for (int i = 0; i < 5; ++i) {
        MP3FRAMEINFO f;
        ASSERT_EQ(ParseMp3FrameHeader(&cbr_[at], &f), 0);
        at += f.frameSize;
    }
    std::vector<uint8_t> file(cbr_.begin(), cbr_.begin() + long(at));
    for (int i = 0; i < 37; ++i) file.push_back(uint8_t(i * 5 + 1));  // never 0xFF
    file.insert(file.end(), cbr_.begin() + long(at), cbr_.end());
    ImageConverter plain(cbr_), junk(file);
    ASSERT_TRUE(junk.ok());
    EXPECT_EQ(GetSoundConverterTotalSize(junk.conv()), GetSoundConverterTotalSize(plain.conv()));
    EXPECT_EQ(junk.RunAll(), plain.RunAll());
}

TEST_F(Mp3Test, FalseSyncsAndFramesInTheTailAreRefused) {
    std::vector<uint8_t> falseSync = cbr_;
    const uint8_t reserved[5] = {0x00, 0xFF, 0xFF, 0xF0, 0x00};
    falseSync.insert(falseSync.begin(), reserved, reserved + 5);
    EXPECT_FALSE(ImageConverter(falseSync).ok()) << "a reserved header refuses the whole stream";

    // Nothing but a frame header inside the ID3v1 block.
    std::vector<uint8_t> onlyTail(60, 0x11);
    std::vector<uint8_t> tail(128, 0x20);
    std::memcpy(tail.data(), "TAG", 3);
    const uint8_t header[4] = {0xFF, 0xFB, 0x90, 0x00};
    std::memcpy(tail.data() + 40, header, 4);
    onlyTail.insert(onlyTail.end(), tail.begin(), tail.end());
    EXPECT_FALSE(ImageConverter(onlyTail).ok());

    std::vector<uint8_t> tiny(header, header + 4);
    EXPECT_FALSE(ImageConverter(tiny).ok()) << "a stream of 128 bytes or less holds no audio";
}

TEST_F(Mp3Test, TruncatedFilesDecodeWhatIsThere) {
    ImageConverter plain(cbr_);
    const std::vector<uint8_t> pcm = plain.RunAll();
    for (size_t keep : {cbr_.size() - 1, cbr_.size() / 2, size_t(1000), size_t(500)}) {
        std::vector<uint8_t> cut(cbr_.begin(), cbr_.begin() + long(keep));
        ImageConverter c(cut);
        ASSERT_TRUE(c.ok()) << keep;
        std::vector<uint8_t> out = c.RunAll();
        EXPECT_LE(int64_t(out.size()), GetSoundConverterTotalSize(c.conv()));
        EXPECT_TRUE(std::equal(out.begin(), out.end(), pcm.begin())) << keep;
    }
}

}  // namespace
