// The compression layer on its own (suggestions, header rules, block
// aligned conversion that never overruns) and the converter's answer when
// the layer is missing a function or a WAV's format chunk lies.
#include "codec_fixtures.h"
#include "platform/acm.h"

using namespace morpotta;

using namespace soundtest;
using platform::AcmWaveFormat;

namespace {

const platform::AcmFunctions& Acm() { return platform::Acm(); }

// A format head followed by its extra bytes.
struct FormatBlob {
    std::vector<uint8_t> bytes;
    const AcmWaveFormat* get() const { return reinterpret_cast<const AcmWaveFormat*>(bytes.data()); }
    uint32_t size() const { return uint32_t(bytes.size()); }
};

FormatBlob MakeFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t align, uint16_t bits,
                      std::vector<uint8_t> extra = {}) {
    FormatBlob f;
    AcmWaveFormat head{tag, channels, rate, rate * align, align, bits, uint16_t(extra.size())};
    f.bytes.resize(18 + extra.size());
    std::memcpy(f.bytes.data(), &head, 18);
    if (!extra.empty()) std::memcpy(f.bytes.data() + 18, extra.data(), extra.size());
    return f;
}

FormatBlob ImaMono256() { return MakeFormat(0x11, 1, 22050, 256, 4, {0xF9, 0x01}); }  // 505 samples a block

