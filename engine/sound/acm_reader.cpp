// The compression path shared by compressed WAV and MP3: the compressed
// data is held in memory and decoded a step at a time by the main stream;
// a seek forward decodes and discards, a seek back swaps in the spare
// stream, which has decoded nothing.
#include "engine/memory.h"
#include "platform/lasting_state.h"
#include "sound/soundconv.h"

#include <cstring>

namespace morpotta {

namespace {

// One conversion takes this much source at most (a whole source block when
// the codec's blocks are larger, so that they decode at all).
constexpr uint32_t kSourceBytesPerStep = 2048;

struct AcmModule {
    const platform::AcmFunctions* installedAcm = nullptr;
};

AcmModule& InstalledAcm() {
    return platform::LastingState<AcmModule>();
}

}  // namespace

void SetSoundAcmFunctions(const platform::AcmFunctions* functions) { InstalledAcm().installedAcm = functions; }

const platform::AcmFunctions& SoundAcmFunctions() {
    return InstalledAcm().installedAcm ? *InstalledAcm().installedAcm : platform::Acm();
}

bool IsSoundAcmComplete() {
    const platform::AcmFunctions& a = SoundAcmFunctions();
    return a.formatSuggest && a.streamOpen && a.streamClose && a.metrics && a.streamPrepareHeader &&
           a.streamConvert && a.streamUnprepareHeader && a.streamSize;
}

int OpenSoundAcmStream(SOUNDCONV* c, platform::AcmStream* out) {
    const auto* source = reinterpret_cast<const platform::AcmWaveFormat*>(c->acm.sourceFormat);
    const auto* output = reinterpret_cast<const platform::AcmWaveFormat*>(&c->outputFormat);
    return SoundAcmFunctions().streamOpen(out, source, c->acm.sourceFormatBytes, output,
                                          platform::kAcmOpenNonRealtime) == 0
               ? 0
               : -1;
}

void TerminateAcmReader(SOUNDCONV* c) {
    const platform::AcmFunctions& acm = SoundAcmFunctions();
    FreeMemory(c->acm.sourceFormat);
    c->acm.sourceFormat = nullptr;
    if (c->acm.main) acm.streamClose(c->acm.main, 0);
    if (c->acm.spare) acm.streamClose(c->acm.spare, 0);
    c->acm.main = c->acm.spare = nullptr;
    FreeMemory(c->acm.data);
    c->acm.data = nullptr;
}

int StepAcmReader(SOUNDCONV* c) {
    if (!c->acm.main || c->acm.consumed >= c->acm.length) return -1;
    const platform::AcmFunctions& acm = SoundAcmFunctions();
    uint32_t remaining = c->acm.length - c->acm.consumed;
    uint32_t step = c->acm.sourceBlockAlign > kSourceBytesPerStep ? c->acm.sourceBlockAlign : kSourceBytesPerStep;
    platform::AcmStreamHeader header{};
    header.size = sizeof header;
    header.source = c->acm.data + c->acm.consumed;
    header.sourceLength = remaining < step ? remaining : step;
    header.dest = c->buffer;
    header.destLength = uint32_t(c->blockSize);
    if (acm.streamPrepareHeader(c->acm.main, &header, 0) != 0) return -1;
    int converted = acm.streamConvert(c->acm.main, &header, platform::kAcmConvertBlockAlign);
    acm.streamUnprepareHeader(c->acm.main, &header, 0);
    // Nothing produced while data remains (a broken or partial block) ends
    // the sound there.
    if (converted != 0 || header.destLengthUsed == 0 || header.sourceLengthUsed == 0) {
        c->bytesLeft = 0;
        c->acm.consumed = c->acm.length;
        return -1;
    }
    uint32_t used = header.sourceLengthUsed < remaining ? header.sourceLengthUsed : remaining;
    uint32_t produced = header.destLengthUsed < uint32_t(c->blockSize) ? header.destLengthUsed : uint32_t(c->blockSize);
    c->acm.consumed += used;
    c->bytesLeft = int32_t(produced);
    return 0;
}

namespace {

void SkipInBuffer(SOUNDCONV* c, int32_t bytes) {
    c->readOffset += bytes;
    c->outputPosition += bytes;
    c->bytesLeft -= bytes;
}

// The spare stream takes over at the data start; the former main stream is
// opened again as the new spare.
void RestartAcmStream(SOUNDCONV* c) {
    const platform::AcmFunctions& acm = SoundAcmFunctions();
    if (!c->acm.spare) OpenSoundAcmStream(c, &c->acm.spare);
    if (c->acm.main) acm.streamClose(c->acm.main, 0);
    c->acm.main = c->acm.spare;
    c->acm.spare = nullptr;
    c->acm.consumed = 0;
    c->outputPosition = 0;
    c->readOffset = 0;
    c->bytesLeft = 0;
    if (OpenSoundAcmStream(c, &c->acm.spare) != 0) c->acm.spare = nullptr;
    c->acm.spareConsumed = 0;
    c->acm.spareProduced = 0;
}

}  // namespace

int SeekAcmReader(SOUNDCONV* c, int32_t target) {
    if (target < c->outputPosition) RestartAcmStream(c);
    while (target > c->outputPosition + c->bytesLeft) {
        c->outputPosition += c->bytesLeft;
        c->bytesLeft = 0;
        c->readOffset = 0;
        if (StepAcmReader(c) != 0) {
            c->bytesLeft = 0;
            c->endOfData = 1;
            return 0;
        }
    }
    SkipInBuffer(c, target - c->outputPosition);
    return 0;
}

int64_t AcmTotal(SOUNDCONV* c) {
    if (c->acm.totalSamples >= 0) return int64_t(c->outputFormat.blockAlign) * c->acm.totalSamples;
    uint32_t output = 0;
    if (!c->acm.main || SoundAcmFunctions().streamSize(c->acm.main, c->acm.length, &output,
                                                       platform::kAcmSizeFromSource) != 0)
        return 0;
    return output;
}

}  // namespace morpotta
