// Durable writes of the files a program keeps (saves, replays), through the
// host's write-flush-rename-flush steps: one file, or a set of files that
// commits through a record (foundation/commit_record.h) under the rule the
// start-up's settling shares (foundation/durable_rules.h). Every write holds
// the locks of the folders it acts in from its first step to its last, so
// that two programs storing in one folder take turns; a set's store first
// settles what an earlier one left (foundation/durable_settling.h).
#include "engine/files.h"

#include "engine/log.h"
#include "foundation/commit_record.h"
#include "foundation/crc32.h"
#include "foundation/durable_rules.h"
#include "foundation/durable_settling.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace morpotta;

namespace {

// The reason of the calling thread's last failed durable write.
std::string& LastError() {
    thread_local std::string text;
    return text;
}

int Fail(const std::string& reason, const std::string& line) {
    LastError() = reason;
    return WriteLogFormat("%s", line.c_str());
}

// Stored, but not yet settled on the disk: said as a failure is.
int Unsettled(const std::string& reason, const std::string& line) {
    Fail(reason, line);
    return kDurableStoredUnsettled;
}

// Why a step of writing a new file failed, with the file shown.
std::string WriteFailure(platform::DurableWriteStep step, const std::string& shown) {
    const std::string host = HostReason();
    switch (step) {
    case platform::DurableWriteStep::CreateTemporary: return "creating " + shown + ": " + host;
    case platform::DurableWriteStep::WriteTemporary: return "writing " + shown + ": " + host;
    case platform::DurableWriteStep::SyncTemporary: return "flushing " + shown + " to the disk: " + host;
    case platform::DurableWriteStep::Done: break;
    }
    return "";
}

// The folder and name a single durable write replaces.
struct Target {
    int folder = -1;
    std::string name;
    std::string shown;  // the path, for messages
    ~Target() {
        if (folder >= 0) platform::Files().close(folder);
    }
};

// Opens the folder of path ("." for a bare name) for the file named in it,
// and takes the folder's lock.
std::string OpenTarget(const std::string& path, Target* target) {
    const auto [folder, name] = FolderAndName(path);
    target->name = name;
    target->shown = Cleaned(path);
    if (target->name.empty() || target->name == "." || target->name == "..") return target->shown + " names no file";
    target->folder = platform::Files().openFolder(folder.c_str());
    if (target->folder < 0) return "opening the folder of " + target->shown + ": " + HostReason();
    const std::string locked = FolderLocked(target->folder);
    return locked.empty() ? "" : "the folder of " + target->shown + " " + locked;
}

// Where a durable write of path puts its file: path itself when nothing or
// a regular file stands there; through a symbolic link, the regular file of
// the same name it leads to (a file moved elsewhere and linked back). Why
// not, otherwise.
std::string TargetOf(const std::string& path, Target* target) {
    const platform::FileSystemBackend& fs = platform::Files();
    std::string why = OpenTarget(path, target);
    if (!why.empty()) return why;
    platform::HostFileInfo info;
    if (!fs.statIn(target->folder, target->name.c_str(), &info))
        return errno == ENOENT ? "" : "looking at " + target->shown + ": " + HostReason();
    if (info.kind == platform::HostFileKind::Regular) return "";
    if (info.kind != platform::HostFileKind::SymbolicLink) return target->shown + " " + WhatStands(info.kind);
    std::string resolved;
    if (!fs.resolvePath(path.c_str(), &resolved)) return target->shown + " is a symbolic link to nothing";
    const std::string name = target->name;
    if (resolved.substr(resolved.find_last_of('/') + 1) != name)
        return target->shown + " is a symbolic link to " + Cleaned(resolved) + ", a file of another name";
    fs.close(target->folder);
    target->folder = -1;
    why = OpenTarget(resolved, target);
    if (!why.empty()) return why;
    if (!fs.statIn(target->folder, name.c_str(), &info) || info.kind != platform::HostFileKind::Regular)
        return target->shown + ", where a symbolic link leads, is no regular file";
    return "";
}

// One store of a set, step by step. A step is Stopped where the test seam
// ends the run as a kill would, Failed with why_ set.
class SetWriter {
public:
    SetWriter(const DurableStore& store, const DurableFile* files, size_t count)
        : store_(store), files_(files), count_(count), folders_(store) {}

    int Write();

private:
    enum class Step { Done, Stopped, Failed };

    bool Check();
    // Whether a file of the set is one that a store of another copy of the
    // program has not finished (why_ then says so).
    bool TakenByOtherCopy(const std::map<PlacedName, std::string>& othersNames);
    Step WriteTemporaries(size_t* written);
    Step WriteRecord();
    Step RenameAll();
    Step SyncFolders(const std::vector<size_t>& which);
    // Gives up before the record is stored: every temporary goes, every
    // file keeps its previous copy.
    int Abandon(size_t written);

    int Folder(size_t i) { return folders_.Open(members_[i].folder); }
    std::string Temporary(size_t i) const { return members_[i].name + kTemporarySuffix; }
    // One folder per place among the members', to flush each once.
    std::vector<size_t> EveryFolder() const;

