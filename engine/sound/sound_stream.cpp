// Stream sounds: adding pieces of source data (from a stream, a file or a
// file image), and releasing them with the sound.
#include "engine/files.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "foundation/engine_thread.h"
#include "foundation/log_internal.h"
#include "sound/sound_internal.h"

#include <cstring>

using namespace morpotta;

namespace morpotta {

namespace {

void PutLe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// The piece's own block read as a memory stream, and its converter on it.
int OpenPieceOverBlock(StreamPiece* piece, const SoundReaderChoice& readers) {
    piece->memStream = OpenMemStream(piece->block, size_t(piece->blockSize));
    if (!piece->memStream) return -1;
    piece->stream = MakeMemStreamData(piece->memStream);
    if (SetupSoundConverter(&piece->stream, &piece->conv, readers) != 0) {
        CloseMemStream(piece->memStream);
        piece->memStream = nullptr;
        return -1;
    }
    return 0;
}

// Everything a piece holds; the source stream too when the sound owns it.
void ReleasePiece(StreamPiece* piece, bool closeSource) {
    bool wasSetUp = piece->conv.initialized != 0;
    StreamData source = piece->conv.stream;
    if (wasSetUp) TerminateSoundConverter(&piece->conv);
    if (closeSource && wasSetUp && piece->createType == 3 && piece->ownsSource && source.functions.close)
        source.functions.close(source.handle);
    if (piece->memStream) CloseMemStream(piece->memStream);
    FreeMemory(piece->block);
    std::memset(piece, 0, sizeof *piece);
}

// Type 0: the source converted whole to PCM and kept as a WAVE image.
int ConvertSourceToWaveImage(StreamData* source, StreamPiece* piece, const SoundReaderChoice& readers) {
    void* copy;
    int copySize;
    if (ReadWholeStream(source, &copy, &copySize) != 0) return Refuse("音声データの読み込みに失敗しました");
    MemStream* mem = OpenMemStream(copy, size_t(copySize));
    WAVEFORMATEX format;
    void* pcm = nullptr;
    int pcmSize = 0;
    int result = -1;
    if (mem) {
        StreamData stream = MakeMemStreamData(mem);
        SOUNDCONV conv;
        if (SetupSoundConverter(&stream, &conv, readers) == 0) {
            result = ConvertWholeSound(&conv, &format, &pcm, &pcmSize);
            TerminateSoundConverter(&conv);
        }
        CloseMemStream(mem);
    }
    FreeMemory(copy);
    if (result != 0) return Refuse("音声データの変換に失敗しました");
    result = BuildWaveImage(&piece->block, &piece->blockSize, &format, 18, pcm, pcmSize);
    FreeMemory(pcm);
    if (result != 0) return -1;
    if (OpenPieceOverBlock(piece, readers) != 0) {
        FreeMemory(piece->block);
        piece->block = nullptr;
        return Refuse("音声データのオープンに失敗しました");
    }
    return 0;
}

void RecountTotalSamples(SoundEntry* e) {
    int64_t total = 0;
    for (int i = 0; i < e->stream.pieceCount; ++i) {
        int64_t bytes = GetSoundConverterTotalSize(&e->stream.pieces[i].conv);
        if (bytes > 0 && e->format.blockAlign) total += bytes / e->format.blockAlign;
    }
    e->stream.totalSamples = total;
}

}  // namespace

int ReadWholeStream(StreamData* stream, void** dataOut, int* sizeOut) {
    stream->functions.seek(stream->handle, 0, 2);
    int64_t size = stream->functions.tell(stream->handle);
    stream->functions.seek(stream->handle, 0, 0);
    void* data = size >= 0 && size <= 0x7FFFFFFF ? AllocMemory(size_t(size ? size : 1), "", 0) : nullptr;
    if (!data) return Refuse("ストリームの読み込みに必要なメモリの確保に失敗しました");
    if (size && stream->functions.read(data, size_t(size), 1, stream->handle) != 1) {
        FreeMemory(data);
        return -1;
    }
    *dataOut = data;
    *sizeOut = int(size);
    return 0;
}

int BuildWaveImage(void** imageOut, int* sizeOut, const void* format, int formatSize, const void* data,
                   int dataSize) {
    int total = formatSize + dataSize + 28;
    auto* image = static_cast<uint8_t*>(AllocMemory(size_t(total), "", 0));
    if (!image) return Refuse("仮WAVEファイルイメージ用のメモリ確保に失敗しました");
    std::memcpy(image, "RIFF", 4);
    PutLe32(image + 4, uint32_t(total - 8));
    std::memcpy(image + 8, "WAVE", 4);
    std::memcpy(image + 12, "fmt ", 4);
    PutLe32(image + 16, uint32_t(formatSize));
    std::memcpy(image + 20, format, size_t(formatSize));
    std::memcpy(image + 20 + formatSize, "data", 4);
    PutLe32(image + 24 + formatSize, uint32_t(dataSize));
    if (dataSize) std::memcpy(image + 28 + formatSize, data, size_t(dataSize));
    *imageOut = image;
    *sizeOut = total;
    return 0;
}

int AddStreamPiece(SoundEntry* e, StreamData* source, int repeatCount, int createType,
                   const SoundReaderChoice& readers, int* keepOut) {
    if (!e || !source) return -1;
    StreamState& s = e->stream;
    // A loaded sound has no pieces but owns voices: it never becomes a stream.
    if ((s.pieceCount > 0 && e->kind != kSoundStream) || (e->kind == kSoundLoaded && (e->bufferCount > 0 || e->pcm)))
        return Refuse("ストリーム風サウンドではないサウンドデータが渡されました");
    if (s.pieceCount > 0) {
        uint32_t status = 0;
        GetPlaybackBufferStatus(&e->buffers[0], &status);
        if (status & kBufferStatusPlaying)
            return Refuse("既に再生中のストリームサウンドデータにデータを追加しようとしました");
        if (s.pieceCount >= kMaxStreamPieces) return Refuse("ストリーム風サウンドの制御データ領域がいっぱいです");
    }
    if (createType != 0 && createType != 2 && createType != 3)
        return Refuse("create type %d, not 0, 2 or 3", createType);
    StreamPiece* piece = &s.pieces[s.pieceCount];
    std::memset(piece, 0, sizeof *piece);
    piece->createType = createType;
    source->functions.seek(source->handle, 0, 0);
    int keep = 1;
    if (createType == 0) {
        if (ConvertSourceToWaveImage(source, piece, readers) != 0) return -1;
    } else if (createType == 2) {
        if (ReadWholeStream(source, &piece->block, &piece->blockSize) != 0)
            return Refuse("音声データの読み込みに失敗しました");
        if (OpenPieceOverBlock(piece, readers) != 0) {
            FreeMemory(piece->block);
            piece->block = nullptr;
            return Refuse("音声データのオープンに失敗しました");
        }
    } else {
        piece->stream = *source;
        if (SetupSoundConverter(&piece->stream, &piece->conv, readers) != 0)
            return Refuse("音声データのオープンに失敗しました");
        keep = 0;
    }
    WAVEFORMATEX format;
    GetSoundConverterFormat(&piece->conv, &format);
    if (s.pieceCount > 0) {
        if (std::memcmp(&format, &e->format, 18) != 0) {
            ReleasePiece(piece, false);
            return Refuse("フォーマットの違う音声データは同時に使うことは出来ません");
        }
    } else {
        e->format = format;
        // The buffer failing is no reason to end the program: the sound is
        // refused and the caller deletes it.
        if (CreateSoundBuffers(e, &format, 0, 1, 1) != 0) {
            ReleasePiece(piece, false);
            return -1;
        }
        GetDeviceBufferSize(e->buffers[0].buffer, &s.bufferSize);
        e->frequency = int(format.samplesPerSec);
    }
    piece->repeatCount = repeatCount & 0xFF;
    s.pieceCount++;
    RecountTotalSamples(e);
    if (keepOut) *keepOut = keep;
    return 0;
}

int AddStreamFilePiece(SoundEntry* e, const char* fileName, int repeatCount, int createType,
                       const SoundReaderChoice& readers) {
    if (!e) return -1;
    if (!fileName) return RefuseNull("file name");
    FileHandle file = OpenFileStream(fileName, 0, 1, 0);
    if (!file) return Refuse("右記のＷＡＶファイルのロードに失敗しました：%s", fileName);
    StreamData stream = MakeFileStreamData(file);
    int keep = 1;
    int added = -1;
    {
        LogSubjectScope subject(SoundFileSubject(fileName));
        added = AddStreamPiece(e, &stream, repeatCount, createType, readers, &keep);
    }
    if (added != 0) {
        CloseFileStream(file);
        return Refuse("右記のＷＡＶファイルのセットアップに失敗しました：%s", fileName);
    }
    if (keep) CloseFileStream(file);
    e->stream.pieces[e->stream.pieceCount - 1].ownsSource = 1;
    return 0;
}

int AddStreamMemoryPiece(SoundEntry* e, const void* image, int imageSize, int repeatCount, int createType,
                         const SoundReaderChoice& readers) {
    if (!e) return -1;
    if (!image || imageSize <= 0) return Refuse("no file image (%s, %d bytes)", image ? "given" : "null", imageSize);
    MemStream* mem = OpenMemStream(image, size_t(imageSize));
    if (!mem) return Refuse("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました");
    StreamData stream = MakeMemStreamData(mem);
    // The image is the caller's: a piece always keeps its own copy.
    if (createType == 3) createType = 2;
    int keep = 1;
    if (AddStreamPiece(e, &stream, repeatCount, createType, readers, &keep) != 0) {
        CloseMemStream(mem);
        return Refuse("ＷＡＶファイルのストリームイメージのセットアップに失敗しました");
    }
    CloseMemStream(mem);
    e->stream.pieces[e->stream.pieceCount - 1].ownsSource = 1;
    return 0;
}

}  // namespace morpotta

