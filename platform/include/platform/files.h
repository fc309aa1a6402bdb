// The host file system, addressed with UTF-8 host paths ('/' separated).
// The engine converts its code page 932 paths at this boundary and resolves
// letter case itself; this layer only does what the host offers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace morpotta::platform {

// What stands at a name (None: nothing was looked at). The calls on a
// folder's names see the entry itself: a symbolic link, not what it leads to.
enum class HostFileKind { None, Regular, Directory, SymbolicLink, Fifo, Other };

struct HostFileInfo {
    bool isDirectory = false;
    int64_t size = 0;
    HostFileKind kind = HostFileKind::None;
    uint64_t links = 0;  // names the file has in all folders
    uint64_t device = 0, inode = 0;
};

struct HostDirEntry {
    std::string name;  // UTF-8, without "." and ".."
    bool isDirectory = false;
    int64_t size = 0;
};

// Steps of writing a new file for a durable store, in order.
enum class DurableWriteStep { Done, CreateTemporary, WriteTemporary, SyncTemporary };

struct FileSystemBackend {
    const char* name;
    // A descriptor (>= 0) of a regular file opened for reading, or -1.
    int (*openRead)(const char* path);
    int (*close)(int descriptor);
    // Reads up to size bytes at offset without moving any shared position,
    // so several threads may read one descriptor; bytes read, or -1.
    int64_t (*readAt)(int descriptor, void* buffer, size_t size, int64_t offset);
    int64_t (*sizeOf)(int descriptor);  // -1 on error
    // What the path leads to, links followed; false when nothing exists there.
    bool (*stat)(const char* path, HostFileInfo* out);
    bool (*listDirectory)(const char* path, std::vector<HostDirEntry>* out);
    bool (*getCurrentDirectory)(std::string* out);  // absolute
    bool (*setCurrentDirectory)(const char* path);
    // A new, empty file named "tmp..." in the temporary folder, open for
    // writing; null when none can be made.
    std::FILE* (*createTempFile)(std::string* pathOut);
    bool (*removeFile)(const char* path);  // false when nothing was removed
    // An exclusive lock on the regular file at path (made when missing),
    // held while the returned descriptor stays open (close it with close);
    // the host drops it when the process ends, however it ends. The file is
    // only read, so one another user made serves as well. A symbolic link
    // at path is never followed, nor created through, and a file with other
    // names (a hard link) is refused. kFileLockHeld when another holder has
    // it, -1 when the file cannot be made or locked (errno: ELOOP for a
    // link, EISDIR for a folder, EMLINK for a file with other names, EINVAL
    // for another kind of file).
    int (*lockExclusive)(const char* path);
    // The absolute path of what exists at path, with every symbolic link,
    // "." and ".." resolved; false when nothing is there (a link to nothing
    // included).
    bool (*resolvePath)(const char* path, std::string* out);
    // The regular file at path (made when missing, emptied first when empty
    // is set) open for writing at its end, never through a symbolic link at
    // path nor into a file with other names (hard links); null otherwise,
    // errno then says why (ELOOP: path is a link, EMLINK: the file has
    // other names).
    std::FILE* (*openAppend)(const char* path, bool empty);

    // Files reached from a folder opened once, so that what a check sees is
    // what the next step acts on, whatever is renamed or linked in between.
    // The folder is opened where its path resolves to (a program names it,
    // links and all); a name is one entry of it, and a symbolic link there
    // is never followed. The descriptor closes with close.
    // -1 with errno when it is no folder: ENOENT only when nothing stands at
    // the path, ENOLINK when a symbolic link on the way leads to nothing (a
    // folder on a disk that is not mounted).
    int (*openFolder)(const char* path);
    // The entry itself; false (errno) when there is none.
    bool (*statIn)(int folder, const char* name, HostFileInfo* out);
    // A regular file of the folder, opened for reading without following a
    // link or waiting on a FIFO; -1 otherwise (errno; ELOOP for a link),
    // with out telling what was opened when it was no regular file.
    int (*openReadIn)(int folder, const char* name, HostFileInfo* out);
    // A new file of that name holding bytes, flushed to the disk: whatever
    // stood at the name (a file, a link) is removed and the new one created
    // exclusively, so that no byte goes through a file that was there. Its
    // access: when a regular file stands at accessOf (the file the new one
    // will be renamed over), that file's permissions, access list, owner and
    // group, given once it exists, private to its owner until then (where
    // the host keeps this process from giving them all, the owner's
    // permissions alone); when nothing does, a new file's (0644 less the
    // umask); a null accessOf keeps it private to its owner. Done, or the
    // step that failed (CreateTemporary, WriteTemporary or SyncTemporary),
    // the new file then removed again; errno says why.
    DurableWriteStep (*writeNewIn)(int folder, const char* name, const void* bytes, size_t size, const char* accessOf);
    bool (*renameIn)(int fromFolder, const char* from, int toFolder, const char* to);
    bool (*removeIn)(int folder, const char* name);  // a file or a link, never a folder
    bool (*syncFolder)(int folder);                  // its entries to the disk
    // The entries, links and folders as themselves (isDirectory, size).
    bool (*listFolder)(int folder, std::vector<HostDirEntry>* out);
    // An exclusive lock on an open folder (or file), held until its
    // descriptor closes (by the host too when the process ends, however it
    // ends); another open of the same folder, in this process or another,
    // waits for it. Waits at most waitMilliseconds while another holder has
    // it: false then with errno EWOULDBLOCK, or with the host's reason when
    // it cannot be locked at all.
    bool (*lockWithin)(int descriptor, int waitMilliseconds);
    // Whether a rename over the file at name can succeed as far as the file
    // and its folder decide: not a mount point, not immutable or
    // append-only, not kept from this user by a sticky folder. False with
    // errno (EBUSY, EPERM) when it cannot; true when nothing stands there.
    bool (*replaceableIn)(int folder, const char* name);
};

constexpr int kFileLockHeld = -2;

const FileSystemBackend& Files();

}  // namespace morpotta::platform
