// What the machine is: for the start-up log and the worker-thread choice.
#pragma once
#include <cstdint>
#include <string>

namespace morpotta::platform {

struct SystemInfo {
    std::string osName;      // e.g. "Linux 6.1.0 x86_64"
    std::string cpuName;     // model name, or "unknown"
    int logicalProcessors = 1;
    uint64_t totalMemoryBytes = 0;
};

SystemInfo QuerySystemInfo();

}  // namespace morpotta::platform