FormatBlob MsAdpcmMono256() {
    const int16_t pairs[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
    std::vector<uint8_t> extra;
    Put16(extra, 500);  // samples per block
    Put16(extra, 7);
    for (auto& p : pairs) {
        Put16(extra, uint16_t(p[0]));
        Put16(extra, uint16_t(p[1]));
    }
    return MakeFormat(2, 1, 22050, 256, 4, extra);
}

TEST(AcmLayer, SuggestionsAre16BitPcmOfTheSameRateAndChannels) {
    for (const FormatBlob& f : {ImaMono256(), MsAdpcmMono256(), MakeFormat(6, 2, 8000, 2, 8),
                                MakeFormat(7, 1, 8000, 1, 8), MakeFormat(1, 2, 11025, 2, 8)}) {
        AcmWaveFormat pcm{};
        pcm.formatTag = 1;
        ASSERT_EQ(Acm().formatSuggest(f.get(), f.size(), &pcm, sizeof pcm, platform::kAcmSuggestByTag), 0)
            << f.get()->formatTag;
        EXPECT_EQ(pcm.formatTag, 1);
        EXPECT_EQ(pcm.bitsPerSample, 16);
        EXPECT_EQ(pcm.channels, f.get()->channels);
        EXPECT_EQ(pcm.samplesPerSec, f.get()->samplesPerSec);
        EXPECT_EQ(pcm.blockAlign, 2 * f.get()->channels);
        EXPECT_EQ(pcm.avgBytesPerSec, pcm.blockAlign * pcm.samplesPerSec);
    }
}

TEST(AcmLayer, FormatsNoCodecTakesAreRefused) {
    AcmWaveFormat pcm{};
    pcm.formatTag = 1;
    auto refused = [&](const FormatBlob& f, uint32_t size) {
        return Acm().formatSuggest(f.get(), size, &pcm, sizeof pcm, platform::kAcmSuggestByTag) != 0;
    };
    EXPECT_TRUE(refused(MakeFormat(0x9999, 1, 8000, 1, 8), 18)) << "unknown tag";
    EXPECT_TRUE(refused(MakeFormat(0x11, 0, 8000, 256, 4), 18)) << "no channels";
    EXPECT_TRUE(refused(MakeFormat(0x11, 1, 8000, 4, 4), 18)) << "a block of header only";
    EXPECT_TRUE(refused(MakeFormat(0x11, 2, 8000, 260, 4), 18)) << "a block of partial groups";
    EXPECT_TRUE(refused(MakeFormat(2, 1, 8000, 256, 4, {0xF4, 0x01, 0x00, 0x00}), 22)) << "no coefficients";
    EXPECT_TRUE(refused(MakeFormat(2, 1, 8000, 256, 4, {0xF4, 0x01, 0x07, 0x00}), 22)) << "pairs not held";
    EXPECT_TRUE(refused(MsAdpcmMono256(), 30)) << "extra bytes beyond the given size";
    EXPECT_TRUE(refused(MakeFormat(6, 1, 8000, 2, 8), 18)) << "A-law block align is the channel count";
    EXPECT_TRUE(refused(MakeFormat(1, 1, 8000, 3, 24), 18)) << "24-bit PCM";
}

class AcmStreamTest : public ::testing::Test {
protected:
    void Open(const FormatBlob& f) {
        AcmWaveFormat pcm{};
        pcm.formatTag = 1;
        ASSERT_EQ(Acm().formatSuggest(f.get(), f.size(), &pcm, sizeof pcm, platform::kAcmSuggestByTag), 0);
        ASSERT_EQ(Acm().streamOpen(&stream_, f.get(), f.size(), &pcm, platform::kAcmOpenNonRealtime), 0);
    }
    void TearDown() override {
        if (stream_) {
            EXPECT_EQ(Acm().streamClose(stream_, 0), 0);
        }
    }
    // Converts with guard bytes after the destination.
    platform::AcmStreamHeader Convert(const std::vector<uint8_t>& source, uint32_t destLength,
                                      std::vector<uint8_t>* dest) {
        dest->assign(destLength + 64, 0xEE);
        platform::AcmStreamHeader h{};
        h.size = sizeof h;
        h.source = source.data();
        h.sourceLength = uint32_t(source.size());
        h.dest = dest->data();
        h.destLength = destLength;
        EXPECT_EQ(Acm().streamPrepareHeader(stream_, &h, 0), 0);
        EXPECT_EQ(Acm().streamConvert(stream_, &h, platform::kAcmConvertBlockAlign), 0);
        EXPECT_EQ(Acm().streamUnprepareHeader(stream_, &h, 0), 0);
        for (size_t i = destLength; i < dest->size(); ++i) EXPECT_EQ((*dest)[i], 0xEE) << "overrun at " << i;
        return h;
    }
    platform::AcmStream stream_ = nullptr;
};

TEST_F(AcmStreamTest, BlockAlignedConversionTakesOnlyBlocksWhoseOutputFits) {
    Open(ImaMono256());
    std::vector<uint8_t> source(256 * 3, 0x00), dest;
    auto h = Convert(source, 1010 * 2 - 1, &dest);
    EXPECT_EQ(h.sourceLengthUsed, 256u);
    EXPECT_EQ(h.destLengthUsed, 1010u);
    h = Convert(std::vector<uint8_t>(source.begin(), source.begin() + 255), 4096, &dest);
    EXPECT_EQ(h.sourceLengthUsed, 0u) << "a partial block waits";
    EXPECT_EQ(h.destLengthUsed, 0u);
    h = Convert(source, 1 << 16, &dest);
    EXPECT_EQ(h.destLengthUsed, 3u * 1010);
    uint32_t size = 0;
    ASSERT_EQ(Acm().streamSize(stream_, 256 * 3 + 100, &size, platform::kAcmSizeFromSource), 0);
    EXPECT_EQ(size, 3u * 1010) << "whole blocks only";
}

TEST_F(AcmStreamTest, HeadersMustBePreparedOnceAndBeWhole) {
    Open(MakeFormat(7, 1, 8000, 1, 8));
    std::vector<uint8_t> source(10, 0xFF), dest(20);
    platform::AcmStreamHeader h{};
    h.size = sizeof h;
    h.source = source.data();
    h.sourceLength = 10;
    h.dest = dest.data();
    h.destLength = 20;
    EXPECT_NE(Acm().streamConvert(stream_, &h, 0), 0) << "not prepared";
    ASSERT_EQ(Acm().streamPrepareHeader(stream_, &h, 0), 0);
    EXPECT_NE(Acm().streamPrepareHeader(stream_, &h, 0), 0) << "prepared twice";
    EXPECT_EQ(Acm().streamConvert(stream_, &h, 0), 0);
    EXPECT_EQ(h.destLengthUsed, 20u);
    EXPECT_EQ(AsSamples(dest), std::vector<int16_t>(10, 0)) << "mu-law 0xFF is silence";
    EXPECT_EQ(Acm().streamUnprepareHeader(stream_, &h, 0), 0);
    platform::AcmStreamHeader small = h;
    small.status = 0;
    small.size = 8;
    EXPECT_NE(Acm().streamPrepareHeader(stream_, &small, 0), 0) << "wrong size";
    EXPECT_NE(Acm().streamConvert(nullptr, &h, 0), 0);
}

TEST_F(AcmStreamTest, HostileMsAdpcmBlocksStayInBounds) {
    Open(MsAdpcmMono256());
    std::vector<uint8_t> block(256, 0x77), dest;
    block[0] = 200;  // a predictor the format does not have
    auto h = Convert(block, 1000, &dest);
    ASSERT_EQ(h.destLengthUsed, 1000u);
    EXPECT_EQ(AsSamples(std::vector<uint8_t>(dest.begin(), dest.begin() + 1000)), std::vector<int16_t>(500, 0));
    block[0] = 1;
    block[1] = 0xFF;  // a huge step that grows on every nibble
    block[2] = 0x7F;
    h = Convert(block, 1000, &dest);
    EXPECT_EQ(h.destLengthUsed, 1000u);
}

// A table that lacks one function, as a host without that service would.
platform::AcmFunctions WithoutConvert() {
    platform::AcmFunctions f = platform::Acm();
    f.streamConvert = nullptr;
    return f;
}

TEST(AcmReaders, AMissingFunctionRefusesCompressedSoundsOnly) {
    ScopedTempDir dir;
    if (!HasTool("sox") || !HasTool("lame")) GTEST_SKIP() << "encoders missing";
    SetLogOutput(0);
    WriteBytes("tone.wav", MakeWave(MakeTonePcm16(8000, 1, 22050), 22050, 1, 16));
    ASSERT_TRUE(RunTool("sox tone.wav -e ms-adpcm ms.wav"));
    ASSERT_TRUE(RunTool("lame --quiet tone.wav tone.mp3"));
    static const platform::AcmFunctions partial = WithoutConvert();
    SetSoundAcmFunctions(&partial);
    SetSoundReaderMask(1 << 4);  // no graph decoder behind the compression readers
    EXPECT_TRUE(ImageConverter(ReadBytes("tone.wav")).ok());
    EXPECT_FALSE(ImageConverter(ReadBytes("ms.wav")).ok());
    EXPECT_FALSE(ImageConverter(ReadBytes("tone.mp3")).ok());
    SetSoundAcmFunctions(nullptr);
    EXPECT_TRUE(ImageConverter(ReadBytes("ms.wav")).ok());
    EXPECT_TRUE(ImageConverter(ReadBytes("tone.mp3")).ok());
    SetSoundReaderMask(0);
}

// A WAV whose "fmt " body is given as is, with data of 0x33 bytes.
std::vector<uint8_t> WaveWithFormat(const std::vector<uint8_t>& format, uint32_t dataBytes = 1000) {
    std::vector<uint8_t> w;
    PutId(w, "RIFF");
    Put32(w, 0);
    PutId(w, "WAVE");
    PutId(w, "fmt ");
    Put32(w, uint32_t(format.size()));
    w.insert(w.end(), format.begin(), format.end());
    if (format.size() & 1) w.push_back(0);
    PutId(w, "data");
    Put32(w, dataBytes);
    w.insert(w.end(), dataBytes, 0x33);
    return w;
}

TEST(AcmReaders, BlocksLargerThanOneConversionStepStillDecode) {
    SetLogOutput(0);
    FormatBlob big = MakeFormat(0x11, 1, 44100, 4096, 4, {0xF9, 0x1F});  // 8185 samples a block
    ImageConverter c(WaveWithFormat(big.bytes, 4096 * 2));
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.RunAll().size(), 2u * 8185 * 2);
}

