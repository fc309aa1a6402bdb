// PCM WAV reader: a RIFF WAVE stream whose "fmt " chunk says PCM; the data
// chunk is handed out unchanged, a second of it per block.
#include "engine/memory.h"
#include "sound/soundconv.h"

#include <cstring>

namespace morpotta {

namespace {

int SetupWavePcmReader(SOUNDCONV* c) {
    int64_t streamLength = MeasureSoundStream(c);
    if (streamLength < 0 || streamLength > 0x7FFFFFFF) return -1;
    uint32_t formatLength;
    uint8_t* format = ReadWaveFormatChunk(c, streamLength, &formatLength);
    if (!format) return -1;
    WAVEFORMATEX f;
    std::memcpy(&f, format, 18);
    FreeMemory(format);
    if (f.formatTag != 1) return -1;
    if (formatLength == 16) {
        f.bitsPerSample = f.channels ? uint16_t(f.blockAlign / f.channels * 8) : 0;
        f.extraSize = 0;
    }
    // A format that cannot be counted in frames is no sound.
    if (f.channels == 0 || f.blockAlign == 0 || f.samplesPerSec == 0 || f.avgBytesPerSec == 0) return -1;
    // A second of it is one block: bounded by what a sound buffer can hold.
    if (f.avgBytesPerSec > kMaxSoundBytesPerSecond || f.avgBytesPerSec < f.blockAlign) return -1;
    if (FindWaveDataChunk(c, streamLength) != 0) return -1;
    c->outputFormat = f;
    c->blockSize = int32_t(f.avgBytesPerSec);
    c->type = SOUNDCONV_TYPE_WAVE;
    return 0;
}

int StepWavePcmReader(SOUNDCONV* c) {
    int64_t left = int64_t(c->dataLength) - (TellSoundStream(c) - c->dataStart);
    if (left <= 0) return -1;
    size_t want = size_t(left < c->blockSize ? left : c->blockSize);
    size_t got = ReadSoundStream(c, c->buffer, want);
    if (got == 0) return -1;
    c->bytesLeft = int32_t(got);
    return 0;
}

int SeekWavePcmReader(SOUNDCONV* c, int32_t target) {
    SeekSoundStream(c, int64_t(c->dataStart) + target, 0);
    c->outputPosition = target;
    c->bytesLeft = 0;
    c->readOffset = 0;
    return 0;
}

int64_t WavePcmTotal(SOUNDCONV* c) { return c->dataLength; }

}  // namespace

const SoundReader kWavePcmReader = {0, SetupWavePcmReader, StepWavePcmReader, SeekWavePcmReader, nullptr,
                                    WavePcmTotal, true};

}  // namespace morpotta
