// What a durable store's writer and its settling share: the store's rule
// (which paths are its files), the names of temporaries, what a file holds,
// and the folders both act in. A file of a set is "<folder>/<name>": the
// folder spelled as the store gives it, the name a stored name of that
// folder. Each folder is opened once, where its path leads, and every step
// is taken in it, by name, never through a symbolic link.
#pragma once
#include "engine/files.h"
#include "foundation/file_write_steps.h"
#include "platform/files.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace morpotta {

constexpr const char* kTemporarySuffix = ".tmp";
constexpr const char* kRecordSuffix = ".commit";

// A folder on the disk: two given folders that are one have the same place.
using FolderPlace = std::pair<uint64_t, uint64_t>;

// A copy of a file as a store tells copies apart: its size and check value.
// Size -1: no file.
struct FileCopy {
    int64_t size = -1;
    uint32_t check = 0;
    bool operator==(const FileCopy&) const = default;
};
FileCopy CopyOf(const void* bytes, size_t size);

// What stands at name in folder: no file (size -1), or the copy a regular
// file holds (with ownName, only one with no other name: a temporary with
// another name elsewhere is no file the writer made). False, why set, when
// something else stands there (lasting then) or it cannot be read now.
bool ReadCopy(int folder, const std::string& name, bool ownName, FileCopy* copy, std::string* why, bool* lasting);

// The tag of this program's temporaries: 8 hex digits from the place of
// the folder it keeps its record in (the working directory for a single
// write), the same at every start from that folder, another for another
// copy of the program.
std::string OwnTag(int folder);
// The tag of this program's single writes: from the working directory.
std::string WorkingTag();
// "<name>.<tag>.tmp".
std::string TemporaryName(const std::string& name, const std::string& tag);
// The name an entry of a folder is the temporary of, for tag; "" when it is
// none.
std::string NameOfTemporary(const std::string& entry, const std::string& tag);
bool IsTag(const std::string& text);

// The folders a store or a settling acts in: each path opened once, each
// place locked once, never waited for. Everything is let go when this ends.
class DurableFolders {
public:
    DurableFolders() = default;
    ~DurableFolders();
    DurableFolders(const DurableFolders&) = delete;
    DurableFolders& operator=(const DurableFolders&) = delete;

    // The folder at path, opened and locked: its descriptor, or -1 with
    // errno (the same on a later call): EWOULDBLOCK when another program
    // holds its lock, ENOENT only when nothing stands at the path. Why()
    // says it in words.
    int Take(const std::string& path);
    const std::string& Why(const std::string& path) const;
    FolderPlace Place(int descriptor) const;
    // Whether a Take found a folder held by another program.
    bool AnyHeld() const { return anyHeld_; }

private:
    struct Folder {
        int descriptor = -1;
        int error = 0;
        std::string why;
        FolderPlace place;
    };
    std::map<std::string, Folder> folders_;
    std::map<FolderPlace, int> locked_;  // the descriptor that holds each place's lock
    bool anyHeld_ = false;
};

// "<folder>/<name>" as the store spells the folder ("<name>" for ".").
std::string ShownPath(const std::string& folder, const std::string& name);
// A folder as the store gives it, without a closing '/'.
std::string GivenFolder(const char* folder);

// A file of a set, placed in one of the store's folders.
struct SetMember {
    size_t folder = 0;  // index among the store's folders
    std::string name;
    std::string path;  // as the set names it
};
// Why path is not a file the store keeps ("" when it is; member set).
std::string PlaceFile(const DurableStore& store, const std::string& path, SetMember* member);
// Places every path of a set under the store's rule: "" or why not, file
// then the path concerned.
std::string PlaceSet(const DurableStore& store, const std::vector<std::string>& paths, const std::vector<int64_t>& sizes,
                     std::vector<SetMember>* members, std::string* file);

// Whether the program stores a file of this name in the folder.
bool IsStoredName(const DurableFolder& folder, const std::string& name);
// The folder of path ("." for a bare name, "/" at the root) and the name in it.
std::pair<std::string, std::string> FolderAndName(const std::string& path);
// What stands at a name, when it is no regular file: "is a folder", ...
std::string WhatStands(platform::HostFileKind kind);
// Whether a failed rename or open will fail again however long one waits:
// what stands is not to be replaced (no permission, an immutable file, a
// mount point, a folder), rather than a disk that errs or fills for now.
bool Lasting(int error);

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
