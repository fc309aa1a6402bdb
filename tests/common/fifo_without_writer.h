// A FIFO with no writer, for readers that must refuse it rather than wait
// in the open for a writer that never comes; and one with no reader, for
// writers.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

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

// Makes a FIFO at path and runs write on this thread (a call that only the
// engine's thread may make). True when write returned by itself within the
// time-out; false when it still waited: a reader then opens the FIFO and
// drains what comes until write returns, so the test fails rather than
// hangs.
inline bool ReturnsWithoutAReader(const std::string& path, const std::function<void()>& write,
                                  std::chrono::seconds timeout = std::chrono::seconds(10)) {
    if (mkfifo(path.c_str(), 0600) != 0) return false;
    std::mutex mutex;
    std::condition_variable returned;
    bool done = false;
    std::atomic<bool> waited{false}, over{false};
    std::thread reader([&] {
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (returned.wait_for(lock, timeout, [&] { return done; })) return;
        }
        waited = true;
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        char buffer[4096];
        while (!over)
            if (fd < 0 || read(fd, buffer, sizeof buffer) <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (fd >= 0) close(fd);
    });
    write();
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    returned.notify_one();
    over = true;
    reader.join();
    return !waited;
}
