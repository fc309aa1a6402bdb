// Sound handles: the table, creation of loaded sounds (whole PCM in up to
// ten voices that share one buffer's memory) and of stream sounds from
// files and file images, and deletion.
#include "engine/files.h"
#include "engine/lifecycle.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "foundation/engine_thread.h"
#include "foundation/log_internal.h"
#include "sound/sound_internal.h"

#include <cstring>

using namespace morpotta;

namespace morpotta {

namespace {

constexpr uint32_t kLoadedFlags =
    kBufferGlobalFocus | kBufferCtrlVolume | kBufferCtrlPan | kBufferCtrlFrequency | kBufferStatic;
constexpr uint32_t kLoadedFallbackFlags = kBufferCtrlVolume | kBufferCtrlPan | kBufferStatic;
constexpr uint32_t kStreamFlags = kBufferGetCurrentPosition2 | kLoadedFlags;

// Copies the PCM into every buffer that owns its memory.
int FillLoadedBuffers(SoundEntry* e) {
    for (int i = 0; i < e->bufferCount; ++i) {
        if (e->duplicate[i] == 1) continue;
        void *p1, *p2;
        uint32_t n1, n2;
        if (LockDeviceBuffer(e->buffers[i].buffer, 0, e->pcmSize, &p1, &n1, &p2, &n2) != 0) {
            return Refuse("サウンドデータの転送に失敗しました_1");
        }
        CopyByteRange(p1, e->pcm, n1);
        if (p2) CopyByteRange(p2, static_cast<uint8_t*>(e->pcm) + n1, n2);
        if (UnlockDeviceBuffer(e->buffers[i].buffer, p1, n1, p2, n2) != 0) {
            return Refuse("サウンドデータの転送に失敗しました_2");
        }
    }
    return 0;
}

// A stream sound over a file image, made in the entry.
int MakeStreamFromImage(SoundEntry* e, const void* image, int size, int type, const SoundReaderChoice& readers) {
    if (AddStreamMemoryPiece(e, image, size, 0, type, readers) != 0) return -1;
    PrepareStreamEntry(e);
    return 0;
}

// The whole PCM of a file image; -1 (logged) when no reader takes it or
// memory is short.
int DecodeWholeImage(const void* image, int imageSize, const SoundReaderChoice& readers, WAVEFORMATEX* format,
                     void** pcm, int* pcmSize) {
    MemStream* memStream = OpenMemStream(image, size_t(imageSize));
    if (!memStream) return Refuse("音声ファイルのＰＣＭへの変換に失敗しました");
    StreamData stream = MakeMemStreamData(memStream);
    SOUNDCONV conv;
    if (SetupSoundConverter(&stream, &conv, readers) != 0) {
        CloseMemStream(memStream);
        return -1;
    }
    int converted = ConvertWholeSound(&conv, format, pcm, pcmSize);
    TerminateSoundConverter(&conv);
    CloseMemStream(memStream);
    if (converted != 0) return Refuse("音声ファイルを格納するメモリ領域の確保に失敗しました");
    return 0;
}

// A sound from a file image into the entry: its PCM held whole in voices
// that share one buffer's memory, unless the settings stream it or it is
// too long to hold (or no buffer can be made for it).
int BuildFromImage(SoundEntry* e, const void* image, int imageSize, int bufferCount,
                   const SoundLoadSettings& settings) {
    if (settings.createType != 0) return MakeStreamFromImage(e, image, imageSize, settings.createType, settings.readers);
    WAVEFORMATEX format;
    void* pcm;
    int pcmSize;
    if (DecodeWholeImage(image, imageSize, settings.readers, &format, &pcm, &pcmSize) != 0) return -1;
    bool held = false;
    {
        // Voices that cannot be made are no refusal: the sound streams.
        InnerAttempt voices;
        held = pcmSize / int(format.avgBytesPerSec) <= kLoadedSoundMaxSeconds && pcmSize >= int(format.blockAlign) &&
               CreateSoundBuffers(e, &format, uint32_t(pcmSize - pcmSize % format.blockAlign), 0, bufferCount) == 0;
    }
    if (!held) {
        FreeMemory(pcm);
        return MakeStreamFromImage(e, image, imageSize, 2, settings.readers);
    }
    e->frequency = int(format.samplesPerSec);
    e->references = static_cast<int32_t*>(AllocMemory(sizeof(int32_t), "", 0));
    if (!e->references) {
        FreeMemory(pcm);
        return Refuse("サウンドデータの参照数を保存するメモリ領域の確保に失敗しました");
    }
    *e->references = 1;
    e->format = format;
    e->pcm = pcm;
    e->pcmSize = uint32_t(pcmSize - pcmSize % format.blockAlign);
    return FillLoadedBuffers(e);
}

int BuildFromFile(SoundEntry* e, const char* fileName, int bufferCount, const SoundLoadSettings& settings) {
    if (settings.createType != 0) {
        if (AddStreamFilePiece(e, fileName, 0, settings.createType, settings.readers) != 0) return -1;
        PrepareStreamEntry(e);
        return 0;
    }
    void* data;
    int size;
    if (LoadWholeFile(fileName, &data, &size) != 0)
        return Refuse("右記の音声ファイルのロードに失敗しました_1：%s", fileName);
    int built = -1;
    {
        LogSubjectScope subject(SoundFileSubject(fileName));
        built = BuildFromImage(e, data, size, bufferCount, settings);
    }
    FreeMemory(data);
    if (built != 0) return Refuse("右記の音声ファイルのロードに失敗しました_2：%s", fileName);
    return 0;
}

// A sound made by build(entry) in an entry of the call's own, with no lock
// held, and entered into the table at the end.
template <typename Build>
int MakeSound(Build build) {
    if (!CheckSoundOpen()) return -1;
    SoundEntry* e = NewSoundEntry();
    if (!e) return Refuse("メモリ領域の確保に失敗しました");
    if (build(e) != 0) {
        FreeSoundEntry(e);
        return -1;
    }
    return EnterSoundEntry(e);
}

}  // namespace

SoundEntry* LookupSound(int handle) {
    SoundModule& m = Sound();
    if (!m.open.load()) return nullptr;
    return static_cast<SoundEntry*>(LookupHandleEntry(&m.table, handle));
}

bool CheckSoundOpen() {
    if (Sound().open.load()) return true;
    if (IsEngineInitialized()) Refuse("the engine runs without a sound device");
    else RefuseEngineNotRunning();
    return false;
}

SoundEntry* GetSoundForCall(int handle) {
    if (!CheckSoundOpen()) return nullptr;
    SoundEntry* e = LookupSound(handle);
    if (!e) RefuseHandle(handle, HANDLE_KIND_SOUND);
    return e;
}

}  // namespace morpotta

