// Buffers of the software sound device: creation, duplicates over shared
// memory, locked regions, play state, cursors and settings.
#include "engine/memory.h"
#include "sound/device/sound_device_state.h"

#include <algorithm>
#include <cstring>

namespace morpotta {

namespace {

uint32_t PlayCursorOf(const SoundBuffer* b) { return uint32_t(b->voice.position >> 32) * b->format.blockAlign; }

SoundBuffer* NewBuffer() { return static_cast<SoundBuffer*>(AllocMemoryZero(sizeof(SoundBuffer), "", 0)); }

}  // namespace

int CreateDeviceBuffer(const SoundBufferDesc* desc, SoundBuffer** out) {
    if (!desc || !out) return -1;
    *out = nullptr;
    SoundDeviceState& d = DeviceState();
    std::unique_lock<std::mutex> lock(d.mutex);
    if (!d.open) return -1;
    if (desc->flags & kBufferPrimary) {
        if (desc->bytes != 0 || desc->format) return -1;
        SoundBuffer* b = NewBuffer();
        if (!b) return -1;
        b->flags = desc->flags;
        b->format = WAVEFORMATEX{1, 2, uint32_t(d.outputRate), uint32_t(d.outputRate) * 4, 4, 16, 0};
        d.buffers.push_back(b);
        *out = b;
        return 0;
    }
    if (!desc->format || !IsValidPcmFormat(*desc->format)) return -1;
    const WAVEFORMATEX& f = *desc->format;
    if (desc->bytes < f.blockAlign || desc->bytes % f.blockAlign != 0) return -1;
    // The memory is made and cleared without the mutex: the mixer and every
    // other buffer's caller go on meanwhile.
    lock.unlock();
    SoundBuffer* b = NewBuffer();
    auto* pcm = static_cast<SharedPcm*>(AllocMemoryZero(sizeof(SharedPcm), "", 0));
    uint8_t* data = static_cast<uint8_t*>(AllocMemory(desc->bytes, "", 0));
    if (b && pcm && data) std::memset(data, f.bitsPerSample == 8 ? 0x80 : 0, desc->bytes);
    lock.lock();
    if (!b || !pcm || !data || !d.open) {
        lock.unlock();
        FreeMemory(b);
        FreeMemory(pcm);
        FreeMemory(data);
        return -1;
    }
    pcm->data = data;
    pcm->size = desc->bytes;
    pcm->references = 1;
    b->pcm = pcm;
    b->flags = desc->flags;
    b->format = f;
    b->volume = 0;
    b->pan = 0;
    b->frequency = f.samplesPerSec;
    b->voice = MixVoice{data, desc->bytes / f.blockAlign, f.channels, f.bitsPerSample, 0, 0, 0, 0, false, false};
    RefreshVoice(d, b);
    d.buffers.push_back(b);
    *out = b;
    return 0;
}

int DuplicateDeviceBuffer(SoundBuffer* source, SoundBuffer** out) {
    if (!out) return -1;
    *out = nullptr;
    if (!IsSecondary(source)) return -1;
    SoundDeviceState& d = DeviceState();
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.open) return -1;
    SoundBuffer* b = NewBuffer();
    if (!b) return -1;
    *b = *source;
    b->voice.playing = false;
    b->voice.looping = false;
    b->voice.position = 0;
    b->pcm->references++;
    d.buffers.push_back(b);
    *out = b;
    return 0;
}

// Out of the list under the mutex; the memory is freed after it, unless
// another buffer still shares it.
int ReleaseDeviceBuffer(SoundBuffer* buffer) {
    if (!buffer) return -1;
    SoundDeviceState& d = DeviceState();
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        auto it = std::find(d.buffers.begin(), d.buffers.end(), buffer);
        if (it == d.buffers.end()) return -1;
        d.buffers.erase(it);
        if (buffer->pcm && buffer->pcm->references > 1) {
            --buffer->pcm->references;
            buffer->pcm = nullptr;
        }
    }
    FreeDeviceBuffer(buffer);
    return 0;
}

int GetDeviceBufferFormat(SoundBuffer* buffer, WAVEFORMATEX* out) {
    if (!buffer || !out) return -1;
    std::lock_guard<std::mutex> lock(DeviceState().mutex);
    *out = buffer->format;
    return 0;
}

int LockDeviceBuffer(SoundBuffer* buffer, uint32_t offset, uint32_t bytes, void** region1, uint32_t* size1,
                     void** region2, uint32_t* size2) {
    if (!IsSecondary(buffer) || !region1 || !size1) return -1;
    std::lock_guard<std::mutex> lock(DeviceState().mutex);
    uint32_t size = buffer->pcm->size;
    if (bytes == 0 || bytes > size || offset >= size) return -1;
    uint32_t first = size - offset < bytes ? size - offset : bytes;
    *region1 = buffer->pcm->data + offset;
    *size1 = first;
    uint32_t rest = bytes - first;
    if (rest && (!region2 || !size2)) return -1;
    if (region2) *region2 = rest ? buffer->pcm->data : nullptr;
    if (size2) *size2 = rest;
    return 0;
}

