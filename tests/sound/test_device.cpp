// The software sound device on the null output: regions, cursors, shared
// memory of duplicates, gains and the exactness of the mix.
#include "platform/audio.h"
#include "sound/device/sound_device.h"
#include "sound/device/sound_mixer.h"
#include "sound_test_util.h"

#include <cmath>

using namespace morpotta;

using namespace soundtest;

namespace {

class SoundDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::SelectAudioBackend("null"));
        ASSERT_EQ(OpenSoundDevice(), 0);
        platform::SetNullAudioCapture(true);
    }
    void TearDown() override {
        platform::SetNullAudioCapture(false);
        CloseSoundDevice();
        platform::SelectAudioBackend("sdl2");
    }
    HeldNullAudioClock heldClock_;
    SoundBuffer* Make(const WAVEFORMATEX& f, uint32_t bytes, uint32_t flags = kBufferCtrlVolume | kBufferCtrlPan |
                                                                               kBufferCtrlFrequency) {
        SoundBufferDesc desc{flags, bytes, &f};
        SoundBuffer* b = nullptr;
        EXPECT_EQ(CreateDeviceBuffer(&desc, &b), 0);
        return b;
    }
    static void Write(SoundBuffer* b, const std::vector<uint8_t>& data) {
        void *p1, *p2;
        uint32_t n1, n2;
        ASSERT_EQ(LockDeviceBuffer(b, 0, uint32_t(data.size()), &p1, &n1, &p2, &n2), 0);
        std::memcpy(p1, data.data(), n1);
        ASSERT_EQ(UnlockDeviceBuffer(b, p1, n1, p2, n2), 0);
    }
};

const WAVEFORMATEX kStereo16{1, 2, 44100, 176400, 4, 16, 0};

