// The host file system, addressed with UTF-8 host paths ('/' separated).
// The engine converts its code page 932 paths at this boundary and resolves
// letter case itself; this layer only does what the host offers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

struct HostFileInfo {
    bool isDirectory = false;
    int64_t size = 0;
};

struct HostDirEntry {
    std::string name;  // UTF-8, without "." and ".."
    bool isDirectory = false;
    int64_t size = 0;
};

struct FileSystemBackend {
    const char* name;
    // A descriptor (>= 0) of a regular file opened for reading, or -1.
    int (*openRead)(const char* path);
    int (*close)(int descriptor);
    // Reads up to size bytes at offset without moving any shared position,
    // so several threads may read one descriptor; bytes read, or -1.
    int64_t (*readAt)(int descriptor, void* buffer, size_t size, int64_t offset);
    int64_t (*sizeOf)(int descriptor);  // -1 on error
    // False when nothing exists at the path.
    bool (*stat)(const char* path, HostFileInfo* out);
    bool (*listDirectory)(const char* path, std::vector<HostDirEntry>* out);
    bool (*getCurrentDirectory)(std::string* out);  // absolute
    bool (*setCurrentDirectory)(const char* path);
    // A new, empty file named "tmp..." in the temporary folder, open for
    // writing; null when none can be made.
    std::FILE* (*createTempFile)(std::string* pathOut);
};

const FileSystemBackend& Files();

}  // namespace platform
