// Temporary: plain-file and memory streams for the sound module until the
// foundation's file table lands; removed when it does.
#include "engine/files.h"
#include "engine/memory.h"
#include "engine/stream.h"

#include <cstdio>
#include <cstring>

namespace {

std::FILE* AsFile(uintptr_t h) { return reinterpret_cast<std::FILE*>(h); }
MemStream* AsMem(uintptr_t h) { return reinterpret_cast<MemStream*>(h); }

int64_t FileTell(uintptr_t h) { return std::ftell(AsFile(h)); }
int FileSeek(uintptr_t h, int64_t offset, int origin) {
    return std::fseek(AsFile(h), long(offset), origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END) ? -1 : 0;
}
size_t FileRead(void* b, size_t s, size_t n, uintptr_t h) { return std::fread(b, s, n, AsFile(h)); }
int FileEof(uintptr_t h) { return std::feof(AsFile(h)); }
int Idle(uintptr_t) { return 1; }
int FileClose(uintptr_t h) { return std::fclose(AsFile(h)) ? -1 : 0; }

int64_t MemTell(uintptr_t h) { return int64_t(AsMem(h)->position); }
int MemSeek(uintptr_t h, int64_t offset, int origin) {
    MemStream* m = AsMem(h);
    int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(m->position) : int64_t(m->size);
    int64_t p = base + offset;
    if (p < 0) p = 0;
    if (p > int64_t(m->size)) p = int64_t(m->size);
    m->position = size_t(p);
    m->eof = 0;
    return 0;
}
size_t MemRead(void* b, size_t s, size_t n, uintptr_t h) {
    MemStream* m = AsMem(h);
    if (s == 0) return 0;
    size_t whole = (m->size - m->position) / s;
    if (n > whole) {
        n = whole;
        m->eof = 1;
    }
    std::memcpy(b, m->data + m->position, n * s);
    m->position += n * s;
    return n;
}
int MemEof(uintptr_t h) { return AsMem(h)->eof || AsMem(h)->position >= AsMem(h)->size; }
int MemClose(uintptr_t h) { return CloseMemStream(AsMem(h)); }

const StreamFunctions kFile = {FileTell, FileSeek, FileRead, FileEof, Idle, FileClose};
const StreamFunctions kMem = {MemTell, MemSeek, MemRead, MemEof, Idle, MemClose};

}  // namespace

const StreamFunctions* GetFileStreamTable() { return &kFile; }
const StreamFunctions* GetMemStreamTable() { return &kMem; }

MemStream* OpenMemStream(const void* data, size_t size) {
    auto* m = static_cast<MemStream*>(AllocMemoryZero(sizeof(MemStream), "", 0));
    if (!m) return nullptr;
    m->data = static_cast<const unsigned char*>(data);
    m->size = size;
    return m;
}

int CloseMemStream(MemStream* stream) {
    FreeMemory(stream);
    return 0;
}

FileHandle OpenFileStream(const char* path, int, int, int) {
    return reinterpret_cast<FileHandle>(std::fopen(path, "rb"));
}
int CloseFileStream(FileHandle file) { return file ? FileClose(file) : 0; }
int64_t TellFileStream(FileHandle file) { return FileTell(file); }
int SeekFileStream(FileHandle file, int64_t offset, int origin) { return FileSeek(file, offset, origin); }
size_t ReadFileStream(void* buffer, size_t elementSize, size_t count, FileHandle file) {
    return FileRead(buffer, elementSize, count, file);
}
