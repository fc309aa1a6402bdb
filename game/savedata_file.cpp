// Save record on disk: the record is the file's first 992 bytes, read whole
// or not at all, and written through the engine's durable write (a flushed
// temporary file and a rename).
#include "game/savedata.h"

#include "engine/files.h"
#include "engine/log.h"
#include "game/data/player_notice.h"
#include "game/replay/replay_files.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

// A save that is there but cannot be opened: said once, with what follows.
// Nothing at all there is the first start, and nothing is said.
void SayUnopened(const char* path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) return;
    if (std::filesystem::is_regular_file(status)) {
        // A store renames its new copy over the file, so the defaults replace it then.
        ReportToPlayerOnce(path, "Save data: %s cannot be read; the game starts with the defaults, and its next store "
                           "replaces the file", path);
    } else {
        // A store replaces no folder (nor a FIFO or another kind of file).
        ReportToPlayerOnce(path, "Save data: %s is %s, not a file; the game starts with the defaults and stores "
                           "nothing until it is moved away", path, std::filesystem::is_directory(status) ? "a folder"
                           : std::filesystem::is_fifo(status) ? "a FIFO" : "a special file");
    }
}

}  // namespace

bool SaveData::Load(SaveData& record, const char* path) {
    SetDefaults(record);
    // The engine's plain files open regular files only: a FIFO at the path
    // is refused with a log line rather than waited on.
    const FileAccessTable* files = GetPlainFileAccessTable();
    const FileHandle file = files->open(path, 0, 1, 0);
    if (!file) {
        SayUnopened(path);
        return false;
    }
    uint8_t bytes[kFileSize + 1];
    const size_t got = files->read(bytes, 1, sizeof bytes, file);
    files->seek(file, 0, 2);
    const long long size = static_cast<long long>(files->tell(file));
    files->close(file);
    if (got < kFileSize) {
        ReportToPlayer("Save data: %s holds %zu bytes instead of %zu; using the defaults", path, got, kFileSize);
        return false;
    }
    if (got > kFileSize)
        ReportToPlayer("Save data: %s holds %lld bytes, more than a save's %zu: its first %zu are read, and its next "
                       "store keeps only those", path, size, kFileSize, kFileSize);
    Deserialize(bytes, record);
    int fixes = Sanitize(record);
    if (fixes) ReportToPlayer("Save data: %d fields of %s were out of range and took their defaults", fixes, path);
    return true;
}

SaveData::Found SaveData::FoundAt(const char* path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status own = fs::symlink_status(path, error);
    if (!fs::exists(own)) return Found::Nothing;
    if (fs::is_regular_file(own)) return Found::File;
    if (!fs::is_symlink(own)) return Found::Other;
    // The engine's durable write goes through a link to a file of the same
    // name (a save moved to another folder and linked back), and no other.
    const fs::path target = fs::canonical(path, error);
    return !error && fs::is_regular_file(target, error) && target.filename() == fs::path(path).filename() ? Found::Link
                                                                                                        : Found::Other;
}

bool SaveData::Store(const SaveData& record, const char* path) {
    uint8_t bytes[kFileSize];
    Serialize(record, bytes);
    const Found found = FoundAt(path);
    // The save of the working directory is a store of the game's, in the
    // folder it stands in: stored through it, it first settles that folder.
    const bool ofTheStores = std::strcmp(path, kFileName) == 0 && JoinsStores(found);
    const std::string inStores = replay::SavePathInStores();
    const DurableFile file{inStores.c_str(), bytes, kFileSize};
    const int stored = ofTheStores ? WriteFileSetDurably(&replay::GameStores(), &file, 1)
                                   : WriteFileDurably(path, bytes, kFileSize);
    if (ofTheStores) replay::TellDurableProblems();
    if (stored == 0) return true;
    if (stored == kDurableStoredUnsettled) {
        ReportToPlayer("Save data: %s was stored, but %s", path, GetDurableWriteError());
        return false;
    }
    if (found == Found::Other) {
        // Told once in a run, as loading tells it: the store refused before writing anything.
        ReportToPlayerOnce(path, "Save data: %s was not stored (%s): nothing is stored until it is moved away", path,
                           GetDurableWriteError());
    } else {
        // A failure that stays (a save that cannot be replaced) is told once, not at every store.
        const std::string subject = std::string(path) + ": " + GetDurableWriteError();
        ReportToPlayerOnce(subject.c_str(), "Save data: %s was not stored (%s); %s", path, GetDurableWriteError(),
                           found == Found::Nothing ? "there is no save yet" : "the previous save is kept");
    }
    return false;
}
