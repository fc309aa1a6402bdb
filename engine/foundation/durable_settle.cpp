// The folders a durable store holds, and the settling of the sets its
// writes, or another program's, left standing in them (foundation/durable.h).
#include "engine/log.h"
#include "foundation/durable.h"
#include "platform/files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <set>

namespace morpotta::durable {

namespace {

using platform::HostFileInfo;
using platform::HostFileKind;

// Every folder this process holds, by place: the descriptor that holds its lock.
std::map<Place, int>& Held() {
    static std::map<Place, int> held;
    return held;
}

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
    int Run();

private:
    void Gather(const Folder& folder);
    // 1 when the set is finished and its record gone, 0 when it stays, -1 where the seam stopped.
    int SettleSet(const std::string& id, const Copies& copies);
    // The outcome of one file of a set that stands; false where the seam stopped.
    bool SettleFile(const Folder& folder, const RecordedFile& file, const std::string& id, const std::string& set,
                    int* newFiles, int* pending);
    bool Sweep(const Folder& folder);

    const DurableStore& store_;
    const Folders& folders_;
    std::map<std::string, Copies> sets_;
    std::set<std::pair<Place, std::string>> standing_;  // (folder, set) with a copy there
};

void Settling::Gather(const Folder& folder) {
    std::vector<platform::HostDirEntry> entries;
    platform::Files().listFolder(folder.descriptor, &entries);
    for (const platform::HostDirEntry& entry : entries) {
        const std::string id = IdOfRecord(entry.name);
        std::string text, why;
        Copy copy;
        // A record another version of the program left is that version's to finish.
        if (id.empty() && entry.name.ends_with(".commit") && Cleaned(entry.name) == entry.name &&
            (ReadCopy(folder.descriptor, entry.name, false, &copy, &why, nullptr, &text, 32) || text.size() == 32) &&
            IsAnyRecord(text))
            Report({kDurableRecordUnusable, folder.given, ShownPath(folder.given, entry.name), "",
                    "it is the record of another version of the program, which finishes it"});
        if (id.empty()) continue;
        standing_.insert({folder.place, id});
        Copies& copies = sets_[id];
        copies.in.push_back(&folder);
        std::vector<RecordedFile> files;
        if (!ReadCopy(folder.descriptor, entry.name, true, &copy, &why, nullptr, &text, 64 + int64_t(store_.maxFiles) * 320))
            copies.why = "it " + why;
        else if (!ParseRecord(text, &files)) copies.why = "it is damaged";
        else copies.files = files;
    }
}

bool Settling::SettleFile(const Folder& folder, const RecordedFile& file, const std::string& id, const std::string& set,
                          int* newFiles, int* pending) {
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
    if (!ReadCopy(folder.descriptor, file.name, false, &now, &why, &lasting)) {
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
                "keeps its previous copy: its new one " + (why.empty() ? std::string("is gone") : why)});
    }
    if (StopsHere(DurableStep::RemoveTemporary, ShownPath(folder.given, temporary))) return false;
    fs.removeIn(folder.descriptor, temporary.c_str());
    return true;
}

int Settling::SettleSet(const std::string& id, const Copies& copies) {
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
    // The set stands when its commit folder, its first file's, holds its record.
    const Folder* commit = at[0];
    HostFileInfo info;
    if (!commit) {
        WriteLogFormat("%s waits for a program that uses the folder its set was committed in", record.c_str());
        return 0;
    }
    const std::string set = ShownPath(commit->given, copies.files[0].name);
    const bool stands = fs.statIn(commit->descriptor, RecordName(id).c_str(), &info) && info.kind == HostFileKind::Regular;
    int newFiles = 0, pending = 0;
    for (size_t i = 0; i < at.size(); ++i) {
        const std::string temporary = at[i] ? TemporaryName(copies.files[i].name, id) : "";
        if (!at[i]) continue;
        if (stands ? !SettleFile(*at[i], copies.files[i], id, set, &newFiles, &pending)
                   : StopsHere(DurableStep::RemoveTemporary, ShownPath(at[i]->given, temporary)))
            return -1;
        if (!stands) fs.removeIn(at[i]->descriptor, temporary.c_str());
    }
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
    for (const Folder* folder : copies.in) {  // the commit folder's copy last
        if (folder == commit) continue;
        if (StopsHere(DurableStep::RemoveRecord, ShownPath(folder->given, RecordName(id)))) return -1;
        fs.removeIn(folder->descriptor, RecordName(id).c_str());
    }
    if (StopsHere(DurableStep::RemoveRecord, ShownPath(commit->given, RecordName(id)))) return -1;
    fs.removeIn(commit->descriptor, RecordName(id).c_str());
    for (const Folder* folder : copies.in) standing_.erase({folder->place, id});
    WriteLogFormat(stands ? "Finished the store of %s that an earlier run left" : "Dropped the store of %s: it was "
                   "cut short before it stood", set.c_str());
    return stands && dropped == 0;
}

bool Settling::Sweep(const Folder& folder) {
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

int Settling::Run() {
    std::set<Place> seen;
    for (const Folder& folder : folders_.list) {
        if (folder.descriptor >= 0 && seen.insert(folder.place).second) Gather(folder);
        if (folder.descriptor < 0 && folder.error != ENOENT)
            Report({kDurableFolderUnavailable, folder.given, "", "", "the folder cannot be opened now (" +
                    std::string(std::strerror(folder.error)) + "): nothing is stored or settled there until it can be"});
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

}  // namespace

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
            *why = "the folder " + Cleaned(folder.given) + " is used by another running program";
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
