#pragma once
#include "platform/files.h"

namespace morpotta::platform {
extern const FileSystemBackend kPosixFileSystemBackend;
}
