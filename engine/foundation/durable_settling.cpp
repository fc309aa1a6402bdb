// The settling of durable sets a kill, a crash or a failed step cut short,
// at start-up and before every store: a set whose commit record is whole is
// finished, any other temporary file of a stored name removed, under the
// rule the writer shares (foundation/durable_rules.h), in folders opened
// once and locked. A record another copy of the program left in a folder
// both share is left to that copy, with the temporaries it counts on. Every
// problem is kept as a report the program words for its user.
#include "foundation/durable_settling.h"

#include "engine/files.h"
#include "engine/log.h"
#include "foundation/commit_record.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace morpotta;

namespace morpotta {

namespace {

// The problems of the calling thread's last FinishInterruptedWrites.
std::vector<SettlingProblem>& Problems() {
    thread_local std::vector<SettlingProblem> problems;
    return problems;
}

const char* KindWords(int kind) {
    switch (kind) {
    case kDurableRecordRefused: return "is refused and removed, nothing of its set renamed";
    case kDurableSetNotFinished: return "is not finished; the next start tries again";
    case kDurableSetDropped: return "can never be finished and is removed; its files are left as they are";
    case kDurableRecordUnreadable: return "cannot be read; it and every temporary file stay for the next start";
    case kDurableFolderNotSettled: return "is not settled";
    default: return "";
    }
}

// What one file of a record holds, as the settling finds it.
enum class Found { Temporary, NewCopy, Neither, CannotTell };

class Settling {
public:
    Settling(const DurableStore& store, OpenedFolders& folders, std::vector<SettlingProblem>* problems)
        : store_(store), folders_(folders), problems_(*problems) {
        platform::Files().resolvePath(".", &here_);
    }

    SettlingOutcome Run();

private:
    enum class Result { Finished, Nothing, Problem, Stopped };

    Result SettleRecord(size_t folder, const std::string& name);
    Result SettleSet(size_t folder, const std::string& name, const std::vector<RecordedFile>& files);
    // Renames the temporaries into place and flushes their folders; the
    // record goes once every file holds its new copy.
    Result PutInPlace(size_t folder, const std::string& name, const std::vector<const SetMember*>& toRename,
                      int newFiles);
    // Whether a record was written by another copy of the program, working
    // in another folder: a folder its set names from there is not the one
    // of that name here.
    bool FromAnotherCopy(const std::string& from, const std::vector<RecordedFile>& files) const;
    enum class There { Same, Other, Gone };
    There FolderThere(const std::string& from, const std::string& path) const;
    // Leaves such a record, and the temporaries of its files, as they are.
    void LeaveToOtherCopy(size_t folder, const std::string& name, const std::string& from,
                          const std::vector<RecordedFile>& files);
    bool ReadRecord(size_t folder, const std::string& name, std::string* text, Result* result);
    Found Look(const SetMember& member, const RecordedFile& recorded, std::string* why);
    // The names of the folder that end in suffix and are a stored name before it, in order.
    // False (errno) when the folder cannot be read.
    bool StoredNamesIn(size_t folder, const char* suffix, std::vector<std::string>* names);
    // False where the test seam ended the run.
    bool RemoveTemporaries();

    Result Report(int kind, size_t folder, const std::string& record, const std::string& file,
                  const std::string& reason, int newFiles = 0);
    // Removes the record and reports why, leaving the files it names as they are.
    Result Drop(int kind, size_t folder, const std::string& record, const std::string& file,
                const std::string& reason, int newFiles = 0);

