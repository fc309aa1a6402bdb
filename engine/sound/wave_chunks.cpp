// RIFF WAVE chunks shared by the two WAV readers: the head up to the body
// of "fmt " (an optional "bext" chunk before it is skipped without a pad
// byte, as stored files expect) and the search for "data". Every size the
// file states is checked against the stream's own length.
#include "engine/memory.h"
#include "foundation/public_call.h"
#include "sound/soundconv.h"

#include <cstring>

namespace morpotta {

namespace {

uint32_t ReadLe32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool ReadChunkHeader(SOUNDCONV* c, char id[4], uint32_t* length) {
    uint8_t header[8];
    if (ReadSoundStream(c, header, 8) != 8) return false;
    std::memcpy(id, header, 4);
    *length = ReadLe32(header + 4);
    return true;
}

// A RIFF WAVE stream is known from its first twelve bytes: past them, the
// reader refuses what it cannot read, saying why, rather than declining it.
uint8_t* RefuseWave(const char* why) {
    Refuse("the WAVE data %s", why);
    return nullptr;
}

}  // namespace

int64_t MeasureSoundStream(SOUNDCONV* c) {
    int64_t here = TellSoundStream(c);
    if (SeekSoundStream(c, 0, 2) != 0) return -1;
    int64_t length = TellSoundStream(c);
    SeekSoundStream(c, here, 0);
    return length;
}

uint8_t* ReadWaveFormatChunk(SOUNDCONV* c, int64_t streamLength, uint32_t* lengthOut) {
    uint8_t head[12];
    if (ReadSoundStream(c, head, 12) != 12) return nullptr;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return nullptr;
    char id[4];
    uint32_t length;
    if (!ReadChunkHeader(c, id, &length)) return RefuseWave("is cut short before its format chunk");
    if (std::memcmp(id, "bext", 4) == 0) {
        if (SeekSoundStream(c, length, 1) != 0 || !ReadChunkHeader(c, id, &length))
            return RefuseWave("is cut short before its format chunk");
    }
    if (std::memcmp(id, "fmt ", 4) != 0)
        return RefuseWave("has no format chunk where it belongs (first, or after \"bext\")");
    int64_t position = TellSoundStream(c);
    // Shorter than the 16 bytes every format has, or longer than the file.
    if (length < 16) return RefuseWave("has a format chunk shorter than any format");
    if (int64_t(length) > streamLength - position) return RefuseWave("is cut short inside its format chunk");
    uint32_t held = length < 18 ? 18 : length;
    auto* format = static_cast<uint8_t*>(AllocMemory(held, "", 0));
    if (!format) return RefuseWave("needs more memory for its format chunk than there is");
    std::memset(format, 0, held);
    if (ReadSoundStream(c, format, length) != length) {
        FreeMemory(format);
        return RefuseWave("is cut short inside its format chunk");
    }
    c->formatChunkPosition = int32_t(position);
    c->formatChunkLength = int32_t(length);
    *lengthOut = length;
    return format;
}

int FindWaveDataChunk(SOUNDCONV* c, int64_t streamLength) {
    for (;;) {
        char id[4];
        uint32_t length;
        if (!ReadChunkHeader(c, id, &length)) return RefuseWave("is cut short before its data chunk"), -1;
        if (std::memcmp(id, "data", 4) == 0) {
            // A file cut short keeps the bytes it has, not what its header promised.
            int64_t start = TellSoundStream(c);
            int64_t available = streamLength - start;
            c->dataStart = int32_t(start);
            c->dataLength = int32_t(int64_t(length) < available ? int64_t(length) : available);
            return 0;
        }
        int64_t next = TellSoundStream(c) + int64_t(length) + (length & 1);
        if (next >= streamLength || SeekSoundStream(c, next, 0) != 0)
            return RefuseWave("is cut short before its data chunk"), -1;
    }
}

}  // namespace morpotta
