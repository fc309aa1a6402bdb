// The headless window's focus given back from a thread of its own once the
// virtual clock has run a while on, for tests in which the engine's thread
// waits while the window is inactive (its paused loop sleeps on that clock).
#pragma once
#include "platform/clock.h"
#include "platform/window.h"

#include <atomic>
#include <cstdint>
#include <thread>

using namespace morpotta;

class FocusReturn {
public:
    explicit FocusReturn(uint64_t afterMicroseconds) : from_(platform::ClockMicroseconds()) {
        thread_ = std::thread([this, afterMicroseconds] {
            while (!waitOver_.load() && platform::ClockMicroseconds() - from_ < afterMicroseconds)
                std::this_thread::yield();
            waitedThroughout_ = !waitOver_.load();
            platform::HeadlessPushEvent({platform::EventType::FocusGained});
        });
    }
    ~FocusReturn() { WaitedThroughout(); }
    // Called once the engine's thread is back: whether it waited until the
    // focus came back (a wait that ends early also ends this thread's).
    bool WaitedThroughout() {
        waitOver_ = true;
        if (thread_.joinable()) thread_.join();
        return waitedThroughout_.load();
    }

private:
    const uint64_t from_;
    std::atomic<bool> waitOver_{false}, waitedThroughout_{false};
    std::thread thread_;
};
