// In-memory PCM reader: a sound decoded beforehand whose PCM the converter
// holds and hands out a second at a time. Only the decoders that fill it
// make a converter of this type; it never accepts a stream itself.
#include "engine/memory.h"
#include "sound/soundconv.h"

#include <cstring>

namespace {

int SetupMemPcmReader(SOUNDCONV*) { return -1; }  // only made by the decoders that fill it

int StepMemPcmReader(SOUNDCONV* c) {
    if (c->memPcm.readPosition >= c->memPcm.used) return -1;
    uint32_t n = c->memPcm.used - c->memPcm.readPosition;
    if (n > uint32_t(c->blockSize)) n = uint32_t(c->blockSize);
    std::memcpy(c->buffer, c->memPcm.data + c->memPcm.readPosition, n);
    c->bytesLeft = int32_t(n);
    c->memPcm.readPosition += n;
    return 0;
}

int SeekMemPcmReader(SOUNDCONV* c, int32_t target) {
    c->memPcm.readPosition = uint32_t(target) < c->memPcm.used ? uint32_t(target) : c->memPcm.used;
    c->outputPosition = target;
    c->bytesLeft = 0;
    c->readOffset = 0;
    return 0;
}

void TerminateMemPcmReader(SOUNDCONV* c) {
    FreeMemory(c->memPcm.data);
    c->memPcm = {};
}

int64_t MemPcmTotal(SOUNDCONV* c) { return c->memPcm.used; }

}  // namespace

const SoundReader kMemPcmReader = {-1, SetupMemPcmReader, StepMemPcmReader, SeekMemPcmReader, TerminateMemPcmReader,
                                   MemPcmTotal, true};
