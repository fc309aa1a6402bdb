// The sound worker: refills while other threads play, query and change
// sounds, and is always joined at shut-down, also after the window is gone.
#include "engine/engine.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "scoped_temp_dir.h"
#include "sound/sound_internal.h"
#include "sound_test_util.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace morpotta;

using namespace soundtest;

namespace {

TEST(SoundWorker, RefillsUnderLoadFromOtherThreads) {
    HeldNullAudioClock held;
    SetLogOutput(0);
    ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
    SetSoundProcessorCountForTesting(2);
    ASSERT_EQ(InitializeSoundSystem(), 0);
    ASSERT_TRUE(IsSoundWorkerRunning());
    auto pcm = MakePcm16(kRate * 7 / 10, 2, 1);
    auto wave = MakeWave(pcm, kRate, 2, 16);
    SetSoundCreateType(2);
    int music = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1);
    SetSoundCreateType(0);
    ASSERT_GE(music, 0);
    ASSERT_EQ(PlaySoundHandle(music, kPlayTypeLoop, 1), 0);

    // The output runs on its own thread at about real speed.
    std::atomic<bool> stop{false};
    std::thread output([&] {
        while (!stop.load()) {
            platform::AdvanceNullAudio(kRate / 200);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
    int rounds = 0;
    while (std::chrono::steady_clock::now() < until) {
        int effect = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 2);
        ASSERT_GE(effect, 0);
        PlaySoundHandle(effect, kPlayTypeBack, 1);
        SetSoundVolume(rounds % 256, music);
        EXPECT_LE(GetSoundPosition(music), GetSoundTotalTime(music));
        EXPECT_EQ(IsSoundPlaying(music), 1);
        DeleteSoundHandle(effect);
        if (rounds % 10 == 0) {
            StopSoundHandle(music);
            PlaySoundHandle(music, kPlayTypeLoop, 0);
        }
        ++rounds;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop.store(true);
    output.join();
    EXPECT_EQ(TerminateSoundSystem(), 0);
    EXPECT_FALSE(IsSoundWorkerRunning());
    SetSoundProcessorCountForTesting(0);
    SetSoundDeviceBackend("sdl2");
}

TEST(SoundWorker, ShutDownAfterTheWindowIsDestroyedJoinsTheWorker) {
    ScopedTempDir dir;
    ASSERT_EQ(SetWindowBackend("headless"), 0);
    ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
    SetSoundProcessorCountForTesting(2);
    SetLogOutput(1);
    ASSERT_EQ(InitializeEngine(), 0);
    ASSERT_EQ(IsSoundSystemOpen(), 1);
    ASSERT_TRUE(IsSoundWorkerRunning());
    auto wave = MakeWave(MakePcm16(kRate * 2, 2, 2), kRate, 2, 16);
    SetSoundCreateType(2);
    int h = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1);
    SetSoundCreateType(0);
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeLoop, 1), 0);
    platform::HeadlessPushEvent({platform::EventType::Destroyed});
    EXPECT_EQ(ProcessWindowMessages(), -1);
    ASSERT_EQ(ShutdownEngine(), 0);
    EXPECT_FALSE(IsSoundWorkerRunning());
    EXPECT_EQ(IsSoundSystemOpen(), 0);
    std::string log = ScopedTempDir::ReadFile(dir.path() / "Log.txt");
    std::string utf8;
    ConvertCp932ToUtf8(log, &utf8);
    EXPECT_NE(utf8.find("DirectSound の終了処理は正常に終了しました"), std::string::npos) << utf8;
    SetSoundProcessorCountForTesting(0);
    SetSoundDeviceBackend("sdl2");
    SetWindowBackend("sdl2");
}