// The settings are read by loads on any thread, each on its own.
int SetSoundCreateType(int type) {
    const PublicCall call("SetSoundCreateType");
    if (type < 0 || type > 3) return Refuse("type %d, not 0 to 3", type);
    Sound().createType = type == 1 ? 0 : type;
    return 0;
}

int GetSoundCreateType() { return Sound().createType.load(std::memory_order_relaxed); }

int SetSoundReaderMask(int mask) {
    Sound().readerMask = mask;
    return 0;
}

int GetSoundReaderMask() { return Sound().readerMask.load(std::memory_order_relaxed); }

namespace morpotta {

SoundLoadSettings CurrentSoundLoadSettings() { return SoundLoadSettings{GetSoundCreateType(), CurrentSoundReaderChoice()}; }

}  // namespace morpotta

// samples * 1000 / rate as whole seconds and the rest, so that no count
// overflows the product; the low 32 bits of the exact quotient.
int SamplesToMilliseconds(int64_t samples, int rate) {
    if (rate <= 0) return 0;
    const int64_t seconds = samples / rate, rest = samples % rate;
    return int(uint32_t(uint64_t(seconds) * 1000u + uint64_t(rest * 1000 / rate)));
}

namespace morpotta {

SoundEntry* NewSoundEntry() { return static_cast<SoundEntry*>(AllocMemoryZero(sizeof(SoundEntry), "", 0)); }

int EnterSoundEntry(SoundEntry* e) {
    SoundModule& m = Sound();
    int handle = -1;
    {
        SoundLockGuard lock(m.lock);
        if (m.open.load() && CountHandleEntries(&m.table) < kSoundTableSize)
            handle = AddHandleEntry(&m.table, e, &e->handle);
        if (handle != -1) ListStreamEntry(e);
    }
    if (handle != -1) return handle;
    FreeSoundEntry(e);
    return RefuseHandleEntry(&m.table, "sound table", "サウンドの数が許容量を越えました");
}

void ListStreamEntry(SoundEntry* e) {
    if (e->kind == kSoundStream && !e->stream.node.next)
        InsertListNode(&Sound().streamHead, &e->stream.node, e->handle, e);
}

void FreeSoundEntry(SoundEntry* e) {
    if (e->kind == kSoundStream) {
        ReleaseStreamState(e);
    } else {
        for (int i = 0; i < kMaxSoundBuffers; ++i) ReleasePlaybackBuffer(&e->buffers[i]);
        if (e->references && --*e->references == 0) {
            FreeMemory(e->pcm);
            FreeMemory(e->references);
        }
    }
    FreeMemory(e);
}

}  // namespace morpotta

