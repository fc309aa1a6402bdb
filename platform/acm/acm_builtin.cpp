// Builtin audio compression back end: stands in for the host's compression
// manager with codecs of our own. A stream is a codec and its state; a
// header must be prepared on its stream before a conversion.
// Limits: decoding into 16-bit PCM of the source's rate and channels only;
// no encoding, no rate or channel conversion, no filters.
// Depends on: libmpg123 (MPEG audio codec only).
#include "acm/acm_builtin.h"
#include "acm/acm_codec.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace morpotta::platform {

struct AcmStreamState {
    const AcmCodec* codec;
    void* state;
    uint8_t* format;  // a copy of the source format, which the codec reads
};

namespace {

constexpr uint32_t kHeaderPrepared = 0x00020000;
constexpr uint32_t kMaxFormatBytes = 18 + 256;

const AcmCodec* const kCodecs[] = {&kPcmCodec,  &kMsAdpcmCodec, &kImaAdpcmCodec,
                                   &kAlawCodec, &kMulawCodec,   &kMpegCodec};

// The codec that decodes the source, with the PCM it suggests.
const AcmCodec* FindCodec(const AcmWaveFormat* source, uint32_t sourceBytes, AcmWaveFormat* pcm) {
    if (!source || sourceBytes < sizeof(AcmWaveFormat) || sourceBytes > kMaxFormatBytes) return nullptr;
    if (source->extraSize > sourceBytes - sizeof(AcmWaveFormat)) return nullptr;
    for (const AcmCodec* codec : kCodecs)
        if (codec->formatTag == source->formatTag && codec->suggest(source, sourceBytes, pcm)) return codec;
    return nullptr;
}

int FormatSuggest(const AcmWaveFormat* source, uint32_t sourceBytes, AcmWaveFormat* dest, uint32_t destBytes,
                  uint32_t flags) {
    if (!dest || destBytes < sizeof(AcmWaveFormat)) return kAcmError;
    AcmWaveFormat pcm;
    if (!FindCodec(source, sourceBytes, &pcm)) return kAcmBadFormat;
    if ((flags & kAcmSuggestByTag) && dest->formatTag != kWaveFormatPcm) return kAcmBadFormat;
    *dest = pcm;
    return kAcmOk;
}

int StreamOpen(AcmStream* out, const AcmWaveFormat* source, uint32_t sourceBytes, const AcmWaveFormat* dest,
               uint32_t) {
    if (!out) return kAcmError;
    *out = nullptr;
    AcmWaveFormat pcm;
    const AcmCodec* codec = FindCodec(source, sourceBytes, &pcm);
    if (!codec || !dest || std::memcmp(dest, &pcm, sizeof pcm) != 0) return kAcmBadFormat;
    auto* stream = new (std::nothrow) AcmStreamState{codec, nullptr, nullptr};
    if (!stream) return kAcmNoMemory;
    stream->format = static_cast<uint8_t*>(std::malloc(sourceBytes));
    if (stream->format) {
        std::memcpy(stream->format, source, sourceBytes);
        stream->state = codec->open(reinterpret_cast<const AcmWaveFormat*>(stream->format), sourceBytes);
    }
    if (!stream->state) {
        std::free(stream->format);
        delete stream;
        return kAcmNoMemory;
    }
    *out = stream;
    return kAcmOk;
}

int StreamClose(AcmStream stream, uint32_t) {
    if (!stream) return kAcmBadHandle;
    stream->codec->close(stream->state);
    std::free(stream->format);
    delete stream;
    return kAcmOk;
}

int Metrics(uint32_t metric, uint32_t* value) {
    if (!value || metric != kAcmMetricMaxFormatSize) return kAcmError;
    *value = kMaxFormatBytes;
    return kAcmOk;
}

bool HeaderIsWellFormed(const AcmStreamHeader* header) {
    return header && header->size == sizeof(AcmStreamHeader) && header->source && header->dest;
}

int PrepareHeader(AcmStream stream, AcmStreamHeader* header, uint32_t) {
    if (!stream) return kAcmBadHandle;
    if (!HeaderIsWellFormed(header) || (header->status & kHeaderPrepared)) return kAcmBadHeader;
    header->status |= kHeaderPrepared;
    return kAcmOk;
}

int UnprepareHeader(AcmStream stream, AcmStreamHeader* header, uint32_t) {
    if (!stream) return kAcmBadHandle;
    if (!header || !(header->status & kHeaderPrepared)) return kAcmBadHeader;
    header->status &= ~kHeaderPrepared;
    return kAcmOk;
}

int Convert(AcmStream stream, AcmStreamHeader* header, uint32_t) {
    if (!stream) return kAcmBadHandle;
    if (!HeaderIsWellFormed(header) || !(header->status & kHeaderPrepared)) return kAcmBadHeader;
    header->sourceLengthUsed = 0;
    header->destLengthUsed = 0;
    stream->codec->convert(stream->state, header->source, header->sourceLength, header->dest, header->destLength,
                           &header->sourceLengthUsed, &header->destLengthUsed);
    return kAcmOk;
}

int StreamSize(AcmStream stream, uint32_t input, uint32_t* output, uint32_t flags) {
    if (!stream) return kAcmBadHandle;
    if (!output) return kAcmError;
    *output = stream->codec->size(stream->state, input, (flags & kAcmSizeFromDestination) == 0);
    return kAcmOk;
}

}  // namespace

const AcmFunctions kBuiltinAcm = {"builtin",  FormatSuggest, StreamOpen, StreamClose,
                                  Metrics,    PrepareHeader, Convert,    UnprepareHeader,
                                  StreamSize};

AcmWaveFormat MakePcm16Format(const AcmWaveFormat& source) {
    AcmWaveFormat pcm{};
    pcm.formatTag = kWaveFormatPcm;
    pcm.channels = source.channels;
    pcm.samplesPerSec = source.samplesPerSec;
    pcm.blockAlign = uint16_t(source.channels * 2);
    pcm.avgBytesPerSec = source.samplesPerSec * pcm.blockAlign;
    pcm.bitsPerSample = 16;
    pcm.extraSize = 0;
    return pcm;
}

void PutSample16(uint8_t* dest, int value) {
    dest[0] = uint8_t(value);
    dest[1] = uint8_t(value >> 8);
}

uint16_t ReadLe16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace morpotta::platform
