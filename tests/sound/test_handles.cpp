// Sound handles and loaded sounds: encoding and stale handles, voices and
// their round robin, volumes, the whole-or-stream length limit, and the
// start-up rules of the sound system.
#include "foundation/handle.h"
#include "scoped_temp_dir.h"
#include "sound/sound_internal.h"
#include "sound_test_util.h"

#include <cmath>
#include <cstdio>

using namespace morpotta;

using namespace soundtest;

namespace {

SoundEntry* Entry(int handle) {
    SoundLockGuard lock(Sound().lock);
    return LookupSound(handle);
}

int LoadImage(const std::vector<uint8_t>& wave, int count) {
    return CreateSoundHandleFromImage(wave.data(), int(wave.size()), count);
}

using SoundHandleTest = SoundTest;

TEST_F(SoundHandleTest, HandlesCarryKindCheckIdAndSlotAndGoStale) {
    int h = AddSoundData(-1);
    ASSERT_GE(h, 0);
    EXPECT_EQ(uint32_t(h) & 0x78000000u, 0x10000000u);  // kind 2
    EXPECT_EQ(h, MakeHandle(HANDLE_KIND_SOUND, HandleCheckOf(h), HandleSlotOf(h)));
    EXPECT_EQ(DeleteSoundHandle(h), 0);
    EXPECT_EQ(DeleteSoundHandle(h), -1);
    int again = AddSoundData(-1);
    ASSERT_GE(again, 0);
    EXPECT_EQ(HandleSlotOf(again), HandleSlotOf(h));
    EXPECT_NE(again, h);  // a new check id: the old value is refused
    EXPECT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), -1);
    EXPECT_EQ(IsSoundPlaying(h), -1);
    EXPECT_EQ(SetSoundVolume(128, h), -1);
    EXPECT_EQ(GetSoundTotalTime(h), -1);
    int foreign = MakeHandle(HANDLE_KIND_GRAPH, HandleCheckOf(again), HandleSlotOf(again));
    EXPECT_EQ(StopSoundHandle(foreign), -1);
    EXPECT_EQ(StopSoundHandle(-1), -1);
    EXPECT_EQ(StopSoundHandle(again | 0x7FFF), -1);
}

TEST_F(SoundHandleTest, VolumeTableAndItsLimits) {
    EXPECT_EQ(VolumeToHundredthsDb(255), 0);
    EXPECT_EQ(VolumeToHundredthsDb(128), -299);
    EXPECT_EQ(VolumeToHundredthsDb(1), -2406);
    EXPECT_EQ(VolumeToHundredthsDb(0), -10000);
    EXPECT_EQ(VolumeToHundredthsDb(-5), -10000);
    EXPECT_EQ(VolumeToHundredthsDb(300), 0);
    for (int v = 1; v <= 255; ++v) ASSERT_EQ(VolumeToHundredthsDb(v), int(std::trunc(std::log10(v / 255.0) * 1000.0)));
    auto wave = MakeWave(MakePcm16(100, 2, 1), kRate, 2, 16);
    int h = LoadImage(wave, 3);
    ASSERT_EQ(SetSoundVolume(128, h), 0);
    for (int i = 0; i < 3; ++i) {
        int volume = 1;
        GetDeviceBufferVolume(Entry(h)->buffers[i].buffer, &volume);
        EXPECT_EQ(volume, -299);
    }
}

TEST_F(SoundHandleTest, VoicesAreCappedAtTenAndShareOneBlockOfMemory) {
    auto wave = MakeWave(MakePcm16(100, 2, 2), kRate, 2, 16);
    EXPECT_EQ(LoadImage(wave, 11), -1);
    ScopedTempDir dir;
    std::filesystem::create_directory("effects");
    const char* path = "effects/voices.wav";
    FILE* f = std::fopen(path, "wb");
    std::fwrite(wave.data(), 1, wave.size(), f);
    std::fclose(f);
    int h = LoadSoundFile("effects\\voices.wav", 12);  // the engine's own separator
    std::remove(path);
    ASSERT_GE(h, 0);
    SoundEntry* e = Entry(h);
    EXPECT_EQ(e->bufferCount, 10);
    EXPECT_EQ(e->duplicate[0], 0);
    for (int i = 1; i < 10; ++i) EXPECT_EQ(e->duplicate[i], 1);
    EXPECT_EQ(LoadSoundFile("no such file.wav", 1), -1);
}

