// The sound converter: turns one encoded stream, read through a copy of its
// StreamData, into PCM block by block. The readers stand in a table, tried
// in order at set-up, each skipped when its bit is set in the reader mask.
#pragma once
#include "engine/sound.h"
#include "engine/stream.h"

#include <cstdint>

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

int SetupSoundConverter(StreamData* stream, SOUNDCONV* conv);
int RunSoundConverter(SOUNDCONV* conv, void* dest, int bytes);
int SeekSoundConverter(SOUNDCONV* conv, int samplePosition);
int TerminateSoundConverter(SOUNDCONV* conv);
int GetSoundConverterFormat(SOUNDCONV* conv, WAVEFORMATEX* out);
int64_t GetSoundConverterTotalSize(SOUNDCONV* conv);
int ConvertWholeSound(SOUNDCONV* conv, WAVEFORMATEX* formatOut, void** dataOut, int* sizeOut);

// Readers.
extern const SoundReader kWavePcmReader;
extern const SoundReader kMemPcmReader;
