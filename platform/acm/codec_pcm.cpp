// PCM codec: 8-bit unsigned or 16-bit signed PCM to 16-bit PCM.
#include "acm/acm_codec.h"

#include <cstring>
#include <new>

namespace morpotta::platform {
namespace {

struct PcmState {
    uint32_t channels;
    uint32_t bits;
};

bool PcmSuggest(const AcmWaveFormat* s, uint32_t, AcmWaveFormat* pcm) {
    if (!IsPlausibleRateAndChannels(*s, 8)) return false;
    if (s->bitsPerSample != 8 && s->bitsPerSample != 16) return false;
    if (s->blockAlign != s->channels * s->bitsPerSample / 8) return false;
    *pcm = MakePcm16Format(*s);
    return true;
}

void* PcmOpen(const AcmWaveFormat* s, uint32_t) { return new (std::nothrow) PcmState{s->channels, s->bitsPerSample}; }
void PcmClose(void* state) { delete static_cast<PcmState*>(state); }

void PcmConvert(void* state, const uint8_t* src, uint32_t srcLen, uint8_t* dst, uint32_t dstLen, uint32_t* srcUsed,
             uint32_t* dstUsed) {
    auto* p = static_cast<PcmState*>(state);
    const uint32_t in = p->channels * p->bits / 8, out = p->channels * 2;
    ConvertWholeBlocks(in, out, src, srcLen, dst, dstLen, srcUsed, dstUsed, [&](const uint8_t* b, uint8_t* o) {
        if (p->bits == 16) {
            std::memcpy(o, b, out);
            return;
        }
        for (uint32_t c = 0; c < p->channels; ++c) PutSample16(o + 2 * c, (int(b[c]) - 128) * 256);
    });
}

uint32_t PcmSize(void* state, uint32_t bytes, bool fromSource) {
    auto* p = static_cast<PcmState*>(state);
    return WholeBlockSize(p->channels * p->bits / 8, p->channels * 2, bytes, fromSource);
}

}  // namespace

const AcmCodec kPcmCodec = {kWaveFormatPcm, PcmSuggest, PcmOpen, PcmClose, PcmConvert, PcmSize};

}  // namespace morpotta::platform
