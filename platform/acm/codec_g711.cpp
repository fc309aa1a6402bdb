// A-law and mu-law codecs (8-bit logarithmic samples) to 16-bit PCM, by
// table.
#include "acm/acm_codec.h"

#include <array>
#include <new>

namespace morpotta::platform {
namespace {

int16_t DecodeAlaw(uint8_t code) {
    code ^= 0x55;
    int exponent = (code >> 4) & 7;
    int mantissa = code & 0x0F;
    int magnitude = exponent == 0 ? (mantissa << 4) + 8 : ((mantissa << 4) + 0x108) << (exponent - 1);
    return int16_t((code & 0x80) ? magnitude : -magnitude);
}

int16_t DecodeMulaw(uint8_t code) {
    code = uint8_t(~code);
    int exponent = (code >> 4) & 7;
    int magnitude = (((code & 0x0F) << 3) + 0x84) << exponent;
    magnitude -= 0x84;
    return int16_t((code & 0x80) ? -magnitude : magnitude);
}

template <int16_t (*Decode)(uint8_t)>
const std::array<int16_t, 256>& Table() {
    static const std::array<int16_t, 256> table = [] {
        std::array<int16_t, 256> t{};
        for (int i = 0; i < 256; ++i) t[size_t(i)] = Decode(uint8_t(i));
        return t;
    }();
    return table;
}

bool G711Suggest(const AcmWaveFormat* s, uint32_t, AcmWaveFormat* pcm) {
    if (!IsPlausibleRateAndChannels(*s, 8) || s->bitsPerSample != 8 || s->blockAlign != s->channels) return false;
    *pcm = MakePcm16Format(*s);
    return true;
}

struct LawState {
    const std::array<int16_t, 256>* table;
    uint32_t channels;
};

template <int16_t (*Decode)(uint8_t)>
void* G711Open(const AcmWaveFormat* s, uint32_t) {
    return new (std::nothrow) LawState{&Table<Decode>(), s->channels};
}
void G711Close(void* state) { delete static_cast<LawState*>(state); }

void G711Convert(void* state, const uint8_t* src, uint32_t srcLen, uint8_t* dst, uint32_t dstLen, uint32_t* srcUsed,
             uint32_t* dstUsed) {
    auto* law = static_cast<LawState*>(state);
    ConvertWholeBlocks(1, 2, src, srcLen - srcLen % law->channels, dst, dstLen - dstLen % (2 * law->channels),
                       srcUsed, dstUsed,
                       [&](const uint8_t* b, uint8_t* o) { PutSample16(o, (*law->table)[*b]); });
}

uint32_t G711Size(void* state, uint32_t bytes, bool fromSource) {
    auto* law = static_cast<LawState*>(state);
    return WholeBlockSize(law->channels, law->channels * 2, bytes, fromSource);
}

}  // namespace

const AcmCodec kAlawCodec = {kWaveFormatAlaw, G711Suggest, G711Open<DecodeAlaw>, G711Close, G711Convert, G711Size};
const AcmCodec kMulawCodec = {kWaveFormatMulaw, G711Suggest, G711Open<DecodeMulaw>, G711Close, G711Convert, G711Size};

}  // namespace morpotta::platform
