#include "fsync_spy.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>

namespace {

std::string PathOfDescriptor(int fd) {
    char target[PATH_MAX] = {};
    ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, size_t(n)) : std::string();
}

}  // namespace

FsyncSpy& Fsyncs() {
    static FsyncSpy spy;
    return spy;
}

extern "C" int fsync(int fd) {
    using Sync = int (*)(int);
    static Sync real = reinterpret_cast<Sync>(dlsym(RTLD_NEXT, "fsync"));
    FsyncSpy& spy = Fsyncs();
    if (spy.recording) {
        spy.synced.push_back(PathOfDescriptor(fd));
        if (int(spy.synced.size()) == spy.failCall) {
            errno = EIO;
            return -1;
        }
    }
    return spy.skip ? 0 : real(fd);
}

extern "C" int openat(int folder, const char* path, int flags, ...) {
    using Open = int (*)(int, const char*, int, ...);
    static Open real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "openat"));
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    FsyncSpy& spy = Fsyncs();
    if (!spy.failOpen.empty() && std::string(path).ends_with(spy.failOpen) && spy.failOpens != 0) {
        if (spy.failOpens > 0) --spy.failOpens;
        errno = EIO;
        return -1;
    }
    if (spy.recordCreates && (flags & O_CREAT)) spy.created.push_back({path, unsigned(mode)});
    return real(folder, path, flags, mode);
}

extern "C" int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
    using Rename = int (*)(int, const char*, int, const char*);
    static Rename real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "renameat"));
    const std::string& fail = Fsyncs().failRename;
    if (!fail.empty() && std::string(to).ends_with(fail)) {
        errno = Fsyncs().renameError;
        return -1;
    }
    return real(fromFolder, from, toFolder, to);
}

extern "C" int fchmod(int fd, mode_t mode) {
    using Change = int (*)(int, mode_t);
    static Change real = reinterpret_cast<Change>(dlsym(RTLD_NEXT, "fchmod"));
    const int result = real(fd, mode);
    if (Fsyncs().accessChanged) Fsyncs().accessChanged(fd);
    return result;
}

extern "C" int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
    using Set = int (*)(int, const char*, const void*, size_t, int);
    static Set real = reinterpret_cast<Set>(dlsym(RTLD_NEXT, "fsetxattr"));
    const int result = real(fd, name, value, size, flags);
    if (Fsyncs().accessChanged) Fsyncs().accessChanged(fd);
    return result;
}

extern "C" dirent* readdir(DIR* folder) {
    using Read = dirent* (*)(DIR*);
    static Read real = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "readdir"));
    const std::string& fail = Fsyncs().failList;
    if (!fail.empty() && PathOfDescriptor(dirfd(folder)).ends_with(fail)) {
        errno = EIO;
        return nullptr;
    }
    return real(folder);
}
