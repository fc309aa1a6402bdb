// Streams: six functions and a handle, through which image readers, the
// sound converter and the Ogg callbacks read, whether from a file or from
// memory.
#pragma once
#include <cstddef>
#include <cstdint>

struct StreamFunctions {
    int64_t (*tell)(uintptr_t handle);
    int (*seek)(uintptr_t handle, int64_t offset, int origin);  // origin 0 start, 1 current, 2 end; 0 or -1
    size_t (*read)(void* buffer, size_t elementSize, size_t count, uintptr_t handle);  // whole elements
    int (*eof)(uintptr_t handle);
    int (*idle)(uintptr_t handle);
    int (*close)(uintptr_t handle);
};

// The stream functions with the stream's handle (a file handle or a
// MemStream pointer).
struct StreamData {
    StreamFunctions functions;
    uintptr_t handle;
};

const StreamFunctions* GetFileStreamTable();
const StreamFunctions* GetMemStreamTable();

// A block of caller memory read as a stream.
struct MemStream {
    const unsigned char* data;
    size_t size;
    size_t position;
    int eof;
};

MemStream* OpenMemStream(const void* data, size_t size);  // null when memory is short
int CloseMemStream(MemStream* stream);                   // frees the record, not the data

// Fills a StreamData over a file opened with OpenFileStream or over a
// memory stream.
inline StreamData MakeFileStreamData(uintptr_t file) { return StreamData{*GetFileStreamTable(), file}; }
inline StreamData MakeMemStreamData(MemStream* stream) {
    return StreamData{*GetMemStreamTable(), reinterpret_cast<uintptr_t>(stream)};
}
