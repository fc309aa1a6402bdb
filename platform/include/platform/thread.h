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

// The process barrier: after ProcessWideBarrier returns, every other
// thread of the process has passed a full memory barrier, so that a thread
// which stored and then loaded with no barrier of its own (a compiler
// fence alone) either has its store seen by the caller or sees what the
// caller stored before. PrepareProcessWideBarrier, called once before, makes
// the kernel's quick form available (one interrupt to each CPU that runs a
// thread of the process); without it the kernel's slower global form
// serves, and without either a sequentially consistent fence and a pause
// long past any store buffer's drain.
void PrepareProcessWideBarrier();
void ProcessWideBarrier();

// The calling process's id, told apart from a child of fork.
long CurrentProcessId();

// The calling thread stops for good, until the process ends; signals it
// takes are handled and it stops again.
[[noreturn]] void WaitUntilProcessEnds();

// The status an end at quick_exit gets: quick_exit does not tell it.
constexpr int kStatusNotTold = -1;
// Has end called as the process ends, by exit (with the status exit was
// given) or quick_exit (with kStatusNotTold), before the exit handlers
// registered earlier and after those registered later; each call adds one
// more. False when it cannot be arranged.
bool CallAtProcessEnd(void (*end)(int status));
// Ends the process at once with status: standard output and error are
// flushed unless another thread holds them; no exit handler runs.
[[noreturn]] void EndProcessNow(int status);

}  // namespace morpotta::platform
