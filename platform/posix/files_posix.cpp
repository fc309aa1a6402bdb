// Host files through POSIX calls. Stands in for CreateFile/ReadFile/
// SetFilePointer, FindFirstFile, Get/SetCurrentDirectory and
// GetTempPath/GetTempFileName.
// Limits: paths are UTF-8 byte strings handed to the kernel unchanged;
// letter case is resolved by the caller. Reads use pread so one descriptor
// may be shared between threads.
// Files the program writes are flushed with fsync before they replace the
// old copy, and their folder after; locks are flock locks, which the kernel
// drops with the process.
// Depends on: POSIX (open, pread, fstat, opendir, getcwd, chdir, mkstemp,
// fsync, rename, flock, realpath, ftruncate).
#include "posix/files_posix.h"

#include "platform/warning.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace platform {
namespace {

int OpenRead(const char* path) {
    if (!path) return -1;
    // Non-blocking, so a FIFO at the path cannot stall the open waiting for
    // a writer; only regular files are kept, and they read the same either
    // way once the flag is cleared again.
    int fd;
    do fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Warn("%s is not a regular file; it is not read", path);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        Warn("%s cannot be set to blocking reads; it is not read", path);
        return -1;
    }
    return fd;
}

int Close(int descriptor) { return descriptor >= 0 && ::close(descriptor) == 0 ? 0 : -1; }

int64_t ReadAt(int descriptor, void* buffer, size_t size, int64_t offset) {
    if (descriptor < 0 || offset < 0 || (size > 0 && !buffer)) return -1;
    size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < size) {
        ssize_t n = ::pread(descriptor, out + done, size - done, off_t(offset + int64_t(done)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += size_t(n);
    }
    return int64_t(done);
}

int64_t SizeOf(int descriptor) {
    struct stat st;
    if (descriptor < 0 || ::fstat(descriptor, &st) != 0) return -1;
    return int64_t(st.st_size);
}

bool Stat(const char* path, HostFileInfo* out) {
    struct stat st;
    if (!path || ::stat(path, &st) != 0) return false;
    if (out) {
        out->isDirectory = S_ISDIR(st.st_mode);
        out->size = S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0;
    }
    return true;
}

bool ListDirectory(const char* path, std::vector<HostDirEntry>* out) {
    if (!path || !out) return false;
    out->clear();
    DIR* dir = ::opendir(path);
    if (!dir) return false;
    std::string base = path;
    if (!base.empty() && base.back() != '/') base += '/';
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        HostDirEntry entry;
        entry.name = name;
        struct stat st;
        if (::stat((base + name).c_str(), &st) == 0) {
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.size = S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0;
        }
        out->push_back(std::move(entry));
    }
    ::closedir(dir);
    return true;
}

bool GetCurrentDirectory(std::string* out) {
    if (!out) return false;
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof buffer)) return false;
    *out = buffer;
    return true;
}

bool SetCurrentDirectory(const char* path) { return path && ::chdir(path) == 0; }

std::FILE* CreateTempFile(std::string* pathOut) {
    const char* dir = std::getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    std::string pattern = dir;
    if (pattern.back() != '/') pattern += '/';
    pattern += "tmpXXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        ::close(fd);
        ::unlink(pattern.c_str());
        return nullptr;
    }
    if (pathOut) *pathOut = pattern;
    return file;
}

bool WriteAll(int fd, const void* bytes, size_t size) {
    const auto* at = static_cast<const char*>(bytes);
    while (size > 0) {
        ssize_t n = ::write(fd, at, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        at += n;
        size -= size_t(n);
    }
    return true;
}

// Flushes the folder that holds path ("." when the path names none), so a
// rename in it survives a power cut.
int SyncFolderOf(const char* path) {
    std::string folder = path;
    size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    errno = error;
    return result;
}

DurableWriteStep WriteFlushed(const char* path, const void* bytes, size_t size) {
    using Step = DurableWriteStep;
    if (!path || (size > 0 && !bytes)) {
        errno = EINVAL;
        return Step::CreateTemporary;
    }
    int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return Step::CreateTemporary;
    Step failed = Step::Done;
    if (!WriteAll(fd, bytes, size)) failed = Step::WriteTemporary;
    else if (::fsync(fd) != 0) failed = Step::SyncTemporary;
    int error = errno;
    if (::close(fd) != 0 && failed == Step::Done) {
        failed = Step::WriteTemporary;
        error = errno;
    }
    if (failed != Step::Done) ::unlink(path);
    errno = error;  // the reason of the step that failed, not of the clean-up
    return failed;
}

bool RenameOver(const char* from, const char* to) { return from && to && ::rename(from, to) == 0; }

bool SyncFolderOfPath(const char* path) { return path && SyncFolderOf(path) == 0; }

DurableWriteStep ReplaceDurably(const char* path, const char* temporary, const void* bytes, size_t size) {
    using Step = DurableWriteStep;
    if (!path || !temporary) return Step::CreateTemporary;
    const Step written = WriteFlushed(temporary, bytes, size);
    if (written != Step::Done) return written;
    if (::rename(temporary, path) != 0) {
        const int error = errno;
        ::unlink(temporary);
        errno = error;
        return Step::Rename;
    }
    return SyncFolderOf(path) == 0 ? Step::Done : Step::SyncFolder;
}

bool RemoveFile(const char* path) { return path && ::unlink(path) == 0; }

bool ResolvePath(const char* path, std::string* out) {
    char* resolved = path && out ? ::realpath(path, nullptr) : nullptr;
    if (!resolved) return false;
    *out = resolved;
    std::free(resolved);
    return true;
}

int LockExclusive(const char* path) {
    if (!path) return -1;
    int fd = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    int result;
    do result = ::flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0) return fd;
    int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? kFileLockHeld : -1;
}

std::FILE* OpenAppend(const char* path, bool empty) {
    if (!path) {
        errno = EINVAL;
        return nullptr;
    }
    // Non-blocking, so a FIFO at the path cannot stall the open waiting for
    // a reader; nothing is emptied before the file is known to be regular.
    int fd;
    do fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    struct stat st;
    const int flags = ::fcntl(fd, F_GETFL);
    int error = 0;
    if (::fstat(fd, &st) != 0 || flags < 0) error = errno;
    else if (!S_ISREG(st.st_mode)) error = EINVAL;
    else if (::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || (empty && ::ftruncate(fd, 0) != 0)) error = errno;
    std::FILE* file = error ? nullptr : ::fdopen(fd, "ab");
    if (!file) {
        if (!error) error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

}  // namespace

const FileSystemBackend kPosixFileSystemBackend = {
    "posix",     OpenRead, Close, ReadAt, SizeOf, Stat, ListDirectory, GetCurrentDirectory, SetCurrentDirectory,
    CreateTempFile, ReplaceDurably, RemoveFile, LockExclusive, WriteFlushed, RenameOver, SyncFolderOfPath,
    ResolvePath, OpenAppend,
};

}  // namespace platform
