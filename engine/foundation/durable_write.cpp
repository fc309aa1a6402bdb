// Durable writes of the files a program keeps (saves, replays), through the
// host's write-flush-rename-flush steps: one file, or a set of files that
// commits through the store's record (foundation/durable_record.h) under the
// rule its settling shares (foundation/durable_rules.h). A write locks the
// folders it acts in, without waiting: one held by another program keeps
// the write for later (foundation/durable_deferred.cpp). A set first
// settles what an earlier store left (foundation/durable_settling.h).
#include "foundation/durable_write.h"

#include "engine/log.h"
#include "foundation/durable_record.h"
#include "foundation/durable_rules.h"
#include "foundation/durable_settling.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace morpotta {

namespace {

// The reason of the calling thread's last durable write.
std::string& LastError() {
    thread_local std::string text;
    return text;
}

// Logs line and keeps reason as the thread's last error.
int Said(int result, const std::string& reason, const std::string& line) {
    LastError() = reason;
    WriteLogFormat("%s", line.c_str());
    return result;
}

int Fail(const std::string& reason, const std::string& line) { return Said(-1, reason, line); }

int Deferred(const std::string& shown, const std::string& folder) {
    return Said(kDurableDeferred, "the folder " + Cleaned(folder) + " is held by another program storing there",
                Cleaned(shown) + " is kept to be stored once " + Cleaned(folder) + " is free: another program is "
                "storing there");
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

// One store of a set, step by step. A step is Stopped where the test seam
// ends the run as a kill would, Failed with why_ set.
class SetWriter {
public:
    SetWriter(const DurableStore& store, const std::vector<FileToStore>& files) : store_(store), files_(files) {}

    int Write();

private:
    enum class Step { Done, Stopped, Failed };

    // Places the set under the rule and takes its folders: "" or why the
    // set is refused; held_ when a folder is another program's now.
    std::string Take();
    // Takes out of the pending sets those this set stores over: its files
    // stand once it is stored, and their temporaries go (RemoveSuperseded).
    bool DropSuperseded();
    void RemoveSuperseded();
    Step WriteTemporaries(size_t* written);
    Step ReadPrevious();
    Step SyncFolders();
    Step Commit();
    // Renames every temporary it can; the last failure in why_. False where
    // the test seam ended the run.
    bool RenameAll();
    int Abandon(size_t written);
    int Finish();

    int Folder(size_t i) const { return descriptors_[i]; }
    std::string Temporary(size_t i) const { return TemporaryName(members_[i].name, tag_); }
    std::string Refused(const std::string& why) const {
        return "A set of " + std::to_string(files_.size()) + " files is refused, nothing of it written: " + why;
    }

    const DurableStore& store_;
    const std::vector<FileToStore>& files_;
    DurableFolders folders_;
    int recordFolder_ = -1;
    std::string tag_, heldFolder_, why_;
    bool held_ = false;
    std::vector<SetMember> members_;
    std::vector<int> descriptors_;
    std::vector<RecordedFile> pending_, superseded_, recorded_;
    std::vector<std::string> failed_;
    bool lastingFailure_ = false;
};

std::string SetWriter::Take() {
    std::vector<std::string> paths;
    std::vector<int64_t> sizes;
    for (const FileToStore& file : files_) {
        if (file.size > 0 && !file.bytes) return "a file without bytes";
        paths.push_back(file.path);
        sizes.push_back(int64_t(std::min<size_t>(file.size, INT64_MAX)));
    }
    std::string file;
    std::string why = PlaceSet(store_, paths, sizes, &members_, &file);
    if (!why.empty()) return Cleaned(file) + (file.empty() ? "" : " ") + why;
    std::vector<std::string> folders = {FolderAndName(store_.record).first};
    for (const SetMember& member : members_) folders.push_back(GivenFolder(store_.folders[member.folder].folder));
    for (size_t i = 0; i < folders.size(); ++i) {
        const int descriptor = folders_.Take(folders[i]);
        if (descriptor < 0 && errno == EWOULDBLOCK) {
            held_ = true;
            heldFolder_ = folders[i];
            return "";
        }
        const std::string shown = i == 0 ? Cleaned(store_.record) : Cleaned(members_[i - 1].path);
        if (descriptor < 0) return shown + " stands in a folder that " + folders_.Why(folders[i]);
        if (i == 0) recordFolder_ = descriptor;
        else descriptors_.push_back(descriptor);
    }
    for (size_t i = 0; i < members_.size(); ++i) {
        platform::HostFileInfo info;
        if (platform::Files().statIn(Folder(i), members_[i].name.c_str(), &info) &&
            info.kind != platform::HostFileKind::Regular)
            return Cleaned(members_[i].path) + " " + WhatStands(info.kind);
    }
    tag_ = OwnTag(recordFolder_);
    return "";
}

bool SetWriter::DropSuperseded() {
    std::set<std::pair<FolderPlace, std::string>> ours;
    for (size_t i = 0; i < members_.size(); ++i) ours.insert({folders_.Place(Folder(i)), members_[i].name});
    std::set<std::pair<uint32_t, std::string>> groups;  // (set, folder) of pending files this set stores over
    for (const RecordedFile& file : pending_) {
        const auto [folder, name] = FolderAndName(file.path);
        const int descriptor = folders_.Take(folder);
        if (descriptor >= 0 && ours.count({folders_.Place(descriptor), name})) groups.insert({file.set, folder});
    }
    std::vector<RecordedFile> kept;
    for (RecordedFile& file : pending_)
        (groups.count({file.set, FolderAndName(file.path).first}) ? superseded_ : kept).push_back(std::move(file));
    pending_ = std::move(kept);
    std::set<uint32_t> sets;
    for (const RecordedFile& file : pending_) sets.insert(file.set);
    return sets.size() < kMaxRecordedSets;
}

void SetWriter::RemoveSuperseded() {
    std::set<std::pair<FolderPlace, std::string>> ours;  // a temporary of this set may have the same name
    for (size_t i = 0; i < members_.size(); ++i) ours.insert({folders_.Place(Folder(i)), Temporary(i)});
    for (const RecordedFile& file : superseded_) {
        const auto [folder, name] = FolderAndName(file.path);
        const int descriptor = folders_.Take(folder);
        const std::string temporary = TemporaryName(name, file.tag);
        if (!ours.count({folders_.Place(descriptor), temporary}))
            platform::Files().removeIn(descriptor, temporary.c_str());
    }
}

SetWriter::Step SetWriter::WriteTemporaries(size_t* written) {
    const platform::FileSystemBackend& fs = platform::Files();
    for (*written = 0; *written < files_.size(); ++*written) {
        const size_t i = *written;
        const std::string shown = ShownPath(FolderAndName(members_[i].path).first, Temporary(i));
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

SetWriter::Step SetWriter::ReadPrevious() {
    for (size_t i = 0; i < files_.size(); ++i) {
        RecordedFile file{0, tag_, CopyOf(files_[i].bytes, files_[i].size), {}, files_[i].path};
        for (const RecordedFile& other : pending_) file.set = std::max(file.set, other.set + 1);
        std::string why;
        bool lasting = false;
        if (!ReadCopy(Folder(i), members_[i].name, false, &file.previous, &why, &lasting)) {
            why_ = Cleaned(files_[i].path) + " " + why;
            return Step::Failed;
        }
        recorded_.push_back(std::move(file));
    }
    return Step::Done;
}

SetWriter::Step SetWriter::SyncFolders() {
    std::set<FolderPlace> synced;
    for (size_t i = 0; i < members_.size(); ++i) {
        if (!synced.insert(folders_.Place(Folder(i))).second) continue;
        const std::string folder = FolderAndName(members_[i].path).first;
        if (StopsHere(DurableStep::SyncFolder, folder)) return Step::Stopped;
        if (platform::Files().syncFolder(Folder(i))) continue;
        why_ = "flushing the folder " + Cleaned(folder) + ": " + HostReason();
        return Step::Failed;
    }
    return Step::Done;
}

SetWriter::Step SetWriter::Commit() {
    std::vector<RecordedFile> record = pending_;
    if (files_.size() > 1) record.insert(record.end(), recorded_.begin(), recorded_.end());
    else if (superseded_.empty()) return Step::Done;  // a set of one needs no record, nor changes one
    bool stopped = false;
    why_ = WriteRecord(store_, recordFolder_, record, &stopped);
    if (stopped) return Step::Stopped;
    return why_.empty() ? Step::Done : Step::Failed;
}

bool SetWriter::RenameAll() {
    for (size_t i = 0; i < files_.size(); ++i) {
        if (StopsHere(DurableStep::Rename, members_[i].path)) return false;
        if (platform::Files().renameIn(Folder(i), Temporary(i).c_str(), Folder(i), members_[i].name.c_str())) continue;
        lastingFailure_ |= Lasting(errno);
        why_ = "renaming " + Cleaned(members_[i].path) + " into place: " + HostReason();
        failed_.push_back(members_[i].path);
    }
    return true;
}

int SetWriter::Abandon(size_t written) {
    for (size_t k = 0; k < written; ++k) platform::Files().removeIn(Folder(k), Temporary(k).c_str());
    return Fail(why_, Cleaned(files_[0].path) + " was not stored (" + why_ + "); it and the " +
                          std::to_string(files_.size() - 1) + " other files of its set keep their previous copies");
}

int SetWriter::Finish() {
    const std::string renameWhy = why_;
    const Step synced = SyncFolders();
    if (synced == Step::Stopped) return -1;
    const std::string syncWhy = synced == Step::Failed ? why_ : "";
    if (!failed_.empty() && files_.size() == 1) {
        why_ = renameWhy;
        return Abandon(1);
    }
    // What can never be renamed keeps its previous copy, and the record lets
    // the set go; what failed for now stays recorded for the next settling.
    std::vector<RecordedFile> record = pending_;
    if (!failed_.empty() && !lastingFailure_) record.insert(record.end(), recorded_.begin(), recorded_.end());
    for (size_t i = 0; lastingFailure_ && i < files_.size(); ++i)
        if (std::count(failed_.begin(), failed_.end(), members_[i].path))
            platform::Files().removeIn(Folder(i), Temporary(i).c_str());
    bool stopped = false;
    const std::string recordWhy = files_.size() > 1 ? WriteRecord(store_, recordFolder_, record, &stopped) : "";
    if (stopped) return -1;
    if (!recordWhy.empty()) WriteLogFormat("The record of %s stays: %s", Cleaned(files_[0].path).c_str(), recordWhy.c_str());
    if (failed_.empty() && syncWhy.empty()) return 0;
    if (failed_.empty())
        return Said(kDurableStoredUnsettled, syncWhy, Cleaned(files_[0].path) + " and its set were stored, but " +
                    syncWhy + ": a power cut may bring back their previous copies");
    const std::string others = std::to_string(files_.size() - failed_.size()) + " of its " +
                               std::to_string(files_.size()) + " files hold their new copies";
    const std::string after = lastingFailure_ ? Cleaned(failed_.back()) + " keeps its previous copy for good, " + others
                                              : others + "; the next store or start puts the rest in place";
    return Said(kDurableStoredUnsettled, renameWhy + "; " + after,
                Cleaned(files_[0].path) + " and its set were stored, but not whole (" + renameWhy + "): " + after);
}

int SetWriter::Write() {
    std::string why = Take();
    if (held_) return Deferred(files_[0].path, heldFolder_);
    if (!why.empty()) return Fail(why, Refused(why));
    // What an earlier store left is settled first, so that no set it stored is lost.
    const SettledRecord earlier = SettleRecord(store_, folders_, recordFolder_);
    if (earlier.stopped) return -1;
    if (earlier.held) SettleAgainLater(store_);
    if (!earlier.readable) return Fail(earlier.unsettled, Refused(earlier.unsettled));
    pending_ = earlier.pending;
    if (!DropSuperseded())
        return Fail("too many earlier stores are not finished", Refused("too many earlier stores are not finished"));
    size_t written = 0;
    Step step = WriteTemporaries(&written);
    if (step == Step::Done) step = ReadPrevious();
    // The temporaries' names on the disk before the record that counts on them.
    if (step == Step::Done && files_.size() > 1) step = SyncFolders();
    if (step == Step::Done) step = Commit();
    if (step == Step::Stopped) return -1;
    if (step == Step::Failed) return Abandon(written);
    // Stored: from here on a kill leaves the set for the next settling to finish.
    RemoveSuperseded();
    if (!RenameAll()) return -1;
    return Finish();
}

// The folder and name a single durable write replaces.
struct Target {
    DurableFolders folders;
    int folder = -1;
    std::string folderPath, name, shown;
};

// Where a durable write of path puts its file: path itself when nothing or
// a regular file stands there; through a symbolic link, the regular file of
// the same name it leads to (a file moved elsewhere and linked back). Why
// not, otherwise; held set when the folder is another program's now.
std::string TargetOf(const std::string& path, Target* target, bool* held) {
    const platform::FileSystemBackend& fs = platform::Files();
    std::tie(target->folderPath, target->name) = FolderAndName(path);
    target->shown = Cleaned(path);
    if (target->name.empty() || target->name == "." || target->name == "..") return target->shown + " names no file";
    platform::HostFileInfo info;
    const int first = fs.openFolder(target->folderPath.c_str());
    const bool linked = first >= 0 && fs.statIn(first, target->name.c_str(), &info) &&
                        info.kind == platform::HostFileKind::SymbolicLink;
    if (first >= 0) fs.close(first);
    if (linked) {
        std::string resolved;
        if (!fs.resolvePath(path.c_str(), &resolved)) return target->shown + " is a symbolic link to nothing";
        if (FolderAndName(resolved).second != target->name)
            return target->shown + " is a symbolic link to " + Cleaned(resolved) + ", a file of another name";
        target->folderPath = FolderAndName(resolved).first;
    }
    target->folder = target->folders.Take(target->folderPath);
    *held = target->folder < 0 && errno == EWOULDBLOCK;
    if (target->folder < 0) return "the folder of " + target->shown + " " + target->folders.Why(target->folderPath);
    if (!fs.statIn(target->folder, target->name.c_str(), &info))
        return errno == ENOENT ? "" : "looking at " + target->shown + ": " + HostReason();
    if (info.kind == platform::HostFileKind::Regular) return "";
    return target->shown + (linked ? ", where a symbolic link leads, " : " ") + WhatStands(info.kind);
}

}  // namespace

int DurableResult(int result, const std::string& reason) {
    LastError() = reason;
    return result;
}

std::mutex& DurableMutex() {
    static std::mutex mutex;
    return mutex;
}

int StoreSetNow(const DurableStore& store, const std::vector<FileToStore>& files) {
    LastError().clear();
    return SetWriter(store, files).Write();
}

int StoreFileNow(const FileToStore& file) {
    LastError().clear();
    const platform::FileSystemBackend& fs = platform::Files();
    Target target;
    bool held = false;
    const std::string refusal = TargetOf(file.path, &target, &held);
    if (held) return Deferred(file.path, target.folderPath);
    if (!refusal.empty()) return Fail(refusal, target.shown + " is kept as it was: " + refusal);
    const std::string temporary = TemporaryName(target.name, WorkingTag());
    const std::string shownTemporary = ShownPath(target.folderPath, temporary);
    const platform::DurableWriteStep written =
        fs.writeNewIn(target.folder, temporary.c_str(), file.bytes, file.size, target.name.c_str());
    if (written != platform::DurableWriteStep::Done) {
        const std::string why = WriteFailure(written, Cleaned(shownTemporary));
        return Fail(why, target.shown + " is kept as it was: " + why);
    }
    if (!fs.renameIn(target.folder, temporary.c_str(), target.folder, target.name.c_str())) {
        const std::string why = "renaming " + Cleaned(shownTemporary) + " over " + target.shown + ": " + HostReason();
        fs.removeIn(target.folder, temporary.c_str());
        return Fail(why, target.shown + " is kept as it was: " + why);
    }
    if (fs.syncFolder(target.folder)) return 0;
    const std::string why = "flushing the folder of " + target.shown + ": " + HostReason();
    return Said(kDurableStoredUnsettled, why, target.shown + " was written, but its folder could not be flushed (" +
                why + "): a power cut may bring back the previous copy");
}

}  // namespace morpotta

using namespace morpotta;

const char* GetDurableWriteError() { return LastError().c_str(); }

int WriteFileDurably(const char* path, const void* bytes, size_t size) {
    if (!path || !*path || (size > 0 && !bytes))
        return DurableResult(-1, "no path or no bytes"), WriteLogText("WriteFileDurably: no path or no bytes");
    const std::lock_guard<std::mutex> lock(DurableMutex());
    const std::vector<FileToStore> files = {{path, bytes, size}};
    TakeOutOfKeptWrites(files);
    const int result = StoreFileNow(files[0]);
    if (result == kDurableDeferred) KeepWrite(nullptr, files);
    return result;
}

int WriteFileSetDurably(const DurableStore* store, const DurableFile* files, size_t count) {
    if (!store || (count > 0 && !files)) {
        DurableResult(-1, "no store or no files");
        return WriteLogText("WriteFileSetDurably: no store or no files");
    }
    if (count == 0) return DurableResult(0, "");
    std::vector<FileToStore> set;
    for (size_t i = 0; i < count; ++i) {
        if (!files[i].path) {
            DurableResult(-1, "a file without a path");
            return WriteLogText("WriteFileSetDurably: a file without a path");
        }
        set.push_back({files[i].path, files[i].bytes, files[i].size});
    }
    const std::lock_guard<std::mutex> lock(DurableMutex());
    DurableProblems().clear();
    TakeOutOfKeptWrites(set);
    const int result = StoreSetNow(*store, set);
    if (result == kDurableDeferred) KeepWrite(store, set);
    return result;
}

int FinishInterruptedWrite(const char* path) {
    if (!path || !*path) return DurableResult(-1, "no path"), WriteLogText("FinishInterruptedWrite: no path");
    const std::lock_guard<std::mutex> lock(DurableMutex());
    LastError().clear();
    Target target;
    bool held = false;
    const std::string refusal = TargetOf(path, &target, &held);
    // A held folder's owner is writing there: the next write of path replaces what is left.
    if (held) return 0;
    if (!refusal.empty()) return Fail(refusal, "What a write of " + target.shown + " left was not looked at: " + refusal);
    // Only a file such a write leaves is taken: a folder or a link at that
    // name is none of ours.
    const std::string temporary = TemporaryName(target.name, WorkingTag());
    platform::HostFileInfo info;
    const platform::FileSystemBackend& fs = platform::Files();
    if (!fs.statIn(target.folder, temporary.c_str(), &info) || info.kind != platform::HostFileKind::Regular) return 0;
    if (fs.removeIn(target.folder, temporary.c_str())) return 0;
    const std::string why = "removing " + Cleaned(ShownPath(target.folderPath, temporary)) + ": " + HostReason();
    return Fail(why, "What a write of " + target.shown + " left stays: " + why);
}
