#pragma once
#include "platform/shell.h"

namespace morpotta::platform {
extern const ShellBackend kPosixShellBackend;
}
