// The C library allocator's treatment of large blocks.
#pragma once
#include <cstddef>

namespace morpotta::platform {

// Blocks of at least bytes come straight from the system and go back to it
// when freed. Without this the C library raises that size to the largest
// block freed so far: once a big load has freed its work buffers, the next
// load's buffers come from the heap, whose pages stay resident after it.
// Where the allocator has no such setting this changes nothing.
void FixLargeBlockThreshold(size_t bytes);

// Up to bytes of free memory at the top of the heap stay with the process
// when blocks are freed, and the heap grows by that much beyond a request
// when it must grow. A caller that allocates and frees megabytes of small
// blocks over and over then reuses pages already resident instead of
// having the system fault fresh ones in each time.
// Where the allocator has no such setting this changes nothing.
void KeepFreeHeapTop(size_t bytes);

}  // namespace morpotta::platform
