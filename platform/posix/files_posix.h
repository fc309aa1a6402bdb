#pragma once
#include "platform/files.h"

namespace platform {
extern const FileSystemBackend kPosixFileSystemBackend;
}
