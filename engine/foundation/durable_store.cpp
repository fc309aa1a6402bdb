// Durable writes (engine/files.h): a set through its record
// (foundation/durable.h), a file alone through its rename. Each place
// (folder) a store leads to is taken once a run, at its first use: opened,
// locked (flock, never waited for), settled, and held until shut-down or
// the program's end; the store acts there by name, never through a link.
#include "engine/log.h"
#include "foundation/crc32.h"
#include "foundation/durable.h"
#include "foundation/public_call.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/lasting_state.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <span>
#include <sstream>

namespace morpotta::durable {

namespace {

using platform::HostFileInfo;

constexpr char kThisVersion[] = "durable store record 3\n";
constexpr size_t kIdDigits = 16;
constexpr size_t kMaxNameBytes = 200;                      // of a name a store keeps
constexpr int64_t kRecordLineBytes = 128 + kMaxNameBytes;  // of a record's line, numbers and name

DurableStepHook& Hook() { return platform::LastingState<DurableStepHook>(); }
std::mutex& Mutex() { return platform::LastingState<std::mutex>(); }  // one durable call at a time

std::string EndLine(const std::string& text) {
    char line[16];
    std::snprintf(line, sizeof line, "end %08" PRIx32 "\n", Crc32(text.data(), text.size()));
    return line;
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
    if (folder == ".") return name;
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// Text as a message shows it, cut after `most` characters: each control
// character (C0, DEL, C1) as '?', and text that is no UTF-8 with '?' for
// every byte past ASCII. The names a store keeps are left as they are.
std::string Cleaned(const std::string& text, size_t most = 160) {
    std::u16string wide;
    if (!platform::Utf8ToUtf16(text, wide))
        for (const char c : text) wide += char16_t(uint8_t(c) < 0x80 ? c : '?');
    for (char16_t& c : wide)
        if (c < 0x20 || (c >= 0x7f && c < 0xa0)) c = u'?';
    size_t cut = std::min(wide.size(), most);
    if (cut < wide.size() && cut > 0 && (wide[cut - 1] & 0xfc00) == 0xd800) --cut;  // a whole pair
    std::string shown;
    platform::Utf16ToUtf8(wide.substr(0, cut), shown);
    return cut < wide.size() ? shown + "..." : shown;
}

std::string HostReason() { return std::strerror(errno); }

// What stands at a name, as a store tells copies apart.
struct Found {
    Copy copy;             // size -1: nothing
    std::string why;       // "" for a copy a store may use
    bool lasting = false;  // why stays so (not a passing failure to read)
};

// The copy a regular file holds (with ownName, one with no other name),
// read in parts, its first `most` bytes appended to text when asked; more
// are said, and read only for text. With `most` -1 nothing is read.
Found ReadCopy(int folder, const std::string& name, bool ownName, int64_t most, std::string* text = nullptr) {
    const platform::FileSystemBackend& fs = platform::Files();
    HostFileInfo info;
    const int descriptor = fs.openReadIn(folder, name.c_str(), &info);
    if (descriptor < 0 && errno == ENOENT) return {};
    Found found{{info.size, 0}, "", descriptor >= 0 || info.kind != platform::HostFileKind::None};
    if (descriptor < 0)
        found.why = found.lasting ? "is no regular file" : "cannot be read (" + HostReason() + ")";
    else if (ownName && info.links != 1)
        found.why = "has other names (hard links)";
    else if (most >= 0 && info.size > most)
        found.why = "holds more than " + std::to_string(most) + " bytes";
    const int64_t reading = descriptor < 0 || (!found.why.empty() && !text) ? 0 : std::min(info.size, most);
    std::string part;
    for (int64_t at = 0; at < reading && found.lasting; at += int64_t(part.size())) {
        part.resize(size_t(std::min<int64_t>(reading - at, 1 << 16)));
        if (fs.readAt(descriptor, part.data(), part.size(), at) != int64_t(part.size()))
            found = {{info.size, 0}, "cannot be read (" + HostReason() + ")", false};
        found.copy.check = Crc32(part.data(), part.size(), found.copy.check);
        if (text) text->append(part);
    }
    if (descriptor >= 0) fs.close(descriptor);
    return found;
}

// The problems and the reason of the calling thread's last durable call.
struct Problem {
    int kind = 0;
    std::string folder, set, file, reason;
    int newFiles = 0, files = 0;
    std::string What() const { return file.empty() ? reason : file + " " + reason; }
};
thread_local std::vector<Problem> problems;
thread_local std::string lastError;

void Report(const Problem& p) {
    WriteLogFormat("Durable store: %s%s%s: %s", p.folder.c_str(), p.set.empty() ? "" : ", ", p.set.c_str(),
                   p.What().c_str());
    problems.push_back(p);
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
    explicit Call(const char* function) : frame(function) {
        lastError.clear();
        problems.clear();
    }
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

    // Whether one of its rules stores name. The one rule of the names a
    // store keeps: shown by a message as they are, of at most
    // kMaxNameBytes, no path, and no temporary's or record's name.
    bool Keeps(const std::string& name) const {
        const bool plain = !name.empty() && name.size() <= kMaxNameBytes && name != "." && name != ".." &&
                           Cleaned(name, kMaxNameBytes) == name && name.find('/') == std::string::npos &&
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
    std::vector<Folder> places;                       // each place once
    std::map<std::string, size_t> spellings;          // each of the store's folders, and its place
    std::set<std::pair<Place, std::string>> waiting;  // files a set that stands has yet to replace
    const Folder* At(Place place) const {             // the usable place, or null
        const auto at = std::find_if(places.begin(), places.end(),
                                     [&](const Folder& f) { return f.descriptor >= 0 && f.place == place; });
        return at == places.end() ? nullptr : &*at;
    }
    int64_t Most() const { return description.maxBytes; }  // of a file a set holds
    size_t MostFiles() const { return description.maxFiles; }
};

// The places this process holds: each one's locked descriptor, and whether
// it is settled this run.
struct Held {
    std::map<Place, std::pair<int, bool>> places;
    void Forget(Place place) {
        platform::Files().close(places[place].first);
        places.erase(place);
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
        platform::Files().writeNewIn(folder, name.c_str(), bytes, std::min(size, size_t(keep)), nullptr);
    if (keep >= 0) ReleaseFolders();
    return keep >= 0;
}

// Takes the place a store's folder leads to, unless this run has: its
// descriptor, or -1, error (EWOULDBLOCK: another program's) and why.
void Take(Folder* folder, std::vector<Place>* takenNow) {
    const platform::FileSystemBackend& fs = platform::Files();
    Held& held = TheHeld();
    HostFileInfo info;
    const int descriptor = fs.openFolder(folder->given.c_str());
    bool taken = descriptor >= 0 && fs.statIn(descriptor, ".", &info);
    folder->place = {info.device, info.inode};
    // A folder removed since it was taken (one made again may have its
    // number) is let go, and taken anew.
    const auto old = held.places.find(folder->place);
    if (taken && old != held.places.end() && !(fs.statIn(old->second.first, ".", &info) && info.links > 0))
        held.Forget(folder->place);
    const bool fresh = taken && !held.places.count(folder->place);
    // A file system that takes no locks (some network and user-space ones):
    // the store goes on there, unguarded against other programs, and says so.
    if (fresh && !fs.lockWithin(descriptor, 0) &&
        (taken = errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOTSUP || errno == EINVAL))
        WriteLogFormat("The folder %s takes no locks: its stores are not guarded against another program's",
                       Cleaned(folder->given).c_str());
    if (!taken) folder->error = errno;
    if (folder->error != ENOENT) folder->why = "the folder cannot be opened now (" + HostReason() + ")";
    if (fresh && taken) {
        held.places[folder->place] = {descriptor, false};
        takenNow->push_back(folder->place);
    } else if (descriptor >= 0) {
        fs.close(descriptor);
    }
    if (taken) folder->descriptor = held.places[folder->place].first;
}

// A set as its record has it, the commit folder's file first, each in its
// folder (null: one this program does not use now); and its copies' folders.
struct Set {
    std::string id;
    std::vector<RecordedFile> files;
    std::vector<const Folder*> at;
    std::vector<const Folder*> copies;
    std::string unusable;  // why a settling cannot act on its record
    const Folder* Commit() const { return at.empty() ? nullptr : at[0]; }
    std::string Shown(size_t i) const { return ShownPath(at[i]->given, files[i].name); }
};

// The set's files in this program's folders as they are renamed: the commit
// folder's last, so that a program that does not use it sees it stand early.
std::vector<size_t> RenameOrder(const Set& set) {
    std::vector<size_t> order;
    for (const bool inCommit : {false, true})
        for (size_t i = 0; i < set.files.size(); ++i)
            if (set.at[i] && (set.at[i] == set.Commit()) == inCommit) order.push_back(i);
    return order;
}

// Whether a set stood: its commit folder holds its record, or a file of it
// holds its new copy with its temporary gone (renamed).
bool Stood(const Set& set, int64_t most) {
    const platform::FileSystemBackend& fs = platform::Files();
    HostFileInfo info;
    if (set.Commit() && fs.statIn(set.Commit()->descriptor, RecordName(set.id).c_str(), &info) &&
        info.kind == platform::HostFileKind::Regular)
        return true;
    return std::ranges::any_of(RenameOrder(set), [&](size_t i) {
        const RecordedFile& file = set.files[i];
        return file.fresh != file.previous &&
               !fs.statIn(set.at[i]->descriptor, TemporaryName(file.name, set.id).c_str(), &info) &&
               errno == ENOENT && ReadCopy(set.at[i]->descriptor, file.name, false, most).copy == file.fresh;
    });
}

// Flushes a folder (false where the test seam stopped); why says a failure.
bool Flush(const Folder& folder, std::string* why) {
    if (StopsHere(DurableStep::SyncFolder, folder.given)) return false;
    if (!platform::Files().syncFolder(folder.descriptor))
        *why = "flushing the folder " + Cleaned(folder.given) + ": " + HostReason();
    return true;
}

// Removes a temporary, or a record; false where the test seam stopped.
bool Remove(const Folder& folder, const std::string& name) {
    const auto step = name.ends_with(".tmp") ? DurableStep::RemoveTemporary : DurableStep::RemoveRecord;
    if (StopsHere(step, ShownPath(folder.given, name))) return false;
    platform::Files().removeIn(folder.descriptor, name.c_str());
    return true;
}

// Removes a set's record copies in folders: the commit folder's last when
// the set is finished, so that it stands until the others are gone; first
// when it is dropped, so that it never stood. False where the seam stopped.
bool RemoveRecords(const Set& set, std::vector<const Folder*> folders, bool finished) {
    std::stable_partition(folders.begin(), folders.end(), [&](auto f) { return (f == set.Commit()) != finished; });
    return std::ranges::all_of(folders, [&](const Folder* f) { return Remove(*f, RecordName(set.id)); });
}

// Leaves a set's copies and temporaries to the next store's settling.
int Keep(const std::vector<const Folder*>& folders) {
    for (const Folder* folder : folders)
        if (TheHeld().places.count(folder->place)) TheHeld().places[folder->place].second = false;
    return 0;
}

// Puts a set that stood in place in this program's folders: a file that
// holds its previous copy (known to, for the store that wrote it) gets its
// new one, the folders are flushed, and once nothing waits the record's
// copies go (the commit folder's stays while a folder not used here waits).
// What could not be done is said, of the set named; its files wait.
struct Finishing {
    Store& store;
    const Set& set;
    bool known;
    std::string name;
    std::vector<Problem> said;
    int newFiles = 0;

    // Whether the record stays for the next settling.
    bool Waits() const { return std::ranges::count(said, kDurableSetNotFinished, &Problem::kind) > 0; }

    // False where the test seam stopped.
    bool Run() {
        if (!std::ranges::all_of(RenameOrder(set), [&](size_t i) { return File(i); })) return false;
        for (const Folder* folder : std::set<const Folder*>(set.at.begin(), set.at.end())) {
            std::string why;
            if (folder && !Flush(*folder, &why)) return false;
            if (!why.empty()) said.push_back({kDurableSetNotFinished, folder->given, name, "", why});
        }
        for (Problem& problem : said) {
            problem.newFiles = newFiles;
            problem.files = int(set.files.size());
        }
        std::vector<const Folder*> done = set.copies;
        if (std::ranges::count(set.at, nullptr) > 0) std::erase(done, set.Commit());
        return Waits() || RemoveRecords(set, done, true);
    }

private:
    // Says why file i keeps its copy: it waits for the next settling, or
    // its temporary goes. False where the seam stopped.
    bool Keeps(size_t i, int kind, const std::string& why) {
        said.push_back({kind, set.at[i]->given, name, set.Shown(i), why});
        if (kind == kDurableSetNotFinished) store.waiting.insert({set.at[i]->place, set.files[i].name});
        return kind == kDurableSetNotFinished || Remove(*set.at[i], TemporaryName(set.files[i].name, set.id));
    }

    bool File(size_t i) {
        const int folder = set.at[i]->descriptor;
        const RecordedFile& file = set.files[i];
        const std::string temporary = TemporaryName(file.name, set.id);
        const Found now = known ? Found{file.previous, ""} : ReadCopy(folder, file.name, false, store.Most());
        if (!now.why.empty())
            return Keeps(i, now.lasting ? kDurableSetDropped : kDurableSetNotFinished, now.why);
        // One that holds its new copy, or was stored again since, stays.
        if (!known && (now.copy == file.fresh || now.copy != file.previous)) {
            newFiles += now.copy == file.fresh;
            return Remove(*set.at[i], temporary);
        }
        const Found made = known ? Found{file.fresh, ""} : ReadCopy(folder, temporary, true, store.Most());
        if (!made.why.empty() && !made.lasting)
            return Keeps(i, kDurableSetNotFinished, "its new copy " + made.why);
        const std::string lost = !made.why.empty() ? made.why : made.copy.size < 0 ? "is gone" : "is damaged";
        if (!made.why.empty() || made.copy != file.fresh)
            return Keeps(i, kDurableSetDropped, "keeps its previous copy: its new one " + lost);
        if (StopsHere(DurableStep::Rename, set.Shown(i))) return false;
        if (!platform::Files().renameIn(folder, temporary.c_str(), folder, file.name.c_str()))
            return Keeps(i, kDurableSetNotFinished, "could not be renamed into place: " + HostReason());
        ++newFiles;
        return true;
    }
};

// What stores left in a store's places not yet settled this run, settled:
// each set that stood is finished, or kept with its record and said; each
// that never stood is dropped where its commit folder shows it; the
// temporaries no record beside them counts on go.
struct Settling {
    Store& store;
    std::map<std::string, Set> sets;

    // The sets finished; -1 where the seam stopped.
    int Run() {
        std::map<const Folder*, std::vector<platform::HostDirEntry>> lists;
        for (Folder& folder : store.places) {
            if (folder.descriptor >= 0 && TheHeld().places[folder.place].second) continue;
            if (folder.descriptor >= 0 && !platform::Files().listFolder(folder.descriptor, &lists[&folder])) {
                folder.why = "the folder cannot be listed now (" + HostReason() + ")";
                folder.descriptor = -1;
            }
            if (!folder.why.empty())
                Report({kDurableFolderUnavailable, folder.given, "", "",
                        folder.why + ": nothing is stored or settled there until it can be"});
            else if (folder.descriptor >= 0)
                Gather(folder, lists[&folder]);
        }
        int finished = 0;
        for (auto& [id, set] : sets) {
            const int settled = SettleSet(set);
            if (settled < 0) return -1;
            finished += settled;
        }
        for (const auto& [folder, entries] : lists)
            if (folder->descriptor >= 0 && !Sweep(*folder, entries)) return -1;
        return finished;
    }

private:
    // Gathers a folder's records, and marks it settled (Keep undoes that).
    void Gather(const Folder& folder, const std::vector<platform::HostDirEntry>& entries) {
        TheHeld().places[folder.place].second = true;
        const int64_t most = 64 + int64_t(std::min<size_t>(store.MostFiles(), 1 << 20)) * kRecordLineBytes;
        for (const platform::HostDirEntry& entry : entries) {
            if (!entry.name.ends_with(".commit")) continue;
            const std::string id = IdOf(entry.name), record = ShownPath(folder.given, entry.name);
            std::string text;
            std::vector<RecordedFile> files;
            const Found found = ReadCopy(folder.descriptor, entry.name, true, most, &text);
            const bool parsed = found.why.empty() && ParseRecord(text, &files);
            const bool here = std::ranges::count(files, folder.place, &RecordedFile::folder) > 0;
            if (id.empty() && text.starts_with("durable store record ")) {
                Report({kDurableRecordUnusable, folder.given, Cleaned(record), "",
                        "it is the record of another version of the program, which finishes it"});
            } else if (!id.empty() && parsed && !here) {  // copied with its folder, or its disk mounted again
                Leave(kDurableRecordUnusable, folder, record, "", files,
                      "it was stored in this folder under another device number or inode (the folder copied, "
                      "or its disk mounted again), so no program can finish it");
            } else if (!id.empty()) {
                Set& set = sets[id];
                set.id = id;
                set.copies.push_back(&folder);
                if (parsed) set.files = files;
                if (!parsed) set.unusable = found.why.empty() ? "it is damaged" : "it " + found.why;
            }
        }
    }

    // Says a record left as it is with its temporaries, and what the files
    // it names in folder hold there.
    void Leave(int kind, const Folder& folder, const std::string& set, const std::string& file,
               const std::vector<RecordedFile>& files, const std::string& why) {
        int fresh = 0, held = 0;
        for (const RecordedFile& line : files) {
            if (!folder.Keeps(line.name)) continue;
            const Found now = ReadCopy(folder.descriptor, line.name, false, store.Most());
            fresh += now.why.empty() && now.copy == line.fresh;
            held += now.why.empty() && (now.copy == line.fresh || now.copy == line.previous);
        }
        Report({kind, folder.given, set, file, why, fresh, held});
    }

    // A set this program cannot finish, whose folders it does not all use,
    // said with its copy here, whose removal lets it go.
    int WaitsElsewhere(const Set& set, const std::string& name, const Folder& copy) {
        Leave(kDurableSetWaitsElsewhere, copy, name, ShownPath(copy.given, RecordName(set.id)), set.files,
              "it waits for a folder it was stored in that this program does not use");
        return Keep(set.copies);
    }

    // 1: the set finished and its record gone; 0: not; -1: the seam stopped.
    int SettleSet(Set& set) {
        const std::string record = ShownPath(set.copies[0]->given, RecordName(set.id));
        if (set.files.size() > store.MostFiles()) set.unusable = "it names more files than a set holds";
        for (const RecordedFile& file : set.files) {
            set.at.push_back(store.At(file.folder));
            const bool kept = !set.at.back() || set.at.back()->Keeps(file.name);
            if (set.unusable.empty() && (!kept || std::max(file.fresh.size, file.previous.size) > store.Most()))
                set.unusable = "it names " + Cleaned(file.name) + ", a file the store does not keep there";
        }
        if (!set.unusable.empty()) {
            Report({kDurableRecordUnusable, set.copies[0]->given, record, "", set.unusable});
            return 0;
        }
        // Named after its first file in this program's folders, as renamed.
        const std::vector<size_t> order = RenameOrder(set);
        const std::string name = order.empty() ? record : set.Shown(order[0]);
        const bool everyFolder = order.size() == set.files.size(), stood = Stood(set, store.Most());
        if (!stood && !everyFolder) {
            // Whether it stood shows elsewhere: no store goes over its files.
            for (const size_t i : order) store.waiting.insert({set.at[i]->place, set.files[i].name});
            return WaitsElsewhere(set, name, *set.copies[0]);
        }
        if (!stood) {
            // Never stood: its copies go, and the sweep takes its temporaries.
            if (!RemoveRecords(set, set.copies, false)) return -1;
            WriteLogFormat("Dropped the store of %s: it was cut short before it stood", name.c_str());
            return 0;
        }
        Finishing finishing{store, set, false, name, {}};
        if (!finishing.Run()) return -1;
        std::ranges::for_each(finishing.said, Report);
        if (finishing.Waits()) return Keep(set.copies);
        if (!everyFolder) return set.Commit() ? WaitsElsewhere(set, name, *set.Commit()) : 0;
        WriteLogFormat("Finished the store of %s, which was cut short", name.c_str());
        return finishing.said.empty() ? 1 : 0;
    }

    // Removes the temporaries of stored names whose set has no record here.
    bool Sweep(const Folder& folder, const std::vector<platform::HostDirEntry>& entries) {
        HostFileInfo info;
        for (const platform::HostDirEntry& entry : entries) {
            std::string name;
            const std::string id = IdOf(entry.name, &name);
            if (id.empty() || entry.isDirectory || (!folder.Keeps(name) && name != RecordName(id)) ||
                platform::Files().statIn(folder.descriptor, RecordName(id).c_str(), &info) || errno != ENOENT)
                continue;
            if (!Remove(folder, entry.name)) return false;
        }
        return true;
    }
};

// Takes the store's places and settles those this run has not: the sets
// finished; -1 where the test seam stopped it, or (why set, nothing new
// taken) where another program holds one.
int TakeAndSettle(Store* store, std::string* why) {
    const platform::FileSystemBackend& fs = platform::Files();
    Held& held = TheHeld();
    std::vector<Place> takenNow;
    for (const DurableFolder& rule : std::span(store->description.folders, store->description.folderCount)) {
        Folder folder;
        folder.given = rule.folder ? rule.folder : "";
        while (folder.given.size() > 1 && folder.given.back() == '/') folder.given.pop_back();
        if (!folder.given.empty()) Take(&folder, &takenNow);
        if (folder.error == EWOULDBLOCK) {
            for (const Place& place : takenNow) held.Forget(place);
            std::string resolved, where;
            if (fs.resolvePath(folder.given.c_str(), &resolved) && resolved != folder.given)
                where = " (" + resolved + ")";
            *why = "the folder " + Cleaned(folder.given + where) + " is used by another running program";
            return -1;
        }
        const Folder* same = folder.descriptor >= 0 ? store->At(folder.place) : nullptr;
        const size_t at = same ? size_t(same - store->places.data()) : store->places.size();
        store->spellings.emplace(folder.given, at);
        if (!same) store->places.push_back(std::move(folder));
        store->places[at].rules.push_back(&rule);
    }
    return Settling{*store, {}}.Run();
}

// The folder of path ("." for a bare name) and the name in it.
std::pair<std::string, std::string> FolderAndName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// One store of a set, step by step; a step returns false where it failed
// (why_), or the test seam stopped it as a kill would (why_ empty). A file
// alone is written in its folder, opened but not taken, with a temporary
// named after the working directory: the same at every start there, so that
// the next write of the path replaces a leftover.
class SetWriter {
public:
    SetWriter(const DurableStore& store, const DurableFile* files, size_t count, bool alone = false)
        : store_(store), files_(files), count_(count), alone_(alone) {
        if (!alone_) return;
        Folder& folder = store_.places.emplace_back();
        folder.descriptor = platform::Files().openFolder(store_.description.folders[0].folder);
        folder.error = errno;
        store_.spellings = {{folder.given = store_.description.folders[0].folder, 0}};
    }
    ~SetWriter() {
        if (alone_ && store_.places[0].descriptor >= 0) platform::Files().close(store_.places[0].descriptor);
    }

    int Write() {
        if (!alone_ && TakeAndSettle(&store_, &why_) < 0 && why_.empty()) return -1;
        if (why_.empty()) why_ = Check();
        if (!why_.empty()) return Said(-1, why_, why_ + "; nothing was written");
        set_.id = NewId();
        // A set stands once its commit folder holds its record, failed or not.
        const bool ready = WriteSet();
        if (!ready && why_.empty()) return -1;
        return ready || (count_ > 1 && Stood(set_, store_.Most())) ? Finish() : Abandon();
    }

private:
    // Why the set cannot be stored, before anything is written ("" when it
    // can), its files placed in the record's order: the commit folder (the
    // set's place that comes first in the store) first.
    std::string Check() {
        const size_t most = store_.MostFiles();
        if (count_ == 0 || count_ > most)
            return "it names " + std::to_string(count_) + " files, not 1 to " + std::to_string(most);
        const auto placeOf = [&](const DurableFile* file) -> const Folder* {
            const auto spelling = store_.spellings.find(FolderAndName(file->path).first);
            return spelling == store_.spellings.end() ? nullptr : &store_.places[spelling->second];
        };
        for (const DurableFile& file : std::span(files_, count_)) sources_.push_back(&file);
        std::ranges::stable_sort(sources_, std::ranges::less(), placeOf);
        int64_t bytes = 0;
        for (const DurableFile* file : sources_) {
            const Folder* at = placeOf(file);
            const std::string name = FolderAndName(file->path).second, shown = Cleaned(file->path);
            bytes += int64_t(std::min<size_t>(file->size, size_t(store_.Most()) + 1));
            if (file->size > 0 && !file->bytes) return shown + " has no bytes";
            if (bytes > store_.Most()) return "its files hold more bytes than a set of the store holds";
            if (!at || !(alone_ ? !name.empty() && name != "." && name != ".." : at->Keeps(name)))
                return shown + " is not a file the store keeps in its folders";
            if (at->descriptor < 0)
                return shown + " stands in a folder that cannot be used now (" +
                       (at->why.empty() ? std::strerror(at->error) : at->why) + ")";
            // A set that stood comes first: no store writes over its files.
            if (store_.waiting.count({at->place, name}))
                return shown + " waits for an earlier store of it to be finished first";
            for (size_t k = 0; k < set_.files.size(); ++k)
                if (set_.at[k] == at && set_.files[k].name == name) return shown + " is named twice";
            // Only what a rename can replace: nothing, or a regular file that
            // is no mount point, not immutable, not kept from this user by a
            // sticky folder. A set of one records no previous copy.
            const Found previous = ReadCopy(at->descriptor, name, false, count_ > 1 ? store_.Most() : -1);
            if (!previous.why.empty()) return shown + " " + previous.why;
            if (!platform::Files().replaceableIn(at->descriptor, name.c_str()))
                return shown + " cannot be replaced: " + HostReason();
            set_.files.push_back({at->place, CopyOf(file->bytes, file->size), previous.copy, name});
            set_.at.push_back(at);
            if (count_ > 1 && (set_.copies.empty() || set_.copies.back() != at)) set_.copies.push_back(at);
        }
        return "";
    }

    std::string NewId() const {
        static std::random_device device;
        HostFileInfo info;
        const bool here = alone_ && platform::Files().stat(".", &info);
        const uint32_t place[] = {uint32_t(here ? info.device : 0), uint32_t(here ? info.inode : 0)};
        char id[17];
        const uint32_t first = alone_ ? Crc32(place, sizeof place) : uint32_t(device());
        std::snprintf(id, sizeof id, "%08" PRIx32 "%08" PRIx32, first, uint32_t(device()));
        return alone_ ? std::string(id, 8) : id;
    }

    // Writes the new file name; false where it failed or the seam stopped it.
    bool WriteIn(DurableStep step, const Folder& folder, const std::string& name, const void* bytes,
                 size_t size, const char* accessOf) {
        const std::string shown = ShownPath(folder.given, name);
        if (StopsHere(step, shown, folder.descriptor, name, bytes, size)) return false;
        const auto end = platform::Files().writeNewIn(folder.descriptor, name.c_str(), bytes, size, accessOf);
        if (end == platform::DurableWriteStep::Done) return true;
        const char* doing = end == platform::DurableWriteStep::SyncTemporary ? "flushing " : "writing ";
        why_ = doing + Cleaned(shown) + ": " + HostReason();
        return false;
    }

    // The temporaries written and their folders flushed, then the record's
    // copies, the commit folder's last: once it is on the disk, the set
    // stands. A set of one has none: its rename alone is whole.
    bool WriteSet() {
        const platform::FileSystemBackend& fs = platform::Files();
        for (size_t i = 0; i < count_; ++i) {
            const std::string& name = set_.files[i].name;
            if (!WriteIn(DurableStep::WriteTemporary, *set_.at[i], TemporaryName(name, set_.id),
                         sources_[i]->bytes, sources_[i]->size, name.c_str()))
                return false;
        }
        for (const Folder* folder : set_.copies)
            if (!Flush(*folder, &why_) || !why_.empty()) return false;
        const std::string text = RecordText(set_.files), name = RecordName(set_.id);
        const std::string temporary = TemporaryName(name, set_.id);
        for (auto folder = set_.copies.rbegin(); folder != set_.copies.rend(); ++folder) {
            const std::string shown = ShownPath((*folder)->given, name);
            if (!WriteIn(DurableStep::WriteRecord, **folder, temporary, text.data(), text.size(), nullptr) ||
                StopsHere(DurableStep::Rename, shown))
                return false;
            if (!fs.renameIn((*folder)->descriptor, temporary.c_str(), (*folder)->descriptor, name.c_str())) {
                why_ = "renaming " + Cleaned(shown) + " into place: " + HostReason();
                return false;
            }
            if (!Flush(**folder, &why_) || !why_.empty()) return false;
        }
        return true;
    }

    // A store that failed before its set stood: what it wrote goes.
    int Abandon() {
        if (!RemoveRecords(set_, set_.copies, false)) return -1;
        for (size_t i = 0; i < count_; ++i)
            if (!Remove(*set_.at[i], TemporaryName(set_.files[i].name, set_.id))) return -1;
        const std::string others = count_ == 1 ? "it keeps its previous copy"
                                               : "it and the " + std::to_string(count_ - 1) +
                                                     " other files of its set keep their previous copies";
        return Said(-1, why_, Cleaned(files_[0].path) + " was not stored (" + why_ + "); " + others);
    }

    int Finish() {
        Finishing finishing{store_, set_, true, "", {}};
        if (!finishing.Run()) return -1;
        if (finishing.said.empty()) return 0;
        why_ = finishing.said[0].What();
        // A file alone that cannot be renamed has no record to be finished by.
        if (count_ == 1 && finishing.newFiles == 0) return Abandon();
        Keep(set_.copies);
        const std::string path = Cleaned(files_[0].path);
        if (finishing.newFiles == int(count_))
            return Said(kDurableStoredUnsettled, why_,
                        path + " was stored, but " + why_ +
                            ": a power cut before the next start may bring back its previous copy");
        why_ += "; " + std::to_string(finishing.newFiles) + " of its " + std::to_string(count_) +
                " files hold their new copies, and the next start puts the rest in place";
        return Said(kDurableStoredUnsettled, why_, path + " and its set were stored, but not whole: " + why_);
    }

    Store store_;
    const DurableFile* files_;
    size_t count_;
    bool alone_;
    Set set_;                                  // in the record's order, the commit folder's first
    std::vector<const DurableFile*> sources_;  // the bytes of each of its files
    std::string why_;
};

}  // namespace

bool ParseRecord(const std::string& text, std::vector<RecordedFile>* files) {
    files->clear();
    const size_t first = sizeof kThisVersion - 1, end = text.rfind("\nend ") + 1;  // the end line's start
    if (!text.starts_with(kThisVersion) || end < first || text.substr(end) != EndLine(text.substr(0, end)))
        return false;
    std::istringstream lines(text.substr(first, end - first));
    for (std::string line; std::getline(lines, line);) {
        // Six numbers, then the name: the rest of the line, byte for byte.
        RecordedFile f;
        std::istringstream fields(line);
        fields >> f.folder.first >> f.folder.second >> f.fresh.size >> std::hex >> f.fresh.check;
        fields >> std::dec >> f.previous.size >> std::hex >> f.previous.check;
        if (!fields || fields.get() != ' ' || !std::getline(fields, f.name) || f.fresh.size < 0 ||
            f.previous.size < -1)
            return false;
        files->push_back(std::move(f));
    }
    return !files->empty();
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
    const bool paths = files && std::all_of(files, files + count, [](auto& f) { return f.path; });
    if (!store || (store->folderCount > 0 && !store->folders) || (count > 0 && !paths))
        return Said(-1, "no store, or a file without a path", "no store, or a file without a path");
    return SetWriter(*store, files, count).Write();
}

int FinishInterruptedWrites(const DurableStore* store) {
    const Call call("FinishInterruptedWrites");
    if (!store || (store->folderCount > 0 && !store->folders)) return Said(-1, "no store", "no store");
    Store taken(*store);
    std::string why;
    const int finished = TakeAndSettle(&taken, &why);
    if (finished < 0 && !why.empty()) return Said(-1, why, why + "; nothing was settled");
    return std::max(finished, 0);
}

int GetDurableProblemCount() { return int(problems.size()); }

int GetDurableProblem(int index, DurableProblem* out) {
    const PublicCall frame("GetDurableProblem");
    if (!out) return RefuseNull("place for the problem");
    if (index < 0 || size_t(index) >= problems.size())
        return RefuseIndex("problem", index, int(problems.size()));
    const Problem& p = problems[size_t(index)];
    *out = {p.kind, p.folder.c_str(), p.set.c_str(), p.file.c_str(), p.reason.c_str(), p.newFiles, p.files};
    return 0;
}
