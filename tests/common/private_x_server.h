// An X server of a test's own (Xvfb) on a display number it finds free
// itself, with GL (GLX) or, as on a host without a GL driver, without it.
// display() is empty when Xvfb is not installed or did not start.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

class PrivateXServer {
public:
    enum class Gl { On, Off };
    explicit PrivateXServer(Gl gl = Gl::On) {
        int fromServer[2];
        if (pipe(fromServer) != 0) return;
        const std::string fd = std::to_string(fromServer[1]);
        // -noreset: the server would start over (and write to the pipe
        // again) each time its last client leaves.
        const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-noreset", "-nolisten", "tcp",
                              "-screen", "0", "800x600x24", "-extension", "GLX", nullptr};
        if (gl == Gl::On) argv[9] = nullptr;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fromServer[0]);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        extern char** environ;
        if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fromServer[1]);
        fromServer_ = fromServer[0];  // open while the server runs
        // The server writes its display number, and a line's end, once it
        // takes clients: within kStartMilliseconds in all, or not at all. A
        // signal the process takes meanwhile does not cut the wait short.
        std::string digits;
        pollfd ready{fromServer_, POLLIN, 0};
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMilliseconds);
        for (char c; pid_ > 0;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(giveUp - std::chrono::steady_clock::now());
            const int polled = poll(&ready, 1, int(std::max<long long>(left.count(), 0)));
            const ssize_t got = polled == 1 ? read(fromServer_, &c, 1) : polled;
            if (got < 0 && errno == EINTR) continue;
            if (got != 1) break;
            if (c == '\n') {
                if (!digits.empty()) display_ = ":" + digits;
                break;
            }
            digits += c;
        }
    }
    ~PrivateXServer() { Kill(); }
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // Ends the server: asked first, killed when it has not ended within
    // kEndMilliseconds (one that never ends on request would hold the case
    // for good).
    void Kill() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            if (!Reaped(kEndMilliseconds)) {
                kill(pid_, SIGKILL);
                Reaped(-1);
            }
        }
        pid_ = -1;
        if (fromServer_ >= 0) close(fromServer_);
        fromServer_ = -1;
    }
    const char* display() const { return display_.c_str(); }

private:
    // True once the server has ended and been reaped, waiting up to
    // milliseconds for it (for good when negative).
    bool Reaped(int milliseconds) const {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        for (;;) {
            const pid_t reaped = waitpid(pid_, nullptr, milliseconds < 0 ? 0 : WNOHANG);
            if (reaped == pid_ || (reaped < 0 && errno == ECHILD)) return true;
            if (reaped < 0 && errno != EINTR) return false;
            if (milliseconds >= 0 && std::chrono::steady_clock::now() >= giveUp) return false;
            if (reaped == 0) usleep(10000);
        }
    }

    static constexpr int kStartMilliseconds = 20000, kEndMilliseconds = 5000;
    pid_t pid_ = -1;
    int fromServer_ = -1;
    std::string display_;
};
