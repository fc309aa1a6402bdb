// Durable writes of the files a program keeps (saves, replays), through the
// host's write-flush-rename-flush steps, and the settling at start-up of a
// write that a kill or a crash cut short.
//
// A set of files commits through a record beside its first file,
// "<first path>.commit", written once every file's temporary is on the disk:
//     durable file set 1
//     <size> <CRC-32, 8 hex digits> <path>        one line per file, in order
//     end <CRC-32 of every byte above, 8 hex digits>
// Paths are as the writer gave them (relative ones from the working
// directory) and hold no line feed. A record whose end line is missing or
// does not match was cut short: its set was never stored. The size and
// check value of every file let the start-up tell a temporary that is the
// new copy from one that is not, and a file already renamed into place from
// its previous copy.
#include "engine/files.h"

#include "engine/log.h"
#include "foundation/file_write_steps.h"
#include "foundation/host_path.h"
#include "platform/files.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr const char* kTemporarySuffix = ".tmp";
constexpr const char* kRecordSuffix = ".commit";
constexpr const char kRecordMagic[] = "durable file set 1\n";
constexpr int64_t kMaxRecordBytes = int64_t(1) << 20;

struct FileWriteState {
    DurableStepHook hook;
};

FileWriteState& State() {
    static FileWriteState state;
    return state;
}

// The reason of the calling thread's last failed durable write.
std::string& LastError() {
    thread_local std::string text;
    return text;
}

std::string TemporaryOf(const std::string& path) { return path + kTemporarySuffix; }

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// The folder that holds path, as the host takes it ("." for a bare name).
std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// One path per folder among these, to flush each folder once.
std::vector<std::string> OnePathPerFolder(const std::vector<std::string>& paths) {
    std::vector<std::string> folders, representatives;
    for (const std::string& path : paths) {
        const std::string folder = FolderOf(path);
        if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
        folders.push_back(folder);
        representatives.push_back(path);
    }
    return representatives;
}

// The same file however its path was spelled, for comparing paths.
std::string Normalised(const std::string& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

uint32_t CheckValue(const void* bytes, size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto* at = static_cast<const Bytef*>(bytes);
    while (size > 0) {
        const uInt chunk = uInt(std::min<size_t>(size, 1u << 30));
        crc = crc32(crc, at, chunk);
        at += chunk;
        size -= chunk;
    }
    return uint32_t(crc);
}

std::string HostReason() { return std::strerror(errno); }

// Asks the test seam whether this step runs. True when the run is to end
// here as a kill would end it; a write step then leaves the first bytes the
// seam asked for.
bool StopsHere(DurableStep step, const std::string& path, const void* bytes = nullptr, size_t size = 0) {
    const DurableStepHook& hook = State().hook;
    if (!hook) return false;
    const int64_t keep = hook(step, path);
    if (keep < 0) return false;
    if (step == DurableStep::WriteTemporary || step == DurableStep::WriteRecord)
        platform::Files().writeFlushed(path.c_str(), bytes, std::min<size_t>(size, size_t(keep)));
    return true;
}

struct RecordedFile {
    std::string path;
    int64_t size = 0;
    uint32_t check = 0;
};

std::string RecordText(const DurableFile* files, size_t count) {
    std::string text = kRecordMagic;
    char line[64];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "%zu %08" PRIx32 " ", files[i].size, CheckValue(files[i].bytes, files[i].size));
        text += line;
        text += files[i].path;
        text += '\n';
    }
    std::snprintf(line, sizeof line, "end %08" PRIx32 "\n", CheckValue(text.data(), text.size()));
    return text + line;
}

// A record file is ours when it begins with the record's first line, or is
// a beginning of that line (a record cut short in its first bytes).
bool IsOurRecord(const std::string& text) {
    const size_t n = std::min(text.size(), sizeof kRecordMagic - 1);
    return text.compare(0, n, kRecordMagic, n) == 0;
}

