// Playing loaded sounds: round robin over their voices, stop, volume and
// position queries. Stream sounds are handed to the stream code.
#include "engine/log.h"
#include "engine/window.h"
#include "foundation/engine_thread.h"
#include "foundation/window_internal.h"
#include "platform/clock.h"
#include "sound/sound_internal.h"

#include <cmath>

using namespace morpotta;

namespace morpotta {

// Without the sound lock, so that the worker keeps refilling meanwhile.
void WaitWhilePlaying(int handle) {
    if (ProcessWindowMessagesCore() != 0) return;
    for (;;) {
        if (IsSoundPlaying(handle) != 1) break;
        platform::SleepMilliseconds(1);
        if (ProcessWindowMessagesCore() != 0) break;
    }
}

namespace {

// Moves to the next voice and sets it up; 1 when it plays and must not be
// disturbed, -1 when it cannot be used.
int PrepareNextPlaybackBuffer(int fromTop, SoundEntry* e) {
    uint32_t cursor = 0;
    if (e->buffers[e->currentBuffer].valid) GetDeviceBufferCursors(e->buffers[e->currentBuffer].buffer, &cursor, nullptr);
    e->currentBuffer = e->bufferCount > 0 ? (e->currentBuffer + 1) % e->bufferCount : 0;
    SoundPlaybackBuffer* record = &e->buffers[e->currentBuffer];
    uint32_t status;
    if (!record->valid || GetPlaybackBufferStatus(record, &status) != 0) return -1;
    if (status & kBufferStatusPlaying) {
        if (!fromTop) return 1;
        StopPlaybackBuffer(record);
    }
    SetPlaybackBufferPosition(record, fromTop ? 0 : cursor);
    SetPlaybackBufferVolume(record, e->volume);
    SetPlaybackBufferPan(record, 0);
    SetPlaybackBufferFrequency(record, e->frequency);
    return 0;
}

}  // namespace

int PlayPlaybackBuffer(SoundPlaybackBuffer* r, int loop) {
    return r->valid ? PlayDeviceBuffer(r->buffer, loop) : -1;
}
int StopPlaybackBuffer(SoundPlaybackBuffer* r) { return r->valid ? StopDeviceBuffer(r->buffer) : -1; }
int GetPlaybackBufferStatus(SoundPlaybackBuffer* r, uint32_t* status) {
    return r->valid ? GetDeviceBufferStatus(r->buffer, status) : -1;
}
int SetPlaybackBufferVolume(SoundPlaybackBuffer* r, int volume) {
    if (!r->valid) return -1;
    SetDeviceBufferVolume(r->buffer, volume);
    return 0;
}
int SetPlaybackBufferPan(SoundPlaybackBuffer* r, int pan) {
    if (!r->valid) return -1;
    SetDeviceBufferPan(r->buffer, pan);
    return 0;
}
int SetPlaybackBufferFrequency(SoundPlaybackBuffer* r, int hz) {
    if (!r->valid) return -1;
    SetDeviceBufferFrequency(r->buffer, uint32_t(hz));
    return 0;
}
int SetPlaybackBufferPosition(SoundPlaybackBuffer* r, uint32_t offset) {
    if (!r->valid) return -1;
    SetDeviceBufferPosition(r->buffer, offset);
    return 0;
}
int ReleasePlaybackBuffer(SoundPlaybackBuffer* r) {
    if (!r->valid) return -1;
    ReleaseDeviceBuffer(r->buffer);
    r->valid = 0;
    r->buffer = nullptr;
    return 0;
}

int VolumeToHundredthsDb(int volume) {
    if (volume > 255) volume = 255;
    if (volume <= 0) return -10000;
    int db = int(std::trunc(std::log10(volume / 255.0) * 10.0 * 100.0));
    return db < -10000 ? -10000 : db;
}

}  // namespace morpotta

