#include "foundation/durable_rules.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

namespace morpotta {

namespace {

DurableStepHook& Hook() {
    static DurableStepHook hook;
    return hook;
}

// The longest name a host folder holds.
constexpr size_t kMaxNameBytes = 255;

// A folder as the store gives it, without a closing '/'.
std::string GivenFolder(const char* folder) {
    std::string given = folder ? folder : "";
    while (given.size() > 1 && given.back() == '/') given.pop_back();
    return given;
}

// One entry of a folder: no separator, no control character, not "." or "..".
bool IsPlainName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxNameBytes && name != "." && name != ".." &&
           std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || uint8_t(c) < 0x20 || c == 0x7f; });
}

// Why what stands at a member's name keeps the set from being put in place
// ("" for nothing or a regular file); lasting unless the host could not tell.
std::string PlaceTaken(int folder, const std::string& name, bool* lasting) {
    platform::HostFileInfo info;
    *lasting = true;
    if (!platform::Files().statIn(folder, name.c_str(), &info)) {
        if (errno == ENOENT) return "";
        *lasting = false;
        return "cannot be looked at (" + HostReason() + ")";
    }
    return info.kind == platform::HostFileKind::Regular ? "" : WhatStands(info.kind);
}

// How long a store or a settling waits for a folder another program stores in.
std::atomic<int>& LockWait() {
    static std::atomic<int> milliseconds{5000};
    return milliseconds;
}

}  // namespace

void SetDurableStepHook(DurableStepHook hook) { Hook() = std::move(hook); }

void SetDurableLockWait(int milliseconds) { LockWait() = milliseconds; }

std::string PlaceFile(const DurableStore& store, const std::string& path, SetMember* member) {
    const auto [folder, name] = FolderAndName(path);
    if (!IsPlainName(name)) return "is no plain file name";
    for (size_t f = 0; f < store.folderCount; ++f) {
        const DurableFolder& given = store.folders[f];
        if (!given.folder || !*given.folder || GivenFolder(given.folder) != folder) continue;
        if (!IsStoredName(given, name)) continue;
        member->folder = f;
        member->name = name;
        member->path = path;
        return "";
    }
    return "is not a file the store keeps in its folders";
}

std::string FolderLocked(int descriptor) {
    if (platform::Files().lockWithin(descriptor, LockWait())) return "";
    if (errno == EWOULDBLOCK)
        return "is held by another program storing there (waited " + std::to_string(LockWait().load()) + " ms for it)";
    return "cannot be locked (" + HostReason() + ")";
}

bool StopsHere(DurableStep step, const std::string& shown, int folder, const std::string& name, const void* bytes,
               size_t size) {
    const DurableStepHook& hook = Hook();
    if (!hook) return false;
    const int64_t keep = hook(step, shown);
    if (keep < 0) return false;
    if (step == DurableStep::WriteTemporary || step == DurableStep::WriteRecord)
        platform::Files().writeNewIn(folder, name.c_str(), bytes, std::min<size_t>(size, size_t(keep)), nullptr);
    return true;
}

OpenedFolders::OpenedFolders(const DurableStore& store) : store_(store), folders_(store.folderCount) {}

OpenedFolders::~OpenedFolders() {
    for (const Folder& folder : folders_)
        if (folder.descriptor >= 0) platform::Files().close(folder.descriptor);
}

int OpenedFolders::Open(size_t index) {
    Folder& folder = folders_[index];
    if (!folder.tried) {
        folder.tried = true;
        const platform::FileSystemBackend& files = platform::Files();
        const char* path = store_.folders[index].folder;
        folder.descriptor = path && *path ? files.openFolder(path) : -1;
        folder.error = folder.descriptor < 0 ? (path && *path ? errno : ENOENT) : 0;
        if (folder.descriptor < 0) folder.why = "cannot be opened (" + std::string(std::strerror(folder.error)) + ")";
        platform::HostFileInfo info;
        if (folder.descriptor >= 0 && files.statIn(folder.descriptor, ".", &info)) folder.place = {info.device, info.inode};
    }
    errno = folder.error;
    return folder.descriptor;
}

