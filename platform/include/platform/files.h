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

// Steps of a durable file write, in order.
enum class DurableWriteStep { Done, CreateTemporary, WriteTemporary, SyncTemporary, Rename, SyncFolder };

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
    // Writes bytes to the file temporary (created or emptied), flushes it to
    // the disk, renames it over path and flushes the folder that holds them.
    // Done, or the step that failed; before the rename the
    // temporary is removed again and path is untouched. After a failure of
    // this call or of the steps below, errno holds the host's reason.
    DurableWriteStep (*replaceDurably)(const char* path, const char* temporary, const void* bytes, size_t size);
    bool (*removeFile)(const char* path);  // false when nothing was removed
    // An exclusive lock on the file at path (made when missing), held while
    // the returned descriptor stays open (close it with close); the host
    // drops it when the process ends, however it ends. kFileLockHeld when
    // another holder has it, -1 when the file cannot be made or locked.
    int (*lockExclusive)(const char* path);
    // The steps of replaceDurably one at a time, for a set of files that must
    // all be written before any of them replaces its old copy. writeFlushed
    // writes bytes to path (created or emptied) and flushes it to the disk:
    // Done, or the step that failed (CreateTemporary, WriteTemporary or
    // SyncTemporary), the file then removed again. renameOver renames from
    // over to; syncFolderOf flushes the folder that holds path.
    DurableWriteStep (*writeFlushed)(const char* path, const void* bytes, size_t size);
    bool (*renameOver)(const char* from, const char* to);
    bool (*syncFolderOf)(const char* path);
    // The absolute path of what exists at path, with every symbolic link,
    // "." and ".." resolved; false when nothing is there (a link to nothing
    // included).
    bool (*resolvePath)(const char* path, std::string* out);
    // The regular file at path (made when missing, emptied first when empty
    // is set) open for writing at its end, never through a symbolic link at
    // path; null otherwise, errno then says why (ELOOP: path is a link).
    std::FILE* (*openAppend)(const char* path, bool empty);
};

constexpr int kFileLockHeld = -2;



const FileSystemBackend& Files();

}  // namespace platform
