// Durable writes (engine/files.h): a set through its record
// (foundation/durable.h), a file alone through its rename. Each place
// (folder) a store leads to is taken once a run, at its first use: opened,
// locked (flock, never waited for), settled, and held until shut-down or
// the program's end; the store acts there by name, never through a link.
#include "engine/log.h"
#include "foundation/crc32.h"
#include "foundation/durable.h"
#include "foundation/public_call.h"
#include "platform/files.h"
#include "platform/lasting_state.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <span>

namespace morpotta::durable {

namespace {

using platform::HostFileInfo;

constexpr char kThisVersion[] = "durable store record 3\n";
constexpr size_t kIdDigits = 16;
constexpr char kWaits[] =
    "it waits for a folder it was stored in that this program does not use: the program that uses it finishes it";

DurableStepHook& Hook() { return platform::LastingState<DurableStepHook>(); }
std::mutex& Mutex() { return platform::LastingState<std::mutex>(); }  // one durable call at a time

std::string EndLine(const std::string& text) {
    char line[16];
    std::snprintf(line, sizeof line, "end %08" PRIx32 "\n", Crc32(text.data(), text.size()));
    return line;
}

// One field of a record's line and the single blank after it.
template <class Number>
bool Field(std::string_view* line, Number* out, int base = 10) {
    const size_t blank = line->find(' ');
    const char* end = line->data() + std::min(blank, line->size());
    const std::from_chars_result read = std::from_chars(line->data(), end, *out, base);
    if (blank == std::string_view::npos || blank == 0 || read.ec != std::errc() || read.ptr != end) return false;
    line->remove_prefix(blank + 1);
    return true;
}

// The set a record ("store.<id>.commit") or, with name, a temporary
// ("<name>.<id>.tmp") belongs to; "" when the entry is neither.
std::string IdOf(const std::string& entry, std::string* name = nullptr) {
    const std::string tail = name ? ".tmp" : ".commit";
    const size_t at = entry.size() - std::min(entry.size(), tail.size() + kIdDigits);
    const std::string id = entry.substr(at, kIdDigits);
    if (at < 2 || !entry.ends_with(tail) || entry[at - 1] != '.' || id.size() != kIdDigits ||
        id.find_first_not_of("0123456789abcdef") != std::string::npos)
        return "";
    if (name) *name = entry.substr(0, at - 1);
    return name || entry == RecordName(id) ? id : "";
}

std::string ShownPath(const std::string& folder, const std::string& name) {
    return folder == "." ? name : folder == "/" ? "/" + name : folder + "/" + name;
}

// Control characters replaced, a long text cut.
std::string Cleaned(std::string text) {
    std::replace_if(text.begin(), text.end(), [](char c) { return uint8_t(c) < 0x20 || c == 0x7f; }, '?');
    return text.size() > 160 ? text.substr(0, 160) + "..." : text;
}

std::string HostReason() { return std::strerror(errno); }

// What stands at name: no file, or the copy a regular file holds (with
// ownName, one with no other name), its bytes in `bytes` when asked. False
// and why when something else stands there (lasting), it holds more than
// `most` bytes, or it cannot be read now.
bool ReadCopy(int folder, const std::string& name, bool ownName, Copy* copy, std::string* why, bool* lasting = nullptr,
              std::string* bytes = nullptr, int64_t most = INT64_MAX) {
    const platform::FileSystemBackend& fs = platform::Files();
    HostFileInfo info;
    *copy = {};
    const int descriptor = fs.openReadIn(folder, name.c_str(), &info);
    if (descriptor < 0 && errno == ENOENT) return why->clear(), true;
    const bool stays = descriptor < 0 ? info.kind != platform::HostFileKind::None : ownName && info.links != 1;
    if (lasting) *lasting = stays;
    std::string own;
    std::string& text = bytes ? *bytes : own;
    text.resize(descriptor < 0 || stays ? 0 : size_t(std::min(info.size, most)));
    if (descriptor >= 0 && !stays && fs.readAt(descriptor, text.data(), text.size(), 0) == int64_t(text.size()))
        *why = info.size > most ? "holds more bytes than it may" : "";
    else if (stays)
        *why = descriptor < 0 ? "is no regular file" : "has other names (hard links)";
    else
        *why = "cannot be read (" + HostReason() + ")";
    if (descriptor >= 0) fs.close(descriptor);
    *copy = {info.size, Crc32(text.data(), text.size())};
    return why->empty();
}

// The problems and the reason of the calling thread's last durable call.
struct Problem {
    int kind = 0;
    std::string folder, set, file, reason;
    int newFiles = 0, files = 0;
};
thread_local std::vector<Problem> problems;
thread_local std::string lastError;

void Report(Problem problem) {
    WriteLogFormat("Durable store: %s%s%s: %s%s%s", problem.folder.c_str(), problem.set.empty() ? "" : ", ",
                   problem.set.c_str(), problem.file.c_str(), problem.file.empty() ? "" : " ", problem.reason.c_str());
    problems.push_back(std::move(problem));
}

// Keeps the reason as the thread's last error, and logs the line in the
// name of the public call: a refusal with -1, the previous copies kept.
int Said(int result, const std::string& reason, const std::string& line) {
    lastError = reason;
    if (result < 0) return Refuse("%s", line.c_str());
    WriteLogFormat("%s: %s", CurrentPublicCall() ? CurrentPublicCall() : "Durable store", line.c_str());
    return result;
}

// A public call: one at a time, starting with no error and no problem.
struct Call {
    explicit Call(const char* function) : frame(function) { lastError.clear(), problems.clear(); }
    PublicCall frame;
    std::lock_guard<std::mutex> lock{Mutex()};
};

// A place of a store as one call found it.
struct Folder {
    std::string given;  // the store's first spelling of it, without a closing '/'
    std::vector<const DurableFolder*> rules;
    Place place;
    int descriptor = -1;  // -1: not usable now, why (or error) says why
    int error = ENOENT;
    std::string why;

