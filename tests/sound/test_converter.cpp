// The converter with its PCM WAV reader: which files are accepted, what
// they yield, and how runs and seeks behave at the edges of the data.
#include "sound_test_util.h"

using namespace soundtest;

namespace {

class ConverterTest : public ::testing::Test {
protected:
    int Open(const std::vector<uint8_t>& image) {
        image_ = image;
        mem_ = OpenMemStream(image_.data(), image_.size());
        stream_ = MakeMemStreamData(mem_);
        return SetupSoundConverter(&stream_, &conv_);
    }
    void TearDown() override {
        if (conv_.initialized) TerminateSoundConverter(&conv_);
        if (mem_) CloseMemStream(mem_);
        SetSoundReaderMask(0);
    }
    std::vector<uint8_t> image_;
    MemStream* mem_ = nullptr;
    StreamData stream_{};
    SOUNDCONV conv_{};
};

TEST_F(ConverterTest, ChunkLayoutsThatAreAcceptedOrRefused) {
    auto pcm = MakePcm16(100, 2, 1);
    WaveOptions bext;
    bext.bextFirst = true;
    EXPECT_EQ(Open(MakeWave(pcm, 44100, 2, 16, bext)), 0);
    TearDown();
    WaveOptions list;
    list.listFirst = true;
    EXPECT_EQ(Open(MakeWave(pcm, 44100, 2, 16, list)), -1);
    TearDown();
    mem_ = nullptr;
    std::vector<uint8_t> notWave(64, 'x');
    EXPECT_EQ(Open(notWave), -1);
    CloseMemStream(mem_);
    mem_ = nullptr;
    auto cut = MakeWave(pcm, 44100, 2, 16);
    cut.resize(30);  // ends inside "fmt "
    EXPECT_EQ(Open(cut), -1);
}

TEST_F(ConverterTest, SixteenByteFormatTakesItsBitsFromTheBlockAlign) {
    WaveOptions o;
    o.bitsField = 12;
    ASSERT_EQ(Open(MakeWave(MakePcm16(10, 2, 2), 44100, 2, 16, o)), 0);
    WAVEFORMATEX f;
    GetSoundConverterFormat(&conv_, &f);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(f.extraSize, 0);
    EXPECT_EQ(f.blockAlign, 4);
}

TEST_F(ConverterTest, ChunksBeforeTheDataAreSkippedWithTheirPadByte) {
    auto pcm = MakePcm16(50, 1, 3);
    WaveOptions o;
    o.oddChunkBeforeData = 3;
    o.formatChunkBytes = 18;
    ASSERT_EQ(Open(MakeWave(pcm, 22050, 1, 16, o)), 0);
    EXPECT_EQ(GetSoundConverterTotalSize(&conv_), int64_t(pcm.size()));
    std::vector<uint8_t> out(pcm.size());
    EXPECT_EQ(RunSoundConverter(&conv_, out.data(), int(out.size())), int(pcm.size()));
    EXPECT_EQ(out, pcm);
}

TEST_F(ConverterTest, RunsEndWithTheDataAndSeeksRestart) {
    auto pcm = MakePcm16(1000, 2, 4);
    ASSERT_EQ(Open(MakeWave(pcm, 8000, 2, 16)), 0);
    std::vector<uint8_t> out(pcm.size() + 100);
    EXPECT_EQ(RunSoundConverter(&conv_, out.data(), int(out.size())), int(pcm.size()));
    EXPECT_EQ(conv_.endOfData, 1);
    EXPECT_EQ(RunSoundConverter(&conv_, out.data(), 10), 0);
    // Less than 16 bytes away: nothing moves, the end stays.
    EXPECT_EQ(SeekSoundConverter(&conv_, 999), 0);
    EXPECT_EQ(conv_.endOfData, 1);
    EXPECT_EQ(SeekSoundConverter(&conv_, 0), 0);
    EXPECT_EQ(RunSoundConverter(&conv_, out.data(), 8), 8);
    EXPECT_EQ(std::memcmp(out.data(), pcm.data(), 8), 0);
    EXPECT_EQ(SeekSoundConverter(&conv_, 500), 0);
    EXPECT_EQ(RunSoundConverter(&conv_, out.data(), 4), 4);
    EXPECT_EQ(std::memcmp(out.data(), pcm.data() + 2000, 4), 0);
    // Past the end: empty, never reading outside the data.
    EXPECT_EQ(SeekSoundConverter(&conv_, 5000), 0);
    EXPECT_EQ(RunSoundConverter(&conv_, out.data(), 4), 0);
    EXPECT_EQ(TerminateSoundConverter(&conv_), 0);
    EXPECT_EQ(TerminateSoundConverter(&conv_), -1);
    EXPECT_EQ(RunSoundConverter(&conv_, out.data(), 4), -1);
}

TEST_F(ConverterTest, WholeConversionOfATruncatedFileGivesOnlyWhatIsThere) {
    auto pcm = MakePcm16(100, 2, 5);
    WaveOptions o;
    o.statedDataBytes = 100000;  // the header promises more than the file holds
    ASSERT_EQ(Open(MakeWave(pcm, 44100, 2, 16, o)), 0);
    WAVEFORMATEX f;
    void* data = nullptr;
    int size = 0;
    ASSERT_EQ(ConvertWholeSound(&conv_, &f, &data, &size), 0);
    EXPECT_EQ(size, int(pcm.size()));
    EXPECT_EQ(std::memcmp(data, pcm.data(), pcm.size()), 0);
    FreeMemory(data);
}

TEST_F(ConverterTest, FormatsThatCannotBeCountedInFramesAreRefused) {
    auto wave = MakeWave(MakePcm16(10, 2, 6), 44100, 2, 16);
    auto zeroAlign = wave;
    zeroAlign[32] = zeroAlign[33] = 0;  // block align
    EXPECT_EQ(Open(zeroAlign), -1);
    CloseMemStream(mem_);
    mem_ = nullptr;
    auto hugeFormat = wave;
    hugeFormat[16] = 0xFF;
    hugeFormat[17] = 0xFF;
    hugeFormat[18] = 0xFF;
    hugeFormat[19] = 0x7F;  // "fmt " longer than the file
    EXPECT_EQ(Open(hugeFormat), -1);
    CloseMemStream(mem_);
    mem_ = nullptr;
    auto compressed = wave;
    compressed[20] = 2;  // not PCM: for the other readers
    EXPECT_EQ(Open(compressed), -1);
}

TEST_F(ConverterTest, MaskedReaderIsNotTried) {
    SetSoundReaderMask(3);
    EXPECT_EQ(Open(MakeWave(MakePcm16(10, 2, 7), 44100, 2, 16)), -1);
}

TEST_F(ConverterTest, PcmWithItsOwnReaderMaskedGoesThroughTheCompressionPath) {
    SetSoundReaderMask(1);
    auto pcm = MakePcm16(3000, 2, 7);
    ASSERT_EQ(Open(MakeWave(pcm, 44100, 2, 16)), 0);
    EXPECT_EQ(conv_.type, SOUNDCONV_TYPE_ACM);
    std::vector<uint8_t> out(pcm.size() + 10);
    EXPECT_EQ(RunSoundConverter(&conv_, out.data(), int(out.size())), int(pcm.size()));
    out.resize(pcm.size());
    EXPECT_EQ(out, pcm);
}

TEST_F(ConverterTest, WaveImageHeaderIsFortySixBytesForAnEighteenByteFormat) {
    WAVEFORMATEX f{1, 2, 44100, 176400, 4, 16, 0};
    auto pcm = MakePcm16(10, 2, 8);
    void* image;
    int size;
    ASSERT_EQ(BuildWaveImage(&image, &size, &f, 18, pcm.data(), int(pcm.size())), 0);
    EXPECT_EQ(size, 46 + int(pcm.size()));
    std::vector<uint8_t> bytes(static_cast<uint8_t*>(image), static_cast<uint8_t*>(image) + size);
    FreeMemory(image);
    ASSERT_EQ(Open(bytes), 0);
    std::vector<uint8_t> out(pcm.size());
    EXPECT_EQ(RunSoundConverter(&conv_, out.data(), int(out.size())), int(out.size()));
    EXPECT_EQ(out, pcm);
}

}  // namespace
