// The plain file set of the file table: every path names a host file.
#include "foundation/files_internal.h"

#include "engine/log.h"
#include "foundation/file_find.h"
#include "foundation/file_handles.h"
#include "foundation/host_path.h"

#include <cstring>

using namespace morpotta;

namespace morpotta {

int ParseOpenPath(const char* path, EnginePath* full) {
    if (!path) return -1;
    if (ParseFullPath(path, nullptr, full) != 0) return WriteLogFormat("Bad path: %s", path);
    if (JoinEnginePath(*full).size() >= size_t(kMaxPathBytes)) return WriteLogText("Path is too long");
    return 0;
}

FileHandle OpenPlainFile(const char* path) {
    EnginePath full;
    if (ParseOpenPath(path, &full) != 0) return 0;
    std::string host;
    platform::HostFileInfo info;
    if (ResolveHostPath(full, &host, &info) != 0 || info.isDirectory) {
        WriteLogFormat("File not found: %s", path);
        return 0;
    }
    FileHandle h = OpenHostFile(host.c_str());
    if (h == 0) WriteLogFormat("File cannot be opened: %s", path);
    return h;
}

int SetFileDirectory(const char* path) {
    std::string host;
    platform::HostFileInfo info;
    if (!path || ResolveHostPathText(path, &host, &info) != 0 || !info.isDirectory)
        return WriteLogFormat("No such directory: %s", path ? path : "(null)");
    return platform::Files().setCurrentDirectory(host.c_str()) ? 0 : WriteLogFormat("Cannot enter %s", path);
}

int GetFileDirectory(char* buffer, size_t capacity) {
    if (!buffer || capacity == 0) return -1;
    buffer[0] = 0;
    std::string dir;
    if (GetEngineCurrentDirectory(&dir) != 0) return -1;
    if (dir.size() + 1 > capacity) return WriteLogText("Current directory does not fit its buffer");
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return 0;
}

}  // namespace morpotta

namespace {

FileHandle PlainOpen(const char* path, int, int, int) { return OpenPlainFile(path); }

const FileAccessTable kPlainTable = {
    PlainOpen,       CloseOpenFile,    TellOpenFile,     SeekOpenFile,       ReadOpenFile,      EofOpenFile,
    IdleOpenFile,    SetFileDirectory, GetFileDirectory, FindFirstHostFile, ContinueFileSearch, EndFileSearch,
};

}  // namespace

const FileAccessTable* GetPlainFileAccessTable() { return &kPlainTable; }
