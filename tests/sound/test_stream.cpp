// Stream sounds on the null output: what reaches the output is the pieces'
// PCM joined without gaps, across pieces, loop wraps, stops and resumes.
#include "scoped_temp_dir.h"
#include "sound_test_util.h"

using namespace soundtest;

namespace {

class StreamSoundTest : public SoundTest {
protected:
    // A stream sound of one piece from a WAVE image (kept encoded in memory).
    int MakeStream(const std::vector<uint8_t>& wave) {
        SetSoundCreateType(2);
        int h = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1);
        SetSoundCreateType(0);
        return h;
    }
    static std::vector<int16_t> Repeat(const std::vector<int16_t>& s, size_t samples) {
        std::vector<int16_t> out(samples);
        for (size_t i = 0; i < samples; ++i) out[i] = s[i % s.size()];
        return out;
    }
    // want's samples lead got's.
    static void ExpectPrefix(const std::vector<int16_t>& got, const std::vector<int16_t>& want) {
        ASSERT_GE(got.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            if (got[i] != want[i]) {
                FAIL() << "first difference at sample " << i << " (frame " << i / 2 << "): " << got[i] << " vs "
                       << want[i];
            }
        }
    }
};

TEST_F(StreamSoundTest, PiecesPlayJoinedWithoutGapsAndLoopBackToTheFirst) {
    auto a = MakePcm16(kRate * 6 / 10, 2, 1);  // 0.6 s
    auto b = MakePcm16(kRate * 13 / 10, 2, 2);  // 1.3 s
    int h = MakeStream(MakeWave(a, kRate, 2, 16));
    ASSERT_GE(h, 0);
    auto wb = MakeWave(b, kRate, 2, 16);
    ASSERT_EQ(AddStreamMemory(wb.data(), int(wb.size()), 0, h, 2), 0);
    EXPECT_EQ(GetSoundTotalSamples(h), kRate * 6 / 10 + kRate * 13 / 10);
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeLoop, 1), 0);
    platform::TakeNullAudioCapture();
    Pump(6000);
    auto joined = AsSamples(a);
    auto sb = AsSamples(b);
    joined.insert(joined.end(), sb.begin(), sb.end());
    auto got = platform::TakeNullAudioCapture();
    ExpectPrefix(got, Repeat(joined, got.size()));
    EXPECT_EQ(IsSoundPlaying(h), 1);
    EXPECT_LE(GetSoundPosition(h), GetSoundTotalTime(h));
}

TEST_F(StreamSoundTest, LoopingStreamIsBitExactForSixtySeconds) {
    auto pcm = MakePcm16(kRate * 13 / 10 + 17, 2, 3);  // not a whole number of chunks
    int h = MakeStream(MakeWave(pcm, kRate, 2, 16));
    ASSERT_GE(h, 0);
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeLoop, 1), 0);
    platform::TakeNullAudioCapture();
    Pump(60000);
    auto got = platform::TakeNullAudioCapture();
    ASSERT_EQ(got.size(), size_t(kRate) * 60 * 2);
    ExpectPrefix(got, Repeat(AsSamples(pcm), got.size()));
}

TEST_F(StreamSoundTest, ShortSoundPlaysOnceThenStops) {
    auto pcm = MakePcm16(kRate / 2, 2, 4);  // 0.5 s: shorter than the first fill
    int h = MakeStream(MakeWave(pcm, kRate, 2, 16));
    ASSERT_GE(h, 0);
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), 0);
    platform::TakeNullAudioCapture();
    int total = GetSoundTotalTime(h);
    EXPECT_EQ(total, 500);
    for (int i = 0; i < 150; ++i) {
        Pump(10);
        ASSERT_LE(GetSoundPosition(h), total);
    }
    EXPECT_EQ(IsSoundPlaying(h), 0);
    auto got = platform::TakeNullAudioCapture();
    auto want = AsSamples(pcm);
    want.resize(got.size(), 0);  // silence after the end
    ExpectPrefix(got, want);
    // Played again it starts from the top.
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 0), 0);
    Pump(100);
    ExpectPrefix(want, platform::TakeNullAudioCapture());
}

TEST_F(StreamSoundTest, ShortLoopingSoundRepeatsWithoutGaps) {
    auto pcm = MakePcm16(kRate * 4 / 10, 1, 5);  // 0.4 s mono
    int h = MakeStream(MakeWave(pcm, kRate, 1, 16));
    ASSERT_GE(h, 0);
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeLoop, 1), 0);
    platform::TakeNullAudioCapture();
    Pump(3000);
    auto got = platform::TakeNullAudioCapture();
    auto mono = Repeat(AsSamples(pcm), got.size() / 2);
    std::vector<int16_t> want;
    for (int16_t s : mono) {
        want.push_back(s);
        want.push_back(s);
    }
    ExpectPrefix(got, want);
}


TEST_F(StreamSoundTest, ResumedOutputFollowsTheStoppedOutput) {
    auto pcm = MakePcm16(kRate * 3, 2, 7);
    int h = MakeStream(MakeWave(pcm, kRate, 2, 16));
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), 0);
    platform::TakeNullAudioCapture();
    Pump(1200);
    StopSoundHandle(h);
    auto before = platform::TakeNullAudioCapture();
    Pump(300);
    platform::TakeNullAudioCapture();
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 0), 0);
    Pump(1000);
    auto after = platform::TakeNullAudioCapture();
    before.insert(before.end(), after.begin(), after.end());
    auto samples = AsSamples(pcm);
    ExpectPrefix(samples, before);
    // From the top restarts the data.
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), 0);
    Pump(200);
    auto top = platform::TakeNullAudioCapture();
    ExpectPrefix(samples, top);
}

