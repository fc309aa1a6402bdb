// Generated sounds and a fixture that runs the sound system on the null
// output, whose clock the test holds and advances.
#pragma once
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/sound.h"
#include "held_null_audio_clock.h"
#include "platform/audio.h"
#include "sound/sound_internal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace soundtest {

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

struct WaveOptions {
    int formatChunkBytes = 16;
    bool bextFirst = false;
    bool listFirst = false;
    int oddChunkBeforeData = 0;  // bytes of a chunk between "fmt " and "data" (0: none)
    int statedDataBytes = -1;    // what the header claims (-1: the real size)
    int bitsField = -1;          // bits per sample written in "fmt " (-1: the real one)
};

inline void Put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
inline void PutId(std::vector<uint8_t>& v, const char* id) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(id[i]));
}

inline std::vector<uint8_t> MakeWave(const std::vector<uint8_t>& pcm, int rate, int channels, int bits,
                                     const WaveOptions& o = {}) {
    std::vector<uint8_t> w;
    PutId(w, "RIFF");
    Put32(w, 0);
    PutId(w, "WAVE");
    if (o.bextFirst) {
        PutId(w, "bext");
        Put32(w, 6);
        w.insert(w.end(), 6, 0);
    }
    if (o.listFirst) {
        PutId(w, "LIST");
        Put32(w, 4);
        PutId(w, "INFO");
    }
    PutId(w, "fmt ");
    Put32(w, uint32_t(o.formatChunkBytes));
    int align = channels * bits / 8;
    Put16(w, 1);
    Put16(w, uint16_t(channels));
    Put32(w, uint32_t(rate));
    Put32(w, uint32_t(rate * align));
    Put16(w, uint16_t(align));
    Put16(w, uint16_t(o.bitsField >= 0 ? o.bitsField : bits));
    for (int i = 16; i < o.formatChunkBytes; ++i) w.push_back(0);
    if (o.oddChunkBeforeData) {
        PutId(w, "junk");
        Put32(w, uint32_t(o.oddChunkBeforeData));
        w.insert(w.end(), size_t(o.oddChunkBeforeData + (o.oddChunkBeforeData & 1)), 0xAB);
    }
    PutId(w, "data");
    Put32(w, uint32_t(o.statedDataBytes >= 0 ? o.statedDataBytes : int(pcm.size())));
    w.insert(w.end(), pcm.begin(), pcm.end());
    uint32_t riff = uint32_t(w.size() - 8);
    std::memcpy(&w[4], &riff, 4);
    return w;
}

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
