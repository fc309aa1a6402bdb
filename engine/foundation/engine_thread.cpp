// The engine's thread, the resource lock and the queue of work other
// threads leave to the engine's thread.
#include "foundation/engine_thread.h"

#include "engine/log.h"

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Work = std::pair<void (*)(void*), void*>;

struct EngineThreadModule {
    std::atomic<bool> bound{false};
    std::atomic<std::thread::id> thread{};
    std::recursive_mutex resourceLock;
    std::mutex queueLock;
    std::vector<Work> queue;  // under queueLock
};

EngineThreadModule& State() {
    static EngineThreadModule state;
    return state;
}

// ResourceCalls the calling thread is inside.
thread_local int resourceCallDepth = 0;

}  // namespace

ResourceCall::ResourceCall() : lock_(State().resourceLock) { ++resourceCallDepth; }
ResourceCall::~ResourceCall() { --resourceCallDepth; }

void BindEngineThread() {
    State().thread.store(std::this_thread::get_id());
    State().bound.store(true);
}

void ReleaseEngineThread() { State().bound.store(false); }

bool OnEngineThread() { return !State().bound.load() || State().thread.load() == std::this_thread::get_id(); }

bool AllowOnlyOnEngineThread(const char* function) {
    if (OnEngineThread() || resourceCallDepth > 0) return true;
    WriteLogFormat("%s refused: only the thread that started the engine may call it", function);
    return false;
}

std::recursive_mutex& ResourceLock() { return State().resourceLock; }

void RunOnEngineThread(void (*work)(void* data), void* data) {
    if (OnEngineThread()) {
        work(data);
        return;
    }
    std::lock_guard<std::mutex> guard(State().queueLock);
    State().queue.emplace_back(work, data);
}

void RunEngineThreadQueue() {
    std::vector<Work> due;
    {
        std::lock_guard<std::mutex> guard(State().queueLock);
        due.swap(State().queue);
    }
    for (const Work& w : due) w.first(w.second);
}
