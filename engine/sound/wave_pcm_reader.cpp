// PCM WAV reader: a RIFF WAVE stream whose "fmt " chunk says PCM; the data
// chunk is handed out unchanged, a second of it per block. Every size the
// file states is checked against the stream's own length.
#include "sound/soundconv.h"

#include <cstring>

namespace {

constexpr uint32_t kMaxBytesPerSecond = 0xFFFFFF;

int64_t Tell(SOUNDCONV* c) { return c->stream.functions.tell(c->stream.handle); }
int Seek(SOUNDCONV* c, int64_t offset, int origin) { return c->stream.functions.seek(c->stream.handle, offset, origin); }
size_t Read(SOUNDCONV* c, void* buffer, size_t bytes) {
    return c->stream.functions.read(buffer, 1, bytes, c->stream.handle);
}

uint32_t ReadLe32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

int64_t StreamLength(SOUNDCONV* c) {
    int64_t here = Tell(c);
    if (Seek(c, 0, 2) != 0) return -1;
    int64_t length = Tell(c);
    Seek(c, here, 0);
    return length;
}

bool ReadChunkHeader(SOUNDCONV* c, char id[4], uint32_t* length) {
    uint8_t header[8];
    if (Read(c, header, 8) != 8) return false;
    std::memcpy(id, header, 4);
    *length = ReadLe32(header + 4);
    return true;
}

// The RIFF/WAVE head up to the body of "fmt " (an optional "bext" chunk
// before it is skipped). The body, at most 18 bytes of it, goes to format.
int ReadChunkHead(SOUNDCONV* c, uint8_t format[18], uint32_t* formatLength, int64_t streamLength) {
    uint8_t head[12];
    if (Read(c, head, 12) != 12) return -1;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return -1;
    char id[4];
    uint32_t length;
    if (!ReadChunkHeader(c, id, &length)) return -1;
    if (std::memcmp(id, "bext", 4) == 0) {
        if (Seek(c, length, 1) != 0 || !ReadChunkHeader(c, id, &length)) return -1;
    }
    if (std::memcmp(id, "fmt ", 4) != 0) return -1;
    int64_t position = Tell(c);
    if (length < 16 || int64_t(length) > streamLength - position) return -1;
    c->formatChunkPosition = int32_t(position);
    c->formatChunkLength = int32_t(length);
    std::memset(format, 0, 18);
    uint32_t keep = length < 18 ? length : 18;
    if (Read(c, format, keep) != keep) return -1;
    if (Seek(c, position + length, 0) != 0) return -1;
    *formatLength = length;
    return 0;
}

int SetupWavePcmReader(SOUNDCONV* c) {
    int64_t streamLength = StreamLength(c);
    if (streamLength < 0 || streamLength > 0x7FFFFFFF) return -1;
    uint8_t format[18];
    uint32_t formatLength;
    if (ReadChunkHead(c, format, &formatLength, streamLength) != 0) return -1;
    WAVEFORMATEX f;
    std::memcpy(&f, format, 18);
    if (f.formatTag != 1) return -1;
    if (formatLength == 16) {
        f.bitsPerSample = f.channels ? uint16_t(f.blockAlign / f.channels * 8) : 0;
        f.extraSize = 0;
    }
    // A format that cannot be counted in frames is no sound.
    if (f.channels == 0 || f.blockAlign == 0 || f.samplesPerSec == 0 || f.avgBytesPerSec == 0) return -1;
    // A second of it is one block: bounded by what a sound buffer can hold.
    if (f.avgBytesPerSec > kMaxBytesPerSecond || f.avgBytesPerSec < f.blockAlign) return -1;
    for (;;) {
        char id[4];
        uint32_t length;
        if (!ReadChunkHeader(c, id, &length)) return -1;
        if (std::memcmp(id, "data", 4) == 0) {
            int64_t start = Tell(c);
            int64_t available = streamLength - start;
            c->dataStart = int32_t(start);
            c->dataLength = int32_t(int64_t(length) < available ? int64_t(length) : available);
            break;
        }
        int64_t next = Tell(c) + int64_t(length) + (length & 1);
        if (next >= streamLength || Seek(c, next, 0) != 0) return -1;
    }
    c->outputFormat = f;
    c->blockSize = int32_t(f.avgBytesPerSec);
    c->type = SOUNDCONV_TYPE_WAVE;
    return 0;
}

int StepWavePcmReader(SOUNDCONV* c) {
    int64_t left = int64_t(c->dataLength) - (Tell(c) - c->dataStart);
    if (left <= 0) return -1;
    size_t want = size_t(left < c->blockSize ? left : c->blockSize);
    size_t got = Read(c, c->buffer, want);
    if (got == 0) return -1;
    c->bytesLeft = int32_t(got);
    return 0;
}

int SeekWavePcmReader(SOUNDCONV* c, int32_t target) {
    Seek(c, int64_t(c->dataStart) + target, 0);
    c->outputPosition = target;
    c->bytesLeft = 0;
    c->readOffset = 0;
    return 0;
}

int64_t WavePcmTotal(SOUNDCONV* c) { return c->dataLength; }

}  // namespace

const SoundReader kWavePcmReader = {0, SetupWavePcmReader, StepWavePcmReader, SeekWavePcmReader, nullptr,
                                    WavePcmTotal, true};
