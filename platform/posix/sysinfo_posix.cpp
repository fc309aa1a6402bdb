// System facts from uname, /proc/cpuinfo and sysconf. Stands in for
// GetVersionEx, the CPU brand query and GetSystemInfo.
// Depends on: POSIX, Linux /proc.
#include "platform/sysinfo.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>
#include <thread>

namespace morpotta::platform {

SystemInfo QuerySystemInfo() {
    SystemInfo info;
    utsname u;
    if (uname(&u) == 0) info.osName = std::string(u.sysname) + " " + u.release + " " + u.machine;
    else info.osName = "unknown";

    info.cpuName = "unknown";
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            auto colon = line.find(':');
            if (colon != std::string::npos) {
                auto start = line.find_first_not_of(" \t", colon + 1);
                if (start != std::string::npos) info.cpuName = line.substr(start);
            }
            break;
        }
    }

    long n = sysconf(_SC_NPROCESSORS_ONLN);
    info.logicalProcessors = n > 0 ? int(n) : int(std::thread::hardware_concurrency());
    if (info.logicalProcessors < 1) info.logicalProcessors = 1;
    long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) info.totalMemoryBytes = uint64_t(pages) * uint64_t(pageSize);
    return info;
}

}  // namespace morpotta::platform
