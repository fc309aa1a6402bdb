// Mixer cost per output frame for 1 to 128 voices, the engine's mixer beside
// the reference mixing library on the same voices, and the longest time a
// stream refill holds the sound lock.
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/sound.h"
#include "platform/audio.h"
#include "reference/mixer_reference.h"
#include "sound/device/sound_device.h"
#include "sound/sound_internal.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace morpotta;

namespace {

constexpr int kRate = 44100;
constexpr int kPeriodFrames = 1024;

std::vector<int16_t> MakeVoicePcm() {
    std::vector<int16_t> pcm(size_t(kRate) * 2);
    uint32_t x = 12345;
    for (auto& s : pcm) {
        x = x * 1664525u + 1013904223u;
        s = int16_t((x >> 16) / 4);  // well below full scale: few clips
    }
    return pcm;
}

benchmark::Counter NsPerFrame(int64_t framesPerIteration) {
    return benchmark::Counter(double(framesPerIteration) * 1e-9,
                              benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void MixEngine(benchmark::State& state, uint32_t hz, int volume) {
    const int voices = int(state.range(0));
    platform::SelectAudioBackend("null");
    platform::UseManualNullAudioClock(true);  // the benchmark mixes by itself
    if (OpenSoundDevice() != 0) {
        state.SkipWithError("no device");
        return;
    }
    auto pcm = MakeVoicePcm();
    const WAVEFORMATEX format{1, 2, kRate, kRate * 4, 4, 16, 0};
    for (int i = 0; i < voices; ++i) {
        SoundBufferDesc desc{kBufferCtrlVolume | kBufferCtrlFrequency | kBufferCtrlPan, uint32_t(pcm.size() * 2),
                             &format};
        SoundBuffer* b;
        CreateDeviceBuffer(&desc, &b);
        void *p1, *p2;
        uint32_t n1, n2;
        LockDeviceBuffer(b, 0, uint32_t(pcm.size() * 2), &p1, &n1, &p2, &n2);
        std::memcpy(p1, pcm.data(), n1);
        UnlockDeviceBuffer(b, p1, n1, p2, n2);
        SetDeviceBufferPosition(b, uint32_t(i * 4 * 97 % (pcm.size() * 2)));
        SetDeviceBufferFrequency(b, hz);
        SetDeviceBufferVolume(b, volume);
        PlayDeviceBuffer(b, 1);
    }
    std::vector<int16_t> out(kPeriodFrames * 2);
    for (auto _ : state) {
        MixSoundDevice(out.data(), kPeriodFrames);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["ns_per_frame"] = NsPerFrame(kPeriodFrames);
    CloseSoundDevice();
}

void BM_EngineMixer(benchmark::State& state) { MixEngine(state, kRate, 0); }
void BM_EngineMixerQuieter(benchmark::State& state) { MixEngine(state, kRate, -600); }
void BM_EngineMixerResampled(benchmark::State& state) { MixEngine(state, 22050, 0); }

void BM_ReferenceMixer(benchmark::State& state) {
    const int voices = int(state.range(0));
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (!platform::OpenReferenceMixer(kRate, voices)) {
        state.SkipWithError("reference mixer unavailable");
        return;
    }
    auto pcm = MakeVoicePcm();
    if (!platform::PlayReferenceVoices(pcm.data(), kRate, voices)) {
        state.SkipWithError("reference voices");
        platform::CloseReferenceMixer();
        return;
    }
    std::vector<int16_t> out(kPeriodFrames * 2);
    for (auto _ : state) {
        platform::RunReferenceMix(out.data(), kPeriodFrames);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["ns_per_frame"] = NsPerFrame(kPeriodFrames);
    platform::CloseReferenceMixer();
}

// Every refill of eight looping streams over 20 simulated seconds; the
// longest one is the longest hold of the sound lock by a refill.
void BM_StreamRefillLockHold(benchmark::State& state) {
    SetLogOutput(0);
    SetSoundDeviceBackend("null");
    platform::UseManualNullAudioClock(true);  // simulated seconds, not real ones
    SetSoundProcessorCountForTesting(1);
    if (InitializeSoundSystem() != 0) {
        state.SkipWithError("no sound system");
        return;
    }
    auto pcm = MakeVoicePcm();
    const WAVEFORMATEX format{1, 2, kRate, kRate * 4, 4, 16, 0};
    void* image;
    int size;
    BuildWaveImage(&image, &size, &format, 18, pcm.data(), int(pcm.size() * 2));
    SetSoundCreateType(2);
    std::vector<int> handles;
    for (int i = 0; i < 8; ++i) {
        handles.push_back(CreateSoundHandleFromImage(image, size, 1));
        PlaySoundHandle(handles.back(), kPlayTypeLoop, 1);
    }
    SetSoundCreateType(0);
    FreeMemory(image);
    double longest = 0, total = 0;
    int64_t refills = 0;
    for (auto _ : state) {
        for (int t = 0; t < 2000; ++t) {
            platform::AdvanceNullAudio(kRate / 100);
            for (int h : handles) {
                auto start = std::chrono::steady_clock::now();
                RefillStreamSound(h);
                double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
                longest = std::max(longest, us);
                total += us;
                ++refills;
            }
        }
    }
    state.counters["max_lock_hold_us"] = longest;
    state.counters["mean_refill_us"] = total / double(refills);
    TerminateSoundSystem();
    SetSoundProcessorCountForTesting(0);
}

}  // namespace

BENCHMARK(BM_EngineMixer)->Arg(1)->Arg(8)->Arg(32)->Arg(128);
BENCHMARK(BM_EngineMixerQuieter)->Arg(1)->Arg(8)->Arg(32)->Arg(128);
BENCHMARK(BM_EngineMixerResampled)->Arg(1)->Arg(8)->Arg(32)->Arg(128);
BENCHMARK(BM_ReferenceMixer)->Arg(1)->Arg(8)->Arg(32)->Arg(128);
BENCHMARK(BM_StreamRefillLockHold)->Iterations(1)->Unit(benchmark::kMillisecond);
