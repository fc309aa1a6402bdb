// The sound converter: turns one encoded stream, read through a copy of its
// StreamData, into PCM block by block. The readers stand in a table, tried
// in order at set-up, each skipped when its bit is set in the reader mask.
#pragma once
#include "engine/sound.h"
#include "engine/stream.h"
#include "platform/acm.h"

#include <cstdint>

// vorbisfile's decoder, declared where its header declares it: a type first
// named inside the struct below would be a different one in the engine's
// namespace.
struct OggVorbis_File;

namespace morpotta {

enum SoundConvType {
    SOUNDCONV_TYPE_WAVE = 0,    // PCM WAV read from the stream
    SOUNDCONV_TYPE_ACM = 1,     // compressed WAV or MP3
    SOUNDCONV_TYPE_OGG = 2,     // Ogg Vorbis
    SOUNDCONV_TYPE_MEMPCM = 3,  // PCM decoded beforehand into memory
};

struct SOUNDCONV {
    int32_t initialized;  // 1 after a successful set-up
    int32_t endOfData;    // the reader ran dry; cleared by a seek that moves
    int32_t type;
    StreamData stream;    // the caller's; the converter never closes it
    int32_t formatChunkPosition;
    int32_t formatChunkLength;
    int32_t dataStart;
    int32_t dataLength;
    WAVEFORMATEX outputFormat;
    // Compressed WAV and MP3 through the compression layer. The main
    // stream decodes; the spare waits fresh at the data start so that a
    // seek back never touches the stream.
    struct {
        uint8_t* sourceFormat;  // owned
        uint32_t sourceFormatBytes;
        platform::AcmStream main;
        platform::AcmStream spare;
        uint8_t* data;  // the compressed data, owned
        uint32_t length;
        uint32_t consumed;  // by the main stream
        int32_t totalSamples;  // MP3: from the frame walk; -1 for WAV
        uint32_t spareConsumed;
        uint32_t spareProduced;
        uint32_t sourceBlockAlign;
    } acm;
    struct {
        int32_t opened;
        OggVorbis_File* file;  // owned
        int32_t sampleBytes;
        int32_t atEnd;  // a seek to or past the end: nothing more to decode
    } ogg;
    struct {
        uint8_t* data;  // owned
        uint32_t capacity;
        uint32_t used;
        uint32_t readPosition;
    } memPcm;
    uint8_t* buffer;  // one block, owned
    int32_t blockSize;
    int32_t bytesLeft;
    int32_t readOffset;
    int32_t outputPosition;  // PCM bytes from the start up to the next byte handed out
    int32_t oggSelect;
};

// The converter's stream, through the caller's functions.
inline int64_t TellSoundStream(SOUNDCONV* c) { return c->stream.functions.tell(c->stream.handle); }
inline int SeekSoundStream(SOUNDCONV* c, int64_t offset, int origin) {
    return c->stream.functions.seek(c->stream.handle, offset, origin);
}
inline size_t ReadSoundStream(SOUNDCONV* c, void* buffer, size_t bytes) {
    return c->stream.functions.read(buffer, 1, bytes, c->stream.handle);
}

// The highest average byte rate a WAV or MP3 reader's output may have: the
// output of one second is one block, bounded as a sound buffer is.
constexpr uint32_t kMaxSoundBytesPerSecond = 0xFFFFFF;

// One reader: setup accepts the stream (0) or refuses it (-1) with nothing
// held; step fills the conversion buffer from its start (0) or reports the
// end (-1); seek moves to a byte position of the output.
struct SoundReader {
    int maskBit;
    int (*setup)(SOUNDCONV* conv);
    int (*step)(SOUNDCONV* conv);
    int (*seek)(SOUNDCONV* conv, int32_t target);
    void (*terminate)(SOUNDCONV* conv);
    int64_t (*totalSize)(SOUNDCONV* conv);
    bool rewindOnRefusal;  // seek the stream back to 0 when setup refuses
};

// The reader of a converter type, or null.
const SoundReader* FindSoundReader(int type);

// Which readers a converter chooses from (those whose bit is set in
// skipMask are left out) and which of the two vorbisfile instances it uses:
// 0 for sounds, 1 for a movie's sound track.
struct SoundReaderChoice {
    int skipMask;
    int oggSelect;
};
// The readers the sound settings allow, instance 0.
SoundReaderChoice CurrentSoundReaderChoice();

// 0, or -1 after the refusal: the reason of a reader that knew the data
// and found it broken, or that no reader takes the data.
int SetupSoundConverter(StreamData* stream, SOUNDCONV* conv, const SoundReaderChoice& choice);
inline int SetupSoundConverter(StreamData* stream, SOUNDCONV* conv) {
    return SetupSoundConverter(stream, conv, CurrentSoundReaderChoice());
}
// Whether a reader takes the file image as the converter would: 0; or -1
// after the refusal of a reader that knew the data and found it broken,
// or, when every reader declined it, the refusal noneTakesIt.
int CheckSoundImage(const void* image, size_t size, const SoundReaderChoice& choice, const char* noneTakesIt);
int RunSoundConverter(SOUNDCONV* conv, void* dest, int bytes);
int SeekSoundConverter(SOUNDCONV* conv, int samplePosition);
int TerminateSoundConverter(SOUNDCONV* conv);
int GetSoundConverterFormat(SOUNDCONV* conv, WAVEFORMATEX* out);
int64_t GetSoundConverterTotalSize(SOUNDCONV* conv);
int ConvertWholeSound(SOUNDCONV* conv, WAVEFORMATEX* formatOut, void** dataOut, int* sizeOut);

// The compression functions the ACM readers call; tests put in their own
// (null restores the platform's).
void SetSoundAcmFunctions(const platform::AcmFunctions* functions);
const platform::AcmFunctions& SoundAcmFunctions();

// The compression path shared by the ACM WAV and MP3 readers.
bool IsSoundAcmComplete();
int OpenSoundAcmStream(SOUNDCONV* conv, platform::AcmStream* out);
int StepAcmReader(SOUNDCONV* conv);
int SeekAcmReader(SOUNDCONV* conv, int32_t target);
void TerminateAcmReader(SOUNDCONV* conv);
int64_t AcmTotal(SOUNDCONV* conv);

// WAV chunks shared by the WAV readers. The format body is held in at least
// 18 zero-filled bytes (FreeMemory); null when the head is not RIFF/WAVE +
// optional "bext" + "fmt ". FindWaveDataChunk leaves the stream at the
// data and clamps its length to the bytes present.
int64_t MeasureSoundStream(SOUNDCONV* conv);
uint8_t* ReadWaveFormatChunk(SOUNDCONV* conv, int64_t streamLength, uint32_t* lengthOut);
int FindWaveDataChunk(SOUNDCONV* conv, int64_t streamLength);

// An MPEG audio frame header as the MP3 reader walks it.
struct MP3FRAMEINFO {
    uint8_t layerIndex;
    uint8_t versionIndex;
    uint8_t bitRateIndex;
    uint8_t sampleRateIndex;
    uint8_t padding;
    uint8_t channels;
    uint32_t sampleRate;
    uint32_t bitRate;
    uint32_t frameSize;
    uint32_t samplesPerFrame;
};
// 0; -2 without the frame sync; -1 for a reserved layer, a free-format or
// reserved bit-rate index, or sample-rate index 3.
int ParseMp3FrameHeader(const uint8_t header[4], MP3FRAMEINFO* out);

// Readers, in the order the converter tries them; the in-memory reader is the
// last, decoding the whole stream beforehand.
extern const SoundReader kWavePcmReader;
extern const SoundReader kWaveAcmReader;
extern const SoundReader kOggVorbisReader;
extern const SoundReader kMp3AcmReader;
extern const SoundReader kMemPcmReader;

}  // namespace morpotta
