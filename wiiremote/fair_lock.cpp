// Ticket lock with re-entry for its owner.
#include "wiiremote/fair_lock.h"

void FairRecursiveLock::lock() {
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock guard(mutex_);
    if (depth_ > 0 && owner_ == me) {
        ++depth_;
        return;
    }
    const uint64_t ticket = nextTicket_++;
    released_.wait(guard, [&] { return depth_ == 0 && serving_ == ticket; });
    owner_ = me;
    depth_ = 1;
}

bool FairRecursiveLock::try_lock() {
    const std::thread::id me = std::this_thread::get_id();
    std::lock_guard guard(mutex_);
    if (depth_ > 0 && owner_ == me) {
        ++depth_;
        return true;
    }
    if (depth_ > 0 || serving_ != nextTicket_) return false;
    ++nextTicket_;
    owner_ = me;
    depth_ = 1;
    return true;
}

void FairRecursiveLock::unlock() {
    std::lock_guard guard(mutex_);
    if (--depth_ > 0) return;
    owner_ = std::thread::id{};
    ++serving_;
    released_.notify_all();
}

int FairRecursiveLock::waiting() {
    std::lock_guard guard(mutex_);
    return int(nextTicket_ - serving_) - (depth_ > 0 ? 1 : 0);
}