int UnlockDeviceBuffer(SoundBuffer* buffer, void* region1, uint32_t size1, void* region2, uint32_t size2) {
    if (!IsSecondary(buffer)) return -1;
    std::lock_guard<std::mutex> lock(DeviceState().mutex);
    const uint8_t* begin = buffer->pcm->data;
    const uint8_t* end = begin + buffer->pcm->size;
    auto inside = [&](void* p, uint32_t n) {
        auto* q = static_cast<const uint8_t*>(p);
        return n == 0 || (q >= begin && q <= end && n <= uint32_t(end - q));
    };
    return inside(region1, size1) && inside(region2, size2) ? 0 : -1;
}

int PlayDeviceBuffer(SoundBuffer* buffer, int looping) {
    if (!IsSecondary(buffer)) return -1;
    std::lock_guard<std::mutex> lock(DeviceState().mutex);
    buffer->voice.looping = looping != 0;
    buffer->voice.playing = true;
    return 0;
}

int StopDeviceBuffer(SoundBuffer* buffer) {
    if (!buffer) return -1;
    std::lock_guard<std::mutex> lock(DeviceState().mutex);
    buffer->voice.playing = false;
    return 0;
}

int GetDeviceBufferStatus(SoundBuffer* buffer, uint32_t* status) {
    if (!buffer || !status) return -1;
    std::lock_guard<std::mutex> lock(DeviceState().mutex);
    *status = 0;
    if (buffer->voice.playing) *status = kBufferStatusPlaying | (buffer->voice.looping ? kBufferStatusLooping : 0);
    return 0;
}

int GetDeviceBufferCursors(SoundBuffer* buffer, uint32_t* play, uint32_t* write) {
    if (!IsSecondary(buffer)) return -1;
    std::lock_guard<std::mutex> lock(DeviceState().mutex);
    uint32_t p = PlayCursorOf(buffer);
    if (play) *play = p;
    if (write) {
        uint32_t w = p;
        if (buffer->voice.playing) {
            uint32_t lead = buffer->frequency * kWriteLeadMs / 1000 * buffer->format.blockAlign;
            w = (p + lead) % buffer->pcm->size;
        }
        *write = w;
    }
    return 0;
}

int SetDeviceBufferPosition(SoundBuffer* buffer, uint32_t offset) {
    if (!IsSecondary(buffer)) return -1;
    std::lock_guard<std::mutex> lock(DeviceState().mutex);
    if (offset >= buffer->pcm->size) return -1;
    buffer->voice.position = uint64_t(offset / buffer->format.blockAlign) << 32;
    return 0;
}

int SetDeviceBufferVolume(SoundBuffer* buffer, int volume) {
    if (!IsSecondary(buffer) || !(buffer->flags & kBufferCtrlVolume)) return -1;
    if (volume < kVolumeMin || volume > kVolumeMax) return -1;
    SoundDeviceState& d = DeviceState();
    std::lock_guard<std::mutex> lock(d.mutex);
    buffer->volume = volume;
    RefreshVoice(d, buffer);
    return 0;
}

int SetDeviceBufferPan(SoundBuffer* buffer, int pan) {
    if (!IsSecondary(buffer) || !(buffer->flags & kBufferCtrlPan)) return -1;
    if (pan < kPanLeft || pan > kPanRight) return -1;
    SoundDeviceState& d = DeviceState();
    std::lock_guard<std::mutex> lock(d.mutex);
    buffer->pan = pan;
    RefreshVoice(d, buffer);
    return 0;
}

int SetDeviceBufferFrequency(SoundBuffer* buffer, uint32_t hz) {
    if (!IsSecondary(buffer) || !(buffer->flags & kBufferCtrlFrequency)) return -1;
    if (hz == 0) hz = buffer->format.samplesPerSec;
    if (hz < kFrequencyMin || hz > kFrequencyMax) return -1;
    SoundDeviceState& d = DeviceState();
    std::lock_guard<std::mutex> lock(d.mutex);
    buffer->frequency = hz;
    RefreshVoice(d, buffer);
    return 0;
}

int GetDeviceBufferVolume(SoundBuffer* buffer, int* volume) {
    if (!buffer || !volume) return -1;
    std::lock_guard<std::mutex> lock(DeviceState().mutex);
    *volume = buffer->volume;
    return 0;
}

int GetDeviceBufferFrequency(SoundBuffer* buffer, uint32_t* hz) {
    if (!buffer || !hz) return -1;
    std::lock_guard<std::mutex> lock(DeviceState().mutex);
    *hz = buffer->frequency;
    return 0;
}

int GetDeviceBufferSize(SoundBuffer* buffer, uint32_t* bytes) {
    if (!IsSecondary(buffer) || !bytes) return -1;
    *bytes = buffer->pcm->size;  // fixed for the buffer's life
    return 0;
}

}  // namespace morpotta
