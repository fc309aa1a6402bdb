// What the durable writes (foundation/durable_write.cpp) and the settling of
// what they left (foundation/durable_settle.cpp) share, and the seam by
// which tests end them part way, as a kill would.
//
// A store's folders are used by one running program at a time: it opens
// each where its path leads and locks it (flock, never waited for) at its
// first store or settling, holds it until shut-down or its end, and acts
// there by name, never through a symbolic link.
//
// A set commits through its record, a copy in each folder it touches,
// "store.<id>.commit" (<id>: 16 hex digits, new for every set; a file's
// temporary is "<name>.<id>.tmp" beside it):
//     durable store record 3
//     <device> <inode> <new size> <new check> <old size> <old check> <name>
//     ...                         a line a file, its folder named by place
//     end <CRC-32 of every byte above, 8 hex digits>
// The first line's folder, the store's first among the set's, is its
// commit folder. Every temporary is flushed first; then each other
// folder's copy is written, and the commit folder's last: with it the set
// stands. Only then are the files renamed, the commit folder's first, and
// the copies removed, the commit folder's last. So a temporary with no copy
// of its set beside it is from a set that never stood, and a copy says the
// set stands once the commit folder holds one, or once a file of it was
// renamed; a program that sees neither leaves the set to one that does.
#pragma once
#include "engine/files.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace morpotta {

enum class DurableStep { WriteTemporary, SyncFolder, WriteRecord, Rename, RemoveRecord, RemoveTemporary };
// Called before every step with the file (or folder) it concerns. -1 lets
// the step run; n >= 0 stops everything there, as a kill would: a write
// step (a temporary, a record) first leaves the first n bytes of its file,
// unflushed; the write or the settling then returns -1 at once.
using DurableStepHook = std::function<int64_t(DurableStep step, const std::string& path)>;
void SetDurableStepHook(DurableStepHook hook);  // an empty hook lets every step run
// Lets go of the folders the durable stores hold, as the engine shuts down.
void ReleaseDurableFolders();

}  // namespace morpotta

namespace morpotta::durable {

using Place = std::pair<uint64_t, uint64_t>;  // a folder's device and inode

// A copy of a file as a store tells copies apart. Size -1: no file.
struct Copy {
    int64_t size = -1;
    uint32_t check = 0;
    bool operator==(const Copy&) const = default;
};
Copy CopyOf(const void* bytes, size_t size);
// What stands at name: no file, or the copy a regular file holds (with
// ownName, one with no other name), its bytes in `bytes` when asked. False,
// why set, when something else stands there (lasting set), it holds more
// than `most` bytes, or it cannot be read now.
bool ReadCopy(int folder, const std::string& name, bool ownName, Copy* copy, std::string* why, bool* lasting = nullptr,
              std::string* bytes = nullptr, int64_t most = INT64_MAX);

struct RecordedFile {
    Place folder;
    Copy fresh, previous;
    std::string name;
};
std::string RecordText(const std::vector<RecordedFile>& files);
bool ParseRecord(const std::string& text, std::vector<RecordedFile>* files);  // a whole record of this version
std::string RecordName(const std::string& id);
std::string TemporaryName(const std::string& name, const std::string& id);

// A store's folder as one call took it.
struct Folder {
    std::string given;  // as the store spells it, without a closing '/'
    const DurableFolder* rule = nullptr;
    int descriptor = -1;  // -1: not taken (error says why)
    int error = 0;
    Place place;
};
struct Folders {
    std::vector<Folder> list;                // by the store's index
    const Folder* At(Place place) const;  // the taken folder there, or null
};
// Takes every folder of the store that stands: -1 (why set, nothing new
// taken) when one is locked by another program.
int TakeStore(const DurableStore& store, Folders* folders, std::string* why);
void ReleaseFolders();  // unguarded: see ReleaseDurableFolders
// Finishes the sets that stand in the taken folders, drops those that never
// stood, removes the temporaries no record counts on, and reports each
// problem. The number of sets finished; -1 where the test seam stopped it.
int Settle(const DurableStore& store, const Folders& folders);

bool IsStoredName(const DurableFolder& folder, const std::string& name);
std::string ShownPath(const std::string& folder, const std::string& name);
std::string Cleaned(std::string text);  // control characters replaced, a long text cut
std::string HostReason();

// The problems of the calling thread's last durable call.
struct Problem {
    int kind = 0;
    std::string folder, set, file, reason;
    int newFiles = 0, files = 0;
};
void Report(Problem problem);
std::vector<Problem>& Problems();

// Whether the test seam ends the run before this step; a write step then
// leaves its bytes as a new file of that name in the folder.
bool StopsHere(DurableStep step, const std::string& shown, int folder = -1, const std::string& name = "",
               const void* bytes = nullptr, size_t size = 0);

}  // namespace morpotta::durable