TEST_F(StreamSoundTest, FourthPieceAndAnotherFormatAreRefused) {
    auto pcm = MakePcm16(kRate / 4, 2, 8);
    auto wave = MakeWave(pcm, kRate, 2, 16);
    int h = MakeStream(wave);
    ASSERT_GE(h, 0);
    auto other = MakeWave(MakePcm16(kRate / 4, 2, 9), 22050, 2, 16);
    EXPECT_EQ(AddStreamMemory(other.data(), int(other.size()), 0, h, 2), -1);
    EXPECT_EQ(AddStreamMemory(wave.data(), int(wave.size()), 0, h, 2), 0);
    EXPECT_EQ(AddStreamMemory(wave.data(), int(wave.size()), 0, h, 0), 0);
    EXPECT_EQ(AddStreamMemory(wave.data(), int(wave.size()), 0, h, 2), -1);
    EXPECT_EQ(GetSoundTotalSamples(h), 3 * (kRate / 4));
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), 0);
    Pump(100);
    auto extra = MakeWave(pcm, kRate, 2, 16);
    EXPECT_EQ(AddStreamMemory(extra.data(), int(extra.size()), 0, h, 2), -1);  // while playing
}

// A wave without any PCM is no sound: neither held whole nor as a stream,
// and no stream takes it as a piece.
TEST_F(StreamSoundTest, AWaveWithoutAnyPcmIsNoSound) {
    auto wave = MakeWave({}, kRate, 2, 16);
    EXPECT_EQ(CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1), -1);
    SetSoundCreateType(2);
    EXPECT_EQ(CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1), -1);
    SetSoundCreateType(0);
    const int h = AddSoundData(-1);
    EXPECT_EQ(AddStreamMemory(wave.data(), int(wave.size()), 0, h, 2), -1);
}

TEST_F(StreamSoundTest, RepeatCountPlaysAPieceAgain) {
    auto pcm = MakePcm16(kRate * 3 / 10, 2, 10);
    auto wave = MakeWave(pcm, kRate, 2, 16);
    int h = AddSoundData(-1);
    ASSERT_EQ(AddStreamMemory(wave.data(), int(wave.size()), 2, h, 2), 0);
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), 0);
    platform::TakeNullAudioCapture();
    Pump(1500);
    auto got = platform::TakeNullAudioCapture();
    auto want = Repeat(AsSamples(pcm), pcm.size() / 2 * 3);
    want.resize(got.size(), 0);
    ExpectPrefix(got, want);
    EXPECT_EQ(IsSoundPlaying(h), 0);
}

TEST_F(StreamSoundTest, StreamFromAFileKeptOpenWhilePlaying) {
    ScopedTempDir dir;
    auto pcm = MakePcm16(kRate, 2, 11);
    auto wave = MakeWave(pcm, kRate, 2, 16);
    const char* path = "stream_sound_test.wav";
    FILE* f = std::fopen(path, "wb");
    ASSERT_TRUE(f);
    std::fwrite(wave.data(), 1, wave.size(), f);
    std::fclose(f);
    SetSoundCreateType(3);
    int h = LoadSoundFile(path, 1);
    SetSoundCreateType(0);
    std::remove(path);  // the open file stays readable
    ASSERT_GE(h, 0);
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), 0);
    platform::TakeNullAudioCapture();
    Pump(1500);
    auto got = platform::TakeNullAudioCapture();
    auto want = AsSamples(pcm);
    want.resize(got.size(), 0);
    ExpectPrefix(got, want);
    EXPECT_EQ(DeleteSoundHandle(h), 0);
}

TEST_F(StreamSoundTest, EightBitMonoStreamEndsInTrueSilence) {
    std::vector<uint8_t> pcm(kRate * 3 / 10 + 3);  // whole frames of one byte, not whole chunks
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = uint8_t(1 + (i * 13) % 254);
    int h = MakeStream(MakeWave(pcm, kRate, 1, 8));
    ASSERT_GE(h, 0);
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), 0);
    platform::TakeNullAudioCapture();
    Pump(1500);
    EXPECT_EQ(IsSoundPlaying(h), 0);
    auto got = platform::TakeNullAudioCapture();
    std::vector<int16_t> want;
    for (uint8_t b : pcm) {
        want.push_back(int16_t((int(b) - 128) * 256));
        want.push_back(int16_t((int(b) - 128) * 256));
    }
    want.resize(got.size(), 0);  // the silence written after the end is centred
    ExpectPrefix(got, want);
}

TEST_F(StreamSoundTest, DamagedFilesNeverCrashTheLoaders) {
    auto base = MakeWave(MakePcm16(2000, 2, 12), kRate, 2, 16);
    uint32_t x = 1;
    auto next = [&] { return x = x * 1103515245u + 12345u, (x >> 8); };
    for (int round = 0; round < 600; ++round) {
        auto wave = base;
        int edits = 1 + int(next() % 4);
        for (int k = 0; k < edits; ++k) wave[next() % 60] = uint8_t(next());
        if (round % 5 == 0) wave.resize(next() % wave.size());
        if (wave.empty()) continue;
        SetSoundCreateType(round % 3 == 0 ? 2 : 0);
        int h = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 2);
        SetSoundCreateType(0);
        if (h < 0) continue;
        EXPECT_LE(GetSoundPosition(h), GetSoundTotalTime(h));
        PlaySoundHandle(h, kPlayTypeBack, 1);
        Pump(30);
        EXPECT_EQ(DeleteSoundHandle(h), 0);
    }
    EXPECT_EQ(Sound().table.count, 0);
}

}  // namespace