// On a sound in the table: under the sound lock, the worker's as well.
int AddStreamFile(const char* fileName, int repeatCount, int handle, int createType, int) {
    const PublicCall call("AddStreamFile");
    if (!AllowOnlyOnEngineThread()) return -1;
    SoundLockGuard lock(Sound().lock);
    SoundEntry* e = GetSoundForCall(handle);
    if (!e || AddStreamFilePiece(e, fileName, repeatCount, createType, CurrentSoundReaderChoice()) != 0) return -1;
    ListStreamEntry(e);
    return 0;
}

int AddStreamMemory(const void* image, int imageSize, int repeatCount, int handle, int createType, int) {
    const PublicCall call("AddStreamMemory");
    if (!AllowOnlyOnEngineThread()) return -1;
    SoundLockGuard lock(Sound().lock);
    SoundEntry* e = GetSoundForCall(handle);
    if (!e || AddStreamMemoryPiece(e, image, imageSize, repeatCount, createType, CurrentSoundReaderChoice()) != 0)
        return -1;
    ListStreamEntry(e);
    return 0;
}

namespace morpotta {

// Out of the stream list already.
void ReleaseStreamState(SoundEntry* e) {
    StreamState& s = e->stream;
    for (int i = 0; i < s.pieceCount; ++i) ReleasePiece(&s.pieces[i], true);
    s.pieceCount = 0;
    ReleasePlaybackBuffer(&e->buffers[0]);
}

}  // namespace morpotta