TEST_F(SoundHandleTest, PlaysGoRoundRobinAndTheFourthRestartsTheFirstVoice) {
    auto pcm = MakePcm16(kRate, 2, 3);
    int h = LoadImage(MakeWave(pcm, kRate, 2, 16), 3);
    ASSERT_GE(h, 0);
    SoundEntry* e = Entry(h);
    std::vector<int> used;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), 0);
        used.push_back(e->currentBuffer);
        Pump(100, false);
    }
    EXPECT_EQ(used, (std::vector<int>{1, 2, 0, 1}));
    uint32_t cursor[3];
    for (int i = 0; i < 3; ++i) GetDeviceBufferCursors(e->buffers[i].buffer, &cursor[i], nullptr);
    EXPECT_EQ(cursor[1], uint32_t(kRate / 10 * 4));  // restarted 0.1 s ago
    EXPECT_EQ(cursor[0], uint32_t(kRate / 10 * 2 * 4));
    // From-top 0 on a voice that still plays: nothing changes.
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 0), 0);
    uint32_t after;
    GetDeviceBufferCursors(e->buffers[2].buffer, &after, nullptr);
    EXPECT_EQ(after, cursor[2]);
    EXPECT_EQ(StopSoundHandle(h), 0);
    EXPECT_EQ(IsSoundPlaying(h), 0);
}

TEST_F(SoundHandleTest, LoadedSoundPlaysItsPcmExactlyOnce) {
    auto pcm = MakePcm16(kRate / 5, 2, 4);
    int h = LoadImage(MakeWave(pcm, kRate, 2, 16), 1);
    ASSERT_GE(h, 0);
    EXPECT_EQ(GetSoundTotalTime(h), 200);
    EXPECT_EQ(GetSoundTotalSamples(h), kRate / 5);
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), 0);
    platform::TakeNullAudioCapture();
    Pump(100, false);
    EXPECT_EQ(GetSoundPosition(h), 100);
    Pump(200, false);
    EXPECT_EQ(IsSoundPlaying(h), 0);
    auto got = platform::TakeNullAudioCapture();
    auto want = AsSamples(pcm);
    want.resize(got.size(), 0);
    EXPECT_EQ(got, want);
}

TEST_F(SoundHandleTest, ZeroVoicesMakeAHandleThatCannotPlay) {
    int h = LoadImage(MakeWave(MakePcm16(100, 2, 5), kRate, 2, 16), 0);
    ASSERT_GE(h, 0);
    EXPECT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), -1);
}

TEST_F(SoundHandleTest, MoreThan180SecondsIsStreamedInstead) {
    // 8-bit mono at 1000 Hz keeps three minutes small.
    auto wave180 = MakeWave(std::vector<uint8_t>(180 * 1000 + 999, 0x80), 1000, 1, 8);
    auto wave181 = MakeWave(std::vector<uint8_t>(181 * 1000, 0x80), 1000, 1, 8);
    int whole = LoadImage(wave180, 1);
    int streamed = LoadImage(wave181, 1);
    ASSERT_GE(whole, 0);
    ASSERT_GE(streamed, 0);
    EXPECT_EQ(Entry(whole)->kind, kSoundLoaded);
    EXPECT_EQ(Entry(streamed)->kind, kSoundStream);
    EXPECT_EQ(GetSoundTotalTime(streamed), 181000);
    EXPECT_EQ(GetSoundCreateType(), 0);  // the fallback does not leak its type
}

TEST_F(SoundHandleTest, FailedLoadsLeaveNoHandleAndRestoreTheCreateType) {
    std::vector<uint8_t> junk(100, 0x41);
    int before = Sound().table.count;
    EXPECT_EQ(CreateSoundHandleFromImage(junk.data(), int(junk.size()), 1), -1);
    SetSoundCreateType(2);
    EXPECT_EQ(CreateSoundHandleFromImage(junk.data(), int(junk.size()), 1), -1);
    EXPECT_EQ(GetSoundCreateType(), 2);
    SetSoundCreateType(0);
    EXPECT_EQ(Sound().table.count, before);
    EXPECT_EQ(SetSoundCreateType(4), -1);
    EXPECT_EQ(SetSoundCreateType(1), 0);
    EXPECT_EQ(GetSoundCreateType(), 0);
}

TEST_F(SoundHandleTest, ALoadedSoundNeverTakesStreamPieces) {
    auto wave = MakeWave(MakePcm16(100, 2, 6), kRate, 2, 16);
    int h = LoadImage(wave, 2);
    ASSERT_GE(h, 0);
    EXPECT_EQ(AddStreamMemory(wave.data(), int(wave.size()), 0, h, 2), -1);
    EXPECT_EQ(Entry(h)->bufferCount, 2);
    EXPECT_EQ(DeleteSoundHandle(h), 0);
}