TEST_F(SoundDeviceTest, LockSplitsAtTheEndOfTheRing) {
    SoundBuffer* b = Make(kStereo16, 1000);
    void *p1, *p2;
    uint32_t n1, n2;
    ASSERT_EQ(LockDeviceBuffer(b, 900, 300, &p1, &n1, &p2, &n2), 0);
    EXPECT_EQ(n1, 100u);
    EXPECT_EQ(n2, 200u);
    EXPECT_EQ(static_cast<uint8_t*>(p1) - static_cast<uint8_t*>(p2), 900);
    EXPECT_EQ(UnlockDeviceBuffer(b, p1, n1, p2, n2), 0);
    ASSERT_EQ(LockDeviceBuffer(b, 0, 1000, &p1, &n1, &p2, &n2), 0);
    EXPECT_EQ(n1, 1000u);
    EXPECT_EQ(n2, 0u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(LockDeviceBuffer(b, 0, 1001, &p1, &n1, &p2, &n2), -1);
    EXPECT_EQ(LockDeviceBuffer(b, 1000, 4, &p1, &n1, &p2, &n2), -1);
    EXPECT_EQ(LockDeviceBuffer(b, 0, 0, &p1, &n1, &p2, &n2), -1);
    EXPECT_EQ(UnlockDeviceBuffer(b, static_cast<uint8_t*>(p1) + 900, 200, nullptr, 0), -1);  // not its memory
}

TEST_F(SoundDeviceTest, BadFormatsAndSettingsAreRefused) {
    SoundBuffer* b = nullptr;
    WAVEFORMATEX zeroAlign = kStereo16;
    zeroAlign.blockAlign = 0;
    SoundBufferDesc desc{0, 400, &zeroAlign};
    EXPECT_EQ(CreateDeviceBuffer(&desc, &b), -1);
    WAVEFORMATEX six = kStereo16;
    six.channels = 6;
    six.blockAlign = 12;
    desc = {0, 1200, &six};
    EXPECT_EQ(CreateDeviceBuffer(&desc, &b), -1);
    desc = {0, 402, &kStereo16};  // not whole frames
    EXPECT_EQ(CreateDeviceBuffer(&desc, &b), -1);
    b = Make(kStereo16, 400, 0);
    EXPECT_EQ(SetDeviceBufferVolume(b, -100), -1);  // no volume control
    SoundBuffer* c = Make(kStereo16, 400);
    EXPECT_EQ(SetDeviceBufferVolume(c, 1), -1);
    EXPECT_EQ(SetDeviceBufferVolume(c, -10001), -1);
    EXPECT_EQ(SetDeviceBufferPan(c, 10001), -1);
    EXPECT_EQ(SetDeviceBufferFrequency(c, 99), -1);
    EXPECT_EQ(SetDeviceBufferFrequency(c, 0), 0);  // the format's own rate
    uint32_t hz;
    GetDeviceBufferFrequency(c, &hz);
    EXPECT_EQ(hz, 44100u);
}

TEST_F(SoundDeviceTest, UnityVoiceIsCopiedExactlyAndOneShotStopsAtItsEnd) {
    auto pcm = MakePcm16(1000, 2, 1);
    SoundBuffer* b = Make(kStereo16, uint32_t(pcm.size()));
    Write(b, pcm);
    ASSERT_EQ(PlayDeviceBuffer(b, 0), 0);
    platform::AdvanceNullAudio(1500);
    auto got = platform::TakeNullAudioCapture();
    auto want = AsSamples(pcm);
    want.resize(3000, 0);
    EXPECT_EQ(got, want);
    uint32_t status, play;
    GetDeviceBufferStatus(b, &status);
    EXPECT_EQ(status & kBufferStatusPlaying, 0u);
    GetDeviceBufferCursors(b, &play, nullptr);
    EXPECT_EQ(play, 0u);
}

TEST_F(SoundDeviceTest, CursorsFollowTheBufferRateNotTheOutputRate) {
    WAVEFORMATEX mono11k{1, 1, 11025, 22050, 2, 16, 0};
    SoundBuffer* b = Make(mono11k, 22050);  // one second
    ASSERT_EQ(PlayDeviceBuffer(b, 1), 0);
    platform::AdvanceNullAudio(4410);  // 0.1 s of output
    uint32_t play, write;
    GetDeviceBufferCursors(b, &play, &write);
    EXPECT_EQ(play, 1102u * 2);  // 1102.5 frames played
    EXPECT_EQ(write, play + 110u * 2);
    platform::AdvanceNullAudio(44100 - 4410 + 441);  // wraps after one second
    GetDeviceBufferCursors(b, &play, &write);
    EXPECT_EQ(play, 110u * 2);

    WAVEFORMATEX odd{1, 2, 30000, 120000, 4, 16, 0};
    SoundBuffer* c = Make(odd, 120000);
    ASSERT_EQ(PlayDeviceBuffer(c, 1), 0);
    platform::AdvanceNullAudio(44100);
    GetDeviceBufferCursors(c, &play, nullptr);
    uint64_t expected = (uint64_t(44100) * ComputeMixStep(30000, 44100)) >> 32;
    EXPECT_EQ(play, uint32_t(expected) * 4);
    EXPECT_GE(expected, 29999u);
    // Near the end the write cursor wraps to the start.
    ASSERT_EQ(SetDeviceBufferPosition(c, 120000 - 40), 0);
    GetDeviceBufferCursors(c, &play, &write);
    EXPECT_EQ(play, 120000u - 40);
    EXPECT_EQ(write, 300u * 4 - 40);
}

TEST_F(SoundDeviceTest, DuplicatesShareMemoryButNotCursors) {
    auto pcm = MakePcm16(500, 2, 2);
    SoundBuffer* original = Make(kStereo16, uint32_t(pcm.size()));
    SoundBuffer* copy = nullptr;
    ASSERT_EQ(DuplicateDeviceBuffer(original, &copy), 0);
    Write(original, pcm);  // written after duplicating: the copy sees it
    ASSERT_EQ(ReleaseDeviceBuffer(original), 0);  // the memory lives on with the copy
    ASSERT_EQ(PlayDeviceBuffer(copy, 0), 0);
    platform::AdvanceNullAudio(500);
    EXPECT_EQ(platform::TakeNullAudioCapture(), AsSamples(pcm));
    uint32_t play;
    GetDeviceBufferCursors(copy, &play, nullptr);
    EXPECT_EQ(play, 0u);
}

TEST_F(SoundDeviceTest, LoudVoicesSaturateInsteadOfWrapping) {
    std::vector<uint8_t> loud(400);
    for (size_t i = 0; i < loud.size(); i += 4) {
        int16_t hi = 30000, lo = -30000;
        std::memcpy(&loud[i], &hi, 2);
        std::memcpy(&loud[i + 2], &lo, 2);
    }
    SoundBuffer* a = Make(kStereo16, 400);
    SoundBuffer* b = Make(kStereo16, 400);
    Write(a, loud);
    Write(b, loud);
    PlayDeviceBuffer(a, 1);
    PlayDeviceBuffer(b, 1);
    platform::AdvanceNullAudio(100);
    auto got = platform::TakeNullAudioCapture();
    for (size_t i = 0; i < got.size(); i += 2) {
        ASSERT_EQ(got[i], 32767);
        ASSERT_EQ(got[i + 1], -32768);
    }
}

TEST_F(SoundDeviceTest, VolumePanAndHalfRateShapeTheMix) {
    auto pcm = MakePcm16(400, 2, 3);
    auto s = AsSamples(pcm);
    SoundBuffer* b = Make(kStereo16, uint32_t(pcm.size()));
    Write(b, pcm);
    SetDeviceBufferVolume(b, -600);
    SetDeviceBufferPan(b, kPanLeft);
    PlayDeviceBuffer(b, 1);
    platform::AdvanceNullAudio(10);
    auto got = platform::TakeNullAudioCapture();
    int32_t gain = int32_t(std::lround(65536.0 * std::pow(10.0, -600 / 2000.0)));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(got[i * 2], int16_t((int64_t(s[i * 2]) * gain) >> 16));
        EXPECT_EQ(got[i * 2 + 1], 0);  // panned hard left: right attenuated to silence
    }
    StopDeviceBuffer(b);
    SetDeviceBufferPosition(b, 0);
    SetDeviceBufferVolume(b, 0);
    SetDeviceBufferPan(b, 0);
    SetDeviceBufferFrequency(b, 22050);
    PlayDeviceBuffer(b, 1);
    platform::AdvanceNullAudio(10);
    got = platform::TakeNullAudioCapture();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(got[i * 4], s[i * 2]);  // on a source frame
        int16_t a = s[i * 2], c = s[i * 2 + 2];
        EXPECT_EQ(got[i * 4 + 2], int16_t(a + ((int64_t(c - a) * 32768) >> 16)));  // halfway
    }
}

TEST_F(SoundDeviceTest, EightBitMonoIsCentredAndSpreadToBothSides) {
    WAVEFORMATEX mono8{1, 1, 44100, 44100, 1, 8, 0};
    SoundBuffer* b = Make(mono8, 4);
    Write(b, {0x80, 0xFF, 0x00, 0x81});
    PlayDeviceBuffer(b, 0);
    platform::AdvanceNullAudio(4);
    auto got = platform::TakeNullAudioCapture();
    EXPECT_EQ(got, (std::vector<int16_t>{0, 0, 127 * 256, 127 * 256, -128 * 256, -128 * 256, 256, 256}));
}

TEST(SoundDeviceClosed, EveryCallFailsWhileTheDeviceIsClosed) {
    SoundBuffer* b = nullptr;
    SoundBufferDesc desc{0, 400, &kStereo16};
    EXPECT_EQ(CreateDeviceBuffer(&desc, &b), -1);
    EXPECT_EQ(CloseSoundDevice(), -1);
    SoundDeviceCaps caps;
    EXPECT_EQ(GetSoundDeviceCaps(&caps), -1);
}

}  // namespace
