// Save record on disk: the record is the file's first 992 bytes, read whole
// or not at all, and written through the engine's durable write (a flushed
// temporary file and a rename).
#include "game/savedata.h"

#include "engine/files.h"
#include "engine/log.h"
#include "game/data/player_notice.h"

bool SaveData::Load(SaveData& record, const char* path) {
    SetDefaults(record);
    // The engine's plain files open regular files only: a FIFO at the path
    // is refused with a log line rather than waited on.
    const FileAccessTable* files = GetPlainFileAccessTable();
    const FileHandle file = files->open(path, 0, 1, 0);
    if (!file) return false;  // first start: no save yet
    uint8_t bytes[kFileSize + 1];
    const size_t got = files->read(bytes, 1, sizeof bytes, file);
    files->close(file);
    if (got < kFileSize) {
        ReportToPlayer("Save data: %s holds %zu bytes instead of %zu; using the defaults", path, got, kFileSize);
        return false;
    }
    if (got > kFileSize)
        WriteLogFormat("Save data: %s is longer than %zu bytes; its first %zu are read", path, kFileSize, kFileSize);
    Deserialize(bytes, record);
    int fixes = Sanitize(record);
    if (fixes) ReportToPlayer("Save data: %d fields of %s were out of range and took their defaults", fixes, path);
    return true;
}

bool SaveData::Store(const SaveData& record, const char* path) {
    uint8_t bytes[kFileSize];
    Serialize(record, bytes);
    if (WriteFileDurably(path, bytes, kFileSize) == 0) return true;
    ReportToPlayer("Save data: %s was not stored (%s); the previous save is kept", path, GetDurableWriteError());
    return false;
}