// "<size> <check> <path>", each field after exactly one space.
bool ParseFileLine(const std::string& line, RecordedFile* file) {
    const size_t first = line.find(' ');
    if (first == std::string::npos || first == 0 || first > 18 || line.size() < first + 11 || line[first + 9] != ' ')
        return false;
    int64_t size = 0;
    for (size_t i = 0; i < first; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        size = size * 10 + (line[i] - '0');
    }
    uint32_t check = 0;
    for (size_t i = first + 1; i < first + 9; ++i) {
        const char c = line[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        check = check << 4 | uint32_t(digit);
    }
    file->size = size;
    file->check = check;
    file->path = line.substr(first + 10);
    return true;
}

// The files of a whole record; false for a record cut short or damaged.
bool ParseRecord(const std::string& text, std::vector<RecordedFile>* files) {
    files->clear();
    const size_t magic = sizeof kRecordMagic - 1;
    if (text.compare(0, magic, kRecordMagic) != 0) return false;
    size_t at = magic;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) return false;
        const std::string line = text.substr(at, end - at);
        if (line.compare(0, 4, "end ") == 0) {
            char expected[16];
            std::snprintf(expected, sizeof expected, "end %08" PRIx32, CheckValue(text.data(), at));
            return line == expected && end + 1 == text.size() && !files->empty();
        }
        RecordedFile file;
        if (!ParseFileLine(line, &file)) return false;
        files->push_back(std::move(file));
        at = end + 1;
    }
    return false;
}

bool HoldsBytes(const std::string& path, const RecordedFile& expected) {
    std::string bytes;
    return ReadWholeHostFile(path.c_str(), expected.size, &bytes) && int64_t(bytes.size()) == expected.size &&
           CheckValue(bytes.data(), bytes.size()) == expected.check;
}

int Fail(const std::string& reason, const char* format, const char* path, size_t other) {
    LastError() = reason;
    WriteLogFormat(format, path, reason.c_str(), other);
    return -1;
}

bool ValidSet(const DurableFile* files, size_t count) {
    if (count > 0 && !files) return false;
    std::set<std::string> seen;
    for (size_t i = 0; i < count; ++i) {
        if (!files[i].path || !*files[i].path || std::strchr(files[i].path, '\n') || (files[i].size > 0 && !files[i].bytes))
            return false;
        if (!seen.insert(Normalised(files[i].path)).second) return false;
    }
    return true;
}

enum class Settled { Finished, Nothing, Failed, Stopped };

// Settles one commit record found at start-up: finishes its set, or drops a
// record cut short. Temporary files that must stay for the next start go to
// keep. Stopped when the test seam ended the run there.
Settled SettleRecord(const std::string& record, std::set<std::string>* keep) {
    const platform::FileSystemBackend& fs = platform::Files();
    std::string text;
    if (!ReadWholeHostFile(record.c_str(), kMaxRecordBytes, &text)) {
        WriteLogFormat("The commit record %s cannot be read; its set is left as it is", record.c_str());
        return Settled::Failed;
    }
    if (!IsOurRecord(text)) return Settled::Nothing;  // not a record of ours: left alone
    std::vector<RecordedFile> files;
    if (!ParseRecord(text, &files)) {
        if (StopsHere(DurableStep::RemoveRecord, record)) return Settled::Stopped;
        fs.removeFile(record.c_str());
        WriteLogFormat("Removed %s, the record of a set whose store was cut short: its files keep their previous copies",
                       record.c_str());
        return Settled::Nothing;
    }
    std::vector<const RecordedFile*> toRename;
    for (const RecordedFile& file : files) {
        if (HoldsBytes(TemporaryOf(file.path), file)) {
            toRename.push_back(&file);
        } else if (!HoldsBytes(file.path, file)) {
            // Not left by a kill (every temporary was on the disk before the
            // record): the files were changed since. Nothing is renamed.
            if (StopsHere(DurableStep::RemoveRecord, record)) return Settled::Stopped;
            fs.removeFile(record.c_str());
            WriteLogFormat("The set of %s cannot be finished: %s holds neither its new copy nor a whole temporary; "
                           "its files are left as they are",
                           record.c_str(), file.path.c_str());
            return Settled::Failed;
        }
    }
    bool renamed = true;
    std::vector<std::string> paths;
    for (const RecordedFile* file : toRename) {
        if (StopsHere(DurableStep::Rename, file->path)) return Settled::Stopped;
        paths.push_back(file->path);
        if (fs.renameOver(TemporaryOf(file->path).c_str(), file->path.c_str())) continue;
        WriteLogFormat("Cannot replace %s (%s); the next start tries again", file->path.c_str(), HostReason().c_str());
        keep->insert(Normalised(TemporaryOf(file->path)));
        renamed = false;
    }
    for (const std::string& path : OnePathPerFolder(paths)) {
        if (StopsHere(DurableStep::SyncFolder, FolderOf(path))) return Settled::Stopped;
        fs.syncFolderOf(path.c_str());
    }
    if (!renamed) {
        keep->insert(Normalised(record));
        return Settled::Failed;
    }
    if (StopsHere(DurableStep::RemoveRecord, record)) return Settled::Stopped;
    fs.removeFile(record.c_str());
    WriteLogFormat("Finished storing the %zu files of %s, cut short when the program last ended", files.size(),
                   record.c_str());
    return Settled::Finished;
}