void OpenedFolders::LockEvery() {
    std::map<FolderPlace, std::vector<size_t>> places;  // in the order of the places
    for (size_t f = 0; f < folders_.size(); ++f)
        if (Open(f) >= 0) places[folders_[f].place].push_back(f);
    for (const auto& [place, indices] : places) {
        const std::string why = FolderLocked(folders_[indices[0]].descriptor);
        if (why.empty()) continue;
        for (size_t f : indices) {
            Folder& folder = folders_[f];
            platform::Files().close(folder.descriptor);
            folder.descriptor = -1;
            folder.error = EWOULDBLOCK;
            folder.why = why;
        }
    }
}

std::string OpenedFolders::Shown(size_t index, const std::string& name) const {
    const std::string folder = GivenFolder(store_.folders[index].folder);
    if (folder == ".") return name;
    return folder == "/" ? "/" + name : folder + "/" + name;
}

SetCheck CheckSet(const DurableStore& store, OpenedFolders& folders,
                  const std::vector<std::pair<std::string, int64_t>>& files, std::vector<SetMember>* members,
                  std::string* file, std::string* why) {
    members->clear();
    file->clear();
    if (files.size() > store.maxFiles) {
        *why = "it names " + std::to_string(files.size()) + " files, more than a set of the store holds";
        return SetCheck::AgainstRule;
    }
    int64_t bytes = 0;
    for (const auto& [path, size] : files) {
        bytes += std::min(size, store.maxBytes + 1);
        if (bytes > store.maxBytes) {
            *why = "its files hold more bytes than a set of the store holds";
            return SetCheck::AgainstRule;
        }
        SetMember member;
        *why = PlaceFile(store, path, &member);
        if (!why->empty()) {
            *file = path;
            return SetCheck::AgainstRule;
        }
        member.size = size;
        members->push_back(std::move(member));
    }
    std::set<std::pair<FolderPlace, std::string>> seen;
    for (const SetMember& member : *members) {
        *file = member.path;
        const int folder = folders.Open(member.folder);
        if (folder < 0) {
            // Only a folder at whose name nothing stands at all is gone.
            const bool gone = errno == ENOENT;
            *why = "stands in a folder that " + folders.Why(member.folder);
            return gone ? SetCheck::NeverFits : SetCheck::NotNow;
        }
        if (!seen.insert({folders.Place(member.folder), member.name}).second) {
            *why = "is named twice";
            return SetCheck::AgainstRule;
        }
        bool lasting = true;
        *why = PlaceTaken(folder, member.name, &lasting);
        if (!why->empty()) return lasting ? SetCheck::NeverFits : SetCheck::NotNow;
    }
    file->clear();
    return SetCheck::Ok;
}

std::string WhatStands(platform::HostFileKind kind) {
    switch (kind) {
    case platform::HostFileKind::Directory: return "is a folder";
    case platform::HostFileKind::SymbolicLink: return "is a symbolic link";
    case platform::HostFileKind::Fifo: return "is a FIFO";
    default: return "is no regular file";
    }
}

std::pair<std::string, std::string> FolderAndName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool IsStoredName(const DurableFolder& place, const std::string& name) {
    const char* prefix = place.namePrefix ? place.namePrefix : "";
    return IsPlainName(name) && name.compare(0, std::strlen(prefix), prefix) == 0 && !EndsWith(name, kTemporarySuffix) &&
           !EndsWith(name, kRecordSuffix) && (!place.storesName || place.storesName(name.c_str()) != 0);
}

std::string Cleaned(const std::string& text) {
    constexpr size_t kShownBytes = 160;
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};  // below it, a sequence is overlong
    std::string shown;
    size_t at = 0;
    while (at < text.size() && shown.size() < kShownBytes) {
        const uint8_t lead = uint8_t(text[at]);
        const size_t n = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        uint32_t code = n <= 1 ? lead : lead & (0x7fu >> n);
        size_t k = 1;
        for (; n > 1 && k < n && at + k < text.size() && (uint8_t(text[at + k]) & 0xc0) == 0x80; ++k)
            code = code << 6 | (uint8_t(text[at + k]) & 0x3f);
        if (n == 0 || k < n) {  // a byte that begins nothing, or a sequence cut short
            ++at;
            continue;
        }
        const bool control = code < 0x20 || (code >= 0x7f && code < 0xa0);
        const bool valid = code >= kLeast[n] && code <= 0x10ffff && !(code >= 0xd800 && code < 0xe000);
        if (valid && !control) shown.append(text, at, n);
        at += n;
    }
    return at < text.size() ? shown + "..." : shown;
}

std::string HostReason() { return std::strerror(errno); }

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

}  // namespace morpotta
