// Durable writes of the files a program keeps (saves, replays), through the
// host's write-flush-rename-flush step.
#include "engine/files.h"

#include "engine/log.h"
#include "platform/files.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

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

int WriteFileSetDurably(const DurableFile* files, size_t count) {
    if (count > 0 && !files) return WriteLogText("WriteFileSetDurably: no files");
    for (size_t i = 0; i < count; ++i) {
        if (!files[i].path || !*files[i].path || (files[i].size > 0 && !files[i].bytes))
            return WriteLogText("WriteFileSetDurably: a file without a path or without bytes");
    }
    const platform::FileSystemBackend& fs = platform::Files();
    std::vector<std::string> temporaries;
    temporaries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        temporaries.push_back(TemporaryOf(files[i].path));
        if (fs.writeFlushed(temporaries[i].c_str(), files[i].bytes, files[i].size) == platform::DurableWriteStep::Done)
            continue;
        temporaries.pop_back();
        for (const std::string& written : temporaries) fs.removeFile(written.c_str());
        return WriteLogFormat("Writing %s failed; it and the %zu other files written with it are kept as they were",
                              files[i].path, count - 1);
    }
    for (size_t i = 0; i < count; ++i) {
        if (fs.renameOver(temporaries[i].c_str(), files[i].path)) continue;
        for (size_t k = i; k < count; ++k) fs.removeFile(temporaries[k].c_str());
        return WriteLogFormat("Cannot replace %s: %zu files of its set were replaced, %zu are kept as they were",
                              files[i].path, i, count - i);
    }
    int result = 0;
    std::vector<std::string> folders;
    for (size_t i = 0; i < count; ++i) {
        const char* slash = std::strrchr(files[i].path, '/');
        std::string folder = slash ? std::string(files[i].path, size_t(slash - files[i].path)) : std::string(".");
        if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
        folders.push_back(folder);
        if (!fs.syncFolderOf(files[i].path))
            result = WriteLogFormat("%s was written, but its folder could not be flushed: a power cut may bring back "
                                    "the previous copy", files[i].path);
    }
    return result;
}

int RemoveUnfinishedWrite(const char* path) {
    if (!path || !*path) return 0;
    std::string temporary = TemporaryOf(path);
    if (!platform::Files().removeFile(temporary.c_str())) return 0;
    WriteLogFormat("Removed %s, left by a write that was cut short", temporary.c_str());
    return 1;
}
