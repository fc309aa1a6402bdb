// Reading a whole file named by a UTF-16 path through the model system's
// file functions.
#pragma once
#include <cstddef>

// 0 with the block (tracked allocator, caller frees) and its size in the
// outputs that are not null; -1 when the file cannot be opened or read or
// memory is short. When the path does not open, its file name alone is
// tried.
int LoadWholeFileW(const char16_t* path, void** dataOut, size_t* sizeOut);
