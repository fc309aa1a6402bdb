// A growable byte ring. When a write does not fit, the buffer grows to one
// and a half times the used bytes plus the need plus 1000.
#pragma once
#include <cstddef>

namespace morpotta {

struct RingBuffer {
    unsigned char* data;
    int readPosition;
    int writePosition;
    int usedBytes;
    int capacity;
};

int InitRingBuffer(RingBuffer* ring);
int TerminateRingBuffer(RingBuffer* ring);
int WriteRingBuffer(RingBuffer* ring, const void* data, int size);  // 0 or -1 when memory is short
// Copies up to size bytes out (consuming them unless peek); returns the count.
int ReadRingBuffer(RingBuffer* ring, void* out, int size, bool peek = false);
int GetRingBufferUsed(const RingBuffer* ring);

}  // namespace morpotta
