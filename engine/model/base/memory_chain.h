// The model system's allocations: the memory chain through which readers
// and the conversion build everything they free in one call, and the one
// allocation entry every model block goes through (so tests can make the
// N-th allocation fail).
#pragma once
#include <cstddef>
#include <cstdint>

namespace morpotta {

struct ChainBlockHeader;

struct MemoryChain {
    ChainBlockHeader* newest;  // null when empty
};

// Zero-filled data of size bytes, or null (logged) when memory is short.
void* AllocChainedMemory(size_t size, MemoryChain* chain);
// Frees the one block that holds data; a pointer not in the chain changes nothing.
int FreeChainedBlock(MemoryChain* chain, void* data);
// Frees every block, newest first, and empties the chain.
void FreeMemoryChain(MemoryChain* chain);

// Zero-filled block from the tracked allocator for model work; null when
// short. Free with FreeMemory.
void* AllocModelMemory(size_t size);

// Test hook: the N-th model allocation from now fails (1 = the next one);
// 0 switches the failure off. Returns the number of model allocations
// made since the last call.
uint64_t SetModelAllocFailureAt(uint64_t nth);

}  // namespace morpotta
