// A FIFO with no writer, for readers that must refuse it rather than wait
// in the open for a writer that never comes.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>

// Makes a FIFO at path and runs read. True when read returned by itself
// within the time-out; false when it still waited: the FIFO is then opened
// for writing and closed again, which ends the wait, so the test fails
// rather than hangs.
inline bool ReturnsWithoutAWriter(const std::string& path, const std::function<void()>& read,
                                  std::chrono::seconds timeout = std::chrono::seconds(10)) {
    if (mkfifo(path.c_str(), 0600) != 0) return false;
    auto reading = std::async(std::launch::async, read);
    if (reading.wait_for(timeout) == std::future_status::ready) return true;
    const int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer >= 0) close(writer);
    reading.wait();
    return false;
}
