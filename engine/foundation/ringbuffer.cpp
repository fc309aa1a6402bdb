// Growable byte ring. Growth copies the contents to the front of a new
// block, so the old one stays untouched until the new one exists and a
// failed growth leaves the ring as it was.
#include "foundation/ringbuffer.h"

#include "engine/memory.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace morpotta {

namespace {

bool Valid(const RingBuffer* ring) {
    return ring && ring->capacity >= 0 && ring->usedBytes >= 0 && ring->usedBytes <= ring->capacity &&
           (ring->capacity == 0 || (ring->data && ring->readPosition >= 0 && ring->readPosition < ring->capacity &&
                                    ring->writePosition >= 0 && ring->writePosition < ring->capacity));
}

int GrowRing(RingBuffer* ring, int need) {
    int64_t wanted = int64_t(ring->usedBytes) * 3 / 2 + need + 1000;
    if (wanted > INT_MAX) return -1;
    auto* data = static_cast<unsigned char*>(ENGINE_ALLOC(size_t(wanted)));
    if (!data) return -1;
    int used = ring->usedBytes;
    if (used > 0) {
        int first = ring->capacity - ring->readPosition;
        if (first > used) first = used;
        std::memcpy(data, ring->data + ring->readPosition, size_t(first));
        std::memcpy(data + first, ring->data, size_t(used - first));
    }
    FreeMemory(ring->data);
    ring->data = data;
    ring->capacity = int(wanted);
    ring->readPosition = 0;
    ring->writePosition = used;
    return 0;
}

}  // namespace

int InitRingBuffer(RingBuffer* ring) {
    if (!ring) return -1;
    ring->data = nullptr;
    ring->readPosition = ring->writePosition = ring->usedBytes = ring->capacity = 0;
    return 0;
}

int TerminateRingBuffer(RingBuffer* ring) {
    if (!ring) return -1;
    FreeMemory(ring->data);
    return InitRingBuffer(ring);
}

int WriteRingBuffer(RingBuffer* ring, const void* data, int size) {
    if (!Valid(ring) || size < 0 || (size > 0 && !data)) return -1;
    if (size == 0) return 0;
    if (size > ring->capacity - ring->usedBytes && GrowRing(ring, size) != 0) return -1;
    auto* in = static_cast<const unsigned char*>(data);
    int first = ring->capacity - ring->writePosition;
    if (first > size) first = size;
    std::memcpy(ring->data + ring->writePosition, in, size_t(first));
    std::memcpy(ring->data, in + first, size_t(size - first));
    ring->writePosition = int((int64_t(ring->writePosition) + size) % ring->capacity);
    ring->usedBytes += size;
    return 0;
}

int ReadRingBuffer(RingBuffer* ring, void* out, int size, bool peek) {
    if (!Valid(ring) || size < 0 || (size > 0 && !out)) return -1;
    int count = size < ring->usedBytes ? size : ring->usedBytes;
    if (count == 0) return 0;
    auto* dst = static_cast<unsigned char*>(out);
    int first = ring->capacity - ring->readPosition;
    if (first > count) first = count;
    std::memcpy(dst, ring->data + ring->readPosition, size_t(first));
    std::memcpy(dst + first, ring->data, size_t(count - first));
    if (!peek) {
        ring->readPosition = int((int64_t(ring->readPosition) + count) % ring->capacity);
        ring->usedBytes -= count;
    }
    return count;
}

int GetRingBufferUsed(const RingBuffer* ring) { return ring ? ring->usedBytes : 0; }

}  // namespace morpotta