    const DurableStore& store_;
    OpenedFolders& folders_;
    std::vector<SettlingProblem>& problems_;
    std::string here_;           // the working directory, resolved
    std::set<PlacedName> keep_;  // temporaries of sets the next start finishes
    bool keepEveryTemporary_ = false;  // a record stands that could not be read, or a folder could not be looked at
    std::string unsettled_;
    std::map<PlacedName, std::string> othersNames_;
};

Settling::Result Settling::Report(int kind, size_t folder, const std::string& record, const std::string& file,
                                  const std::string& reason, int newFiles) {
    SettlingProblem problem{kind, Cleaned(folders_.Given(folder)), Cleaned(record), Cleaned(file), Cleaned(reason),
                            newFiles};
    const std::string about = problem.record.empty() ? problem.folder : Cleaned(folders_.Shown(folder, record));
    const std::string line = about + " " + KindWords(kind) + ": " + problem.file + (problem.file.empty() ? "" : " ") +
                             problem.reason;
    WriteLogFormat("%s", line.c_str());
    const bool stays = kind == kDurableSetNotFinished || kind == kDurableRecordUnreadable || kind == kDurableFolderNotSettled;
    if (stays && unsettled_.empty()) unsettled_ = line;
    problems_.push_back(std::move(problem));
    return Result::Problem;
}

Settling::Result Settling::Drop(int kind, size_t folder, const std::string& record, const std::string& file,
                                const std::string& reason, int newFiles) {
    if (StopsHere(DurableStep::RemoveRecord, folders_.Shown(folder, record))) return Result::Stopped;
    platform::Files().removeIn(folders_.Open(folder), record.c_str());
    return Report(kind, folder, record, file, reason, newFiles);
}

// Reads a record whole when it is one the settling may read; otherwise
// settles it as what it is (result set) and gives false.
bool Settling::ReadRecord(size_t folder, const std::string& name, std::string* text, Result* result) {
    const platform::FileSystemBackend& fs = platform::Files();
    platform::HostFileInfo info;
    const int descriptor = fs.openReadIn(folders_.Open(folder), name.c_str(), &info);
    if (descriptor < 0 && errno == ENOENT) {
        *result = Result::Nothing;
        return false;
    }
    std::string refusal;
    if (descriptor < 0 && info.kind == platform::HostFileKind::None) {
        // A passing failure: the record stands, and so does every temporary.
        keepEveryTemporary_ = true;
        *result = Report(kDurableRecordUnreadable, folder, name, "", HostReason());
        return false;
    }
    if (descriptor < 0) refusal = "it " + WhatStands(info.kind);
    else if (info.links != 1) refusal = "it has other names (hard links)";
    else if (info.size > LargestRecord(store_)) refusal = "it is larger than a record of the store can be";
    else {
        text->resize(size_t(info.size));
        const bool read = fs.readAt(descriptor, text->data(), text->size(), 0) == info.size;
        const std::string host = HostReason();
        fs.close(descriptor);
        if (read) return true;
        keepEveryTemporary_ = true;
        *result = Report(kDurableRecordUnreadable, folder, name, "", host);
        return false;
    }
    if (descriptor >= 0) fs.close(descriptor);
    *result = Drop(kDurableRecordRefused, folder, name, "", refusal);
    return false;
}

Found Settling::Look(const SetMember& member, const RecordedFile& recorded, std::string* why) {
    const platform::FileSystemBackend& fs = platform::Files();
    const int folder = folders_.Open(member.folder);
    bool linkedTemporary = false;
    for (const bool temporary : {true, false}) {
        const std::string name = temporary ? member.name + kTemporarySuffix : member.name;
        platform::HostFileInfo info;
        const int descriptor = fs.openReadIn(folder, name.c_str(), &info);
        if (descriptor < 0 && errno != ENOENT && info.kind == platform::HostFileKind::None) {
            *why = "cannot be read (" + HostReason() + ")";
            return Found::CannotTell;
        }
        if (descriptor < 0) continue;
        // A temporary with another name elsewhere is no file the writer
        // made: renamed into place, it would bring that file in.
        const bool taken = (!temporary || info.links == 1) && HoldsRecordedBytes(descriptor, info.size, recorded);
        linkedTemporary |= temporary && info.links != 1;
        fs.close(descriptor);
        if (taken) return temporary ? Found::Temporary : Found::NewCopy;
    }
    *why = linkedTemporary ? "has a temporary with other names (hard links), which is not taken"
                           : "holds neither its new copy nor a whole temporary";
    return Found::Neither;
}

Settling::Result Settling::SettleSet(size_t folder, const std::string& name, const std::vector<RecordedFile>& files) {
    std::vector<std::pair<std::string, int64_t>> named;
    for (const RecordedFile& file : files) named.push_back({file.path, file.size});
    std::vector<SetMember> members;
    std::string file, why;
    switch (CheckSet(store_, folders_, named, &members, &file, &why)) {
    case SetCheck::Ok: break;
    case SetCheck::AgainstRule: return Drop(kDurableRecordRefused, folder, name, file, why);
    case SetCheck::NeverFits: return Drop(kDurableSetDropped, folder, name, file, why);
    case SetCheck::NotNow:
        // Which temporaries are the set's is not known yet: none goes.
        keepEveryTemporary_ = true;
        return Report(kDurableSetNotFinished, folder, name, file, why);
    }
    if (folders_.Place(members[0].folder) != folders_.Place(folder) || members[0].name + kRecordSuffix != name)
        return Drop(kDurableRecordRefused, folder, name, files[0].path, "is its first file, not the one it is named after");

    std::vector<const SetMember*> toRename;
    int newFiles = 0;
    for (size_t i = 0; i < members.size(); ++i) {
        switch (Look(members[i], files[i], &why)) {
        case Found::Temporary: toRename.push_back(&members[i]); break;
        case Found::NewCopy: ++newFiles; break;
        // Not left by a kill (every temporary was on the disk before the
        // record): the files were changed since. Nothing is renamed.
        case Found::Neither: return Drop(kDurableSetDropped, folder, name, members[i].path, why, newFiles);
        case Found::CannotTell:
            for (const SetMember& member : members)
                keep_.insert({folders_.Place(member.folder), member.name + kTemporarySuffix});
            return Report(kDurableSetNotFinished, folder, name, members[i].path, why, newFiles);
        }
    }
    return PutInPlace(folder, name, toRename, newFiles);
}

Settling::Result Settling::PutInPlace(size_t folder, const std::string& name,
                                      const std::vector<const SetMember*>& toRename, int newFiles) {
    const platform::FileSystemBackend& fs = platform::Files();
    std::set<FolderPlace> renamedIn;
    std::vector<size_t> toSync;
    bool lasting = false, passing = false;
    std::string failure, failed;
    for (const SetMember* member : toRename) {
        const int in = folders_.Open(member->folder);
        const std::string temporary = member->name + kTemporarySuffix;
        if (StopsHere(DurableStep::Rename, folders_.Shown(member->folder, member->name))) return Result::Stopped;
        if (renamedIn.insert(folders_.Place(member->folder)).second) toSync.push_back(member->folder);
        if (fs.renameIn(in, temporary.c_str(), in, member->name.c_str())) {
            ++newFiles;
            continue;
        }
        // Something put at the name since the check: the rename never succeeds.
        const bool forGood = errno == EISDIR || errno == ENOTDIR || errno == ENOTEMPTY || errno == EEXIST;
        failure = "cannot be replaced (" + HostReason() + ")";
        failed = member->path;
        (forGood ? lasting : passing) = true;
        if (!forGood) keep_.insert({folders_.Place(member->folder), temporary});
    }
    for (size_t f : toSync) {
        if (StopsHere(DurableStep::SyncFolder, folders_.Given(f))) return Result::Stopped;
        fs.syncFolder(folders_.Open(f));
    }
    if (lasting) return Drop(kDurableSetDropped, folder, name, failed, failure, newFiles);
    if (passing) return Report(kDurableSetNotFinished, folder, name, failed, failure, newFiles);
    if (StopsHere(DurableStep::RemoveRecord, folders_.Shown(folder, name))) return Result::Stopped;
    fs.removeIn(folders_.Open(folder), name.c_str());
    // Every file of the set now holds its new copy.
    WriteLogFormat("Finished storing the %d files of %s, which an earlier store left unfinished", newFiles,
                   Cleaned(folders_.Shown(folder, name)).c_str());
    return Result::Finished;
}

// Where the folder of a recorded path, named from the working directory
// from, leads: to the folder of that name here, to another, or nowhere.
// Looked at, never acted in.
Settling::There Settling::FolderThere(const std::string& from, const std::string& path) const {
    const std::string folder = FolderAndName(path).first;
    if (folder[0] == '/') return There::Same;  // the same folder for every copy
    const platform::FileSystemBackend& fs = platform::Files();
    platform::HostFileInfo theirs, ours;
    if (!fs.stat((from + "/" + folder).c_str(), &theirs)) return There::Gone;
    const bool same = fs.stat(folder.c_str(), &ours) && theirs.device == ours.device && theirs.inode == ours.inode;
    return same ? There::Same : There::Other;
}

bool Settling::FromAnotherCopy(const std::string& from, const std::vector<RecordedFile>& files) const {
    if (from.empty() || from == here_) return false;
    // A folder gone there is no other copy's: the program was moved.
    for (const RecordedFile& file : files)
        if (FolderThere(from, file.path) == There::Other) return true;
    return false;
}

void Settling::LeaveToOtherCopy(size_t folder, const std::string& name, const std::string& from,
                                const std::vector<RecordedFile>& files) {
    // What it counts on in the folders both share; a file of the same name
    // in a folder of this copy's own is this copy's. The file the record is
    // named after too: a set of this copy's that begins with it would
    // write its own record at that name.
    othersNames_[{folders_.Place(folder), name.substr(0, name.size() - std::strlen(kRecordSuffix))}] = from;
    for (const RecordedFile& file : files) {
        SetMember member;
        if (FolderThere(from, file.path) != There::Same || !PlaceFile(store_, file.path, &member).empty() ||
            folders_.Open(member.folder) < 0)
            continue;
        const FolderPlace place = folders_.Place(member.folder);
        keep_.insert({place, member.name + kTemporarySuffix});
        othersNames_[{place, member.name}] = from;
    }
    WriteLogFormat("%s is left as it is: another copy of the program, working in %s, stored its set and finishes it",
                   Cleaned(folders_.Shown(folder, name)).c_str(), Cleaned(from).c_str());
}

Settling::Result Settling::SettleRecord(size_t folder, const std::string& name) {
    std::string text;
    Result result = Result::Nothing;
    if (!ReadRecord(folder, name, &text, &result)) return result;
    if (!IsOurRecord(text)) return Result::Nothing;  // not a record of ours: left alone
    std::string from;
    std::vector<RecordedFile> files;
    const bool whole = ParseRecord(text, &from, &files);
    if (whole && FromAnotherCopy(from, files)) {
        LeaveToOtherCopy(folder, name, from, files);
        return Result::Nothing;
    }
    if (whole) return SettleSet(folder, name, files);
    if (StopsHere(DurableStep::RemoveRecord, folders_.Shown(folder, name))) return Result::Stopped;
    platform::Files().removeIn(folders_.Open(folder), name.c_str());
    WriteLogFormat("Removed %s, the record of a set whose store was cut short: its files keep their previous copies",
                   Cleaned(folders_.Shown(folder, name)).c_str());
    return Result::Nothing;
}

bool Settling::StoredNamesIn(size_t folder, const char* suffix, std::vector<std::string>* names) {
    std::vector<platform::HostDirEntry> entries;
    names->clear();
    if (!platform::Files().listFolder(folders_.Open(folder), &entries)) return false;
    for (const platform::HostDirEntry& e : entries) {
        if (e.isDirectory || !EndsWith(e.name, suffix)) continue;
        if (IsStoredName(store_.folders[folder], e.name.substr(0, e.name.size() - std::strlen(suffix))))
            names->push_back(e.name);
    }
    std::sort(names->begin(), names->end());
    return true;
}

bool Settling::RemoveTemporaries() {
    if (keepEveryTemporary_) return true;
    std::set<PlacedName> seen;
    for (size_t f = 0; f < folders_.Count(); ++f) {
        std::vector<std::string> temporaries;
        if (folders_.Open(f) < 0 || !StoredNamesIn(f, kTemporarySuffix, &temporaries)) continue;
        for (const std::string& temporary : temporaries) {
            const PlacedName placed{folders_.Place(f), temporary};
            if (keep_.count(placed) || !seen.insert(placed).second) continue;
            const std::string shown = folders_.Shown(f, temporary);
            if (StopsHere(DurableStep::RemoveTemporary, shown)) return false;
            if (platform::Files().removeIn(folders_.Open(f), temporary.c_str()))
                WriteLogFormat("Removed %s, left by a write that was cut short", Cleaned(shown).c_str());
        }
    }
    return true;
}

SettlingOutcome Settling::Run() {
    SettlingOutcome outcome;
    std::set<PlacedName> seen;  // records, once each where two folders are one
    for (size_t f = 0; f < folders_.Count(); ++f) {
        if (folders_.Open(f) < 0) {
            // Only a name at which nothing stands is nothing stored yet. A
            // folder that stands but cannot be looked at now (a link to a
            // disk not mounted, a file in its place for the moment, held by
            // another program) may hold a record that counts on
            // temporaries in the others: none goes.
            if (errno == ENOENT) continue;
            keepEveryTemporary_ = true;
            Report(kDurableFolderNotSettled, f, "", "", "it " + folders_.Why(f));
            continue;
        }
        std::vector<std::string> records;
        if (!StoredNamesIn(f, kRecordSuffix, &records)) {
            keepEveryTemporary_ = true;
            Report(kDurableFolderNotSettled, f, "", "", "it cannot be read (" + HostReason() + ")");
            continue;
        }
        for (const std::string& record : records) {
            if (!seen.insert({folders_.Place(f), record}).second) continue;
            const Result result = SettleRecord(f, record);
            outcome.stopped = result == Result::Stopped;
            if (outcome.stopped) return outcome;
            outcome.finished += result == Result::Finished;
        }
    }
    outcome.stopped = !RemoveTemporaries();
    outcome.unsettled = unsettled_;
    outcome.othersNames = othersNames_;
    return outcome;
}

}  // namespace

SettlingOutcome SettleStore(const DurableStore& store, OpenedFolders& folders, std::vector<SettlingProblem>* problems) {
    return Settling(store, folders, problems).Run();
}

}  // namespace morpotta

int FinishInterruptedWrites(const DurableStore* store) {
    Problems().clear();
    if (!store || (store->folderCount > 0 && !store->folders)) return 0;
    OpenedFolders folders(*store);
    folders.LockEvery();
    std::vector<SettlingProblem> problems;
    const int finished = SettleStore(*store, folders, &problems).finished;
    Problems() = std::move(problems);
    return finished;
}

int GetDurableProblemCount() { return int(Problems().size()); }

int GetDurableProblem(int index, DurableProblem* out) {
    if (index < 0 || size_t(index) >= Problems().size() || !out) return -1;
    const SettlingProblem& p = Problems()[size_t(index)];
    *out = {p.kind, p.folder.c_str(), p.record.c_str(), p.file.c_str(), p.reason.c_str(), p.newFiles};
    return 0;
}