    // Whether one of its rules stores name: a plain name (no separator, no
    // control character, nor a two-byte character beginning with 0xc2, C1
    // controls among them) that is no temporary's or record's.
    bool Keeps(const std::string& name) const {
        const bool plain = !name.empty() && name.size() <= 200 && name != "." && name != ".." && Cleaned(name) == name &&
                           name.find('/') == std::string::npos && name.find_first_of("\xc2") == std::string::npos &&
                           !name.ends_with(".tmp") && !name.ends_with(".commit");
        return plain && std::any_of(rules.begin(), rules.end(), [&](const DurableFolder* rule) {
                   return name.starts_with(rule->namePrefix ? rule->namePrefix : "") &&
                          (!rule->storesName || rule->storesName(name.c_str()) != 0);
               });
    }
};

struct Store {
    explicit Store(const DurableStore& store) : description(store) {}
    const DurableStore& description;
    std::vector<Folder> places;                             // each place once
    std::vector<std::pair<std::string, size_t>> spellings;  // each of the store's folders, and its place
    std::set<std::pair<Place, std::string>> waiting;        // files a set that stood still has to replace
    const Folder* At(Place place) const {                   // the usable place, or null
        const auto at = std::find_if(places.begin(), places.end(),
                                     [&](const Folder& f) { return f.descriptor >= 0 && f.place == place; });
        return at == places.end() ? nullptr : &*at;
    }
};

// The places this process holds (the descriptor that holds its lock, and
// whether it is settled for this run), and where the stores' spellings led
// from a working folder (none for an absolute one).
struct Held {
    std::map<Place, std::pair<int, bool>> places;
    std::map<std::pair<Place, std::string>, Place> paths;
    void Forget(Place place) {
        platform::Files().close(places[place].first);
        places.erase(place);
        std::erase_if(paths, [&](const auto& path) { return path.second == place; });
    }
};
Held& TheHeld() { return platform::LastingState<Held>(); }

void ReleaseFolders() {
    while (!TheHeld().places.empty()) TheHeld().Forget(TheHeld().places.begin()->first);
}

// Whether the test seam ends the call before this step, as a kill would.
bool StopsHere(DurableStep step, const std::string& shown, int folder = -1, const std::string& name = "",
               const void* bytes = nullptr, size_t size = 0) {
    const int64_t keep = Hook() ? Hook()(step, shown) : -1;
    if (keep >= 0 && (step == DurableStep::WriteTemporary || step == DurableStep::WriteRecord))
        platform::Files().writeNewIn(folder, name.c_str(), bytes, std::min<size_t>(size, size_t(keep)), nullptr);
    if (keep >= 0) ReleaseFolders();
    return keep >= 0;
}

// A file system that takes no locks (some network and user-space ones):
// the store goes on there, unguarded against other programs, said once.
bool TakesNoLocks(int error) { return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL; }

// The place a store's folder leads to, taken when this run has not yet
// taken it; false with folder->error (EWOULDBLOCK: another program's).
bool Take(const std::string& given, Place here, Folder* folder, std::vector<Place>* takenNow) {
    const platform::FileSystemBackend& fs = platform::Files();
    Held& held = TheHeld();
    HostFileInfo info;
    const std::pair<Place, std::string> key{given[0] == '/' ? Place{} : here, given};
    if (const auto known = held.paths.find(key); known != held.paths.end()) {
        folder->place = known->second;
        // A folder removed since it was taken is let go, and taken anew.
        if (fs.statIn(held.places[folder->place].first, ".", &info) && info.links > 0) return true;
        held.Forget(folder->place);
    }
    const int descriptor = fs.openFolder(given.c_str());
    bool taken = descriptor >= 0 && fs.statIn(descriptor, ".", &info);
    folder->place = {info.device, info.inode};
    const bool fresh = taken && !held.places.count(folder->place);
    if (fresh && !fs.lockWithin(descriptor, 0) && (taken = TakesNoLocks(errno))) {
        static std::atomic<bool> said{false};
        if (!said.exchange(true))
            WriteLogFormat("The folder %s takes no locks: its stores are not guarded against another program's",
                           Cleaned(given).c_str());
    }
    if (!taken) folder->error = errno;
    if (fresh && taken) {
        held.places[folder->place] = {descriptor, false};
        takenNow->push_back(folder->place);
    } else if (descriptor >= 0) {
        fs.close(descriptor);
    }
    if (taken) held.paths[key] = folder->place;
    return taken;
}

// One set's record, as its copies in the store's places were found.
struct Copies {
    std::vector<const Folder*> in;
    std::vector<RecordedFile> files;  // empty when no copy could be read
    std::string why;                  // why not
    bool passing = false;             // a copy that may be read later
};

// What stores left standing in a store's places, settled: each set that
// stood is finished, or kept with its record and said; each that never
// stood is dropped where its commit folder shows it; the temporaries no
// copy of a record counts on go.
class Settling {
public:
    explicit Settling(Store& store) : store_(store) {}

