// MPEG audio codec over libmpg123 in feed mode: frames are found here and
// each is fed whole, and only when all of its PCM fits the destination, so
// a conversion never holds output back. The decoder settings (output
// format, every frame yielding exactly its samples) are the shared ones.
// Depends on: libmpg123.
#include "acm/acm_codec.h"
#include "acm/mpg123_decoder.h"

#include <new>

namespace morpotta::platform {
namespace {

constexpr uint32_t kSamplesPerFrameMpeg1 = 1152;

struct MpegState {
    mpg123_handle* decoder;
    uint32_t frameBytes;  // output bytes per sample frame
    uint32_t averageBytes;
    uint32_t outputAverage;
};

bool MpegSuggest(const AcmWaveFormat* s, uint32_t, AcmWaveFormat* pcm) {
    if (!IsPlausibleRateAndChannels(*s, 2) || s->avgBytesPerSec == 0) return false;
    *pcm = MakePcm16Format(*s);
    return true;
}

void* MpegOpen(const AcmWaveFormat* s, uint32_t) {
    mpg123_handle* decoder = NewMpegDecoder(long(s->samplesPerSec), s->channels);
    if (!decoder) return nullptr;
    bool ready = mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_NO_READAHEAD, 0) == MPG123_OK &&
                 mpg123_open_feed(decoder) == MPG123_OK;
    auto* state = ready ? new (std::nothrow) MpegState{decoder, 2u * s->channels, s->avgBytesPerSec,
                                                       s->samplesPerSec * 2u * s->channels}
                        : nullptr;
    if (!state) mpg123_delete(decoder);
    return state;
}

void MpegClose(void* state) {
    auto* s = static_cast<MpegState*>(state);
    mpg123_delete(s->decoder);
    delete s;
}

// Decodes what the last feed completed into dest, at most room bytes.
uint32_t Drain(MpegState* s, uint8_t* dest, uint32_t room) {
    uint32_t produced = 0;
    for (;;) {
        size_t done = 0;
        int result = mpg123_read(s->decoder, dest + produced, room - produced, &done);
        produced += uint32_t(done);
        if (result == MPG123_NEW_FORMAT) continue;
        if (result != MPG123_OK || produced >= room || done == 0) return produced;
    }
}

void MpegConvert(void* state, const uint8_t* src, uint32_t srcLen, uint8_t* dst, uint32_t dstLen, uint32_t* srcUsed,
             uint32_t* dstUsed) {
    auto* s = static_cast<MpegState*>(state);
    uint32_t used = 0, produced = 0;
    while (srcLen - used >= 4) {
        MpegFrameHeader frame;
        if (ParseMpegFrameHeader(src + used, &frame) != 0 || frame.frameSize < 4) {
            ++used;  // junk between frames
            continue;
        }
        uint32_t output = frame.samplesPerFrame * s->frameBytes;
        if (frame.frameSize > srcLen - used || output > dstLen - produced) break;
        if (mpg123_feed(s->decoder, src + used, frame.frameSize) != MPG123_OK) break;
        used += frame.frameSize;
        produced += Drain(s, dst + produced, output);
    }
    *srcUsed = used;
    *dstUsed = produced;
}

// A bound from the bit rate, in whole frames: frames vary in size.
uint32_t MpegSize(void* state, uint32_t bytes, bool fromSource) {
    auto* s = static_cast<MpegState*>(state);
    uint64_t frameOutput = uint64_t(kSamplesPerFrameMpeg1) * s->frameBytes;
    uint64_t n = fromSource ? uint64_t(bytes) * s->outputAverage / s->averageBytes + frameOutput
                            : uint64_t(bytes) * s->averageBytes / s->outputAverage;
    return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(n);
}

}  // namespace

const AcmCodec kMpegCodec = {kWaveFormatMpegLayer3, MpegSuggest, MpegOpen, MpegClose, MpegConvert, MpegSize};

}  // namespace morpotta::platform
