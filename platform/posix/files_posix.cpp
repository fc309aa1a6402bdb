// Host files through POSIX calls. Stands in for CreateFile/ReadFile/
// SetFilePointer, FindFirstFile, Get/SetCurrentDirectory and
// GetTempPath/GetTempFileName.
// Limits: paths are UTF-8 byte strings handed to the kernel unchanged;
// letter case is resolved by the caller. Reads use pread so one descriptor
// may be shared between threads.
// Files the program stores are reached from folder descriptors (openat,
// fstatat, renameat, unlinkat without following links), created
// exclusively and flushed with fsync, their folder after; locks are flock
// locks, which the kernel drops with the process.
// Depends on: POSIX (open, openat, pread, fstat, fstatat, opendir,
// fdopendir, getcwd, chdir, mkstemp, fsync, renameat, unlinkat, flock,
// realpath, lstat, fchmod, fchown, fgetxattr and fsetxattr for a replaced
// file's access list, ftruncate for the log file opened at its end,
// clock_gettime and nanosleep for a lock's wait, statx and the file-flags
// ioctl to tell a file that cannot be replaced).
#include "posix/files_posix.h"

#include "platform/warning.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

namespace morpotta::platform {
namespace {

// The extended attribute that holds a file's POSIX access control list.
constexpr const char* kAccessListAttribute = "system.posix_acl_access";

// Opens name (from folder, AT_FDCWD for a path) for reading without
// waiting on a FIFO (non-blocking), and keeps the descriptor only for a
// regular file, set back to blocking reads (a regular file reads the same
// either way). st describes what was opened. -1 otherwise: *why is set
// when something other than a regular file was opened.
int OpenRegular(int folder, const char* name, int flags, struct stat* st, const char** why) {
    *st = {};
    int fd;
    do fd = ::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | flags);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    const int mode = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, st) != 0) *why = "cannot be looked at";
    else if (!S_ISREG(st->st_mode)) *why = "is not a regular file";
    else if (mode < 0 || ::fcntl(fd, F_SETFL, mode & ~O_NONBLOCK) != 0) *why = "cannot be set to blocking reads";
    else return fd;
    ::close(fd);
    errno = S_ISDIR(st->st_mode) ? EISDIR : EINVAL;
    return -1;
}

