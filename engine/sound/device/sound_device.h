// The engine's software sound device: secondary buffers (rings of PCM with
// a play cursor, write cursor, volume, pan and frequency) mixed in software
// into the host's audio output, and a primary buffer whose format sets the
// output rate. The sound module above it is written against these calls
// only; the host output is platform/audio.h.
#pragma once
#include "engine/sound.h"

#include <cstdint>

namespace morpotta {

struct SoundBuffer;  // one secondary (or the primary) buffer

// Buffer creation flags.
constexpr uint32_t kBufferPrimary = 0x1;
constexpr uint32_t kBufferStatic = 0x2;
constexpr uint32_t kBufferCtrlFrequency = 0x20;
constexpr uint32_t kBufferCtrlPan = 0x40;
constexpr uint32_t kBufferCtrlVolume = 0x80;
constexpr uint32_t kBufferGlobalFocus = 0x8000;
constexpr uint32_t kBufferGetCurrentPosition2 = 0x10000;

// Status bits.
constexpr uint32_t kBufferStatusPlaying = 0x1;
constexpr uint32_t kBufferStatusLooping = 0x4;

// Capability bits.
constexpr uint32_t kCapsPrimaryMono = 0x1;
constexpr uint32_t kCapsPrimaryStereo = 0x2;
constexpr uint32_t kCapsPrimary8Bit = 0x4;
constexpr uint32_t kCapsPrimary16Bit = 0x8;
constexpr uint32_t kCapsContinuousRate = 0x10;
constexpr uint32_t kCapsSecondaryMono = 0x100;
constexpr uint32_t kCapsSecondaryStereo = 0x200;
constexpr uint32_t kCapsSecondary8Bit = 0x400;
constexpr uint32_t kCapsSecondary16Bit = 0x800;

constexpr int kVolumeMin = -10000;  // hundredths of a decibel
constexpr int kVolumeMax = 0;
constexpr int kPanLeft = -10000;
constexpr int kPanRight = 10000;
constexpr uint32_t kFrequencyMin = 100;
constexpr uint32_t kFrequencyMax = 200000;

struct SoundDeviceCaps {
    uint32_t flags;
    uint32_t minSecondaryRate;
    uint32_t maxSecondaryRate;
    uint32_t totalHardwareBytes;
    uint32_t freeHardwareBytes;
};

struct SoundBufferDesc {
    uint32_t flags;
    uint32_t bytes;                // 0 for the primary buffer
    const WAVEFORMATEX* format;    // null for the primary buffer
};

// Opens the host output (the current platform audio back end) at 44100 Hz.
int OpenSoundDevice();
// Releases every buffer and closes the output. 0, or -1 when not open.
int CloseSoundDevice();
// Stops the host output (its thread ends) and keeps the buffers, as an
// output that was lost: CloseSoundDevice frees them later. 0, or -1 when
// no output is open.
int CloseSoundDeviceOutput();
int IsSoundDeviceOpen();
int GetSoundDeviceCaps(SoundDeviceCaps* out);
int GetSoundDeviceOutputRate();
using SoundDeviceVisitor = void (*)(void* context, const char* module, const char* description);
int EnumerateSoundDevices(SoundDeviceVisitor visit, void* context);

int CreateDeviceBuffer(const SoundBufferDesc* desc, SoundBuffer** out);
// A new buffer over the same memory with its own cursor and settings.
int DuplicateDeviceBuffer(SoundBuffer* source, SoundBuffer** out);
int ReleaseDeviceBuffer(SoundBuffer* buffer);
// Primary buffer only: the output format (its rate becomes the mix rate).
int SetDeviceBufferFormat(SoundBuffer* primary, const WAVEFORMATEX* format);
int GetDeviceBufferFormat(SoundBuffer* buffer, WAVEFORMATEX* out);
// bytes from offset, as up to two regions (the second from the buffer's
// start when the range wraps).
int LockDeviceBuffer(SoundBuffer* buffer, uint32_t offset, uint32_t bytes, void** region1, uint32_t* size1,
                     void** region2, uint32_t* size2);
int UnlockDeviceBuffer(SoundBuffer* buffer, void* region1, uint32_t size1, void* region2, uint32_t size2);
int PlayDeviceBuffer(SoundBuffer* buffer, int looping);
int StopDeviceBuffer(SoundBuffer* buffer);
int GetDeviceBufferStatus(SoundBuffer* buffer, uint32_t* status);
int GetDeviceBufferCursors(SoundBuffer* buffer, uint32_t* play, uint32_t* write);  // either may be null
int SetDeviceBufferPosition(SoundBuffer* buffer, uint32_t offset);
int SetDeviceBufferVolume(SoundBuffer* buffer, int volume);
int SetDeviceBufferPan(SoundBuffer* buffer, int pan);
int SetDeviceBufferFrequency(SoundBuffer* buffer, uint32_t hz);  // 0: the format's own rate
int GetDeviceBufferVolume(SoundBuffer* buffer, int* volume);
int GetDeviceBufferFrequency(SoundBuffer* buffer, uint32_t* hz);
int GetDeviceBufferSize(SoundBuffer* buffer, uint32_t* bytes);

// One extra source mixed after the buffers (the MIDI synthesiser): adds
// frames stereo frames at the output rate into accumulator (interleaved,
// 16-bit scale). It runs on the output's thread under the device's lock, so
// once this call has replaced it the previous source runs no more. Null
// removes it.
using DeviceMixSource = void (*)(void* user, int32_t* accumulator, int frames);
int SetDeviceMixSource(DeviceMixSource source, void* user);

// Mixes frames stereo frames of every playing buffer into out: the host
// output's callback.
void MixSoundDevice(int16_t* out, int frames);

}  // namespace morpotta
