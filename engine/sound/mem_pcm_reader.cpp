// In-memory PCM reader: a sound decoded beforehand whose PCM the converter
// holds and hands out a second at a time. It is the converter's last
// reader: the stream is decoded whole through a media graph at set-up.
#include "engine/memory.h"
#include "sound/mp3_graph_reader.h"

#include <cstring>

namespace morpotta {

namespace {

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

const SoundReader kMemPcmReader = {4, DecodeMp3WithDirectShow, StepMemPcmReader, SeekMemPcmReader,
                                   TerminateMemPcmReader, MemPcmTotal, true};

}  // namespace morpotta
