#include "foundation/durable_rules.h"

#include "engine/log.h"
#include "foundation/crc32.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace morpotta {

namespace {

DurableStepHook& Hook() {
    static DurableStepHook hook;
    return hook;
}

// The longest name a host folder holds.
constexpr size_t kMaxNameBytes = 255;
constexpr size_t kTagDigits = 8;

// One entry of a folder: no separator, no control character, not "." or "..".
bool IsPlainName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxNameBytes && name != "." && name != ".." &&
           std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || uint8_t(c) < 0x20 || c == 0x7f; });
}

// A file system that takes no locks (some network and user-space ones):
// the store goes on there, unguarded against other programs, said once.
bool TakesNoLocks(int error) { return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL; }

}  // namespace

void SetDurableStepHook(DurableStepHook hook) { Hook() = std::move(hook); }

FileCopy CopyOf(const void* bytes, size_t size) { return {int64_t(size), Crc32(bytes, size)}; }

bool ReadCopy(int folder, const std::string& name, bool ownName, FileCopy* copy, std::string* why, bool* lasting) {
    const platform::FileSystemBackend& fs = platform::Files();
    platform::HostFileInfo info;
    *copy = {};
    const int descriptor = fs.openReadIn(folder, name.c_str(), &info);
    if (descriptor < 0) {
        if (errno == ENOENT) return true;
        *lasting = info.kind != platform::HostFileKind::None;
        *why = *lasting ? WhatStands(info.kind) : "cannot be read (" + HostReason() + ")";
        return false;
    }
    if (ownName && info.links != 1) {
        fs.close(descriptor);
        *lasting = true;
        *why = "has other names (hard links)";
        return false;
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    std::vector<Bytef> piece(size_t(1) << 18);
    bool read = true;
    for (int64_t at = 0; read && at < info.size; at += int64_t(piece.size())) {
        const size_t want = size_t(std::min<int64_t>(int64_t(piece.size()), info.size - at));
        read = fs.readAt(descriptor, piece.data(), want, at) == int64_t(want);
        if (read) crc = crc32(crc, piece.data(), uInt(want));
    }
    if (!read) *why = "cannot be read (" + HostReason() + ")";
    fs.close(descriptor);
    *lasting = false;
    *copy = {info.size, uint32_t(crc)};
    return read;
}

std::string OwnTag(int folder) {
    platform::HostFileInfo info;
    if (!platform::Files().statIn(folder, ".", &info)) info = {};
    const uint64_t place[] = {info.device, info.inode};
    char tag[kTagDigits + 1];
    std::snprintf(tag, sizeof tag, "%08" PRIx32, Crc32(place, sizeof place));
    return tag;
}

std::string WorkingTag() {
    const platform::FileSystemBackend& fs = platform::Files();
    const int here = fs.openFolder(".");
    const std::string tag = OwnTag(here);
    if (here >= 0) fs.close(here);
    return tag;
}

std::string TemporaryName(const std::string& name, const std::string& tag) {
    return name + "." + tag + kTemporarySuffix;
}

bool IsTag(const std::string& text) {
    return text.size() == kTagDigits &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

std::string NameOfTemporary(const std::string& entry, const std::string& tag) {
    const std::string suffix = "." + tag + kTemporarySuffix;
    if (entry.size() <= suffix.size() || !EndsWith(entry, suffix.c_str())) return "";
    return entry.substr(0, entry.size() - suffix.size());
}

DurableFolders::~DurableFolders() {
    for (const auto& [path, folder] : folders_)
        if (folder.descriptor >= 0) platform::Files().close(folder.descriptor);
}

int DurableFolders::Take(const std::string& path) {
    auto [at, isNew] = folders_.try_emplace(path);
    Folder& folder = at->second;
    if (!isNew) {
        errno = folder.error;
        return folder.descriptor;
    }
    const platform::FileSystemBackend& fs = platform::Files();
    folder.descriptor = path.empty() ? -1 : fs.openFolder(path.c_str());
    platform::HostFileInfo info;
    if (folder.descriptor >= 0 && fs.statIn(folder.descriptor, ".", &info)) folder.place = {info.device, info.inode};
    if (folder.descriptor >= 0 && !locked_.count(folder.place)) {
        const bool locked = fs.lockWithin(folder.descriptor, 0);
        if (locked || TakesNoLocks(errno)) {
            static std::atomic<bool> said{false};
            if (!locked && !said.exchange(true))
                WriteLogFormat("The folder %s takes no locks (%s): stores there are not guarded against other "
                               "programs storing there", Cleaned(path).c_str(), HostReason().c_str());
            locked_[folder.place] = folder.descriptor;
        } else {
            const int error = errno;
            fs.close(folder.descriptor);
            folder.descriptor = -1;
            errno = error;
        }
    }
    folder.error = folder.descriptor >= 0 ? 0 : path.empty() ? ENOENT : errno;
    if (folder.error == EWOULDBLOCK) {
        folder.why = "is held by another program storing there";
        anyHeld_ = true;
    } else if (folder.error) {
        folder.why = "cannot be opened (" + std::string(std::strerror(folder.error)) + ")";
    }
    errno = folder.error;
    return folder.descriptor;
}

const std::string& DurableFolders::Why(const std::string& path) const {
    static const std::string none;
    const auto at = folders_.find(path);
    return at == folders_.end() ? none : at->second.why;
}

FolderPlace DurableFolders::Place(int descriptor) const {
    for (const auto& [path, folder] : folders_)
        if (folder.descriptor == descriptor) return folder.place;
    return {};
}

std::string GivenFolder(const char* folder) {
    std::string given = folder ? folder : "";
    while (given.size() > 1 && given.back() == '/') given.pop_back();
    return given;
}

std::string ShownPath(const std::string& folder, const std::string& name) {
    if (folder == ".") return name;
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string PlaceFile(const DurableStore& store, const std::string& path, SetMember* member) {
    const auto [folder, name] = FolderAndName(path);
    if (!IsPlainName(name)) return "is no plain file name";
    for (size_t f = 0; f < store.folderCount; ++f) {
        const DurableFolder& given = store.folders[f];
        if (!given.folder || !*given.folder || GivenFolder(given.folder) != folder) continue;
        if (!IsStoredName(given, name)) continue;
        // Its temporaries' names must fit the folder too.
        if (TemporaryName(name, std::string(kTagDigits, '0')).size() > kMaxNameBytes) return "has too long a name";
        *member = {f, name, path};
        return "";
    }
    return "is not a file the store keeps in its folders";
}

std::string PlaceSet(const DurableStore& store, const std::vector<std::string>& paths, const std::vector<int64_t>& sizes,
                     std::vector<SetMember>* members, std::string* file) {
    members->clear();
    file->clear();
    if (paths.empty() || paths.size() > store.maxFiles)
        return "it names " + std::to_string(paths.size()) + " files, not 1 to " + std::to_string(store.maxFiles);
    int64_t bytes = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        bytes += std::min(sizes[i], store.maxBytes + 1);
        if (bytes > store.maxBytes) return "its files hold more bytes than a set of the store holds";
        SetMember member;
        const std::string why = PlaceFile(store, paths[i], &member);
        *file = paths[i];
        if (!why.empty()) return why;
        for (const SetMember& other : *members)
            if (other.folder == member.folder && other.name == member.name) return "is named twice";
        members->push_back(std::move(member));
    }
    file->clear();
    return "";
}

bool IsStoredName(const DurableFolder& place, const std::string& name) {
    const char* prefix = place.namePrefix ? place.namePrefix : "";
    return IsPlainName(name) && name.compare(0, std::strlen(prefix), prefix) == 0 && !EndsWith(name, kTemporarySuffix) &&
           !EndsWith(name, kRecordSuffix) && (!place.storesName || place.storesName(name.c_str()) != 0);
}

std::pair<std::string, std::string> FolderAndName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::string WhatStands(platform::HostFileKind kind) {
    switch (kind) {
    case platform::HostFileKind::Directory: return "is a folder";
    case platform::HostFileKind::SymbolicLink: return "is a symbolic link";
    case platform::HostFileKind::Fifo: return "is a FIFO";
    default: return "is no regular file";
    }
}

bool Lasting(int error) {
    switch (error) {
    case EIO: case ENOSPC: case EDQUOT: case ENOMEM: case EAGAIN: case EINTR:
    case ETIMEDOUT: case ESTALE: case EMFILE: case ENFILE: case ENOLINK:
        return false;
    default: return true;
    }
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

}  // namespace morpotta
