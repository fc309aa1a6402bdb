// The sound module's state, shared by its files: the handle table, the
// sound entries, the stream list, the sound lock and the worker thread.
//
// Sounds are made and deleted on any thread. A sound is read, decoded and
// given its buffers in an entry of its maker's own, outside the table and
// without a lock; the sound lock is held only to enter it into the table
// (and the stream list) or to take it out, so that the engine's thread,
// which plays sounds under that lock, waits at most for that. The worker
// and every call on a sound in the table hold the sound lock.
#pragma once
#include "engine/sound.h"
#include "engine/stream.h"
#include "foundation/handle.h"
#include "foundation/list.h"
#include "sound/device/sound_device.h"
#include "sound/soundconv.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace morpotta {

constexpr int kSoundTableSize = 32768;
constexpr int kMaxSoundBuffers = 10;
constexpr int kMaxStreamPieces = 3;
constexpr int kLoadedSoundMaxSeconds = 180;
constexpr int kWorkerPeriodMs = 30;
constexpr int kWorkerEndWaitMs = 500;  // before the process ends without shut-down
constexpr int32_t kStreamNotFilled = -800;  // write offset before the first fill

enum SoundKind { kSoundLoaded = 0, kSoundStream = 1 };

struct SoundPlaybackBuffer {
    int valid;
    SoundBuffer* buffer;
};

struct StreamPiece {
    int repeatCount;
    int createType;
    void* block;  // owned: the encoded file or a WAVE image, or null
    int blockSize;
    MemStream* memStream;  // over block, owned
    StreamData stream;     // what the converter reads
    SOUNDCONV conv;
    int ownsSource;  // the sound closes the source stream when it goes
};

struct StreamState {
    int playType;
    uint32_t bufferSize;  // S: one second, whole frames
    int32_t writeOffset;  // W
    int32_t threshold;    // V: the cursor must reach it before the next refill
    StreamPiece pieces[kMaxStreamPieces];
    int pieceCount;
    int currentPiece;
    int passCount;
    int64_t piecePosition;  // PCM bytes of the current piece produced
    int64_t totalSamples;
    int64_t playedBytes;
    uint32_t lastCursor;
    bool active;
    bool ended;
    bool loopPending;
    bool allPiecesDone;
    int32_t endOffset;   // E
    int32_t endCursor;   // C
    // Once the end is found: the bytes the play cursor still has to travel
    // to E, and where it was last seen. Counting its travel, modulo the
    // ring, is what tells that it passed E, however far it jumps at a time.
    uint32_t endRemaining;
    uint32_t endLastCursor;
    int32_t loopOffset;
    ListNode node;
};

struct SoundEntry {
    int handle;
    SoundPlaybackBuffer buffers[kMaxSoundBuffers];
    int duplicate[kMaxSoundBuffers];
    WAVEFORMATEX format;
    int kind;
    StreamState stream;
    void* pcm;  // loaded sound's PCM, shared through references
    uint32_t pcmSize;
    int32_t* references;
    int bufferCount;
    int currentBuffer;
    int volume;  // hundredths of dB
    int frequency;
};

struct SoundModule {
    std::recursive_mutex lock;  // the sound lock: all sound state
    std::atomic<bool> open{false};
    SoundBuffer* primary = nullptr;
    SoundBuffer* silent = nullptr;
    HandleTable table{};
    ListNode streamHead{};
    ListNode streamTail{};
    std::atomic<int> createType{0};  // read by loads on any thread
    std::atomic<int> readerMask{0};
    int oggSampleBytes = 2;
    // The worker: stopped through the flag and joined, whatever the window
    // is doing.
    std::thread worker;
    std::atomic<bool> workerStop{false};
    std::mutex workerMutex;
    std::condition_variable workerWake;
    // Passes asked for and passes done (under workerMutex), for tests that
    // step the output and then let the worker refill.
    uint64_t workerPassesAsked = 0;
    uint64_t workerPassesDone = 0;
    bool workerEnded = false;  // under workerMutex; told through workerPassDone
    std::condition_variable workerPassDone;
    int processorCountOverride = 0;  // tests: 0 uses the engine's count
};

SoundModule& Sound();
using SoundLockGuard = std::lock_guard<std::recursive_mutex>;

// The entry behind a sound handle, or null (caller holds the lock).
SoundEntry* LookupSound(int handle);
// For the calls that need the sound system: true while it is open; else
// false after a line saying why (the engine is not running, or it runs
// without a sound device).
bool CheckSoundOpen();
// The sound a public call names; null after a line saying why.
SoundEntry* GetSoundForCall(int handle);

