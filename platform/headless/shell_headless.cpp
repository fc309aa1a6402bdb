// Headless shell: records every web address instead of opening a browser,
// so tests can see what the game would have opened. Never fails.
// Depends on: nothing.
#include "headless/shell_headless.h"

#include <mutex>

namespace morpotta::platform {
namespace {

std::mutex recordLock;
std::vector<std::string> opened;

bool RecordAddress(const char* address) {
    std::lock_guard<std::mutex> guard(recordLock);
    opened.emplace_back(address);
    return true;
}

}  // namespace

const ShellBackend kHeadlessShellBackend = {"headless", RecordAddress};

std::vector<std::string> HeadlessOpenedAddresses() {
    std::lock_guard<std::mutex> guard(recordLock);
    return opened;
}

void HeadlessClearOpenedAddresses() {
    std::lock_guard<std::mutex> guard(recordLock);
    opened.clear();
}

}  // namespace morpotta::platform