int OpenRead(const char* path) {
    if (!path) return -1;
    struct stat st;
    const char* why = nullptr;
    const int fd = OpenRegular(AT_FDCWD, path, 0, &st, &why);
    if (why) Warn("%s %s; it is not read", path, why);
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

// The entries of an open folder but "." and "..", each told what it is by
// look; the folder closed. readdir says its end and a failure to read (EIO,
// ENOMEM) alike, but for errno: a folder read only in part is no listing,
// and gives none (false, errno set).
template <class Look>
bool ReadEntries(DIR* dir, std::vector<HostDirEntry>* out, Look look) {
    for (errno = 0; dirent* e = ::readdir(dir); errno = 0) {
        HostDirEntry entry;
        entry.name = e->d_name;
        if (entry.name == "." || entry.name == "..") continue;
        look(&entry);
        out->push_back(std::move(entry));
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) out->clear();
    errno = error;
    return error == 0;
}

bool ListDirectory(const char* path, std::vector<HostDirEntry>* out) {
    if (!path || !out) return false;
    out->clear();
    DIR* dir = ::opendir(path);
    if (!dir) return false;
    std::string base = path;
    if (!base.empty() && base.back() != '/') base += '/';
    return ReadEntries(dir, out, [&](HostDirEntry* entry) {
        struct stat st;
        if (::stat((base + entry->name).c_str(), &st) != 0) return;
        entry->isDirectory = S_ISDIR(st.st_mode);
        entry->size = S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0;
    });
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

bool RemoveFile(const char* path) { return path && ::unlink(path) == 0; }

bool ResolvePath(const char* path, std::string* out) {
    char* resolved = path && out ? ::realpath(path, nullptr) : nullptr;
    if (!resolved) return false;
    *out = resolved;
    std::free(resolved);
    return true;
}

HostFileKind KindOf(mode_t mode) {
    if (S_ISREG(mode)) return HostFileKind::Regular;
    if (S_ISDIR(mode)) return HostFileKind::Directory;
    if (S_ISLNK(mode)) return HostFileKind::SymbolicLink;
    if (S_ISFIFO(mode)) return HostFileKind::Fifo;
    return HostFileKind::Other;
}

void Describe(const struct stat& st, HostFileInfo* out) {
    if (!out) return;
    out->kind = KindOf(st.st_mode);
    out->isDirectory = out->kind == HostFileKind::Directory;
    out->size = out->kind == HostFileKind::Regular ? int64_t(st.st_size) : 0;
    out->links = uint64_t(st.st_nlink);
    out->device = uint64_t(st.st_dev);
    out->inode = uint64_t(st.st_ino);
}

bool Stat(const char* path, HostFileInfo* out) {
    struct stat st;
    if (!path || ::stat(path, &st) != 0) return false;
    Describe(st, out);
    return true;
}

// errno kept across a clean-up step.
template <class Step>
void KeepingErrno(Step step) {
    const int error = errno;
    step();
    errno = error;
}

// Whether a symbolic link that leads to nothing stands on the way to path,
// for a path that does not resolve: each part of it is looked at in turn
// until one at which nothing stands.
bool DanglingLinkOnTheWay(const std::string& path) {
    for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string part = path.substr(0, end);
        struct stat own, led;
        if (::lstat(part.c_str(), &own) != 0) return false;
        if (S_ISLNK(own.st_mode) && ::stat(part.c_str(), &led) != 0) return true;
        if (end == std::string::npos) return false;
    }
}

int OpenFolder(const char* path) {
    // Resolved once: the folder stays the one found now, and the open
    // below follows no link that appeared since.
    std::string resolved;
    if (!ResolvePath(path, &resolved)) {
        if (path && errno == ENOENT && DanglingLinkOnTheWay(path)) errno = ENOLINK;
        return -1;
    }
    int fd;
    do fd = ::open(resolved.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool StatIn(int folder, const char* name, HostFileInfo* out) {
    struct stat st;
    if (folder < 0 || !name || ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    Describe(st, out);
    return true;
}

int OpenReadIn(int folder, const char* name, HostFileInfo* out) {
    if (folder < 0 || !name) {
        errno = EINVAL;
        return -1;
    }
    struct stat st;
    const char* why = nullptr;
    const int fd = OpenRegular(folder, name, O_NOFOLLOW, &st, &why);
    if (fd >= 0 || why) Describe(st, out);
    else if (errno == ELOOP && out) out->kind = HostFileKind::SymbolicLink;
    return fd;
}

// The access list of the regular file name in folder ("" when it has none
// or the host keeps none); false when it has one that cannot be read.
bool AccessListOf(int folder, const char* name, std::string* list) {
    list->clear();
    int fd;
    do fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    ssize_t size = ::fgetxattr(fd, kAccessListAttribute, nullptr, 0);
    if (size > 0) {
        list->resize(size_t(size));
        size = ::fgetxattr(fd, kAccessListAttribute, list->data(), list->size());
        list->resize(size > 0 ? size_t(size) : 0);
    }
    const bool none = size < 0 && (errno == ENODATA || errno == ENOTSUP);
    ::close(fd);
    return size >= 0 || none;
}
// Gives the new file fd, made private to its owner, the access of the
// regular file old (in folder): its owner and group, its access list, then
// its permissions. The list comes first: it sets the group's bits (its
// mask) itself, and permissions set before it would give the owning group
// the mask's rights until it came. What the host keeps this process from
// giving leaves the owner's permissions alone, so no one the replaced file
// kept out can read the new one.
bool TakeAccessOf(int fd, int folder, const char* name, const struct stat& old) {
    struct stat made;
    if (::fstat(fd, &made) != 0) return false;
    std::string list;
    const bool listRead = AccessListOf(folder, name, &list);
    const bool owned = (made.st_uid == old.st_uid && made.st_gid == old.st_gid) ||
                       ::fchown(fd, old.st_uid, old.st_gid) == 0;
    const bool whole = owned && listRead &&
                       (list.empty() || ::fsetxattr(fd, kAccessListAttribute, list.data(), list.size(), 0) == 0) &&
                       ::fchmod(fd, old.st_mode & 07777) == 0;
    return whole || ::fchmod(fd, old.st_mode & 0700) == 0;
}
DurableWriteStep WriteNewIn(int folder, const char* name, const void* bytes, size_t size, const char* accessOf) {
    using Step = DurableWriteStep;
    if (folder < 0 || !name || (size > 0 && !bytes)) {
        errno = EINVAL;
        return Step::CreateTemporary;
    }
    // Whatever a name of ours holds goes: a file left over, or a link
    // planted there, which the exclusive create below would refuse.
    if (::unlinkat(folder, name, 0) != 0 && errno != ENOENT) return Step::CreateTemporary;
    int fd;
    // A file that replaces another is private from its first byte, and takes
    // the access of the one it replaces once it exists; one that replaces
    // nothing has a new file's, and one with no accessOf stays private.
    struct stat old;
    const bool replacing =
        accessOf && ::fstatat(folder, accessOf, &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);
    do fd = ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     replacing || !accessOf ? 0600 : 0644);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return Step::CreateTemporary;
    Step failed = Step::Done;
    if (replacing && !TakeAccessOf(fd, folder, accessOf, old)) failed = Step::CreateTemporary;
    else if (!WriteAll(fd, bytes, size)) failed = Step::WriteTemporary;
    else if (::fsync(fd) != 0) failed = Step::SyncTemporary;
    int error = errno;
    if (::close(fd) != 0 && failed == Step::Done) {
        failed = Step::WriteTemporary;
        error = errno;
    }
    if (failed != Step::Done) ::unlinkat(folder, name, 0);
    errno = error;  // the reason of the step that failed, not of the clean-up
    return failed;
}

bool RenameIn(int fromFolder, const char* from, int toFolder, const char* to) {
    return fromFolder >= 0 && toFolder >= 0 && from && to && ::renameat(fromFolder, from, toFolder, to) == 0;
}

bool RemoveIn(int folder, const char* name) { return folder >= 0 && name && ::unlinkat(folder, name, 0) == 0; }

bool SyncFolder(int folder) { return folder >= 0 && ::fsync(folder) == 0; }

bool ListFolder(int folder, std::vector<HostDirEntry>* out) {
    if (folder < 0 || !out) return false;
    out->clear();
    // fdopendir takes the descriptor it is given: a copy of the folder's,
    // read from its first entry.
    const int copy = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return false;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        KeepingErrno([&] { ::close(copy); });
        return false;
    }
    ::rewinddir(dir);
    return ReadEntries(dir, out, [&](HostDirEntry* entry) {
        HostFileInfo info;
        if (!StatIn(folder, entry->name.c_str(), &info)) return;
        entry->isDirectory = info.isDirectory;
        entry->size = info.size;
    });
}

bool LockWithin(int descriptor, int waitMilliseconds) {
    // A real wait, whatever clock the program runs on: the other holder is
    // another process, or another open of the folder.
    // Tried again every millisecond: a holder that stores again at once
    // leaves only a short gap between its stores.
    timespec start, now;
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return false;
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const long waited = long(now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (waited >= waitMilliseconds) {
            errno = EWOULDBLOCK;
            return false;
        }
        const timespec nap{0, 1000000};
        ::nanosleep(&nap, nullptr);
    }
}

bool ReplaceableIn(int folder, const char* name) {
    struct statx dir, file;
    const unsigned mask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_MNT_ID;
    if (folder < 0 || !name || ::statx(folder, "", AT_EMPTY_PATH, mask, &dir) != 0) return false;
    if (::statx(folder, name, AT_SYMLINK_NOFOLLOW, mask, &file) != 0) return errno == ENOENT;
    const uid_t me = ::geteuid();
    int flags = 0;
    if (file.stx_mnt_id != dir.stx_mnt_id) errno = EBUSY;  // something mounted over the name
    else if ((dir.stx_mode & S_ISVTX) && me != 0 && me != dir.stx_uid && me != file.stx_uid) errno = EPERM;
    else if (!S_ISREG(file.stx_mode)) return true;
    else {
        const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        const bool fixed = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL));
        if (fd >= 0) ::close(fd);
        if (!fixed) return true;
        errno = EPERM;
    }
    return false;
}