// The settings a sound is made with, taken whole when its call begins.
struct SoundLoadSettings {
    int createType;
    SoundReaderChoice readers;
};
SoundLoadSettings CurrentSoundLoadSettings();
// The ending of the lines said while a sound file's data is read (the
// reason a reader refused it names the file): " (音声ファイル <name>)".
std::string SoundFileSubject(const char* fileName);
// CreateSoundHandleFromFile with settings of the caller's own (a music
// file, a movie's sound track), leaving those of every other load alone.
int CreateSoundHandleFromFileWith(const char* fileName, int bufferCount, const SoundLoadSettings& settings);

// A sound being made: a zeroed entry of its maker's own (null when memory
// is short), filled by the calls below without the sound lock, then put in
// the table by EnterSoundEntry, which gives it its handle (the stream list
// too for a stream), or freed with all it holds by FreeSoundEntry. The same
// calls serve an entry in the table with the sound lock held.
SoundEntry* NewSoundEntry();
int EnterSoundEntry(SoundEntry* entry);  // the handle; -1 (entry freed) when the table is full
void FreeSoundEntry(SoundEntry* entry);  // out of the table and the stream list
// Puts an entry of the table that has become a stream in the stream list
// (sound lock held).
void ListStreamEntry(SoundEntry* entry);
int CreateSoundBuffers(SoundEntry* entry, const WAVEFORMATEX* format, uint32_t bytes, int streamFlag, int count);
// A piece of stream data added to the entry (the first makes it a stream):
// from a stream (keepOut 0 when the piece took the stream over), a file or
// a file image. -1 (logged) when it cannot be.
int AddStreamPiece(SoundEntry* entry, StreamData* source, int repeatCount, int createType,
                   const SoundReaderChoice& readers, int* keepOut);
int AddStreamFilePiece(SoundEntry* entry, const char* fileName, int repeatCount, int createType,
                       const SoundReaderChoice& readers);
int AddStreamMemoryPiece(SoundEntry* entry, const void* image, int imageSize, int repeatCount, int createType,
                         const SoundReaderChoice& readers);
// Sets a stream entry up to play from its position and fills its first
// three quarters of a second.
void PrepareStreamEntry(SoundEntry* entry);
void ReleaseStreamState(SoundEntry* entry);
void UpdateStreamPosition(SoundEntry* entry, int64_t cursor);
int BuildWaveImage(void** imageOut, int* sizeOut, const void* format, int formatSize, const void* data,
                   int dataSize);
int ReadWholeStream(StreamData* stream, void** dataOut, int* sizeOut);

// Waits until the sound has ended or the window is gone (play type 0).
void WaitWhilePlaying(int handle);

// Device buffer record wrappers: -1 when the record is not valid.
int PlayPlaybackBuffer(SoundPlaybackBuffer* record, int loop);
int StopPlaybackBuffer(SoundPlaybackBuffer* record);
int GetPlaybackBufferStatus(SoundPlaybackBuffer* record, uint32_t* status);
int SetPlaybackBufferVolume(SoundPlaybackBuffer* record, int volume);
int SetPlaybackBufferPan(SoundPlaybackBuffer* record, int pan);
int SetPlaybackBufferFrequency(SoundPlaybackBuffer* record, int hz);
int SetPlaybackBufferPosition(SoundPlaybackBuffer* record, uint32_t offset);
int ReleasePlaybackBuffer(SoundPlaybackBuffer* record);

// The primary format the capabilities allow.
WAVEFORMATEX ComputePrimaryFormat(const SoundDeviceCaps& caps);
// The volume in hundredths of dB for 0..255.
int VolumeToHundredthsDb(int volume);

// Tests: run the worker as on a machine with this many logical processors
// (0: the engine's count). Takes effect at the next start-up.
void SetSoundProcessorCountForTesting(int count);
bool IsSoundWorkerRunning();
// Tests: wakes the worker and returns once it has made a whole refill pass
// begun after the call.
void RunSoundWorkerPassForTesting();

// Start-up and shut-down (engine start-up and end call them).
int InitializeSoundSystem();
int TerminateSoundSystem();
// The process ends now without shut-down (its window system went away):
// the worker is stopped and the output closed, so that neither runs into
// the end of the process. Nothing else is released.
void StopSoundBeforeProcessEnd();
// Called by message processing on every pass; 0, or -1 while closed.
int UpdateSoftSoundPlayers();
// Stream refills: the worker thread's work, done by message processing
// on one logical processor.
int RefillStreamEntry(SoundEntry* entry);
int RefillStreamSound(int handle);  // takes the sound lock
int RefillStreamSounds();

// Adds sound start-up, end and per-pass work to the engine's life cycle.
void RegisterSoundSubsystem();

}  // namespace morpotta