int AddSoundData(int) {
    LoaderCall call("AddSoundData");
    if (!call.admitted()) return -1;
    return MakeSound([](SoundEntry*) { return 0; });
}

namespace morpotta {

int CreateSoundBuffers(SoundEntry* e, const WAVEFORMATEX* format, uint32_t bytes, int streamFlag, int count) {
    if (!format) return -1;
    if (streamFlag) {
        uint32_t a = format->blockAlign;
        uint32_t size = (format->avgBytesPerSec & 0xFFFFFF) + a - 1;
        size -= size % a;
        SoundBufferDesc desc{kStreamFlags, size, format};
        if (CreateDeviceBuffer(&desc, &e->buffers[0].buffer) != 0) {
            e->buffers[0].buffer = nullptr;
            return Refuse("ストリーム風サウンドバッファの作成に失敗しました");
        }
        e->buffers[0].valid = 1;
        e->duplicate[0] = 0;
        e->bufferCount = 1;
        e->kind = kSoundStream;
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        SoundPlaybackBuffer& record = e->buffers[i];
        if (i == 0) {
            SoundBufferDesc desc{kLoadedFlags, bytes, format};
            if (CreateDeviceBuffer(&desc, &record.buffer) != 0) {
                desc.flags = kLoadedFallbackFlags;
                if (CreateDeviceBuffer(&desc, &record.buffer) != 0) {
                    record.buffer = nullptr;
                    e->bufferCount = 0;
                    return Refuse("DirectSoundBuffer の作成に失敗しました");
                }
            }
            record.valid = 1;
            e->duplicate[0] = 0;
        } else {
            if (DuplicateDeviceBuffer(e->buffers[0].buffer, &record.buffer) != 0) {
                record.buffer = nullptr;
                count = i;
                break;
            }
            record.valid = 1;
            e->duplicate[i] = 1;
        }
    }
    e->bufferCount = count;
    e->kind = kSoundLoaded;
    return 0;
}

}  // namespace morpotta

