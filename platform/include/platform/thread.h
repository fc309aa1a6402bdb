// Thread helpers beyond std::thread: names and scheduling hints.
#pragma once

namespace platform {

enum class ThreadPriority { Normal, High, TimeCritical };

// Best effort: a host that refuses (no privilege) leaves the thread as it is
// and returns false.
bool SetCurrentThreadPriority(ThreadPriority priority);
void SetCurrentThreadName(const char* name);
unsigned long CurrentThreadId();

}  // namespace platform
