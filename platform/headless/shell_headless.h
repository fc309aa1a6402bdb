#pragma once
#include "platform/shell.h"

namespace platform {
extern const ShellBackend kHeadlessShellBackend;
}
