// What the durable writes (foundation/durable_write.cpp) and the settling of
// what they left (foundation/durable_settle.cpp) share, and the seam by
// which tests end them part way, as a kill would.
//
// The rule that keeps it small: a store's folders are used by one running
// program at a time. The program opens each folder where its path leads,
// locks it (flock, never waited for) at its first store or settling, and
// holds it until the engine shuts down or the program ends; everything is
// then done in the folders so opened, by name, never through a symbolic
// link. A folder locked by another program refuses the call.
//
// A set of files spanning folders commits through its record, one copy in
// each folder it touches, "store.<id>.commit" (<id>: 16 hex digits, new for
// every set; a file's temporary is "<name>.<id>.tmp" beside it):
//     durable store record 3
//     <device> <inode> <new size> <new check> <old size> <old check> <name>
//     ...                         a line a file, its folder named by place
//     end <CRC-32 of every byte above, 8 hex digits>
// The first line's folder is the set's commit folder. Every temporary is
// flushed first; then each other folder's copy is written, and the commit
// folder's last: with it the set stands. Only then are the files renamed
// into place, and the copies removed, the commit folder's last. So a
// temporary beside which no copy of its set stands is from a set that
// never stood, and a copy elsewhere says the set stands once the commit
// folder holds one: a program that does not use that folder leaves the set
// to one that does.
#pragma once
#include "engine/files.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace morpotta {

enum class DurableStep {
    WriteTemporary,   // a file's bytes to its temporary, flushed
    SyncFolder,       // a folder flushed
    WriteRecord,      // a copy of the record to its temporary, flushed
    Rename,           // a temporary over its file (a record's too)
    RemoveRecord,     // a copy of the record removed
    RemoveTemporary,  // a temporary removed by the settling
};
// Called before every step with the file (or folder) it concerns. -1 lets
// the step run; n >= 0 stops everything there, as a kill would: a write
// step first leaves the first n bytes of its file, unflushed; the write or
// the settling then returns -1 at once, cleaning nothing up. An empty hook
// (the default) lets every step run.
using DurableStepHook = std::function<int64_t(DurableStep step, const std::string& path)>;
void SetDurableStepHook(DurableStepHook hook);
// Lets go of the folders the durable stores hold, as the engine shuts down.
void ReleaseDurableFolders();

}  // namespace morpotta

namespace morpotta::durable {

// A folder on the disk: its device and inode.
using Place = std::pair<uint64_t, uint64_t>;

// A copy of a file as a store tells copies apart: its size and check value.
// Size -1: no file.
struct Copy {
    int64_t size = -1;
    uint32_t check = 0;
    bool operator==(const Copy&) const = default;
};
Copy CopyOf(const void* bytes, size_t size);
// What stands at name: no file, or the copy a regular file holds (with
// ownName only one with no other name), its bytes in `bytes` when asked.
// False, why set, when something else stands there (lasting set), it holds
// more than `most` bytes, or it cannot be read now.
bool ReadCopy(int folder, const std::string& name, bool ownName, Copy* copy, std::string* why, bool* lasting = nullptr,
              std::string* bytes = nullptr, int64_t most = INT64_MAX);

struct RecordedFile {
    Place folder;
    Copy fresh, previous;
    std::string name;
};
std::string RecordText(const std::vector<RecordedFile>& files);
// False for anything but a whole record of this version.
bool ParseRecord(const std::string& text, std::vector<RecordedFile>* files);
// Whether text begins as a record of some version does.
bool IsAnyRecord(const std::string& text);
std::string RecordName(const std::string& id);
std::string TemporaryName(const std::string& name, const std::string& id);
// The set id of a record's or temporary's name; "" when it is neither.
std::string IdOfRecord(const std::string& entry);
std::string IdOfTemporary(const std::string& entry, std::string* name);

// A store's folders as one call took them, by the store's index.
struct Folder {
    std::string given;  // as the store spells it, without a closing '/'
    const DurableFolder* rule = nullptr;
    int descriptor = -1;  // -1: not taken (error says why)
    int error = 0;
    Place place;
};
struct Folders {
    std::vector<Folder> list;
    // The taken folder at place, null when none.
    const Folder* At(Place place) const;
};
// Takes every folder of the store that stands: -1 (why set, nothing new
// taken) when one is locked by another program.
int TakeStore(const DurableStore& store, Folders* folders, std::string* why);
// Lets go of every folder this process holds (unguarded: see
// ReleaseDurableFolders).
void ReleaseFolders();
// Finishes or drops the sets whose records stand in the taken folders and
// removes the temporaries no record counts on; each problem reported. The
// number of sets finished; -1 where the test seam stopped it.
int Settle(const DurableStore& store, const Folders& folders);

// Whether the store keeps a file of this name in the folder.
bool IsStoredName(const DurableFolder& folder, const std::string& name);
// The folder of path ("." for a bare name) and the name in it.
std::pair<std::string, std::string> FolderAndName(const std::string& path);
std::string ShownPath(const std::string& folder, const std::string& name);

// Text as a log line or a player may be shown it: control characters
// replaced, a long text cut.
std::string Cleaned(std::string text);
std::string HostReason();

// The problems of the calling thread's last durable call.
struct Problem {
    int kind = 0;
    std::string folder, set, file, reason;
    int newFiles = 0, files = 0;
};
void Report(Problem problem);
std::vector<Problem>& Problems();

// Asks the test seam whether the run ends before this step, as a kill
// would end it. A write step then leaves the first bytes the seam asked
// for, as a new file of that name in the folder.
bool StopsHere(DurableStep step, const std::string& shown, int folder = -1, const std::string& name = "",
               const void* bytes = nullptr, size_t size = 0);

}  // namespace morpotta::durable
