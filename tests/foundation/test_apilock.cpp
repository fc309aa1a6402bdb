#include "foundation/apilock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace morpotta;

namespace {

TEST(ApiLockTest, ReentrantForItsOwnerAndRefusedToOthers) {
    ApiLock lock;
    ASSERT_EQ(CreateApiLock(&lock), 0);
    ASSERT_EQ(AcquireApiLock(&lock), 0);
    ASSERT_EQ(AcquireApiLock(&lock), 0);
    int otherRelease = 0;
    std::thread([&] { otherRelease = ReleaseApiLock(&lock); }).join();
    EXPECT_EQ(otherRelease, -1);

    std::atomic<bool> acquired{false};
    std::thread other([&] {
        AcquireApiLock(&lock);
        acquired = true;
        ReleaseApiLock(&lock);
    });
    while (GetApiLockWaiterCount(&lock) == 0) std::this_thread::yield();
    EXPECT_EQ(ReleaseApiLock(&lock), 0);
    EXPECT_FALSE(acquired.load());  // still held once
    EXPECT_EQ(ReleaseApiLock(&lock), 0);
    other.join();
    EXPECT_TRUE(acquired.load());
    EXPECT_EQ(ReleaseApiLock(&lock), -1);
    DestroyApiLock(&lock);
}

TEST(ApiLockTest, WaitersAreServedInArrivalOrder) {
    ApiLock lock;
    ASSERT_EQ(CreateApiLock(&lock), 0);
    AcquireApiLock(&lock);
    constexpr int kThreads = 12;
    std::mutex orderMutex;
    std::vector<int> order;
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            AcquireApiLock(&lock);
            AcquireApiLock(&lock);  // re-entry while others wait
            {
                std::lock_guard<std::mutex> g(orderMutex);
                order.push_back(i);
            }
            ReleaseApiLock(&lock);
            ReleaseApiLock(&lock);
        });
        while (GetApiLockWaiterCount(&lock) != i + 1) std::this_thread::yield();
    }
    ReleaseApiLock(&lock);
    for (auto& t : threads) t.join();
    ASSERT_EQ(order.size(), size_t(kThreads));
    for (int i = 0; i < kThreads; ++i) EXPECT_EQ(order[i], i);
    DestroyApiLock(&lock);
}

TEST(ApiLockTest, EngineLockExistsOnDemand) {
    ApiLock* lock = EngineApiLock();
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(AcquireApiLock(lock), 0);
    EXPECT_EQ(ReleaseApiLock(lock), 0);
}

}  // namespace
