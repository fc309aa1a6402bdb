// State of the software sound device shared by its files: the buffers and
// the output they are mixed into. One mutex guards every buffer's settings
// and cursor; the PCM memory itself is written between Lock and Unlock
// without it (as on a sound card, the caller writes where the cursor is
// not), and both calls take the mutex so that the mixer sees what was
// written.
#pragma once
#include "sound/device/sound_device.h"
#include "sound/device/sound_mixer.h"

#include <mutex>
#include <vector>

namespace morpotta {

struct SharedPcm {
    uint8_t* data;
    uint32_t size;
    int references;  // buffers sharing it
};

struct SoundBuffer {
    SharedPcm* pcm;  // null for the primary buffer
    uint32_t flags;
    WAVEFORMATEX format;
    int volume;
    int pan;
    uint32_t frequency;
    MixVoice voice;
};

constexpr int kDefaultOutputRate = 44100;
constexpr int kMixChunkFrames = 512;
constexpr uint32_t kWriteLeadMs = 10;  // how far ahead of the play cursor the mixer may read

struct SoundDeviceState {
    std::mutex mutex;
    bool open = false;
    int outputRate = 0;
    std::vector<SoundBuffer*> buffers;
    DeviceMixSource mixSource = nullptr;
    void* mixSourceUser = nullptr;
    int32_t accumulator[kMixChunkFrames * 2] = {};
};

SoundDeviceState& DeviceState();

inline bool IsValidPcmFormat(const WAVEFORMATEX& f) {
    return f.formatTag == 1 && (f.channels == 1 || f.channels == 2) &&
           (f.bitsPerSample == 8 || f.bitsPerSample == 16) && f.blockAlign == f.channels * f.bitsPerSample / 8 &&
           f.samplesPerSec >= kFrequencyMin && f.samplesPerSec <= kFrequencyMax;
}

// Gains and step from the buffer's settings; under the mutex.
inline void RefreshVoice(SoundDeviceState& d, SoundBuffer* b) {
    ComputeMixGains(b->volume, b->pan, &b->voice.gainLeft, &b->voice.gainRight);
    b->voice.step = ComputeMixStep(b->frequency, uint32_t(d.outputRate));
}

inline bool IsSecondary(const SoundBuffer* b) { return b && b->pcm; }

// Drops one reference to the buffer's memory and frees the buffer.
void FreeDeviceBuffer(SoundBuffer* b);

}  // namespace morpotta