TEST(AcmReaders, FormatChunksThatLieAreRefused) {
    SetLogOutput(0);
    FormatBlob ms = MsAdpcmMono256();
    EXPECT_TRUE(ImageConverter(WaveWithFormat(ms.bytes)).ok());
    std::vector<uint8_t> cut(ms.bytes.begin(), ms.bytes.end() - 4);  // extra size says 4 bytes more
    EXPECT_FALSE(ImageConverter(WaveWithFormat(cut)).ok());
    EXPECT_FALSE(ImageConverter(WaveWithFormat(std::vector<uint8_t>(ms.bytes.begin(), ms.bytes.begin() + 14))).ok())
        << "shorter than 16 bytes";
    FormatBlob noChannels = MakeFormat(0x11, 0, 22050, 256, 4, {0xF9, 0x01});
    EXPECT_FALSE(ImageConverter(WaveWithFormat(noChannels.bytes)).ok());
    FormatBlob law = MakeFormat(6, 1, 8000, 1, 8);
    ImageConverter alaw(WaveWithFormat(std::vector<uint8_t>(law.bytes.begin(), law.bytes.begin() + 16)));
    ASSERT_TRUE(alaw.ok()) << "a 16-byte chunk has no extra bytes";
    EXPECT_EQ(alaw.RunAll().size(), 2000u);
}

}  // namespace