    const DurableStore& store_;
    const DurableFile* files_;
    size_t count_;
    OpenedFolders folders_;
    std::vector<SetMember> members_;
    std::string recordName_, why_, line_;
};

bool SetWriter::Check() {
    std::vector<std::pair<std::string, int64_t>> named;
    for (size_t i = 0; i < count_; ++i) {
        if (!files_[i].path || (files_[i].size > 0 && !files_[i].bytes)) {
            why_ = "a file without a path or without bytes";
            return false;
        }
        named.push_back({files_[i].path, int64_t(std::min<size_t>(files_[i].size, INT64_MAX))});
    }
    // The rule the next start applies to the record, before anything is written.
    std::string file;
    if (CheckSet(store_, folders_, named, &members_, &file, &why_) == SetCheck::Ok) {
        recordName_ = members_[0].name + kRecordSuffix;
        return true;
    }
    if (!file.empty()) why_ = Cleaned(file) + " " + why_;
    return false;
}

std::vector<size_t> SetWriter::EveryFolder() const {
    std::vector<size_t> distinct;
    std::set<FolderPlace> places;
    for (const SetMember& member : members_)
        if (places.insert(folders_.Place(member.folder)).second) distinct.push_back(member.folder);
    return distinct;
}

SetWriter::Step SetWriter::WriteTemporaries(size_t* written) {
    const platform::FileSystemBackend& fs = platform::Files();
    for (*written = 0; *written < count_; ++*written) {
        const size_t i = *written;
        const std::string shown = folders_.Shown(members_[i].folder, Temporary(i));
        if (StopsHere(DurableStep::WriteTemporary, shown, Folder(i), Temporary(i), files_[i].bytes, files_[i].size))
            return Step::Stopped;
        const auto step =
            fs.writeNewIn(Folder(i), Temporary(i).c_str(), files_[i].bytes, files_[i].size, members_[i].name.c_str());
        if (step == platform::DurableWriteStep::Done) continue;
        why_ = WriteFailure(step, Cleaned(shown));
        return Step::Failed;
    }
    return Step::Done;
}

SetWriter::Step SetWriter::WriteRecord() {
    std::vector<RecordedFile> recorded;
    for (size_t i = 0; i < count_; ++i)
        recorded.push_back({files_[i].path, members_[i].size, Crc32(files_[i].bytes, files_[i].size)});
    std::string here;
    if (!platform::Files().resolvePath(".", &here)) here.clear();
    const std::string text = RecordText(here, recorded);
    const std::string shown = folders_.Shown(members_[0].folder, recordName_);
    if (StopsHere(DurableStep::WriteRecord, shown, Folder(0), recordName_, text.data(), text.size()))
        return Step::Stopped;
    const auto step = platform::Files().writeNewIn(Folder(0), recordName_.c_str(), text.data(), text.size(), nullptr);
    if (step == platform::DurableWriteStep::Done) return Step::Done;
    why_ = WriteFailure(step, Cleaned(shown));
    return Step::Failed;
}

SetWriter::Step SetWriter::RenameAll() {
    Step result = Step::Done;
    for (size_t i = 0; i < count_; ++i) {
        if (StopsHere(DurableStep::Rename, folders_.Shown(members_[i].folder, members_[i].name))) return Step::Stopped;
        if (platform::Files().renameIn(Folder(i), Temporary(i).c_str(), Folder(i), members_[i].name.c_str())) continue;
        const std::string host = HostReason();
        why_ = "renaming " + Cleaned(files_[i].path) + kTemporarySuffix + ": " + host;
        line_ = "Cannot replace " + Cleaned(files_[i].path) + " (" + host + "): the " + std::to_string(count_ - 1) +
                " other files of its set are replaced, and the next start finishes it";
        result = Step::Failed;
    }
    return result;
}

SetWriter::Step SetWriter::SyncFolders(const std::vector<size_t>& which) {
    for (size_t f : which) {
        if (StopsHere(DurableStep::SyncFolder, folders_.Given(f))) return Step::Stopped;
        if (platform::Files().syncFolder(folders_.Open(f))) continue;
        why_ = "flushing the folder " + Cleaned(folders_.Given(f)) + ": " + HostReason();
        return Step::Failed;
    }
    return Step::Done;
}

int SetWriter::Abandon(size_t written) {
    const platform::FileSystemBackend& fs = platform::Files();
    for (size_t k = 0; k < written; ++k) fs.removeIn(Folder(k), Temporary(k).c_str());
    fs.removeIn(Folder(0), recordName_.c_str());
    return Fail(why_, Cleaned(files_[0].path) + " was not stored (" + why_ + "); it and the " +
                          std::to_string(count_ - 1) + " other files of its set keep their previous copies");
}

bool SetWriter::TakenByOtherCopy(const std::map<PlacedName, std::string>& othersNames) {
    for (const SetMember& member : members_) {
        const auto other = othersNames.find({folders_.Place(member.folder), member.name});
        if (other == othersNames.end()) continue;
        why_ = Cleaned(member.path) + " belongs to a set that another copy of the program, working in " +
               Cleaned(other->second) + ", has not finished storing";
        return true;
    }
    return false;
}

int SetWriter::Write() {
    // No other program stores or settles in these folders until this store
    // ends; what an earlier store left is settled before anything of this
    // one is written, so that no set it stored is lost.
    folders_.LockEvery();
    std::vector<SettlingProblem> problems;
    const SettlingOutcome earlier = SettleStore(store_, folders_, &problems);
    if (earlier.stopped) return -1;
    const std::string refused = "A set of " + std::to_string(count_) + " files is refused, nothing of it written: ";
    if (!earlier.unsettled.empty())
        return Fail("an earlier store is not finished: " + earlier.unsettled, refused + "an earlier store is not "
                    "finished (" + earlier.unsettled + "); it is tried again at the next store or start");
    if (!Check() || TakenByOtherCopy(earlier.othersNames)) return Fail(why_, refused + why_);
    size_t written = 0;
    Step step = WriteTemporaries(&written);
    // The temporaries' names on the disk before the record that counts on them.
    if (step == Step::Done) step = SyncFolders(EveryFolder());
    if (step == Step::Done) step = WriteRecord();
    if (step == Step::Done) step = SyncFolders({members_[0].folder});
    if (step != Step::Done) return step == Step::Stopped ? -1 : Abandon(written);

    // Stored: from here on a kill leaves the set for the next start to finish.
    step = RenameAll();
    if (step == Step::Stopped) return -1;
    const std::string renameWhy = why_;
    const Step synced = SyncFolders(EveryFolder());
    if (synced == Step::Stopped) return -1;
    if (step == Step::Failed) return Unsettled(renameWhy, line_);  // the record stays for the next start
    if (synced == Step::Failed)
        return Unsettled(why_, Cleaned(files_[0].path) + " and its set were written, but a folder could not be flushed (" +
                                   why_ + "): the next start checks them");
    if (StopsHere(DurableStep::RemoveRecord, folders_.Shown(members_[0].folder, recordName_))) return -1;
    platform::Files().removeIn(Folder(0), recordName_.c_str());
    return 0;
}

}  // namespace

