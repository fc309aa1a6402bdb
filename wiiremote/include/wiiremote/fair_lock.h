// A re-entrant lock that is granted in the order it was asked for. The read
// thread takes the state lock for every report, and sometimes holds it for
// tens of milliseconds (pauses while it answers an extension change), so an
// ordinary mutex lets it win again and again while the owner's thread waits
// for a snapshot or a disconnect.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class FairRecursiveLock {
public:
    void lock();
    bool try_lock();  // fails while the lock is held by another thread or asked for
    void unlock();
    // Threads queued for the lock at this moment (the holder not counted).
    int waiting();

private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::thread::id owner_{};
    uint32_t depth_ = 0;
    uint64_t nextTicket_ = 0;
    uint64_t serving_ = 0;
};