    // The sets finished; -1 where the seam stopped.
    int Run() {
        std::map<const Folder*, std::vector<platform::HostDirEntry>> listed;
        for (Folder& folder : store_.places) {
            if (folder.descriptor >= 0 && !platform::Files().listFolder(folder.descriptor, &listed[&folder])) {
                folder.why = "the folder cannot be listed now (" + HostReason() + ")";
                folder.descriptor = -1;
            }
            if (!folder.why.empty())
                Report({kDurableFolderUnavailable, folder.given, "", "",
                        folder.why + ": nothing is stored or settled there until it can be"});
            else if (folder.descriptor >= 0)
                Gather(folder, listed[&folder]);
        }
        int finished = 0;
        for (const auto& [id, copies] : sets_) {
            const int settled = SettleSet(id, copies);
            if (settled < 0) return -1;
            finished += settled;
        }
        for (const auto& [folder, entries] : listed) {
            if (folder->descriptor >= 0 && !Sweep(*folder, entries)) return -1;
            if (folder->descriptor >= 0) TheHeld().places[folder->place].second = !unsettled_.count(folder->place);
        }
        return finished;
    }

private:
    void Gather(const Folder& folder, const std::vector<platform::HostDirEntry>& entries) {
        for (const platform::HostDirEntry& entry : entries) {
            const std::string id = IdOf(entry.name);
            std::string text, why;
            Copy copy;
            bool lasting = true;
            // A record another version of the program left is that version's to finish.
            if (id.empty() && entry.name.ends_with(".commit") && Cleaned(entry.name) == entry.name &&
                (ReadCopy(folder.descriptor, entry.name, false, &copy, &why, nullptr, &text, 32) || text.size() == 32) &&
                text.starts_with("durable store record "))
                Report({kDurableRecordUnusable, folder.given, ShownPath(folder.given, entry.name), "",
                        "it is the record of another version of the program, which finishes it"});
            if (id.empty()) continue;
            standing_.insert({folder.place, id});
            Copies& copies = sets_[id];
            copies.in.push_back(&folder);
            std::vector<RecordedFile> files;
            if (!ReadCopy(folder.descriptor, entry.name, true, &copy, &why, &lasting, &text,
                          64 + int64_t(store_.description.maxFiles) * 320))
                copies.why = "it " + why, copies.passing = !lasting && why.starts_with("cannot");
            else if (!ParseRecord(text, &files))
                copies.why = "it is damaged";
            else
                copies.files = files;
        }
    }

