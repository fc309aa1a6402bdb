// The durable store's records (foundation/durable_store.cpp), and the seam
// by which tests end its calls part way, as a kill would.
//
// A set commits through its record, a copy in each place (folder) it
// touches, "store.<id>.commit" (<id>: 16 hex digits, new for every set; a
// file's temporary is "<name>.<id>.tmp" beside it):
//     durable store record 3
//     <device> <inode> <new size> <new check> <old size> <old check> <name>
//     ...                         a line a file, its folder named by place
//     end <CRC-32 of every byte above, 8 hex digits>
// The first line's place is the set's commit folder.
#pragma once
#include "engine/files.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace morpotta {

enum class DurableStep { WriteTemporary, SyncFolder, WriteRecord, Rename, RemoveRecord, RemoveTemporary };
// Called before every step with the file (or folder) it concerns. -1 lets
// the step run; n >= 0 stops the call there as a kill would (-1 at once,
// the folders let go), a write step leaving n bytes of its file.
using DurableStepHook = std::function<int64_t(DurableStep step, const std::string& path)>;
void SetDurableStepHook(DurableStepHook hook);  // an empty hook lets every step run
void ReleaseDurableFolders();                   // lets go of the stores' folders, as the engine shuts down

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
struct RecordedFile {
    Place folder;
    Copy fresh, previous;
    std::string name;
};
std::string RecordText(const std::vector<RecordedFile>& files);
bool ParseRecord(const std::string& text, std::vector<RecordedFile>* files);  // whole, of this version
std::string RecordName(const std::string& id);
std::string TemporaryName(const std::string& name, const std::string& id);

}  // namespace morpotta::durable
