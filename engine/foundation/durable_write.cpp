// Durable writes (engine/files.h): a set through the record its copies
// make (foundation/durable.h), a file alone through its rename, and the
// settling a program's start-up asks for.
#include "engine/log.h"
#include "foundation/crc32.h"
#include "foundation/durable.h"
#include "platform/files.h"
#include "platform/lasting_state.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>

namespace morpotta::durable {

namespace {

using platform::DurableWriteStep;
using platform::HostFileInfo;
using platform::HostFileKind;

// One durable call of the process at a time.
std::mutex& Mutex() { return platform::LastingState<std::mutex>(); }

// The reason of the calling thread's last durable write.
std::string& LastError() {
    thread_local std::string text;
    return text;
}

// Keeps the reason as the thread's last error, and logs the line naming the
// public call: "refused" with -1, the previous copies kept.
int Said(const char* call, int result, const std::string& reason, const std::string& line) {
    LastError() = reason;
    WriteLogFormat("%s%s %s", call, result < 0 ? " refused:" : ":", line.c_str());
    return result;
}

// A public call: one at a time, starting with no error and no problem.
struct Call {
    Call() { LastError().clear(), Problems().clear(); }
    std::lock_guard<std::mutex> lock{Mutex()};
};

// Writes name in folder as writeNewIn does: "" or why not.
std::string WriteNew(int folder, const std::string& name, const std::string& shown, const void* bytes, size_t size,
                     const char* accessOf) {
    const DurableWriteStep step = platform::Files().writeNewIn(folder, name.c_str(), bytes, size, accessOf);
    if (step == DurableWriteStep::Done) return "";
    return (step == DurableWriteStep::SyncTemporary ? "flushing " : "writing ") + Cleaned(shown) + ": " + HostReason();
}

// The folder of path ("." for a bare name) and the name in it.
std::pair<std::string, std::string> FolderAndName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// A file of a set, placed in one of the store's folders.
struct Member {
    const DurableFile* file;
    const Folder* folder;
    std::string name, shown;
    Copy previous;
};

// One store of a set, step by step; a step returns false where it failed
// (why_) or the test seam stopped it as a kill would (stopped_).
class SetWriter {
public:
    // A file alone is written in its folder, opened but not taken, with a
    // temporary named after the working directory: the same at every start
    // there, so the next write of the path replaces a leftover.
    SetWriter(const DurableStore& store, const DurableFile* files, size_t count, bool alone = false)
        : store_(store), files_(files), count_(count), alone_(alone) {}
    ~SetWriter() {
        if (alone_ && !folders_.list.empty() && folders_.list[0].descriptor >= 0)
            platform::Files().close(folders_.list[0].descriptor);
    }
    int Write();

private:
    std::string Place();
    bool WriteTemporaries();
    bool SyncFolders();
    bool WriteCopies();
    int Abandon();
    int Finish();
    int Said(int result, const std::string& reason, const std::string& line) {
        return durable::Said(alone_ ? "WriteFileDurably" : "WriteFileSetDurably", result, reason, line);
    }
    bool Stops(DurableStep step, const std::string& shown, int folder = -1, const std::string& name = "",
               const void* bytes = nullptr, size_t size = 0) {
        return stopped_ = StopsHere(step, shown, folder, name, bytes, size);
    }

