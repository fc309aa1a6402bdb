// The boundary between engine paths (code page 932, '\', any letter case)
// and host paths (UTF-8, '/', exact case).
#pragma once
#include "foundation/paths_internal.h"

#include "platform/files.h"

#include <cstdint>
#include <string>

namespace morpotta {

// The existing host entry an absolute engine path names, each component
// matched ignoring ASCII letter case when no exact match exists. -1 when
// nothing is there or the path cannot be expressed on the host.
int ResolveHostPath(const EnginePath& path, std::string* hostPath, platform::HostFileInfo* info = nullptr);

// Engine path text made absolute and resolved in one step; logs nothing.
int ResolveHostPathText(const char* enginePath, std::string* hostPath, platform::HostFileInfo* info = nullptr);

// A host path in engine form (code page 932, '\' separators); -1 when it
// has characters outside the code page.
int HostPathToEngine(const std::string& hostPath, std::string* enginePath);

// A whole host file of at most limit bytes into *out (a byte container:
// std::string or std::vector<uint8_t>), through the host file layer, which
// opens regular files only: anything else at the path (a FIFO without a
// writer) is refused, not waited on. False when it cannot be read whole.
template <class Bytes>
bool ReadWholeHostFile(const char* path, int64_t limit, Bytes* out) {
    const platform::FileSystemBackend& files = platform::Files();
    const int descriptor = files.openRead(path);
    if (descriptor < 0) return false;
    const int64_t size = files.sizeOf(descriptor);
    bool ok = size >= 0 && size <= limit;
    if (ok) {
        out->resize(size_t(size));
        ok = files.readAt(descriptor, out->data(), out->size(), 0) == size;
    }
    files.close(descriptor);
    return ok;
}

}  // namespace morpotta