    // One file of a set that stood: it gets its new copy when it holds its
    // previous one, and its temporary goes. 0 done, 1 when it waits (its
    // temporary kept), -1 where the seam stopped.
    int SettleFile(const Folder& folder, const RecordedFile& file, const std::string& id, const std::string& set,
                   int* newFiles) {
        const platform::FileSystemBackend& fs = platform::Files();
        const std::string temporary = TemporaryName(file.name, id), shown = ShownPath(folder.given, file.name);
        const auto waits = [&](const std::string& why) {
            Report({kDurableSetNotFinished, folder.given, set, shown, why});
            return 1;
        };
        Copy now, made;
        std::string why;
        bool lasting = false;
        // A file that holds its new copy, or was stored again since, stays as it is.
        if (!ReadCopy(folder.descriptor, file.name, false, &now, &why, &lasting)) {
            if (!lasting) return waits(why);
            Report({kDurableSetDropped, folder.given, set, shown, why});
        } else if (now == file.fresh) {
            ++*newFiles;
        } else if (now == file.previous) {
            if (ReadCopy(folder.descriptor, temporary, true, &made, &why, &lasting) && made == file.fresh) {
                if (StopsHere(DurableStep::Rename, shown)) return -1;
                if (!fs.renameIn(folder.descriptor, temporary.c_str(), folder.descriptor, file.name.c_str()))
                    return waits("cannot be replaced now (" + HostReason() + ")");
                return ++*newFiles, 0;
            }
            if (!why.empty() && !lasting) return waits("its new copy " + why);
            const std::string newOne = !why.empty() ? why : made.size < 0 ? "is gone" : "is damaged";
            Report({kDurableSetDropped, folder.given, set, shown, "keeps its previous copy: its new one " + newOne});
        }
        if (StopsHere(DurableStep::RemoveTemporary, ShownPath(folder.given, temporary))) return -1;
        fs.removeIn(folder.descriptor, temporary.c_str());
        return 0;
    }

    // Removes the set's copies in folders, the commit folder's last.
    bool RemoveCopies(const std::string& id, std::vector<const Folder*> folders, const Folder* commit) {
        std::stable_partition(folders.begin(), folders.end(), [&](const Folder* f) { return f != commit; });
        for (const Folder* folder : folders) {
            if (StopsHere(DurableStep::RemoveRecord, ShownPath(folder->given, RecordName(id)))) return false;
            platform::Files().removeIn(folder->descriptor, RecordName(id).c_str());
            standing_.erase({folder->place, id});
        }
        return true;
    }

    // Leaves a set's copies and waiting temporaries to the next settling.
    int Keep(const Copies& copies, const std::string& set, const std::string& why, int kind = kDurableSetNotFinished) {
        if (!why.empty()) Report({kind, copies.in[0]->given, set, "", why});
        for (const Folder* folder : copies.in) unsettled_.insert(folder->place);
        return 0;
    }

    // 1 when the set is finished and its record gone, 0 when it is not,
    // -1 where the seam stopped.
    int SettleSet(const std::string& id, const Copies& copies) {
        const platform::FileSystemBackend& fs = platform::Files();
        const std::string record = ShownPath(copies.in[0]->given, RecordName(id));
        std::string unusable =
            copies.files.size() > store_.description.maxFiles ? "it names more files than a set holds" : copies.why;
        std::vector<const Folder*> at;
        for (const RecordedFile& file : copies.files) {
            at.push_back(store_.At(file.folder));
            if (at.back() && !at.back()->Keeps(file.name) && unusable.empty())
                unusable = "it names " + Cleaned(file.name) + ", a file the store does not keep there";
        }
        if (!unusable.empty()) {
            if (copies.passing) return Keep(copies, record, unusable, kDurableRecordUnusable);
            return Report({kDurableRecordUnusable, copies.in[0]->given, record, "", unusable}), 0;
        }
        // Named after its first file in this program's folders.
        const auto first = std::find_if(at.begin(), at.end(), [](const Folder* f) { return f; });
        const std::string set =
            first == at.end() ? record : ShownPath((*first)->given, copies.files[size_t(first - at.begin())].name);
        const bool everyFolder = std::count(at.begin(), at.end(), nullptr) == 0;
        const Folder* commit = at[0];
        HostFileInfo info;
        bool stood = commit && fs.statIn(commit->descriptor, RecordName(id).c_str(), &info) &&
                     info.kind == platform::HostFileKind::Regular;
        for (size_t i = 0; !stood && i < at.size(); ++i) {
            // A file renamed into place holds its new copy, and its temporary is gone.
            Copy now;
            std::string why;
            stood = at[i] && copies.files[i].fresh != copies.files[i].previous &&
                    ReadCopy(at[i]->descriptor, copies.files[i].name, false, &now, &why) &&
                    now == copies.files[i].fresh &&
                    !fs.statIn(at[i]->descriptor, TemporaryName(copies.files[i].name, id).c_str(), &info) &&
                    errno == ENOENT;
        }
        if (!stood && (!commit || !everyFolder)) {
            for (size_t i = 0; i < at.size(); ++i)
                if (at[i]) store_.waiting.insert({at[i]->place, copies.files[i].name});
            return Keep(copies, set, kWaits);
        }
        if (!stood) {
            // Cut short before it stood: its copies go, and the sweep takes its temporaries.
            if (!RemoveCopies(id, copies.in, nullptr)) return -1;
            return WriteLogFormat("Dropped the store of %s: it was cut short before it stood", set.c_str()), 0;
        }
        int newFiles = 0, waiting = 0, dropped = 0;
        for (size_t i = 0; i < at.size(); ++i) {
            const int settled = at[i] ? SettleFile(*at[i], copies.files[i], id, set, &newFiles) : 0;
            if (settled < 0) return -1;
            if (settled > 0) store_.waiting.insert({at[i]->place, copies.files[i].name});
            waiting += settled;
        }
        for (const Folder* folder : std::set<const Folder*>(at.begin(), at.end())) {
            if (folder && StopsHere(DurableStep::SyncFolder, folder->given)) return -1;
            if (folder && !fs.syncFolder(folder->descriptor) && ++waiting)
                Report({kDurableSetNotFinished, folder->given, set, "",
                        "flushing the folder " + Cleaned(folder->given) + ": " + HostReason()});
        }
        for (Problem& problem : problems) {
            if (problem.set != set) continue;
            problem.newFiles = newFiles, problem.files = int(copies.files.size());
            dropped += problem.kind == kDurableSetDropped;
        }
        if (waiting > 0) return Keep(copies, set, "");
        // Settled in every folder of this program's: the copies there go. The
        // commit folder's stays while a folder of another program's waits for it.
        std::vector<const Folder*> done = copies.in;
        if (!everyFolder) std::erase(done, commit);
        if (!RemoveCopies(id, done, commit)) return -1;
        if (!everyFolder) return commit ? Keep(copies, set, kWaits) : 0;
        WriteLogFormat("Finished the store of %s that an earlier run left", set.c_str());
        return dropped == 0;
    }

