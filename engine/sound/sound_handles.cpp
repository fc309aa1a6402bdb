// Sound handles: the table, creation of loaded sounds (whole PCM in up to
// ten voices that share one buffer's memory) and of stream sounds from
// files and file images, and deletion.
#include "engine/files.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "foundation/engine_thread.h"
#include "sound/sound_internal.h"

#include <cstring>

namespace {

constexpr uint32_t kLoadedFlags =
    kBufferGlobalFocus | kBufferCtrlVolume | kBufferCtrlPan | kBufferCtrlFrequency | kBufferStatic;
constexpr uint32_t kLoadedFallbackFlags = kBufferCtrlVolume | kBufferCtrlPan | kBufferStatic;
constexpr uint32_t kStreamFlags = kBufferGetCurrentPosition2 | kLoadedFlags;

// The creation type for the length of one call; restored on every path.
class CreateTypeScope {
public:
    explicit CreateTypeScope(int type) : saved_(Sound().createType) { Sound().createType = type; }
    ~CreateTypeScope() { Sound().createType = saved_; }

private:
    int saved_;
};

// Copies the PCM into every buffer that owns its memory.
int FillLoadedBuffers(SoundEntry* e) {
    for (int i = 0; i < e->bufferCount; ++i) {
        if (e->duplicate[i] == 1) continue;
        void *p1, *p2;
        uint32_t n1, n2;
        if (LockDeviceBuffer(e->buffers[i].buffer, 0, e->pcmSize, &p1, &n1, &p2, &n2) != 0) {
            return WriteLogFormatW(u"サウンドデータの転送に失敗しました_1");
        }
        CopyByteRange(p1, e->pcm, n1);
        if (p2) CopyByteRange(p2, static_cast<uint8_t*>(e->pcm) + n1, n2);
        if (UnlockDeviceBuffer(e->buffers[i].buffer, p1, n1, p2, n2) != 0) {
            return WriteLogFormatW(u"サウンドデータの転送に失敗しました_2");
        }
    }
    return 0;
}

// A stream sound over a file image, with the creation type of the call.
int MakeStreamFromImage(int handle, const void* image, int size, int type) {
    CreateTypeScope scope(type);
    if (AddStreamMemory(image, size, 0, handle, type) != 0) {
        DeleteSoundHandle(handle);
        return -1;
    }
    PrepareStreamPlayback(handle);
    return handle;
}

}  // namespace

SoundEntry* LookupSound(int handle) {
    SoundModule& m = Sound();
    if (!m.open.load()) return nullptr;
    return static_cast<SoundEntry*>(LookupHandleEntry(&m.table, handle));
}

int SetSoundCreateType(int type) {
    if (type < 0 || type > 3) return -1;
    SoundLockGuard lock(Sound().lock);
    Sound().createType = type == 1 ? 0 : type;
    return 0;
}

int GetSoundCreateType() {
    SoundLockGuard lock(Sound().lock);
    return Sound().createType;
}

int SetSoundReaderMask(int mask) {
    SoundLockGuard lock(Sound().lock);
    Sound().readerMask = mask;
    return 0;
}

int GetSoundReaderMask() {
    SoundLockGuard lock(Sound().lock);
    return Sound().readerMask;
}

// samples * 1000 / rate as whole seconds and the rest, so that no count
// overflows the product; the low 32 bits of the exact quotient.
int SamplesToMilliseconds(int64_t samples, int rate) {
    if (rate <= 0) return 0;
    const int64_t seconds = samples / rate, rest = samples % rate;
    return int(uint32_t(uint64_t(seconds) * 1000u + uint64_t(rest * 1000 / rate)));
}

