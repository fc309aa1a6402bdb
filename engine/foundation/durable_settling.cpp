#include "foundation/durable_settling.h"

#include "engine/log.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>

namespace morpotta {

namespace {

const char* KindWords(int kind) {
    switch (kind) {
    case kDurableRecordRefused: return "is refused and removed, nothing of it renamed";
    case kDurableSetNotFinished: return "is not finished; it is tried again at the next store or start";
    case kDurableSetDropped: return "can never be finished; its files are left as they are";
    case kDurableRecordUnreadable: return "cannot be read; it and every temporary file stay for the next start";
    case kDurableFolderNotSettled: return "is not settled; it is tried again at the next start";
    case kDurableWriteNotStored: return "was not stored; its files keep their previous copies";
    default: return "";
    }
}

std::string RecordName(const DurableStore& store) { return FolderAndName(store.record).second; }

// One set's files in one folder: what is put in place together.
struct Group {
    size_t folder = 0;
    std::vector<size_t> files;  // indices into the record's files
};

class Settling {
public:
    Settling(const DurableStore& store, DurableFolders& folders, int recordFolder)
        : store_(store), folders_(folders), recordFolder_(recordFolder), recordName_(RecordName(store)) {}

    SettledRecord Run();

private:
    enum class Outcome { Finished, Pending, Dropped, Stopped };

    // The record's text when it is one to act on; otherwise it is settled
    // as what it is and false given.
    bool Read(std::string* text);
    bool Unreadable(const std::string& reason);
    // Why the record's files are not what the store's writes record, "" when they are.
    std::string AgainstRule(std::vector<SetMember>* members) const;
    Outcome SettleGroup(const Group& group);
    // Removes the group's temporaries that still stand.
    void RemoveTemporaries(int folder, const Group& group);
    Outcome Report(int kind, const Group& group, const std::string& file, const std::string& reason, int newFiles);
    void Refuse(const std::string& reason);

