// IMA ADPCM codec (4 bits per sample, WAV block layout): each block starts
// with a 4-byte header per channel (first sample, step index), followed by
// 4-byte groups of eight nibbles per channel in turn, low nibble first.
#include "acm/acm_codec.h"

#include <new>

namespace morpotta::platform {
namespace {

constexpr int16_t kStepSizes[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kIndexSteps[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

struct ImaState {
    uint32_t channels;
    uint32_t blockAlign;
    uint32_t samplesPerBlock;
};

struct ImaChannel {
    int predictor;
    int index;

    int Decode(int nibble) {
        int step = kStepSizes[index];
        int diff = step >> 3;
        if (nibble & 4) diff += step;
        if (nibble & 2) diff += step >> 1;
        if (nibble & 1) diff += step >> 2;
        predictor += (nibble & 8) ? -diff : diff;
        if (predictor > 32767) predictor = 32767;
        if (predictor < -32768) predictor = -32768;
        index += kIndexSteps[nibble & 7];
        if (index < 0) index = 0;
        if (index > 88) index = 88;
        return predictor;
    }
};

uint32_t MaxSamplesPerBlock(const AcmWaveFormat& s) { return (s.blockAlign - 4u * s.channels) * 2u / s.channels + 1u; }

bool ImaAdpcmSuggest(const AcmWaveFormat* s, uint32_t, AcmWaveFormat* pcm) {
    if (!IsPlausibleRateAndChannels(*s, 2) || s->bitsPerSample != 4) return false;
    uint32_t group = 4u * s->channels;
    if (s->blockAlign <= group || (s->blockAlign - group) % group != 0) return false;
    *pcm = MakePcm16Format(*s);
    return true;
}

void* ImaAdpcmOpen(const AcmWaveFormat* s, uint32_t sourceBytes) {
    uint32_t samples = MaxSamplesPerBlock(*s);
    // A stated count smaller than the block holds is what the encoder wrote.
    if (s->extraSize >= 2 && sourceBytes >= 20) {
        uint32_t stated = ReadLe16(reinterpret_cast<const uint8_t*>(s) + 18);
        if (stated >= 1 && stated < samples) samples = stated;
    }
    return new (std::nothrow) ImaState{s->channels, s->blockAlign, samples};
}

void ImaAdpcmClose(void* state) { delete static_cast<ImaState*>(state); }

void DecodeBlock(const ImaState& s, const uint8_t* block, uint8_t* out) {
    const uint32_t ch = s.channels, frameBytes = 2 * ch;
    ImaChannel channels[2];
    for (uint32_t c = 0; c < ch; ++c) {
        const uint8_t* h = block + 4 * c;
        channels[c].predictor = int16_t(ReadLe16(h));
        channels[c].index = h[2] > 88 ? 88 : h[2];
        PutSample16(out + 2 * c, channels[c].predictor);
    }
    const uint8_t* data = block + 4 * ch;
    for (uint32_t n = 1; n < s.samplesPerBlock; ++n) {
        uint32_t k = n - 1;  // nibble number within the channel
        for (uint32_t c = 0; c < ch; ++c) {
            uint8_t byte = data[(k / 8) * 4 * ch + c * 4 + (k % 8) / 2];
            int nibble = (k & 1) ? byte >> 4 : byte & 0x0F;
            PutSample16(out + n * frameBytes + 2 * c, channels[c].Decode(nibble));
        }
    }
}

void ImaAdpcmConvert(void* state, const uint8_t* src, uint32_t srcLen, uint8_t* dst, uint32_t dstLen, uint32_t* srcUsed,
             uint32_t* dstUsed) {
    auto* s = static_cast<ImaState*>(state);
    ConvertWholeBlocks(s->blockAlign, s->samplesPerBlock * s->channels * 2, src, srcLen, dst, dstLen, srcUsed,
                       dstUsed, [&](const uint8_t* b, uint8_t* o) { DecodeBlock(*s, b, o); });
}

uint32_t ImaAdpcmSize(void* state, uint32_t bytes, bool fromSource) {
    auto* s = static_cast<ImaState*>(state);
    return WholeBlockSize(s->blockAlign, s->samplesPerBlock * s->channels * 2, bytes, fromSource);
}

}  // namespace

const AcmCodec kImaAdpcmCodec = {kWaveFormatImaAdpcm, ImaAdpcmSuggest, ImaAdpcmOpen, ImaAdpcmClose, ImaAdpcmConvert, ImaAdpcmSize};

}  // namespace morpotta::platform
