// The one place where back ends are registered and chosen.
#include "headless/shell_headless.h"
#include "headless/window_headless.h"
#include "posix/shell_posix.h"
#include "sdl2/window_sdl2.h"

#include <cstring>

namespace platform {
namespace {

const WindowBackend* const kWindowBackends[] = {&kSdl2WindowBackend, &kHeadlessWindowBackend};
const WindowBackend* currentWindow = &kSdl2WindowBackend;

const ShellBackend* const kShellBackends[] = {&kPosixShellBackend, &kHeadlessShellBackend};
const ShellBackend* currentShell = &kPosixShellBackend;

}  // namespace

bool SelectWindowBackend(const char* name) {
    for (const WindowBackend* b : kWindowBackends) {
        if (name && std::strcmp(b->name, name) == 0) {
            currentWindow = b;
            return true;
        }
    }
    return false;
}

const WindowBackend& Window() { return *currentWindow; }

bool SelectShellBackend(const char* name) {
    for (const ShellBackend* b : kShellBackends) {
        if (name && std::strcmp(b->name, name) == 0) {
            currentShell = b;
            return true;
        }
    }
    return false;
}

const ShellBackend& Shell() { return *currentShell; }

}  // namespace platform
