// The software sound device: opening the host output, the primary format
// that sets the mix rate, and the mix the output pulls.
#include "engine/memory.h"
#include "foundation/public_call.h"
#include "platform/audio.h"
#include "platform/lasting_state.h"
#include "sound/device/sound_device_state.h"

#include <cstring>

namespace morpotta {

namespace {

// On the host's audio thread: what it logs is the mixer's, no call's.
void OutputCallback(void*, int16_t* out, int frames) {
    const EngineTaskScope task("Sound mixer");
    MixSoundDevice(out, frames);
}

}  // namespace

SoundDeviceState& DeviceState() {
    return platform::LastingState<SoundDeviceState>();
}

void FreeDeviceBuffer(SoundBuffer* b) {
    if (b->pcm && --b->pcm->references == 0) {
        FreeMemory(b->pcm->data);
        FreeMemory(b->pcm);
    }
    FreeMemory(b);
}

int OpenSoundDevice() {
    SoundDeviceState& d = DeviceState();
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        if (d.open) return -1;
        d.outputRate = kDefaultOutputRate;
    }
    if (platform::Audio().open(kDefaultOutputRate, OutputCallback, nullptr) != 0) return -1;
    std::lock_guard<std::mutex> lock(d.mutex);
    d.open = true;
    return 0;
}

int CloseSoundDevice() {
    SoundDeviceState& d = DeviceState();
    bool wasOpen;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        // A device whose output was lost still holds its buffers.
        if (!d.open && d.buffers.empty()) return -1;
        wasOpen = d.open;
    }
    if (wasOpen) platform::Audio().close();
    std::lock_guard<std::mutex> lock(d.mutex);
    for (SoundBuffer* b : d.buffers) FreeDeviceBuffer(b);
    d.buffers.clear();
    d.mixSource = nullptr;
    d.mixSourceUser = nullptr;
    d.open = false;
    d.outputRate = 0;
    return 0;
}

int CloseSoundDeviceOutput() {
    SoundDeviceState& d = DeviceState();
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        if (!d.open) return -1;
    }
    platform::Audio().close();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.open = false;
    return 0;
}

int IsSoundDeviceOpen() {
    SoundDeviceState& d = DeviceState();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.open ? 1 : 0;
}

int GetSoundDeviceCaps(SoundDeviceCaps* out) {
    if (!out || !IsSoundDeviceOpen()) return -1;
    // Everything is mixed in software: every layout and any rate in range,
    // and no hardware memory.
    out->flags = kCapsPrimaryMono | kCapsPrimaryStereo | kCapsPrimary8Bit | kCapsPrimary16Bit |
                 kCapsContinuousRate | kCapsSecondaryMono | kCapsSecondaryStereo | kCapsSecondary8Bit |
                 kCapsSecondary16Bit;
    out->minSecondaryRate = kFrequencyMin;
    out->maxSecondaryRate = kFrequencyMax;
    out->totalHardwareBytes = 0;
    out->freeHardwareBytes = 0;
    return 0;
}

int GetSoundDeviceOutputRate() {
    SoundDeviceState& d = DeviceState();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.outputRate;
}

int EnumerateSoundDevices(SoundDeviceVisitor visit, void* context) {
    if (!visit) return -1;
    platform::Audio().enumerateDevices(visit, context);
    return 0;
}

int SetDeviceBufferFormat(SoundBuffer* primary, const WAVEFORMATEX* format) {
    if (!primary || primary->pcm || !format || !IsValidPcmFormat(*format)) return -1;
    SoundDeviceState& d = DeviceState();
    int rate = int(format->samplesPerSec);
    bool reopen;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        if (!d.open) return -1;
        reopen = rate != d.outputRate;
    }
    if (reopen) {
        // The host output runs at the primary rate; the mix of every buffer
        // follows it.
        platform::Audio().close();
        if (platform::Audio().open(rate, OutputCallback, nullptr) != 0) {
            if (platform::Audio().open(GetSoundDeviceOutputRate(), OutputCallback, nullptr) != 0) {
                std::lock_guard<std::mutex> lock(d.mutex);
                d.open = false;  // no output any more: fail every later call
            }
            return -1;
        }
    }
    std::lock_guard<std::mutex> lock(d.mutex);
    d.outputRate = rate;
    primary->format = *format;
    for (SoundBuffer* b : d.buffers) {
        if (b->pcm) RefreshVoice(d, b);
    }
    return 0;
}

int SetDeviceMixSource(DeviceMixSource source, void* user) {
    SoundDeviceState& d = DeviceState();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.mixSource = source;
    d.mixSourceUser = user;
    return 0;
}

void MixSoundDevice(int16_t* out, int frames) {
    SoundDeviceState& d = DeviceState();
    std::lock_guard<std::mutex> lock(d.mutex);
    while (frames > 0) {
        int n = frames < kMixChunkFrames ? frames : kMixChunkFrames;
        std::memset(d.accumulator, 0, sizeof(int32_t) * size_t(n) * 2);
        for (SoundBuffer* b : d.buffers) {
            if (b->pcm && b->voice.playing) MixVoiceInto(&b->voice, d.accumulator, n);
        }
        if (d.mixSource) d.mixSource(d.mixSourceUser, d.accumulator, n);
        SaturateMix(d.accumulator, out, n * 2);
        out += n * 2;
        frames -= n;
    }
}

}  // namespace morpotta
