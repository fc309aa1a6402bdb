// The structural check of a Standard MIDI File before it reaches the
// synthesiser: header chunk, then chunks whose stated lengths stay inside
// the file. Anything else (an MP3, a WAVE file, a truncated download) is
// refused here, which sends music to its stream-sound road.
#include "sound/mci/mci.h"

#include <cstring>

namespace morpotta {

namespace {

constexpr size_t kChunkHeaderBytes = 8;
constexpr uint32_t kHeaderBytes = 6;

uint32_t ReadBigEndian32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint16_t ReadBigEndian16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

}  // namespace

int IsPlayableMidiImage(const void* image, size_t size) {
    const auto* data = static_cast<const uint8_t*>(image);
    if (!data || size < kChunkHeaderBytes + kHeaderBytes || std::memcmp(data, "MThd", 4) != 0) return 0;
    uint32_t headerLength = ReadBigEndian32(data + 4);
    if (headerLength < kHeaderBytes || headerLength > size - kChunkHeaderBytes) return 0;
    uint16_t format = ReadBigEndian16(data + 8);
    uint16_t trackCount = ReadBigEndian16(data + 10);
    uint16_t division = ReadBigEndian16(data + 12);
    if (format > 2 || trackCount == 0 || division == 0) return 0;
    size_t offset = kChunkHeaderBytes + headerLength;
    int tracks = 0;
    while (size - offset >= kChunkHeaderBytes) {
        uint32_t length = ReadBigEndian32(data + offset + 4);
        if (length > size - offset - kChunkHeaderBytes) return 0;
        if (std::memcmp(data + offset, "MTrk", 4) == 0) ++tracks;
        offset += kChunkHeaderBytes + length;
    }
    return tracks > 0 ? 1 : 0;
}

}  // namespace morpotta
