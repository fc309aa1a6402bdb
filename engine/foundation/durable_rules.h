// The rule a durable set's writer and the start-up's settling share, and
// the folders both act in. A file of a set is "<folder>/<name>": the folder
// spelled as the store gives it, the name a stored name of that folder. The
// writer refuses, before it writes anything, a set the settling would not
// finish; the settling takes a record only when it names what the writer
// would have taken. Each folder is opened once and every step is taken in
// it, by name, never through a symbolic link.
#pragma once
#include "engine/files.h"
#include "foundation/file_write_steps.h"
#include "platform/files.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace morpotta {

constexpr const char* kTemporarySuffix = ".tmp";
constexpr const char* kRecordSuffix = ".commit";

// A folder on the disk: two given folders that are one have the same place.
using FolderPlace = std::pair<uint64_t, uint64_t>;
// A name in a folder on the disk.
using PlacedName = std::pair<FolderPlace, std::string>;

// The store's folders, each opened on first use and closed with this.
class OpenedFolders {
public:
    explicit OpenedFolders(const DurableStore& store);
    ~OpenedFolders();
    OpenedFolders(const OpenedFolders&) = delete;
    OpenedFolders& operator=(const OpenedFolders&) = delete;

    // Opens every folder of the store and takes its lock (FolderLocked),
    // once per place and in the order of the places, so that two programs
    // taking the same folders never wait on each other in turn. The locks
    // are held until this closes the folders: for a whole store, or a whole
    // settling, no other program stores or settles in them. A folder whose
    // lock is not had counts from then on as one that cannot be opened
    // (EWOULDBLOCK): nothing is done in it.
    void LockEvery();
    // The folder's descriptor; -1 with errno when it cannot be opened (the
    // same errno again on a later call; ENOENT only when nothing stands at
    // its path).
    int Open(size_t index);
    // Why a folder Open gave -1 for cannot be used: "cannot be opened (<the
    // host's reason>)", or that another program holds its lock.
    const std::string& Why(size_t index) const { return folders_[index].why; }
    FolderPlace Place(size_t index) const { return folders_[index].place; }
    // "<folder>/<name>" as the store spells the folder ("<name>" for ".").
    std::string Shown(size_t index, const std::string& name) const;
    const char* Given(size_t index) const { return store_.folders[index].folder; }
    size_t Count() const { return folders_.size(); }

private:
    struct Folder {
        int descriptor = -1;
        int error = 0;  // errno of a failed open
        std::string why;
        bool tried = false;
        FolderPlace place;
    };
    const DurableStore& store_;
    std::vector<Folder> folders_;
};

// A file of a set, placed in one of the store's folders.
struct SetMember {
    size_t folder = 0;
    std::string name;
    std::string path;  // as the set names it
    int64_t size = 0;
};

// How a set stands against the rule, worst first.
enum class SetCheck {
    Ok,
    AgainstRule,  // the set names what the store does not keep: it is never taken
    NeverFits,    // something other than a file stands at a name, or a folder is gone: it cannot be put in place
    NotNow,       // a folder cannot be looked at now
};

// Places each file (path, size) of a set in the store's folders and looks
// at what stands at its name. Ok, or the first problem: file is the path
// concerned ("" for the set as a whole), why says what of it.
SetCheck CheckSet(const DurableStore& store, OpenedFolders& folders,
                  const std::vector<std::pair<std::string, int64_t>>& files, std::vector<SetMember>* members,
                  std::string* file, std::string* why);

// Why path is not a file the store keeps ("" when it is, member then set
// with the folder and name; its size is left).
std::string PlaceFile(const DurableStore& store, const std::string& path, SetMember* member);

// Takes the lock of an open folder, waiting as long as a store may take:
// "" once it is held (until the descriptor closes), otherwise why not.
std::string FolderLocked(int descriptor);

// What stands at a name, when it is no regular file: "is a folder", ...
std::string WhatStands(platform::HostFileKind kind);

// The folder of path ("." for a bare name, "/" at the root) and the name in it.
std::pair<std::string, std::string> FolderAndName(const std::string& path);

// Whether the program stores a file of this name in the folder.
bool IsStoredName(const DurableFolder& folder, const std::string& name);

// Text from a file or record as a log line or a player may be shown it:
// control characters (C1 too) and malformed UTF-8 left out, a long text cut.
std::string Cleaned(const std::string& text);

// The host's reason of the last failed call.
std::string HostReason();

bool EndsWith(const std::string& text, const char* suffix);

// Asks the test seam whether the run ends before this step, as a kill
// would end it. A write step then leaves the first bytes the seam asked
// for, as a new file of that name in the folder.
bool StopsHere(DurableStep step, const std::string& shown, int folder = -1, const std::string& name = "",
               const void* bytes = nullptr, size_t size = 0);

}  // namespace morpotta
