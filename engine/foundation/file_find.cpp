// Directory searches. A search is a snapshot of matching entries taken at
// find-first, sorted by name so the order is the same on every host.
#include "foundation/file_find.h"

#include "engine/log.h"
#include "engine/memory.h"
#include "engine/text.h"
#include "foundation/ascii_fold.h"
#include "foundation/file_handles.h"
#include "foundation/host_path.h"
#include "foundation/public_call.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace morpotta {

namespace {

struct FileSearch {
    std::vector<FileFindData> entries;
    size_t next = 0;
};

size_t NameCharBytes(const char* p) { return (IsMultiByteLeadByte(p) && p[1]) ? 2 : (*p ? 1 : 0); }

bool SameChar(const char* a, const char* b, size_t n) {
    if (n != NameCharBytes(b)) return false;
    return n == 1 ? FoldAscii(*a) == FoldAscii(*b) : std::memcmp(a, b, n) == 0;
}

}  // namespace

bool MatchFilePattern(const char* pattern, const char* name) {
    if (!pattern || !name) return false;
    // Greedy match with one back-track point for the last '*'.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        size_t n = NameCharBytes(name);
        if (*pattern == '*') {
            star = ++pattern;
            resume = name;
            continue;
        }
        if (*pattern && (*pattern == '?' || SameChar(pattern, name, n))) {
            pattern += *pattern == '?' ? 1 : n;
            name += n;
            continue;
        }
        if (!star) return false;
        pattern = star;
        resume += NameCharBytes(resume);
        name = resume;
    }
    while (*pattern == '*') ++pattern;
    return *pattern == 0;
}

FileHandle StartFileSearch(std::vector<FileFindData> entries, FileFindData* out) {
    if (entries.empty()) return 0;
    std::sort(entries.begin(), entries.end(),
              [](const FileFindData& a, const FileFindData& b) { return std::strcmp(a.name, b.name) < 0; });
    void* memory = ENGINE_ALLOC(sizeof(FileSearch));
    if (!memory) return 0;
    auto* search = new (memory) FileSearch;
    search->entries = std::move(entries);
    FileHandle h = RegisterFileObject(search, kFileObjectFind);
    if (h == 0) {
        search->~FileSearch();
        FreeMemory(memory);
        return 0;
    }
    ContinueFileSearch(h, out);
    return h;
}

// The refusal of a handle that names no search, in the name of the file
// table's entry when the program called the entry itself.
int RefuseSearch(const char* entry, FileHandle find) {
    return RefuseIn(entry, "%llu is no file search", static_cast<unsigned long long>(find));
}

int ContinueFileSearch(FileHandle find, FileFindData* out) {
    auto* search = static_cast<FileSearch*>(LookupFileObject(find, kFileObjectFind));
    if (!search) return RefuseSearch("FileAccessTable.findNext", find);
    if (search->next >= search->entries.size()) return -1;
    if (out) *out = search->entries[search->next];
    search->next++;
    return 0;
}

int EndFileSearch(FileHandle find) {
    auto* search = static_cast<FileSearch*>(UnregisterFileObject(find, kFileObjectFind));
    if (!search) return RefuseSearch("FileAccessTable.findClose", find);
    search->~FileSearch();
    FreeMemory(search);
    return 0;
}

bool SplitSearchPattern(const char* pattern, EnginePath* directory, std::string* namePattern) {
    if (!pattern || ParseFullPath(pattern, nullptr, directory) != 0 || directory->parts.empty()) return false;
    *namePattern = directory->parts.back();
    directory->parts.pop_back();
    directory->trailingSeparator = false;
    return true;
}

void CollectHostEntries(const EnginePath& directory, const std::string& namePattern,
                        std::vector<FileFindData>* out) {
    std::string host;
    platform::HostFileInfo info;
    if (ResolveHostPath(directory, &host, &info) != 0 || !info.isDirectory) return;
    std::vector<platform::HostDirEntry> listing;
    if (!platform::Files().listDirectory(host.c_str(), &listing)) return;
    for (const auto& e : listing) {
        std::string name;
        if (!ConvertUtf8ToCp932(e.name, &name) || name.size() >= sizeof(FileFindData::name)) continue;
        if (!MatchFilePattern(namePattern.c_str(), name.c_str())) continue;
        FileFindData d{};
        std::memcpy(d.name, name.c_str(), name.size() + 1);
        d.isDirectory = e.isDirectory ? 1 : 0;
        d.size = e.size;
        out->push_back(d);
    }
}

FileHandle RefuseSearchPattern(const char* pattern) {
    if (!pattern) return RefuseNullIn("FileAccessTable.findFirst", "pattern"), 0;
    return RefuseIn("FileAccessTable.findFirst", "bad pattern: %s", pattern), 0;
}

FileHandle FindFirstHostFile(const char* pattern, FileFindData* out) {
    EnginePath directory;
    std::string namePattern;
    if (!SplitSearchPattern(pattern, &directory, &namePattern)) return RefuseSearchPattern(pattern);
    std::vector<FileFindData> entries;
    CollectHostEntries(directory, namePattern, &entries);
    return StartFileSearch(std::move(entries), out);
}

}  // namespace morpotta
