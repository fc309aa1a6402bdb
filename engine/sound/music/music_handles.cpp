// Music handles: the table and the entries that keep a private copy of a
// music file's bytes until it is played.
#include "engine/files.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/music.h"
#include "engine/sound.h"
#include "foundation/engine_thread.h"
#include "foundation/log_internal.h"
#include "platform/lasting_state.h"
#include "sound/mci/mci.h"
#include "sound/music/music_internal.h"
#include "sound/sound_internal.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

using namespace morpotta;

namespace morpotta {

MusicModule& Music() {
    return platform::LastingState<MusicModule>();
}

MusicEntry* LookupMusic(int handle) {
    MusicModule& m = Music();
    if (!IsSoundSystemOpen()) return nullptr;
    return static_cast<MusicEntry*>(LookupHandleEntry(&m.table, handle));
}

MusicEntry* GetMusicForCall(int handle) {
    if (!CheckSoundOpen()) return nullptr;
    MusicEntry* entry = LookupMusic(handle);
    if (!entry) RefuseHandle(handle, HANDLE_KIND_MUSIC);
    return entry;
}

void DeleteMusicTempFile() {
    MusicModule& m = Music();
    if (m.tempPath[0]) std::remove(m.tempPath);
    m.tempFileExists = 0;
}

}  // namespace morpotta

namespace {

// The message music has always given for a full table, which says that
// the program ends; it goes on, the piece of music is just not made.
constexpr char kMusicTableFull[] =
    "ミュージックデータの数が許容量を越えました終了します (the program goes on: no more than 256 pieces of "
    "music are held at once; this one is not made)";
static_assert(kMusicTableSize == 256, "the message says how many pieces of music the table holds");

// Music is a MIDI file the sequencer plays, or a sound a reader takes,
// which plays as a stream sound: 0, or -1 after the refusal saying which it
// is not.
int CheckMusicImage(const void* image, int size) {
    if (IsPlayableMidiImage(image, size_t(size))) return 0;
    if (size >= 4 && std::memcmp(image, "MThd", 4) == 0)
        return Refuse("the MIDI data is cut short or damaged: a chunk runs past its end, or there is no track");
    return CheckSoundImage(image, size_t(size), CurrentSoundReaderChoice(),
                           "the data is no music: no MIDI file, nor a sound any reader takes (PCM or compressed "
                           "WAVE, Ogg Vorbis, MP3)");
}

}  // namespace

int AddMusicData() {
    const PublicCall call("AddMusicData");
    if (!AllowOnlyOnEngineThread()) return -1;
    MusicModule& m = Music();
    if (!CheckSoundOpen() || !IsHandleTableReady(&m.table)) return -1;
    SoundLockGuard lock(Sound().lock);
    auto* entry = static_cast<MusicEntry*>(AllocMemoryZero(sizeof(MusicEntry), "", 0));
    if (!entry) return Refuse("メモリ領域の確保に失敗しました");
    int handle = AddHandleEntry(&m.table, entry);
    if (handle == -1) {
        FreeMemory(entry);
        return RefuseHandleEntry(&m.table, "music table", kMusicTableFull);
    }
    entry->handle = handle;
    return handle;
}

int CreateMusicFromImage(const void* image, int size) {
    const PublicCall call("CreateMusicFromImage");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!CheckSoundOpen()) return -1;
    if (!image || size < 0)
        return Refuse("no file image (%s, %d bytes)", image ? "given" : "null",
                              size);
    if (CheckMusicImage(image, size) != 0) return -1;
    int handle = AddMusicData();
    if (handle == -1) return -1;
    MusicEntry* entry = LookupMusic(handle);
    entry->image = AllocMemory(size_t(size > 0 ? size : 1), "", 0);
    if (!entry->image) {
        Refuse("ミュージックデータを一時的に保存しておくメモリ領域の確保に失敗しました");
        DeleteMusicHandle(handle);
        return -1;
    }
    CopyByteRange(entry->image, image, size_t(size));
    entry->imageSize = size;
    return handle;
}

