// The CRC-32 of a block of bytes, as zlib computes it, for blocks of any
// size (zlib takes 32-bit lengths, so a large block goes in parts); given
// the CRC of the bytes before them, that of the bytes before and these.
#pragma once
#include <zlib.h>

#include <cstddef>
#include <cstdint>

namespace morpotta {

inline uint32_t Crc32(const void* bytes, size_t size, uint32_t before = 0) {
    uLong crc = before;
    const auto* at = static_cast<const Bytef*>(bytes);
    while (size > 0) {
        const uInt chunk = size > 0x40000000u ? 0x40000000u : uInt(size);
        crc = crc32(crc, at, chunk);
        at += chunk;
        size -= chunk;
    }
    return uint32_t(crc);
}

}  // namespace morpotta