// Sounds are made and deleted on any thread: the sound lock guards them,
// and on another thread than the engine's the call is a ResourceCall too.
int AddSoundData(int) {
    LoaderResourceCall call;
    SoundModule& m = Sound();
    SoundLockGuard lock(m.lock);
    if (!m.open.load()) return -1;
    if (CountHandleEntries(&m.table) >= kSoundTableSize) return WriteLogFormatW(u"サウンドの数が許容量を越えました");
    auto* e = static_cast<SoundEntry*>(AllocMemoryZero(sizeof(SoundEntry), "", 0));
    if (!e) return WriteLogFormatW(u"メモリ領域の確保に失敗しました in AddSoundData");
    int handle = AddHandleEntry(&m.table, e);
    if (handle < 0) {
        FreeMemory(e);
        return WriteLogFormatW(u"サウンドの数が許容量を越えました");
    }
    e->handle = handle;
    e->volume = 0;
    e->frequency = 0;
    e->stream.pieceCount = 0;
    return handle;
}

int CreateSoundBuffers(const WAVEFORMATEX* format, uint32_t bytes, int streamFlag, int count, int handle) {
    SoundModule& m = Sound();
    SoundLockGuard lock(m.lock);
    SoundEntry* e = LookupSound(handle);
    if (!e || !format) return -1;
    if (streamFlag) {
        uint32_t a = format->blockAlign;
        uint32_t size = (format->avgBytesPerSec & 0xFFFFFF) + a - 1;
        size -= size % a;
        SoundBufferDesc desc{kStreamFlags, size, format};
        if (CreateDeviceBuffer(&desc, &e->buffers[0].buffer) != 0) {
            e->buffers[0].buffer = nullptr;
            return WriteLogFormatW(u"ストリーム風サウンドバッファの作成に失敗しました");
        }
        e->buffers[0].valid = 1;
        e->duplicate[0] = 0;
        e->bufferCount = 1;
        e->kind = kSoundStream;
        InsertListNode(&m.streamHead, &e->stream.node, handle, e);
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
                    return WriteLogFormatW(u"DirectSoundBuffer の作成に失敗しました");
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

int LoadWholeFile(const char* fileName, void** dataOut, int* sizeOut) {
    if (!fileName || !dataOut || !sizeOut) return -1;
    FileHandle file = OpenFileStream(fileName, 0, 1, 0);
    if (!file) return WriteLogFormatW(u"右記のファイルのオープンに失敗しました：%hs", fileName);
    SeekFileStream(file, 0, 2);
    int64_t size = TellFileStream(file);
    SeekFileStream(file, 0, 0);
    void* data = size >= 0 && size <= 0x7FFFFFFF ? AllocMemory(size_t(size ? size : 1), "", 0) : nullptr;
    if (!data) {
        CloseFileStream(file);
        return WriteLogFormatW(u"右記のファイルのロードに必要なメモリの確保に失敗しました：%hs", fileName);
    }
    size_t got = size ? ReadFileStream(data, size_t(size), 1, file) : 1;
    CloseFileStream(file);
    if (got != 1) {
        FreeMemory(data);
        return WriteLogFormatW(u"右記のファイルのオープンに失敗しました：%hs", fileName);
    }
    *dataOut = data;
    *sizeOut = int(size);
    return 0;
}

int CreateSoundHandleFromFile(const char* fileName, int bufferCount, int extraHandle) {
    LoaderResourceCall call;
    SoundModule& m = Sound();
    SoundLockGuard lock(m.lock);
    if (!m.open.load() || !fileName) return -1;
    if (bufferCount > kMaxSoundBuffers) bufferCount = kMaxSoundBuffers;
    if (m.createType != 0) {
        int handle = AddSoundData(-1);
        if (handle < 0) return -1;
        if (AddStreamFile(fileName, 0, handle, m.createType, extraHandle) != 0) {
            DeleteSoundHandle(handle);
            return -1;
        }
        PrepareStreamPlayback(handle);
        return handle;
    }
    void* data;
    int size;
    if (LoadWholeFile(fileName, &data, &size) != 0)
        return WriteLogFormatW(u"右記の音声ファイルのロードに失敗しました_1：%hs", fileName);
    int handle = CreateSoundHandleFromImage(data, size, bufferCount, -1);
    FreeMemory(data);
    if (handle < 0) return WriteLogFormatW(u"右記の音声ファイルのロードに失敗しました_2：%hs", fileName);
    return handle;
}

int LoadSoundFile(const char* fileName, int bufferCount, int extraHandle) {
    return CreateSoundHandleFromFile(fileName, bufferCount, extraHandle);
}

int CreateSoundHandleFromImage(const void* image, int imageSize, int bufferCount, int) {
    LoaderResourceCall call;
    SoundModule& m = Sound();
    SoundLockGuard lock(m.lock);
    if (!m.open.load() || !image || imageSize <= 0) return -1;
    if (bufferCount > kMaxSoundBuffers) return -1;
    int handle = AddSoundData(-1);
    if (handle < 0) return -1;
    if (m.createType != 0) return MakeStreamFromImage(handle, image, imageSize, m.createType);

    MemStream* memStream = OpenMemStream(image, size_t(imageSize));
    if (!memStream) {
        DeleteSoundHandle(handle);
        return WriteLogFormatW(u"音声ファイルのＰＣＭへの変換に失敗しました");
    }
    StreamData stream = MakeMemStreamData(memStream);
    SOUNDCONV conv;
    if (SetupSoundConverter(&stream, &conv) != 0) {
        CloseMemStream(memStream);
        DeleteSoundHandle(handle);
        return WriteLogFormatW(u"音声ファイルのＰＣＭへの変換に失敗しました");
    }
    WAVEFORMATEX format;
    void* pcm;
    int pcmSize;
    int converted = ConvertWholeSound(&conv, &format, &pcm, &pcmSize);
    TerminateSoundConverter(&conv);
    CloseMemStream(memStream);
    if (converted != 0) {
        DeleteSoundHandle(handle);
        return WriteLogFormatW(u"音声ファイルを格納するメモリ領域の確保に失敗しました");
    }
    SoundEntry* e = LookupSound(handle);
    if (pcmSize / int(format.avgBytesPerSec) > kLoadedSoundMaxSeconds || pcmSize < int(format.blockAlign) ||
        CreateSoundBuffers(&format, uint32_t(pcmSize - pcmSize % format.blockAlign), 0, bufferCount, handle) != 0) {
        // Too long to hold whole, or no buffer for it: stream it instead.
        FreeMemory(pcm);
        return MakeStreamFromImage(handle, image, imageSize, 2);
    }
    e->frequency = int(format.samplesPerSec);
    e->references = static_cast<int32_t*>(AllocMemory(sizeof(int32_t), "", 0));
    if (!e->references) {
        FreeMemory(pcm);
        DeleteSoundHandle(handle);
        return WriteLogFormatW(u"サウンドデータの参照数を保存するメモリ領域の確保に失敗しました");
    }
    *e->references = 1;
    e->format = format;
    e->pcm = pcm;
    e->pcmSize = uint32_t(pcmSize - pcmSize % format.blockAlign);
    if (FillLoadedBuffers(e) != 0) {
        DeleteSoundHandle(handle);
        return -1;
    }
    return handle;
}

int DeleteSoundHandle(int handle, int) {
    LoaderResourceCall call;
    SoundModule& m = Sound();
    SoundLockGuard lock(m.lock);
    SoundEntry* e = LookupSound(handle);
    if (!e) return -1;
    if (e->kind == kSoundStream) {
        StopStreamSound(handle);
        ReleaseStreamState(e);
    } else {
        if (e->buffers[0].valid) StopSoundHandle(handle);
        for (int i = 0; i < kMaxSoundBuffers; ++i) ReleasePlaybackBuffer(&e->buffers[i]);
        if (e->references && --*e->references == 0) {
            FreeMemory(e->pcm);
            FreeMemory(e->references);
        }
        e->pcm = nullptr;
        e->references = nullptr;
    }
    RemoveHandleEntry(&m.table, handle);
    FreeMemory(e);
    return 0;
}

int DeleteAllSoundHandles(int) {
    if (!AllowOnlyOnEngineThread("DeleteAllSoundHandles")) return -1;
    SoundModule& m = Sound();
    SoundLockGuard lock(m.lock);
    ForEachHandle(&m.table, [](int handle) { DeleteSoundHandle(handle); });
    return 0;
}