    const DurableStore& store_;
    DurableFolders& folders_;
    int recordFolder_;
    std::string recordName_;
    std::vector<RecordedFile> files_;
    std::vector<SetMember> members_;
    SettledRecord result_;
};

void Settling::Refuse(const std::string& reason) {
    if (StopsHere(DurableStep::RemoveRecord, store_.record)) {
        result_.stopped = true;
        return;
    }
    platform::Files().removeIn(recordFolder_, recordName_.c_str());
    ReportDurableProblem({kDurableRecordRefused, "", Cleaned(store_.record), "", reason});
}

bool Settling::Unreadable(const std::string& reason) {
    // A passing failure: the record stands, and so does every temporary.
    result_.readable = false;
    result_.unsettled = Cleaned(store_.record) + " cannot be read (" + reason + ")";
    ReportDurableProblem({kDurableRecordUnreadable, "", Cleaned(store_.record), "", reason});
    return false;
}

bool Settling::Read(std::string* text) {
    const platform::FileSystemBackend& fs = platform::Files();
    platform::HostFileInfo info;
    const int descriptor = fs.openReadIn(recordFolder_, recordName_.c_str(), &info);
    if (descriptor < 0 && errno == ENOENT) return false;
    if (descriptor < 0 && info.kind == platform::HostFileKind::None) return Unreadable(HostReason());
    std::string refusal;
    if (descriptor < 0) refusal = "it " + WhatStands(info.kind);
    else if (info.links != 1) refusal = "it has other names (hard links)";
    else if (info.size > LargestRecord(store_)) refusal = "it is larger than a record of the store can be";
    if (refusal.empty()) {
        text->resize(size_t(info.size));
        const bool read = fs.readAt(descriptor, text->data(), text->size(), 0) == info.size;
        const std::string host = HostReason();
        fs.close(descriptor);
        if (!read) return Unreadable(host);
        if (IsOurRecord(*text)) return true;
        refusal = "it is no record of this program's";
    }
    if (descriptor >= 0) fs.close(descriptor);
    Refuse(refusal);
    return false;
}

std::string Settling::AgainstRule(std::vector<SetMember>* members) const {
    // Each set's lines follow one another, and each set is one a store writes.
    std::vector<std::pair<size_t, size_t>> sets;  // first line, end
    for (size_t i = 0; i < files_.size(); ++i) {
        if (i > 0 && files_[i].set == files_[i - 1].set) continue;
        for (const auto& [first, end] : sets)
            if (files_[first].set == files_[i].set) return "its sets' lines are apart";
        if (!sets.empty()) sets.back().second = i;
        sets.push_back({i, files_.size()});
    }
    if (sets.size() > kMaxRecordedSets) return "it holds more sets than a record of the store can";
    members->clear();
    for (const auto& [first, end] : sets) {
        std::vector<std::string> paths;
        std::vector<int64_t> sizes;
        for (size_t i = first; i < end; ++i) {
            paths.push_back(files_[i].path);
            sizes.push_back(files_[i].fresh.size);
        }
        std::vector<SetMember> placed;
        std::string file;
        const std::string why = PlaceSet(store_, paths, sizes, &placed, &file);
        if (!why.empty()) return Cleaned(file) + (file.empty() ? "" : " ") + why;
        members->insert(members->end(), placed.begin(), placed.end());
    }
    return "";
}

Settling::Outcome Settling::Report(int kind, const Group& group, const std::string& file, const std::string& reason,
                                   int newFiles) {
    const RecordedFile& first = files_[group.files.front()];
    ReportDurableProblem({kind, Cleaned(GivenFolder(store_.folders[group.folder].folder)), Cleaned(first.path),
                          Cleaned(file), reason, newFiles, int(group.files.size())});
    if (kind == kDurableSetNotFinished || kind == kDurableFolderNotSettled) {
        if (result_.unsettled.empty()) result_.unsettled = Cleaned(first.path) + " " + KindWords(kind) + ": " + reason;
        return Outcome::Pending;
    }
    return Outcome::Dropped;
}

void Settling::RemoveTemporaries(int folder, const Group& group) {
    for (size_t i : group.files)
        platform::Files().removeIn(folder, TemporaryName(members_[i].name, files_[i].tag).c_str());
}

Settling::Outcome Settling::SettleGroup(const Group& group) {
    const platform::FileSystemBackend& fs = platform::Files();
    const std::string given = GivenFolder(store_.folders[group.folder].folder);
    const int folder = folders_.Take(given);
    if (folder < 0) {
        if (errno == EWOULDBLOCK) {
            result_.held = true;
            return Outcome::Pending;
        }
        // Nothing at all stands at its name: its files are gone with it.
        if (errno == ENOENT) return Report(kDurableSetDropped, group, "", "its folder " + folders_.Why(given), 0);
        return Report(kDurableFolderNotSettled, group, "", "its folder " + folders_.Why(given), 0);
    }
    std::vector<size_t> toRename;
    int newFiles = 0;
    bool replacedSince = false;
    // The worst that keeps the group from being put in place, with its file.
    int problem = 0;
    std::string problemFile, problemWhy;
    auto note = [&](int kind, const std::string& file, const std::string& why) {
        if (problem == kDurableSetDropped || problem == kind) return;
        problem = kind;
        problemFile = file;
        problemWhy = why;
    };
    for (size_t i : group.files) {
        const RecordedFile& file = files_[i];
        FileCopy now, temporary;
        std::string why;
        bool lasting = false;
        if (!ReadCopy(folder, members_[i].name, false, &now, &why, &lasting)) {
            note(lasting ? kDurableSetDropped : kDurableSetNotFinished, file.path, why);
        } else if (now == file.fresh) {
            ++newFiles;
        } else if (now != file.previous) {
            replacedSince = true;
        } else if (ReadCopy(folder, TemporaryName(members_[i].name, file.tag), true, &temporary, &why, &lasting) &&
                   temporary == file.fresh) {
            toRename.push_back(i);
        } else if (why.empty() || lasting) {
            note(kDurableSetDropped, file.path, "holds neither its new copy nor a whole temporary");
        } else {
            note(kDurableSetNotFinished, file.path, why);
        }
    }
    // Another write stored over the set here since: its files are the ones that count.
    if (replacedSince) {
        RemoveTemporaries(folder, group);
        WriteLogFormat("%s: files of its set in %s were stored again since; that store stands there",
                       Cleaned(files_[group.files.front()].path).c_str(), Cleaned(given).c_str());
        return Outcome::Dropped;
    }
    if (problem == kDurableSetDropped) RemoveTemporaries(folder, group);
    if (problem) return Report(problem, group, problemFile, problemWhy, newFiles);
    std::string failed, reason;
    bool lastingFailure = false;
    for (size_t i : toRename) {
        if (StopsHere(DurableStep::Rename, files_[i].path)) return Outcome::Stopped;
        if (fs.renameIn(folder, TemporaryName(members_[i].name, files_[i].tag).c_str(), folder,
                        members_[i].name.c_str())) {
            ++newFiles;
            continue;
        }
        lastingFailure |= Lasting(errno);
        failed = files_[i].path;
        reason = "cannot be replaced (" + HostReason() + ")";
    }
    if (!toRename.empty()) {
        if (StopsHere(DurableStep::SyncFolder, given)) return Outcome::Stopped;
        fs.syncFolder(folder);
    }
    // What stays of the group's temporaries once nothing more is to be renamed.
    if (failed.empty() || lastingFailure) RemoveTemporaries(folder, group);
    if (!failed.empty())
        return Report(lastingFailure ? kDurableSetDropped : kDurableSetNotFinished, group, failed, reason, newFiles);
    return Outcome::Finished;
}

SettledRecord Settling::Run() {
    std::string text;
    if (!Read(&text)) return result_;
    const RecordRead read = ParseRecord(text, &files_);
    if (read == RecordRead::Foreign) {
        Refuse("a line of it is none this program writes");
        return result_;
    }
    if (read == RecordRead::CutShort) {
        // Cut short before its end: its set was never stored.
        if (StopsHere(DurableStep::RemoveRecord, store_.record)) return result_.stopped = true, result_;
        platform::Files().removeIn(recordFolder_, recordName_.c_str());
        WriteLogFormat("Removed %s, the record of a store that was cut short: its files keep their previous copies",
                       Cleaned(store_.record).c_str());
        return result_;
    }
    const std::string refusal = AgainstRule(&members_);
    if (!refusal.empty()) {
        Refuse(refusal);
        return result_;
    }
    std::vector<Group> groups;
    for (size_t i = 0; i < files_.size(); ++i) {
        const bool sameGroup = !groups.empty() && files_[groups.back().files.back()].set == files_[i].set &&
                               groups.back().folder == members_[i].folder;
        if (!sameGroup) groups.push_back({members_[i].folder, {}});
        groups.back().files.push_back(i);
    }
    std::set<uint32_t> renamedSets, pendingSets;
    for (const Group& group : groups) {
        const Outcome outcome = SettleGroup(group);
        if (outcome == Outcome::Stopped) return result_.stopped = true, result_;
        if (outcome == Outcome::Finished) renamedSets.insert(files_[group.files.front()].set);
        if (outcome != Outcome::Pending) continue;
        pendingSets.insert(files_[group.files.front()].set);
        for (size_t i : group.files) result_.pending.push_back(files_[i]);
    }
    for (uint32_t set : renamedSets) result_.finished += !pendingSets.count(set);
    if (result_.finished > 0) WriteLogFormat("Finished %d stores that an earlier run left unfinished", result_.finished);
    if (result_.pending.size() == files_.size()) return result_;
    const std::string why = WriteRecord(store_, recordFolder_, result_.pending, &result_.stopped);
    if (!why.empty() && result_.unsettled.empty()) result_.unsettled = why;
    return result_;
}

}  // namespace

std::vector<SettlingProblem>& DurableProblems() {
    thread_local std::vector<SettlingProblem> problems;
    return problems;
}

void ReportDurableProblem(SettlingProblem problem) {
    const std::string about = problem.record.empty() ? problem.folder : problem.record;
    WriteLogFormat("%s %s: %s%s%s", about.c_str(), KindWords(problem.kind), problem.file.c_str(),
                   problem.file.empty() ? "" : " ", problem.reason.c_str());
    DurableProblems().push_back(std::move(problem));
}

SettledRecord SettleRecord(const DurableStore& store, DurableFolders& folders, int recordFolder) {
    return Settling(store, folders, recordFolder).Run();
}

std::string WriteRecord(const DurableStore& store, int recordFolder, const std::vector<RecordedFile>& files,
                        bool* stopped) {
    const platform::FileSystemBackend& fs = platform::Files();
    const std::string name = RecordName(store), temporary = name + kTemporarySuffix;
    if (files.empty()) {
        *stopped = StopsHere(DurableStep::RemoveRecord, store.record);
        if (!*stopped) fs.removeIn(recordFolder, name.c_str());
        return "";
    }
    const std::string text = RecordText(files);
    if ((*stopped = StopsHere(DurableStep::WriteRecord, store.record, recordFolder, temporary, text.data(), text.size())))
        return "";
    // The record tells what the program stored: it is the program's alone.
    const platform::DurableWriteStep step = fs.writeNewIn(recordFolder, temporary.c_str(), text.data(), text.size(), nullptr);
    if (step != platform::DurableWriteStep::Done) return "writing " + Cleaned(store.record) + ": " + HostReason();
    if ((*stopped = StopsHere(DurableStep::Rename, store.record))) return "";
    if (!fs.renameIn(recordFolder, temporary.c_str(), recordFolder, name.c_str())) {
        const std::string why = "renaming " + Cleaned(store.record) + kTemporarySuffix + ": " + HostReason();
        fs.removeIn(recordFolder, temporary.c_str());
        return why;
    }
    if ((*stopped = StopsHere(DurableStep::SyncFolder, FolderAndName(store.record).first))) return "";
    return fs.syncFolder(recordFolder) ? "" : "flushing the folder of " + Cleaned(store.record) + ": " + HostReason();
}

bool SweepTemporaries(const DurableStore& store, DurableFolders& folders, int recordFolder,
                      const std::vector<RecordedFile>& pending) {
    const platform::FileSystemBackend& fs = platform::Files();
    const std::string tag = OwnTag(recordFolder);
    std::set<std::pair<FolderPlace, std::string>> counted;
    for (const RecordedFile& file : pending) {
        const auto [folder, name] = FolderAndName(file.path);
        const int descriptor = folders.Take(folder);
        if (descriptor >= 0) counted.insert({folders.Place(descriptor), TemporaryName(name, file.tag)});
    }
    std::vector<std::pair<int, std::string>> leftovers = {{recordFolder, RecordName(store) + kTemporarySuffix}};
    for (size_t f = 0; f < store.folderCount; ++f) {
        const std::string given = GivenFolder(store.folders[f].folder);
        const int descriptor = folders.Take(given);
        std::vector<platform::HostDirEntry> entries;
        if (descriptor < 0 || !fs.listFolder(descriptor, &entries)) continue;
        for (const platform::HostDirEntry& entry : entries) {
            const std::string name = NameOfTemporary(entry.name, tag);
            if (!entry.isDirectory && !name.empty() && IsStoredName(store.folders[f], name) &&
                !counted.count({folders.Place(descriptor), entry.name}))
                leftovers.push_back({descriptor, entry.name});
        }
    }
    std::set<std::pair<FolderPlace, std::string>> removed;
    for (const auto& [descriptor, name] : leftovers) {
        platform::HostFileInfo info;
        if (!fs.statIn(descriptor, name.c_str(), &info) || !removed.insert({folders.Place(descriptor), name}).second)
            continue;
        if (StopsHere(DurableStep::RemoveTemporary, name)) return false;
        if (fs.removeIn(descriptor, name.c_str()))
            WriteLogFormat("Removed %s, left by a write that was cut short", Cleaned(name).c_str());
    }
    return true;
}

}  // namespace morpotta
