#include "game/data/text_file.h"

#include "engine/files.h"
#include "engine/log.h"

bool ReadGameTextFile(const char* path, std::string* out, size_t maxBytes) {
    out->clear();
    const int64_t size = GetFileSizeByName(path);
    if (size < 0) return false;
    if (uint64_t(size) > maxBytes) {
        WriteLogFormat("%s is larger than %zu bytes and is not read\n", path, maxBytes);
        return false;
    }
    FileHandle file = OpenFileToRead(path, 0);
    if (!file) return false;
    out->resize(size_t(size));
    const size_t got = size ? ReadFromFile(out->data(), out->size(), file) : 0;
    CloseFileStream(file);
    out->resize(got);
    return true;
}