int PlaySoundHandle(int handle, int playType, int fromTop) {
    const PublicCall call("PlaySoundHandle");
    if (!AllowOnlyOnEngineThread()) return -1;
    int kind;
    {
        SoundLockGuard lock(Sound().lock);
        SoundEntry* e = GetSoundForCall(handle);
        if (!e) return -1;
        kind = e->kind;
    }
    // Outside the lock: a waiting stream play must let the worker refill.
    if (kind == kSoundStream) return PlayStreamSound(handle, playType, fromTop);
    {
        SoundLockGuard lock(Sound().lock);
        SoundEntry* e = LookupSound(handle);
        if (!e) return -1;
        int prepared = PrepareNextPlaybackBuffer(fromTop, e);
        if (prepared == 1) return 0;
        if (prepared != 0 || PlayPlaybackBuffer(&e->buffers[e->currentBuffer], playType == kPlayTypeLoop) != 0)
            return -1;
    }
    if (playType == kPlayTypeNormal) WaitWhilePlaying(handle);
    return 0;
}

int StopSoundHandle(int handle) {
    const PublicCall call("StopSoundHandle");
    if (!AllowOnlyOnEngineThread()) return -1;
    SoundLockGuard lock(Sound().lock);
    SoundEntry* e = GetSoundForCall(handle);
    if (!e) return -1;
    if (e->kind == kSoundStream) return StopStreamSound(handle);
    for (int i = 0; i < e->bufferCount; ++i) {
        uint32_t status;
        if (GetPlaybackBufferStatus(&e->buffers[i], &status) != 0) return -1;
        if (status & kBufferStatusPlaying) StopPlaybackBuffer(&e->buffers[i]);
    }
    return 0;
}

int IsSoundPlaying(int handle) {
    const PublicCall call("IsSoundPlaying");
    if (!AllowOnlyOnEngineThread()) return -1;
    SoundLockGuard lock(Sound().lock);
    SoundEntry* e = GetSoundForCall(handle);
    if (!e) return -1;
    if (e->kind == kSoundStream) return IsStreamSoundPlaying(handle);
    for (int i = 0; i < e->bufferCount; ++i) {
        uint32_t status;
        if (GetPlaybackBufferStatus(&e->buffers[i], &status) == 0 && (status & kBufferStatusPlaying)) return 1;
    }
    return 0;
}

int SetSoundVolume(int volume, int handle) {
    const PublicCall call("SetSoundVolume");
    if (!AllowOnlyOnEngineThread()) return -1;
    SoundLockGuard lock(Sound().lock);
    SoundEntry* e = GetSoundForCall(handle);
    if (!e) return -1;
    int db = VolumeToHundredthsDb(volume);
    for (int i = 0; i < kMaxSoundBuffers; ++i) SetPlaybackBufferVolume(&e->buffers[i], db);
    e->volume = db;
    return 0;
}

int GetSoundPosition(int handle) {
    const PublicCall call("GetSoundPosition");
    if (!AllowOnlyOnEngineThread()) return -1;
    SoundLockGuard lock(Sound().lock);
    SoundEntry* e = GetSoundForCall(handle);
    if (!e) return -1;
    if (e->kind == kSoundStream) return GetStreamSoundPosition(handle);
    uint32_t cursor = 0;
    if (e->buffers[e->currentBuffer].valid) GetDeviceBufferCursors(e->buffers[e->currentBuffer].buffer, &cursor, nullptr);
    if (e->format.blockAlign == 0) return 0;
    return SamplesToMilliseconds(cursor / e->format.blockAlign, int(e->format.samplesPerSec));
}

int GetSoundTotalSamples(int handle) {
    const PublicCall call("GetSoundTotalSamples");
    SoundLockGuard lock(Sound().lock);
    SoundEntry* e = GetSoundForCall(handle);
    if (!e) return -1;
    if (e->kind == kSoundStream) return int(e->stream.totalSamples);
    return e->format.blockAlign ? int(e->pcmSize / e->format.blockAlign) : 0;
}

int GetSoundTotalTime(int handle) {
    const PublicCall call("GetSoundTotalTime");
    SoundLockGuard lock(Sound().lock);
    SoundEntry* e = GetSoundForCall(handle);
    if (!e) return -1;
    return SamplesToMilliseconds(GetSoundTotalSamples(handle), int(e->format.samplesPerSec));
}