// When the window system goes away the process ends from inside whatever
// call met it, maybe below a sound function that holds the sound lock: the
// worker stops (or, waiting for that lock, is let go) and the output
// closes all the same, without a deadlock.
TEST(SoundWorker, BeforeTheProcessEndsTheWorkerStopsAndTheOutputClosesEvenUnderTheLock) {
    SetLogOutput(0);
    ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
    SetSoundProcessorCountForTesting(2);
    auto wave = MakeWave(MakePcm16(kRate * 2, 2, 4), kRate, 2, 16);
    for (bool underLock : {false, true}) {
        ASSERT_EQ(InitializeSoundSystem(), 0);
        ASSERT_TRUE(IsSoundWorkerRunning());
        SetSoundCreateType(2);
        const int h = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1);
        SetSoundCreateType(0);
        ASSERT_EQ(PlaySoundHandle(h, kPlayTypeLoop, 1), 0);
        SoundModule& m = Sound();
        {
            std::unique_lock<std::recursive_mutex> held(m.lock, std::defer_lock);
            if (underLock) {
                held.lock();
                // Longer than the worker's period: it comes back for the lock meanwhile.
                std::this_thread::sleep_for(std::chrono::milliseconds(3 * kWorkerPeriodMs));
            }
            StopSoundBeforeProcessEnd();
            EXPECT_FALSE(IsSoundWorkerRunning()) << "under the lock: " << underLock;
            EXPECT_EQ(platform::NullAudioRate(), 0) << "the output is still open";
        }
        {
            // A worker that was let go ends as soon as it has the lock.
            std::unique_lock<std::mutex> wait(m.workerMutex);
            m.workerPassDone.wait(wait, [&] { return m.workerEnded; });
        }
        EXPECT_EQ(TerminateSoundSystem(), 0);
    }
    SetSoundProcessorCountForTesting(0);
    SetSoundDeviceBackend("sdl2");
}

// Unless a test holds it, the null output's clock follows real time: a
// sound played on it ends once its length has passed, by itself, and play
// type normal returns then.
TEST(SoundWorker, OnTheNullOutputASoundEndsOnceItsLengthHasPassed) {
    ScopedTempDir dir;
    ASSERT_EQ(SetWindowBackend("headless"), 0);
    ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
    SetLogOutput(0);
    ASSERT_EQ(InitializeEngine(), 0);
    auto wave = MakeWave(MakePcm16(kRate / 5, 2, 3), kRate, 2, 16);  // 200 ms
    int h = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1);
    ASSERT_GE(h, 0);
    using Clock = std::chrono::steady_clock;
    auto sinceMs = [](Clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    // In the background first: a sound that never ends fails here instead of
    // hanging the play below.
    Clock::time_point start = Clock::now();
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), 0);
    while (IsSoundPlaying(h) == 1 && sinceMs(start) < 10000) {
        ASSERT_EQ(ProcessWindowMessages(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(IsSoundPlaying(h), 0) << "still playing after " << sinceMs(start) << " ms";
    // Mixed as time passes, not at once (less what the output runs behind).
    EXPECT_GE(sinceMs(start), 100);
    start = Clock::now();
    EXPECT_EQ(PlaySoundHandle(h, kPlayTypeNormal, 1), 0);
    EXPECT_GE(sinceMs(start), 100);
    EXPECT_EQ(IsSoundPlaying(h), 0);
    ShutdownEngine();
    SetSoundDeviceBackend("sdl2");
    SetWindowBackend("sdl2");
}

}  // namespace

namespace {

TEST(SoundSdlOutput, ALoadedSoundPlaysToItsEndThroughTheHostOutput) {
    SetLogOutput(0);
    ASSERT_EQ(SetSoundDeviceBackend("sdl2"), 0);
    SetSoundProcessorCountForTesting(1);
    if (InitializeSoundSystem() != 0) GTEST_SKIP() << "no host audio output";
    auto wave = MakeWave(MakePcm16(kRate / 10, 2, 4), kRate, 2, 16);
    int h = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1);
    ASSERT_GE(h, 0);
    ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), 0);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);  // a loaded machine's worst
    while (IsSoundPlaying(h) == 1 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(IsSoundPlaying(h), 0);
    EXPECT_EQ(TerminateSoundSystem(), 0);
    SetSoundProcessorCountForTesting(0);
}

}  // namespace
