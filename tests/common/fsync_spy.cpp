#include "fsync_spy.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

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
