// The engine's block codec: byte-oriented LZ77 with an escape byte.
//
// Block layout (all integers little-endian):
//   offset 0  u32  expanded size
//   offset 4  u32  packed size (bytes that follow the header)
//   offset 8  u8   escape byte E
//   offset 9  packed bytes, a sequence of
//     b (b != E)            one literal byte b
//     E 0x00                one literal byte E
//     E L [X] D             a match: copy length bytes from distance D back
//                           in the output (overlap allowed); L in 1..255 gives
//                           length L + 3; when L is 255 the varint X follows
//                           and is added; D is a varint >= 1
//   A varint is little-endian base 128, at most 5 bytes, fitting 32 bits.
// The compressor picks the least frequent byte as E, so literals cost at
// most 1 + 1/256 bytes each. Decoding is bounded by the block and the
// output: every inconsistency gives -1, never a read or write outside them.
#include "engine/files.h"

#include "engine/log.h"
#include "foundation/public_call.h"

#include <cstring>
#include <vector>

using namespace morpotta;

namespace {

constexpr size_t kCodecHeaderSize = 9;
constexpr size_t kMinMatch = 4;
constexpr size_t kShortMatchLimit = 254 + 3;  // longest length without an extension
constexpr int kHashBits = 16;
constexpr size_t kWindow = size_t(1) << 18;
constexpr int kChainDepth = 32;

uint32_t ReadU32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteU32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = (unsigned char)(v >> (8 * i));
}

// False when the varint runs off the end or does not fit 32 bits.
bool ReadVarint(const unsigned char*& p, const unsigned char* end, uint32_t* value) {
    uint64_t v = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        if (p >= end) return false;
        unsigned char b = *p++;
        v |= uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80)) {
            if (v > 0xFFFFFFFFu) return false;
            *value = uint32_t(v);
            return true;
        }
    }
    return false;
}

size_t VarintLength(uint32_t v) {
    size_t n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

void WriteVarint(std::vector<unsigned char>& out, uint32_t v) {
    while (v >= 0x80) {
        out.push_back((unsigned char)(v | 0x80));
        v >>= 7;
    }
    out.push_back((unsigned char)v);
}

int FailCodec(const char* why) { return Refuse("block codec: %s", why); }

int64_t Decode(const unsigned char* in, const unsigned char* end, unsigned char escape, unsigned char* out,
               size_t expanded) {
    size_t produced = 0;
    while (in < end) {
        unsigned char b = *in++;
        if (b != escape) {
            if (produced >= expanded) return FailCodec("more output than the header says");
            out[produced++] = b;
            continue;
        }
        if (in >= end) return FailCodec("escape at the end of the block");
        unsigned char code = *in++;
        if (code == 0) {
            if (produced >= expanded) return FailCodec("more output than the header says");
            out[produced++] = escape;
            continue;
        }
        uint64_t length = uint64_t(code) + 3;
        if (code == 255) {
            uint32_t extra;
            if (!ReadVarint(in, end, &extra)) return FailCodec("bad length");
            length += extra;
        }
        uint32_t distance;
        if (!ReadVarint(in, end, &distance)) return FailCodec("bad distance");
        if (distance == 0 || distance > produced) return FailCodec("match reaches before the start");
        if (length > expanded - produced) return FailCodec("more output than the header says");
        unsigned char* dst = out + produced;
        const unsigned char* src = dst - distance;
        if (distance >= length) {
            std::memcpy(dst, src, size_t(length));
        } else {
            for (size_t i = 0; i < length; ++i) dst[i] = src[i];
        }
        produced += size_t(length);
    }
    if (produced != expanded) return FailCodec("less output than the header says");
    return int64_t(expanded);
}

uint32_t Hash4(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return (v * 2654435761u) >> (32 - kHashBits);
}

unsigned char LeastFrequentByte(const unsigned char* data, size_t size) {
    std::vector<size_t> counts(256, 0);
    for (size_t i = 0; i < size; ++i) counts[data[i]]++;
    unsigned char best = 0;
    for (int b = 1; b < 256; ++b)
        if (counts[size_t(b)] < counts[best]) best = (unsigned char)b;
    return best;
}

void EmitLiteral(std::vector<unsigned char>& out, unsigned char b, unsigned char escape) {
    out.push_back(b);
    if (b == escape) out.push_back(0);
}

size_t MatchCost(size_t length, size_t distance) {
    size_t cost = 2 + VarintLength(uint32_t(distance));
    if (length > kShortMatchLimit) cost += VarintLength(uint32_t(length - 258));
    return cost;
}

void EmitMatch(std::vector<unsigned char>& out, size_t length, size_t distance, unsigned char escape) {
    out.push_back(escape);
    if (length > kShortMatchLimit) {
        out.push_back(255);
        WriteVarint(out, uint32_t(length - 258));
    } else {
        out.push_back((unsigned char)(length - 3));
    }
    WriteVarint(out, uint32_t(distance));
}

// Matching over hash chains limited to a window, with one step of lazy
// evaluation: a match is put off when the next position has a longer one.
void Encode(const unsigned char* data, size_t size, unsigned char escape, std::vector<unsigned char>& out) {
    // Positions fit 32 bits (blocks are at most 4 GiB); the chain ring is no
    // larger than the data needs.
    constexpr uint32_t kNone = 0xFFFFFFFFu;
    size_t ring = 64;
    while (ring < kWindow && ring < size) ring <<= 1;
    std::vector<uint32_t> head(size_t(1) << kHashBits, kNone);
    std::vector<uint32_t> previous(ring, kNone);
    auto insert = [&](size_t pos) {
        uint32_t h = Hash4(data + pos);
        previous[pos & (ring - 1)] = head[h];
        head[h] = uint32_t(pos);
    };
    // The longest worthwhile match at pos (0 when none); pos + 4 <= size.
    auto longest = [&](size_t pos, size_t* distance) -> size_t {
        size_t bestLength = 0;
        uint32_t candidate = head[Hash4(data + pos)];
        size_t maxLength = size - pos;
        for (int depth = 0; depth < kChainDepth && candidate != kNone; ++depth) {
            size_t c = candidate;
            if (pos - c > ring - 1) break;
            size_t n = 0;
            while (n < maxLength && data[c + n] == data[pos + n]) ++n;
            if (n > bestLength) {
                bestLength = n;
                *distance = pos - c;
                if (n == maxLength) break;
            }
            candidate = previous[c & (ring - 1)];
        }
        // A match must be cheaper than the literals it replaces.
        return (bestLength >= kMinMatch && MatchCost(bestLength, *distance) < bestLength) ? bestLength : 0;
    };
    size_t pos = 0;
    while (pos < size) {
        size_t distance = 0, length = 0;
        if (pos + kMinMatch <= size) {
            length = longest(pos, &distance);
            insert(pos);
        }
        if (length > 0 && pos + 1 + kMinMatch <= size) {
            size_t nextDistance = 0;
            if (longest(pos + 1, &nextDistance) > length + 1) length = 0;
        }
        if (length == 0) {
            EmitLiteral(out, data[pos], escape);
            ++pos;
            continue;
        }
        EmitMatch(out, length, distance, escape);
        for (size_t i = 1; i < length && pos + i + kMinMatch <= size; ++i) insert(pos + i);
        pos += length;
    }
}

}  // namespace

