// The library lock: re-entrant for its owner and strictly first come, first
// served for everyone else. Each waiter sleeps on its own condition and the
// releasing thread hands ownership straight to the longest waiter, so a
// thread that arrives later can never overtake.
#include "foundation/apilock.h"
#include "platform/lasting_state.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace morpotta {

struct ApiLockState {
    struct Waiter {
        std::condition_variable wake;
        std::thread::id thread;
        bool granted = false;
    };
    std::mutex mutex;
    std::thread::id owner;
    int depth = 0;
    std::deque<Waiter*> waiters;
};

int CreateApiLock(ApiLock* lock) {
    if (!lock) return -1;
    lock->state = new (std::nothrow) ApiLockState;
    return lock->state ? 0 : -1;
}

int DestroyApiLock(ApiLock* lock) {
    if (!lock || !lock->state) return -1;
    delete lock->state;
    lock->state = nullptr;
    return 0;
}

int AcquireApiLock(ApiLock* lock) {
    if (!lock || !lock->state) return -1;
    ApiLockState& s = *lock->state;
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> guard(s.mutex);
    if (s.depth > 0 && s.owner == self) {
        ++s.depth;
        return 0;
    }
    if (s.depth == 0 && s.waiters.empty()) {
        s.owner = self;
        s.depth = 1;
        return 0;
    }
    if (s.waiters.size() >= size_t(kApiLockMaxWaiters)) return -1;
    ApiLockState::Waiter me;
    me.thread = self;
    s.waiters.push_back(&me);
    me.wake.wait(guard, [&] { return me.granted; });
    return 0;  // the releaser made us the owner with depth 1
}

int ReleaseApiLock(ApiLock* lock) {
    if (!lock || !lock->state) return -1;
    ApiLockState& s = *lock->state;
    std::lock_guard<std::mutex> guard(s.mutex);
    if (s.depth == 0 || s.owner != std::this_thread::get_id()) return -1;
    if (--s.depth > 0) return 0;
    if (s.waiters.empty()) {
        s.owner = std::thread::id();
        return 0;
    }
    ApiLockState::Waiter* next = s.waiters.front();
    s.waiters.pop_front();
    s.owner = next->thread;
    s.depth = 1;
    next->granted = true;
    next->wake.notify_one();
    return 0;
}

int GetApiLockWaiterCount(ApiLock* lock) {
    if (!lock || !lock->state) return 0;
    std::lock_guard<std::mutex> guard(lock->state->mutex);
    return int(lock->state->waiters.size());
}

namespace {
struct ApiLockModule {
    std::mutex engineLockGuard;
    ApiLock engineLock{nullptr};
};

ApiLockModule& ApiLocks() {
    return platform::LastingState<ApiLockModule>();
}
}  // namespace

ApiLock* EngineApiLock() {
    std::lock_guard<std::mutex> guard(ApiLocks().engineLockGuard);
    if (!ApiLocks().engineLock.state) CreateApiLock(&ApiLocks().engineLock);
    return &ApiLocks().engineLock;
}

void DestroyEngineApiLock() {
    std::lock_guard<std::mutex> guard(ApiLocks().engineLockGuard);
    if (ApiLocks().engineLock.state) DestroyApiLock(&ApiLocks().engineLock);
}

}  // namespace morpotta