const char* GetDurableWriteError() { return LastError().c_str(); }

int WriteFileDurably(const char* path, const void* bytes, size_t size) {
    LastError().clear();
    if (!path || !*path || (size > 0 && !bytes)) return Fail("no path or no bytes", "WriteFileDurably: no path or no bytes");
    const platform::FileSystemBackend& fs = platform::Files();
    Target target;
    const std::string refusal = TargetOf(path, &target);
    if (!refusal.empty()) return Fail(refusal, Cleaned(path) + " is kept as it was: " + refusal);
    const std::string temporary = target.name + kTemporarySuffix;
    const platform::DurableWriteStep written =
        fs.writeNewIn(target.folder, temporary.c_str(), bytes, size, target.name.c_str());
    if (written != platform::DurableWriteStep::Done) {
        const std::string why = WriteFailure(written, target.shown + kTemporarySuffix);
        return Fail(why, Cleaned(path) + " is kept as it was: " + why);
    }
    if (!fs.renameIn(target.folder, temporary.c_str(), target.folder, target.name.c_str())) {
        const std::string why = "renaming " + target.shown + kTemporarySuffix + " over " + target.shown + ": " + HostReason();
        fs.removeIn(target.folder, temporary.c_str());
        return Fail(why, Cleaned(path) + " is kept as it was: " + why);
    }
    if (fs.syncFolder(target.folder)) return 0;
    const std::string why = "flushing the folder of " + target.shown + ": " + HostReason();
    return Unsettled(why, Cleaned(path) + " was written, but its folder could not be flushed (" + why +
                              "): a power cut may bring back the previous copy");
}

int FinishInterruptedWrite(const char* path) {
    LastError().clear();
    if (!path || !*path) return Fail("no path", "FinishInterruptedWrite: no path");
    const platform::FileSystemBackend& fs = platform::Files();
    Target target;
    const std::string refusal = TargetOf(path, &target);
    if (!refusal.empty()) return Fail(refusal, "What a write of " + Cleaned(path) + " left was not looked at: " + refusal);
    // Only a file such a write leaves is taken: a folder or a link at that
    // name is none of ours.
    const std::string temporary = target.name + kTemporarySuffix;
    platform::HostFileInfo info;
    if (!fs.statIn(target.folder, temporary.c_str(), &info) || info.kind != platform::HostFileKind::Regular) return 0;
    if (fs.removeIn(target.folder, temporary.c_str())) return 0;
    const std::string why = "removing " + target.shown + kTemporarySuffix + ": " + HostReason();
    return Fail(why, "What a write of " + Cleaned(path) + " left stays: " + why);
}

int WriteFileSetDurably(const DurableStore* store, const DurableFile* files, size_t count) {
    LastError().clear();
    if (!store || (count > 0 && !files)) return Fail("no store or no files", "WriteFileSetDurably: no store or no files");
    if (count == 0) return 0;
    return SetWriter(*store, files, count).Write();
}