    bool Sweep(const Folder& folder, const std::vector<platform::HostDirEntry>& entries) {
        for (const platform::HostDirEntry& entry : entries) {
            std::string name;
            const std::string id = IdOf(entry.name, &name);
            if (id.empty() || standing_.count({folder.place, id}) || entry.isDirectory ||
                (!folder.Keeps(name) && name != RecordName(id)))
                continue;
            if (StopsHere(DurableStep::RemoveTemporary, ShownPath(folder.given, entry.name))) return false;
            if (platform::Files().removeIn(folder.descriptor, entry.name.c_str()))
                WriteLogFormat("Removed %s, left by a store that was cut short", Cleaned(entry.name).c_str());
        }
        return true;
    }

    Store& store_;
    std::map<std::string, Copies> sets_;
    std::set<std::pair<Place, std::string>> standing_;  // (place, set) with a copy there
    std::set<Place> unsettled_;                         // places a set still stands in
};

// Takes the store's places and settles them if this run has not: the sets
// finished; -1 where the test seam stopped it, or (why set, nothing new
// taken) where another program holds one.
int TakeAndSettle(Store* store, std::string* why) {
    const platform::FileSystemBackend& fs = platform::Files();
    Held& held = TheHeld();
    HostFileInfo info;
    const Place here = fs.stat(".", &info) ? Place{info.device, info.inode} : Place{};
    std::vector<Place> takenNow;
    bool settled = true;
    for (const DurableFolder& rule : std::span(store->description.folders, store->description.folderCount)) {
        Folder folder;
        folder.given = rule.folder ? rule.folder : "";
        while (folder.given.size() > 1 && folder.given.back() == '/') folder.given.pop_back();
        if (!folder.given.empty() && Take(folder.given, here, &folder, &takenNow))
            folder.descriptor = held.places[folder.place].first;
        if (folder.error == EWOULDBLOCK) {
            for (const Place& place : takenNow) held.Forget(place);
            std::string resolved, where;
            if (fs.resolvePath(folder.given.c_str(), &resolved) && resolved != folder.given) where = " (" + resolved + ")";
            *why = "the folder " + Cleaned(folder.given + where) + " is used by another running program";
            return -1;
        }
        if (folder.descriptor < 0 && folder.error != ENOENT)
            folder.why = "the folder cannot be opened now (" + std::string(std::strerror(folder.error)) + ")";
        const Folder* same = folder.descriptor >= 0 ? store->At(folder.place) : nullptr;
        store->spellings.push_back({folder.given, same ? size_t(same - store->places.data()) : store->places.size()});
        if (!same) {
            settled = settled && folder.why.empty() && (folder.descriptor < 0 || held.places[folder.place].second);
            store->places.push_back(std::move(folder));
        }
        store->places[store->spellings.back().second].rules.push_back(&rule);
    }
    return settled ? 0 : Settling(*store).Run();
}

// Writes name in folder as writeNewIn does: "" or why not.
std::string WriteNew(int folder, const std::string& name, const std::string& shown, const void* bytes, size_t size,
                     const char* accessOf) {
    const auto step = platform::Files().writeNewIn(folder, name.c_str(), bytes, size, accessOf);
    if (step == platform::DurableWriteStep::Done) return "";
    return (step == platform::DurableWriteStep::SyncTemporary ? "flushing " : "writing ") + Cleaned(shown) + ": " +
           HostReason();
}

// The folder of path ("." for a bare name) and the name in it.
std::pair<std::string, std::string> FolderAndName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// A file of a set, placed in one of the store's places.
struct Member {
    const DurableFile* file;
    const Folder* folder;
    std::string name, shown;
    Copy previous;
};

// One store of a set, step by step; a step returns false where it failed
// (why_) or the test seam stopped it as a kill would (stopped_). A file
// alone is written in its folder, opened but not taken, with a temporary
// named after the working directory: the same at every start there, so
// that the next write of the path replaces a leftover.
class SetWriter {
public:
    SetWriter(const DurableStore& store, const DurableFile* files, size_t count, bool alone = false)
        : store_(store), files_(files), count_(count), alone_(alone) {}
    ~SetWriter() {
        if (alone_ && store_.places[0].descriptor >= 0) platform::Files().close(store_.places[0].descriptor);
    }

