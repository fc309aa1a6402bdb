// Open files and searches behind FileHandle values. A handle carries its
// slot and the slot's generation, so a closed or made-up handle is refused
// instead of reaching a reused record. Safe to use from several threads.
#pragma once
#include "engine/files.h"

namespace morpotta {

enum FileObjectType { kFileObjectFile = 1, kFileObjectFind = 2 };

// An open file: a plain host file read at its own position, or the whole
// contents of an archive member held in memory.
struct OpenFile {
    int descriptor;       // host descriptor, or -1 for a member in memory
    unsigned char* data;  // member contents (tracked memory), or null
    int64_t size;
    int64_t position;
};

FileHandle RegisterFileObject(void* object, int type);  // 0 when no slot can be had
void* LookupFileObject(FileHandle handle, int type);     // null when not valid
void* UnregisterFileObject(FileHandle handle, int type); // the object, now the caller's
int CountFileObjects(int type);

// Opening and the operations shared by every file table.
FileHandle OpenHostFile(const char* hostPath);
FileHandle OpenMemoryFile(unsigned char* ownedData, int64_t size);  // frees the data on failure
int CloseOpenFile(FileHandle file);
int64_t TellOpenFile(FileHandle file);
int SeekOpenFile(FileHandle file, int64_t offset, int origin);
size_t ReadOpenFile(void* buffer, size_t elementSize, size_t count, FileHandle file);
int EofOpenFile(FileHandle file);
int IdleOpenFile(FileHandle file);

}  // namespace morpotta
