// Tracked memory: every engine record comes from here. Each block carries a
// 64-byte header (name, id, line, size, list links, and a copy of the
// identity fields for corruption checks); live blocks are listed, counted
// and can be dumped to the log. The allocator has its own lock.
#pragma once
#include <cstddef>
#include <cstdint>

void* AllocMemory(size_t size, const char* sourceName, int line);
void* AllocMemoryZero(size_t size, const char* sourceName, int line);
// On failure returns null and the old block stays valid. A null pointer
// allocates; a size of 0 frees and returns null.
void* ReallocMemory(void* pointer, size_t size, const char* sourceName, int line);
void FreeMemory(void* pointer);  // null is ignored

#define ENGINE_ALLOC(size) AllocMemory((size), __FILE__, __LINE__)
#define ENGINE_ALLOC_ZERO(size) AllocMemoryZero((size), __FILE__, __LINE__)

struct MemoryTotals {
    size_t liveBlocks;
    size_t liveBytes;
    size_t peakBytes;
    uint64_t allocationCount;  // blocks handed out since start
};
MemoryTotals GetMemoryTotals();

// Writes one log line per live block (name, line, id, size) and a total
// line; returns the number of live blocks.
int DumpMemoryBlocks();
// 0 when the block's header is intact, -1 (and a log line) when damaged.
int CheckMemoryBlock(const void* pointer);
// Checks every live block; returns the number of damaged ones.
int CheckAllMemoryBlocks();

// Byte helpers. A count of 0 does nothing (and compares equal).
void FillByteRange(void* destination, int value, size_t count);
void CopyByteRange(void* destination, const void* source, size_t count);
int CompareMemoryBlock(const void* a, const void* b, size_t count);  // 0 equal, else non-zero
int CompareByteSpan(const void* a, const void* b, size_t count);     // 0 equal, 1 otherwise
