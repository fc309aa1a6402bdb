// A folder of its own for a fuzz target that writes a file for every input:
// in memory where the host has a memory file system, else in /tmp. It is
// removed when the fuzzer ends normally.
#pragma once
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

inline std::string& FuzzFolderToRemove() {
    static std::string folder;
    return folder;
}

inline std::string MakeFuzzFolder(const char* name) {
    for (const char* base : {"/dev/shm/", "/tmp/"}) {
        std::string pattern = std::string(base) + name + "-XXXXXX";
        if (!mkdtemp(pattern.data())) continue;
        FuzzFolderToRemove() = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(FuzzFolderToRemove(), ec);
        });
        return pattern;
    }
    std::abort();
}