int LoadMusicMem(const char* fileName) {
    const PublicCall call("LoadMusicMem");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!CheckSoundOpen()) return -1;
    if (!fileName) return RefuseNull("file name");
    FileHandle file = OpenFileStream(fileName, 0, 1, 0);
    if (!file) return Refuse("ミュージックファイル %s の読み込みに失敗しました", fileName);
    SeekFileStream(file, 0, 2);
    int64_t size = TellFileStream(file);
    SeekFileStream(file, 0, 0);
    void* data = size >= 0 && size < INT_MAX ? AllocMemory(size_t(size > 0 ? size : 1), "", 0) : nullptr;
    if (!data) {
        CloseFileStream(file);
        return Refuse("ミュージックファイル %s を読み込むメモリ領域の確保に失敗しました",
                               fileName);
    }
    size_t read = ReadFileStream(data, 1, size_t(size), file);
    CloseFileStream(file);
    if (read != size_t(size)) {
        // A file that shrank under us: its bytes are not what was measured.
        FreeMemory(data);
        return Refuse("ミュージックファイル %s の読み込みに失敗しました", fileName);
    }
    int handle = -1;
    {
        // The reason its data is refused names the file.
        LogSubjectScope subject(std::string(" (ミュージックファイル ") + fileName + ")");
        handle = CreateMusicFromImage(data, int(size));
    }
    FreeMemory(data);
    return handle;
}

int GetMusicPlayState(int handle) {
    const PublicCall call("GetMusicPlayState");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!GetMusicForCall(handle)) return -1;
    return Music().mciPlaying;
}

int DeleteMusicHandle(int handle) {
    const PublicCall call("DeleteMusicHandle");
    if (!AllowOnlyOnEngineThread()) return -1;
    MusicModule& m = Music();
    if (!GetMusicForCall(handle)) return -1;
    if (GetMusicPlayState(handle) == 1) StopMidiMusic(handle);
    SoundLockGuard lock(Sound().lock);
    // Stopping runs message processing, which may have deleted it already.
    MusicEntry* entry = LookupMusic(handle);
    if (!entry) return -1;
    if (entry->image) {
        FillByteRange(entry->image, 0, size_t(entry->imageSize));
        FreeMemory(entry->image);
    }
    RemoveHandleEntry(&m.table, handle);
    FreeMemory(entry);
    return 0;
}

int DeleteAllMusic() {
    const PublicCall call("DeleteAllMusic");
    if (!AllowOnlyOnEngineThread()) return -1;
    ForEachHandle(&Music().table, DeleteMusicHandle);
    return 0;
}

namespace morpotta {

int InitializeMusic() {
    MusicModule& m = Music();
    if (IsHandleTableReady(&m.table)) return 0;
    if (InitHandleTable(&m.table, HANDLE_KIND_MUSIC, kMusicTableSize, kMusicTableSize, 0) != 0) return -1;
    m.currentMusic = 0;
    m.playedAsSound = 0;
    m.mciPlaying = 0;
    m.loop = 0;
    m.lastMidiHandle = -1;
    return 0;
}

void TerminateMusic() {
    MusicModule& m = Music();
    if (!IsHandleTableReady(&m.table)) return;
    // A music played as a sound goes with the sound handles.
    m.currentMusic = 0;
    m.playedAsSound = 0;
    DeleteAllMusic();
    if (m.mciPlaying) {
        MciSendCommandEntry(m.mciDeviceId, MCI_CLOSE, 0, nullptr);
        m.mciPlaying = 0;
    }
    CloseAllMciDevices();
    DeleteMusicTempFile();
    m.tempPath[0] = 0;
    m.loop = 0;
    m.lastMidiHandle = -1;
    TerminateHandleTable(&m.table);
}

}  // namespace morpotta