std::vector<std::string> NamesIn(const DurableFolder& place, const char* suffix) {
    std::vector<platform::HostDirEntry> entries;
    std::vector<std::string> paths;
    if (!place.folder || !platform::Files().listDirectory(place.folder, &entries)) return paths;
    const std::string prefix = place.namePrefix ? place.namePrefix : "";
    const std::string folder = place.folder;
    for (const platform::HostDirEntry& e : entries) {
        if (e.isDirectory || e.name.compare(0, prefix.size(), prefix) != 0 || !EndsWith(e.name, suffix)) continue;
        paths.push_back(folder == "." ? e.name : folder + "/" + e.name);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

}  // namespace

void SetDurableStepHook(DurableStepHook hook) { State().hook = std::move(hook); }

const char* GetDurableWriteError() { return LastError().c_str(); }

int WriteFileDurably(const char* path, const void* bytes, size_t size) {
    LastError().clear();
    if (!path || !*path || (size > 0 && !bytes)) {
        LastError() = "no path or no bytes";
        return WriteLogText("WriteFileDurably: no path or no bytes");
    }
    std::string temporary = TemporaryOf(path);
    using Step = platform::DurableWriteStep;
    const Step failed = platform::Files().replaceDurably(path, temporary.c_str(), bytes, size);
    if (failed == Step::Done) return 0;
    const std::string host = HostReason();
    switch (failed) {
    case Step::CreateTemporary: LastError() = "creating " + temporary + ": " + host; break;
    case Step::WriteTemporary: LastError() = "writing " + temporary + ": " + host; break;
    case Step::SyncTemporary: LastError() = "flushing " + temporary + " to the disk: " + host; break;
    case Step::Rename: LastError() = "renaming " + temporary + " over " + path + ": " + host; break;
    case Step::SyncFolder:
        LastError() = std::string("flushing the folder of ") + path + ": " + host;
        return WriteLogFormat("%s was written, but its folder could not be flushed (%s): a power cut may bring back "
                              "the previous copy", path, host.c_str());
    case Step::Done: break;
    }
    return WriteLogFormat("%s is kept as it was: %s", path, LastError().c_str());
}

int WriteFileSetDurably(const DurableFile* files, size_t count) {
    LastError().clear();
    if (!ValidSet(files, count)) {
        LastError() = "a file without a path or without bytes, or named twice";
        return WriteLogText("WriteFileSetDurably: a file without a path or without bytes, or named twice");
    }
    if (count == 0) return 0;
    const platform::FileSystemBackend& fs = platform::Files();
    std::vector<std::string> paths, temporaries;
    for (size_t i = 0; i < count; ++i) {
        paths.push_back(files[i].path);
        temporaries.push_back(TemporaryOf(paths[i]));
    }
    const std::string record = paths[0] + kRecordSuffix;
    // Gives up before the record is stored: every temporary goes, every
    // file keeps its previous copy.
    auto abandon = [&](size_t written, const std::string& reason, const char* path) {
        for (size_t k = 0; k < written; ++k) fs.removeFile(temporaries[k].c_str());
        fs.removeFile(record.c_str());
        return Fail(reason, "%s was not stored (%s); it and the %zu other files of its set keep their previous copies",
                    path, count - 1);
    };

    for (size_t i = 0; i < count; ++i) {
        if (StopsHere(DurableStep::WriteTemporary, temporaries[i], files[i].bytes, files[i].size)) return -1;
        if (fs.writeFlushed(temporaries[i].c_str(), files[i].bytes, files[i].size) != platform::DurableWriteStep::Done)
            return abandon(i, "writing " + temporaries[i] + ": " + HostReason(), paths[i].c_str());
    }
    // The temporaries' names on the disk before the record that counts on them.
    std::vector<std::string> everyFile = paths;
    everyFile.push_back(record);
    for (const std::string& path : OnePathPerFolder(everyFile)) {
        if (StopsHere(DurableStep::SyncFolder, FolderOf(path))) return -1;
        if (!fs.syncFolderOf(path.c_str()))
            return abandon(count, "flushing the folder " + FolderOf(path) + ": " + HostReason(), paths[0].c_str());
    }
    const std::string text = RecordText(files, count);
    if (StopsHere(DurableStep::WriteRecord, record, text.data(), text.size())) return -1;
    if (fs.writeFlushed(record.c_str(), text.data(), text.size()) != platform::DurableWriteStep::Done)
        return abandon(count, "writing " + record + ": " + HostReason(), paths[0].c_str());
    if (StopsHere(DurableStep::SyncFolder, FolderOf(record))) return -1;
    if (!fs.syncFolderOf(record.c_str()))
        return abandon(count, "flushing the folder " + FolderOf(record) + ": " + HostReason(), paths[0].c_str());

    // Stored: from here on a kill leaves the set for the next start to finish.
    int result = 0;
    for (size_t i = 0; i < count; ++i) {
        if (StopsHere(DurableStep::Rename, paths[i])) return -1;
        if (fs.renameOver(temporaries[i].c_str(), paths[i].c_str())) continue;
        result = Fail("renaming " + temporaries[i] + ": " + HostReason(),
                      "Cannot replace %s (%s): the %zu other files of its set are replaced, and the next start "
                      "finishes it",
                      paths[i].c_str(), count - 1);
    }
    for (const std::string& path : OnePathPerFolder(paths)) {
        if (StopsHere(DurableStep::SyncFolder, FolderOf(path))) return -1;
        if (fs.syncFolderOf(path.c_str())) continue;
        result = Fail("flushing the folder " + FolderOf(path) + ": " + HostReason(),
                      "%s was written, but its folder could not be flushed (%s): the next start checks the %zu "
                      "other files of its set",
                      path.c_str(), count - 1);
    }
    if (result != 0) return result;  // the record stays for the next start
    if (StopsHere(DurableStep::RemoveRecord, record)) return -1;
    fs.removeFile(record.c_str());
    return 0;
}

int FinishInterruptedWrites(const DurableFolder* folders, size_t count) {
    if (count > 0 && !folders) return 0;
    int finished = 0;
    std::set<std::string> keep;  // temporaries of sets the next start must finish
    for (size_t f = 0; f < count; ++f) {
        for (const std::string& record : NamesIn(folders[f], kRecordSuffix)) {
            const Settled settled = SettleRecord(record, &keep);
            if (settled == Settled::Stopped) return finished;
            finished += settled == Settled::Finished;
        }
    }
    for (size_t f = 0; f < count; ++f) {
        for (const std::string& temporary : NamesIn(folders[f], kTemporarySuffix)) {
            if (keep.count(Normalised(temporary))) continue;
            if (StopsHere(DurableStep::RemoveTemporary, temporary)) return finished;
            RemoveUnfinishedWrite(temporary.substr(0, temporary.size() - std::strlen(kTemporarySuffix)).c_str());
        }
    }
    return finished;
}

int RemoveUnfinishedWrite(const char* path) {
    if (!path || !*path) return 0;
    std::string temporary = TemporaryOf(path);
    if (!platform::Files().removeFile(temporary.c_str())) return 0;
    WriteLogFormat("Removed %s, left by a write that was cut short", temporary.c_str());
    return 1;
}