int64_t DecompressBlock(const void* block, size_t blockSize, void* out, size_t outCapacity) {
    const PublicCall call("DecompressBlock");
    if (!block) return RefuseNull("block");
    if (blockSize < kCodecHeaderSize) return FailCodec("block shorter than its header");
    auto* bytes = static_cast<const unsigned char*>(block);
    uint32_t expanded = ReadU32(bytes);
    uint32_t packed = ReadU32(bytes + 4);
    if (packed > blockSize - kCodecHeaderSize) return FailCodec("packed size runs past the block");
    if (!out) return int64_t(expanded);
    if (outCapacity < expanded) return FailCodec("output buffer too small");
    return Decode(bytes + kCodecHeaderSize, bytes + kCodecHeaderSize + packed, bytes[8],
                  static_cast<unsigned char*>(out), expanded);
}

size_t CompressBlockBound(size_t size) { return kCodecHeaderSize + size + size / 256 + 16; }

int64_t CompressBlock(const void* data, size_t size, void* out, size_t outCapacity) {
    const PublicCall call("CompressBlock");
    if (!data && size > 0) return RefuseNull("data");
    if (!out) return RefuseNull("output buffer");
    if (size > 0xFFFFFFFFu) return FailCodec("more than 4 GB to compress");
    auto* in = static_cast<const unsigned char*>(data);
    unsigned char escape = LeastFrequentByte(in, size);
    std::vector<unsigned char> packed;
    packed.reserve(size / 2 + 16);
    Encode(in, size, escape, packed);
    if (packed.size() > 0xFFFFFFFFu || kCodecHeaderSize + packed.size() > outCapacity)
        return FailCodec("compressed block does not fit");
    auto* o = static_cast<unsigned char*>(out);
    WriteU32(o, uint32_t(size));
    WriteU32(o + 4, uint32_t(packed.size()));
    o[8] = escape;
    if (!packed.empty()) std::memcpy(o + kCodecHeaderSize, packed.data(), packed.size());
    return int64_t(kCodecHeaderSize + packed.size());
}
