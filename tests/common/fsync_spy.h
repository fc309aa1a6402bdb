// fsync replaced for a test program that links tests/common/fsync_spy.cpp
// (a definition in the executable wins over the C library's): a test sees
// each flush, can make one fail, or can skip them. openat is replaced too,
// so that a test can make the opens of one name fail as a passing read
// error would, or see the access a new file is created with, and renameat,
// to make a rename fail as a disk error (or a file that cannot be
// replaced) would; fchmod and fsetxattr too, so that a test can look at a
// file's access after each change of it; and readdir, to make the reading
// of a folder fail as a disk error would.
// Skipping changes nothing a killed process could see (a flush only matters
// to a power cut), and a test that kills a store hundreds of times then
// runs in a moment.
#pragma once
#include <string>
#include <utility>
#include <vector>

struct FsyncSpy {
    bool recording = false;  // note every flushed path in synced
    int failCall = 0;        // 1-based recorded call to fail with EIO; 0 fails none
    bool skip = false;       // succeed without flushing
    std::vector<std::string> synced;
    std::string failOpen;    // a name whose openat fails with EIO; "" fails none
    int failOpens = -1;      // how many of those opens fail; -1 every one
    std::string failRename;  // a name a renameat over fails with renameError; "" fails none
    int renameError = 5;     // EIO
    bool recordCreates = false;  // note every file openat creates, with the mode it asks for, in created
    std::vector<std::pair<std::string, unsigned>> created;
    void (*accessChanged)(int fd) = nullptr;  // called after every fchmod and fsetxattr
    std::string failList;    // a folder whose readdir fails with EIO; "" fails none
};

FsyncSpy& Fsyncs();

// Skips the flushes while it lives.
struct SkippedFsyncs {
    SkippedFsyncs() { Fsyncs().skip = true; }
    ~SkippedFsyncs() { Fsyncs().skip = false; }
};
