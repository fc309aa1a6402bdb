// The boundary between engine paths (code page 932, '\', any letter case)
// and host paths (UTF-8, '/', exact case).
#pragma once
#include "foundation/paths_internal.h"

#include "platform/files.h"

#include <string>

// The existing host entry an absolute engine path names, each component
// matched ignoring ASCII letter case when no exact match exists. -1 when
// nothing is there or the path cannot be expressed on the host.
int ResolveHostPath(const EnginePath& path, std::string* hostPath, platform::HostFileInfo* info = nullptr);

// Engine path text made absolute and resolved in one step; logs nothing.
int ResolveHostPathText(const char* enginePath, std::string* hostPath, platform::HostFileInfo* info = nullptr);

// A host path in engine form (code page 932, '\' separators); -1 when it
// has characters outside the code page.
int HostPathToEngine(const std::string& hostPath, std::string* enginePath);
