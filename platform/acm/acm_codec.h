// A codec of the builtin compression back end: what it decodes, the PCM it
// suggests, and conversion of whole source blocks.
#pragma once
#include "platform/acm.h"

#include <cstddef>

namespace morpotta {

namespace platform {

struct AcmCodec {
    uint16_t formatTag;
    // Checks the source format; fills the 16-bit PCM it decodes to.
    bool (*suggest)(const AcmWaveFormat* source, uint32_t sourceBytes, AcmWaveFormat* pcm);
    // Codec state for one stream (the source format stays valid while it
    // lives), or null when memory runs out.
    void* (*open)(const AcmWaveFormat* source, uint32_t sourceBytes);
    void (*close)(void* state);
    // Decodes whole source blocks while their output fits.
    void (*convert)(void* state, const uint8_t* source, uint32_t sourceLength, uint8_t* dest, uint32_t destLength,
                    uint32_t* sourceUsed, uint32_t* destUsed);
    // Output bytes for source bytes (fromSource) or source bytes for output bytes.
    uint32_t (*size)(void* state, uint32_t bytes, bool fromSource);
};

extern const AcmCodec kPcmCodec;
extern const AcmCodec kMsAdpcmCodec;
extern const AcmCodec kImaAdpcmCodec;
extern const AcmCodec kAlawCodec;
extern const AcmCodec kMulawCodec;
extern const AcmCodec kMpegCodec;

// The 16-bit PCM format of the same rate and channel count.
AcmWaveFormat MakePcm16Format(const AcmWaveFormat& source);
void PutSample16(uint8_t* dest, int value);
uint16_t ReadLe16(const uint8_t* p);

}  // namespace platform

namespace platform {

// Whole-block conversion shared by the block codecs: decode(block, out)
// turns sourceBlock bytes into outputBlock bytes.
template <typename Decode>
void ConvertWholeBlocks(uint32_t sourceBlock, uint32_t outputBlock, const uint8_t* source, uint32_t sourceLength,
                        uint8_t* dest, uint32_t destLength, uint32_t* sourceUsed, uint32_t* destUsed,
                        Decode decode) {
    uint32_t blocks = sourceLength / sourceBlock;
    uint32_t room = destLength / outputBlock;
    if (room < blocks) blocks = room;
    for (uint32_t i = 0; i < blocks; ++i) decode(source + size_t(i) * sourceBlock, dest + size_t(i) * outputBlock);
    *sourceUsed = blocks * sourceBlock;
    *destUsed = blocks * outputBlock;
}

// Output bytes for whole source blocks, or the source bytes that fill the
// given output with whole blocks.
inline uint32_t WholeBlockSize(uint32_t sourceBlock, uint32_t outputBlock, uint32_t bytes, bool fromSource) {
    uint64_t n = fromSource ? uint64_t(bytes / sourceBlock) * outputBlock
                            : uint64_t((bytes + outputBlock - 1) / outputBlock) * sourceBlock;
    return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(n);
}

// Rates and channel counts a codec takes at all.
inline bool IsPlausibleRateAndChannels(const AcmWaveFormat& f, int maxChannels) {
    return f.channels >= 1 && f.channels <= maxChannels && f.samplesPerSec >= 1000 && f.samplesPerSec <= 192000;
}

}  // namespace platform

}  // namespace morpotta
