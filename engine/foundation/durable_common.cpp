// The durable store's records, names, copies and problems
// (foundation/durable.h).
#include "engine/log.h"
#include "foundation/crc32.h"
#include "foundation/durable.h"
#include "platform/files.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace morpotta::durable {

namespace {

constexpr char kThisVersion[] = "durable store record 3\n";
constexpr size_t kIdDigits = 16;

DurableStepHook& Hook() {
    static DurableStepHook hook;
    return hook;
}

bool IsId(const std::string& text) {
    return text.size() == kIdDigits && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string EndLine(const std::string& text) {
    char line[16];
    std::snprintf(line, sizeof line, "end %08" PRIx32 "\n", Crc32(text.data(), text.size()));
    return line;
}

}  // namespace

Copy CopyOf(const void* bytes, size_t size) { return {int64_t(size), Crc32(bytes, size)}; }

bool ReadCopy(int folder, const std::string& name, bool ownName, Copy* copy, std::string* why, bool* lasting,
              std::string* bytes, int64_t most) {
    const platform::FileSystemBackend& fs = platform::Files();
    platform::HostFileInfo info;
    *copy = {};
    const int descriptor = fs.openReadIn(folder, name.c_str(), &info);
    if (descriptor < 0 && errno == ENOENT) return true;
    const bool stays = descriptor < 0 ? info.kind != platform::HostFileKind::None : ownName && info.links != 1;
    if (lasting) *lasting = stays;
    std::string own;
    std::string& text = bytes ? *bytes : own;
    text.resize(descriptor < 0 || stays ? 0 : size_t(std::min(info.size, most)));
    const bool read = descriptor >= 0 && !stays && fs.readAt(descriptor, text.data(), text.size(), 0) == int64_t(text.size());
    *why = read ? (info.size > most ? "holds more bytes than it may" : "") : descriptor < 0 && !stays
         ? "cannot be read (" + HostReason() + ")" : descriptor < 0 ? "is no regular file"
         : stays ? "has other names (hard links)" : "cannot be read (" + HostReason() + ")";
    if (descriptor >= 0) fs.close(descriptor);
    *copy = {info.size, Crc32(text.data(), text.size())};
    return why->empty();
}

std::string RecordText(const std::vector<RecordedFile>& files) {
    std::string text = kThisVersion;
    char line[128];
    for (const RecordedFile& f : files) {
        std::snprintf(line, sizeof line, "%" PRIu64 " %" PRIu64 " %" PRId64 " %08" PRIx32 " %" PRId64 " %08" PRIx32 " ",
                      f.folder.first, f.folder.second, f.fresh.size, f.fresh.check, f.previous.size, f.previous.check);
        text += line + f.name + '\n';
    }
    return text + EndLine(text);
}

bool ParseRecord(const std::string& text, std::vector<RecordedFile>* files) {
    files->clear();
    if (!text.starts_with(kThisVersion)) return false;
    for (size_t at = sizeof kThisVersion - 1; at < text.size();) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        if (end == std::string::npos) return false;
        if (line.starts_with("end ")) return end + 1 == text.size() && !files->empty() && line + '\n' == EndLine(text.substr(0, at));
        // "<device> <inode> <size> <check> <size> <check> <name>": the name is the rest.
        RecordedFile f;
        int nameAt = -1;
        std::sscanf(line.c_str(), "%" SCNu64 " %" SCNu64 " %" SCNd64 " %8" SCNx32 " %" SCNd64 " %8" SCNx32 " %n",
                    &f.folder.first, &f.folder.second, &f.fresh.size, &f.fresh.check, &f.previous.size,
                    &f.previous.check, &nameAt);
        if (nameAt <= 0 || size_t(nameAt) >= line.size() || f.fresh.size < 0 || f.previous.size < -1) return false;
        f.name = line.substr(size_t(nameAt));
        files->push_back(std::move(f));
        at = end + 1;
    }
    return false;
}

bool IsAnyRecord(const std::string& text) { return text.starts_with("durable store record "); }

std::string RecordName(const std::string& id) { return "store." + id + ".commit"; }

std::string TemporaryName(const std::string& name, const std::string& id) { return name + "." + id + ".tmp"; }

std::string IdOfRecord(const std::string& entry) {
    const std::string id = entry.substr(std::min<size_t>(entry.size(), 6), kIdDigits);
    return IsId(id) && entry == RecordName(id) ? id : "";
}

std::string IdOfTemporary(const std::string& entry, std::string* name) {
    const size_t tail = kIdDigits + 4;  // "<id>.tmp"
    if (entry.size() <= tail + 1 || entry[entry.size() - tail - 1] != '.' || !entry.ends_with(".tmp")) return "";
    *name = entry.substr(0, entry.size() - tail - 1);
    const std::string id = entry.substr(entry.size() - tail, kIdDigits);
    return IsId(id) ? id : "";
}

bool IsStoredName(const DurableFolder& folder, const std::string& name) {
    const char* prefix = folder.namePrefix ? folder.namePrefix : "";
    // No separator, and nothing a terminal takes for a command: no control
    // character, nor a two-byte character beginning with 0xc2 (C1 controls among them).
    const bool plain = !name.empty() && name.size() <= 200 && name != "." && name != ".." && Cleaned(name) == name &&
                       name.find('/') == std::string::npos && name.find_first_of("\xc2") == std::string::npos;
    return plain && name.starts_with(prefix) && !name.ends_with(".tmp") && !name.ends_with(".commit") &&
           (!folder.storesName || folder.storesName(name.c_str()) != 0);
}

std::pair<std::string, std::string> FolderAndName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::string ShownPath(const std::string& folder, const std::string& name) {
    return folder == "." ? name : folder == "/" ? "/" + name : folder + "/" + name;
}

std::string Cleaned(std::string text) {
    std::replace_if(text.begin(), text.end(), [](char c) { return uint8_t(c) < 0x20 || c == 0x7f; }, '?');
    return text.size() > 160 ? text.substr(0, 160) + "..." : text;
}

std::string HostReason() { return std::strerror(errno); }

std::vector<Problem>& Problems() {
    thread_local std::vector<Problem> problems;
    return problems;
}

void Report(Problem problem) {
    WriteLogFormat("Durable store: %s%s%s: %s%s%s", problem.folder.c_str(), problem.set.empty() ? "" : ", ",
                   problem.set.c_str(), problem.file.c_str(), problem.file.empty() ? "" : " ", problem.reason.c_str());
    Problems().push_back(std::move(problem));
}

bool StopsHere(DurableStep step, const std::string& shown, int folder, const std::string& name, const void* bytes,
               size_t size) {
    const DurableStepHook& hook = Hook();
    const int64_t keep = hook ? hook(step, shown) : -1;
    if (keep >= 0 && (step == DurableStep::WriteTemporary || step == DurableStep::WriteRecord))
        platform::Files().writeNewIn(folder, name.c_str(), bytes, std::min<size_t>(size, size_t(keep)), nullptr);
    return keep >= 0;
}

}  // namespace morpotta::durable

void morpotta::SetDurableStepHook(DurableStepHook hook) { durable::Hook() = std::move(hook); }
