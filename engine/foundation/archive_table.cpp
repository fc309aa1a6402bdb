// The table of open resource archives and the settings they are read with.
#include "foundation/archive_table.h"

#include "engine/archive.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/text.h"
#include "foundation/engine_thread.h"
#include "foundation/file_handles.h"
#include "foundation/host_path.h"
#include "foundation/log_internal.h"
#include "foundation/subsystems.h"
#include "platform/lasting_state.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <mutex>

using namespace morpotta;

namespace morpotta {

namespace {

struct OpenArchive {
    int descriptor = -1;
    uint64_t fileSize = 0;
    ArchiveDirectory directory;
};

// What stands at one candidate path "<prefix>.<extension>".
struct Candidate {
    OpenArchive* archive = nullptr;  // null: no archive there
    bool failed = false;             // there is one, but it cannot be read
};

struct ArchiveState {
    std::mutex lock;
    std::string extension = "dat";
    std::string key;
    std::map<std::string, Candidate> candidates;  // by folded engine path
    std::vector<OpenArchive*> opened;             // in opening order
    // The member whose size was asked last, unpacked and checked, kept for
    // the open that usually follows.
    const ArchiveEntry* unpackedEntry = nullptr;
    unsigned char* unpacked = nullptr;
};

OpenArchive* NewArchive() {
    void* memory = ENGINE_ALLOC(sizeof(OpenArchive));
    return memory ? new (memory) OpenArchive : nullptr;
}

void DeleteArchive(OpenArchive* archive) {
    if (!archive) return;
    archive->~OpenArchive();
    FreeMemory(archive);
}

ArchiveState& ArchiveTable() {
    return platform::LastingState<ArchiveState>();
}

ArchiveReader ReaderFor(const OpenArchive* archive) {
    int descriptor = archive->descriptor;
    return [descriptor](uint64_t offset, void* buffer, size_t size) {
        if (size == 0) return true;
        return platform::Files().readAt(descriptor, buffer, size, int64_t(offset)) == int64_t(size);
    };
}

void CloseAll(ArchiveState& s) {
    FreeMemory(s.unpacked);
    s.unpacked = nullptr;
    s.unpackedEntry = nullptr;
    for (auto it = s.opened.rbegin(); it != s.opened.rend(); ++it) {
        platform::Files().close((*it)->descriptor);
        DeleteArchive(*it);
    }
    s.opened.clear();
    s.candidates.clear();
}

Candidate OpenCandidate(ArchiveState& s, const EnginePath& archivePath) {
    Candidate c;
    std::string host;
    platform::HostFileInfo info;
    if (ResolveHostPath(archivePath, &host, &info) != 0 || info.isDirectory) return c;
    c.failed = true;
    std::string name = JoinEnginePath(archivePath);
    OpenArchive* archive = NewArchive();
    if (!archive) return c;
    archive->descriptor = platform::Files().openRead(host.c_str());
    if (archive->descriptor < 0) {
        DeleteArchive(archive);
        Refuse("archive %s cannot be opened", name.c_str());
        return c;
    }
    archive->fileSize = uint64_t(platform::Files().sizeOf(archive->descriptor));
    // What the reader found is said after the archive's name.
    InnerAttempt read;
    if (ReadArchiveDirectory(ReaderFor(archive), archive->fileSize, s.key.c_str(), &archive->directory) != 0) {
        platform::Files().close(archive->descriptor);
        DeleteArchive(archive);
        read.RefuseCallAfter("archive %s cannot be read", name.c_str());
        return c;
    }
    s.opened.push_back(archive);
    c.archive = archive;
    c.failed = false;
    return c;
}

// The archive standing for the first `count` components of path, opened on
// first use; the caller holds the lock.
Candidate ArchiveForPrefix(ArchiveState& s, const EnginePath& path, size_t count) {
    EnginePath archivePath;
    archivePath.prefix = path.prefix;
    archivePath.parts.assign(path.parts.begin(), path.parts.begin() + long(count));
    archivePath.parts.back() += "." + s.extension;
    std::string key = FoldArchiveName(JoinEnginePath(archivePath));
    auto it = s.candidates.find(key);
    if (it != s.candidates.end()) return it->second;
    Candidate c = OpenCandidate(s, archivePath);
    s.candidates[key] = c;
    return c;
}

std::string JoinParts(const EnginePath& path, size_t from) {
    std::string name;
    for (size_t i = from; i < path.parts.size(); ++i) {
        if (i > from) name += '\\';
        name += path.parts[i];
    }
    return name;
}

}  // namespace

namespace {

// The archive and entry a path names, by the lookup rule.
ArchiveLookup LocateMember(const EnginePath& path, const OpenArchive** archive, const ArchiveEntry** entry) {
    ArchiveState& s = ArchiveTable();
    std::lock_guard<std::mutex> guard(s.lock);
    for (size_t i = 1; i < path.parts.size(); ++i) {
        Candidate c = ArchiveForPrefix(s, path, i);
        if (c.failed) return kArchiveFailed;
        if (!c.archive) continue;
        *archive = c.archive;
        *entry = FindArchiveEntry(c.archive->directory, JoinParts(path, i));
        return *entry ? kMemberOpened : kMemberMissing;
    }
    return kNoArchive;
}

}  // namespace

// The member's contents, unpacked and checked: taken from the one kept by
// a size query, else read now (unlocked: archives stay open until
// shut-down).
unsigned char* TakeMember(const OpenArchive* archive, const ArchiveEntry* entry) {
    ArchiveState& s = ArchiveTable();
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (s.unpackedEntry == entry) {
            unsigned char* data = s.unpacked;
            s.unpacked = nullptr;
            s.unpackedEntry = nullptr;
            return data;
        }
    }
    return ReadArchiveMember(ReaderFor(archive), archive->directory, *entry);
}

