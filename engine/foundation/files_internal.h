// What the two file sets share.
#pragma once
#include "engine/files.h"
#include "foundation/paths_internal.h"
#include "platform/files.h"

namespace morpotta {

// The absolute form of a path to open; -1 and a log line when it is bad or
// longer than a path may be.
int ParseOpenPath(const char* path, EnginePath* full);

FileHandle OpenPlainFile(const char* path);  // 0 and a refusal when it cannot be opened
// What a host entry that is not a regular file is, in a few words ("a
// folder, not a file").
const char* NotAFile(platform::HostFileKind kind);
int SetFileDirectory(const char* path);
int GetFileDirectory(char* buffer, size_t capacity);

}  // namespace morpotta
