// Which thread may call what (engine.h gives the rule to games). The
// engine's thread, the one that started the engine, may call everything.
// Any other thread may, while the engine runs, make and delete pictures,
// sounds and models; those calls take the resource lock on every thread, so
// they run one at a time, and the state they share with the engine's
// thread (handle tables, device objects) is safe on its own. What another
// thread must leave to the engine's thread (freeing what that thread may
// be drawing at the moment) waits in a queue that the engine's thread runs
// at every message pass and at shut-down. Every other call made on another
// thread is refused.
#pragma once
#include <mutex>
#include <optional>

// Start-up: the calling thread becomes the engine's thread. Shut-down: no
// thread is.
void BindEngineThread();
void ReleaseEngineThread();
// True on the engine's thread, and on every thread while no engine runs.
bool OnEngineThread();
// For the calls only the engine's thread may make: true there, and inside
// a ResourceCall (the engine's own work for that call); on any other thread
// while the engine runs, false after a log line that names the function.
bool AllowOnlyOnEngineThread(const char* function);

// Held by every call another thread may make, on whatever thread, and by
// the engine's thread wherever it changes what those calls read.
std::recursive_mutex& ResourceLock();
using ResourceLockGuard = std::lock_guard<std::recursive_mutex>;

// The frame of a call another thread may make (making or deleting a
// picture, sound or model): holds the resource lock while it runs.
class ResourceCall {
public:
    ResourceCall();
    ~ResourceCall();
    ResourceCall(const ResourceCall&) = delete;
    ResourceCall& operator=(const ResourceCall&) = delete;

private:
    ResourceLockGuard lock_;
};

// A ResourceCall when made on another thread than the engine's; nothing on
// the engine's thread, for calls whose work there needs no lock (deleting,
// and what sound guards with its own lock).
class LoaderResourceCall {
public:
    LoaderResourceCall() {
        if (!OnEngineThread()) call_.emplace();
    }

private:
    std::optional<ResourceCall> call_;
};

// Runs work(data) on the engine's thread: at once when called there, else
// at its next message pass or at shut-down, whichever comes first.
void RunOnEngineThread(void (*work)(void* data), void* data);
// The engine's thread: runs what other threads queued, in their order.
void RunEngineThreadQueue();