    int Write() {
        HostFileInfo info;
        if (alone_) {
            Folder& folder = store_.places.emplace_back();
            folder.descriptor = platform::Files().openFolder(store_.description.folders[0].folder);
            folder.error = errno;
            store_.spellings = {{folder.given = store_.description.folders[0].folder, 0}};
        } else if (TakeAndSettle(&store_, &why_) < 0) {
            return why_.empty() ? -1 : Said(-1, why_, why_ + "; nothing was written");
        }
        if (const std::string refusal = Place(); !refusal.empty())
            return Said(-1, refusal, refusal + "; nothing was written");
        static std::random_device device;
        const bool here = alone_ && platform::Files().stat(".", &info);
        const uint32_t alone[] = {uint32_t(here ? info.device : 0), uint32_t(here ? info.inode : 0)};
        char id[17];
        if (alone_)
            std::snprintf(id, sizeof id, "%08" PRIx32, Crc32(alone, sizeof alone));
        else
            std::snprintf(id, sizeof id, "%08" PRIx32 "%08" PRIx32, uint32_t(device()), uint32_t(device()));
        id_ = id;
        // A set of one needs no record: its rename alone is whole.
        if (!WriteTemporaries() || (count_ > 1 && !(SyncFolders() && WriteCopies()))) return stopped_ ? -1 : Abandon();
        return Finish();
    }

private:
    std::string Place() {
        if (count_ == 0 || count_ > store_.description.maxFiles)
            return "it names " + std::to_string(count_) + " files, not 1 to " + std::to_string(store_.description.maxFiles);
        int64_t bytes = 0;
        for (size_t i = 0; i < count_; ++i) {
            const std::pair<std::string, std::string> split = FolderAndName(files_[i].path);
            const std::string &folder = split.first, &name = split.second;
            const std::string shown = Cleaned(files_[i].path);
            bytes += int64_t(std::min<size_t>(files_[i].size, size_t(store_.description.maxBytes) + 1));
            if (files_[i].size > 0 && !files_[i].bytes) return shown + " has no bytes";
            if (bytes > store_.description.maxBytes) return "its files hold more bytes than a set of the store holds";
            const auto spelled = std::find_if(store_.spellings.begin(), store_.spellings.end(),
                                              [&](const auto& spelling) { return spelling.first == folder; });
            const Folder* at = spelled == store_.spellings.end() ? nullptr : &store_.places[spelled->second];
            if (!at || !(alone_ ? !name.empty() && name != "." && name != ".." : at->Keeps(name)))
                return shown + " is not a file the store keeps in its folders";
            if (at->descriptor < 0)
                return shown + " stands in a folder that cannot be used now (" +
                       (at->why.empty() ? std::strerror(at->error) : at->why) + ")";
            // A set that stood and could not be finished yet comes first: its
            // files are never written over.
            if (store_.waiting.count({at->place, name}))
                return shown + " waits for an earlier store of it to be finished first";
            for (const Member& other : members_)
                if (other.folder == at && other.name == name) return shown + " is named twice";
            members_.push_back({&files_[i], at, name, shown, {}});
            // Only what a rename can replace: nothing, or a regular file that is
            // no mount point, not immutable, not kept from this user by a sticky folder.
            std::string why;
            if (!ReadCopy(at->descriptor, name, false, &members_.back().previous, &why)) return shown + " " + why;
            if (!platform::Files().replaceableIn(at->descriptor, name.c_str()))
                return shown + " cannot be replaced: " + HostReason();
        }
        // The commit folder is the set's place that comes first in the store;
        // its files and its copy go last.
        std::stable_sort(members_.begin(), members_.end(),
                         [](const Member& a, const Member& b) { return a.folder > b.folder; });
        for (const Member& m : members_)
            if (places_.empty() || places_.back() != m.folder) places_.push_back(m.folder);
        return "";
    }