int LockExclusive(const char* path) {
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    // Non-blocking, so that a FIFO at the path cannot stall the open; read
    // only, as a lock needs no more, so that a lock file another user left
    // (one made by a run as root) still serves.
    int fd;
    do fd = ::open(path, O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st;
    int result = ::fstat(fd, &st);
    if (result == 0 && (!S_ISREG(st.st_mode) || st.st_nlink != 1)) {
        errno = S_ISREG(st.st_mode) ? EMLINK : EINVAL;  // a file with other names may be anyone's
        result = -1;
    }
    // Taken at once or not at all: another holder's lock is no wait.
    if (result == 0 && !LockWithin(fd, 0)) result = -1;
    if (result == 0) return fd;
    const int error = errno;
    ::close(fd);
    errno = error;
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
    else if (st.st_nlink != 1) error = EMLINK;  // another name's file would be written
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
    "posix",     OpenRead,   Close,      ReadAt,     SizeOf,   Stat,     ListDirectory, GetCurrentDirectory,
    SetCurrentDirectory, CreateTempFile, RemoveFile, LockExclusive, ResolvePath, OpenAppend, OpenFolder,
    StatIn, OpenReadIn, WriteNewIn, RenameIn, RemoveIn, SyncFolder, ListFolder, LockWithin, ReplaceableIn,
};

}  // namespace morpotta::platform