    const DurableStore& store_;
    const DurableFile* files_;
    size_t count_;
    bool alone_;
    Folders folders_;
    std::vector<Member> members_;
    std::vector<const Folder*> places_;  // each folder once, the commit folder last
    std::string id_, why_;
    size_t written_ = 0, copies_ = 0;
    bool stopped_ = false;
};

std::string SetWriter::Place() {
    if (count_ == 0 || count_ > store_.maxFiles)
        return "it names " + std::to_string(count_) + " files, not 1 to " + std::to_string(store_.maxFiles);
    int64_t bytes = 0;
    for (size_t i = 0; i < count_; ++i) {
        const std::pair<std::string, std::string> split = FolderAndName(files_[i].path);
        const std::string &folder = split.first, &name = split.second, shown = Cleaned(files_[i].path);
        bytes += int64_t(std::min<size_t>(files_[i].size, size_t(store_.maxBytes) + 1));
        if (files_[i].size > 0 && !files_[i].bytes) return shown + " has no bytes";
        if (bytes > store_.maxBytes) return "its files hold more bytes than a set of the store holds";
        const auto at = std::find_if(folders_.list.begin(), folders_.list.end(), [&](const Folder& f) {
            return f.given == folder &&
                   (alone_ ? !name.empty() && name != "." && name != ".." : IsStoredName(*f.rule, name));
        });
        if (at == folders_.list.end()) return shown + " is not a file the store keeps in its folders";
        if (at->descriptor < 0)
            return shown + " stands in a folder that cannot be opened (" + std::strerror(at->error) + ")";
        for (const Member& other : members_)
            if (other.folder->place == at->place && other.name == name) return shown + " is named twice";
        members_.push_back({&files_[i], &*at, name, shown, {}});
        // Only what a rename can replace: nothing, or a regular file that is
        // no mount point, not immutable, not kept from this user by a sticky folder.
        std::string why;
        if (!ReadCopy(at->descriptor, name, false, &members_.back().previous, &why)) return shown + " " + why;
        if (!platform::Files().replaceableIn(at->descriptor, name.c_str()))
            return shown + " cannot be replaced: " + HostReason();
    }
    // The commit folder is the set's that comes first in the store: its
    // files go first in the record and in the renames, its copy last.
    std::stable_sort(members_.begin(), members_.end(), [](const Member& a, const Member& b) { return a.folder < b.folder; });
    for (const Member& m : members_)
        if (std::find(places_.begin(), places_.end(), m.folder) == places_.end()) places_.push_back(m.folder);
    std::rotate(places_.begin(), places_.begin() + 1, places_.end());
    return "";
}

bool SetWriter::WriteTemporaries() {
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

bool SetWriter::SyncFolders() {
    for (const Folder* folder : places_) {
        if (Stops(DurableStep::SyncFolder, folder->given)) return false;
        if (!platform::Files().syncFolder(folder->descriptor)) {
            why_ = "flushing the folder " + Cleaned(folder->given) + ": " + HostReason();
            return false;
        }
    }
    return true;
}

bool SetWriter::WriteCopies() {
    const platform::FileSystemBackend& fs = platform::Files();
    std::vector<RecordedFile> lines;
    for (const Member& m : members_)
        lines.push_back({m.folder->place, CopyOf(m.file->bytes, m.file->size), m.previous, m.name});
    const std::string text = RecordText(lines), name = RecordName(id_), temporary = TemporaryName(name, id_);
    // The commit folder's copy comes last: once it is on the disk, the set stands.
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
        if (Stops(DurableStep::SyncFolder, folder.given) || !fs.syncFolder(folder.descriptor)) {
            if (!stopped_) why_ = "flushing the folder " + Cleaned(folder.given) + ": " + HostReason();
            ++copies_;
            return false;
        }
    }
    return true;
}

int SetWriter::Abandon() {
    const platform::FileSystemBackend& fs = platform::Files();
    // The commit folder's copy first: then the set never stood.
    while (copies_ > 0) fs.removeIn(places_[--copies_]->descriptor, RecordName(id_).c_str());
    for (size_t i = 0; i < written_; ++i)
        fs.removeIn(members_[i].folder->descriptor, TemporaryName(members_[i].name, id_).c_str());
    const std::string others =
        count_ == 1 ? "it keeps its previous copy"
                    : "it and the " + std::to_string(count_ - 1) + " other files of its set keep their previous copies";
    return Said(-1, why_, members_[0].shown + " was not stored (" + why_ + "); " + others);
}

int SetWriter::Finish() {
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
    if (count_ == 1 && !failed.empty()) {
        why_ = failed;
        return Abandon();
    }
    if (!SyncFolders() && stopped_) return -1;
    // The records stay while the next settling has anything to make sure of.
    for (size_t k = 0; failed.empty() && why_.empty() && count_ > 1 && k < places_.size(); ++k) {
        if (Stops(DurableStep::RemoveRecord, ShownPath(places_[k]->given, RecordName(id_)))) return -1;
        fs.removeIn(places_[k]->descriptor, RecordName(id_).c_str());
    }
    const std::string& first = members_[0].shown;
    if (!failed.empty()) {
        const std::string why = failed + "; " + std::to_string(renamed) + " of its " + std::to_string(count_) +
                                " files hold their new copies, and the next start puts the rest in place";
        return Said(kDurableStoredUnsettled, why, first + " and its set were stored, but not whole: " + why);
    }
    if (why_.empty()) return 0;
    return Said(
        kDurableStoredUnsettled, why_,
        first + " was stored, but " + why_ + ": a power cut before the next start may bring back its previous copy");
}

int SetWriter::Write() {
    const platform::FileSystemBackend& fs = platform::Files();
    HostFileInfo info;
    if (alone_) {
        folders_.list.assign(
            1, Folder{store_.folders[0].folder, store_.folders, fs.openFolder(store_.folders[0].folder), errno, {}});
    } else if (TakeStore(store_, &folders_, &why_) < 0) {
        return Said(-1, why_, why_ + "; nothing was written");
    }
    // What an earlier run left in these folders is settled first.
    if (!alone_ && Settle(store_, folders_) < 0) return -1;
    const std::string refusal = Place();
    if (!refusal.empty()) return Said(-1, refusal, refusal + "; nothing was written");
    static std::random_device device;
    const uint32_t alone[] = {uint32_t(fs.stat(".", &info) ? info.device : 0), uint32_t(info.inode)};
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

}  // namespace

}  // namespace morpotta::durable

using namespace morpotta;
using namespace morpotta::durable;

const char* GetDurableWriteError() { return LastError().c_str(); }

int WriteFileDurably(const char* path, const void* bytes, size_t size) {
    const Call call;
    if (!path || !*path) return Said("WriteFileDurably", -1, "no path", "no path");
    const std::string folder = FolderAndName(path).first;
    const DurableFolder only{folder.c_str(), ""};
    const DurableStore store{&only, 1, 1, INT64_MAX};
    const DurableFile file{path, bytes, size};
    return SetWriter(store, &file, 1, true).Write();
}

int WriteFileSetDurably(const DurableStore* store, const DurableFile* files, size_t count) {
    const Call call;
    const bool paths = std::all_of(files, files + (files ? count : 0), [](const DurableFile& f) { return f.path; });
    if (!store || (store->folderCount > 0 && !store->folders) || (count > 0 && !files) || !paths)
        return Said("WriteFileSetDurably", -1, "no store, or a file without a path",
                    "no store, or a file without a path");
    return SetWriter(*store, files, count).Write();
}

int FinishInterruptedWrites(const DurableStore* store) {
    const Call call;
    if (!store || (store->folderCount > 0 && !store->folders))
        return Said("FinishInterruptedWrites", -1, "no store", "no store");
    Folders folders;
    std::string why;
    if (TakeStore(*store, &folders, &why) < 0)
        return Said("FinishInterruptedWrites", -1, why, why + "; nothing was settled");
    return std::max(Settle(*store, folders), 0);
}

void morpotta::ReleaseDurableFolders() {
    const std::lock_guard<std::mutex> lock(Mutex());
    ReleaseFolders();
}

int GetDurableProblemCount() { return int(Problems().size()); }

int GetDurableProblem(int index, DurableProblem* out) {
    const std::vector<Problem>& problems = Problems();
    if (!out) return WriteLogText("GetDurableProblem refused: no place for the problem (null)");
    if (index < 0 || size_t(index) >= problems.size())
        return WriteLogFormat("GetDurableProblem refused: no problem %d (%zu reported)", index, problems.size());
    const Problem& p = problems[size_t(index)];
    *out = {p.kind, p.folder.c_str(), p.set.c_str(), p.file.c_str(), p.reason.c_str(), p.newFiles, p.files};
    return 0;
}