    bool Stops(DurableStep step, const std::string& shown, int folder = -1, const std::string& name = "",
               const void* bytes = nullptr, size_t size = 0) {
        return stopped_ = StopsHere(step, shown, folder, name, bytes, size);
    }

    bool WriteTemporaries() {
        for (; written_ < count_; ++written_) {
            const Member& m = members_[written_];
            const std::string temporary = TemporaryName(m.name, id_), shown = ShownPath(m.folder->given, temporary);
            if (Stops(DurableStep::WriteTemporary, shown, m.folder->descriptor, temporary, m.file->bytes, m.file->size))
                return false;
            why_ = WriteNew(m.folder->descriptor, temporary, shown, m.file->bytes, m.file->size, m.name.c_str());
            if (!why_.empty()) return false;
        }
        return true;
    }

    bool SyncFolder(const Folder& folder) {
        if (Stops(DurableStep::SyncFolder, folder.given)) return false;
        if (platform::Files().syncFolder(folder.descriptor)) return true;
        why_ = "flushing the folder " + Cleaned(folder.given) + ": " + HostReason();
        return false;
    }

    bool SyncFolders() {
        return std::all_of(places_.begin(), places_.end(), [&](const Folder* folder) { return SyncFolder(*folder); });
    }

    // Once the commit folder's copy is on the disk, the set stands.
    bool WriteCopies() {
        const platform::FileSystemBackend& fs = platform::Files();
        std::vector<RecordedFile> lines;
        for (auto place = places_.rbegin(); place != places_.rend(); ++place)  // the commit folder's first
            for (const Member& m : members_)
                if (m.folder == *place)
                    lines.push_back({m.folder->place, CopyOf(m.file->bytes, m.file->size), m.previous, m.name});
        const std::string text = RecordText(lines), name = RecordName(id_), temporary = TemporaryName(name, id_);
        for (; copies_ < places_.size(); ++copies_) {
            const Folder& folder = *places_[copies_];
            const std::string shown = ShownPath(folder.given, name);
            if (Stops(DurableStep::WriteRecord, shown, folder.descriptor, temporary, text.data(), text.size()))
                return false;
            why_ = WriteNew(folder.descriptor, temporary, shown, text.data(), text.size(), nullptr);
            if (!why_.empty() || Stops(DurableStep::Rename, shown)) return false;
            if (!fs.renameIn(folder.descriptor, temporary.c_str(), folder.descriptor, name.c_str())) {
                why_ = "renaming " + Cleaned(shown) + " into place: " + HostReason();
                fs.removeIn(folder.descriptor, temporary.c_str());
                return false;
            }
            if (!SyncFolder(folder)) return ++copies_, false;
        }
        return true;
    }

    int Abandon() {
        const platform::FileSystemBackend& fs = platform::Files();
        // The last copy written first: without the commit folder's the set never stood.
        while (copies_ > 0) {
            const Folder* folder = places_[--copies_];
            // A commit folder's copy that stays is a set that stood: it is finished.
            if (!fs.removeIn(folder->descriptor, RecordName(id_).c_str()) && errno != ENOENT && folder == places_.back())
                return Finish();
        }
        for (size_t i = 0; i < written_; ++i)
            fs.removeIn(members_[i].folder->descriptor, TemporaryName(members_[i].name, id_).c_str());
        const std::string others = count_ == 1 ? "it keeps its previous copy"
                                               : "it and the " + std::to_string(count_ - 1) +
                                                     " other files of its set keep their previous copies";
        return Said(-1, why_, Cleaned(files_[0].path) + " was not stored (" + why_ + "); " + others);
    }

    int Finish() {
        const platform::FileSystemBackend& fs = platform::Files();
        int renamed = 0;
        std::string failed;
        for (const Member& m : members_) {
            if (Stops(DurableStep::Rename, m.shown)) return -1;
            if (fs.renameIn(m.folder->descriptor, TemporaryName(m.name, id_).c_str(), m.folder->descriptor, m.name.c_str()))
                ++renamed;
            else
                failed = "renaming " + m.shown + " into place: " + HostReason();
        }
        if (count_ == 1 && !failed.empty()) return why_ = failed, Abandon();
        if (!SyncFolders() && stopped_) return -1;
        // The copies stay while the next settling has anything to make sure of.
        for (size_t k = 0; failed.empty() && why_.empty() && count_ > 1 && k < places_.size(); ++k) {
            if (Stops(DurableStep::RemoveRecord, ShownPath(places_[k]->given, RecordName(id_)))) return -1;
            fs.removeIn(places_[k]->descriptor, RecordName(id_).c_str());
        }
        if (failed.empty() && why_.empty()) return 0;
        for (const Folder* folder : places_)  // settled again before the next store
            if (TheHeld().places.count(folder->place)) TheHeld().places[folder->place].second = false;
        if (!failed.empty()) {
            const std::string why = failed + "; " + std::to_string(renamed) + " of its " + std::to_string(count_) +
                                    " files hold their new copies, and the next start puts the rest in place";
            return Said(kDurableStoredUnsettled, why,
                        Cleaned(files_[0].path) + " and its set were stored, but not whole: " + why);
        }
        return Said(kDurableStoredUnsettled, why_,
                    Cleaned(files_[0].path) + " was stored, but " + why_ +
                        ": a power cut before the next start may bring back its previous copy");
    }

