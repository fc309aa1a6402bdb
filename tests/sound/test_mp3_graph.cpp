// MP3 streams that the converter's other readers refuse (MPEG-2.5, free
// format, a false sync in front) decode through the media graph, whole,
// into in-memory PCM: loaded by name they hold what libmpg123 decodes
// directly, sample for sample. Also the graph path's own failures: a
// stream with no MPEG audio, creation failures, and the window closing
// while the graph runs.
#include "engine/lifecycle.h"
#include "engine/text.h"
#include "engine/window.h"
#include "foundation/log_internal.h"
#include "foundation/object_creation.h"
#include "foundation/window_internal.h"
#include "graph_test_filters.h"
#include "graphics_test_util.h"
#include "mp3_graph_fixtures.h"
#include "platform/window.h"
#include "sound/sound_internal.h"
#include "sound/soundconv.h"

#include <png.h>

using namespace morpotta;

using namespace soundtest;
using graphtest::ListedThreads;
using graphtest::ThreadCount;
using graphtest::ThreadCountComesBackTo;

namespace {

constexpr int kGraphBit = 1 << 4;
constexpr int kAcmMp3Bit = 1 << 3;

std::string LogText() {
    std::string utf8;
    ConvertCp932ToUtf8(ScopedTempDir::ReadFile("Log.txt"), &utf8);
    return utf8;
}

platform::media::Result NoGraphs(const platform::media::Guid& classId, platform::media::Unknown* outer,
                                 uint32_t context, const platform::media::Guid& iid, void** out) {
    if (classId == platform::media::kClassFilterGraph) {
        *out = nullptr;
        return platform::media::kOutOfMemory;
    }
    return platform::media::CreateMediaObject(classId, outer, context, iid, out);
}

class Mp3GraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        if (!HasTool("sox") || !HasTool("lame")) GTEST_SKIP() << "encoders missing";
        ASSERT_EQ(SetWindowBackend("headless"), 0);
        ASSERT_EQ(CreateMainWindow(), 0);
        ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
        SetSoundProcessorCountForTesting(1);
        ASSERT_EQ(InitializeSoundSystem(), 0);
        SetSoundCreateType(0);
        WriteBytes("s44.wav", MakeWave(MakeTonePcm16(44100 / 2, 2, 44100), 44100, 2, 16));
        WriteBytes("s8.wav", MakeWave(MakeTonePcm16(8000, 1, 8000), 8000, 1, 16));
        ASSERT_TRUE(RunTool("lame --quiet -b 8 s8.wav mpeg25.mp3"));
        ASSERT_TRUE(RunTool("lame --quiet --freeformat -b 330 s44.wav free.mp3"));
        ASSERT_TRUE(RunTool("lame --quiet --cbr -b 128 s44.wav cbr.mp3"));
        // A reserved header in front: the frame walk refuses the stream.
        std::vector<uint8_t> falseSync = {0x00, 0xFF, 0xFF, 0xF0, 0x00};
        std::vector<uint8_t> cbr = ReadBytes("cbr.mp3");
        falseSync.insert(falseSync.end(), cbr.begin(), cbr.end());
        WriteBytes("falsesync.mp3", falseSync);
    }
    void TearDown() override {
        EndLog();
        SetLogOutput(0);
        SetSoundReaderMask(0);
        TerminateSoundSystem();
        DestroyMainWindow();
        ResetWindowState();
        SetSoundProcessorCountForTesting(0);
        SetSoundDeviceBackend("sdl2");
        SetWindowBackend("sdl2");
        CoCreateInstanceEntry = platform::media::CreateMediaObject;
    }

    // The PCM a loaded sound holds.
    static std::vector<uint8_t> LoadedPcm(int handle, WAVEFORMATEX* format) {
        SoundLockGuard lock(Sound().lock);
        SoundEntry* e = LookupSound(handle);
        if (!e || !e->pcm) return {};
        *format = e->format;
        auto* p = static_cast<const uint8_t*>(e->pcm);
        return std::vector<uint8_t>(p, p + e->pcmSize);
    }

    ScopedTempDir dir_;
};

TEST_F(Mp3GraphTest, RefusedStreamsLoadAsLibmpg123DecodesThem) {
    for (const char* file : {"mpeg25.mp3", "free.mp3", "falsesync.mp3"}) {
        SCOPED_TRACE(file);
        long rate = 0;
        int channels = 0;
        const std::vector<uint8_t> want = DirectDecode(file, &rate, &channels);
        ASSERT_GT(want.size(), 4000u);

        SetSoundReaderMask(kGraphBit);
        EXPECT_FALSE(ImageConverter(ReadBytes(file)).ok()) << "the other readers refuse it";
        SetSoundReaderMask(0);

        ImageConverter c(ReadBytes(file));
        ASSERT_TRUE(c.ok());
        EXPECT_EQ(c.conv()->type, SOUNDCONV_TYPE_MEMPCM);
        EXPECT_EQ(c.conv()->outputFormat.samplesPerSec, uint32_t(rate));
        EXPECT_EQ(c.conv()->outputFormat.channels, channels);
        EXPECT_EQ(c.conv()->outputFormat.bitsPerSample, 16);
        EXPECT_EQ(c.conv()->blockSize, int(c.conv()->outputFormat.avgBytesPerSec));
        EXPECT_EQ(GetSoundConverterTotalSize(c.conv()), int64_t(want.size()));
        EXPECT_TRUE(c.RunAll() == want);
        SeekSoundConverter(c.conv(), 1000);
        std::vector<uint8_t> part(400);
        ASSERT_EQ(RunSoundConverter(c.conv(), part.data(), int(part.size())), int(part.size()));
        EXPECT_TRUE(std::equal(part.begin(), part.end(), want.begin() + 1000 * 2 * channels));

        int h = LoadSoundFile(file, 1, -1);
        ASSERT_GE(h, 0);
        WAVEFORMATEX format{};
        EXPECT_TRUE(LoadedPcm(h, &format) == want);
        EXPECT_EQ(format.samplesPerSec, uint32_t(rate));
        DeleteSoundHandle(h, 0);

        // A stream sound over the encoded bytes decodes the same way.
        SetSoundCreateType(2);
        h = LoadSoundFile(file, 1, -1);
        SetSoundCreateType(0);
        ASSERT_GE(h, 0);
        EXPECT_EQ(GetSoundTotalSamples(h), int(want.size() / (2 * size_t(channels))));
        DeleteSoundHandle(h, 0);
    }
    // Eight kbit/s at 8 kHz decodes to sixteen times its size: the PCM
    // block outgrows its first ten times and keeps every byte.
    EXPECT_GT(DirectDecode("mpeg25.mp3").size(), ReadBytes("mpeg25.mp3").size() * 10);
}

