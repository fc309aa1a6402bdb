#include "game/data/game_files.h"

#include "engine/files.h"
#include "engine/log.h"
#include "game/data/player_notice.h"

bool ReadGameFile(const char* path, std::string* text) {
    text->clear();
    FileHandle file = OpenFileToRead(path, 0);
    if (!file) return false;
    bool ok = SeekFileStream(file, 0, 2) == 0;
    const int64_t size = ok ? TellFileStream(file) : -1;
    ok = ok && size >= 0 && SeekFileStream(file, 0, 0) == 0;
    if (ok && size > kMaxGameFileBytes) {
        WriteLogFormat("%s is %lld bytes, more than the %lld a game file may have; it is not read", path,
                       static_cast<long long>(size), static_cast<long long>(kMaxGameFileBytes));
        ok = false;
    }
    if (ok && size > 0) {
        text->resize(static_cast<size_t>(size));
        text->resize(ReadFromFile(text->data(), text->size(), file));
    }
    CloseFileStream(file);
    return ok;
}

bool GameFileExists(const char* path) {
    const FileHandle file = OpenFileToRead(path, 0);
    if (!file) return false;
    CloseFileStream(file);
    return true;
}

void ReportUnusableContent(const char* path, const char* what, const char* instead) {
    if (GameFileExists(path))
        ReportContentFault(path, "cannot be read as %s: %s", what, instead);
    else
        ReportContentFault(path, "is missing: %s", instead);
}
