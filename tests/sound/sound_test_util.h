// Generated sounds and a fixture that runs the sound system on the null
// output, whose clock the test holds and advances.
#pragma once
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/sound.h"
#include "held_null_audio_clock.h"
#include "platform/audio.h"
#include "sound/sound_internal.h"
#include "wave_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

using namespace morpotta;

namespace soundtest {

// The sample rate of the sounds the tests make.
inline constexpr int kRate = 44100;

// PCM whose every sample tells where it came from: a distinct, non-silent
// ramp per channel, offset by seed so that pieces differ.
inline std::vector<uint8_t> MakePcm16(int frames, int channels, int seed) {
    std::vector<uint8_t> pcm(size_t(frames) * size_t(channels) * 2);
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            int16_t v = int16_t(((i * 7 + c * 5003 + seed * 977) % 30000) - 15000 + (c ? 1 : 0));
            std::memcpy(&pcm[(size_t(i) * channels + c) * 2], &v, 2);
        }
    }
    return pcm;
}

using wavewriter::MakeWave;
using wavewriter::Put16;
using wavewriter::Put32;
using wavewriter::PutId;
using wavewriter::WaveOptions;

inline std::vector<int16_t> AsSamples(const std::vector<uint8_t>& pcm) {
    std::vector<int16_t> s(pcm.size() / 2);
    std::memcpy(s.data(), pcm.data(), s.size() * 2);
    return s;
}

// Runs the null output for ms milliseconds in 10 ms periods, refilling
// stream sounds after each as message processing would.
inline void Pump(int ms, bool refill = true) {
    int rate = platform::NullAudioRate();
    for (int t = 0; t < ms; t += 10) {
        platform::AdvanceNullAudio(rate / 100);
        if (refill) RefillStreamSounds();
    }
}

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
        SetSoundProcessorCountForTesting(1);
        ASSERT_EQ(InitializeSoundSystem(), 0);
        SetSoundCreateType(0);
        platform::SetNullAudioCapture(true);
    }
    void TearDown() override {
        platform::SetNullAudioCapture(false);
        TerminateSoundSystem();
        SetSoundProcessorCountForTesting(0);
        SetSoundReaderMask(0);
        SetSoundDeviceBackend("sdl2");
    }
    HeldNullAudioClock heldClock_;
};

}  // namespace soundtest