TEST_F(Mp3GraphTest, AnMpeg1StreamDecodesAsTheCompressionPathDoes) {
    ImageConverter acm(ReadBytes("cbr.mp3"));
    ASSERT_TRUE(acm.ok());
    ASSERT_EQ(acm.conv()->type, SOUNDCONV_TYPE_ACM);
    SetSoundReaderMask(kAcmMp3Bit);
    ImageConverter graph(ReadBytes("cbr.mp3"));
    ASSERT_TRUE(graph.ok());
    ASSERT_EQ(graph.conv()->type, SOUNDCONV_TYPE_MEMPCM);
    EXPECT_TRUE(graph.RunAll() == acm.RunAll());
}

// The window closes while the graph decodes: the load fails, every thread
// of the graph is joined before anything it reads is freed.
TEST_F(Mp3GraphTest, ClosingTheWindowMidDecodeFailsTheLoadCleanly) {
    SetLogOutput(1);
    StartLog();
    const int threadsBefore = ThreadCount();
    platform::HeadlessPushEvent({platform::EventType::Destroyed});
    EXPECT_EQ(LoadSoundFile("mpeg25.mp3", 1, -1), -1);
    EXPECT_TRUE(ThreadCountComesBackTo(threadsBefore)) << ListedThreads() << " threads, not " << threadsBefore;
    EXPECT_NE(LogText().find("MP3変換の途中でソフトが終了しました"), std::string::npos) << LogText();
}

TEST_F(Mp3GraphTest, FailuresBeforeTheRunLogWhyAndLoadNothing) {
    SetLogOutput(1);
    StartLog();
    const int threadsBefore = ThreadCount();
    std::vector<uint8_t> noise(5000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 131 + (i >> 7));
    WriteBytes("noise.mp3", noise);
    EXPECT_EQ(LoadSoundFile("noise.mp3", 1, -1), -1);
    EXPECT_NE(LogText().find("LoadSoundFile refused: the data is no sound any reader takes"), std::string::npos)
        << "noise no filter reads is declined by the graph as by every reader";

    CoCreateInstanceEntry = NoGraphs;
    EXPECT_EQ(LoadSoundFile("free.mp3", 1, -1), -1);
    EXPECT_NE(LogText().find("MP3変換用 IGraphBuilder の作成に失敗しました"), std::string::npos);
    EXPECT_TRUE(ThreadCountComesBackTo(threadsBefore)) << ListedThreads() << " threads, not " << threadsBefore;
}

// A 16-bit picture with bytes after its end that hold a false sync and one
// MPEG frame whose data lies in frames that are not there: the graph's
// decoder takes the stream, and not one sample comes out of it. That is no
// sound, loaded whole or streamed, and neither is a text nor an empty file:
// each is refused with a line naming it.
TEST_F(Mp3GraphTest, FilesFromWhichNoSampleCanBeReadAreRefusedWithALineNamingThem) {
    const std::vector<uint32_t> pixels(16 * 16, 0xFF123456u);
    std::vector<uint8_t> picture = EncodePng(pixels.data(), 16, 16, PNG_COLOR_TYPE_RGB, 16);
    ASSERT_FALSE(picture.empty());
    const uint8_t falseSync[] = {0xFF, 0xF0, 0x00, 0x00};
    picture.insert(picture.end(), std::begin(falseSync), std::end(falseSync));
    // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz: 417 bytes, its data 511 bytes back.
    std::vector<uint8_t> frame(417, 0);
    const uint8_t head[] = {0xFF, 0xFB, 0x90, 0x64, 0xFF, 0x80};
    std::copy(std::begin(head), std::end(head), frame.begin());
    picture.insert(picture.end(), frame.begin(), frame.end());
    WriteBytes("picture.png", picture);
    WriteBytes("notes.txt", std::vector<uint8_t>(3000, 'a'));
    WriteBytes("empty.wav", {});
    SetLogOutput(1);
    StartLog();
    for (int createType : {0, 2, 3}) {
        SetSoundCreateType(createType);
        for (const char* file : {"picture.png", "notes.txt", "empty.wav"}) {
            SCOPED_TRACE(std::string(file) + " create type " + std::to_string(createType));
            const size_t logBefore = LogText().size();
            EXPECT_EQ(CreateSoundHandleFromFile(file, 1), -1);
            EXPECT_NE(LogText().find(file, logBefore), std::string::npos) << LogText().substr(logBefore);
        }
    }
    SetSoundCreateType(0);
}

}  // namespace