    Store store_;
    const DurableFile* files_;
    size_t count_;
    bool alone_;
    std::vector<Member> members_;        // the commit folder's last
    std::vector<const Folder*> places_;  // each place once, the commit folder last
    std::string id_, why_;
    size_t written_ = 0, copies_ = 0;
    bool stopped_ = false;
};

}  // namespace

bool ParseRecord(const std::string& text, std::vector<RecordedFile>* files) {
    files->clear();
    if (!text.starts_with(kThisVersion)) return false;
    for (size_t at = sizeof kThisVersion - 1; at < text.size();) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) return false;
        std::string_view line(text.data() + at, end - at);
        if (line.starts_with("end "))
            return end + 1 == text.size() && !files->empty() && std::string(line) + '\n' == EndLine(text.substr(0, at));
        // "<device> <inode> <size> <check> <size> <check> <name>": the name
        // is the rest, byte for byte.
        RecordedFile f;
        if (!Field(&line, &f.folder.first) || !Field(&line, &f.folder.second) || !Field(&line, &f.fresh.size) ||
            !Field(&line, &f.fresh.check, 16) || !Field(&line, &f.previous.size) ||
            !Field(&line, &f.previous.check, 16) || line.empty() || f.fresh.size < 0 || f.previous.size < -1)
            return false;
        f.name = line;
        files->push_back(std::move(f));
        at = end + 1;
    }
    return false;
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
Copy CopyOf(const void* bytes, size_t size) { return {int64_t(size), Crc32(bytes, size)}; }

}  // namespace morpotta::durable

using namespace morpotta;
using namespace morpotta::durable;

void morpotta::SetDurableStepHook(DurableStepHook hook) { Hook() = std::move(hook); }

void morpotta::ReleaseDurableFolders() {
    const std::lock_guard<std::mutex> lock(Mutex());
    ReleaseFolders();
}

const char* GetDurableWriteError() { return lastError.c_str(); }

int WriteFileDurably(const char* path, const void* bytes, size_t size) {
    const Call call("WriteFileDurably");
    if (!path || !*path) return Said(-1, "no path", "no path");
    const std::string folder = FolderAndName(path).first;
    const DurableFolder only{folder.c_str(), ""};
    const DurableStore store{&only, 1, 1, INT64_MAX};
    const DurableFile file{path, bytes, size};
    return SetWriter(store, &file, 1, true).Write();
}

int WriteFileSetDurably(const DurableStore* store, const DurableFile* files, size_t count) {
    const Call call("WriteFileSetDurably");
    const bool paths = std::all_of(files, files + (files ? count : 0), [](const DurableFile& f) { return f.path; });
    if (!store || (store->folderCount > 0 && !store->folders) || (count > 0 && !files) || !paths)
        return Said(-1, "no store, or a file without a path", "no store, or a file without a path");
    return SetWriter(*store, files, count).Write();
}

int FinishInterruptedWrites(const DurableStore* store) {
    const Call call("FinishInterruptedWrites");
    if (!store || (store->folderCount > 0 && !store->folders)) return Said(-1, "no store", "no store");
    Store taken(*store);
    std::string why;
    const int finished = TakeAndSettle(&taken, &why);
    return finished < 0 && !why.empty() ? Said(-1, why, why + "; nothing was settled") : std::max(finished, 0);
}

int GetDurableProblemCount() { return int(problems.size()); }

int GetDurableProblem(int index, DurableProblem* out) {
    const PublicCall frame("GetDurableProblem");
    if (!out) return RefuseNull("place for the problem");
    if (index < 0 || size_t(index) >= problems.size()) return RefuseIndex("problem", index, int(problems.size()));
    const Problem& p = problems[size_t(index)];
    *out = {p.kind, p.folder.c_str(), p.set.c_str(), p.file.c_str(), p.reason.c_str(), p.newFiles, p.files};
    return 0;
}