TEST_F(SoundHandleTest, MillisecondsUseWideIntermediates) {
    EXPECT_EQ(SamplesToMilliseconds(int64_t(44100) * 3600 * 10, 44100), 36000000);
    EXPECT_EQ(SamplesToMilliseconds(22050, 44100), 500);
}

TEST_F(SoundHandleTest, StartUpTwiceFailsAndEverythingFailsWhenClosed) {
    EXPECT_EQ(InitializeSoundSystem(), -1);
    int h = AddSoundData(-1);
    ASSERT_EQ(TerminateSoundSystem(), 0);
    EXPECT_EQ(TerminateSoundSystem(), -1);
    EXPECT_EQ(IsSoundSystemOpen(), 0);
    EXPECT_EQ(AddSoundData(-1), -1);
    EXPECT_EQ(DeleteSoundHandle(h), -1);
    EXPECT_EQ(RefillStreamSounds(), -1);
    EXPECT_EQ(UpdateSoftSoundPlayers(), -1);
    EXPECT_EQ(LoadSoundFile("x.wav", 1), -1);
    ASSERT_EQ(InitializeSoundSystem(), 0);  // a new start finds an empty table
    EXPECT_EQ(Sound().table.count, 0);
    EXPECT_EQ(UpdateSoftSoundPlayers(), 0);
}

TEST(SoundMemory, ShutDownReturnsEveryTrackedBlock) {
    HeldNullAudioClock held;
    SetLogOutput(0);
    ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
    SetSoundProcessorCountForTesting(1);
    size_t before = GetMemoryTotals().liveBlocks;
    ASSERT_EQ(InitializeSoundSystem(), 0);
    auto wave = MakeWave(MakePcm16(kRate / 2, 2, 7), kRate, 2, 16);
    ASSERT_GE(LoadImage(wave, 4), 0);
    for (int type : {0, 2}) {
        int h = AddSoundData(-1);
        ASSERT_EQ(AddStreamMemory(wave.data(), int(wave.size()), 0, h, type), 0);
        ASSERT_EQ(AddStreamMemory(wave.data(), int(wave.size()), 1, h, type), 0);
        PlaySoundHandle(h, kPlayTypeLoop, 1);
    }
    Pump(300);
    ASSERT_EQ(TerminateSoundSystem(), 0);
    EXPECT_EQ(GetMemoryTotals().liveBlocks, before);
    SetSoundProcessorCountForTesting(0);
    SetSoundDeviceBackend("sdl2");
}

TEST(SoundPrimaryFormat, CapabilitiesDecideThePrimaryFormat) {
    SoundDeviceCaps caps{kCapsPrimaryStereo | kCapsPrimary16Bit, 100, 48000, 0, 0};
    WAVEFORMATEX f = ComputePrimaryFormat(caps);
    EXPECT_EQ(f.samplesPerSec, 44100u);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(f.blockAlign, 4);
    EXPECT_EQ(f.avgBytesPerSec, 176400u);
    caps.maxSecondaryRate = 22050;
    EXPECT_EQ(ComputePrimaryFormat(caps).samplesPerSec, 22050u);
    caps.flags = kCapsPrimaryMono | kCapsPrimary8Bit;
    f = ComputePrimaryFormat(caps);
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.bitsPerSample, 8);
    EXPECT_EQ(f.blockAlign, 1);
}

void DiscardFrames(void*, int16_t*, int) {}

TEST(SoundStartUp, WithoutAnOutputTheSystemStaysClosedAndEveryCallFails) {
    SetLogOutput(0);
    ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
    ASSERT_EQ(platform::Audio().open(44100, DiscardFrames, nullptr), 0);  // the output is taken
    EXPECT_EQ(InitializeSoundSystem(), -1);
    EXPECT_EQ(IsSoundSystemOpen(), 0);
    EXPECT_EQ(AddSoundData(-1), -1);
    EXPECT_EQ(PlaySoundHandle(0x10000000, kPlayTypeBack, 1), -1);
    EXPECT_EQ(TerminateSoundSystem(), -1);
    platform::Audio().close();
    EXPECT_EQ(SetSoundDeviceBackend("nonesuch"), -1);
    SetSoundDeviceBackend("sdl2");
}

}  // namespace
