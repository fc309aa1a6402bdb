// Stream sounds end where their data ends, whatever steps the output's
// cursor takes: for output periods from 10 ms to 93 ms and data lengths
// around whole seconds (where the end falls near the ring's end), in every
// sample layout, a sound played once stops within one period of its end,
// and a looping one repeats without a gap; on the message loop's refills
// and on the sound worker's.
#include "sound/sound_internal.h"
#include "sound_test_util.h"

#include <algorithm>
#include <string>

using namespace morpotta;

using namespace soundtest;

namespace {

constexpr int kOutputRate = 44100;
constexpr int kPeriods[] = {441, 512, 1024, 2048, 4096};

struct Layout {
    int bits;
    int channels;
};

std::vector<uint8_t> MakePcm(int frames, Layout layout, int seed) {
    if (layout.bits == 16) return MakePcm16(frames, layout.channels, seed);
    std::vector<uint8_t> pcm(size_t(frames) * size_t(layout.channels));
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = uint8_t(0x90 + (i * 7 + size_t(seed)) % 96);
    return pcm;
}

// Lengths in frames around whole seconds: a period and a frame either side,
// and a millisecond short.
std::vector<int> LengthsAround(int seconds, int rate, int period) {
    int whole = seconds * rate;
    int periodFrames = int(int64_t(period) * rate / kOutputRate);
    return {whole - periodFrames, whole - rate / 1000, whole - 1, whole, whole + 1, whole + periodFrames};
}

class StreamEndTest : public SoundTest, public ::testing::WithParamInterface<std::tuple<int, Layout, bool>> {
protected:
    void SetUp() override {
        worker_ = std::get<2>(GetParam());
#if defined(__SANITIZE_THREAD__)
        // On the loop's refills no second thread is started: the thread
        // checker has nothing to see, at ten times the cost of a plain run,
        // which runs these cases in full.
        if (!worker_) GTEST_SKIP() << "one thread only: nothing for the thread checker";
#endif
        SetLogOutput(0);
        ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
        SetSoundProcessorCountForTesting(worker_ ? 2 : 1);
        ASSERT_EQ(InitializeSoundSystem(), 0);
        ASSERT_EQ(IsSoundWorkerRunning(), worker_);
        platform::SetNullAudioCapture(true);
    }
    int period() const { return std::get<0>(GetParam()); }
    Layout layout() const { return std::get<1>(GetParam()); }

    int MakeStream(const std::vector<uint8_t>& pcm, int rate) {
        auto wave = MakeWave(pcm, rate, layout().channels, layout().bits);
        SetSoundCreateType(2);
        int h = CreateSoundHandleFromImage(wave.data(), int(wave.size()), 1);
        SetSoundCreateType(0);
        return h;
    }
    // One output period, then the refill as the loop or the worker does it.
    void Step() {
        platform::AdvanceNullAudio(period());
        if (worker_) RunSoundWorkerPassForTesting();
        else RefillStreamSounds();
    }
    bool worker_ = false;
};

TEST_P(StreamEndTest, ASoundPlayedOnceStopsWithinOnePeriodOfItsEnd) {
    for (int rate : {22050, 44100}) {
        for (int seconds : {1, 2, 5}) {
            for (int frames : LengthsAround(seconds, rate, period())) {
                int h = MakeStream(MakePcm(frames, layout(), seconds), rate);
                ASSERT_GE(h, 0);
                ASSERT_EQ(PlaySoundHandle(h, kPlayTypeBack, 1), 0);
                // Output frames the data lasts, and the output run so far.
                const int64_t lasts = (int64_t(frames) * kOutputRate + rate - 1) / rate;
                int64_t ran = 0;
                while (IsSoundPlaying(h) == 1 && ran < lasts + 4 * kOutputRate) {
                    Step();
                    ran += period();
                }
                EXPECT_EQ(IsSoundPlaying(h), 0) << frames << " frames at " << rate << " Hz never stopped";
                EXPECT_GE(ran, lasts) << frames << " frames at " << rate << " Hz stopped early";
                EXPECT_LT(ran - period(), lasts) << frames << " frames at " << rate << " Hz stopped "
                                                 << (ran - lasts) * 1000 / kOutputRate << " ms late";
                DeleteSoundHandle(h);
            }
        }
    }
}

TEST_P(StreamEndTest, ALoopingSoundRepeatsWithoutAGap) {
    // At the output's rate every frame can be checked.
    for (int seconds : {1, 2}) {
        for (int frames : LengthsAround(seconds, kOutputRate, period())) {
            auto pcm = MakePcm(frames, layout(), seconds);
            int h = MakeStream(pcm, kOutputRate);
            ASSERT_GE(h, 0);
            platform::TakeNullAudioCapture();
            ASSERT_EQ(PlaySoundHandle(h, kPlayTypeLoop, 1), 0);
            int64_t want = int64_t(frames) * 5 / 2;  // two and a half passes
            for (int64_t ran = 0; ran < want; ran += period()) Step();
            EXPECT_EQ(IsSoundPlaying(h), 1);
            auto got = platform::TakeNullAudioCapture();
            ASSERT_GE(got.size(), size_t(want) * 2);
            // Each output frame is the data's frame, widened to 16 bits and
            // to both channels.
            size_t bytesPerFrame = size_t(layout().channels * layout().bits / 8);
            size_t bad = 0, firstBad = 0;
            for (int64_t f = 0; f < want; ++f) {
                const uint8_t* in = &pcm[size_t(f % frames) * bytesPerFrame];
                for (int c = 0; c < 2; ++c) {
                    int ch = layout().channels == 2 ? c : 0;
                    int16_t expected = layout().bits == 16 ? int16_t(in[ch * 2] | in[ch * 2 + 1] << 8)
                                                           : int16_t((in[ch] - 128) << 8);
                    if (got[size_t(f) * 2 + size_t(c)] != expected && bad++ == 0) firstBad = size_t(f);
                }
            }
            EXPECT_EQ(bad, 0u) << frames << " frames: first difference at output frame " << firstBad;
            DeleteSoundHandle(h);
        }
    }
}

std::string Name(const ::testing::TestParamInfo<std::tuple<int, Layout, bool>>& info) {
    Layout l = std::get<1>(info.param);
    return "Period" + std::to_string(std::get<0>(info.param)) + "Bits" + std::to_string(l.bits) +
           (l.channels == 2 ? "Stereo" : "Mono") + (std::get<2>(info.param) ? "Worker" : "Loop");
}

INSTANTIATE_TEST_SUITE_P(Periods, StreamEndTest,
                         ::testing::Combine(::testing::ValuesIn(kPeriods),
                                            ::testing::Values(Layout{16, 1}, Layout{16, 2}, Layout{8, 1},
                                                              Layout{8, 2}),
                                            ::testing::Bool()),
                         Name);

}  // namespace
