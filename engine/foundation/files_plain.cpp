// The plain file set of the file table: every path names a host file.
#include "foundation/files_internal.h"

#include "engine/log.h"
#include "foundation/file_find.h"
#include "foundation/file_handles.h"
#include "foundation/host_path.h"
#include "foundation/public_call.h"

#include <cstring>

using namespace morpotta;

namespace morpotta {

int ParseOpenPath(const char* path, EnginePath* full) {
    if (!path) return RefuseNull("path");
    if (ParseFullPath(path, nullptr, full) != 0) return Refuse("bad path: %s", path);
    if (JoinEnginePath(*full).size() >= size_t(kMaxPathBytes)) return Refuse("the path is too long: %s", path);
    return 0;
}

FileHandle OpenPlainFile(const char* path) {
    EnginePath full;
    if (ParseOpenPath(path, &full) != 0) return 0;
    std::string host;
    platform::HostFileInfo info;
    if (ResolveHostPath(full, &host, &info) != 0) {
        Refuse("file not found: %s", path);
        return 0;
    }
    // A FIFO would be waited on, a device never ends: only regular files are read.
    if (info.kind != platform::HostFileKind::Regular) {
        Refuse("%s is %s", path, NotAFile(info.kind));
        return 0;
    }
    FileHandle h = OpenHostFile(host.c_str());
    if (h == 0) Refuse("%s cannot be opened", path);
    return h;
}

const char* NotAFile(platform::HostFileKind kind) {
    switch (kind) {
        case platform::HostFileKind::Directory: return "a folder, not a file";
        case platform::HostFileKind::Fifo: return "not a regular file (a FIFO)";
        case platform::HostFileKind::Regular: return "a regular file";
        default: return "not a regular file (a device or a socket)";
    }
}

int SetFileDirectory(const char* path) {
    const PublicCall call("FileAccessTable.setDirectory");
    std::string host;
    platform::HostFileInfo info;
    if (!path) return RefuseNull("folder");
    if (ResolveHostPathText(path, &host, &info) != 0 || !info.isDirectory) return Refuse("no such folder: %s", path);
    return platform::Files().setCurrentDirectory(host.c_str()) ? 0 : Refuse("cannot enter %s", path);
}

int GetFileDirectory(char* buffer, size_t capacity) {
    const PublicCall call("FileAccessTable.getDirectory");
    if (!buffer) return RefuseNull("buffer");
    if (capacity == 0) return Refuse("a buffer of 0 bytes");
    buffer[0] = 0;
    std::string dir;
    if (GetEngineCurrentDirectory(&dir) != 0) return -1;
    if (dir.size() + 1 > capacity) return Refuse("the current folder does not fit the buffer of %zu bytes", capacity);
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return 0;
}

}  // namespace morpotta

namespace {

FileHandle PlainOpen(const char* path, int, int, int) {
    const PublicCall call("FileAccessTable.open");
    return OpenPlainFile(path);
}

const FileAccessTable kPlainTable = {
    PlainOpen,       CloseOpenFile,    TellOpenFile,     SeekOpenFile,       ReadOpenFile,      EofOpenFile,
    IdleOpenFile,    SetFileDirectory, GetFileDirectory, FindFirstHostFile, ContinueFileSearch, EndFileSearch,
};

}  // namespace

const FileAccessTable* GetPlainFileAccessTable() { return &kPlainTable; }
