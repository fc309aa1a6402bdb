// The library lock. Re-entrant for its owner; other threads are served
// first come, first served, up to 4096 waiting at once, each waiting on its
// own event. Held by the engine's life-cycle entries (start-up, shut-down,
// message processing).
#pragma once

namespace morpotta {

struct ApiLockState;

struct ApiLock {
    ApiLockState* state;
};

constexpr int kApiLockMaxWaiters = 4096;

int CreateApiLock(ApiLock* lock);
int DestroyApiLock(ApiLock* lock);
// -1 when more than kApiLockMaxWaiters threads already wait.
int AcquireApiLock(ApiLock* lock);
int ReleaseApiLock(ApiLock* lock);  // -1 when the caller does not hold it

// Diagnostics: threads waiting now.
int GetApiLockWaiterCount(ApiLock* lock);

// The engine's own lock, created on first use and destroyed at shut-down.
ApiLock* EngineApiLock();

}  // namespace morpotta
