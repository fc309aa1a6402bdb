// Save record on disk: read whole or not at all, written through a
// temporary file and a rename.
#include "game/savedata.h"

#include "engine/log.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

bool SaveData::Load(SaveData& record, const char* path) {
    SetDefaults(record);
    File file(std::fopen(path, "rb"));
    if (!file) return false;  // first start: no save yet
    uint8_t bytes[kFileSize + 1];
    size_t got = std::fread(bytes, 1, sizeof bytes, file.get());
    if (got != kFileSize) {
        WriteLogFormat("Save data: %s holds %zu bytes instead of %zu; using the defaults\n", path, got, kFileSize);
        return false;
    }
    Deserialize(bytes, record);
    int fixes = Sanitize(record);
    if (fixes) WriteLogFormat("Save data: %d fields of %s were out of range and took their defaults\n", fixes, path);
    return true;
}

bool SaveData::Store(const SaveData& record, const char* path) {
    uint8_t bytes[kFileSize];
    Serialize(record, bytes);
    std::string temporary = std::string(path) + ".tmp";
    File file(std::fopen(temporary.c_str(), "wb"));
    if (!file) {
        WriteLogFormat("Save data: cannot create %s\n", temporary.c_str());
        return false;
    }
    bool written = std::fwrite(bytes, 1, kFileSize, file.get()) == kFileSize;
    written = std::fflush(file.get()) == 0 && written;
    written = std::fclose(file.release()) == 0 && written;
    if (!written) {
        std::remove(temporary.c_str());
        WriteLogFormat("Save data: writing %s failed; the previous save is kept\n", temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path) != 0) {
        std::remove(temporary.c_str());
        WriteLogFormat("Save data: cannot replace %s; the previous save is kept\n", path);
        return false;
    }
    return true;
}
