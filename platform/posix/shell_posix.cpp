// Opening a web address, in place of the Windows shell's "open" verb.
// Spawns xdg-open with the address as its only argument (no command shell,
// so nothing in the address is interpreted) and reaps it on a detached
// thread so the caller never waits for the browser.
// Limits: needs xdg-utils on the host; a missing xdg-open is only noticed
// by the child, which then exits with a failure that is not reported back.
// Depends on: POSIX spawn and wait.
#include "posix/shell_posix.h"
#include "platform/warning.h"

#include <spawn.h>
#include <sys/wait.h>

#include <thread>

extern char** environ;

namespace morpotta::platform {
namespace {

bool SpawnXdgOpen(const char* address) {
    char program[] = "xdg-open";
    std::string argument = address;
    char* argv[] = {program, argument.data(), nullptr};
    pid_t pid = 0;
    int error = posix_spawnp(&pid, program, nullptr, nullptr, argv, environ);
    if (error != 0) {
        Warn("xdg-open could not be started (error %d)", error);
        return false;
    }
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
}

}  // namespace

const ShellBackend kPosixShellBackend = {"posix", SpawnXdgOpen};

}  // namespace morpotta::platform
