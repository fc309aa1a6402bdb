// The durable store's records, names and problems, the folders it holds,
// and the settling of the sets its writes, or another program's, left
// standing in them (foundation/durable.h).
#include "engine/log.h"
#include "foundation/crc32.h"
#include "foundation/durable.h"
#include "platform/files.h"
#include "platform/lasting_state.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <set>

namespace morpotta::durable {

namespace {

using platform::HostFileInfo;
using platform::HostFileKind;

constexpr char kThisVersion[] = "durable store record 3\n";
constexpr size_t kIdDigits = 16;

DurableStepHook& Hook() { return platform::LastingState<DurableStepHook>(); }

bool IsId(const std::string& text) {
    return text.size() == kIdDigits && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string EndLine(const std::string& text) {
    char line[16];
    std::snprintf(line, sizeof line, "end %08" PRIx32 "\n", Crc32(text.data(), text.size()));
    return line;
}

}  // namespace

bool ParseRecord(const std::string& text, std::vector<RecordedFile>* files) {
    files->clear();
    if (!text.starts_with(kThisVersion)) return false;
    for (size_t at = sizeof kThisVersion - 1; at < text.size();) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        if (end == std::string::npos) return false;
        if (line.starts_with("end "))
            return end + 1 == text.size() && !files->empty() && line + '\n' == EndLine(text.substr(0, at));
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

namespace {

// Whether text begins as a record of any version does.
bool IsAnyRecord(const std::string& text) { return text.starts_with("durable store record "); }

// The set of a record's or temporary's name; "" when it is neither.
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

// Every folder this process holds, by place: the descriptor that holds its lock.
std::map<Place, int>& Held() { return platform::LastingState<std::map<Place, int>>(); }

// A file system that takes no locks (some network and user-space ones):
// the store goes on there, unguarded against other programs, said once.
bool TakesNoLocks(int error) { return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL; }

// One set's record, as its copies in the taken folders were found.
struct Copies {
    std::vector<const Folder*> in;
    std::vector<RecordedFile> files;  // empty when no copy could be read
    std::string why;                  // why not
};

class Settling {
public:
    Settling(const DurableStore& store, const Folders& folders) : store_(store), folders_(folders) {}

    int Run() {
        std::set<Place> seen;
        for (const Folder& folder : folders_.list) {
            if (folder.descriptor >= 0 && seen.insert(folder.place).second) Gather(folder);
            if (folder.descriptor < 0 && folder.error != ENOENT)
                Report({kDurableFolderUnavailable, folder.given, "", "",
                        "the folder cannot be opened now (" + std::string(std::strerror(folder.error)) +
                            "): nothing is stored or settled there until it can be"});
        }
        int finished = 0;
        for (const auto& [id, copies] : sets_) {
            const int settled = SettleSet(id, copies);
            if (settled < 0) return -1;
            finished += settled;
        }
        seen.clear();
        for (const Folder& folder : folders_.list)
            if (folder.descriptor >= 0 && seen.insert(folder.place).second && !Sweep(folder)) return -1;
        return finished;
    }

private:
    void Gather(const Folder& folder) {
        std::vector<platform::HostDirEntry> entries;
        platform::Files().listFolder(folder.descriptor, &entries);
        for (const platform::HostDirEntry& entry : entries) {
            const std::string id = IdOfRecord(entry.name);
            std::string text, why;
            Copy copy;
            // A record another version of the program left is that version's to finish.
            if (id.empty() && entry.name.ends_with(".commit") && Cleaned(entry.name) == entry.name &&
                (ReadCopy(folder.descriptor, entry.name, false, &copy, &why, nullptr, &text, 32) ||
                 text.size() == 32) &&
                IsAnyRecord(text))
                Report({kDurableRecordUnusable, folder.given, ShownPath(folder.given, entry.name), "",
                        "it is the record of another version of the program, which finishes it"});
            if (id.empty()) continue;
            standing_.insert({folder.place, id});
            Copies& copies = sets_[id];
            copies.in.push_back(&folder);
            std::vector<RecordedFile> files;
            if (!ReadCopy(folder.descriptor, entry.name, true, &copy, &why, nullptr, &text,
                          64 + int64_t(store_.maxFiles) * 320))
                copies.why = "it " + why;
            else if (!ParseRecord(text, &files))
                copies.why = "it is damaged";
            else
                copies.files = files;
        }
    }

    // One file of a set, which gets its new copy when the set stands and loses
    // its temporary otherwise; false where the seam stopped.
    bool SettleFile(const Folder& folder, const RecordedFile& file, const std::string& id, const std::string& set,
                    bool stands, int* newFiles, int* pending) {
        const platform::FileSystemBackend& fs = platform::Files();
        const std::string temporary = TemporaryName(file.name, id), shown = ShownPath(folder.given, file.name);
        auto notFinished = [&](const std::string& why) {
            ++*pending;
            Report({kDurableSetNotFinished, folder.given, set, shown, why});
            return true;
        };
        Copy now, made;
        std::string why;
        bool lasting = false;
        // A file that holds its new copy, or was stored again since, stays as it
        // is; one that holds its previous copy gets its new one.
        if (!stands) {
        } else if (!ReadCopy(folder.descriptor, file.name, false, &now, &why, &lasting)) {
            if (!lasting) return notFinished(why);
            Report({kDurableSetDropped, folder.given, set, shown, why});
        } else if (now == file.fresh) {
            ++*newFiles;
        } else if (now == file.previous) {
            if (ReadCopy(folder.descriptor, temporary, true, &made, &why, &lasting) && made == file.fresh) {
                if (StopsHere(DurableStep::Rename, shown)) return false;
                if (!fs.renameIn(folder.descriptor, temporary.c_str(), folder.descriptor, file.name.c_str()))
                    return notFinished("cannot be replaced now (" + HostReason() + ")");
                ++*newFiles;
                return true;
            }
            if (!why.empty() && !lasting) return notFinished("its new copy " + why);
            Report({kDurableSetDropped, folder.given, set, shown,
                    "keeps its previous copy: its new one " + (!why.empty() ? why : made.size < 0 ? "is gone" : "is damaged")});
        }
        if (StopsHere(DurableStep::RemoveTemporary, ShownPath(folder.given, temporary))) return false;
        fs.removeIn(folder.descriptor, temporary.c_str());
        return true;
    }

    // 1 when the set is finished and its record gone, 0 when it stays, -1
    // where the seam stopped.
    int SettleSet(const std::string& id, const Copies& copies) {
        const platform::FileSystemBackend& fs = platform::Files();
        const std::string record = ShownPath(copies.in[0]->given, RecordName(id));
        auto unusable = [&](const std::string& why) {
            Report({kDurableRecordUnusable, copies.in[0]->given, record, "", why});
            return 0;
        };
        if (copies.files.empty()) return unusable(copies.why);
        if (copies.files.size() > store_.maxFiles) return unusable("it names more files than a set of the store holds");
        std::vector<const Folder*> at;
        for (const RecordedFile& file : copies.files) {
            at.push_back(folders_.At(file.folder));
            if (at.back() && !IsStoredName(*at.back()->rule, file.name))
                return unusable("it names " + Cleaned(file.name) + ", a file the store does not keep there");
        }
        // The set stands when its commit folder (its first file's) holds its
        // record, or, where this program does not use that folder, when a
        // file of it was renamed already: the commit folder's come first.
        const Folder* commit = at[0];
        HostFileInfo info;
        bool stands = commit && fs.statIn(commit->descriptor, RecordName(id).c_str(), &info) &&
                      info.kind == HostFileKind::Regular;
        for (size_t i = 0; !commit && !stands && i < at.size(); ++i) {
            Copy now;
            std::string why;
            const RecordedFile& f = copies.files[i];
            stands = at[i] && f.fresh != f.previous && ReadCopy(at[i]->descriptor, f.name, false, &now, &why) &&
                     now == f.fresh;
        }
        if (!commit && !stands) {
            WriteLogFormat("%s waits for a program that uses the folder its set was committed in", record.c_str());
            return 0;
        }
        const std::string set = commit ? ShownPath(commit->given, copies.files[0].name) : record;
        int newFiles = 0, pending = 0;
        for (size_t i = 0; i < at.size(); ++i)
            if (at[i] && !SettleFile(*at[i], copies.files[i], id, set, stands, &newFiles, &pending)) return -1;
        for (const Folder* folder : std::set<const Folder*>(at.begin(), at.end())) {
            if (!folder || !stands) continue;
            if (StopsHere(DurableStep::SyncFolder, folder->given)) return -1;
            fs.syncFolder(folder->descriptor);
        }
        int dropped = 0;
        for (Problem& problem : Problems()) {
            if (problem.set != set) continue;
            problem.newFiles = newFiles, problem.files = int(copies.files.size());
            dropped += problem.kind == kDurableSetDropped;
        }
        // A set that stands keeps its record until every file of it is settled.
        if (stands && (pending > 0 || std::count(at.begin(), at.end(), nullptr) > 0)) return 0;
        std::vector<const Folder*> in = copies.in;
        std::stable_partition(in.begin(), in.end(), [&](const Folder* f) { return f != commit; });  // its copy last
        for (const Folder* folder : in) {
            if (StopsHere(DurableStep::RemoveRecord, ShownPath(folder->given, RecordName(id)))) return -1;
            fs.removeIn(folder->descriptor, RecordName(id).c_str());
            standing_.erase({folder->place, id});
        }
        WriteLogFormat(stands ? "Finished the store of %s that an earlier run left"
                              : "Dropped the store of %s: it was "
                                "cut short before it stood",
                       set.c_str());
        return stands && dropped == 0;
    }

    bool Sweep(const Folder& folder) {
        std::vector<platform::HostDirEntry> entries;
        platform::Files().listFolder(folder.descriptor, &entries);
        for (const platform::HostDirEntry& entry : entries) {
            std::string name;
            const std::string id = IdOfTemporary(entry.name, &name);
            if (id.empty() || standing_.count({folder.place, id}) || entry.isDirectory ||
                (!IsStoredName(*folder.rule, name) && name != RecordName(id)))
                continue;
            if (StopsHere(DurableStep::RemoveTemporary, ShownPath(folder.given, entry.name))) return false;
            if (platform::Files().removeIn(folder.descriptor, entry.name.c_str()))
                WriteLogFormat("Removed %s, left by a store that was cut short", Cleaned(entry.name).c_str());
        }
        return true;
    }

    const DurableStore& store_;
    const Folders& folders_;
    std::map<std::string, Copies> sets_;
    std::set<std::pair<Place, std::string>> standing_;  // (folder, set) with a copy there
};

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
    const bool read =
        descriptor >= 0 && !stays && fs.readAt(descriptor, text.data(), text.size(), 0) == int64_t(text.size());
    if (read)
        *why = info.size > most ? "holds more bytes than it may" : "";
    else if (stays)
        *why = descriptor < 0 ? "is no regular file" : "has other names (hard links)";
    else
        *why = "cannot be read (" + HostReason() + ")";
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

std::string RecordName(const std::string& id) { return "store." + id + ".commit"; }

std::string TemporaryName(const std::string& name, const std::string& id) { return name + "." + id + ".tmp"; }

bool IsStoredName(const DurableFolder& folder, const std::string& name) {
    const char* prefix = folder.namePrefix ? folder.namePrefix : "";
    // No separator, and nothing a terminal takes for a command: no control
    // character, nor a two-byte character beginning with 0xc2 (C1 controls among them).
    const bool plain = !name.empty() && name.size() <= 200 && name != "." && name != ".." && Cleaned(name) == name &&
                       name.find('/') == std::string::npos && name.find_first_of("\xc2") == std::string::npos;
    return plain && name.starts_with(prefix) && !name.ends_with(".tmp") && !name.ends_with(".commit") &&
           (!folder.storesName || folder.storesName(name.c_str()) != 0);
}

std::string ShownPath(const std::string& folder, const std::string& name) {
    return folder == "." ? name : folder == "/" ? "/" + name : folder + "/" + name;
}

std::string Cleaned(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return uint8_t(c) < 0x20 || c == 0x7f; }, '?');
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

const Folder* Folders::At(Place place) const {
    for (const Folder& folder : list)
        if (folder.descriptor >= 0 && folder.place == place) return &folder;
    return nullptr;
}

int TakeStore(const DurableStore& store, Folders* folders, std::string* why) {
    const platform::FileSystemBackend& fs = platform::Files();
    std::map<Place, int>& held = Held();
    // A folder removed since it was taken is let go.
    std::erase_if(held, [&](const auto& entry) {
        HostFileInfo info;
        return !(fs.statIn(entry.second, ".", &info) && info.links > 0) && (fs.close(entry.second), true);
    });
    std::vector<Place> takenNow;
    folders->list.assign(store.folderCount, Folder{});
    for (size_t i = 0; i < store.folderCount; ++i) {
        Folder& folder = folders->list[i];
        folder.given = store.folders[i].folder ? store.folders[i].folder : "";
        while (folder.given.size() > 1 && folder.given.back() == '/') folder.given.pop_back();
        folder.rule = &store.folders[i];
        const int descriptor = folder.given.empty() ? -1 : fs.openFolder(folder.given.c_str());
        HostFileInfo info;
        if (descriptor >= 0 && fs.statIn(descriptor, ".", &info)) folder.place = {info.device, info.inode};
        if (descriptor < 0) {
            folder.error = folder.given.empty() ? ENOENT : errno;
        } else if (held.count(folder.place)) {
            fs.close(descriptor);
            folder.descriptor = held[folder.place];
        } else if (const bool locked = fs.lockWithin(descriptor, 0); locked || TakesNoLocks(errno)) {
            static std::atomic<bool> said{false};
            if (!locked && !said.exchange(true))
                WriteLogFormat("The folder %s takes no locks: its stores are not guarded against another program's",
                               Cleaned(folder.given).c_str());
            folder.descriptor = held[folder.place] = descriptor;
            takenNow.push_back(folder.place);
        } else {
            folder.error = errno;
            fs.close(descriptor);
            if (folder.error != EWOULDBLOCK) continue;
            for (const Place& place : takenNow) fs.close(held[place]), held.erase(place);
            std::string resolved, where;
            if (fs.resolvePath(folder.given.c_str(), &resolved) && resolved != folder.given) where = " (" + resolved + ")";
            *why = "the folder " + Cleaned(folder.given + where) + " is used by another running program";
            folders->list.clear();
            return -1;
        }
    }
    return 0;
}

void ReleaseFolders() {
    for (const auto& [place, descriptor] : Held()) platform::Files().close(descriptor);
    Held().clear();
}

int Settle(const DurableStore& store, const Folders& folders) { return Settling(store, folders).Run(); }

}  // namespace morpotta::durable

void morpotta::SetDurableStepHook(DurableStepHook hook) { durable::Hook() = std::move(hook); }
