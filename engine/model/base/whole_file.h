// Reading a whole file through the model system's file functions.
#pragma once
#include <cstddef>
#include <string>

namespace morpotta {

// 0 with the block (tracked allocator, caller frees) and its size in the
// outputs that are not null; -1 when the file cannot be opened or read or
// memory is short. When the path does not open, its file name alone is
// tried.
int LoadWholeFileW(const char16_t* path, void** dataOut, size_t* sizeOut);
// The same for a code page 932 path; the file name alone is tried only
// when tryBareName is set.
int LoadWholeFile(const char* path932, void** dataOut, size_t* sizeOut, bool tryBareName);
// The places LoadWholeFileW looks for path, in order, joined by ", " (code
// page 932), for the one line that says none of them held the file.
std::string DescribeWholeFileCandidatesW(const char16_t* path);

}  // namespace morpotta
