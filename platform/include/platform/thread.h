// Thread helpers beyond std::thread: names and scheduling hints.
#pragma once

namespace morpotta::platform {

enum class ThreadPriority { Normal, High, TimeCritical };

// Best effort: a host that refuses (no privilege) leaves the thread as it is
// and returns false.
bool SetCurrentThreadPriority(ThreadPriority priority);
void SetCurrentThreadName(const char* name);
unsigned long CurrentThreadId();
// Frees what the host's libraries keep for the calling thread (SDL's
// per-thread storage, which SDL frees by itself only for its own threads);
// a later call into them makes it again.
void ReleaseCurrentThreadStorage();

}  // namespace morpotta::platform