ArchiveLookup OpenArchiveMember(const EnginePath& path, FileHandle* file) {
    if (!file) return kNoArchive;
    *file = 0;
    const OpenArchive* archive = nullptr;
    const ArchiveEntry* entry = nullptr;
    ArchiveLookup found = LocateMember(path, &archive, &entry);
    if (found != kMemberOpened) return found;
    unsigned char* data = TakeMember(archive, entry);
    if (!data) return kArchiveFailed;
    *file = OpenMemoryFile(data, int64_t(entry->size));
    return *file ? kMemberOpened : kArchiveFailed;
}

ArchiveLookup FindArchiveMemberSize(const EnginePath& path, int64_t* size) {
    const OpenArchive* archive = nullptr;
    const ArchiveEntry* entry = nullptr;
    ArchiveLookup found = LocateMember(path, &archive, &entry);
    if (found != kMemberOpened) return found;
    unsigned char* data = TakeMember(archive, entry);
    if (!data) return kArchiveFailed;
    if (size) *size = int64_t(entry->size);
    ArchiveState& s = ArchiveTable();
    std::lock_guard<std::mutex> guard(s.lock);
    FreeMemory(s.unpacked);
    s.unpacked = data;
    s.unpackedEntry = entry;
    return kMemberOpened;
}

bool ListArchiveDirectory(const EnginePath& directory, std::vector<FileFindData>* out) {
    ArchiveState& s = ArchiveTable();
    std::lock_guard<std::mutex> guard(s.lock);
    for (size_t i = 1; i <= directory.parts.size(); ++i) {
        Candidate c = ArchiveForPrefix(s, directory, i);
        if (c.failed) return false;
        if (!c.archive) continue;
        std::string inside = FoldArchiveName(JoinParts(directory, i));
        if (!inside.empty()) inside += '\\';
        std::set<std::string> seen;
        for (const ArchiveEntry& e : c.archive->directory.entries) {
            if (e.folded.compare(0, inside.size(), inside) != 0) continue;
            // The member's own spelling of the next component.
            std::string rest = e.name.substr(inside.size());
            size_t cut = std::string::npos;
            for (size_t k = 0; k < rest.size(); k += IsMultiByteLeadByte(rest.c_str() + k) ? 2 : 1)
                if (rest[k] == '\\') {
                    cut = k;
                    break;
                }
            std::string child = rest.substr(0, cut);
            std::string folded = FoldArchiveName(child);
            if (!seen.insert(folded).second) continue;
            FileFindData d{};
            std::memcpy(d.name, child.c_str(), std::min(child.size(), sizeof d.name - 1));
            d.isDirectory = cut != std::string::npos ? 1 : 0;
            d.size = d.isDirectory ? 0 : int64_t(e.size);
            out->push_back(d);
        }
        return true;
    }
    return false;
}

}  // namespace morpotta

int SetArchiveFileExtension(const char* extension) {
    const PublicCall call("SetArchiveFileExtension");
    if (!AllowOnlyOnEngineThread()) return -1;
    if (!extension) return RefuseNull("extension");
    if (!*extension || std::strlen(extension) > 32)
        return Refuse("the extension \"%s\" is empty or longer than 32 bytes", extension);
    ArchiveState& s = ArchiveTable();
    std::lock_guard<std::mutex> guard(s.lock);
    s.extension = extension[0] == '.' ? extension + 1 : extension;
    return 0;
}

int SetArchiveKey(const char* key) {
    const PublicCall call("SetArchiveKey");
    if (!AllowOnlyOnEngineThread()) return -1;
    ArchiveState& s = ArchiveTable();
    std::lock_guard<std::mutex> guard(s.lock);
    s.key = key ? key : "";
    // Archives already open keep their key; refused ones get another try.
    for (auto it = s.candidates.begin(); it != s.candidates.end();)
        it = it->second.failed ? s.candidates.erase(it) : std::next(it);
    return 0;
}

namespace morpotta::subsystems {

void ResetArchives() {
    ArchiveState& s = ArchiveTable();
    std::lock_guard<std::mutex> guard(s.lock);
    CloseAll(s);
}

void CloseArchives() {
    ArchiveState& s = ArchiveTable();
    std::lock_guard<std::mutex> guard(s.lock);
    CloseAll(s);
}

}  // namespace morpotta::subsystems