int LoadWholeFile(const char* fileName, void** dataOut, int* sizeOut) {
    const PublicCall call("LoadWholeFile");
    if (!fileName) return RefuseNull("file name");
    if (!dataOut || !sizeOut) return RefuseNull(dataOut ? "place for the size" : "place for the data");
    FileHandle file = OpenFileStream(fileName, 0, 1, 0);
    if (!file) return Refuse("右記のファイルのオープンに失敗しました：%s", fileName);
    SeekFileStream(file, 0, 2);
    int64_t size = TellFileStream(file);
    SeekFileStream(file, 0, 0);
    void* data = size >= 0 && size <= 0x7FFFFFFF ? AllocMemory(size_t(size ? size : 1), "", 0) : nullptr;
    if (!data) {
        CloseFileStream(file);
        return Refuse("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", fileName);
    }
    size_t got = size ? ReadFileStream(data, size_t(size), 1, file) : 1;
    CloseFileStream(file);
    if (got != 1) {
        FreeMemory(data);
        return Refuse("右記のファイルのオープンに失敗しました：%s", fileName);
    }
    *dataOut = data;
    *sizeOut = int(size);
    return 0;
}

namespace morpotta {

namespace {

int MakeSoundFromFile(const char* fileName, int bufferCount, const SoundLoadSettings& settings) {
    if (!fileName) return RefuseNull("file name");
    if (bufferCount > kMaxSoundBuffers) bufferCount = kMaxSoundBuffers;
    return MakeSound([&](SoundEntry* e) { return BuildFromFile(e, fileName, bufferCount, settings); });
}

}  // namespace

std::string SoundFileSubject(const char* fileName) { return std::string(" (音声ファイル ") + fileName + ")"; }

int CreateSoundHandleFromFileWith(const char* fileName, int bufferCount, const SoundLoadSettings& settings) {
    return MakeSoundFromFile(fileName, bufferCount, settings);
}

}  // namespace morpotta

int CreateSoundHandleFromFile(const char* fileName, int bufferCount, int) {
    LoaderCall call("CreateSoundHandleFromFile");
    if (!call.admitted()) return -1;
    return MakeSoundFromFile(fileName, bufferCount, CurrentSoundLoadSettings());
}

int LoadSoundFile(const char* fileName, int bufferCount, int) {
    LoaderCall call("LoadSoundFile");
    if (!call.admitted()) return -1;
    return MakeSoundFromFile(fileName, bufferCount, CurrentSoundLoadSettings());
}

int CreateSoundHandleFromImage(const void* image, int imageSize, int bufferCount, int) {
    LoaderCall call("CreateSoundHandleFromImage");
    if (!call.admitted()) return -1;
    if (!image || imageSize <= 0) return Refuse("no file image (%s, %d bytes)", image ? "given" : "null", imageSize);
    if (bufferCount > kMaxSoundBuffers) return Refuse("%d voices, more than %d", bufferCount, kMaxSoundBuffers);
    const SoundLoadSettings settings = CurrentSoundLoadSettings();
    return MakeSound([&](SoundEntry* e) { return BuildFromImage(e, image, imageSize, bufferCount, settings); });
}

// The handle goes under the sound lock, stopped; the entry is freed after.
int DeleteSoundHandle(int handle, int) {
    LoaderCall call("DeleteSoundHandle");
    if (!call.admitted()) return -1;
    SoundModule& m = Sound();
    SoundEntry* e = nullptr;
    {
        SoundLockGuard lock(m.lock);
        e = GetSoundForCall(handle);
        if (!e) return -1;
        if (e->kind == kSoundStream) {
            StopStreamSound(handle);
            RemoveListNode(&e->stream.node);
        } else if (e->buffers[0].valid) {
            StopSoundHandle(handle);
        }
        RemoveHandleEntry(&m.table, handle);
    }
    FreeSoundEntry(e);
    return 0;
}

int DeleteAllSoundHandles(int) {
    const PublicCall call("DeleteAllSoundHandles");
    if (!AllowOnlyOnEngineThread()) return -1;
    SoundModule& m = Sound();
    SoundLockGuard lock(m.lock);
    ForEachHandle(&m.table, [](int handle) { DeleteSoundHandle(handle); });
    return 0;
}
