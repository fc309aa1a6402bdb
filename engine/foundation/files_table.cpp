// The file table in use and the engine's file entries, which go through it.
#include "engine/files.h"

#include "engine/log.h"
#include "foundation/archive_table.h"
#include "foundation/engine_thread.h"
#include "foundation/log_internal.h"
#include "foundation/subsystems.h"
#include "platform/files.h"
#include "platform/lasting_state.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

using namespace morpotta;

namespace {

struct FileTableModule {
    std::atomic<int> useArchive{1};
};

FileTableModule& FileTable() {
    return platform::LastingState<FileTableModule>();
}

struct StartDirectory {
    std::mutex lock;
    std::string host;
};

StartDirectory& TheStartDirectory() {
    return platform::LastingState<StartDirectory>();
}

}  // namespace

const FileAccessTable* GetFileAccessTable() {
    return FileTable().useArchive.load() ? GetArchiveFileAccessTable() : GetPlainFileAccessTable();
}

int SetUseArchive(int flag) {
    const PublicCall call("SetUseArchive");
    if (!AllowOnlyOnEngineThread()) return -1;
    FileTable().useArchive.store(flag ? 1 : 0);
    return 0;
}

FileHandle OpenFileStream(const char* path, int useCache, int blockRead, int async) {
    const PublicCall call("OpenFileStream");
    return GetFileAccessTable()->open(path, useCache, blockRead, async);
}

int CloseFileStream(FileHandle file) {
    const PublicCall call("CloseFileStream");
    return file == 0 ? 0 : GetFileAccessTable()->close(file);
}

int64_t TellFileStream(FileHandle file) {
    const PublicCall call("TellFileStream");
    return GetFileAccessTable()->tell(file);
}

int SeekFileStream(FileHandle file, int64_t offset, int origin) {
    const PublicCall call("SeekFileStream");
    return GetFileAccessTable()->seek(file, offset, origin);
}

size_t ReadFileStream(void* buffer, size_t elementSize, size_t count, FileHandle file) {
    const PublicCall call("ReadFileStream");
    return GetFileAccessTable()->read(buffer, elementSize, count, file);
}

int EofFileStream(FileHandle file) {
    const PublicCall call("EofFileStream");
    return GetFileAccessTable()->eof(file);
}

FileHandle OpenFileToRead(const char* path, int async) {
    const PublicCall call("OpenFileToRead");
    return OpenFileStream(path, 0, 1, async);
}

size_t ReadFromFile(void* buffer, size_t size, FileHandle file) {
    const PublicCall call("ReadFromFile");
    return ReadFileStream(buffer, 1, size, file);
}

int64_t GetFileSizeByName(const char* path) {
    const PublicCall call("GetFileSizeByName");
    // Asked of the archive table directly, a member stays unpacked for the
    // whole-file read that usually follows.
    FileHandle file = 0;
    {
        // An archive that cannot be read is said only when the plain file
        // cannot be opened either, as the reason it is not there.
        InnerAttempt archiveFirst;
        EnginePath full;
        int64_t memberSize = 0;
        if (FileTable().useArchive.load() && path && ParseFullPath(path, nullptr, &full) == 0) {
            ArchiveLookup found = FindArchiveMemberSize(full, &memberSize);
            if (found == kMemberOpened) return memberSize;
        }
        file = OpenFileStream(path, 0, 1, 0);
        if (file == 0) return archiveFirst.RefuseCall();
    }
    int64_t size = -1;
    if (SeekFileStream(file, 0, 2) == 0) size = TellFileStream(file);
    CloseFileStream(file);
    return size;
}

int GetFileStreamCurrentDir(char* buffer, size_t capacity) {
    const PublicCall call("GetFileStreamCurrentDir");
    return GetFileAccessTable()->getDirectory(buffer, capacity);
}

std::FILE* CreateTempFile(char* pathOut, size_t capacity) {
    const PublicCall call("CreateTempFile");
    std::string path;
    std::FILE* file = platform::Files().createTempFile(&path);
    if (!file) {
        Refuse("no temporary file can be made");
        return nullptr;
    }
    if (pathOut) {
        if (path.size() + 1 > capacity) {
            std::fclose(file);
            std::remove(path.c_str());
            if (capacity > 0) pathOut[0] = 0;
            Refuse("the temporary file's path of %zu bytes does not fit the buffer of %zu", path.size() + 1, capacity);
            return nullptr;
        }
        std::memcpy(pathOut, path.c_str(), path.size() + 1);
    }
    return file;
}

namespace morpotta::subsystems {

// The start directory is remembered here and restored at shut-down, since
// the program may change directory through the file table meanwhile.
void InstallFileFunctions() {
    StartDirectory& start = TheStartDirectory();
    std::lock_guard<std::mutex> guard(start.lock);
    if (!platform::Files().getCurrentDirectory(&start.host)) start.host.clear();
}

void RestoreStartDirectory() {
    StartDirectory& start = TheStartDirectory();
    std::lock_guard<std::mutex> guard(start.lock);
    if (!start.host.empty() && !platform::Files().setCurrentDirectory(start.host.c_str()))
        WriteLogText("Start directory cannot be restored");
}

}  // namespace morpotta::subsystems
