// Sound: sound handles over the engine's software sound device, loaded
// sounds played by up to ten voices each, and stream sounds decoded while
// they play, refilled by the sound worker thread. Every function returns -1
// (or does nothing) while the sound system is not open.
#pragma once
#include <cstdint>

// The PCM format of a sound: 18 bytes, as WAVE files store it.
#pragma pack(push, 2)
struct WAVEFORMATEX {
    uint16_t formatTag;  // 1: PCM
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes");

// Play types.
constexpr int kPlayTypeNormal = 0;  // wait until the sound ends
constexpr int kPlayTypeBack = 1;    // return at once
constexpr int kPlayTypeLoop = 3;    // loop until stopped

int IsSoundSystemOpen();
// Chooses the output ("sdl2", the default, or "null") for the next start-up.
int SetSoundDeviceBackend(const char* name);

// How the next sounds are made: 0 converted to PCM at load time, 2 stream
// sound over the encoded bytes kept in memory, 3 stream sound reading its
// source while it plays. 1 stores 0; above 3 is refused.
int SetSoundCreateType(int type);
int GetSoundCreateType();
// Converter readers to skip (bit 0 PCM WAV, ...).
int SetSoundReaderMask(int mask);
int GetSoundReaderMask();

int AddSoundData(int extraHandle);
int LoadSoundFile(const char* fileName, int bufferCount, int extraHandle = -1);
int CreateSoundHandleFromFile(const char* fileName, int bufferCount, int extraHandle = -1);
int CreateSoundHandleFromImage(const void* image, int imageSize, int bufferCount, int extraHandle = -1);

int PlaySoundHandle(int handle, int playType, int fromTop = 1);
int StopSoundHandle(int handle);
int IsSoundPlaying(int handle);  // 1, 0, -1 for an invalid handle
int SetSoundVolume(int volume, int handle);  // 0..255
int GetSoundPosition(int handle);   // milliseconds
int GetSoundTotalTime(int handle);  // milliseconds
int GetSoundTotalSamples(int handle);
int DeleteSoundHandle(int handle, int unused = 0);
int DeleteAllSoundHandles(int unused = 0);
// samples * 1000 / rate for any count (cut toward zero), as the low 32 bits
// of the exact result; 0 for a rate of 0 or below.
int SamplesToMilliseconds(int64_t samples, int rate);
// Reads a whole file through the file functions; the block is freed with
// FreeMemory.
int LoadWholeFile(const char* fileName, void** dataOut, int* sizeOut);

// Stream sounds: up to three pieces of source data played one after the
// other (each repeatCount + 1 times) through one looping one-second buffer.
int AddStreamFile(const char* fileName, int repeatCount, int handle, int createType, int extraHandle = -1);
int AddStreamMemory(const void* image, int imageSize, int repeatCount, int handle, int createType,
                    int extraHandle = -1);
int PrepareStreamPlayback(int handle);
int PlayStreamSound(int handle, int playType, int fromTop);
int StopStreamSound(int handle);
int IsStreamSoundPlaying(int handle);
int GetStreamSoundPosition(int handle);
