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
        // The server writes its display number once it takes clients.
        std::string digits;
        pollfd ready{fromServer_, POLLIN, 0};
        char c;
        while (pid_ > 0 && poll(&ready, 1, kStartMilliseconds) == 1 && read(fromServer_, &c, 1) == 1 && c != '\n')
            digits += c;
        if (!digits.empty()) display_ = ":" + digits;
    }
    ~PrivateXServer() { Kill(); }
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    void Kill() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
        if (fromServer_ >= 0) close(fromServer_);
        fromServer_ = -1;
    }
    const char* display() const { return display_.c_str(); }

private:
    static constexpr int kStartMilliseconds = 20000;
    pid_t pid_ = -1;
    int fromServer_ = -1;
    std::string display_;
};
