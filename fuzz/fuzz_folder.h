// A folder of its own for a fuzz target that writes a file for every input:
// in memory where the host has a memory file system, else in /tmp.
#pragma once
#include <stdlib.h>

#include <cstdlib>
#include <string>

inline std::string MakeFuzzFolder(const char* name) {
    for (const char* base : {"/dev/shm/", "/tmp/"}) {
        std::string pattern = std::string(base) + name + "-XXXXXX";
        if (mkdtemp(pattern.data())) return pattern;
    }
    std::abort();
}
