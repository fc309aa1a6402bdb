// The state lock: re-entry for its owner, try-lock refusing while others
// hold or wait, and hand-over in the order of asking.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "wiiremote/fair_lock.h"

TEST(FairRecursiveLock, ReentersAndRefusesOthers) {
    FairRecursiveLock lock;
    lock.lock();
    EXPECT_TRUE(lock.try_lock());
    lock.unlock();
    bool other = true;
    std::thread([&] { other = lock.try_lock(); }).join();
    EXPECT_FALSE(other);
    lock.unlock();
    std::thread([&] {
        other = lock.try_lock();
        if (other) lock.unlock();
    }).join();
    EXPECT_TRUE(other);
}

TEST(FairRecursiveLock, HandsOverInOrderOfAsking) {
    FairRecursiveLock lock;
    std::vector<int> order;
    lock.lock();
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&, i] {
            lock.lock();
            order.push_back(i);
            lock.unlock();
        });
        // Each waiter is queued before the next one starts.
        while (lock.waiting() <= i) std::this_thread::yield();
    }
    // A waiter is queued: try_lock from elsewhere must not jump the queue.
    bool jumped = true;
    std::thread([&] { jumped = lock.try_lock(); }).join();
    EXPECT_FALSE(jumped);
    lock.unlock();
    for (auto& t : threads) t.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}
