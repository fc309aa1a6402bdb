// Microsoft ADPCM codec (4 bits per sample): the format's extra bytes give
// the samples per block and the predictor coefficient pairs; each block
// starts with a predictor number, a step and two samples per channel, then
// nibbles high first, channels in turn.
#include "acm/acm_codec.h"

#include <new>
#include <vector>

namespace morpotta::platform {
namespace {

constexpr int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};
constexpr uint32_t kMaxCoefficients = 64;
constexpr int kMaxDelta = 0x7FFFFFFF / 768;

struct MsAdpcmState {
    uint32_t channels;
    uint32_t blockAlign;
    uint32_t samplesPerBlock;
    std::vector<int> coefficients;  // pairs
};

// Extra bytes: samples per block, coefficient count, the pairs.
bool ReadExtra(const AcmWaveFormat* s, uint32_t sourceBytes, uint32_t* samples, uint32_t* count) {
    if (s->extraSize < 4 || sourceBytes < 22) return false;
    const uint8_t* extra = reinterpret_cast<const uint8_t*>(s) + 18;
    *samples = ReadLe16(extra);
    *count = ReadLe16(extra + 2);
    return *count >= 1 && *count <= kMaxCoefficients && 4u + 4u * *count <= s->extraSize;
}

bool MsAdpcmSuggest(const AcmWaveFormat* s, uint32_t sourceBytes, AcmWaveFormat* pcm) {
    uint32_t samples, count;
    if (!IsPlausibleRateAndChannels(*s, 2) || s->bitsPerSample != 4) return false;
    if (!ReadExtra(s, sourceBytes, &samples, &count) || s->blockAlign < 7u * s->channels) return false;
    uint32_t most = (s->blockAlign - 7u * s->channels) * 2u / s->channels + 2u;
    if (samples < 2 || samples > most) return false;
    *pcm = MakePcm16Format(*s);
    return true;
}

void* MsAdpcmOpen(const AcmWaveFormat* s, uint32_t sourceBytes) {
    uint32_t samples = 0, count = 0;
    if (!ReadExtra(s, sourceBytes, &samples, &count)) return nullptr;
    auto* state = new (std::nothrow) MsAdpcmState{s->channels, s->blockAlign, samples, {}};
    if (!state) return nullptr;
    const uint8_t* pairs = reinterpret_cast<const uint8_t*>(s) + 22;
    for (uint32_t i = 0; i < 2 * count; ++i) state->coefficients.push_back(int16_t(ReadLe16(pairs + 2 * i)));
    return state;
}

void MsAdpcmClose(void* state) { delete static_cast<MsAdpcmState*>(state); }

struct MsChannel {
    int coefficient1, coefficient2;
    int delta, sample1, sample2;

    int Decode(int nibble) {
        // Wide arithmetic: hostile blocks grow the step without bound.
        int64_t predicted = (int64_t(sample1) * coefficient1 + int64_t(sample2) * coefficient2) >> 8;
        int64_t signedNibble = nibble - ((nibble & 8) << 1);
        int64_t sample = predicted + signedNibble * delta;
        if (sample > 32767) sample = 32767;
        if (sample < -32768) sample = -32768;
        sample2 = sample1;
        sample1 = int(sample);
        int64_t next = (int64_t(kAdaptation[nibble]) * delta) >> 8;
        delta = next < 16 ? 16 : next > kMaxDelta ? kMaxDelta : int(next);
        return int(sample);
    }
};

void DecodeBlock(const MsAdpcmState& s, const uint8_t* block, uint8_t* out) {
    const uint32_t ch = s.channels, frameBytes = 2 * ch;
    const uint32_t pairs = uint32_t(s.coefficients.size() / 2);
    MsChannel channels[2];
    for (uint32_t c = 0; c < ch; ++c) {
        // A predictor number the format does not have decodes as silence
        // rather than reading outside the table.
        uint32_t predictor = block[c];
        if (predictor >= pairs) {
            for (uint32_t n = 0; n < s.samplesPerBlock; ++n) PutSample16(out + n * frameBytes + 2 * c, 0);
            channels[c] = {0, 0, 16, 0, 0};
            continue;
        }
        channels[c].coefficient1 = s.coefficients[2 * predictor];
        channels[c].coefficient2 = s.coefficients[2 * predictor + 1];
        channels[c].delta = int16_t(ReadLe16(block + ch + 2 * c));
        channels[c].sample1 = int16_t(ReadLe16(block + 3 * ch + 2 * c));
        channels[c].sample2 = int16_t(ReadLe16(block + 5 * ch + 2 * c));
        PutSample16(out + 2 * c, channels[c].sample2);
        PutSample16(out + frameBytes + 2 * c, channels[c].sample1);
    }
    const uint8_t* data = block + 7 * ch;
    for (uint32_t k = 0; k < (s.samplesPerBlock - 2) * ch; ++k) {
        uint32_t c = k % ch;
        int nibble = (k & 1) ? data[k / 2] & 0x0F : data[k / 2] >> 4;
        int value = channels[c].Decode(nibble);
        if (block[c] < pairs) PutSample16(out + (2 + k / ch) * frameBytes + 2 * c, value);
    }
}

void MsAdpcmConvert(void* state, const uint8_t* src, uint32_t srcLen, uint8_t* dst, uint32_t dstLen, uint32_t* srcUsed,
             uint32_t* dstUsed) {
    auto* s = static_cast<MsAdpcmState*>(state);
    ConvertWholeBlocks(s->blockAlign, s->samplesPerBlock * s->channels * 2, src, srcLen, dst, dstLen, srcUsed,
                       dstUsed, [&](const uint8_t* b, uint8_t* o) { DecodeBlock(*s, b, o); });
}

uint32_t MsAdpcmSize(void* state, uint32_t bytes, bool fromSource) {
    auto* s = static_cast<MsAdpcmState*>(state);
    return WholeBlockSize(s->blockAlign, s->samplesPerBlock * s->channels * 2, bytes, fromSource);
}

}  // namespace

const AcmCodec kMsAdpcmCodec = {kWaveFormatMsAdpcm, MsAdpcmSuggest, MsAdpcmOpen, MsAdpcmClose, MsAdpcmConvert, MsAdpcmSize};

}  // namespace morpotta::platform
