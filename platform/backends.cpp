// The one place where back ends are registered and chosen.
#include "headless/input_scripted.h"
#include "headless/shell_headless.h"
#include "headless/window_headless.h"
#include "posix/files_posix.h"
#include "posix/shell_posix.h"
#include "sdl2/input_sdl2.h"
#include "sdl2/window_sdl2.h"

#include <cstring>

namespace platform {
namespace {

const WindowBackend* const kWindowBackends[] = {&kSdl2WindowBackend, &kHeadlessWindowBackend};
const WindowBackend* currentWindow = &kSdl2WindowBackend;

const InputBackend* const kInputBackends[] = {&kSdl2InputBackend, &kScriptedInputBackend};
const InputBackend* currentInput = &kSdl2InputBackend;

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

const FileSystemBackend& Files() { return kPosixFileSystemBackend; }

bool SelectInputBackend(const char* name) {
    for (const InputBackend* b : kInputBackends) {
        if (name && std::strcmp(b->name, name) == 0) {
            currentInput = b;
            return true;
        }
    }
    return false;
}

const InputBackend& Input() { return *currentInput; }

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
