// Waiting on the game's own program started by a test: a descriptor that
// becomes readable, and the program's end, both by a deadline.
#pragma once
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

using GameClock = std::chrono::steady_clock;

inline int MillisecondsLeft(GameClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - GameClock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Waits until fd can be read (or has hung up) or the deadline passes.
inline bool Readable(int fd, GameClock::time_point deadline) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, MillisecondsLeft(deadline)) == 1;
}

// The child's exit status as waitpid gives it, or -1 when it has not ended
// by the deadline (it is then killed).
inline int WaitForEnd(pid_t pid, GameClock::time_point deadline) {
    int status = 0;
    const int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        Readable(pidfd, deadline);  // readable once the child has ended
        close(pidfd);
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
    } else {
        // A kernel without process descriptors: asked every few milliseconds.
        pid_t ended = 0;
        while ((ended = waitpid(pid, &status, WNOHANG)) == 0 && MillisecondsLeft(deadline) > 0) usleep(5000);
        if (ended == pid) return status;
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}
