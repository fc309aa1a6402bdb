// The CRC-32 of a block of bytes, as zlib computes it, for blocks of any
// size (zlib takes 32-bit lengths, so a large block goes in parts).
#pragma once
#include <zlib.h>

#include <cstddef>
#include <cstdint>

namespace morpotta {

inline uint32_t Crc32(const void* bytes, size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
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
