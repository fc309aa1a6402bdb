// Durable writes of the files a program keeps (saves, replays), through the
// host's write-flush-rename-flush step.
#include "engine/files.h"

#include "engine/log.h"
#include "platform/files.h"

#include <string>

namespace {

std::string TemporaryOf(const char* path) { return std::string(path) + ".tmp"; }

}  // namespace

int WriteFileDurably(const char* path, const void* bytes, size_t size) {
    if (!path || !*path || (size > 0 && !bytes)) return WriteLogText("WriteFileDurably: no path or no bytes");
    std::string temporary = TemporaryOf(path);
    using Step = platform::DurableWriteStep;
    switch (platform::Files().replaceDurably(path, temporary.c_str(), bytes, size)) {
    case Step::Done: return 0;
    case Step::CreateTemporary: return WriteLogFormat("Cannot create %s; %s is kept as it was", temporary.c_str(), path);
    case Step::WriteTemporary: return WriteLogFormat("Writing %s failed; %s is kept as it was", temporary.c_str(), path);
    case Step::SyncTemporary:
        return WriteLogFormat("Flushing %s to the disk failed; %s is kept as it was", temporary.c_str(), path);
    case Step::Rename: return WriteLogFormat("Cannot replace %s; it is kept as it was", path);
    case Step::SyncFolder:
        return WriteLogFormat("%s was written, but its folder could not be flushed: a power cut may bring back the "
                              "previous copy", path);
    }
    return -1;
}

int RemoveUnfinishedWrite(const char* path) {
    if (!path || !*path) return 0;
    std::string temporary = TemporaryOf(path);
    if (!platform::Files().removeFile(temporary.c_str())) return 0;
    WriteLogFormat("Removed %s, left by a write that was cut short", temporary.c_str());
    return 1;
}
