// Compressed WAV reader: a RIFF WAVE stream in any format the compression
// layer decodes (ADPCM, A-law, mu-law, ...). The data chunk is read into
// memory once; the ACM path decodes it a second of output at a time.
#include "engine/memory.h"
#include "sound/soundconv.h"

#include <cstring>

namespace morpotta {

namespace {

int FailWaveAcmReader(SOUNDCONV* c) {
    TerminateAcmReader(c);
    return -1;
}

int SetupWaveAcmReader(SOUNDCONV* c) {
    c->acm = {};
    c->acm.totalSamples = -1;
    if (!IsSoundAcmComplete()) return -1;
    int64_t streamLength = MeasureSoundStream(c);
    if (streamLength < 0 || streamLength > 0x7FFFFFFF) return -1;
    uint32_t formatLength;
    c->acm.sourceFormat = ReadWaveFormatChunk(c, streamLength, &formatLength);
    if (!c->acm.sourceFormat) return -1;
    auto* source = reinterpret_cast<platform::AcmWaveFormat*>(c->acm.sourceFormat);
    if (formatLength < 18) source->extraSize = 0;
    if (source->formatTag == 1 && formatLength == 16) {
        source->bitsPerSample = source->channels ? uint16_t(source->blockAlign / source->channels * 8) : 0;
        source->extraSize = 0;
    }
    // Extra bytes the chunk does not hold are not read.
    if (18u + source->extraSize > (formatLength < 18 ? 18u : formatLength)) return FailWaveAcmReader(c);
    c->acm.sourceFormatBytes = 18u + source->extraSize;
    c->acm.sourceBlockAlign = source->blockAlign;
    if (FindWaveDataChunk(c, streamLength) != 0) return FailWaveAcmReader(c);

    const platform::AcmFunctions& acm = SoundAcmFunctions();
    std::memset(&c->outputFormat, 0, sizeof c->outputFormat);
    c->outputFormat.formatTag = 1;
    if (acm.formatSuggest(source, c->acm.sourceFormatBytes, reinterpret_cast<platform::AcmWaveFormat*>(&c->outputFormat),
                          sizeof c->outputFormat, platform::kAcmSuggestByTag) != 0)
        return FailWaveAcmReader(c);
    const WAVEFORMATEX& out = c->outputFormat;
    if (out.blockAlign == 0 || out.avgBytesPerSec < out.blockAlign || out.avgBytesPerSec > kMaxSoundBytesPerSecond)
        return FailWaveAcmReader(c);

    uint32_t length = uint32_t(c->dataLength);
    c->acm.data = static_cast<uint8_t*>(AllocMemory(length ? length : 1, "", 0));
    if (!c->acm.data) return FailWaveAcmReader(c);
    c->acm.length = uint32_t(c->stream.functions.read(c->acm.data, 1, length, c->stream.handle));
    SeekSoundStream(c, c->dataStart, 0);
    c->acm.consumed = 0;
    if (OpenSoundAcmStream(c, &c->acm.main) != 0 || OpenSoundAcmStream(c, &c->acm.spare) != 0)
        return FailWaveAcmReader(c);
    c->blockSize = int32_t(out.avgBytesPerSec);
    c->type = SOUNDCONV_TYPE_ACM;
    return 0;
}

}  // namespace

const SoundReader kWaveAcmReader = {1,         SetupWaveAcmReader, StepAcmReader, SeekAcmReader, TerminateAcmReader,
                                    AcmTotal, true};

}  // namespace morpotta
